// A chain of folders inside `parent` whose path is longer than MAX_PATH, made and removed
// through the extended form of their names, with whatever files the test put into the last.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "LongPath.h"

class TDeepFolder {
public:
    TDeepFolder(const std::wstring& parent, wchar_t letter)
    {
        std::wstring folder = parent;
        for (int level = 0; level < Levels; ++level) {
            folder += L"\\" + std::wstring(NameChars, static_cast<wchar_t>(letter + level));
            if (!CreateDirectoryW(ExtendedLengthPath(folder).c_str(), nullptr))
                break;
            FFolders.push_back(folder);
        }
    }
    ~TDeepFolder()
    {
        if (FFolders.empty())
            return;
        WIN32_FIND_DATAW found{};
        const std::wstring last = ExtendedLengthPath(FFolders.back());
        const HANDLE search = FindFirstFileW((last + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do
                DeleteFileW((last + L"\\" + found.cFileName).c_str()); // fails for "." and ".."
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        for (auto folder = FFolders.rbegin(); folder != FFolders.rend(); ++folder)
            RemoveDirectoryW(ExtendedLengthPath(*folder).c_str());
    }
    TDeepFolder(const TDeepFolder&) = delete;
    TDeepFolder& operator=(const TDeepFolder&) = delete;

    // The path of `name` in the deepest folder.
    std::wstring File(const std::wstring& name) const { return FFolders.empty() ? name : FFolders.back() + L"\\" + name; }

private:
    static constexpr int Levels = 3;
    static constexpr std::size_t NameChars = 100;
    std::vector<std::wstring> FFolders;
};
