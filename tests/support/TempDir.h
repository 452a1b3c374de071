// Real files for the settings tests.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "Exception.h"

// A folder of its own under the temporary directory, removed with everything in it.
class TTempDir {
public:
    TTempDir()
    {
        static int counter = 0;
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        FPath = std::wstring(temp) + L"vt_settings_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount64()) + L"_" + std::to_wstring(++counter);
        if (!CreateDirectoryW(FPath.c_str(), nullptr))
            throw Exception(L"Cannot create the test folder " + FPath);
    }
    ~TTempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::wstring& Path() const noexcept { return FPath; }
    std::wstring File(const std::wstring& name) const { return FPath + L"\\" + name; }

private:
    std::wstring FPath;
};
