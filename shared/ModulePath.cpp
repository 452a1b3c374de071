#include "ModulePath.h"

#include <windows.h>

std::wstring ExecutablePath()
{
    // Grow until the path fits: a long path must not be cut to a wrong file name.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ExecutableDirectory()
{
    const std::wstring path = ExecutablePath();
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}
