// Forwarding to rsyslog, started by the test on 127.0.0.1 as the collector: every line in
// order over TCP and UDP with the fields RFC 5424 gives them, a collector that comes up late,
// and lines dropped beyond the bound while it is away.
#include <winsock2.h>

#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ProcessNames.h"
#include "SyslogForwarder.h"
#include "support/SyslogPeers.h"

namespace {

using namespace SyslogPeers;

TForwardLine Line(const std::string& text, std::uint8_t channel = 0, std::uint32_t processId = 0)
{
    TForwardLine line;
    line.Text = text;
    line.Channel = channel;
    GetLocalTime(&line.Time);
    line.ProcessId = processId;
    return line;
}

TEST(SyslogForwarder, EveryLineInOrderOverTcp)
{
    TCollector collector(true);
    ASSERT_TRUE(AwaitTcpListener(collector.Port())) << collector.Rsyslog().Output();
    TSyslogForwarder forwarder(TForwardOptions{L"127.0.0.1", collector.Port(), true}, [] { return true; });
    constexpr int Count = 3000;
    for (int index = 0; index < Count; ++index)
        forwarder.Queue(Line("line " + std::to_string(index), static_cast<std::uint8_t>(index % 10)));
    const std::vector<std::string> lines = collector.AwaitLines(Count);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(Count)) << collector.Rsyslog().Output();
    for (int index = 0; index < Count; ++index) {
        const std::string msgId = index % 10 == 0 ? "M" : std::to_string(index % 10);
        ASSERT_EQ(lines[index], Fields("Vellumtrace64", "-", msgId, "line " + std::to_string(index))) << index;
    }
}

// A captured line carries the program's name as the capture's name cache gives it.
TEST(SyslogForwarder, NamesTheCapturedProcessAndConvertsToUtf8OverUdp)
{
    TCollector collector(false);
    // UDP: nothing tells when rsyslog listens; lines are sent until one arrives.
    TSyslogForwarder forwarder(TForwardOptions{L"127.0.0.1", collector.Port(), false}, [] { return true; });
    ASSERT_TRUE(PollUntil(
        [&] {
            forwarder.Queue(Line("probe"));
            Sleep(200);
            return !FileLines(collector.File()).empty();
        },
        PeerWaitMs))
        << collector.Rsyslog().Output();
    const std::size_t probes = FileLines(collector.File()).size();
    TForwardLine captured = Line("Gr\xFC\xDF" "e", 7, GetCurrentProcessId());
    captured.App = TProcessNames().Name(GetCurrentProcessId());
    forwarder.Queue(captured);
    const std::vector<std::string> lines = collector.AwaitLines(probes + 1);
    ASSERT_GT(lines.size(), probes);
    EXPECT_EQ(lines.back(), Fields("vt_syslog_forward_test.exe", std::to_string(GetCurrentProcessId()), "7",
                                   "Gr\xC3\xBC\xC3\x9F" "e"));
}

TEST(SyslogForwarder, LinesWaitForACollectorThatComesLate)
{
    const std::uint16_t port = FreePort();
    TSyslogForwarder forwarder(TForwardOptions{L"127.0.0.1", port, true}, [] { return true; });
    constexpr int Count = 200;
    for (int index = 0; index < Count; ++index)
        forwarder.Queue(Line("early " + std::to_string(index)));
    Sleep(500); // a few attempts fail meanwhile
    TCollector collector(true, port);
    const std::vector<std::string> lines = collector.AwaitLines(Count);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(Count)) << collector.Rsyslog().Output();
    for (int index = 0; index < Count; ++index)
        ASSERT_EQ(lines[index], Fields("Vellumtrace64", "-", "M", "early " + std::to_string(index))) << index;
}

TEST(SyslogForwarder, DropsTheOldestBeyondTheBoundAndReportsOnce)
{
    const std::uint16_t port = FreePort();
    constexpr int Kept = 10;
    constexpr int Count = 25;
    const std::string text(100, 'x');
    TForwardOptions options{L"127.0.0.1", port, true};
    options.MaxWaitingBytes = Kept * (text.size() + 1 + TSyslogForwarder::LineOverheadBytes);
    std::atomic<int> wakes{0};
    TSyslogForwarder forwarder(options, [&] {
        ++wakes;
        return true;
    });
    for (int index = 0; index < Count; ++index)
        forwarder.Queue(Line(text + std::to_string(index % 10)));
    EXPECT_LE(forwarder.WaitingBytes(), options.MaxWaitingBytes);
    TCollector collector(true, port);
    const std::vector<std::string> lines = collector.AwaitLines(Kept);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(Kept)) << collector.Rsyslog().Output();
    for (int index = 0; index < Kept; ++index)
        EXPECT_EQ(lines[index], Fields("Vellumtrace64", "-", "M", text + std::to_string((Count - Kept + index) % 10)));
    ASSERT_TRUE(PollUntil([&] { return wakes == 1; }, PeerWaitMs));
    const std::vector<TForwardGap> gaps = forwarder.TakeGaps();
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].Dropped, static_cast<std::uint64_t>(Count - Kept));
    EXPECT_NE(ForwardGapText(gaps[0]).find("15 lines were not forwarded"), std::string::npos);
}

} // namespace
