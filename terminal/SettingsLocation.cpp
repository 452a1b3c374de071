#include "SettingsLocation.h"

#include <windows.h>

#include "WinHandles.h"

namespace {

constexpr wchar_t ProbeSuffix[] = L".probe";

// A file of this process's own name can be made there (and goes again at once).
bool CanMakeFilesIn(const std::wstring& folder)
{
    const std::wstring probe = folder + std::to_wstring(GetCurrentProcessId()) + ProbeSuffix;
    return static_cast<bool>(TUniqueFileHandle(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                                           nullptr)));
}

// Missing, or open for writing. Another program holding it for a moment (a scanner) does not
// make it unwritable.
bool CanWriteFile(const std::wstring& file)
{
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    const TUniqueFileHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle || GetLastError() == ERROR_SHARING_VIOLATION;
}

} // namespace

std::wstring SettingsFilePath(const std::wstring& exeFolder, const std::wstring& localAppData,
                              const std::wstring& fileTitle)
{
    const std::wstring portable = exeFolder + fileTitle;
    if (localAppData.empty() || (CanMakeFilesIn(exeFolder) && CanWriteFile(portable)))
        return portable;

    const std::wstring folder = localAppData + L"\\" + LocalSettingsFolder;
    CreateDirectoryW(folder.c_str(), nullptr); // fails when it exists; a missing one fails the writes later
    const std::wstring local = folder + L"\\" + fileTitle;
    // A read-only original gives a read-only copy.
    if (CopyFileW(portable.c_str(), local.c_str(), TRUE))
        SetFileAttributesW(local.c_str(), FILE_ATTRIBUTE_NORMAL);
    return local;
}

std::wstring LocalAppDataFolder()
{
    const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (size == 0)
        return {};
    std::wstring folder(size, L'\0');
    folder.resize(GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), size));
    return folder;
}
