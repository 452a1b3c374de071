// The rules in force, compiled: whether a new line enters the list, and which highlight
// colours a line. Rules test the whole display line, prefixes included.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FilterRule.h"
#include "RegexPattern.h"

class TRuleSet {
public:
    TRuleSet() = default;
    // Compiles the enabled rules. Throws TPatternError when one of them has a pattern that
    // PatternProblem refuses; disabled rules are kept as they are, refused or not.
    explicit TRuleSet(std::vector<TFilterRule> rules);

    const std::vector<TFilterRule>& Rules() const noexcept { return FRules; }

    // False when an enabled exclude rule matches the line, or when there are enabled include
    // rules and none of them matches it. Exclude wins over include.
    bool Admits(std::wstring_view line) const;

    bool HasHighlights() const noexcept { return !FHighlights.empty(); }
    // Index in Rules() of the first enabled highlight rule that matches the line, if any.
    std::optional<std::size_t> HighlightOf(std::wstring_view line) const;

private:
    // One enabled rule, ready to test.
    struct TCompiledRule {
        std::size_t Index = 0;                // in FRules
        std::wstring UpperText;               // text mode: the pattern upper-cased
        std::optional<TRegexPattern> Regex;   // regex mode
    };
    class TTestedLine;

    static bool Matches(const TCompiledRule& rule, TTestedLine& line);
    static bool AnyMatches(const std::vector<TCompiledRule>& rules, TTestedLine& line);

    std::vector<TFilterRule> FRules;
    std::vector<TCompiledRule> FIncludes;
    std::vector<TCompiledRule> FExcludes;
    std::vector<TCompiledRule> FHighlights;
};
