// Case folding and containment as the search and the text rules use them: the letters a to z
// match their capitals, every other character matches only itself.
#pragma once

#include <string>
#include <string_view>

// a to z become A to Z; every other character stays, and so does the length.
std::wstring AsciiUpper(std::wstring_view text);

// True when upperText occurs in upperLine as an unbroken run of equal 16-bit characters.
// An empty text is contained in no line.
bool ContainsUpper(std::wstring_view upperLine, std::wstring_view upperText);
