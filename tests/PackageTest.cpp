// The release zip's programs, unpacked by tests/package-check.sh into an empty folder named by
// VT_PACKAGE_DIR: the terminal starts from there, and vtsend and the example sender built from
// the zip's library reach it.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DebugMain.h"
#include "support/TerminalProcess.h"

namespace {

using namespace TerminalProcess;

std::wstring PackageFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"VT_PACKAGE_DIR", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

TEST(Package, TerminalFromTheZipTakesLinesFromVtsendAndTheExample)
{
    const std::wstring folder = PackageFolder();
    ASSERT_FALSE(folder.empty()) << "run by tests/package-check.sh, which sets VT_PACKAGE_DIR";
    const TAreaView exchange;
    TProcess terminal(folder + L"\\Vellumtrace64.exe", L"");
    ASSERT_TRUE(terminal.Started());
    const HWND window = exchange.WaitForTerminal();
    ASSERT_NE(window, nullptr);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(owner, terminal.Id);
    const HWND list = FindControl(window, idDbDisplay);
    ASSERT_NE(list, nullptr);

    TProcess vtsend(folder + L"\\vtsend.exe", L"Hello from the zip");
    ASSERT_TRUE(vtsend.Started());
    EXPECT_EQ(vtsend.Finish(), 0u);
    TProcess example(folder + L"\\sdk\\example.exe", L"");
    ASSERT_TRUE(example.Started());
    EXPECT_EQ(example.Finish(), 0u);

    const std::vector<std::wstring> expected = {L"-M- Hello from the zip", L"-M- Hello from example.c",
                                                L"-5- A line on channel 5", L"-9- Wide text on channel 9"};
    EXPECT_TRUE(PollUntil([&] { return ListLines(list).size() >= expected.size(); }));
    EXPECT_EQ(ListLines(list), expected);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(terminal.Finish(), 0u);
    // It keeps its settings beside itself, in the folder it was unpacked to.
    EXPECT_NE(GetFileAttributesW((folder + L"\\" + SettingsFileTitle).c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
