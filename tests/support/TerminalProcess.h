// The terminal and the command-line sender as processes of their own, for tests that watch
// them from outside: starting and ending them, copies of the terminal in folders of their
// own, and reading the terminal's windows across the process boundary.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ShDat.h"
#include "ShmDefs.h"
#include "WinHandles.h"

namespace TerminalProcess {

inline constexpr DWORD WaitLimitMs = 10000;
inline constexpr DWORD PollMs = 20;
inline constexpr int StartAttempts = 2;
inline constexpr DWORD RetryStartMs = 200;
inline constexpr int MessageBoxTextId = 0xFFFF; // the static text of a system message box
inline constexpr wchar_t SettingsFileTitle[] = L"Vellumtrace64.INI";

inline std::wstring BinDirectory()
{
    wchar_t path[MAX_PATH];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return file.substr(0, file.find_last_of(L"\\/") + 1);
}

// Polls until done() holds; false when the limit ran out first.
inline bool PollUntil(const std::function<bool()>& done, DWORD limitMs = WaitLimitMs)
{
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (!done()) {
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(PollMs);
    }
    return true;
}

// A job that ends every process started by the test when the test process ends, also when
// it is killed at a time-out: a terminal left running would spoil the tests after it.
inline HANDLE ChildrenJob()
{
    static const TUniqueHandle job = [] {
        TUniqueHandle created(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (created)
            SetInformationJobObject(created.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    return job.Get();
}

class TProcess {
public:
    TProcess(const std::wstring& exe, const std::wstring& arguments)
    {
        std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        // Once in a fresh Wine prefix a start failed at random: it gets a second try, and a
        // failure is written out with its reason.
        for (int attempt = 0; attempt < StartAttempts; ++attempt) {
            if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &info))
                break;
            std::fprintf(stderr, "CreateProcess failed with error %lu: %ls\n", GetLastError(), commandLine.c_str());
            Sleep(RetryStartMs);
        }
        if (info.hProcess != nullptr) {
            FProcess.Reset(info.hProcess);
            FThread.Reset(info.hThread);
            Id = info.dwProcessId;
            AssignProcessToJobObject(ChildrenJob(), info.hProcess);
            ResumeThread(info.hThread);
        }
    }
    ~TProcess() { Kill(); }
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;

    bool Started() const { return static_cast<bool>(FProcess); }
    bool Running() const { return WaitForSingleObject(FProcess.Get(), 0) == WAIT_TIMEOUT; }

    // The exit code, or STILL_ACTIVE when the process did not end in time.
    DWORD Finish(DWORD limitMs = WaitLimitMs) const
    {
        WaitForSingleObject(FProcess.Get(), limitMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(FProcess.Get(), &code);
        return code;
    }

    // Ends the process at once, as a crash or the task manager would, and waits until it is gone.
    void Kill() const
    {
        if (FProcess && Running()) {
            TerminateProcess(FProcess.Get(), KilledExitCode);
            WaitForSingleObject(FProcess.Get(), WaitLimitMs);
        }
    }

    static constexpr UINT KilledExitCode = 99;
    DWORD Id = 0;

private:
    TUniqueHandle FProcess;
    TUniqueHandle FThread;
};

// A copy of the terminal in a folder of its own, so that no settings file of another run
// lies beside it and several terminals can run at once.
class TTerminalCopy {
public:
    explicit TTerminalCopy(const wchar_t* prefix = L"vt_e2e_")
    {
        static std::atomic<unsigned> counter{0};
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        Folder = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(++counter);
        CreateDirectoryW(Folder.c_str(), nullptr);
        Exe = Folder + L"\\Vellumtrace64.exe";
        SettingsFile = Folder + L"\\" + SettingsFileTitle;
        Copied = CopyFileW((BinDirectory() + L"Vellumtrace64.exe").c_str(), Exe.c_str(), FALSE) != 0;
    }
    ~TTerminalCopy()
    {
        SetFileAttributesW(Folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        for (const std::wstring* file : {&Exe, &SettingsFile}) {
            SetFileAttributesW(file->c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file->c_str());
        }
        RemoveDirectoryW(Folder.c_str());
    }
    TTerminalCopy(const TTerminalCopy&) = delete;
    TTerminalCopy& operator=(const TTerminalCopy&) = delete;

    std::wstring Folder;
    std::wstring Exe;
    std::wstring SettingsFile;
    bool Copied = false;
};

// The exchange area as a sender sees it, for the terminal's handle and channel switches.
class TAreaView {
public:
    TAreaView()
    {
        FShared.SetSectionName(Shm::SectionName);
        FShared.SetDataSize(Shm::AreaSize);
        FShared.Open();
    }
    volatile TShmArea& Area() const { return *static_cast<volatile TShmArea*>(FShared.Data()); }

    // The window a terminal published, once it did; null when none did in time.
    HWND WaitForTerminal() const
    {
        if (!PollUntil([this] { return Area().TerminalWnd != 0; }))
            return nullptr;
        return reinterpret_cast<HWND>(static_cast<UINT_PTR>(Area().TerminalWnd));
    }

private:
    TSharedData FShared{nullptr};
};

inline std::vector<std::wstring> ListLines(HWND list)
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

// The text of a window or control, also of another process.
inline std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

// The first descendant of `parent` with this control id.
inline HWND FindControl(HWND parent, int id)
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
inline HWND FindMessageBox(DWORD processId, const wchar_t* caption)
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

} // namespace TerminalProcess
