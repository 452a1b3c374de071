// The release zip's programs, unpacked by tests/package-check.sh into an empty folder named by
// VT_PACKAGE_DIR: the terminal starts from there, and vtsend and the example sender built from
// the zip's library reach it, and the zip's name, the version resource and the title bar tell
// one version.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DebugMain.h"
#include "support/TerminalProcess.h"
#include "support/VersionResource.h"

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
    // The folder is the zip's, named Vellumtrace64-<version>-win64 by the version resource.
    const TVersionInfo info(folder + L"\\Vellumtrace64.exe");
    const std::wstring version = info.String(L"ProductVersion");
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(folder.substr(folder.find_last_of(L"\\/") + 1), L"Vellumtrace64-" + version + L"-win64");
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_EQ(caption, std::wstring(MainFrameCaption));
    EXPECT_EQ(version.rfind(CaptionVersion(caption) + L".", 0), 0u);
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
