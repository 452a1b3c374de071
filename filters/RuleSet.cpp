#include "RuleSet.h"

#include <string>
#include <utility>

#include "TextMatch.h"

// A line under test: its upper-cased copy and its UTF-8 copy are made once, each for the
// first rule that needs it.
class TRuleSet::TTestedLine {
public:
    explicit TTestedLine(std::wstring_view line) noexcept : FLine(line) {}

    std::wstring_view Upper()
    {
        if (!FUpper)
            FUpper = AsciiUpper(FLine);
        return *FUpper;
    }
    std::string_view Utf8()
    {
        if (!FUtf8)
            FUtf8 = TRegexPattern::MatchedText(FLine);
        return *FUtf8;
    }

private:
    std::wstring_view FLine;
    std::optional<std::wstring> FUpper;
    std::optional<std::string> FUtf8;
};

TRuleSet::TRuleSet(std::vector<TFilterRule> rules) : FRules(std::move(rules))
{
    for (std::size_t index = 0; index < FRules.size(); ++index) {
        const TFilterRule& rule = FRules[index];
        if (!rule.Enabled)
            continue;
        if (const auto problem = PatternProblem(rule.Mode, rule.Pattern))
            throw TPatternError(L"Rule " + std::to_wstring(index + 1) + L": " + *problem);
        TCompiledRule compiled;
        compiled.Index = index;
        if (rule.Mode == TMatchMode::Text)
            compiled.UpperText = AsciiUpper(rule.Pattern);
        else
            compiled.Regex.emplace(rule.Pattern);
        switch (rule.Kind) {
        case TRuleKind::Include:
            FIncludes.push_back(std::move(compiled));
            break;
        case TRuleKind::Exclude:
            FExcludes.push_back(std::move(compiled));
            break;
        case TRuleKind::Highlight:
            FHighlights.push_back(std::move(compiled));
            break;
        }
    }
}

bool TRuleSet::Matches(const TCompiledRule& rule, TTestedLine& line)
{
    if (!rule.Regex)
        return ContainsUpper(line.Upper(), rule.UpperText);
    return rule.Regex->Matches(line.Utf8());
}

bool TRuleSet::AnyMatches(const std::vector<TCompiledRule>& rules, TTestedLine& line)
{
    for (const TCompiledRule& rule : rules) {
        if (Matches(rule, line))
            return true;
    }
    return false;
}

bool TRuleSet::Admits(std::wstring_view line) const
{
    if (FExcludes.empty() && FIncludes.empty())
        return true;
    TTestedLine tested(line);
    if (AnyMatches(FExcludes, tested))
        return false;
    return FIncludes.empty() || AnyMatches(FIncludes, tested);
}

std::optional<std::size_t> TRuleSet::HighlightOf(std::wstring_view line) const
{
    TTestedLine tested(line);
    for (const TCompiledRule& rule : FHighlights) {
        if (Matches(rule, tested))
            return rule.Index;
    }
    return std::nullopt;
}
