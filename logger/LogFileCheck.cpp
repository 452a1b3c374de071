#include "LogFileCheck.h"

#include <windows.h>

#include "LongPath.h"
#include "WinHandles.h"

namespace {

std::optional<BY_HANDLE_FILE_INFORMATION> FileIdentity(const std::wstring& path)
{
    // No access asked: another program's lock on the file does not hide it.
    const TUniqueFileHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), 0,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.Get(), &info))
        return std::nullopt;
    return info;
}

} // namespace

bool SameFile(const std::wstring& first, const std::wstring& second)
{
    const std::wstring a = FullPathName(first);
    const std::wstring b = FullPathName(second);
    if (CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
        CSTR_EQUAL)
        return true;
    const auto idA = FileIdentity(first);
    const auto idB = FileIdentity(second);
    return idA && idB && idA->dwVolumeSerialNumber == idB->dwVolumeSerialNumber &&
           idA->nFileIndexHigh == idB->nFileIndexHigh && idA->nFileIndexLow == idB->nFileIndexLow;
}

std::optional<std::wstring> LogFileRefusal(const std::wstring& logFile, std::size_t longestName,
                                           const std::vector<std::wstring>& ownFiles)
{
    if (logFile.size() >= longestName)
        return L"The log file's name is " + std::to_wstring(longestName) +
               L" characters or longer, more than the settings file keeps, so the log would go to another file "
               L"than the one named: \"" + logFile + L"\". The log is off.";
    for (const std::wstring& own : ownFiles)
        if (SameFile(logFile, own))
            return L"The log cannot go to \"" + logFile + L"\": the terminal uses that file itself. The log is off.";
    return std::nullopt;
}
