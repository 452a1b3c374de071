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

[[noreturn]] void ThrowNotWritable(const std::wstring& path)
{
    std::wstring message = L"Cannot write the settings file " + path;
    const std::wstring reason = SystemErrorText(GetLastError());
    if (!reason.empty())
        message += L": " + reason;
    throw Exception(std::move(message));
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
    if (!WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), FPath.c_str()))
        ThrowNotWritable(FPath);
}

std::vector<std::wstring> TIniFile::Keys(const std::wstring& section) const
{
    // The names come back one after the other, each ended by a zero; a full buffer is
    // reported as its size minus 2.
    std::vector<wchar_t> buffer(ReadLimit + 1);
    DWORD length = 0;
    for (;;) {
        const auto size = static_cast<DWORD>(buffer.size());
        length = GetPrivateProfileStringW(section.c_str(), nullptr, L"", buffer.data(), size, FPath.c_str());
        if (length + 2 < size)
            break;
        buffer.resize(buffer.size() * 2);
    }
    std::vector<std::wstring> keys;
    for (DWORD start = 0; start < length;) {
        const std::wstring key(buffer.data() + start);
        start += static_cast<DWORD>(key.size()) + 1;
        keys.push_back(key);
    }
    return keys;
}

void TIniFile::DeleteSection(const std::wstring& section)
{
    if (!WritePrivateProfileStringW(section.c_str(), nullptr, nullptr, FPath.c_str()))
        ThrowNotWritable(FPath);
}

void TIniFile::Flush() noexcept
{
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, FPath.c_str());
}
