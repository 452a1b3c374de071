// Receive syslog and forward to syslog through the real window: the Capture menu's dialogs,
// lines from util-linux logger in the list on their channel, a port that cannot be opened,
// and every line the terminal takes forwarded to rsyslog, without the filtered ones and, unless
// asked for, without the received ones.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "SyslogDialogs.h"
#include "support/AreaSender.h"
#include "support/MainFrameFixture.h"
#include "support/SyslogPeers.h"

namespace {

using namespace MainFrameFixture;
using namespace SyslogPeers;

bool MenuChecked(HWND window, UINT command)
{
    return (GetMenuState(GetMenu(window), command, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class SyslogWindow : public TMainFrameTest {
protected:
    void SetUp() override
    {
        TMainFrameTest::SetUp();
        ASSERT_TRUE(PublishMainFrame(*Frame)); // senders notify it
    }

    // The Receive dialog filled in and confirmed.
    void Receive(bool on, std::uint16_t port, int channel)
    {
        SetDialogInitHandler([=](HWND dialog, LPARAM) {
            CheckDlgButton(dialog, idReceiveEnabled, on ? BST_CHECKED : BST_UNCHECKED);
            SetDlgItemTextW(dialog, idReceiveAddress, L"127.0.0.1");
            SetDlgItemInt(dialog, idReceivePort, port, FALSE);
            CheckDlgButton(dialog, idReceiveUdp, BST_CHECKED);
            CheckDlgButton(dialog, idReceiveTcp, BST_CHECKED);
            SendDlgItemMessageW(dialog, idReceiveChannel, CB_SETCURSEL, static_cast<WPARAM>(channel), 0);
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
        Command(cmReceiveSyslog);
        SetDialogInitHandler({});
    }

    void Forward(std::uint16_t port, bool relay)
    {
        SetDialogInitHandler([=](HWND dialog, LPARAM) {
            CheckDlgButton(dialog, idForwardEnabled, BST_CHECKED);
            SetDlgItemTextW(dialog, idForwardHost, L"127.0.0.1");
            SetDlgItemInt(dialog, idForwardPort, port, FALSE);
            CheckRadioButton(dialog, idForwardTcp, idForwardUdp, idForwardTcp);
            CheckDlgButton(dialog, idForwardRelay, relay ? BST_CHECKED : BST_UNCHECKED);
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
        Command(cmForwardSyslog);
        SetDialogInitHandler({});
    }

    // Runs the window until a line ends with `end`; that line.
    std::wstring AwaitLineEnding(const std::wstring& end)
    {
        std::wstring found;
        PollUntil(
            [&] {
                Pump();
                for (const std::wstring& line : Lines())
                    if (EndsWith(line, end))
                        found = line;
                return !found.empty();
            },
            PeerWaitMs);
        return found;
    }

    TAreaSender Area;
};

TEST_F(SyslogWindow, ReceivedLinesShowOnTheirChannelUntilSwitchedOff)
{
    const std::uint16_t port = FreePort();
    Receive(true, port, 3);
    EXPECT_TRUE(MenuChecked(Window(), cmReceiveSyslog));
    RunLogger(port, L"-T --octet-count --rfc5424 -t vt-remote --id=31", L"over tcp");
    const std::wstring line = AwaitLineEnding(L" vt-remote[31]: over tcp");
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.substr(0, 4), L"-3- ");
    RunLogger(port, L"-d --rfc3164 -t vt-remote", L"over udp");
    EXPECT_FALSE(AwaitLineEnding(L" vt-remote: over udp").empty());

    Receive(false, port, 3);
    EXPECT_FALSE(MenuChecked(Window(), cmReceiveSyslog));
    // The port is free again: the test can take it.
    EXPECT_TRUE(static_cast<bool>(ListenOn(port)));
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(SyslogWindow, APortInUseGivesOneBoxAndTheReceiverGoesOnAsBefore)
{
    const std::uint16_t port = FreePort();
    Receive(true, port, 5);
    ASSERT_TRUE(MenuChecked(Window(), cmReceiveSyslog));
    const std::uint16_t busy = FreePort();
    const TUniqueSocket taken = ListenOn(busy);
    ASSERT_TRUE(taken);

    Receive(true, busy, 5);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find(std::to_wstring(busy)), std::wstring::npos);
    EXPECT_TRUE(MenuChecked(Window(), cmReceiveSyslog));
    RunLogger(port, L"-T --rfc5424 -t still", L"on the old port");
    EXPECT_FALSE(AwaitLineEnding(L" still: on the old port").empty());
}

TEST_F(SyslogWindow, TheDialogRefusesAPortOutOfRange)
{
    std::wstring problem;
    SetDialogInitHandler([&](HWND dialog, LPARAM) {
        SetDlgItemTextW(dialog, idReceivePort, L"70000");
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        wchar_t text[128] = {};
        GetDlgItemTextW(dialog, idSyslogProblem, text, 128);
        problem = text;
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    Command(cmReceiveSyslog);
    EXPECT_NE(problem.find(L"65535"), std::wstring::npos);
    EXPECT_FALSE(MenuChecked(Window(), cmReceiveSyslog));
}

TEST_F(SyslogWindow, EveryTakenLineIsForwardedButFilteredAndReceivedOnes)
{
    TCollector collector(true);
    ASSERT_TRUE(AwaitTcpListener(collector.Port())) << collector.Rsyslog().Output();
    Frame->SetFilterRules({TFilterRule{TRuleKind::Exclude, TMatchMode::Text, true, {}, {}, L"secret"}});
    const std::uint16_t port = FreePort();
    Receive(true, port, 5);
    Forward(collector.Port(), false);
    EXPECT_TRUE(MenuChecked(Window(), cmForwardSyslog));

    Area.Send(2, "from the area");
    Area.Send(0, "a secret line");
    RunLogger(port, L"-T --rfc5424 -t vt-remote", L"received, not relayed");
    ASSERT_FALSE(AwaitLineEnding(L" vt-remote: received, not relayed").empty());
    Area.Send(0, "last");
    const std::vector<std::string> expected = {Fields("Vellumtrace64", "-", "2", "from the area"),
                                               Fields("Vellumtrace64", "-", "M", "last")};
    EXPECT_EQ(collector.AwaitLines(expected.size()), expected);

    // Relayed when asked for.
    Forward(collector.Port(), true);
    RunLogger(port, L"-T --rfc5424 -t vt-remote", L"relayed");
    ASSERT_FALSE(AwaitLineEnding(L" vt-remote: relayed").empty());
    const std::vector<std::string> lines = collector.AwaitLines(3);
    ASSERT_EQ(lines.size(), 3u);
    // MSG is the line without the list's prefixes: the sender's host, its app, its message.
    const std::string head = Fields("Vellumtrace64", "-", "5", "");
    EXPECT_EQ(lines[2].substr(0, head.size()), head) << lines[2];
    EXPECT_TRUE(lines[2].ends_with(" vt-remote: relayed")) << lines[2];
    EXPECT_EQ(std::count(lines[2].begin() + head.size(), lines[2].end(), ' '), 2) << lines[2];
}

TEST_F(SyslogWindow, AFloodOfEntriesIsForwardedWholeAndInOrder)
{
    TCollector collector(true);
    ASSERT_TRUE(AwaitTcpListener(collector.Port())) << collector.Rsyslog().Output();
    Forward(collector.Port(), false);
    constexpr int Count = 2000;
    std::vector<std::string> texts;
    for (int index = 0; index < Count; ++index)
        texts.push_back("flood " + std::to_string(index));
    std::vector<const char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(text.c_str());
    std::unique_ptr<VtSender, TSenderCloser> sender(VtOpen());
    ASSERT_TRUE(sender);
    std::thread sending([&] { VtSendLines(sender.get(), 1, pointers.data(), pointers.size()); });
    PollUntil(
        [&] {
            Pump();
            return Lines().size() >= static_cast<std::size_t>(Count);
        },
        PeerWaitMs);
    sending.join();
    EXPECT_TRUE(Boxes.empty()) << WideToUtf8(Boxes.empty() ? L"" : Boxes[0].Text);
    ASSERT_EQ(Lines().size(), static_cast<std::size_t>(Count));
    const std::vector<std::string> lines = collector.AwaitLines(Count);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(Count));
    for (int index = 0; index < Count; ++index)
        ASSERT_EQ(lines[index], Fields("Vellumtrace64", "-", "1", texts[index])) << index;
}

} // namespace
