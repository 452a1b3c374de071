// Makes a file or a folder unwritable for the tests of what the program does then.
#pragma once

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <utility>

#include "TerminalProcess.h"
#include "WinHandles.h"

inline bool RunsUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Makes a file or a folder unwritable while it lives: the read-only attribute for a file, an
// entry that denies adding files for a folder. A process running as root under Wine writes
// through both; there the Unix immutable flag is set instead.
class TUnwritable {
public:
    TUnwritable(std::wstring path, bool folder) : FPath(std::move(path)), FFolder(folder)
    {
        SetWindowsProtection(true);
        if (!Writable())
            return;
        SetWindowsProtection(false);
        FImmutable = SetImmutable(true);
    }
    ~TUnwritable()
    {
        if (FImmutable)
            SetImmutable(false);
        else
            SetWindowsProtection(false);
    }
    TUnwritable(const TUnwritable&) = delete;
    TUnwritable& operator=(const TUnwritable&) = delete;

    bool Writable() const
    {
        if (!FFolder)
            return static_cast<bool>(TUniqueFileHandle(CreateFileW(FPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                                   nullptr, OPEN_EXISTING, 0, nullptr)));
        const std::wstring probe = FPath + L"\\probe.tmp";
        return static_cast<bool>(TUniqueFileHandle(
            CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr)));
    }

private:
    void SetWindowsProtection(bool on) const
    {
        if (!FFolder) {
            SetFileAttributesW(FPath.c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
            return;
        }
        // Everyone may do anything but add files or folders to this folder.
        const wchar_t* descriptor = on ? L"D:(D;;0x6;;;WD)(A;OICI;FA;;;WD)" : L"D:(A;OICI;FA;;;WD)";
        PSECURITY_DESCRIPTOR security = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor, SDDL_REVISION_1, &security, nullptr))
            return;
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted);
        std::wstring path = FPath;
        SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
        LocalFree(security);
    }

    // chattr on the Unix side, which Wine starts like any other program. The wait for its
    // end does not hold for such a process, so it leaves a marker file when it is done.
    bool SetImmutable(bool on) const
    {
        using TUnixName = char*(CDECL*)(LPCWSTR);
        const auto unixName = reinterpret_cast<TUnixName>(
            reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        if (!RunsUnderWine() || unixName == nullptr)
            return false;
        char* name = unixName(FPath.c_str());
        if (name == nullptr)
            return false;
        const std::string path(name);
        HeapFree(GetProcessHeap(), 0, name);
        const std::wstring unixPath(path.begin(), path.end());
        const std::wstring marker = FPath + L".done";
        std::wstring commandLine = std::wstring(L"Z:\\bin\\sh -c \"chattr ") + (on ? L"+i" : L"-i") + L" '" + unixPath +
                                   L"'; touch '" + unixPath + L".done'\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return false;
        const TUniqueHandle process(info.hProcess);
        const TUniqueHandle thread(info.hThread);
        const bool done = TerminalProcess::PollUntil([&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; });
        DeleteFileW(marker.c_str());
        return done;
    }

    std::wstring FPath;
    bool FFolder;
    bool FImmutable = false;
};

