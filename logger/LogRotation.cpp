#include "LogRotation.h"

#include "LongPath.h"
#include "SystemTick.h"

namespace {

constexpr DWORD FirstRetryMs = 10;

bool Exists(const std::wstring& path) { return GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

DWORD MoveOrDelete(const std::wstring& from, const std::wstring& to)
{
    const std::wstring source = ExtendedLengthPath(from);
    const BOOL done = to.empty() ? DeleteFileW(source.c_str())
                                 : MoveFileExW(source.c_str(), ExtendedLengthPath(to).c_str(), MOVEFILE_REPLACE_EXISTING);
    return done ? ERROR_SUCCESS : GetLastError();
}

} // namespace

std::wstring RotatedName(const std::wstring& path, int number)
{
    const std::size_t nameStart = path.find_last_of(L"\\/:") + 1; // npos + 1 is 0
    const std::size_t dot = path.rfind(L'.');
    const std::wstring suffix = L"." + std::to_wstring(number);
    if (dot == std::wstring::npos || dot <= nameStart)
        return path + suffix; // no extension (a leading dot starts the name)
    return path.substr(0, dot) + suffix + path.substr(dot);
}

int CountOldFiles(const std::wstring& path, int keep)
{
    int count = 0;
    while (count < keep && Exists(RotatedName(path, count + 1)))
        ++count;
    return count;
}

bool RefusedForNow(DWORD error) noexcept
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

DWORD MoveOrDeleteWithRetry(const std::wstring& from, const std::wstring& to)
{
    DWORD error = MoveOrDelete(from, to);
    for (DWORD waited = 0, pause = FirstRetryMs; RefusedForNow(error) && waited < RetryForMs; pause *= 2) {
        SystemTick::SleepFor(pause);
        waited += pause;
        error = MoveOrDelete(from, to);
    }
    return error;
}
