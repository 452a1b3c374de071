// Where the running executable lives.
#pragma once

#include <string>

// Full path of the running exe, however long.
std::wstring ExecutablePath();
// Its folder, with the trailing path separator.
std::wstring ExecutableDirectory();
