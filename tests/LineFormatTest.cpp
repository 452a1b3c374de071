// Display lines from entries: prefixes, the user's regional formats, rounding of the time
// stamp, invalid stamps, the entry decision, captured messages and the trim margin.
#include <windows.h>
#include <oleauto.h>

#include <climits>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CaptureLines.h"
#include "LineFormat.h"

namespace {

constexpr double MsPerDay = 86'400'000.0;
constexpr int Mar5th2024 = 45'356; // days from 30 Dec 1899
constexpr int Dec31st2023 = 45'291;
constexpr int Jan1st0001 = -693'593;
constexpr int Dec31st9999 = 2'958'465;
constexpr char InitDone[] = "Init done";

// The classic date-time value of a day and a time of day; for days before 30 Dec 1899
// the fraction counts away from zero.
double Stamp(int days, int hours, int minutes, int seconds, double ms)
{
    const double fraction = (((hours * 60.0 + minutes) * 60.0 + seconds) * 1000.0 + ms) / MsPerDay;
    return days < 0 ? days - fraction : days + fraction;
}

const double WorkedStamp = Stamp(Mar5th2024, 14, 5, 9, 7);

// The day number of a date by the system's own conversion of the classic date-time type.
int SystemDay(WORD year, WORD month, WORD day)
{
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    double stamp = 0;
    EXPECT_TRUE(SystemTimeToVariantTime(&st, &stamp));
    return static_cast<int>(stamp);
}

// The system's own conversion into the ANSI code page, as a reference.
std::string Ansi(std::wstring_view text)
{
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, result.data(), length, nullptr, nullptr);
    return result;
}

std::wstring LocaleValue(LCTYPE type)
{
    wchar_t buffer[100] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 100);
    return buffer;
}

struct TRegional {
    const wchar_t* ShortDate;
    const wchar_t* TimeFormat;
};

constexpr TRegional German{L"dd.MM.yyyy", L"HH:mm:ss"};
constexpr TRegional American{L"M/d/yyyy", L"h:mm:ss tt"};

constexpr TLineOptions AllOn{true, true, true};
constexpr TLineOptions DateTime{false, true, true};
constexpr TLineOptions TimeOnly{false, false, true};
constexpr TLineOptions ChannelOnly{true, false, false};

// Sets the user's short date and long time formats as a user would, and puts the previous
// ones back afterwards: the Wine prefix is shared by the whole suite.
class LineFormatRegional : public testing::Test {
protected:
    void SetUp() override
    {
        FSavedShortDate = LocaleValue(LOCALE_SSHORTDATE);
        FSavedTimeFormat = LocaleValue(LOCALE_STIMEFORMAT);
        ASSERT_FALSE(FSavedShortDate.empty());
        ASSERT_FALSE(FSavedTimeFormat.empty());
        Use(German);
    }

    void TearDown() override
    {
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, FSavedShortDate.c_str());
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, FSavedTimeFormat.c_str());
        EXPECT_EQ(LocaleValue(LOCALE_SSHORTDATE), FSavedShortDate);
        EXPECT_EQ(LocaleValue(LOCALE_STIMEFORMAT), FSavedTimeFormat);
    }

    static void Use(const TRegional& regional)
    {
        ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, regional.ShortDate));
        ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, regional.TimeFormat));
    }

private:
    std::wstring FSavedShortDate;
    std::wstring FSavedTimeFormat;
};

// ---- the worked example and the regional settings -----------------------------------

TEST_F(LineFormatRegional, WorkedExampleUnderBothSettingsForEveryOptionCombination)
{
    struct TCase {
        TLineOptions Options;
        std::uint8_t Channel;
        const char* German;
        const char* American;
    };
    const TCase cases[] = {
        {{true, true, true}, 3, "-3- 05.03.2024 14:05:09,007 Init done", "-3- 3/5/2024 2:05:09 PM,007 Init done"},
        {{true, false, true}, 3, "-3- 14:05:09,007 Init done", "-3- 2:05:09 PM,007 Init done"},
        {{true, true, false}, 3, "-3- 05.03.2024 Init done", "-3- 3/5/2024 Init done"},
        {{true, false, false}, 0, "-M- Init done", "-M- Init done"},
        {{false, true, true}, 3, "05.03.2024 14:05:09,007 Init done", "3/5/2024 2:05:09 PM,007 Init done"},
        {{false, true, false}, 3, "05.03.2024 Init done", "3/5/2024 Init done"},
        {{false, false, true}, 3, "14:05:09,007 Init done", "2:05:09 PM,007 Init done"},
        {{false, false, false}, 3, "Init done", "Init done"},
    };
    for (const bool german : {true, false}) {
        Use(german ? German : American);
        for (const TCase& c : cases) {
            SCOPED_TRACE(testing::Message() << (german ? "German" : "American") << ", channel " << c.Options.Channel
                                            << " date " << c.Options.Date << " time " << c.Options.Time);
            EXPECT_EQ(FormatEntryLine(InitDone, c.Channel, WorkedStamp, c.Options), german ? c.German : c.American);
        }
    }
}

// The formats are those in force when the line is built, not those at start.
TEST_F(LineFormatRegional, ChangedSettingsShowInTheVeryNextLine)
{
    const struct {
        TRegional Regional;
        const char* Line;
    } steps[] = {
        {German, "05.03.2024 14:05:09,007 x"},
        {{L"yyyy-MM-dd", L"HH'h'mm'm'ss"}, "2024-03-05 14h05m09,007 x"},
        {American, "3/5/2024 2:05:09 PM,007 x"},
        {German, "05.03.2024 14:05:09,007 x"},
    };
    for (const auto& step : steps) {
        Use(step.Regional);
        EXPECT_EQ(FormatEntryLine("x", 0, WorkedStamp, DateTime), step.Line);
    }
}

// Characters of the formats go through the ANSI code page; the entry text does not.
TEST_F(LineFormatRegional, FormatCharactersAreConvertedAndTextBytesKept)
{
    Use({L"d'\u00e9'M'\u0436'yyyy", L"HH:mm:ss"});
    std::string text;
    for (int byte = 0; byte < 256; ++byte)
        text += static_cast<char>(byte);

    const std::string line = FormatEntryLine(text, 3, WorkedStamp, AllOn);

    EXPECT_EQ(line, "-3- " + Ansi(L"5\u00e93\u04362024") + " 14:05:09,007 " + text);
    EXPECT_EQ(FormatEntryLine(text, 9, WorkedStamp, ChannelOnly), "-9- " + text);
}

// ---- channel, milliseconds, rounding ---------------------------------------------------

TEST(LineFormat, ChannelCharacterIsMOrCode48PlusByte)
{
    const struct {
        std::uint8_t Channel;
        wchar_t Character;
    } cases[] = {
        {0, L'M'},   {1, L'1'},   {2, L'2'},   {3, L'3'},   {4, L'4'},        {5, L'5'},        {6, L'6'},
        {7, L'7'},   {8, L'8'},   {9, L'9'},   {10, L':'},  {17, L'A'},       {207, L'\u00ff'}, {208, L'\u0100'},
        {255, L'\u012f'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << int(c.Channel));
        EXPECT_EQ(ChannelCharacter(c.Channel), c.Character);
        const std::string expected = std::string("-").append(Ansi({&c.Character, 1})).append("- t");
        EXPECT_EQ(FormatEntryLine("t", c.Channel, 0.0, ChannelOnly), expected);
    }
    EXPECT_EQ(FormatEntryLine("t", 1, 0.0, ChannelOnly), "-1- t");
    EXPECT_EQ(FormatEntryLine("t", 10, 0.0, ChannelOnly), "-:- t");
}

TEST_F(LineFormatRegional, MillisecondsAreThreeDigits)
{
    const struct {
        double Ms;
        const char* Line;
    } cases[] = {
        {7, "14:05:09,007 x"}, {45, "14:05:09,045 x"}, {0, "14:05:09,000 x"}, {999, "14:05:09,999 x"},
        {100, "14:05:09,100 x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatEntryLine("x", 0, Stamp(Mar5th2024, 14, 5, 9, c.Ms), TimeOnly), c.Line) << c.Ms;
}

// One rounding of the moment to the nearest millisecond feeds date, time and milliseconds.
TEST_F(LineFormatRegional, StampIsRoundedOnceToTheNearestMillisecond)
{
    const double halfAfter42s = 1.0 / 2048; // 00:00:42.1875, exact in binary
    const struct {
        double Stamp;
        const char* Line;
    } cases[] = {
        {Stamp(Mar5th2024, 14, 5, 9, 7.4), "05.03.2024 14:05:09,007 x"},
        {Stamp(Mar5th2024, 14, 5, 9, 7.6), "05.03.2024 14:05:09,008 x"},
        {Mar5th2024 + halfAfter42s, "05.03.2024 00:00:42,188 x"},
        {Stamp(Mar5th2024, 14, 5, 59, 999.6), "05.03.2024 14:06:00,000 x"},
        {Stamp(Dec31st2023, 23, 59, 59, 999.4), "31.12.2023 23:59:59,999 x"},
        {Stamp(Dec31st2023, 23, 59, 59, 999.6), "01.01.2024 00:00:00,000 x"},
        {0.0, "30.12.1899 00:00:00,000 x"},
        {Stamp(0, 23, 59, 59, 999.6), "31.12.1899 00:00:00,000 x"},
        {-0.25, "30.12.1899 06:00:00,000 x"},
        {-1.25, "29.12.1899 06:00:00,000 x"},
        {-1 - halfAfter42s, "29.12.1899 00:00:42,188 x"},
        {Stamp(-1, 23, 59, 59, 999.4), "29.12.1899 23:59:59,999 x"},
        {Stamp(-1, 23, 59, 59, 999.6), "30.12.1899 00:00:00,000 x"},
        {Stamp(-2, 23, 59, 59, 999.6), "29.12.1899 00:00:00,000 x"},
        {60.0, "28.02.1900 00:00:00,000 x"},
        {61.0, "01.03.1900 00:00:00,000 x"},
        {Stamp(36'584, 23, 59, 59, 999.6), "29.02.2000 00:00:00,000 x"},
        {Stamp(Dec31st9999, 23, 59, 59, 999.4), "31.12.9999 23:59:59,999 x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatEntryLine("x", 0, c.Stamp, DateTime), c.Line) << std::hexfloat << c.Stamp;
}

// The calendar against the system's own conversion of the classic date-time type.
TEST(LineFormat, StampCalendarAgreesWithTheSystemConversion)
{
    constexpr int Jan1st0100 = -657'434;
    constexpr int Step = 997; // prime: walks through every weekday and month
    const double timesOfDay[] = {0.0, 0.25, 0.5, 0.75};
    int checked = 0;
    for (int day = Jan1st0100; day <= Dec31st9999; day += Step) {
        for (const double tod : timesOfDay) {
            const double stamp = day < 0 ? day - tod : day + tod;
            SYSTEMTIME expected{};
            ASSERT_TRUE(VariantTimeToSystemTime(stamp, &expected)) << stamp;
            const auto actual = StampToSystemTime(stamp);
            ASSERT_TRUE(actual.has_value()) << stamp;
            EXPECT_EQ(actual->wYear, expected.wYear) << stamp;
            EXPECT_EQ(actual->wMonth, expected.wMonth) << stamp;
            EXPECT_EQ(actual->wDay, expected.wDay) << stamp;
            EXPECT_EQ(actual->wDayOfWeek, expected.wDayOfWeek) << stamp;
            EXPECT_EQ(actual->wHour, expected.wHour) << stamp;
            EXPECT_EQ(actual->wMinute, expected.wMinute) << stamp;
            EXPECT_EQ(actual->wMilliseconds, 0) << stamp;
            ++checked;
        }
    }
    EXPECT_GT(checked, 10'000);
}

TEST(LineFormat, StampRangeIsFirstOfJanuary1ToLastOfDecember9999)
{
    const struct {
        double Stamp;
        int Year; // 0: no valid date
    } cases[] = {
        {Jan1st0001, 1},
        {Stamp(Jan1st0001, 23, 59, 59, 999), 1},
        {Stamp(Jan1st0001 - 1, 23, 59, 59, 999.6), 1},
        {Stamp(Jan1st0001 - 1, 23, 59, 59, 999.4), 0},
        {Jan1st0001 - 1, 0},
        {Dec31st9999, 9999},
        {Stamp(Dec31st9999, 23, 59, 59, 999.4), 9999},
        {Stamp(Dec31st9999, 23, 59, 59, 999.6), 0},
        {Dec31st9999 + 1, 0},
    };
    for (const auto& c : cases) {
        const auto st = StampToSystemTime(c.Stamp);
        EXPECT_EQ(st ? int(st->wYear) : 0, c.Year) << std::hexfloat << c.Stamp;
    }
}

// ---- invalid stamps --------------------------------------------------------------------

TEST_F(LineFormatRegional, InvalidStampsShowPlaceholdersAndKeepChannelAndText)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double max = std::numeric_limits<double>::max();
    const double stamps[] = {
        nan, -nan, inf, -inf, max, -max, 1e300, -1e300, 9.3e18, -9.3e18,
        Dec31st9999 + 1, Stamp(Dec31st9999, 23, 59, 59, 999.6), Jan1st0001 - 1,
    };
    const std::string date(InvalidDateText);
    const std::string time(InvalidTimeText);
    for (const double stamp : stamps) {
        SCOPED_TRACE(testing::Message() << std::hexfloat << stamp);
        EXPECT_EQ(FormatEntryLine(InitDone, 3, stamp, AllOn), "-3- " + date + " " + time + " Init done");
        EXPECT_EQ(FormatEntryLine(InitDone, 3, stamp, {true, false, true}), "-3- " + time + " Init done");
        EXPECT_EQ(FormatEntryLine(InitDone, 3, stamp, {true, true, false}), "-3- " + date + " Init done");
        EXPECT_EQ(FormatEntryLine(InitDone, 0, stamp, ChannelOnly), "-M- Init done");
        EXPECT_EQ(DecideEntry({3, stamp, InitDone}, AllOn).Line, "-3- " + date + " " + time + " Init done");
    }
}

// Windows formats years from 1601 on: an earlier valid date keeps its time of day.
TEST_F(LineFormatRegional, DateTheSystemCannotRenderKeepsTheTime)
{
    const std::string date(InvalidDateText);
    const int dec31st1600 = SystemDay(1600, 12, 31);
    EXPECT_EQ(FormatEntryLine("x", 0, Stamp(SystemDay(1500, 3, 1), 12, 0, 0, 1), DateTime), date + " 12:00:00,001 x");
    EXPECT_EQ(FormatEntryLine("x", 0, Stamp(dec31st1600, 23, 59, 59, 999), DateTime), date + " 23:59:59,999 x");
    EXPECT_EQ(FormatEntryLine("x", 0, Stamp(Jan1st0001, 12, 0, 0, 0), DateTime), date + " 12:00:00,000 x");
    EXPECT_EQ(FormatEntryLine("x", 0, Stamp(dec31st1600 + 1, 0, 0, 0, 0), DateTime), "01.01.1601 00:00:00,000 x");
}

// ---- what an entry does ----------------------------------------------------------------

TEST_F(LineFormatRegional, SingleFormFeedClearsEmptyTextIsBareAnythingElseIsALine)
{
    using namespace std::string_literals;
    using namespace std::string_view_literals;
    using TKind = TEntryAction::TKind;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        std::string_view Text;
        double Stamp;
        TKind Kind;
        std::string Line;
    } cases[] = {
        {"\f"sv, WorkedStamp, TKind::Clear, ""s},
        {"\f"sv, nan, TKind::Clear, ""s},
        {""sv, WorkedStamp, TKind::Append, ""s},
        {""sv, nan, TKind::Append, ""s},
        {"\fx"sv, WorkedStamp, TKind::Append, "-3- 05.03.2024 14:05:09,007 \fx"s},
        {"x\f"sv, WorkedStamp, TKind::Append, "-3- 05.03.2024 14:05:09,007 x\f"s},
        {"\f\f"sv, WorkedStamp, TKind::Append, "-3- 05.03.2024 14:05:09,007 \f\f"s},
        {"\0"sv, WorkedStamp, TKind::Append, "-3- 05.03.2024 14:05:09,007 \0"s},
        {" "sv, WorkedStamp, TKind::Append, "-3- 05.03.2024 14:05:09,007  "s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.Text)));
        const TEntryAction action = DecideEntry({3, c.Stamp, c.Text}, AllOn);
        EXPECT_EQ(action.Kind, c.Kind);
        EXPECT_EQ(action.Line, c.Line);
    }
}

// ---- captured messages -----------------------------------------------------------------

TEST(CaptureLines, OneTrailingBreakGoesAndEveryOtherBreakStartsALine)
{
    const struct {
        std::string_view Text;
        std::vector<std::string_view> Lines;
    } cases[] = {
        {"plain", {"plain"}},
        {"", {""}},
        {"ends\r\n", {"ends"}},
        {"ends\n", {"ends"}},
        {"ends\r", {"ends"}},
        {"two\n\n", {"two", ""}},
        {"\r\n\r\n", {"", ""}},
        {"\n", {""}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\n\rb", {"a", "", "b"}}, // LF CR is two breaks
        {"\n\nx", {"", "", "x"}},
        {"tab\tand\fform feed", {"tab\tand\fform feed"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageLines(c.Text), c.Lines) << testing::PrintToString(std::string(c.Text));
}

TEST_F(LineFormatRegional, CapturedLinesCarryPrefixesOfTheCaptureAndTheProcessIdAndName)
{
    TDebugOutputMessage message;
    message.ProcessId = 4242;
    message.Text = std::string(5000, 'x') + "\r\nsecond\n";
    message.Time = SYSTEMTIME{2024, 3, 2, 5, 14, 5, 9, 7};
    const std::string prefix = "-7- 05.03.2024 14:05:09,007 [4242] ";
    EXPECT_EQ(CapturedLines(message, 7, AllOn),
              (std::vector<std::string>{prefix + std::string(5000, 'x'), prefix + "second"}));
    EXPECT_EQ(CapturedLines(message, 0, ChannelOnly),
              (std::vector<std::string>{"-M- [4242] " + std::string(5000, 'x'), "-M- [4242] second"}));
    message.Text.clear();
    EXPECT_EQ(CapturedLines(message, 0, TimeOnly), std::vector<std::string>{"14:05:09,007 [4242] "});
    // A process that could be asked is named after its executable.
    message.ProcessName = "writer.exe";
    message.Text = "one\ntwo";
    EXPECT_EQ(CapturedLines(message, 0, ChannelOnly),
              (std::vector<std::string>{"-M- [4242 writer.exe] one", "-M- [4242 writer.exe] two"}));
}

// ---- trim margin -----------------------------------------------------------------------

TEST(LineFormat, OverheadGrowsWithTheLimit)
{
    const struct {
        std::int32_t DisplayLines;
        std::int32_t Overhead;
    } cases[] = {
        {INT_MIN, 8}, {-1, 8},      {0, 8},       {1, 8},         {100, 8},      {101, 16},
        {500, 16},    {501, 32},    {1000, 32},   {1001, 64},     {10000, 64},   {10001, 128},
        {32000, 128}, {INT_MAX, 128},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OverheadFor(c.DisplayLines), c.Overhead) << c.DisplayLines;
}

} // namespace
