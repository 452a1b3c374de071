// The rules in the settings file, through the system's profile functions on real files: the
// value of one rule both ways, a damaged section, and writing the section afresh or not at all.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FilterSettings.h"
#include "IniFile.h"
#include "Settings.h"
#include "support/SettingsExample.h"
#include "support/TempDir.h"
#include "support/TestFiles.h"

static void PrintTo(const TFilterRule& rule, std::ostream* out)
{
    *out << testing::PrintToString(RuleValue(rule));
}

namespace {

using enum TRuleKind;
using enum TMatchMode;

constexpr wchar_t SettingsFileTitle[] = L"Vellumtrace64.INI";
constexpr std::int32_t clWindowText = -16777208;

TFilterRule Rule(TRuleKind kind, TMatchMode mode, bool enabled, std::optional<std::int32_t> text,
                 std::optional<std::int32_t> back, const wchar_t* pattern)
{
    return TFilterRule{kind, mode, enabled, text, back, pattern};
}

struct TValueCase {
    TFilterRule Rule;
    const wchar_t* Value;
};

TEST(FilterSettings, ARuleIsOneValueBothWays)
{
    const TValueCase cases[] = {
        {Rule(Include, Text, true, {}, {}, L"-3-"), L"include,text,1,,,-3-"},
        {Rule(Exclude, Regex, false, {}, {}, L"heartbeat|ping"), L"exclude,regex,0,,,heartbeat|ping"},
        {Rule(Highlight, Regex, true, 255, 65535, L"^(a,b){2},c"), L"highlight,regex,1,255,65535,^(a,b){2},c"},
        {Rule(Highlight, Text, true, clWindowText, {}, L" x"), L"highlight,text,1,-16777208,, x"},
        {Rule(Highlight, Text, true, {}, 0, L"="), L"highlight,text,1,,0,="},
    };
    for (const TValueCase& c : cases) {
        EXPECT_EQ(RuleValue(c.Rule), c.Value);
        EXPECT_EQ(ParseRuleValue(c.Value), c.Rule) << testing::PrintToString(std::wstring(c.Value));
    }
}

TEST(FilterSettings, ValuesAreReadLikeTheRestOfTheFileAndDamagedOnesGiveNothing)
{
    // Names in any case; colours as the file's other colour values; include and exclude
    // rules ignore colours.
    EXPECT_EQ(ParseRuleValue(L"HighLight,REGEX,1,$FF000008,0x00FF00,x"),
              Rule(Highlight, Regex, true, clWindowText, 0xFF00, L"x"));
    EXPECT_EQ(ParseRuleValue(L"exclude,text,1,255,0,noise"), Rule(Exclude, Text, true, {}, {}, L"noise"));

    const wchar_t* damaged[] = {
        L"",
        L"include,text,1,,",           // no pattern field
        L"hide,text,1,,,x",
        L"include,glob,1,,,x",
        L"include,text,yes,,,x",
        L"include,text,,,,x",
        L"highlight,text,1,red,,x",
        L"highlight,text,1,,99999999999,x",
        L" include,text,1,,,x",
    };
    for (const wchar_t* value : damaged)
        EXPECT_EQ(ParseRuleValue(value), std::nullopt) << testing::PrintToString(std::wstring(value));
}

// A rule whose pattern cannot be used (one that an earlier version accepted) is the user's:
// it is read, out of force, and written back.
TEST(FilterSettings, ARuleWithARefusedPatternIsKeptDisabled)
{
    const TValueCase cases[] = {
        {Rule(Include, Regex, false, {}, {}, L"(unclosed"), L"include,regex,1,,,(unclosed"},
        {Rule(Exclude, Regex, false, {}, {}, L"(a)\\1"), L"exclude,regex,1,,,(a)\\1"},
        {Rule(Highlight, Regex, false, 255, {}, L"a(?=b)"), L"highlight,regex,0,255,,a(?=b)"},
        {Rule(Include, Text, false, {}, {}, L""), L"include,text,1,,,"},
    };
    for (const TValueCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.Value)));
        EXPECT_EQ(ParseRuleValue(c.Value), c.Rule);
        EXPECT_TRUE(PatternProblem(c.Rule.Mode, c.Rule.Pattern).has_value());
    }
}

TEST(FilterSettings, AHandDamagedSectionKeepsEveryReadableRuleInTheOrderOfItsNumber)
{
    TTempDir dir;
    const std::wstring path = dir.File(SettingsFileTitle);
    WriteFileBytes(path, "[PREFERENCES]\r\nDISPLAYLINES=500\r\n"
                         "[filters]\r\n"
                         "rule3=exclude,text,1,,,third\r\n"
                         "RULE1=include,text,1,,,first\r\n"
                         "RULE2=include,regex,1,,,[broken\r\n"
                         "RULE10=highlight,text,0,255,,tenth\r\n"
                         "RULE=include,text,1,,,no number\r\n"
                         "RULE0=include,text,1,,,number zero\r\n"
                         "RULEx=include,text,1,,,not a number\r\n"
                         "NOTE=keep the noise out\r\n"
                         "RULE4=garbage\r\n"
                         "RULE5\r\n"
                         "RULE7=highlight,regex,1,,,a,b\r\n");
    const TIniFile file(path);
    EXPECT_EQ(LoadFilterRules(file), (std::vector<TFilterRule>{
                                         Rule(Include, Text, true, {}, {}, L"first"),
                                         Rule(Include, Regex, false, {}, {}, L"[broken"),
                                         Rule(Exclude, Text, true, {}, {}, L"third"),
                                         Rule(Highlight, Regex, true, {}, {}, L"a,b"),
                                         Rule(Highlight, Text, false, 255, {}, L"tenth"),
                                     }));
    EXPECT_EQ(LoadSettingsFile(file).DisplayLines, 500); // the other sections are read as before

    TTempDir empty;
    EXPECT_TRUE(LoadFilterRules(TIniFile(empty.File(SettingsFileTitle))).empty());
}

// As the platform reads the file: a key written twice has its first value, and a section
// written twice its first keys. Each rule is read once and the rules read are written back,
// in one section.
TEST(FilterSettings, AKeyOrSectionWrittenTwiceIsReadOnceAndWrittenBackOnce)
{
    TTempDir dir;
    TIniFile file(dir.File(SettingsFileTitle));
    WriteFileBytes(file.Path(), "[FILTERS]\r\n"
                                "RULE1=include,text,1,,,first\r\n"
                                "RULE2=exclude,text,1,,,second\r\n"
                                "rule1=include,text,1,,,first again\r\n"
                                "[PREFERENCES]\r\nDISPLAYLINES=500\r\n"
                                "[Filters]\r\n"
                                "RULE3=highlight,text,1,,,third\r\n");
    const std::vector<TFilterRule> read = LoadFilterRules(file);
    EXPECT_EQ(read, (std::vector<TFilterRule>{Rule(Include, Text, true, {}, {}, L"first"),
                                              Rule(Exclude, Text, true, {}, {}, L"second")}));
    SaveFilterRules(file, read);
    EXPECT_EQ(ReadFileBytes(file.Path()), "[PREFERENCES]\r\nDISPLAYLINES=500\r\n"
                                          "[FILTERS]\r\n"
                                          "RULE1=include,text,1,,,first\r\n"
                                          "RULE2=exclude,text,1,,,second\r\n");
}

TEST(FilterSettings, TheSectionIsWrittenAfreshAndOnlyWhileRulesExist)
{
    TTempDir dir;
    TIniFile file(dir.File(SettingsFileTitle));
    const std::vector<TFilterRule> three = {
        Rule(Include, Text, true, {}, {}, L"-3-"),
        Rule(Exclude, Regex, false, {}, {}, L"x|y"),
        Rule(Highlight, Text, true, 255, 65535, L"a, b"),
    };

    // A file without rules is the design's, byte for byte.
    SaveSettingsFile(file, DefaultSettings());
    const std::optional<std::string> written = ReadFileBytes(file.Path());
    ASSERT_TRUE(written);
    const std::string designFile = *written;
    SaveFilterRules(file, {});
    EXPECT_EQ(ReadFileBytes(file.Path()), designFile);

    SaveFilterRules(file, three);
    EXPECT_EQ(ReadFileBytes(file.Path()), designFile + "[FILTERS]\r\n"
                                                       "RULE1=include,text,1,,,-3-\r\n"
                                                       "RULE2=exclude,regex,0,,,x|y\r\n"
                                                       "RULE3=highlight,text,1,255,65535,a, b\r\n");
    EXPECT_EQ(LoadFilterRules(file), three);

    // A shorter list leaves no rule of the longer one behind.
    SaveFilterRules(file, {three[2]});
    EXPECT_EQ(LoadFilterRules(file), std::vector<TFilterRule>{three[2]});
    EXPECT_EQ(file.KeyNames(FiltersSection), std::vector<std::wstring>{L"RULE1"});

    // No rules: no section, and the rest of the file as it was.
    SaveFilterRules(file, {});
    EXPECT_EQ(ReadFileBytes(file.Path()), designFile);
}

} // namespace
