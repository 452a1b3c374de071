// Where the settings file lives: beside the exe, as a portable program keeps it, wherever that
// can be written; else in the user's local application data folder (an unpacked zip under
// Program Files, a program started from inside a zip).
#pragma once

#include <string>

// The folder of the settings under the local application data folder.
inline constexpr wchar_t LocalSettingsFolder[] = L"Vellumtrace64";

// `exeFolder` (ending in a separator) + `fileTitle` when a file can be made in that folder and
// the file, when it exists, can be written; else `localAppData`\Vellumtrace64\`fileTitle`,
// making the folder, and copying the file beside the exe there when none is there yet, so
// that its settings are read the first time. The file beside the exe also without
// `localAppData`.
std::wstring SettingsFilePath(const std::wstring& exeFolder, const std::wstring& localAppData,
                              const std::wstring& fileTitle);

// %LOCALAPPDATA%; empty when it is not set.
std::wstring LocalAppDataFolder();
