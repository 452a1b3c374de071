// The rules without a window: matching in both modes, which lines a set of rules admits and
// which highlight colours them, the patterns a rule may have, and the bounds on a regex search.
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "BoundedRegex.h"
#include "FilterRule.h"
#include "RequiredText.h"
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
        // Regex: ECMAScript, a to z in any case, anywhere in the line.
        {Regex, L"init\\s+DONE", Line, true},
        {Regex, L"^-[0-9]-\\s", Line, true},
        {Regex, L"^-M-\\s", Line, false},
        {Regex, L"\\d+ items", Line, true},
        {Regex, L"error|loaded$", Line, true},
        {Regex, L"error|warn", Line, false},
        {Regex, L"(done|ready)\\W+\\d{2}\\b", Line, true},
        {Regex, L"(\\w)\\1", L"a bookkeeper", true},  // back references work
        {Regex, L"(\\w)\\1", L"abc", false},
        {Regex, L"\u00e4rger", L"\u00c4RGER", false},
        {Regex, L"[a-c]x", L"BX", true},
        {Regex, L"done.", Line, true},
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
    const wchar_t* Problem; // the start of the reason; nullptr: accepted
};

TEST(FilterRules, PatternsARuleMayNotHaveAreRefusedWithTheirReason)
{
    // Libraries differ in which of the two they report for a quantifier with nothing before it.
    constexpr wchar_t ParenOrRepeat[] = L"Not a valid regular expression: a ( or ) without its partner, or a *, +, ? "
                                        L"or { } with nothing before it to repeat.";
    const TPatternCase cases[] = {
        {Text, L"(", nullptr},
        {Text, L"a,b,c", nullptr},
        {Text, L" leading blank", nullptr},
        {Regex, L"error|warn(ing)?", nullptr},
        {Regex, std::wstring(MaxPatternChars, L'x'), nullptr},
        {Text, L"", L"Type a pattern."},
        {Regex, L"", L"Type a pattern."},
        {Text, std::wstring(MaxPatternChars + 1, L'x'), L"A pattern holds at most 255 characters."},
        {Text, L"ends with a blank ", L"A pattern cannot end with a blank or tab"},
        {Regex, L"tab\t", L"A pattern cannot end with a blank or tab"},
        {Regex, L"(open", ParenOrRepeat},
        {Regex, L"close)", ParenOrRepeat},
        {Regex, L"*start", ParenOrRepeat},
        {Regex, L"a|+", ParenOrRepeat},
        {Regex, L"[abc", L"Not a valid regular expression: a [ without its ], or something in [ ] that is not valid."},
        {Regex, L"[[:nothing:]]", L"Not a valid regular expression: an unknown class or element in [ ]."},
        {Regex, L"a{2,1}", L"Not a valid regular expression: a count in { } that is not valid or not closed."},
        {Regex, L"a{2", L"Not a valid regular expression: a count in { } that is not valid or not closed."},
        {Regex, L"[z-a]", L"Not a valid regular expression: a range in [ ] whose end comes before its start."},
        {Regex, L"end\\", L"Not a valid regular expression: a \\ that escapes nothing valid, or a \\ at the end."},
        {Regex, L"(a)\\2", L"Not a valid regular expression: a back reference to a group that does not exist."},
    };
    for (const TPatternCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::wstring(ModeName(c.Mode)) << " " << testing::PrintToString(c.Pattern));
        const auto problem = PatternProblem(c.Mode, c.Pattern);
        if (c.Problem == nullptr) {
            EXPECT_EQ(problem, std::nullopt);
            EXPECT_NO_THROW(TRuleSet({Rule(Highlight, c.Mode, c.Pattern.c_str())}));
            continue;
        }
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->substr(0, std::wcslen(c.Problem)), c.Problem);
        // A rule set never takes such a rule while it is enabled.
        EXPECT_THROW(TRuleSet({Rule(Exclude, c.Mode, c.Pattern.c_str())}), TPatternError);
        EXPECT_NO_THROW(TRuleSet({Rule(Exclude, c.Mode, c.Pattern.c_str(), false)}));
    }
}

struct TBoundCase {
    const char* Name;
    const wchar_t* Pattern;
    std::wstring Line;
    TSearchOutcome Expected;
};

// Patterns that backtracking cannot finish in any reasonable time, and searches that would
// recurse deeper than the stack allows, end with OutOfBudget and count as no match.
TEST(FilterRules, ARegexSearchIsBoundedInStepsStackAndLength)
{
    const std::wstring as(40, L'a');
    const std::wstring longLine(TBoundedRegex::MaxTestedLineChars, L'a');
    const TBoundCase cases[] = {
        {"nested quantifiers", L"(a+)+b", as, TSearchOutcome::OutOfBudget},
        {"overlapping alternatives", L"(a|a)*b", as, TSearchOutcome::OutOfBudget},
        {"the classic word list", L"^(\\w+\\s?)+$", as + L"!", TSearchOutcome::OutOfBudget},
        {"deep recursion on a long line", L"((((((((((a))))))))))*c", longLine, TSearchOutcome::OutOfBudget},
        {"the same patterns that match soon", L"(a+)+b", L"aaab", TSearchOutcome::Match},
        {"a sensible pattern on the longest line", L"a{5}$", longLine, TSearchOutcome::Match},
        {"nothing beyond the tested length", L"b", longLine + L"b", TSearchOutcome::NoMatch},
    };
    for (const TBoundCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(TBoundedRegex(c.Pattern).Search(c.Line), c.Expected);
    }
    // As a rule: a search out of budget is no match, for every kind.
    EXPECT_TRUE(TRuleSet({Rule(Exclude, Regex, L"(a+)+b")}).Admits(as));
    EXPECT_FALSE(TRuleSet({Rule(Include, Regex, L"(a+)+b")}).Admits(as));
    EXPECT_EQ(TRuleSet({Rule(Highlight, Regex, L"(a|a)*b")}).HighlightOf(as), std::nullopt);
}

struct TRequiredCase {
    const wchar_t* Pattern;
    std::vector<std::wstring> Texts;
};

TEST(FilterRules, ARegexNamesTheTextsEveryMatchHolds)
{
    const TRequiredCase cases[] = {
        {L"heartbeat", {L"HEARTBEAT"}},
        {L"\\bheart-Beat\\b", {L"HEART-BEAT"}},
        {L"timeout after \\d+ ?ms", {L"TIMEOUT AFTER "}},
        {L"^-[0-9]-\\s.*warn(ing)?$", {L"WARN"}},
        {L"error|fail(ed|ure)?", {L"ERROR", L"FAIL"}},
        {L"colou?r", {L"COLO"}},            // a quantifier takes the character before it
        {L"ab*c", {L"A"}},
        {L"abc{2,3}d", {L"AB"}},
        {L"x(abcdef)y", {L"X"}},            // nothing from inside a group
        {L"[abcdef]gh", {L"GH"}},           // nor from a class
        {L"[\\]x]yz", {L"YZ"}},
        {L"\\x41bc", {L"BC"}},              // an escape is no plain character, nor what it takes
        {L"\\u0041bcd", {L"BCD"}},
        {L"\\cJkl", {L"KL"}},
        {L"(a)\\12x", {L"X"}},
        {L"a|.*", {}},                     // a branch without a text: nothing can be left out
        {L"(x|y)", {}},
        {L".*", {}},
        {L"[]a]b", {}},                    // read differently by different libraries
    };
    for (const TRequiredCase& c : cases)
        EXPECT_EQ(RequiredTexts(c.Pattern), c.Texts) << testing::PrintToString(std::wstring(c.Pattern));
}

// The texts only spare searches: with or without them a rule matches the same lines.
TEST(FilterRules, SparedSearchesChangeNoOutcome)
{
    const wchar_t* patterns[] = {
        L"heartbeat", L"\\bheart-beat\\b", L"error|fail(ed|ure)?", L"colou?r", L"ab*c", L"abc{2,3}d",
        L"x(abcdef)y", L"[abcdef]gh", L"[\\]x]yz", L"\\x41bc", L"\\u0041bcd", L"\\cJkl", L"(a)\\1x",
        L"a(?=bc)bcd", L"a(?!x)b", L"ab+?c", L"^-M-\\s", L"x{2}y", L"\\.exe$", L"a\\|b",
    };
    const wchar_t* lines[] = {
        L"-M- heartbeat", L"-3- HEART-BEAT now", L"heart-beats", L"an ERROR", L"failure", L"fail", L"colour", L"color",
        L"ac", L"abbbc", L"abccd", L"abcccd", L"abcd", L"xabcdefy", L"fgh", L"]yz", L"xyz", L"Abc", L"abc", L"\x41bc",
        L"Abcd", L"\nkl", L"kl", L"aax", L"ax", L"abcd", L"ab", L"abc", L"xxy", L"xy", L"run.exe", L"runexe", L"a|b",
        L"ab", L"",
    };
    for (const wchar_t* pattern : patterns) {
        const TBoundedRegex regex(pattern);
        const TRuleSet rules({Rule(Highlight, Regex, pattern)});
        for (const wchar_t* line : lines) {
            EXPECT_EQ(rules.HighlightOf(line).has_value(), regex.Search(line) == TSearchOutcome::Match)
                << testing::PrintToString(std::wstring(pattern)) << " on " << testing::PrintToString(std::wstring(line));
        }
    }
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
