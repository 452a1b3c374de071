#include "LongPath.h"

#include <windows.h>

namespace {

constexpr wchar_t ExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t ExtendedUncPrefix[] = L"\\\\?\\UNC\\";
constexpr wchar_t DevicePrefix[] = L"\\\\.\\";
constexpr wchar_t UncPrefix[] = L"\\\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::wstring(prefix).size(), prefix) == 0;
}

} // namespace

std::wstring FullPathName(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    full.resize(length);
    return full;
}

std::wstring ExtendedLengthPath(const std::wstring& path)
{
    if (path.empty() || StartsWith(path, ExtendedPrefix) || StartsWith(path, DevicePrefix))
        return path;
    // The extended form takes the name literally: it must be full and use '\' only.
    const std::wstring full = FullPathName(path);
    if (full.size() < MAX_PATH || StartsWith(full, ExtendedPrefix) || StartsWith(full, DevicePrefix))
        return full.size() < MAX_PATH ? path : full;
    if (StartsWith(full, UncPrefix))
        return ExtendedUncPrefix + full.substr(std::wstring(UncPrefix).size());
    return ExtendedPrefix + full;
}
