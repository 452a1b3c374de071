#include "SystemError.h"

#include <array>

namespace {

constexpr DWORD ErrorTextChars = 512;

} // namespace

std::wstring SystemErrorText(DWORD code)
{
    std::array<wchar_t, ErrorTextChars> buffer{};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  buffer.data(), ErrorTextChars, nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' '))
        --length;
    return std::wstring(buffer.data(), length);
}
