// The search walk, the clipboard text, the saved file and the printer font height.
// The clipboard and the files are the real ones; the search runs over an in-memory list
// that records which lines it reads, and over a real list box.
#include <windows.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ClipboardGuards.h"
#include "DisplayList.h"
#include "Exception.h"
#include "Gdi.h"
#include "LineExport.h"
#include "LongPath.h"
#include "SearchMatch.h"
#include "WinHandles.h"
#include "support/ClipboardReader.h"
#include "support/DeepFolder.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

constexpr int NoHit = -1;
constexpr DWORD WaitLimitMs = 5000;
constexpr UINT WindowsLatin1 = 1252;
constexpr wchar_t CyrillicZhe = L'\u0416'; // not in code page 1252

// ---- search over an in-memory list ---------------------------------------------------

class TMemoryList final : public TSearchList {
public:
    explicit TMemoryList(std::vector<std::wstring> lines)
        : Lines(std::move(lines)), Selected(Lines.size(), false)
    {
    }

    int Count() const override { return static_cast<int>(Lines.size()); }
    std::wstring Line(int index) const override
    {
        Reads.push_back(index);
        if (!Inside(index)) {
            ADD_FAILURE() << "line " << index << " read from a list of " << Count();
            return {};
        }
        return Lines[static_cast<size_t>(index)];
    }
    void SetSelected(int index, bool selected) override
    {
        if (!Inside(index)) {
            ADD_FAILURE() << "selection of line " << index << " in a list of " << Count();
            return;
        }
        Selected[static_cast<size_t>(index)] = selected;
    }
    void SetTopIndex(int index) override
    {
        EXPECT_TRUE(Inside(index)) << index;
        Top = index;
        ++TopChanges;
    }
    int TopIndex() const override { return Top; }

    void Delete(int index)
    {
        Lines.erase(Lines.begin() + index);
        Selected.erase(Selected.begin() + index);
    }
    std::set<int> SelectedLines() const
    {
        std::set<int> result;
        for (size_t i = 0; i < Selected.size(); ++i)
            if (Selected[i])
                result.insert(static_cast<int>(i));
        return result;
    }

    std::vector<std::wstring> Lines;
    std::vector<bool> Selected;
    int Top = 0;
    int TopChanges = 0;
    mutable std::vector<int> Reads;

private:
    bool Inside(int index) const { return index >= 0 && index < Count(); }
};

std::vector<int> Range(int from, int downTo)
{
    std::vector<int> result;
    if (from >= downTo)
        for (int i = from; i >= downTo; --i)
            result.push_back(i);
    else
        for (int i = from; i <= downTo; ++i)
            result.push_back(i);
    return result;
}

// count lines "line i", except the ones listed, which read "hit".
std::vector<std::wstring> LinesWithHits(int count, std::set<int> hits)
{
    std::vector<std::wstring> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(hits.count(i) ? L"hit" : L"line " + std::to_wstring(i));
    return lines;
}

TEST(SearchMatch, AsciiUpperChangesOnlyAtoZAndKeepsTheLength)
{
    const struct {
        std::wstring In, Out;
    } cases[] = {
        {L"abcxyz", L"ABCXYZ"},
        {L"aBc-Q1 z", L"ABC-Q1 Z"},
        {L"`{@[", L"`{@["},                     // the neighbours of a-z and A-Z
        {L"\u00e4\u00f6\u00fc\u00df\u00e9", L"\u00e4\u00f6\u00fc\u00df\u00e9"}, // accented letters stay
        {L"\u0436\u03b1", L"\u0436\u03b1"},     // other scripts stay
        {std::wstring(L"a\0b", 3), std::wstring(L"A\0B", 3)},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AsciiUpper(c.In), c.Out);
}

TEST(SearchMatch, ContainsUpperIsUnbrokenSixteenBitContainment)
{
    const struct {
        const wchar_t* Line;
        const wchar_t* Text;
        bool Contained;
    } cases[] = {
        {L"ABC", L"ABC", true},
        {L"XXABCXX", L"ABC", true},
        {L"ABXC", L"ABC", false},
        {L"AB", L"ABC", false},      // longer than the line
        {L"ABC", L"", false},        // empty text is in no line
        {L"", L"", false},
        {L"\u00c4", L"\u00e4", false}, // a-z only: A-umlaut is no capital of a-umlaut here
        {L"A\tB", L"\t", true},
        {L"ABAB", L"BA", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ContainsUpper(c.Line, c.Text), c.Contained) << '"' << c.Line << "\" / \"" << c.Text << '"';
}

struct TPress {
    const wchar_t* Text;
    bool Down;
    int ExpectedIndex;
    std::vector<int> ExpectedReads; // the lines tested, in order
    std::set<int> ExpectedSelected; // after the press
};

struct TSearchCase {
    const char* Name;
    std::vector<std::wstring> Lines;
    int StartIndex;
    std::set<int> HandSelected;
    std::vector<TPress> Presses;
};

TEST(SearchWalk, PressesFindTheExpectedLines)
{
    const TSearchCase cases[] = {
        {"abc in any case", {L"xyz", L"ABC here", L"and Abc", L"aBc", L"abd"}, NoHit, {},
         {{L"abc", true, 1, {0, 1}, {1}},
          {L"abc", true, 2, {2}, {2}},
          {L"abc", true, 3, {3}, {3}},
          {L"abc", true, NoHit, {4}, {}}}},
        {"a-umlaut does not find A-umlaut", {L"\u00c4", L"x\u00c4x", L"\u00e4"}, NoHit, {},
         {{L"\u00e4", true, 2, {0, 1, 2}, {2}},
          {L"\u00e4", true, NoHit, {}, {}}}},
        {"several occurrences are one hit", {L"abc abc ABC", L"none", L"abc"}, NoHit, {},
         {{L"abc", true, 0, {0}, {0}},
          {L"abc", true, 2, {1, 2}, {2}},
          {L"abc", true, NoHit, {}, {}}}},
        {"down: last line, miss, then from the top", {L"m", L"x", L"m"}, NoHit, {},
         {{L"m", true, 0, {0}, {0}},
          {L"m", true, 2, {1, 2}, {2}},
          {L"m", true, NoHit, {}, {}},
          {L"m", true, 0, {0}, {0}}}},
        {"up after start tests the last line first", {L"m", L"x", L"m"}, NoHit, {},
         {{L"M", false, 2, {2}, {2}}}},
        {"up: line 0, miss, then from the last line", {L"m", L"x", L"m"}, NoHit, {},
         {{L"m", false, 2, {2}, {2}},
          {L"m", false, 0, {1, 0}, {0}},
          {L"m", false, NoHit, {}, {}},
          {L"m", false, 2, {2}, {2}}}},
        {"hit at 10, then up tests 9 to 0", LinesWithHits(14, {10, 12}), NoHit, {},
         {{L"hit", true, 10, Range(0, 10), {10}},
          {L"hit", false, NoHit, Range(9, 0), {}}}},
        {"direction switched after a hit", LinesWithHits(6, {1, 3, 5}), NoHit, {},
         {{L"hit", true, 1, {0, 1}, {1}},
          {L"hit", true, 3, {2, 3}, {3}},
          {L"hit", false, 1, {2, 1}, {1}}}},
        {"hand-selected lines stay selected", {L"a", L"m", L"b", L"m"}, NoHit, {0, 2},
         {{L"m", true, 1, {0, 1}, {0, 1, 2}},
          {L"m", true, 3, {2, 3}, {0, 2, 3}},
          {L"m", true, NoHit, {}, {0, 2}}}},
        {"the line at the previous hit's index loses its selection", {L"a", L"b", L"c", L"m"}, 2, {1, 2},
         {{L"m", true, 3, {3}, {1, 3}}}},
        {"down from the last line", {L"m", L"m"}, 1, {1},
         {{L"m", true, NoHit, {}, {}}}},
        {"down from the end", {L"m", L"m"}, 2, {1},
         {{L"m", true, NoHit, {}, {1}}}},
        {"down from far beyond the end", {L"m", L"m"}, INT_MAX, {},
         {{L"m", true, NoHit, {}, {}}}},
        {"up from the end", {L"m", L"x", L"m"}, 3, {},
         {{L"m", false, 2, {2}, {2}}}},
        // Lines were removed since the hit: start at the last line, never past the end.
        {"up from beyond the end", {L"m", L"x", L"m"}, 7, {},
         {{L"m", false, 2, {2}, {2}}}},
        {"up from far beyond the end", {L"m", L"x", L"x"}, INT_MAX, {},
         {{L"m", false, 0, {2, 1, 0}, {0}}}},
        {"empty text finds nothing", {L"a", L""}, NoHit, {},
         {{L"", true, NoHit, {0, 1}, {}},
          {L"", false, NoHit, {1, 0}, {}}}},
        {"text longer than every line", {L"ab", L"abc"}, NoHit, {},
         {{L"abcd", true, NoHit, {0, 1}, {}}}},
        {"empty list, down", {}, NoHit, {},
         {{L"a", true, NoHit, {}, {}}}},
        {"empty list, up from no hit", {}, NoHit, {},
         {{L"a", false, NoHit, {}, {}}}},
        {"empty list, up from line 0", {}, 0, {},
         {{L"a", false, NoHit, {}, {}}}},
        {"empty list, down from an old hit", {}, 5, {},
         {{L"a", true, NoHit, {}, {}}}},
    };

    for (const TSearchCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryList list(c.Lines);
        for (int i : c.HandSelected)
            list.SetSelected(i, true);
        std::int32_t searchIndex = c.StartIndex;
        std::wstring lastSearchString = L"old";
        int press = 0;
        for (const TPress& p : c.Presses) {
            SCOPED_TRACE("press " + std::to_string(++press));
            list.Reads.clear();
            const int topBefore = list.Top;
            SeekIt(list, p.Text, p.Down, searchIndex, lastSearchString);
            EXPECT_EQ(searchIndex, p.ExpectedIndex);
            EXPECT_EQ(list.Reads, p.ExpectedReads);
            EXPECT_EQ(list.SelectedLines(), p.ExpectedSelected);
            EXPECT_EQ(lastSearchString, AsciiUpper(p.Text));
            // A hit becomes the top line; a miss leaves the view where it was.
            EXPECT_EQ(list.Top, p.ExpectedIndex == NoHit ? topBefore : p.ExpectedIndex);
        }
    }
}

TEST(SearchWalk, TopLineIsSetOnlyWhenTheHitIsNotAlreadyOnTop)
{
    TMemoryList list({L"m", L"x", L"m"});
    std::int32_t searchIndex = NoHit;
    std::wstring last;
    SeekIt(list, L"m", true, searchIndex, last); // line 0 is the top line already
    EXPECT_EQ(searchIndex, 0);
    EXPECT_EQ(list.TopChanges, 0);
    SeekIt(list, L"m", true, searchIndex, last);
    EXPECT_EQ(searchIndex, 2);
    EXPECT_EQ(list.TopChanges, 1);
    EXPECT_EQ(list.Top, 2);
}

TEST(SearchWalk, AfterDeletionsTheLineNowAtTheOldIndexLosesItsSelection)
{
    TMemoryList list({L"a", L"b", L"m", L"c", L"d", L"m"});
    std::int32_t searchIndex = NoHit;
    std::wstring last;
    SeekIt(list, L"m", true, searchIndex, last);
    ASSERT_EQ(searchIndex, 2);
    list.Delete(0);
    list.Delete(0); // the hit moved to line 0; line 2 is now "c"
    list.SetSelected(2, true);
    list.Reads.clear();
    SeekIt(list, L"m", true, searchIndex, last);
    EXPECT_EQ(searchIndex, 3);
    EXPECT_EQ(list.Reads, (std::vector<int>{3}));
    EXPECT_EQ(list.SelectedLines(), (std::set<int>{0, 3}));
}

// ---- real windows ---------------------------------------------------------------------

TUniqueWindow HiddenWindow()
{
    TUniqueWindow window(CreateWindowExW(0, L"STATIC", L"line commands test", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                         nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    EXPECT_TRUE(window) << GetLastError();
    return window;
}

// A real list box of extended multiple selection, as the display list is.
class ListBoxTest : public testing::Test {
protected:
    void SetUp() override
    {
        Parent = HiddenWindow();
        ASSERT_TRUE(Parent);
        ListBox = TUniqueWindow(CreateWindowExW(
            0, L"LISTBOX", nullptr,
            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT, 0, 0, 300, 200,
            Parent.Get(), nullptr, GetModuleHandleW(nullptr), nullptr));
        ASSERT_TRUE(ListBox);
        List.Attach(ListBox.Get());
    }
    void Fill(const std::vector<std::wstring>& lines)
    {
        for (const auto& line : lines)
            ASSERT_TRUE(List.Append(line));
    }
    int VisibleLines() const
    {
        RECT client{};
        GetClientRect(ListBox.Get(), &client);
        const auto height = SendMessageW(ListBox.Get(), LB_GETITEMHEIGHT, 0, 0);
        return height > 0 ? static_cast<int>((client.bottom - client.top) / height) : 0;
    }

    TUniqueWindow Parent;
    TUniqueWindow ListBox; // destroyed before its parent
    TDisplayList List;
};

TEST_F(ListBoxTest, SearchSelectsAndScrollsTheRealList)
{
    Fill(LinesWithHits(60, {20, 58}));
    TSearchListOf<TDisplayList> list(List);
    List.SetSelected(5, true); // by hand
    std::int32_t searchIndex = NoHit;
    std::wstring last;

    SeekIt(list, L"HIT", true, searchIndex, last);
    EXPECT_EQ(searchIndex, 20);
    EXPECT_EQ(List.TopIndex(), 20);
    EXPECT_TRUE(List.Selected(20));

    // Near the end the view scrolls as far as it can.
    SeekIt(list, L"HIT", true, searchIndex, last);
    EXPECT_EQ(searchIndex, 58);
    ASSERT_GT(VisibleLines(), 2);
    EXPECT_EQ(List.TopIndex(), 60 - VisibleLines());
    EXPECT_FALSE(List.Selected(20));
    EXPECT_TRUE(List.Selected(58));
    EXPECT_TRUE(List.Selected(5));
    EXPECT_EQ(List.SelectedCount(), 2);

    // All lines deleted: nothing is read from the old index, nothing found.
    List.Clear();
    SeekIt(list, L"HIT", false, searchIndex, last);
    EXPECT_EQ(searchIndex, NoHit);
}

// ---- files ------------------------------------------------------------------------------

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path.string();
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file's bytes, read through a handle that is already open.
std::string HeldBytes(HANDLE file)
{
    std::string bytes(4096, '\0');
    DWORD read = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) << GetLastError();
    bytes.resize(read);
    return bytes;
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path.string();
}

std::wstring SystemText(DWORD code)
{
    wchar_t buffer[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, 512, nullptr);
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

class TVectorSource final : public TLineSource {
public:
    explicit TVectorSource(std::vector<std::wstring> lines) : FLines(std::move(lines)) {}
    int Count() const override { return static_cast<int>(FLines.size()); }
    std::wstring Line(int index) const override { return FLines.at(static_cast<size_t>(index)); }

private:
    std::vector<std::wstring> FLines;
};

// A fresh folder under the temp path, removed with everything in it (read-only files too).
class TTempFolder {
public:
    explicit TTempFolder(const std::wstring& name)
        : FPath(fs::temp_directory_path() / (L"vt_linecommands_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name))
    {
        std::error_code ignored;
        fs::remove_all(FPath, ignored);
        fs::create_directories(FPath);
    }
    ~TTempFolder()
    {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(FPath, ignored))
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(FPath, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const fs::path& Path() const noexcept { return FPath; }

private:
    fs::path FPath;
};

std::wstring CurrentTestName()
{
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    return std::wstring(name.begin(), name.end());
}

class SaveLinesTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), WindowsLatin1) << "the expected bytes are those of code page 1252";
        ASSERT_TRUE(fs::is_directory(Folder));
    }

    TTempFolder Temp{CurrentTestName()};
    const fs::path& Folder = Temp.Path();
};

TEST_F(SaveLinesTest, EveryLineInTheAnsiCodePageWithCrLf)
{
    const struct {
        const char* Name;
        std::vector<std::wstring> Lines;
        std::string Bytes;
    } cases[] = {
        {"empty lines", {L"", L"", L""}, "\r\n\r\n\r\n"},
        {"one line", {L"abc"}, "abc\r\n"},
        {"tab, control byte, code page letters", {L"a\tb\x01", L"\u00e4\u00df \u20ac"}, "a\tb\x01\r\n\xe4\xdf \x80\r\n"},
        {"character outside the code page", {L"x\u0416y"}, "x?y\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path path = Folder / "lines.log";
        const TVectorSource source(c.Lines);
        SaveLines(path.wstring(), source, source.Count());
        EXPECT_EQ(ReadBytes(path), c.Bytes);
    }
}

// "Save as" into a folder whose path alone is longer than MAX_PATH.
TEST_F(SaveLinesTest, AFileDeeperThanMaxPathIsWritten)
{
    const TDeepFolder deep(Folder.wstring(), L'm');
    const std::wstring path = deep.File(L"saved.txt");
    ASSERT_GE(path.size(), static_cast<std::size_t>(MAX_PATH));
    const TVectorSource source({L"deep", L"down"});
    SaveLines(path, source, source.Count());
    EXPECT_EQ(ReadFileBytes(ExtendedLengthPath(path)), std::optional<std::string>("deep\r\ndown\r\n"));
}

TEST_F(SaveLinesTest, OverwritingALongerFileLeavesOnlyTheNewContent)
{
    const fs::path path = Folder / "old.txt";
    WriteBytes(path, std::string(5000, 'z'));
    const TVectorSource source({L"new"});
    SaveLines(path.wstring(), source, 1);
    EXPECT_EQ(ReadBytes(path), "new\r\n");
}

TEST_F(SaveLinesTest, PathWithoutExtensionIsUsedUnchanged)
{
    const fs::path path = Folder / "logfile";
    const TVectorSource source({L"a"});
    SaveLines(path.wstring(), source, 1);
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(Folder))
        names.push_back(entry.path().filename().wstring());
    EXPECT_EQ(names, std::vector<std::wstring>{L"logfile"});
    EXPECT_EQ(ReadBytes(path), "a\r\n");
}

TEST_F(SaveLinesTest, LinesBeyondTheCountTakenAtTheStartAreNotSaved)
{
    const TVectorSource source({L"1", L"2", L"3"});
    SaveLines((Folder / "f").wstring(), source, 2);
    EXPECT_EQ(ReadBytes(Folder / "f"), "1\r\n2\r\n");
}

TEST_F(ListBoxTest, SaveStopsAtTheListsCurrentEndWhenLinesWereRemoved)
{
    const TTempFolder temp(CurrentTestName());
    const fs::path path = temp.Path() / "short.log";
    Fill({L"a", L"b", L"c", L"d", L"e"});
    const int n = List.Count();
    List.Delete(0);
    List.Delete(0); // two lines trimmed while the dialog was open
    const TSearchListOf<TDisplayList> source(List);
    EXPECT_NO_THROW(SaveLines(path.wstring(), source, n));
    EXPECT_EQ(ReadBytes(path), "c\r\nd\r\ne\r\n");
}

TEST_F(SaveLinesTest, FailedCreationThrowsTheOsErrorAndLeavesTheFileAlone)
{
    const fs::path directory = Folder / "adir";
    ASSERT_TRUE(fs::create_directory(directory));
    WriteBytes(directory / "inner.txt", "inner");
    // An existing file another program holds open without sharing. (A read-only file would
    // do on Windows, but Wine running as root writes it anyway.)
    const fs::path held = Folder / "held.txt";
    WriteBytes(held, "keep me\r\n");
    const TUniqueFileHandle holder(
        CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder) << GetLastError();

    const struct {
        const char* Name;
        fs::path Path;
        DWORD Error;
    } cases[] = {
        {"path is a directory", directory, ERROR_ACCESS_DENIED},
        {"missing folder", Folder / "missing" / "x.log", ERROR_PATH_NOT_FOUND},
        {"file held open elsewhere", held, ERROR_SHARING_VIOLATION},
    };
    const TVectorSource source({L"line"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            SaveLines(c.Path.wstring(), source, 1);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            const std::wstring expected = SystemText(c.Error);
            ASSERT_FALSE(expected.empty());
            EXPECT_NE(e.Message().find(expected), std::wstring::npos) << e.what();
            EXPECT_NE(e.Message().find(c.Path.wstring()), std::wstring::npos) << e.what();
        }
    }
    EXPECT_TRUE(fs::is_directory(directory));
    EXPECT_EQ(ReadBytes(directory / "inner.txt"), "inner");
    EXPECT_EQ(HeldBytes(holder.Get()), "keep me\r\n");
    EXPECT_FALSE(fs::exists(Folder / "missing"));
}

// ---- clipboard ----------------------------------------------------------------------------

using namespace ClipboardReader;

class ClipboardTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), WindowsLatin1) << "the expected bytes are those of code page 1252";
        Owner = HiddenWindow();
        ASSERT_TRUE(Owner);
    }
    TUniqueWindow Owner;
};

TEST_F(ClipboardTest, SelectedLinesArriveAsAnsiTextWithCrLfAndOneNul)
{
    const struct {
        const char* Name;
        std::vector<std::wstring> Lines;
        std::string Text; // without the NUL
    } cases[] = {
        {"abc", {L"abc"}, "abc\r\n"},
        {"lines in order", {L"first", L"", L"third"}, "first\r\n\r\nthird\r\n"},
        {"tab unchanged", {L"a\tb"}, "a\tb\r\n"},
        {"character outside the code page", {std::wstring(L"x") + CyrillicZhe + L"y"}, "x?y\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string text = ClipboardText(c.Lines);
        EXPECT_EQ(text, c.Text);
        CopyTextToClipboard(Owner.Get(), text);
        const TClipboardContent content = ReadClipboardText();
        ASSERT_TRUE(content.Present);
        EXPECT_EQ(content.BlockSize, c.Text.size() + 1);
        EXPECT_EQ(content.Bytes, c.Text + std::string(1, '\0'));
    }
    EXPECT_EQ(GetClipboardOwner(), Owner.Get());
}

// Held for longer than the copy waits: nothing is copied, and the copy says so.
TEST_F(ClipboardTest, HeldClipboardCopiesNothingAndSaysSo)
{
    CopyTextToClipboard(Owner.Get(), "before\r\n");
    ASSERT_EQ(ReadClipboardText().Bytes, std::string("before\r\n", 9));

    // Another thread holds the clipboard open while the copy runs.
    TUniqueHandle opened(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    TUniqueHandle copied(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(opened && copied);
    std::atomic<bool> heldOpen = false;
    std::thread holder([&] {
        const TClipboardSession clipboard(nullptr);
        heldOpen = clipboard.IsOpen();
        SetEvent(opened.Get());
        WaitForSingleObject(copied.Get(), WaitLimitMs);
    });
    const DWORD waited = WaitForSingleObject(opened.Get(), WaitLimitMs);
    if (waited == WAIT_OBJECT_0 && heldOpen) {
        EXPECT_THROW(CopyTextToClipboard(Owner.Get(), "after\r\n"), Exception);
    }
    SetEvent(copied.Get());
    holder.join();
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    ASSERT_TRUE(heldOpen);

    EXPECT_EQ(ReadClipboardText().Bytes, std::string("before\r\n", 9));
}

// ---- printout ----------------------------------------------------------------------------

TEST(Printout, FontHeightIsMinusPointsTimesDpiOver72TruncatedTowardZero)
{
    const struct {
        int Points, Dpi;
        std::int32_t Height;
    } cases[] = {
        {9, 600, -75}, {10, 300, -41}, {8, 96, -10}, {7, 100, -9}, {12, 72, -12}, {1, 71, 0}, {0, 600, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrinterFontHeight(c.Points, c.Dpi), c.Height) << c.Points << " pt at " << c.Dpi << " dpi";
}

} // namespace
