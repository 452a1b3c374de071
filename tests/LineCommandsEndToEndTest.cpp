// The copy command of the running program: Vellumtrace64.exe and vtsend.exe as processes of
// their own; the test selects lines in the terminal's list from outside, chooses the command
// and reads the clipboard.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DebugMain.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "support/ClipboardReader.h"
#include "support/TerminalProcess.h"

namespace {

using namespace TerminalProcess;
using namespace ClipboardReader;

constexpr char Sentinel[] = "before the copy";

TEST(LineCommandsEndToEnd, SelectedLinesOfTheRunningTerminalReachTheClipboard)
{
    TTerminalCopy terminalCopy(L"vt_copy_e2e_");
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
    const HWND list = FindControl(window, idDbDisplay);
    ASSERT_NE(list, nullptr);

    for (const wchar_t* arguments : {L"-c 5 alpha one", L"beta two", L"gamma three"}) {
        TProcess sender(BinDirectory() + L"vtsend.exe", arguments);
        ASSERT_TRUE(sender.Started());
        EXPECT_EQ(sender.Finish(), 0u);
    }
    // Without a settings file only the channel prefix is on.
    const std::vector<std::wstring> lines = {L"-5- alpha one", L"-M- beta two", L"-M- gamma three"};
    ASSERT_TRUE(PollUntil([&] { return ListLines(list).size() >= lines.size(); }));
    ASSERT_EQ(ListLines(list), lines);

    ASSERT_TRUE(PutClipboardText(Sentinel));
    SendMessageW(list, LB_SETSEL, TRUE, 0);
    SendMessageW(list, LB_SETSEL, TRUE, 2);
    ASSERT_EQ(SendMessageW(list, LB_GETSELCOUNT, 0, 0), 2);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(cmEdit1, 0), 0);
    // Watched without opening the clipboard, which the terminal would then find busy and
    // leave alone: it owns the clipboard from its EmptyClipboard on.
    const auto ownerProcess = [] {
        DWORD owner = 0;
        GetWindowThreadProcessId(GetClipboardOwner(), &owner);
        return owner;
    };
    ASSERT_TRUE(PollUntil([&] { return ownerProcess() == terminal.Id; }));
    const TClipboardContent content = ReadClipboardText();
    const std::string expected("-5- alpha one\r\n-M- gamma three\r\n", 33); // with the NUL
    EXPECT_EQ(content.Bytes, expected);
    EXPECT_EQ(content.BlockSize, expected.size());
    EXPECT_EQ(ListLines(list), lines); // copying leaves the list alone

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(terminal.Finish(), 0u);
}

} // namespace
