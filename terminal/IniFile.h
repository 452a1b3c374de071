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

    // The names of the section's keys, in the order of the file; none when it is missing.
    std::vector<std::wstring> Keys(const std::wstring& section) const;

    // Removes the section with all its keys; nothing happens when there is none. Throws
    // Exception naming the full path when the file cannot be written.
    void DeleteSection(const std::wstring& section);

    // Has the system write out any copy of the file it holds; its result does not matter.
    void Flush() noexcept;

    static constexpr std::size_t ReadLimit = 2047;

private:
    std::wstring FPath;
};
