#include "TextMatch.h"

std::wstring AsciiUpper(std::wstring_view text)
{
    std::wstring result(text);
    for (wchar_t& c : result) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return result;
}

bool ContainsUpper(std::wstring_view upperLine, std::wstring_view upperText)
{
    return !upperText.empty() && upperLine.find(upperText) != std::wstring_view::npos;
}
