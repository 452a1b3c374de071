// The rules without a window: matching in both modes, which lines a set of rules admits and
// which highlight colours them, the patterns a rule may have, and hostile regex patterns.
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FilterRule.h"
#include "RegexPattern.h"
#include "RuleSet.h"

namespace {

using enum TRuleKind;
using enum TMatchMode;

TFilterRule Rule(TRuleKind kind, TMatchMode mode, const wchar_t* pattern, bool enabled = true)
{
    TFilterRule rule;
    rule.Kind = kind;
    rule.Mode = mode;
    rule.Enabled = enabled;
    rule.Pattern = pattern;
    return rule;
}

// The line as the intake builds it: channel and time prefixes, then the text.
constexpr wchar_t Line[] = L"-3- 14:05:09,007 Init done: 12 Items loaded";

struct TMatchCase {
    TMatchMode Mode;
    const wchar_t* Pattern;
    const wchar_t* Line;
    bool Matches;
};

TEST(FilterRules, EachModeMatchesAsStated)
{
    const TMatchCase cases[] = {
        // Text: the search's containment, a to z in any case, every other character exact.
        {Text, L"init done", Line, true},
        {Text, L"ITEMS LOADED", Line, true},
        {Text, L"-3- 14:05", Line, true},          // the prefixes are part of the line
        {Text, L"-M-", Line, false},
        {Text, L"init  done", Line, false},        // an unbroken run
        {Text, L"\u00e4rger", L"\u00c4RGER", false}, // letters beyond a to z are exact
        {Text, L"\u00c4rger", L"\u00c4RGER", true},
        {Text, L"(a+)+b", L"x (A+)+B y", true},    // no special characters in text mode
        {Text, L"done.", Line, false},
        // Regex: RE2's syntax, letters in any case, anywhere in the line.
        {Regex, L"init\\s+DONE", Line, true},
        {Regex, L"^-[0-9]-\\s", Line, true},
        {Regex, L"^-M-\\s", Line, false},
        {Regex, L"\\d+ items", Line, true},
        {Regex, L"error|loaded$", Line, true},
        {Regex, L"error|warn", Line, false},
        {Regex, L"(done|ready)\\W+\\d{2}\\b", Line, true},
        {Regex, L"\u00e4rger", L"\u00c4RGER", true}, // letters beyond a to z too
        {Regex, L"[a-c]x", L"BX", true},
        {Regex, L"done.", Line, true},
        {Regex, L"\\bitem", Line, true},
        {Regex, L"\\bitem\\b", Line, false},
        {Regex, L"^init", Line, false},                // ^ is where the line starts
        {Regex, L"loaded$", Line, true},
        {Regex, L"^-3-.*loaded$", Line, true},
        {Regex, L"[^\\d\\s-]{4} done", Line, true},
        {Regex, L"\\d{2}:\\d{2}:\\d{2},\\d{3}", Line, true},
        {Regex, L"(?:warn|err)(?:or|ing)?", L"-M- WARNING", true},
        {Regex, L"\\.exe\\b", L"run.EXE now", true},
        {Regex, L"\\.exe\\b", L"runXexe", false},
        {Regex, L"a\\|b", L"a|b", true},
        {Regex, L"\\pL+\\s\\d", L"\u00e9t\u00e9 7", true},
        {Regex, L"caf\u00e9$", L"CAF\u00c9", true},
    };
    for (const TMatchCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(ModeName(c.Mode)) << " \"" << c.Pattern << "\" in \"" << c.Line << "\"");
        const TRuleSet rules({Rule(Highlight, c.Mode, c.Pattern)});
        EXPECT_EQ(rules.HighlightOf(c.Line).has_value(), c.Matches);
        EXPECT_EQ(TRuleSet({Rule(Exclude, c.Mode, c.Pattern)}).Admits(c.Line), !c.Matches);
        EXPECT_EQ(TRuleSet({Rule(Include, c.Mode, c.Pattern)}).Admits(c.Line), c.Matches);
    }
}

struct TAdmitCase {
    const char* Name;
    std::vector<TFilterRule> Rules;
    std::vector<const wchar_t*> Admitted;
    std::vector<const wchar_t*> KeptOut;
};

TEST(FilterRules, IncludeAndExcludeDecideWhichLinesEnter)
{
    const TAdmitCase cases[] = {
        {"no rules admit every line", {}, {L"", L"anything"}, {}},
        {"highlights alone admit every line",
         {Rule(Highlight, Text, L"error")},
         {L"an error", L"fine"},
         {}},
        {"one include: only what it matches",
         {Rule(Include, Text, L"-3-")},
         {L"-3- a", L"x -3- y"},
         {L"-4- a", L""}},
        {"several includes: what any of them matches",
         {Rule(Include, Text, L"-3-"), Rule(Include, Regex, L"^-[57]-")},
         {L"-3- a", L"-5- b", L"-7- c"},
         {L"-4- d", L"x -5- e"}},
        {"exclude: all but what it matches",
         {Rule(Exclude, Regex, L"heartbeat|keep-?alive")},
         {L"-M- started", L"-M- alive"},
         {L"-M- heartbeat 7", L"-M- KEEPALIVE", L"-M- keep-alive"}},
        {"exclude wins over include, in any order",
         {Rule(Exclude, Text, L"debug"), Rule(Include, Text, L"-3-")},
         {L"-3- ready"},
         {L"-3- debug: x", L"-4- ready", L"-4- debug"}},
        {"include first, exclude after: the same",
         {Rule(Include, Text, L"-3-"), Rule(Exclude, Text, L"debug")},
         {L"-3- ready"},
         {L"-3- debug: x", L"-4- ready"}},
        {"disabled rules do nothing",
         {Rule(Include, Text, L"-3-", false), Rule(Exclude, Text, L"noise", false)},
         {L"-4- noise", L"-3- a"},
         {}},
        {"a disabled include leaves the enabled ones to decide",
         {Rule(Include, Text, L"-3-", false), Rule(Include, Text, L"-4-")},
         {L"-4- a"},
         {L"-3- a"}},
    };
    for (const TAdmitCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TRuleSet rules(c.Rules);
        for (const wchar_t* line : c.Admitted)
            EXPECT_TRUE(rules.Admits(line)) << testing::PrintToString(std::wstring(line));
        for (const wchar_t* line : c.KeptOut)
            EXPECT_FALSE(rules.Admits(line)) << testing::PrintToString(std::wstring(line));
    }
}

TEST(FilterRules, TheFirstMatchingEnabledHighlightWins)
{
    const TRuleSet rules({
        Rule(Include, Text, L"error"),         // not a highlight: never chosen
        Rule(Highlight, Text, L"fatal", false), // disabled
        Rule(Highlight, Regex, L"err(or)?"),
        Rule(Highlight, Text, L"error"),
        Rule(Highlight, Text, L"fatal"),
    });
    EXPECT_TRUE(rules.HasHighlights());
    EXPECT_EQ(rules.HighlightOf(L"an ERROR"), std::optional<std::size_t>(2));
    EXPECT_EQ(rules.HighlightOf(L"fatal error"), std::optional<std::size_t>(2));
    EXPECT_EQ(rules.HighlightOf(L"fatal"), std::optional<std::size_t>(4));
    EXPECT_EQ(rules.HighlightOf(L"fine"), std::nullopt);
    EXPECT_FALSE(TRuleSet({Rule(Highlight, Text, L"x", false)}).HasHighlights());
}

struct TPatternCase {
    TMatchMode Mode;
    std::wstring Pattern;
    std::wstring Problem; // the start of the reason; empty: accepted
};

TEST(FilterRules, PatternsARuleMayNotHaveAreRefusedWithTheirReason)
{
    const auto refused = [](const wchar_t* reason) { return L"Not a regular expression the rules can use: " + std::wstring(reason); };
    const TPatternCase cases[] = {
        {Text, L"(", L""},
        {Text, L"a,b,c", L""},
        {Text, L" leading blank", L""},
        {Regex, L"error|warn(ing)?", L""},
        {Regex, L"a{2", L""}, // a brace that opens no count is a character
        {Regex, std::wstring(MaxPatternChars, L'x'), L""},
        {Text, L"", L"Type a pattern."},
        {Regex, L"", L"Type a pattern."},
        {Text, std::wstring(MaxPatternChars + 1, L'x'), L"A pattern holds at most 255 characters."},
        {Text, L"ends with a blank ", L"A pattern cannot end with a blank or tab"},
        {Regex, L"tab\t", L"A pattern cannot end with a blank or tab"},
        {Regex, L"(open", refused(L"missing ): (open.")},
        {Regex, L"close)", refused(L"unexpected ): close).")},
        {Regex, L"*start", refused(L"no argument for repetition operator: *.")},
        {Regex, L"a|+", refused(L"no argument for repetition operator: +.")},
        {Regex, L"[abc", refused(L"missing ]: [abc.")},
        {Regex, L"[[:nothing:]]", refused(L"invalid character class range: [:nothing:].")},
        {Regex, L"a{2,1}", refused(L"invalid repetition size: {2,1}.")},
        {Regex, L"[z-a]", refused(L"invalid character class range: z-a.")},
        {Regex, L"end\\", refused(L"trailing \\.")},
        {Regex, L"(a)\\1", refused(L"invalid escape sequence: \\1.")},        // back references
        {Regex, L"a(?=b)", refused(L"invalid perl operator: (?=.")},           // lookarounds
        {Regex, L"(?<!a)b", refused(L"invalid perl operator: (?<.")},
    };
    for (const TPatternCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(ModeName(c.Mode)) << " " << testing::PrintToString(c.Pattern));
        const auto problem = PatternProblem(c.Mode, c.Pattern);
        if (c.Problem.empty()) {
            EXPECT_EQ(problem, std::nullopt);
            EXPECT_NO_THROW(TRuleSet({Rule(Highlight, c.Mode, c.Pattern.c_str())}));
            continue;
        }
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->substr(0, c.Problem.size()), c.Problem);
        // A rule set never takes such a rule while it is enabled.
        EXPECT_THROW(TRuleSet({Rule(Exclude, c.Mode, c.Pattern.c_str())}), TPatternError);
        EXPECT_NO_THROW(TRuleSet({Rule(Exclude, c.Mode, c.Pattern.c_str(), false)}));
    }
}

struct THostileCase {
    const char* Name;
    std::wstring Pattern;
    std::wstring Line;
    const wchar_t* Refusal; // the start of the reason; nullptr: accepted, and then Matches applies
    bool Matches;
};

// Patterns that freeze or crash a backtracking engine: each is refused with a message or
// gives the right answer. How long each takes is measured by the benchmark (vt_bench rules).
TEST(FilterRules, HostilePatternsAreRefusedWithAMessageOrAnswerRightly)
{
    const std::wstring as(40, L'a');
    // As long as a regex reads (MaxTestedLineChars): the end of the line matters to some.
    const std::wstring longAs(TRegexPattern::MaxTestedLineChars - 1, L'a');
    std::wstring abs;
    while (abs.size() < longAs.size())
        abs += L"ab";
    constexpr wchar_t RepeatSize[] = L"Not a regular expression the rules can use: invalid repetition size";
    const THostileCase cases[] = {
        {"an empty alternation repeated", L"(|||||||||){20}$", std::wstring(5000, L'x'), nullptr, true},
        {"an empty loop in an empty loop", L"(?:(?:)*)*x", longAs, nullptr, false},
        {"empty groups side by side", std::wstring(127, L'(') + std::wstring(127, L')'), longAs, nullptr, true},
        {"an empty group repeated thousands of times", L"(){3000}", longAs, RepeatSize, false},
        {"no group repeated tens of thousands of times", L"(?:){40000}", longAs, RepeatSize, false},
        {"a repeat of a repeat", L"(a{100}){100}", longAs, RepeatSize, false},
        {"a large repeat of a class", L"[a-z]{1000}b", longAs, L"Not a regular expression the rules can use: too large", false},
        {"a large repeat of a character", L"a{1000}b", longAs, L"Not a regular expression the rules can use: too large", false},
        {"a repeat of a class within the size", L"[a-z]{150}b", longAs + L"b", nullptr, true},
        {"a repeat of a class within the size that fails", L"[a-z]{150}b", longAs, nullptr, false},
        {"nested stars", L"((a*)*)*b", longAs, nullptr, false},
        {"nested stars that match", L"((a*)*)*b", as + L"b", nullptr, true},
        {"nested pluses", L"(a+)+b", longAs, nullptr, false},
        {"overlapping alternatives", L"(a|a)*b", longAs, nullptr, false},
        {"the classic word list", L"^(\\w+\\s?)+$", longAs + L"!", nullptr, false},
        {"the classic word list that matches", L"^(\\w+\\s?)+$", as + L" " + as, nullptr, true},
        {"a state explosion", L"[ab]*a[ab]{20}c", abs, nullptr, false},
        {"a state explosion that matches", L"[ab]*a[ab]{20}b", abs, nullptr, true},
        {"deep nesting", std::wstring(127, L'(') + L"a" + std::wstring(127, L')'), longAs, nullptr, true},
        {"deep nesting under a star", L"((((((((((a))))))))))*c", longAs, nullptr, false},
        {"a back reference", L"(a*)\\1b", longAs, L"Not a regular expression the rules can use: invalid escape", false},
        {"a lookahead", L"(?=a*)b", longAs, L"Not a regular expression the rules can use: invalid perl operator", false},
    };
    for (const THostileCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto problem = PatternProblem(Regex, c.Pattern);
        if (c.Refusal != nullptr) {
            ASSERT_TRUE(problem.has_value());
            EXPECT_EQ(problem->substr(0, std::wcslen(c.Refusal)), c.Refusal);
            continue;
        }
        ASSERT_EQ(problem, std::nullopt);
        EXPECT_EQ(TRuleSet({Rule(Highlight, Regex, c.Pattern.c_str())}).HighlightOf(c.Line).has_value(), c.Matches);
        EXPECT_EQ(TRuleSet({Rule(Exclude, Regex, c.Pattern.c_str())}).Admits(c.Line), !c.Matches);
    }
}

TEST(FilterRules, ARegexTestsALinesFirstCharactersOnly)
{
    const std::wstring longLine(TRegexPattern::MaxTestedLineChars, L'a');
    EXPECT_TRUE(TRuleSet({Rule(Highlight, Regex, L"a{5}$")}).HighlightOf(longLine).has_value());
    EXPECT_FALSE(TRuleSet({Rule(Highlight, Regex, L"b")}).HighlightOf(longLine + L"b").has_value());
    // Text rules test the whole line.
    EXPECT_TRUE(TRuleSet({Rule(Highlight, Text, L"b")}).HighlightOf(longLine + L"b").has_value());
}

TEST(FilterRules, NamesOfKindsAndModesReadInAnyCase)
{
    for (const TRuleKind kind : {Include, Exclude, Highlight})
        EXPECT_EQ(KindFromName(KindName(kind)), kind);
    for (const TMatchMode mode : {Text, Regex})
        EXPECT_EQ(ModeFromName(ModeName(mode)), mode);
    EXPECT_EQ(KindName(Highlight), L"highlight");
    EXPECT_EQ(ModeName(Regex), L"regex");
    EXPECT_EQ(KindFromName(L"EXCLUDE"), Exclude);
    EXPECT_EQ(ModeFromName(L"Text"), Text);
    EXPECT_EQ(KindFromName(L"hide"), std::nullopt);
    EXPECT_EQ(ModeFromName(L""), std::nullopt);
}

} // namespace
