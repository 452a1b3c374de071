// The syslog receiver on 127.0.0.1 against senders nobody here wrote (util-linux logger in
// its formats and framings, rsyslog forwarding with omfwd) and against a test client that
// writes what no real sender should: malformed messages, oversized ones, silent and
// numerous connections.
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SyslogReceiver.h"
#include "support/SyslogPeers.h"

namespace {

using namespace SyslogPeers;

// A receiver on a free port of 127.0.0.1, and the lines it has received so far.
class TReceiving {
public:
    explicit TReceiving(bool udp = true, bool tcp = true)
        : FPort(FreePort()), FReceiver(TSyslogReceiverOptions{L"127.0.0.1", FPort, udp, tcp}, [this] {
              ++FWakes;
              return true;
          })
    {
    }

    std::uint16_t Port() const noexcept { return FPort; }
    TSyslogReceiver& Receiver() noexcept { return FReceiver; }
    int Wakes() const noexcept { return FWakes; }

    // Takes what waits until `count` lines have come (or the time runs out); all lines so far.
    const std::vector<std::string>& AwaitLines(std::size_t count, DWORD limitMs = PeerWaitMs)
    {
        PollUntil(
            [&] {
                for (TReceivedLine& line : FReceiver.Take(SIZE_MAX))
                    FLines.push_back(std::move(line.Text));
                return FLines.size() >= count;
            },
            limitMs);
        return FLines;
    }

private:
    std::uint16_t FPort;
    std::atomic<int> FWakes{0};
    std::vector<std::string> FLines;
    TSyslogReceiver FReceiver;
};

struct TLoggerCase {
    const char* Name;
    const wchar_t* Options; // logger's: protocol, framing, format
};

class FromLogger : public testing::TestWithParam<TLoggerCase> {};

TEST_P(FromLogger, ShowsHostAppProcessIdAndMessage)
{
    TReceiving receiving;
    RunLogger(receiving.Port(), std::wstring(GetParam().Options) + L" -t vt-app --id=4242", L"hello from logger");
    const std::vector<std::string>& lines = receiving.AwaitLines(1);
    ASSERT_EQ(lines.size(), 1u);
    // logger names this machine (the Linux host name) as the host.
    const std::string& line = lines[0];
    EXPECT_NE(line.find(" vt-app[4242]: hello from logger"), std::string::npos) << line;
    EXPECT_EQ(line.find(' '), line.find(" vt-app[")) << "one host name before the app: " << line;
}

INSTANTIATE_TEST_SUITE_P(
    Framings, FromLogger,
    testing::Values(TLoggerCase{"TcpOctetCountedRfc5424", L"-T --octet-count --rfc5424"},
                    TLoggerCase{"TcpLineFeedRfc5424", L"-T --rfc5424"},
                    TLoggerCase{"TcpLineFeedRfc3164", L"-T --rfc3164"},
                    TLoggerCase{"UdpRfc3164", L"-d --rfc3164"},
                    TLoggerCase{"UdpRfc5424", L"-d --rfc5424"}),
    [](const testing::TestParamInfo<TLoggerCase>& info) { return std::string(info.param.Name); });

TEST(SyslogReceiver, WakesOnceForAStreamUntilArmedAgain)
{
    TReceiving receiving(false, true);
    TUniqueSocket client = ConnectTcp(receiving.Port());
    ASSERT_TRUE(client);
    std::string burst;
    for (int index = 0; index < 500; ++index)
        burst += "<13>app: line " + std::to_string(index) + "\n";
    ASSERT_TRUE(SendAll(client.Get(), burst));
    ASSERT_TRUE(PollUntil([&] { return receiving.Wakes() > 0; }, PeerWaitMs));
    const std::vector<std::string>& lines = receiving.AwaitLines(500);
    ASSERT_EQ(lines.size(), 500u);
    EXPECT_EQ(lines.front(), "app: line 0");
    EXPECT_EQ(lines.back(), "app: line 499");
    EXPECT_EQ(receiving.Wakes(), 1) << "the consumer had not armed the wake again";
    EXPECT_TRUE(receiving.Receiver().ArmWake());
    ASSERT_TRUE(SendAll(client.Get(), "<13>app: after\n"));
    EXPECT_TRUE(PollUntil([&] { return receiving.Wakes() == 2; }, PeerWaitMs));
}

// Malformed and hostile input, each case over a connection of its own (TCP) or as one
// datagram (UDP); every case is followed by a good line that must come too.
struct TBadInputCase {
    const char* Name;
    bool Tcp;
    std::string Bytes;
    std::vector<std::string> Lines;
};

class BadInput : public testing::TestWithParam<TBadInputCase> {};

TEST_P(BadInput, NeitherDroppedNorHarmful)
{
    TReceiving receiving;
    const TBadInputCase& c = GetParam();
    if (c.Tcp) {
        TUniqueSocket client = ConnectTcp(receiving.Port());
        ASSERT_TRUE(client);
        ASSERT_TRUE(SendAll(client.Get(), c.Bytes));
        client.Reset(); // the last unterminated line is delivered at close
    } else {
        SendDatagram(receiving.Port(), c.Bytes);
    }
    std::vector<std::string> expected = c.Lines;
    expected.push_back("host app: still receiving");
    TUniqueSocket next = ConnectTcp(receiving.Port());
    ASSERT_TRUE(SendAll(next.Get(), "<13>Oct 11 22:14:15 host app: still receiving\n"));
    const std::vector<std::string>& lines = receiving.AwaitLines(expected.size());
    std::vector<std::string> got = lines;
    // The two connections are independent: only the order within each is given.
    std::stable_partition(got.begin(), got.end(), [](const std::string& line) { return line != "host app: still receiving"; });
    EXPECT_EQ(got, expected);
}

const std::string LongText(70000, 'y');

INSTANTIATE_TEST_SUITE_P(
    Table, BadInput,
    testing::Values(
        TBadInputCase{"NoPriTcp", true, "no header at all\n", {"no header at all"}},
        TBadInputCase{"NoPriUdp", false, "no header at all", {"no header at all"}},
        TBadInputCase{"BrokenPri", false, "<999>1 - h a - - - x", {"<999>1 - h a - - - x"}},
        TBadInputCase{"UnterminatedLastLine", true, "<13>a: one\n<13>a: two", {"a: one", "a: two"}},
        TBadInputCase{"CrLfAndNul", true, "<13>a: one\r\n<13>a: two\0\n", {"a: one", "a: two"}},
        TBadInputCase{"HugeOctetCount", true, "99999999999999 <13>a: x\n", {"99999999999999 <13>a: x"}},
        TBadInputCase{"CountPastTheEnd", true, "500 <13>a: short", {"500 <13>a: short"}},
        TBadInputCase{"EndlessLine", true, LongText, {LongText.substr(0, MaxSyslogMessageBytes), LongText.substr(MaxSyslogMessageBytes)}},
        TBadInputCase{"NotUtf8", false, "<13>1 - h a - - - caf\xE9", {"h a: caf\xE9"}},
        TBadInputCase{"ControlCharactersStayInOneLine", false, "<13>a: tab\tand\rbreak", {"a: tab\tand\rbreak"}},
        TBadInputCase{"NulInside", true, std::string("<13>a: x\0y\n", 12), {"a: x y"}},
        TBadInputCase{"OversizedDatagram", false, "<13>a: " + std::string(65000, 'z'), {"a: " + std::string(65000, 'z')}},
        TBadInputCase{"EmptyDatagram", false, "", {}}),
    [](const testing::TestParamInfo<TBadInputCase>& info) { return std::string(info.param.Name); });

TEST(SyslogReceiver, SilentClientsDoNotStopOthers)
{
    TReceiving receiving(false, true);
    std::vector<TUniqueSocket> silent;
    for (int index = 0; index < 20; ++index)
        silent.push_back(ConnectTcp(receiving.Port()));
    TUniqueSocket talker = ConnectTcp(receiving.Port());
    ASSERT_TRUE(SendAll(talker.Get(), "<13>a: heard\n"));
    EXPECT_EQ(receiving.AwaitLines(1), std::vector<std::string>{"a: heard"});
}

TEST(SyslogReceiver, ManyConnectionsCloseTheIdlestFirst)
{
    TReceiving receiving(false, true);
    const std::size_t count = TSyslogReceiver::MaxConnections + 44;
    std::vector<TUniqueSocket> clients;
    for (std::size_t index = 0; index < count; ++index) {
        clients.push_back(ConnectTcp(receiving.Port()));
        ASSERT_TRUE(clients.back()) << index;
    }
    // The newest connection is served; the oldest, idle since it came, was closed.
    ASSERT_TRUE(SendAll(clients.back().Get(), "<13>a: newest\n"));
    EXPECT_EQ(receiving.AwaitLines(1), std::vector<std::string>{"a: newest"});
    char byte = 0;
    const SOCKET oldest = clients.front().Get();
    EXPECT_TRUE(PollUntil(
        [&] { return WaitForSocket(oldest, TSocketWait::Readable, 0) > 0 && recv(oldest, &byte, 1, 0) <= 0; },
        PeerWaitMs))
        << "the idlest was kept";
}

TEST(SyslogReceiver, ShowsMissingNumberedMessages)
{
    TReceiving receiving(true, false);
    for (const int sequence : {1, 2, 6, 7})
        SendDatagram(receiving.Port(), "<13>1 - box app - - [meta sequenceId=\"" + std::to_string(sequence) + "\"] m" +
                                           std::to_string(sequence));
    const std::vector<std::string> expected = {"box app: m1", "box app: m2", "3 messages from box missing",
                                               "box app: m6", "box app: m7"};
    EXPECT_EQ(receiving.AwaitLines(expected.size()), expected);
}

TEST(SyslogReceiver, APortInUseIsRefusedNamingThePort)
{
    TReceiving first;
    for (const bool udp : {true, false}) {
        try {
            TSyslogReceiver second(TSyslogReceiverOptions{L"127.0.0.1", first.Port(), udp, !udp}, [] { return true; });
            ADD_FAILURE() << "a second receiver took the port";
        } catch (const Exception& failure) {
            const std::wstring message = failure.Message();
            EXPECT_NE(message.find(std::to_wstring(first.Port())), std::wstring::npos) << failure.what();
            EXPECT_NE(message.find(udp ? L"UDP" : L"TCP"), std::wstring::npos) << failure.what();
        }
    }
}

TEST(SyslogReceiver, ABadAddressIsRefused)
{
    EXPECT_THROW(TSyslogReceiver(TSyslogReceiverOptions{L"not an address", FreePort(), true, true}, [] { return true; }),
                 Exception);
}

// rsyslog as a second real sender: what logger gives it over UDP it forwards with omfwd,
// octet-counted over TCP, to the receiver.
TEST(SyslogReceiver, TakesWhatRsyslogForwards)
{
    TReceiving receiving(false, true);
    const std::uint16_t rsyslogPort = FreePort();
    TRsyslog rsyslog("omfwd", "module(load=\"imudp\")\n"
                              "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" + std::to_string(rsyslogPort) + "\")\n"
                              "action(type=\"omfwd\" target=\"127.0.0.1\" port=\"" + std::to_string(receiving.Port()) +
                              "\" protocol=\"tcp\" TCP_Framing=\"octet-counted\" template=\"RSYSLOG_SyslogProtocol23Format\")\n");
    // UDP: logger's messages before rsyslog listens are lost; it is asked again until one comes.
    std::vector<std::string> lines;
    ASSERT_TRUE(PollUntil(
        [&] {
            RunLogger(rsyslogPort, L"-d --rfc5424 -t relayed --id=77", L"through rsyslog");
            lines = receiving.AwaitLines(1, 500);
            return !lines.empty();
        },
        PeerWaitMs))
        << rsyslog.Output();
    EXPECT_NE(lines[0].find(" relayed[77]: through rsyslog"), std::string::npos) << lines[0];
}

} // namespace
