// An executable's version resource, read from the file as Explorer reads it (link "version"),
// and the version that the terminal's caption shows.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

class TVersionInfo {
public:
    explicit TVersionInfo(const std::wstring& path)
    {
        DWORD ignored = 0;
        Data.resize(GetFileVersionInfoSizeW(path.c_str(), &ignored));
        if (!Data.empty() && !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(Data.size()), Data.data()))
            Data.clear();
    }
    bool Present() const { return !Data.empty(); }
    const VS_FIXEDFILEINFO* Fixed() const
    {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(Data.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }
    std::wstring String(const wchar_t* key) const
    {
        void* value = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        if (!VerQueryValueW(Data.data(), path.c_str(), &value, &length) || length == 0)
            return {};
        return std::wstring(static_cast<const wchar_t*>(value), length - 1);
    }
    // "major.minor" of the fixed file version; empty without one.
    std::wstring MajorMinor() const
    {
        const VS_FIXEDFILEINFO* fixed = Fixed();
        if (fixed == nullptr)
            return {};
        return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS));
    }

private:
    std::vector<char> Data;
};

// The version a caption such as "Vellumtrace64   V15.0" shows: what follows its last " V".
inline std::wstring CaptionVersion(std::wstring_view caption)
{
    const std::size_t marker = caption.rfind(L" V");
    return marker == std::wstring_view::npos ? std::wstring() : std::wstring(caption.substr(marker + 2));
}
