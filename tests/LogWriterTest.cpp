// Log to file on real files: appending in the ANSI code page with CR LF, reading the file
// while it is written, rotation at the size limit, and every way a file can refuse to be
// written (missing folder, no permission, a full disk, a file held open without sharing).
#include <windows.h>

#include <atomic>
#include <limits>
#include <optional>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LogFileCheck.h"
#include "LogWriter.h"
#include "LongPath.h"
#include "SystemError.h"
#include "WinHandles.h"
#include "support/DeepFolder.h"
#include "support/TerminalProcess.h"
#include "support/TestFiles.h"
#include "support/Unwritable.h"

namespace {

namespace fs = std::filesystem;
using TerminalProcess::PollUntil;

constexpr UINT WindowsLatin1 = 1252;

// A folder of its own, removed with everything in it.
class LogWriter : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static int counter = 0;
        Folder = fs::path(temp) / (L"vt_log_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter));
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }

    std::wstring File(const std::wstring& name) const { return (Folder / name).wstring(); }

    // A writer whose failures are counted.
    std::unique_ptr<TLogWriter> Writer(const std::wstring& path, std::uint64_t maxBytes = 0, int keep = 1)
    {
        return std::make_unique<TLogWriter>(TLogOptions{path, maxBytes, keep}, [this] { ++Failures; });
    }

    fs::path Folder;
    std::atomic<int> Failures{0};
};

TEST(RotatedName, TheNumberGoesBeforeTheExtensionOfTheFileName)
{
    EXPECT_EQ(RotatedName(L"C:\\logs\\trace.log", 1), L"C:\\logs\\trace.1.log");
    EXPECT_EQ(RotatedName(L"C:\\logs\\trace.log", 12), L"C:\\logs\\trace.12.log");
    EXPECT_EQ(RotatedName(L"C:\\logs\\trace", 2), L"C:\\logs\\trace.2");
    EXPECT_EQ(RotatedName(L"C:\\logs.d\\trace", 1), L"C:\\logs.d\\trace.1");
    EXPECT_EQ(RotatedName(L"C:\\logs\\.trace", 1), L"C:\\logs\\.trace.1");
    EXPECT_EQ(RotatedName(L"C:\\logs\\a.b.txt", 3), L"C:\\logs\\a.b.3.txt");
    EXPECT_EQ(RotatedName(L"trace.log", 1), L"trace.1.log");
    EXPECT_EQ(RotatedName(L"C:/logs/trace.log", 1), L"C:/logs/trace.1.log");
}

TEST_F(LogWriter, LinesAreAppendedInTheAnsiCodePageWithCrLfWithoutByteOrderMark)
{
    ASSERT_EQ(GetACP(), WindowsLatin1) << "the expected bytes are those of code page 1252";
    const std::wstring path = File(L"appended.log");
    WriteFileBytes(path, "earlier run\r\n");
    {
        const auto writer = Writer(path);
        for (const wchar_t* line : {L"-M- first", L"", L"tab\there", L"Gr\u00FC\u00DFe", L"\u0416 not in 1252"})
            writer->Append(line);
    }
    EXPECT_EQ(ReadFileBytes(path), "earlier run\r\n-M- first\r\n\r\ntab\there\r\nGr\xFC\xDF" "e\r\n? not in 1252\r\n");
    EXPECT_EQ(Failures.load(), 0);
}

TEST_F(LogWriter, AnotherProgramReadsTheFileWhileItIsWritten)
{
    const std::wstring path = File(L"shared.log");
    const auto writer = Writer(path);
    writer->Append(L"seen by a reader");
    std::optional<std::string> seen;
    ASSERT_TRUE(PollUntil([&] {
        // As a viewer opens a file that another program writes.
        const TUniqueFileHandle reader(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!reader)
            return false;
        seen = ReadFileBytes(path);
        return seen && !seen->empty();
    }));
    EXPECT_EQ(seen, "seen by a reader\r\n");
    writer->Append(L"and more");
    EXPECT_TRUE(writer->Failure().empty());
}

struct TRotationCase {
    int Keep;
    std::vector<std::wstring> Files; // that must exist afterwards, oldest first
};

// Lines of 11 bytes with CR LF and a limit of 45 bytes: four lines to a file.
TEST_F(LogWriter, AtTheLimitTheFileIsRenamedAndExactlyKeepOldFilesStay)
{
    const TRotationCase cases[] = {
        {0, {L"r0.log"}},
        {1, {L"r1.1.log", L"r1.log"}},
        {3, {L"r3.3.log", L"r3.2.log", L"r3.1.log", L"r3.log"}},
    };
    for (const TRotationCase& c : cases) {
        SCOPED_TRACE(c.Keep);
        const std::wstring name = L"r" + std::to_wstring(c.Keep) + L".log";
        {
            const auto writer = Writer(File(name), 45, c.Keep);
            for (int n = 10; n <= 39; ++n) // 30 lines: 7 full files and 2 lines
                writer->Append(L"line " + std::to_wstring(n) + L"..");
        }
        std::string kept;
        for (const std::wstring& file : c.Files) {
            const std::optional<std::string> bytes = ReadFileBytes(File(file));
            ASSERT_TRUE(bytes) << testing::PrintToString(file);
            EXPECT_LE(bytes->size(), 45u);
            kept += *bytes;
        }
        EXPECT_FALSE(fs::exists(File(RotatedName(name, c.Keep + 1))));
        // The newest lines in order: 4 in each old file, the last 2 in the current one.
        std::string expected;
        for (int n = 38 - 4 * c.Keep; n <= 39; ++n)
            expected += "line " + std::to_string(n) + "..\r\n";
        EXPECT_EQ(kept, expected);
    }
    EXPECT_EQ(Failures.load(), 0);
}

// A log in a folder whose path alone is longer than MAX_PATH writes and rotates there.
TEST_F(LogWriter, ALogDeeperThanMaxPathIsWrittenAndRotated)
{
    const TDeepFolder deep(Folder.wstring(), L'k');
    const std::wstring path = deep.File(L"deep.log");
    ASSERT_GE(path.size(), static_cast<std::size_t>(MAX_PATH));
    {
        const auto writer = Writer(path, 20, 1);
        for (const wchar_t* line : {L"first line", L"second line"})
            writer->Append(line);
    }
    EXPECT_EQ(ReadFileBytes(ExtendedLengthPath(RotatedName(path, 1))), std::optional<std::string>("first line\r\n"));
    EXPECT_EQ(ReadFileBytes(ExtendedLengthPath(path)), std::optional<std::string>("second line\r\n"));
    EXPECT_EQ(Failures.load(), 0);
}

TEST_F(LogWriter, AFileAlreadyAtTheLimitIsRotatedBeforeTheFirstLineAndALongLineFillsAFileAlone)
{
    const std::wstring path = File(L"full.log");
    WriteFileBytes(path, std::string(40, 'x') + "\r\n");
    {
        const auto writer = Writer(path, 45, 3);
        writer->Append(L"next");
        writer->Append(std::wstring(100, L'y'));
        writer->Append(L"after");
    }
    EXPECT_EQ(ReadFileBytes(File(L"full.3.log")), std::string(40, 'x') + "\r\n");
    EXPECT_EQ(ReadFileBytes(File(L"full.2.log")), "next\r\n");
    EXPECT_EQ(ReadFileBytes(File(L"full.1.log")), std::string(100, 'y') + "\r\n");
    EXPECT_EQ(ReadFileBytes(path), "after\r\n");
    EXPECT_FALSE(fs::exists(File(L"full.4.log")));
    EXPECT_EQ(Failures.load(), 0);
}

// A number of old files far beyond those that exist costs no more than the files there are.
TEST_F(LogWriter, AHugeNumberOfOldFilesToKeepMovesOnlyTheFilesThereAre)
{
    const std::wstring path = File(L"many.log");
    {
        const auto writer = Writer(path, 45, std::numeric_limits<int>::max());
        for (int n = 10; n <= 29; ++n) // 20 lines: 5 full files
            writer->Append(L"line " + std::to_wstring(n) + L"..");
    }
    std::string kept;
    for (int number = 4; number >= 1; --number)
        kept += ReadFileBytes(File(RotatedName(L"many.log", number))).value_or("missing\r\n");
    kept += ReadFileBytes(path).value_or("missing\r\n");
    std::string expected;
    for (int n = 10; n <= 29; ++n)
        expected += "line " + std::to_string(n) + "..\r\n";
    EXPECT_EQ(kept, expected);
    EXPECT_FALSE(fs::exists(File(L"many.5.log")));
    EXPECT_EQ(Failures.load(), 0);
}

// Another program holds name.1.log open without delete sharing, as scanners and viewers do.
class HeldOldFile : public LogWriter {
protected:
    // Starts the holder; true once it has the file open.
    bool Hold(const std::wstring& file, DWORD ms)
    {
        const std::wstring readyName = L"vt_held_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(ms);
        const TUniqueHandle ready(CreateEventW(nullptr, FALSE, FALSE, readyName.c_str()));
        Holder.emplace(TerminalProcess::BinDirectory() + L"vt_file_holder.exe",
                       L"\"" + file + L"\" " + readyName + L" " + std::to_wstring(ms));
        return Holder->Started() && WaitForSingleObject(ready.Get(), TerminalProcess::WaitLimitMs) == WAIT_OBJECT_0;
    }

    std::unique_ptr<TLogWriter> NoticingWriter(const std::wstring& path, int keep)
    {
        return std::make_unique<TLogWriter>(TLogOptions{path, 45, keep}, [this] { ++Failures; }, nullptr,
                                            [this] { ++Notices; });
    }

    std::optional<TerminalProcess::TProcess> Holder;
    std::atomic<int> Notices{0};
};

// Held for a moment: the rotation is tried again until the holder lets go, and happens.
TEST_F(HeldOldFile, ForAMomentTheRotationWaitsForIt)
{
    const std::wstring path = File(L"brief.log");
    WriteFileBytes(path, "line 10..\r\nline 11..\r\nline 12..\r\nline 13..\r\n");
    WriteFileBytes(File(L"brief.1.log"), "older\r\n");
    ASSERT_TRUE(Hold(File(L"brief.1.log"), 300));
    std::vector<std::wstring> notices;
    {
        const auto writer = NoticingWriter(path, 2);
        writer->Append(L"line 14..");
        writer->Finish();
        ASSERT_TRUE(PollUntil([&] { return !Holder->Running(); }));
        notices = writer->TakeNotices();
    }
    EXPECT_EQ(ReadFileBytes(File(L"brief.2.log")), "older\r\n");
    EXPECT_EQ(ReadFileBytes(File(L"brief.1.log")), "line 10..\r\nline 11..\r\nline 12..\r\nline 13..\r\n");
    EXPECT_EQ(ReadFileBytes(path), "line 14..\r\n");
    EXPECT_TRUE(notices.empty()) << testing::PrintToString(notices);
    EXPECT_EQ(Notices.load(), 0);
    EXPECT_EQ(Failures.load(), 0);
}

// Held for good: the log goes on in its file, loses no line, says so once and never fails.
TEST_F(HeldOldFile, ForGoodTheLogGoesOnInItsFileAndSaysSoOnce)
{
    for (const int keep : {1, 2}) {
        SCOPED_TRACE(keep);
        const std::wstring name = L"held" + std::to_wstring(keep) + L".log";
        const std::wstring path = File(name);
        WriteFileBytes(File(RotatedName(name, 1)), "older\r\n");
        ASSERT_TRUE(Hold(File(RotatedName(name, 1)), TerminalProcess::WaitLimitMs * 6));
        Notices = 0;
        std::string expected;
        std::vector<std::wstring> notices;
        {
            const auto writer = NoticingWriter(path, keep);
            for (int n = 10; n <= 29; ++n) { // five files' worth
                writer->Append(L"line " + std::to_wstring(n) + L"..");
                expected += "line " + std::to_string(n) + "..\r\n";
            }
            ASSERT_TRUE(PollUntil([&] { return ReadFileBytes(path) == expected; }));
            notices = writer->TakeNotices();
        }
        EXPECT_EQ(Notices.load(), 1);
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find(File(RotatedName(name, 1))), std::wstring::npos) << testing::PrintToString(notices[0]);
        EXPECT_NE(notices[0].find(L"goes on in \"" + path + L"\""), std::wstring::npos);
        EXPECT_EQ(ReadFileBytes(File(RotatedName(name, 1))), "older\r\n");
        EXPECT_EQ(Failures.load(), 0);
        Holder.reset();
    }
}

// The same file by other names, and files that are not the same.
TEST_F(LogWriter, SameFileSeesThroughOtherNamesOfOneFile)
{
    const std::wstring settings = File(L"Settings.INI");
    WriteFileBytes(settings, "[LOG]\r\n");
    const std::wstring sub = File(L"sub");
    fs::create_directory(sub);
    const std::wstring link = File(L"linked.ini");
    const bool linked = CreateHardLinkW(link.c_str(), settings.c_str(), nullptr) != 0;
    EXPECT_TRUE(SameFile(settings, settings));
    EXPECT_TRUE(SameFile(File(L"SETTINGS.ini"), settings));
    EXPECT_TRUE(SameFile(sub + L"\\..\\Settings.INI", settings));
    if (linked) {
        EXPECT_TRUE(SameFile(link, settings));
    }
    EXPECT_FALSE(SameFile(File(L"trace.log"), settings));
    EXPECT_FALSE(SameFile(File(L"Settings.INI.log"), settings));

    EXPECT_FALSE(LogFileRefusal(File(L"trace.log"), 2047, {settings}).has_value());
    EXPECT_TRUE(LogFileRefusal(File(L"settings.ini"), 2047, {settings}).has_value());
    EXPECT_TRUE(LogFileRefusal(std::wstring(2047, L'x'), 2047, {}).has_value());
    EXPECT_FALSE(LogFileRefusal(std::wstring(2046, L'x'), 2047, {}).has_value());
}

// How a test makes the log's file unwritable; whatever it returns lives while the log runs.
struct TRefusal {
    const char* Name;
    std::shared_ptr<void> (*Arrange)(const fs::path& folder, std::wstring& path);
    DWORD Error;
};

const TRefusal Refusals[] = {
    {"missing folder",
     [](const fs::path& folder, std::wstring& path) -> std::shared_ptr<void> {
         path = (folder / L"missing" / L"x.log").wstring();
         return nullptr;
     },
     ERROR_PATH_NOT_FOUND},
    {"held open without sharing",
     [](const fs::path& folder, std::wstring& path) -> std::shared_ptr<void> {
         path = (folder / L"held.log").wstring();
         WriteFileBytes(path, "kept\r\n");
         auto holder = std::make_shared<TUniqueFileHandle>(
             CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
         EXPECT_TRUE(*holder);
         return holder;
     },
     ERROR_SHARING_VIOLATION},
    {"a folder of that name",
     [](const fs::path& folder, std::wstring& path) -> std::shared_ptr<void> {
         path = (folder / L"folder.log").wstring();
         fs::create_directory(path);
         return nullptr;
     },
     ERROR_ACCESS_DENIED},
    {"folder without write permission",
     [](const fs::path& folder, std::wstring& path) -> std::shared_ptr<void> {
         const fs::path locked = folder / L"locked";
         fs::create_directory(locked);
         path = (locked / L"x.log").wstring();
         auto protection = std::make_shared<TUnwritable>(locked.wstring(), true);
         EXPECT_FALSE(protection->Writable());
         return protection;
     },
     ERROR_ACCESS_DENIED},
    {"file without write permission",
     [](const fs::path& folder, std::wstring& path) -> std::shared_ptr<void> {
         path = (folder / L"readonly.log").wstring();
         WriteFileBytes(path, "kept\r\n");
         auto protection = std::make_shared<TUnwritable>(path, false);
         EXPECT_FALSE(protection->Writable());
         return protection;
     },
     ERROR_ACCESS_DENIED},
    {"disk full", // opened fine, refuses every byte
     [](const fs::path&, std::wstring& path) -> std::shared_ptr<void> {
         path = L"Z:\\dev\\full";
         return nullptr;
     },
     ERROR_DISK_FULL},
};

TEST_F(LogWriter, AFileThatCannotBeWrittenFailsOnceNamingTheFileAndTheReason)
{
    if (!RunsUnderWine())
        GTEST_SKIP() << "the full disk is Linux's /dev/full";
    for (const TRefusal& refusal : Refusals) {
        SCOPED_TRACE(refusal.Name);
        Failures = 0;
        std::wstring path;
        const std::shared_ptr<void> arrangement = refusal.Arrange(Folder, path);
        const auto writer = Writer(path);
        writer->Append(L"lost line");
        ASSERT_TRUE(PollUntil([&] { return Failures.load() == 1; }));
        const std::wstring failure = writer->Failure();
        EXPECT_NE(failure.find(path), std::wstring::npos) << testing::PrintToString(failure);
        EXPECT_NE(failure.find(SystemErrorText(refusal.Error)), std::wstring::npos) << testing::PrintToString(failure);
        writer->Append(L"after the failure");
        Sleep(2 * TLogWriter::FlushMs);
        EXPECT_EQ(Failures.load(), 1);
        EXPECT_EQ(writer->Failure(), failure);
    }
}

// A disk that cannot keep up: a FIFO (made by the suite, see tests/CMakeLists.txt) that takes
// 64 KB and then nothing until the test reads it.
std::wstring SlowDiskPath()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"VT_SLOW_DISK_FIFO", path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? L"Z:" + std::wstring(path, length) : std::wstring();
}

TEST_F(LogWriter, AFinishedLogDoesNotWaitForASlowDiskAndTheNextOneOnTheSameFileWritesAfterIt)
{
    const std::wstring fifo = SlowDiskPath();
    if (fifo.empty())
        GTEST_SKIP() << "the slow disk is a FIFO that the suite makes";
    const TUniqueFileHandle reader(CreateFileW(fifo.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader) << SystemErrorText(GetLastError());

    // Far more than the FIFO takes: the first log's thread blocks in WriteFile.
    constexpr int linesEach = 3000;
    const std::wstring padding(80, L'.');
    std::string expected;
    auto first = Writer(fifo);
    for (int i = 0; i < linesEach; ++i) {
        first->Append(L"first " + std::to_wstring(i) + padding);
        expected += "first " + std::to_string(i) + std::string(padding.size(), '.') + "\r\n";
    }
    Sleep(2 * TLogWriter::FlushMs);

    // None of this waits for the disk, which has taken nothing since.
    first->Finish();
    first->Append(L"after the end");
    auto second = std::make_unique<TLogWriter>(TLogOptions{fifo, 0, 1}, [this] { ++Failures; }, std::move(first));
    for (int i = 0; i < linesEach; ++i) {
        second->Append(L"second " + std::to_wstring(i));
        expected += "second " + std::to_string(i) + "\r\n";
    }
    second->Finish();

    // Now the disk keeps up: everything arrives, the first log's lines before the second's.
    std::string arrived;
    ASSERT_TRUE(PollUntil([&] {
        char buffer[65536];
        DWORD read = 0;
        while (ReadFile(reader.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
            arrived.append(buffer, read);
        return arrived.size() >= expected.size();
    }));
    second.reset();
    EXPECT_TRUE(arrived == expected) << arrived.size() << " bytes of " << expected.size();
    EXPECT_EQ(Failures.load(), 0);
}

} // namespace
