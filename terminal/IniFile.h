// One profile (INI) file, read and written through the system's profile functions.
#pragma once

#include <string>
#include <vector>

class TIniFile {
public:
    explicit TIniFile(std::wstring path);

    const std::wstring& Path() const noexcept { return FPath; }

    // The key's value, at most ReadLimit characters; the default when the file, the section
    // or the key is missing. A key with nothing after "=" reads as the empty text. Never
    // creates the file.
    std::wstring Read(const std::wstring& section, const std::wstring& key, const std::wstring& defaultValue) const;

    // Replaces the key's value where it stands, or adds it at the end of its section.
    // Throws Exception naming the full path when the file cannot be written.
    void Write(const std::wstring& section, const std::wstring& key, const std::wstring& value);

    // Removes the key, when present; removes its section too when no key is left in it.
    // Throws like Write.
    void Remove(const std::wstring& section, const std::wstring& key);

    // Removes the section with all its keys; nothing happens when there is none. Throws like
    // Write.
    void DeleteSection(const std::wstring& section);

    // Has the system write out any copy of the file it holds; its result does not matter.
    void Flush() noexcept;

    // The names of the section's keys, in the order of the file; empty when the file or the
    // section is missing.
    std::vector<std::wstring> KeyNames(const std::wstring& section) const;

    static constexpr std::size_t ReadLimit = 2047;

private:
    // WritePrivateProfileStringW with a null key or value deletes; a failure throws.
    void WriteProfile(const wchar_t* section, const wchar_t* key, const wchar_t* value);

    std::wstring FPath;
};
