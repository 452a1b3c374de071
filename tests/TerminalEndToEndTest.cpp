// The terminal as a program: Vellumtrace64.exe and vtsend.exe run as processes of their own;
// the test watches the exchange area and reads the terminal's list from outside.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "DebugMain.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "WinHandles.h"
#include "support/TerminalProcess.h"

namespace {

using namespace TerminalProcess;

TEST(TerminalEndToEnd, SenderLinesReachTheListAndClosingClearsTheArea)
{
    TTerminalCopy terminalCopy;
    ASSERT_TRUE(terminalCopy.Copied);
    TSharedData shared(nullptr);
    shared.SetSectionName(Shm::SectionName);
    shared.SetDataSize(Shm::AreaSize);
    shared.Open();
    auto& area = *static_cast<volatile TShmArea*>(shared.Data());

    TProcess terminal(terminalCopy.Exe, L"");
    ASSERT_TRUE(terminal.Started());
    ASSERT_TRUE(PollUntil([&] { return area.TerminalWnd != 0; }));
    const auto window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(area.TerminalWnd));
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(owner, terminal.Id);
    EXPECT_EQ(area.ExtendedChannels, 1);
    const HWND list = FindControl(window, idDbDisplay);
    ASSERT_NE(list, nullptr);

    {
        TProcess sender(BinDirectory() + L"vtsend.exe", L"-c 3 Hello from afar");
        ASSERT_TRUE(sender.Started());
        EXPECT_EQ(sender.Finish(), 0u);
    }
    {
        TProcess sender(BinDirectory() + L"vtsend.exe", L"Second line");
        ASSERT_TRUE(sender.Started());
        EXPECT_EQ(sender.Finish(), 0u);
    }
    // Without a settings file only the channel prefix is on.
    const std::vector<std::wstring> expected = {L"-3- Hello from afar", L"-M- Second line"};
    EXPECT_TRUE(PollUntil([&] { return ListLines(list).size() >= expected.size(); }));
    EXPECT_EQ(ListLines(list), expected);
    EXPECT_EQ(area.PendingCount, 0);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(terminal.Finish(), 0u);
    EXPECT_EQ(area.TerminalWnd, 0u);
    EXPECT_EQ(area.PendingCount, 0);
    EXPECT_EQ(area.WriteIndex, 0);
    for (int channel = 0; channel < Shm::ChannelCount; ++channel)
        EXPECT_EQ(area.ChannelOn[channel], 0) << channel;
    for (int slot = 0; slot < Shm::SlotCount; ++slot)
        EXPECT_EQ(area.SlotText[slot][0], 0) << slot;
    EXPECT_EQ(area.ExtendedChannels, 1);
    EXPECT_EQ(area.SlotChannel[0], 3);
}

} // namespace
