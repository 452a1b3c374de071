#include "FilterRule.h"

#include <array>
#include <utility>

#include "RegexPattern.h"
#include "TextMatch.h"

namespace {

constexpr std::array<std::pair<TRuleKind, std::wstring_view>, 3> KindNames = {{
    {TRuleKind::Include, L"include"},
    {TRuleKind::Exclude, L"exclude"},
    {TRuleKind::Highlight, L"highlight"},
}};

constexpr std::array<std::pair<TMatchMode, std::wstring_view>, 2> ModeNames = {{
    {TMatchMode::Text, L"text"},
    {TMatchMode::Regex, L"regex"},
}};

template <class Value, std::size_t Count>
std::wstring_view NameOf(const std::array<std::pair<Value, std::wstring_view>, Count>& names, Value value) noexcept
{
    for (const auto& [candidate, name] : names) {
        if (candidate == value)
            return name;
    }
    return {};
}

template <class Value, std::size_t Count>
std::optional<Value> ValueOf(const std::array<std::pair<Value, std::wstring_view>, Count>& names,
                             std::wstring_view name)
{
    const std::wstring upper = AsciiUpper(name);
    for (const auto& [value, candidate] : names) {
        if (AsciiUpper(candidate) == upper)
            return value;
    }
    return std::nullopt;
}

} // namespace

std::wstring_view KindName(TRuleKind kind) noexcept { return NameOf(KindNames, kind); }
std::wstring_view ModeName(TMatchMode mode) noexcept { return NameOf(ModeNames, mode); }
std::optional<TRuleKind> KindFromName(std::wstring_view name) { return ValueOf(KindNames, name); }
std::optional<TMatchMode> ModeFromName(std::wstring_view name) { return ValueOf(ModeNames, name); }

std::optional<std::wstring> PatternProblem(TMatchMode mode, std::wstring_view pattern)
{
    if (pattern.empty())
        return L"Type a pattern.";
    if (pattern.size() > MaxPatternChars)
        return L"A pattern holds at most " + std::to_wstring(MaxPatternChars) + L" characters.";
    if (pattern.back() == L' ' || pattern.back() == L'\t')
        return std::wstring(L"A pattern cannot end with a blank or tab: the settings file would lose it. ") +
               (mode == TMatchMode::Regex ? L"Write [ ] or \\s instead." : L"Use a regex with [ ] instead.");
    if (mode == TMatchMode::Regex) {
        try {
            const TRegexPattern regex(pattern);
        } catch (const TPatternError& failure) {
            return failure.Message();
        }
    }
    return std::nullopt;
}
