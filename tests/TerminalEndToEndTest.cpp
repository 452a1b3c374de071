// The terminal as a program: Vellumtrace64.exe and vtsend.exe run as processes of their own;
// the test watches the exchange area and reads the terminal's list from outside.
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "DebugMain.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "WinHandles.h"

namespace {

constexpr DWORD WaitLimitMs = 10000;
constexpr DWORD PollMs = 20;
constexpr int MessageBoxTextId = 0xFFFF; // the static text of a system message box

std::wstring BinDirectory()
{
    wchar_t path[MAX_PATH];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return file.substr(0, file.find_last_of(L"\\/") + 1);
}

// Polls until done() holds; false when the limit ran out first.
bool PollUntil(const std::function<bool()>& done)
{
    const ULONGLONG deadline = GetTickCount64() + WaitLimitMs;
    while (!done()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(PollMs);
    }
    return true;
}

class TProcess {
public:
    TProcess(const std::wstring& exe, const std::wstring& arguments)
    {
        std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            FProcess.Reset(info.hProcess);
            FThread.Reset(info.hThread);
            Id = info.dwProcessId;
        }
    }
    ~TProcess()
    {
        if (FProcess && WaitForSingleObject(FProcess.Get(), 0) != WAIT_OBJECT_0)
            TerminateProcess(FProcess.Get(), 99);
    }
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    bool Started() const { return static_cast<bool>(FProcess); }
    bool Running() const { return WaitForSingleObject(FProcess.Get(), 0) == WAIT_TIMEOUT; }

    // The exit code, or STILL_ACTIVE when the process did not end in time.
    DWORD Finish() const
    {
        WaitForSingleObject(FProcess.Get(), WaitLimitMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(FProcess.Get(), &code);
        return code;
    }

    DWORD Id = 0;

private:
    TUniqueHandle FProcess;
    TUniqueHandle FThread;
};

// A copy of the terminal in a folder of its own, so that no settings file of another run
// lies beside it.
class TTerminalCopy {
public:
    TTerminalCopy()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        Folder = std::wstring(temp) + L"vt_e2e_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(Folder.c_str(), nullptr);
        Exe = Folder + L"\\Vellumtrace64.exe";
        Copied = CopyFileW((BinDirectory() + L"Vellumtrace64.exe").c_str(), Exe.c_str(), FALSE) != 0;
    }
    ~TTerminalCopy()
    {
        DeleteFileW(Exe.c_str());
        DeleteFileW((Folder + L"\\Vellumtrace64.INI").c_str());
        RemoveDirectoryW(Folder.c_str());
    }
    TTerminalCopy(const TTerminalCopy&) = delete;
    TTerminalCopy& operator=(const TTerminalCopy&) = delete;

    std::wstring Folder;
    std::wstring Exe;
    bool Copied = false;
};

std::vector<std::wstring> ListLines(HWND list)
{
    std::vector<std::wstring> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0)
            break;
        std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT copied = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        line.resize(copied < 0 ? 0 : static_cast<std::size_t>(copied));
        lines.push_back(line);
    }
    return lines;
}

// The first descendant of `parent` with this control id.
HWND FindControl(HWND parent, int id)
{
    HWND found = nullptr;
    struct TSearch {
        int Id;
        HWND* Found;
    } search{id, &found};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto& search = *reinterpret_cast<TSearch*>(data);
            if (GetDlgCtrlID(child) != search.Id)
                return TRUE;
            *search.Found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return found;
}

// A message box of the given process, found by its dialog class and caption.
HWND FindMessageBox(DWORD processId, const wchar_t* caption)
{
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", caption); box != nullptr;
         box = FindWindowExW(nullptr, box, L"#32770", caption)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner == processId)
            return box;
    }
    return nullptr;
}

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

TEST(TerminalEndToEnd, AreaThatCannotBeOpenedEndsTheTerminalAfterTheErrorBox)
{
    TTerminalCopy terminalCopy;
    ASSERT_TRUE(terminalCopy.Copied);
    constexpr DWORD smallSize = 4096;
    const TUniqueHandle section(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, smallSize, Shm::SectionNameW));
    ASSERT_TRUE(section);
    const TMappedView view(MapViewOfFile(section.Get(), FILE_MAP_ALL_ACCESS, 0, 0, smallSize));
    ASSERT_TRUE(view);
    auto* bytes = static_cast<std::uint8_t*>(view.Get());
    for (DWORD i = 0; i < smallSize; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    const std::vector<std::uint8_t> before(bytes, bytes + smallSize);

    std::wstring expected;
    try {
        TSharedData attempt(nullptr);
        attempt.SetSectionName(Shm::SectionName);
        attempt.SetDataSize(Shm::AreaSize);
        attempt.Open();
    } catch (const ESharedDataError& failure) {
        expected = failure.Message();
    }
    ASSERT_FALSE(expected.empty());

    TProcess terminal(terminalCopy.Exe, L"");
    ASSERT_TRUE(terminal.Started());
    HWND box = nullptr;
    ASSERT_TRUE(PollUntil([&] { return (box = FindMessageBox(terminal.Id, L"Vellumtrace64")) != nullptr; }));
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, MessageBoxTextId, text, 1024);
    EXPECT_EQ(std::wstring(text), expected);
    EXPECT_TRUE(terminal.Running()); // waiting for the user

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(terminal.Finish(), static_cast<DWORD>(ExitAreaUnavailable));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + smallSize), before);
}

} // namespace
