// Conversions between the system's ANSI code page, UTF-8 and UTF-16, in one place.
#pragma once

#include <string>
#include <string_view>

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
// Text in another code page (CP_OEMCP, CP_UTF8, a number) as the ANSI code page has it;
// characters it lacks become its substitute.
std::string CodePageToAnsi(unsigned codePage, std::string_view text);
