// Copy, delete and save through the real window: its menu commands and shortcut, its list
// box, the real clipboard, the real save dialog filled in from its hook, and real files.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/ClipboardReader.h"
#include "support/MainFrameFixture.h"
#include "support/SaveDialogDriver.h"

namespace {

namespace fs = std::filesystem;
using namespace MainFrameFixture;
using namespace ClipboardReader;

constexpr UINT WindowsLatin1 = 1252;
constexpr wchar_t CyrillicZhe = L'\u0416'; // not in code page 1252
constexpr char Sentinel[] = "left alone";

class LineCommands : public TMainFrameTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), WindowsLatin1) << "the expected bytes are those of code page 1252";
        TMainFrameTest::SetUp();
    }
};

// ---- copy ---------------------------------------------------------------------------------

TEST_F(LineCommands, CopyPutsTheSelectedLinesInListOrderAsAnsiWithCrLfAndOneNul)
{
    const struct {
        const char* Name;
        std::vector<std::string> Lines;
        std::set<int> Selected;
        std::string Text; // without the NUL
    } cases[] = {
        {"abc", {"abc"}, {0}, "abc\r\n"},
        {"several in list order", {"one", "two", "three", "four", "five"}, {3, 1, 4}, "two\r\nfour\r\nfive\r\n"},
        {"empty line and tab", {"a\tb", "", "c"}, {0, 1}, "a\tb\r\n\r\n"},
        {"code page bytes", {"Gr\xFC\xDF" "e"}, {0}, "Gr\xFC\xDF" "e\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Command(cmDeletealllines1);
        AddLines(c.Lines);
        Select(c.Selected);
        Command(cmEdit1);
        const TClipboardContent content = ReadClipboardText();
        ASSERT_TRUE(content.Present);
        EXPECT_EQ(content.BlockSize, c.Text.size() + 1);
        EXPECT_EQ(content.Bytes, c.Text + std::string(1, '\0'));
        EXPECT_EQ(GetClipboardOwner(), Window());
        EXPECT_EQ(SelectedLines(), c.Selected); // the list is left as it was
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(LineCommands, CopyOfACharacterOutsideTheCodePageGivesItsSubstituteAndTheListKeepsIt)
{
    const std::wstring line = std::wstring(L"x") + CyrillicZhe + L"y";
    AddWideLine(line);
    Select({0});
    Command(cmEdit1);
    EXPECT_EQ(ReadClipboardText().Bytes, std::string("x?y\r\n", 6));
    EXPECT_EQ(Lines(), std::vector<std::wstring>{line});
}

// Another program holds the clipboard open: for a moment, the copy waits for it; for longer,
// one box says that nothing was copied.
TEST_F(LineCommands, CopyWaitsForAClipboardHeldElsewhereAndSaysSoWhenItStaysHeld)
{
    AddLines({"held"});
    Select({0});
    const struct {
        const char* Name;
        DWORD HoldMs;
        bool Copied;
    } cases[] = {{"for a moment", 100, true}, {"for long", 3000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Boxes.clear();
        ASSERT_TRUE(PutClipboardText(Sentinel));
        TUniqueHandle opened(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread holder([&] {
            const BOOL open = OpenClipboard(nullptr);
            SetEvent(opened.Get());
            Sleep(c.HoldMs);
            if (open)
                CloseClipboard();
        });
        WaitForSingleObject(opened.Get(), 10000);
        Command(cmEdit1);
        holder.join();
        if (c.Copied) {
            EXPECT_EQ(ReadClipboardText().Bytes, std::string("held\r\n", 7));
            EXPECT_TRUE(Boxes.empty());
        } else {
            EXPECT_EQ(ReadClipboardText().Bytes, std::string(Sentinel, sizeof Sentinel));
            ASSERT_EQ(Boxes.size(), 1u);
            EXPECT_NE(Boxes[0].Text.find(L"could not be copied"), std::wstring::npos);
        }
    }
}

TEST_F(LineCommands, CopyWithNothingSelectedOrAnEmptyListLeavesTheClipboardAlone)
{
    const struct {
        const char* Name;
        std::vector<std::string> Lines;
    } cases[] = {{"none selected", {"one", "two"}}, {"empty list", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Command(cmDeletealllines1);
        AddLines(c.Lines);
        ASSERT_TRUE(PutClipboardText(Sentinel));
        Command(cmEdit1);
        EXPECT_EQ(ReadClipboardText().Bytes, std::string(Sentinel, sizeof Sentinel));
        EXPECT_NE(GetClipboardOwner(), Window());
    }
}

// ---- delete -------------------------------------------------------------------------------

TEST_F(LineCommands, DeleteSelectedRemovesExactlyTheSelectedLinesAndKeepsTheExtent)
{
    const struct {
        const char* Name;
        std::set<int> Selected;
        std::vector<std::wstring> Left;
    } cases[] = {
        {"every other", {0, 2, 4}, {L"line 1", L"line 3", L"line 5"}},
        {"first and last", {0, 5}, {L"line 1", L"wide line 2, the widest", L"line 3", L"line 4"}},
        {"all", {0, 1, 2, 3, 4, 5}, {}},
        {"none", {}, {L"line 0", L"line 1", L"wide line 2, the widest", L"line 3", L"line 4", L"line 5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Command(cmDeletealllines1);
        AddLines({"line 0", "line 1", "wide line 2, the widest", "line 3", "line 4", "line 5"});
        Probe::SearchIndex(*Frame) = 2;
        const LRESULT extent = Extent();
        const std::int32_t width = Probe::WinWidth(*Frame);
        ASSERT_GT(extent, 0);

        Select(c.Selected);
        Command(cmCopyselectedlines1);
        Pump();
        EXPECT_EQ(Lines(), c.Left);
        EXPECT_TRUE(SelectedLines().empty());
        EXPECT_EQ(Extent(), extent);
        EXPECT_EQ(Probe::WinWidth(*Frame), width);
        EXPECT_EQ(Probe::SearchIndex(*Frame), 2);
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(LineCommands, DeleteAllByShortcutKeepsTheExtentUntilAWiderLineArrives)
{
    AddLines({"short", "a rather wide line, the widest so far", "x"});
    Probe::SearchIndex(*Frame) = 1;
    const LRESULT extent = Extent();
    ASSERT_GT(extent, 0);

    PressKey(*Frame, Window(), 'D', true);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Extent(), extent);
    EXPECT_EQ(Probe::SearchIndex(*Frame), 1);

    AddLines({"narrower"});
    EXPECT_EQ(Extent(), extent);
    AddLines({"a rather wide line, the widest so far, and wider still"});
    EXPECT_GT(Extent(), extent);
    EXPECT_EQ(Extent(), Probe::WinWidth(*Frame));

    // Without Ctrl the key does nothing.
    PressKey(*Frame, Window(), 'D', false);
    EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(LineCommands, DeleteAllOfAnEmptyListChangesNothing)
{
    const LRESULT extent = Extent();
    Command(cmDeletealllines1);
    Command(cmCopyselectedlines1);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Extent(), extent);
    EXPECT_TRUE(Boxes.empty());
}

// ---- save ---------------------------------------------------------------------------------

std::string ReadBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class SaveAs : public LineCommands {
protected:
    void SetUp() override
    {
        LineCommands::SetUp();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        Folder = fs::path(temp) / (L"vt_save_" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override
    {
        LineCommands::TearDown();
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }

    fs::path Folder;
};

TEST_F(SaveAs, EveryLineIsWrittenAsAnsiWithCrLfWithoutBomOrTrailer)
{
    const struct {
        const char* Name;
        std::vector<std::string> Lines;
        std::wstring Wide; // appended as it stands, when not empty
        std::string Bytes;
    } cases[] = {
        {"lines", {"first", "", "tab\there", "Gr\xFC\xDF" "e", "\x01 control"}, L"",
         "first\r\n\r\ntab\there\r\nGr\xFC\xDF" "e\r\n\x01 control\r\n"},
        {"all empty", {"", "", ""}, L"", "\r\n\r\n\r\n"},
        {"outside the code page", {"a"}, std::wstring(L"b") + CyrillicZhe, "a\r\nb?\r\n"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Command(cmDeletealllines1);
        AddLines(c.Lines);
        if (!c.Wide.empty())
            AddWideLine(c.Wide);
        const fs::path path = Folder / ("log" + std::to_string(index++) + ".txt");
        TSaveDialogRun run;
        DriveSaveDialog(run, path, true);
        Command(cmSaveas1);
        ASSERT_EQ(run.Opened, 1);
        EXPECT_EQ(ReadBytes(path), c.Bytes);
    }
    EXPECT_TRUE(Boxes.empty());
}

// A save dialog of this process, once it shows: whether it has the child window that a hook
// procedure gives the old explorer dialog. The dialog is then cancelled.
std::optional<bool> SaveDialogHasHookChild()
{
    std::optional<bool> hooked;
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (!hooked && GetTickCount64() < deadline) {
        for (HWND dialog = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); dialog != nullptr;
             dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(dialog, &owner);
            if (owner != GetCurrentProcessId() || !IsWindowVisible(dialog))
                continue;
            hooked = FindWindowExW(dialog, nullptr, L"#32770", nullptr) != nullptr;
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            break;
        }
        Sleep(20);
    }
    return hooked;
}

// The dialog the system shows today comes without a hook; only a test's handler adds one.
TEST_F(SaveAs, TheDialogTakesAHookOnlyForATestsHandler)
{
    AddLines({"one"});
    for (const bool handler : {false, true}) {
        SCOPED_TRACE(handler);
        SetDialogInitHandler(handler ? TDialogInitHandler([](HWND, LPARAM) {}) : TDialogInitHandler());
        std::optional<bool> hooked;
        std::thread watcher([&] { hooked = SaveDialogHasHookChild(); });
        Command(cmSaveas1);
        watcher.join();
        SetDialogInitHandler({});
        ASSERT_TRUE(hooked.has_value()) << "no save dialog showed";
        EXPECT_EQ(*hooked, handler);
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(SaveAs, TheDialogHasNoFilterExtensionTitleOrOverwritePromptAndProposesTheLastPath)
{
    AddLines({"one"});
    const fs::path first = Folder / "first.log";
    const fs::path second = Folder / "second.log";
    TSaveDialogRun run;
    DriveSaveDialog(run, first, true);
    Command(cmSaveas1);
    ASSERT_EQ(run.Opened, 1);
    EXPECT_EQ(run.Proposed, L""); // nothing the first time
    EXPECT_FALSE(run.Filter);
    EXPECT_FALSE(run.DefaultExtension);
    EXPECT_FALSE(run.Title);
    EXPECT_EQ(run.Flags & OFN_OVERWRITEPROMPT, 0u);

    DriveSaveDialog(run, second, false);
    Command(cmSaveas1);
    ASSERT_EQ(run.Opened, 2);
    EXPECT_EQ(run.Proposed, first.wstring());
    EXPECT_FALSE(fs::exists(second)); // cancelled: nothing written

    // A cancelled dialog leaves the proposal as it was.
    DriveSaveDialog(run, second, true);
    Command(cmSaveas1);
    ASSERT_EQ(run.Opened, 3);
    EXPECT_EQ(run.Proposed, first.wstring());
    EXPECT_EQ(ReadBytes(second), "one\r\n");
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(SaveAs, AnExistingLongerFileIsReplacedAndAPathWithoutExtensionIsKept)
{
    AddLines({"new"});
    const struct {
        const char* Name;
        fs::path Path;
    } cases[] = {{"longer file", Folder / "old.txt"}, {"no extension", Folder / "noext"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteBytes(c.Path, std::string(1000, 'x'));
        TSaveDialogRun run;
        DriveSaveDialog(run, c.Path, true);
        Command(cmSaveas1);
        ASSERT_EQ(run.Opened, 1);
        EXPECT_EQ(ReadBytes(c.Path), "new\r\n");
    }
    EXPECT_FALSE(fs::exists(Folder / "noext.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()), 2);
}

TEST_F(SaveAs, EmptyListOpensNoDialog)
{
    TSaveDialogRun run;
    DriveSaveDialog(run, Folder / "never.txt", true);
    Command(cmSaveas1);
    EXPECT_EQ(run.Opened, 0);
    EXPECT_FALSE(fs::exists(Folder / "never.txt"));
}

std::wstring SystemText(DWORD error)
{
    wchar_t text[256] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 256, nullptr);
    std::wstring result(text);
    result.erase(result.find_last_not_of(L"\r\n ") + 1);
    return result;
}

// The dialog never returns a directory (it opens it instead), and Wine running as root writes
// a read-only file anyway: a file another program holds open is the failure left to try.
TEST_F(SaveAs, AFailureShowsOneErrorBoxNamingTheOsErrorAndLeavesTheList)
{
    const fs::path held = Folder / "held.txt";
    WriteBytes(held, "keep me");
    TUniqueFileHandle holder(
        CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    const std::wstring reason = SystemText(ERROR_SHARING_VIOLATION);
    ASSERT_FALSE(reason.empty());
    AddLines({"one", "two"});
    Select({1});

    TSaveDialogRun run;
    DriveSaveDialog(run, held, true);
    Command(cmSaveas1);
    ASSERT_EQ(run.Opened, 1);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find(reason), std::wstring::npos) << WideToUtf8(Boxes[0].Text);
    EXPECT_NE(Boxes[0].Text.find(held.wstring()), std::wstring::npos) << WideToUtf8(Boxes[0].Text);
    EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"one", L"two"}));
    EXPECT_EQ(SelectedLines(), std::set<int>{1});
    holder.Reset();
    EXPECT_EQ(ReadBytes(held), "keep me");
}

TEST_F(SaveAs, LinesDeletedWhileTheDialogIsOpenAreNotReadPastTheEnd)
{
    AddLines({"0", "1", "2", "3", "4"});
    const fs::path path = Folder / "shrunk.txt";
    TSaveDialogRun run;
    // The user deletes the last three lines while the dialog is open.
    DriveSaveDialog(run, path, true, [this] {
        Select({2, 3, 4});
        Command(cmCopyselectedlines1);
    });
    Command(cmSaveas1);
    ASSERT_EQ(run.Opened, 1);
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"0", L"1"}));
    EXPECT_EQ(ReadBytes(path), "0\r\n1\r\n");
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(SaveAs, LinesArrivingWhileTheDialogIsOpenAreNotSaved)
{
    AddLines({"before"});
    const fs::path path = Folder / "grown.txt";
    TSaveDialogRun run;
    DriveSaveDialog(run, path, true, [this] { AddLines({"during"}); });
    Command(cmSaveas1);
    ASSERT_EQ(run.Opened, 1);
    EXPECT_EQ(Lines().size(), 2u);
    EXPECT_EQ(ReadBytes(path), "before\r\n");
}

} // namespace
