#include "FilterSettings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "TextMatch.h"
#include "ValueParse.h"

namespace {

constexpr wchar_t RuleKeyPrefix[] = L"RULE";
constexpr wchar_t Separator = L',';
constexpr wchar_t EnabledOn[] = L"1";
constexpr wchar_t EnabledOff[] = L"0";
// kind, mode, enabled, text colour, background colour; the pattern is the rest.
constexpr std::size_t FieldsBeforePattern = 5;

std::wstring ColourText(const std::optional<std::int32_t>& colour)
{
    return colour ? std::to_wstring(*colour) : std::wstring();
}

// Empty: none. Nothing at all when the text is no colour value.
std::optional<std::optional<std::int32_t>> ParseColour(std::wstring_view text)
{
    if (text.empty())
        return std::optional<std::int32_t>();
    if (const auto value = ParseInteger(text))
        return std::optional<std::int32_t>(*value);
    return std::nullopt;
}

std::optional<bool> ParseEnabled(std::wstring_view text)
{
    if (text == EnabledOn)
        return true;
    if (text == EnabledOff)
        return false;
    return std::nullopt;
}

// The number n of a key RULEn (any case, n from 1), or nothing.
std::optional<std::uint32_t> RuleNumber(std::wstring_view key)
{
    const std::wstring_view prefix(RuleKeyPrefix);
    if (key.size() <= prefix.size() || AsciiUpper(key.substr(0, prefix.size())) != prefix)
        return std::nullopt;
    const std::wstring_view digits = key.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
        return std::nullopt;
    const auto number = ParseInteger(digits);
    if (!number || *number < 1)
        return std::nullopt;
    return static_cast<std::uint32_t>(*number);
}

} // namespace

std::wstring RuleValue(const TFilterRule& rule)
{
    std::wstring value(KindName(rule.Kind));
    value += Separator;
    value += ModeName(rule.Mode);
    value += Separator;
    value += rule.Enabled ? EnabledOn : EnabledOff;
    value += Separator;
    value += ColourText(rule.TextColour);
    value += Separator;
    value += ColourText(rule.BackColour);
    value += Separator;
    value += rule.Pattern;
    return value;
}

std::optional<TFilterRule> ParseRuleValue(std::wstring_view value)
{
    std::array<std::wstring_view, FieldsBeforePattern> fields;
    for (std::wstring_view& field : fields) {
        const std::size_t comma = value.find(Separator);
        if (comma == std::wstring_view::npos)
            return std::nullopt;
        field = value.substr(0, comma);
        value.remove_prefix(comma + 1);
    }
    const auto kind = KindFromName(fields[0]);
    const auto mode = ModeFromName(fields[1]);
    const auto enabled = ParseEnabled(fields[2]);
    const auto text = ParseColour(fields[3]);
    const auto back = ParseColour(fields[4]);
    if (!kind || !mode || !enabled || !text || !back)
        return std::nullopt;

    TFilterRule rule;
    rule.Kind = *kind;
    rule.Mode = *mode;
    // A pattern the rules cannot use stays the user's, out of force until it is changed.
    rule.Enabled = *enabled && !PatternProblem(*mode, value);
    if (rule.Kind == TRuleKind::Highlight) {
        rule.TextColour = *text;
        rule.BackColour = *back;
    }
    rule.Pattern = value;
    return rule;
}

std::vector<TFilterRule> LoadFilterRules(const TIniFile& file)
{
    // A key written twice reads, as every key does, as its first value: it is one rule.
    std::vector<std::pair<std::uint32_t, std::wstring>> numbered;
    for (const std::wstring& key : file.KeyNames(FiltersSection)) {
        const auto number = RuleNumber(key);
        const std::wstring upperKey = AsciiUpper(key);
        if (number && std::none_of(numbered.begin(), numbered.end(),
                                   [&](const auto& seen) { return AsciiUpper(seen.second) == upperKey; }))
            numbered.emplace_back(*number, key);
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });

    std::vector<TFilterRule> rules;
    for (const auto& [number, key] : numbered) {
        if (auto rule = ParseRuleValue(file.Read(FiltersSection, key, L"")))
            rules.push_back(std::move(*rule));
    }
    return rules;
}

void SaveFilterRules(TIniFile& file, const std::vector<TFilterRule>& rules)
{
    // Written afresh, so that no rule of an earlier, longer list stays behind, nor one of a
    // section written twice (the rules read from the first).
    do
        file.DeleteSection(FiltersSection);
    while (!file.KeyNames(FiltersSection).empty());
    for (std::size_t index = 0; index < rules.size(); ++index)
        file.Write(FiltersSection, RuleKeyPrefix + std::to_wstring(index + 1), RuleValue(rules[index]));
    file.Flush();
}
