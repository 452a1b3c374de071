#include "IniFile.h"

#include <windows.h>

#include <array>

#include "Exception.h"

namespace {

constexpr DWORD ErrorTextChars = 512;

// The system's text for an error code, without the trailing line break; empty if none.
std::wstring SystemErrorText(DWORD code)
{
    std::array<wchar_t, ErrorTextChars> buffer{};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  buffer.data(), ErrorTextChars, nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' '))
        --length;
    return std::wstring(buffer.data(), length);
}

} // namespace

TIniFile::TIniFile(std::wstring path) : FPath(std::move(path)) {}

std::wstring TIniFile::Read(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue) const
{
    std::array<wchar_t, ReadLimit + 1> buffer{};
    const DWORD length = GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), FPath.c_str());
    return std::wstring(buffer.data(), length);
}

void TIniFile::Write(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    if (WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), FPath.c_str()))
        return;
    std::wstring message = L"Cannot write the settings file " + FPath;
    const std::wstring reason = SystemErrorText(GetLastError());
    if (!reason.empty())
        message += L": " + reason;
    throw Exception(std::move(message));
}

void TIniFile::Flush() noexcept
{
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, FPath.c_str());
}
