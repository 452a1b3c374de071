#include "IniFile.h"

#include <windows.h>

#include <algorithm>
#include <array>

#include "Exception.h"
#include "SystemError.h"

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
    WriteProfile(section.c_str(), key.c_str(), value.c_str());
}

void TIniFile::Remove(const std::wstring& section, const std::wstring& key)
{
    std::vector<std::wstring> keys = KeyNames(section);
    const auto found = std::find_if(keys.begin(), keys.end(), [&key](const std::wstring& name) {
        return CompareStringOrdinal(name.c_str(), -1, key.c_str(), -1, TRUE) == CSTR_EQUAL;
    });
    if (found == keys.end())
        return; // the file stays as it is
    keys.erase(found);
    // An empty section would stay behind as its bare header.
    if (keys.empty())
        WriteProfile(section.c_str(), nullptr, nullptr);
    else
        WriteProfile(section.c_str(), key.c_str(), nullptr);
}

std::vector<std::wstring> TIniFile::KeyNames(const std::wstring& section) const
{
    // Names separated by NULs, the list ended by a second NUL; grown until the list fits.
    std::vector<wchar_t> buffer(ReadLimit + 1);
    for (;;) {
        const DWORD length = GetPrivateProfileStringW(section.c_str(), nullptr, L"", buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), FPath.c_str());
        if (length + 2 < buffer.size()) {
            std::vector<std::wstring> names;
            for (const wchar_t* name = buffer.data(); *name != L'\0'; name += names.back().size() + 1)
                names.emplace_back(name);
            return names;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void TIniFile::WriteProfile(const wchar_t* section, const wchar_t* key, const wchar_t* value)
{
    if (WritePrivateProfileStringW(section, key, value, FPath.c_str()))
        return;
    std::wstring message = L"Cannot write the settings file " + FPath;
    const std::wstring reason = SystemErrorText(GetLastError());
    if (!reason.empty())
        message += L": " + reason;
    throw Exception(std::move(message));
}

void TIniFile::DeleteSection(const std::wstring& section)
{
    WriteProfile(section.c_str(), nullptr, nullptr);
}

void TIniFile::Flush() noexcept
{
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, FPath.c_str());
}
