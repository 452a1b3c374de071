// Names of MAX_PATH characters and more, as the file calls must get them on Windows.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "LongPath.h"

namespace {

std::wstring CurrentFolder()
{
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

} // namespace

TEST(LongPath, OnlyNamesOfMaxPathOrMoreTakeTheExtendedForm)
{
    const std::wstring deep = std::wstring(150, L'a') + L"\\" + std::wstring(150, L'b') + L"\\log.txt";
    const std::wstring relative = std::wstring(130, L'r') + L"/" + std::wstring(130, L'q') + L"/x.log";
    std::wstring relativeFull = CurrentFolder() + L"\\" + relative;
    for (wchar_t& c : relativeFull)
        c = c == L'/' ? L'\\' : c;
    const struct {
        const char* Label;
        std::wstring Path;
        std::wstring Expected;
    } cases[] = {
        {"short: as it is", L"C:\\logs\\today.log", L"C:\\logs\\today.log"},
        {"short relative: as it is", L"today.log", L"today.log"},
        {"long on a drive", L"C:\\" + deep, L"\\\\?\\C:\\" + deep},
        {"long with '..' and '/'", L"C:/x/../" + deep, L"\\\\?\\C:\\" + deep},
        {"long on a share", L"\\\\server\\share\\" + deep, L"\\\\?\\UNC\\server\\share\\" + deep},
        {"already extended", L"\\\\?\\C:\\" + deep, L"\\\\?\\C:\\" + deep},
        {"long relative: from the current folder", relative, L"\\\\?\\" + relativeFull},
        {"empty", L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtendedLengthPath(c.Path), c.Expected) << c.Label;
}
