// The system's own text for an error code, as the program shows it in its messages.
#pragma once

#include <windows.h>

#include <string>

// FormatMessage's text for `code` without the trailing line break; empty when it has none.
std::wstring SystemErrorText(DWORD code);
