// Names of files as the system's file calls take them whatever their length: a full path of
// MAX_PATH characters or more goes to them in the extended form ("\\?\C:\...",
// "\\?\UNC\server\share\..."), which Windows accepts up to 32 767 characters without any
// setting of the machine. Shorter names go as they are, so that nothing changes for them.
#pragma once

#include <string>

// The full path of `path`, with "." and ".." resolved and '/' turned into '\'; `path` itself
// when the system cannot make one.
std::wstring FullPathName(const std::wstring& path);

// The name to hand to CreateFileW, MoveFileExW and their kin for `path`, which may be
// relative and may use '/' as the separator.
std::wstring ExtendedLengthPath(const std::wstring& path);
