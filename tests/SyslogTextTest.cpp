// Syslog without sockets: messages as senders write them (RFC 5424, RFC 3164, hybrids and
// malformed ones) and the lines the terminal shows; TCP framing by octet counting and by line
// feed; the gaps that numbered messages reveal; the RFC 5424 messages the forwarding sends.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SequenceGaps.h"
#include "SyslogFormat.h"
#include "SyslogFraming.h"
#include "SyslogMessage.h"

namespace {

struct TLineCase {
    const char* Name;
    std::string Wire;
    std::string Shown;
};

class ReceivedLine : public testing::TestWithParam<TLineCase> {};

TEST_P(ReceivedLine, ShowsTheSentPartsOnly)
{
    EXPECT_EQ(ReceivedLineText(ParseSyslogMessage(GetParam().Wire)), GetParam().Shown);
}

const std::string Bom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Formats, ReceivedLine,
    testing::Values(
        TLineCase{"Rfc5424Full", "<34>1 2003-10-11T22:14:15.003Z mymachine su 77 ID47 - 'su root' failed",
                  "mymachine su[77]: 'su root' failed"},
        TLineCase{"Rfc5424NoProcId", "<165>1 2003-08-24T05:14:15.000003-07:00 host evntslog - ID47 - text",
                  "host evntslog: text"},
        TLineCase{"Rfc5424NoApp", "<13>1 2003-10-11T22:14:15Z host - - - - text", "host: text"},
        TLineCase{"Rfc5424WithoutStructuredData", "<13>1 - h a - - text", "h a: text"},
        TLineCase{"Rfc5424NothingButMsg", "<13>1 - - - - - - text", "text"},
        TLineCase{"Rfc5424Bom", "<13>1 - h a 1 - - " + Bom + "text", "h a[1]: text"},
        TLineCase{"Rfc5424StructuredData",
                  "<165>1 2003-10-11T22:14:15.003Z h app - ID [exampleSDID@32473 iut=\"3\" x=\"a\\]b\"][meta sequenceId=\"5\"] "
                  + Bom + "An application event",
                  "h app: An application event"},
        TLineCase{"Rfc5424NoMsg", "<13>1 - h app 9 - -", "h app[9]: "},
        TLineCase{"Rfc3164", "<34>Oct 11 22:14:15 mymachine su[230]: 'su root' failed",
                  "mymachine su[230]: 'su root' failed"},
        TLineCase{"Rfc3164SingleDigitDay", "<13>Oct  1 02:04:05 box cron: job", "box cron: job"},
        TLineCase{"Rfc3164NoTag", "<13>Oct 11 22:14:15 box free text here", "box: free text here"},
        TLineCase{"Rfc3164NoHost", "<13>Oct 11 22:14:15 app[12]: text", "app[12]: text"},
        TLineCase{"Rfc3164NoHeader", "<13>app: text", "app: text"},
        TLineCase{"HybridRfc3339", "<13>2024-03-05T14:05:09.123+01:00 box app[7]: text", "box app[7]: text"},
        TLineCase{"NoPri", "just some text", "just some text"},
        TLineCase{"PriTooLarge", "<192>1 - h a - - - text", "<192>1 - h a - - - text"},
        TLineCase{"PriNotClosed", "<13 text", "<13 text"},
        TLineCase{"PriEmpty", "<>text", "<>text"},
        TLineCase{"OnlyPri", "<13>", ""},
        TLineCase{"Empty", "", ""},
        TLineCase{"NulInside", std::string("<13>app: a\0b", 12), "app: a b"},
        TLineCase{"LineBreakInside", "<13>app: one\ntwo", "app: one\ntwo"},
        TLineCase{"UnterminatedStructuredData", "<13>1 - h a - - [x y=\"z", "h a: "},
        TLineCase{"Utf8ToAnsi", "<13>1 - h a - - - " + Bom + "Gr\xC3\xBC\xC3\x9F" "e", "h a: Gr\xFC\xDF" "e"},
        TLineCase{"NotUtf8KeptAsAnsi", "<13>1 - h a - - - Gr\xFC\xDF" "e", "h a: Gr\xFC\xDF" "e"}),
    [](const testing::TestParamInfo<TLineCase>& info) { return std::string(info.param.Name); });

TEST(SyslogMessage, ReadsTheSequenceIdOfMeta)
{
    EXPECT_EQ(ParseSyslogMessage("<13>1 - h a - - [meta sequenceId=\"42\"] x").SequenceId, 42u);
    EXPECT_FALSE(ParseSyslogMessage("<13>1 - h a - - [other sequenceId=\"42\"] x").SequenceId);
    EXPECT_FALSE(ParseSyslogMessage("<13>h a: [meta sequenceId=\"42\"]").SequenceId);
}

struct TFramingCase {
    const char* Name;
    std::vector<std::string> Pieces; // as recv hands them over
    std::vector<std::string> Messages;
};

class Framing : public testing::TestWithParam<TFramingCase> {};

TEST_P(Framing, FindsEveryMessage)
{
    TSyslogFramer framer;
    std::vector<std::string> messages;
    for (const std::string& piece : GetParam().Pieces)
        framer.Feed(piece, messages);
    framer.Finish(messages);
    EXPECT_EQ(messages, GetParam().Messages);
}

const std::string Huge(MaxSyslogMessageBytes + 10, 'x');

INSTANTIATE_TEST_SUITE_P(
    Tcp, Framing,
    testing::Values(
        TFramingCase{"OctetCounted", {"5 <1>ab3 xyz"}, {"<1>ab", "xyz"}},
        TFramingCase{"OctetCountedSplit", {"1", "1 <13>hel", "lo w", "o"}, {"<13>hello w", "o"}},
        TFramingCase{"LineFeed", {"<13>a\n<13>b\n"}, {"<13>a", "<13>b"}},
        TFramingCase{"CrAndNulBeforeLineFeed", {"<13>a\r\n<13>b\0\n"}, {"<13>a", "<13>b"}},
        TFramingCase{"MixedPerFrame", {"3 abc<13>line\n2 de"}, {"abc", "<13>line", "de"}},
        TFramingCase{"LastLineUnterminated", {"<13>a\n<13>b"}, {"<13>a", "<13>b"}},
        TFramingCase{"CountedMessageWithLineFeeds", {"6 a\nb\nc\nd"}, {"a\nb\nc\n", "d"}},
        TFramingCase{"DigitsWithoutSpaceAreALine", {"123abc\n"}, {"123abc"}},
        TFramingCase{"HugeCountIsALine", {"99999999999 text\nnext\n"}, {"99999999999 text", "next"}},
        TFramingCase{"CountBeyondMaximumIsALine", {"70000 text\n"}, {"70000 text"}},
        TFramingCase{"EmptyLinesSkipped", {"\n\r\n<13>a\n"}, {"<13>a"}},
        TFramingCase{"CountLongerThanStream", {"10 abc"}, {"10 abc"}},
        TFramingCase{"EndlessLineCut", {Huge}, {Huge.substr(0, MaxSyslogMessageBytes), "xxxxxxxxxx"}}),
    [](const testing::TestParamInfo<TFramingCase>& info) { return std::string(info.param.Name); });

TEST(SequenceGaps, CountsWhatIsMissingPerHost)
{
    TSequenceGaps gaps;
    EXPECT_FALSE(gaps.Next("a", 1));
    EXPECT_FALSE(gaps.Next("a", 2));
    EXPECT_FALSE(gaps.Next("b", 10));
    EXPECT_EQ(gaps.Next("a", 7), 4u);
    EXPECT_FALSE(gaps.Next("b", 11));
    EXPECT_FALSE(gaps.Next("a", 1)); // restarted: no gap
    EXPECT_EQ(gaps.Next("a", 3), 1u);
    EXPECT_EQ(MissingMessagesText("a", 4), "4 messages from a missing");
}

SYSTEMTIME Moment(WORD hour, WORD minute, WORD millisecond)
{
    SYSTEMTIME time{};
    time.wYear = 2026;
    time.wMonth = 3;
    time.wDay = 5;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = 9;
    time.wMilliseconds = millisecond;
    return time;
}

struct TFormatCase {
    const char* Name;
    TForwardLine Line;
    std::string Host;
    int Offset;
    std::string Message;
};

class Rfc5424 : public testing::TestWithParam<TFormatCase> {};

TEST_P(Rfc5424, CarriesTheLine)
{
    EXPECT_EQ(FormatRfc5424(GetParam().Line, GetParam().Host, GetParam().Offset), GetParam().Message);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Rfc5424,
    testing::Values(
        TFormatCase{"ExchangeLine", {"hello", 0, Moment(14, 5, 7), "", 0}, "pc1", 60,
                    "<15>1 2026-03-05T14:05:09.007+01:00 pc1 Vellumtrace64 - M - " + Bom + "hello"},
        TFormatCase{"CapturedLine", {"x", 3, Moment(1, 2, 999), "app.exe", 4242}, "pc1", -330,
                    "<15>1 2026-03-05T01:02:09.999-05:30 pc1 app.exe 4242 3 - " + Bom + "x"},
        TFormatCase{"AnsiToUtf8", {"Gr\xFC\xDF" "e", 9, Moment(0, 0, 0), "", 0}, "h", 0,
                    "<15>1 2026-03-05T00:00:09.000+00:00 h Vellumtrace64 - 9 - " + Bom + "Gr\xC3\xBC\xC3\x9F" "e"},
        TFormatCase{"FieldsMadePrintable", {"", 1, Moment(0, 0, 0), "my app", 0}, "", 0,
                    "<15>1 2026-03-05T00:00:09.000+00:00 - my_app - 1 - " + Bom}),
    [](const testing::TestParamInfo<TFormatCase>& info) { return std::string(info.param.Name); });

TEST(Rfc5424, ReadsBackAsItWasSent)
{
    const TForwardLine line{"text with [brackets]", 5, Moment(1, 1, 1), "tool", 12};
    const TSyslogMessage message = ParseSyslogMessage(FormatRfc5424(line, "host", 0));
    EXPECT_EQ(ReceivedLineText(message), "host tool[12]: text with [brackets]");
}

TEST(Rfc5424, OctetCountsTheBytes)
{
    EXPECT_EQ(OctetCounted("<13>1 x"), "7 <13>1 x");
    EXPECT_EQ(OctetCounted(Bom), "3 " + Bom);
}

TEST(Rfc5424, OffsetFollowsTheTimeZone)
{
    SYSTEMTIME local{};
    GetLocalTime(&local);
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    FILETIME localFile{}, utcFile{};
    SystemTimeToFileTime(&local, &localFile);
    SystemTimeToFileTime(&utc, &utcFile);
    const auto ticks = [](FILETIME file) {
        return static_cast<long long>((static_cast<unsigned long long>(file.dwHighDateTime) << 32) | file.dwLowDateTime);
    };
    const long long minutes = (ticks(localFile) - ticks(utcFile)) / (60LL * 10'000'000);
    EXPECT_NEAR(LocalOffsetMinutes(local), minutes, 1);
}

} // namespace
