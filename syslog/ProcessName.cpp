#include "ProcessName.h"

#include <windows.h>

#include "TextCodec.h"
#include "WinHandles.h"

std::string ProcessFileName(std::uint32_t processId)
{
    const TUniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return std::string();
    wchar_t path[MAX_PATH * 4] = {};
    DWORD size = static_cast<DWORD>(std::size(path));
    if (!QueryFullProcessImageNameW(process.Get(), 0, path, &size))
        return std::string();
    const std::wstring_view full(path, size);
    const std::size_t slash = full.find_last_of(L"\\/");
    return WideToUtf8(slash == std::wstring_view::npos ? full : full.substr(slash + 1));
}
