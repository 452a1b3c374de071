// Where the settings file lives, against real folders that can or cannot be written.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "SettingsLocation.h"
#include "support/TempDir.h"
#include "support/TestFiles.h"
#include "support/Unwritable.h"

namespace {

constexpr wchar_t Title[] = L"Vellumtrace64.INI";
constexpr char BesideContent[] = "[WINDOW]\r\nLEFT=120\r\n";
constexpr char KeptContent[] = "[WINDOW]\r\nLEFT=7\r\n";

enum class TProtect { Nothing, File, Folder };

struct TLocationCase {
    const char* Name;
    bool FileBeside;
    TProtect Protect;
    bool KeptBefore;    // the local folder already holds settings
    bool LocalAppData;  // %LOCALAPPDATA% is known
    bool ExpectLocal;
    std::optional<std::string> ExpectedContent; // of the file the path names
};

const TLocationCase LocationCases[] = {
    {"WritableFolderWithoutFile", false, TProtect::Nothing, false, true, false, std::nullopt},
    {"WritableFolderAndFile", true, TProtect::Nothing, true, true, false, BesideContent},
    {"ReadOnlyFileIsCopiedOnce", true, TProtect::File, false, true, true, BesideContent},
    {"UnwritableFolderFileIsCopiedOnce", true, TProtect::Folder, false, true, true, BesideContent},
    {"UnwritableFolderKeepsTheLocalSettings", true, TProtect::Folder, true, true, true, KeptContent},
    {"UnwritableFolderWithoutFile", false, TProtect::Folder, false, true, true, std::nullopt},
    {"UnwritableFolderWithoutLocalAppData", true, TProtect::Folder, false, false, false, BesideContent},
};

void PrintTo(const TLocationCase& location, std::ostream* out) { *out << location.Name; }

class SettingsLocation : public testing::TestWithParam<TLocationCase> {};

} // namespace

TEST_P(SettingsLocation, BesideTheExeWhereItCanBeWrittenElseInLocalAppData)
{
    const TLocationCase& c = GetParam();
    const TTempDir exeFolder;
    const TTempDir localAppData;
    const std::wstring beside = exeFolder.File(Title);
    const std::wstring local = localAppData.File(LocalSettingsFolder) + L"\\" + Title;
    if (c.FileBeside)
        WriteFileBytes(beside, BesideContent);
    if (c.KeptBefore) {
        CreateDirectoryW(localAppData.File(LocalSettingsFolder).c_str(), nullptr);
        WriteFileBytes(local, KeptContent);
    }
    std::unique_ptr<TUnwritable> protection;
    if (c.Protect != TProtect::Nothing) {
        const bool folder = c.Protect == TProtect::Folder;
        protection = std::make_unique<TUnwritable>(folder ? exeFolder.Path() : beside, folder);
        ASSERT_FALSE(protection->Writable());
    }

    const std::wstring path = SettingsFilePath(exeFolder.Path() + L"\\", c.LocalAppData ? localAppData.Path() : L"", Title);

    EXPECT_EQ(path, c.ExpectLocal ? local : beside);
    EXPECT_EQ(ReadFileBytes(path), c.ExpectedContent);
    if (c.FileBeside) {
        EXPECT_EQ(ReadFileBytes(beside), std::optional<std::string>(BesideContent));
    }
    if (c.ExpectLocal) {
        // The copy can be written, also of a read-only original.
        const TUniqueFileHandle written(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
        EXPECT_TRUE(written);
    }
}

TEST(SettingsLocationProbe, LeavesNothingBesideTheExe)
{
    const TTempDir exeFolder;
    const TTempDir localAppData;
    EXPECT_EQ(SettingsFilePath(exeFolder.Path() + L"\\", localAppData.Path(), Title), exeFolder.File(Title));
    EXPECT_TRUE(RemoveDirectoryW(exeFolder.Path().c_str())) << "the folder is not empty";
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsLocation, testing::ValuesIn(LocationCases),
                         [](const testing::TestParamInfo<TLocationCase>& info) { return std::string(info.param.Name); });
