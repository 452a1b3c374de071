// How lines leave the terminal: the clipboard text, the saved text file and the printer
// font's height. Everything is 8-bit text in the system's ANSI code page, one line + CR LF.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LineSource.h"

// The lines converted to the ANSI code page, each followed by CR LF.
std::string ClipboardText(const std::vector<std::wstring>& selectedLinesInOrder);

// Puts text and a terminating NUL on the clipboard as CF_TEXT, the window owning it. A
// clipboard that another program holds is tried again for a moment; still held, nothing is
// copied and Exception says so.
void CopyTextToClipboard(HWND owner, const std::string& text);

// Writes lines 0 to n - 1 of the list to a file created anew at path (used as given), each
// line in the ANSI code page followed by CR LF. The first failure throws an Exception naming
// the OS error; a failed creation leaves an existing file as it was.
void SaveLines(const std::wstring& path, const TLineSource& lines, std::int32_t n);

// The printer font's height for a list font of the given whole points at dpiY dots per
// inch: negative, a character height; truncated toward zero.
std::int32_t PrinterFontHeight(int points, int dpiY) noexcept;
