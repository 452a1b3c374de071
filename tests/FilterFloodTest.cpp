// Hostile filter patterns in a running terminal: rules read from its settings file, some the
// engine accepts and some it refuses, while a sender floods it. The terminal is a process of
// its own started from a copy with that settings file beside it; the key press comes through
// the system's input stream as a person's does.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DebugMain.h"
#include "support/TerminalProcess.h"
#include "support/TestFiles.h"

namespace {

using namespace TerminalProcess;

constexpr DWORD FloodLimitMs = 120000;
constexpr wchar_t SenderExeName[] = L"vtsend.exe";
constexpr int FloodLines = 20000;   // far more than arrive before the key press is answered; fewer than the list's limit
constexpr int LinesBeforeKey = 500;

// Rules as the settings file holds them. The flood's lines ("-M- flood 1", ...) hold no b,
// c or !, so no exclude keeps any of them out and every line is tested against each.
const char* const AcceptedRules[] = {
    "RULE1=exclude,regex,1,,,((a*)*)*b",
    "RULE2=exclude,regex,1,,,(a|a)*b",
    "RULE3=exclude,regex,1,,,[ab]*a[ab]{20}c",
    "RULE4=exclude,regex,1,,,^(\\w+\\s?)+[!]",
    "RULE5=exclude,regex,1,,,(.*a){20}c",
    "RULE6=highlight,regex,1,255,65535,(|||||||||){20}$",
    "RULE7=highlight,regex,1,,,(?:(?:)*)*x",
};
// Refused by the engine: kept in the file, written back disabled.
const char* const RefusedRules[] = {
    "RULE8=exclude,regex,1,,,(){3000}",
    "RULE9=highlight,regex,1,,,(\\w)\\1",
};
const char* const RefusedRulesWrittenBack[] = {
    "RULE8=exclude,regex,0,,,(){3000}",
    "RULE9=highlight,regex,0,,,(\\w)\\1",
};

std::wstring FirstLine(HWND list)
{
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, 0, 0);
    if (length < 0)
        return L"";
    std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line.data()));
    line.resize(copied < 0 ? 0 : static_cast<std::size_t>(copied));
    return line;
}

bool PressCtrlD(HWND window)
{
    SetForegroundWindow(window);
    if (!PollUntil([&] { return GetForegroundWindow() == window; }))
        return false;
    INPUT keys[4] = {};
    const WORD codes[] = {VK_CONTROL, 'D', 'D', VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    return SendInput(4, keys, sizeof(INPUT)) == 4;
}

TEST(FilterFlood, HostileRulesLeaveTheWindowAnsweringKeysAndTheSettingsAreWrittenBackAtClose)
{
    TTerminalCopy copy(L"vt_filters_");
    ASSERT_TRUE(copy.Copied);
    std::string settings = "[FILTERS]\r\n";
    for (const char* rule : AcceptedRules)
        settings += std::string(rule) + "\r\n";
    for (const char* rule : RefusedRules)
        settings += std::string(rule) + "\r\n";
    WriteFileBytes(copy.SettingsFile, settings);

    TProcess terminal(copy.Exe, L"");
    ASSERT_TRUE(terminal.Started());
    const TAreaView view;
    const HWND window = view.WaitForTerminal();
    ASSERT_NE(window, nullptr);
    const HWND list = FindControl(window, idDbDisplay);

    TProcess sender(BinDirectory() + SenderExeName, L"--count " + std::to_wstring(FloodLines) + L" flood");
    ASSERT_TRUE(sender.Started());
    ASSERT_TRUE(PollUntil([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) >= LinesBeforeKey; }, FloodLimitMs));
    ASSERT_EQ(FirstLine(list), L"-M- flood 1"); // every line arrived, none kept out

    // Delete all lines (Ctrl+D): the list starts again from a later line of the same flood.
    ASSERT_TRUE(PressCtrlD(window));
    ASSERT_TRUE(PollUntil([&] { return FirstLine(list) != L"-M- flood 1"; }));
    EXPECT_TRUE(sender.Running()) << "the flood ended before the key was answered: it proves nothing";
    EXPECT_EQ(sender.Finish(FloodLimitMs), 0u);

    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    ASSERT_EQ(terminal.Finish(FloodLimitMs), 0u);
    const std::string written = ReadFileBytes(copy.SettingsFile).value_or("");
    std::string expected = "[FILTERS]\r\n";
    for (const char* rule : AcceptedRules)
        expected += std::string(rule) + "\r\n";
    for (const char* rule : RefusedRulesWrittenBack)
        expected += std::string(rule) + "\r\n";
    EXPECT_NE(written.find(expected), std::string::npos) << written;
}

} // namespace
