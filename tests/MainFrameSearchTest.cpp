// The search through the real window: the real modeless find dialog, opened with Ctrl+F or
// the bar command, filled in (text edt1, direction rad1 up / rad2 down) and pressed with
// IDOK, which is its Find Next; the program's own message loop runs it.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/MainFrameFixture.h"

namespace {

using namespace MainFrameFixture;

constexpr int NoHit = -1;
constexpr bool Down = true;
constexpr bool Up = false;

class Search : public TMainFrameTest {
protected:
    HWND Dialog() const { return Frame->FindDialogWindow(); }

    void OpenWithShortcut() { PressKey(*Frame, Window(), 'F', true); }

    std::wstring DialogText() const
    {
        wchar_t text[512] = {};
        GetDlgItemTextW(Dialog(), edt1, text, 512);
        return text;
    }
    bool DialogDown() const { return IsDlgButtonChecked(Dialog(), rad2) == BST_CHECKED; }

    // Types the text, sets the direction and presses Find Next.
    void Press(const std::wstring& text, bool down)
    {
        ASSERT_NE(Dialog(), nullptr);
        SetDlgItemTextW(Dialog(), edt1, text.c_str());
        CheckRadioButton(Dialog(), rad1, rad2, down ? rad2 : rad1);
        PostMessageW(Dialog(), WM_COMMAND, IDOK, 0);
        RunProgramLoop(*Frame);
    }

    void SetLines(const std::vector<std::wstring>& lines)
    {
        Command(cmDeletealllines1);
        for (const std::wstring& line : lines)
            AddWideLine(line);
    }

    int SearchIndex() { return Probe::SearchIndex(*Frame); }
    int TopIndex() const { return static_cast<int>(SendMessageW(List(), LB_GETTOPINDEX, 0, 0)); }
};

// count lines "line i", except the ones listed, which read "hit".
std::vector<std::wstring> LinesWithHits(int count, const std::set<int>& hits)
{
    std::vector<std::wstring> lines;
    for (int i = 0; i < count; ++i)
        lines.push_back(hits.count(i) ? L"hit" : L"line " + std::to_wstring(i));
    return lines;
}

struct TPress {
    const wchar_t* Text;
    bool Down;
    int Hit; // the line found, or NoHit
};

struct TSearchCase {
    const char* Name;
    std::vector<std::wstring> Lines;
    std::vector<TPress> Presses;
};

TEST_F(Search, PressesFindTheExpectedLinesAndSelectOnlyTheCurrentHit)
{
    const TSearchCase cases[] = {
        {"abc finds any mix of small and capital letters",
         {L"nothing", L"ABC", L"x Abc y", L"aBc", L"ab c"},
         {{L"abc", Down, 1}, {L"abc", Down, 2}, {L"abc", Down, 3}, {L"abc", Down, NoHit}, {L"abc", Down, 1}}},
        {"a with umlaut does not find the capital one",
         {L"\u00c4 only", L"x \u00e4 y", L"\u00c4\u00d6"},
         {{L"\u00e4", Down, 1}, {L"\u00e4", Down, NoHit}, {L"\u00c4", Down, 0}, {L"\u00c4", Down, 2}}},
        {"a line with the text several times is one hit",
         {L"abc abc abc", L"none", L"xabcx"},
         {{L"abc", Down, 0}, {L"abc", Down, 2}, {L"abc", Down, NoHit}}},
        {"down: the last line, then no hit, then from the top",
         LinesWithHits(3, {0, 2}),
         {{L"hit", Down, 0}, {L"hit", Down, 2}, {L"hit", Down, NoHit}, {L"hit", Down, 0}}},
        {"up: the last line first; line 0, then no hit, then the last line again",
         LinesWithHits(3, {0, 2}),
         {{L"hit", Up, 2}, {L"hit", Up, 0}, {L"hit", Up, NoHit}, {L"hit", Up, 2}}},
        {"a hit at 10 going down, then up tests 9 to 0",
         LinesWithHits(15, {3, 10, 12}),
         {{L"hit", Down, 3}, {L"hit", Down, 10}, {L"hit", Up, 3}, {L"hit", Up, NoHit}}},
        {"no line holds the text",
         LinesWithHits(4, {1}),
         {{L"hit", Down, 1}, {L"absent", Down, NoHit}, {L"absent", Up, NoHit}}},
    };
    AddWideLine(L"start");
    OpenWithShortcut();
    ASSERT_NE(Dialog(), nullptr);
    for (const TSearchCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SetLines(c.Lines);
        OpenWithShortcut();
        int press = 0;
        for (const TPress& p : c.Presses) {
            SCOPED_TRACE(testing::Message() << "press " << press++);
            Press(p.Text, p.Down);
            EXPECT_EQ(SearchIndex(), p.Hit);
            EXPECT_EQ(SelectedLines(), p.Hit == NoHit ? std::set<int>{} : std::set<int>{p.Hit});
        }
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Search, TheDialogOpensDownWithoutCaseOrWholeWordChoicesAndTheBarCommandOpensItToo)
{
    AddWideLine(L"a line");
    Probe::SearchIndex(*Frame) = 0;
    Command(cmSearch1);
    ASSERT_NE(Dialog(), nullptr);
    EXPECT_TRUE(IsWindowVisible(Dialog()));
    EXPECT_EQ(GetWindow(Dialog(), GW_OWNER), Window());
    EXPECT_EQ(SearchIndex(), NoHit);
    EXPECT_TRUE(DialogDown());
    EXPECT_EQ(DialogText(), L"");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(Dialog(), chx1))); // whole word
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(Dialog(), chx2))); // match case
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(Dialog(), rad1)));
}

TEST_F(Search, EachPressRecordsTheUpperCasedTextInLastSearchString)
{
    SetLines({L"Gr\u00fc\u00dfe aus abc"});
    OpenWithShortcut();
    Press(L"\u00fc\u00dfe aus", Down);
    EXPECT_EQ(SearchIndex(), 0);
    EXPECT_EQ(Probe::LastSearchString(*Frame), L"\u00fc\u00dfE AUS");
    Press(L"abc", Down); // no further hit
    EXPECT_EQ(SearchIndex(), NoHit);
    EXPECT_EQ(Probe::LastSearchString(*Frame), L"ABC");
}

TEST_F(Search, ShortcutWhileOpenKeepsTheDialogAndTheLastHitAndStartsOver)
{
    SetLines(LinesWithHits(6, {1, 3, 4}));
    OpenWithShortcut();
    const HWND dialog = Dialog();
    Press(L"hit", Up);
    Press(L"hit", Up);
    ASSERT_EQ(SearchIndex(), 3);

    OpenWithShortcut();
    EXPECT_EQ(Dialog(), dialog);
    EXPECT_EQ(SearchIndex(), NoHit);
    EXPECT_EQ(SelectedLines(), std::set<int>{3});
    EXPECT_EQ(DialogText(), L"hit");
    EXPECT_FALSE(DialogDown());

    // From the bottom again; the old hit stays selected beside the new one.
    PostMessageW(Dialog(), WM_COMMAND, IDOK, 0);
    RunProgramLoop(*Frame);
    EXPECT_EQ(SearchIndex(), 4);
    EXPECT_EQ(SelectedLines(), (std::set<int>{3, 4}));
}

TEST_F(Search, ClosingTheDialogKeepsTheHitAndReopeningKeepsTextAndDirection)
{
    SetLines(LinesWithHits(4, {0, 2}));
    OpenWithShortcut();
    Press(L"hit", Up);
    ASSERT_EQ(SearchIndex(), 2);
    PostMessageW(Dialog(), WM_COMMAND, IDCANCEL, 0);
    RunProgramLoop(*Frame);
    EXPECT_EQ(Dialog(), nullptr);
    EXPECT_EQ(SearchIndex(), 2);
    EXPECT_EQ(SelectedLines(), std::set<int>{2});

    Command(cmSearch1);
    ASSERT_NE(Dialog(), nullptr);
    EXPECT_EQ(DialogText(), L"hit");
    EXPECT_FALSE(DialogDown());
    EXPECT_EQ(SearchIndex(), NoHit);
}

TEST_F(Search, AHandSelectedLineStaysSelectedUnlessItIsAtThePreviousHit)
{
    SetLines(LinesWithHits(5, {0, 2}));
    Select({1, 2});
    OpenWithShortcut();
    Press(L"hit", Down);
    EXPECT_EQ(SelectedLines(), (std::set<int>{0, 1, 2}));
    Press(L"hit", Down); // clears 0, finds 2 (already selected)
    EXPECT_EQ(SelectedLines(), (std::set<int>{1, 2}));
    Press(L"hit", Down); // clears 2 although the user had selected it too
    EXPECT_EQ(SearchIndex(), NoHit);
    EXPECT_EQ(SelectedLines(), std::set<int>{1});
}

TEST_F(Search, AfterDeletionsTheLineNowAtTheOldIndexLosesItsSelection)
{
    SetLines({L"a", L"hit", L"b", L"c", L"d"});
    OpenWithShortcut();
    Press(L"hit", Down);
    ASSERT_EQ(SearchIndex(), 1);
    // The oldest line goes (as a trim would take it); "b" now sits at index 1.
    SendMessageW(List(), LB_DELETESTRING, 0, 0);
    Select({1});
    ASSERT_EQ(SelectedLines(), (std::set<int>{0, 1}));
    Press(L"hit", Down);
    EXPECT_EQ(SearchIndex(), NoHit);
    EXPECT_EQ(SelectedLines(), std::set<int>{0}); // the old hit, moved up, keeps its mark
}

TEST_F(Search, ARememberedIndexAtOrBeyondTheEnd)
{
    const struct {
        const char* Name;
        int Remaining;   // lines left after the hit at 4
        bool Down;
        int Hit;
    } cases[] = {
        {"down, index beyond the end", 3, Down, NoHit},
        {"down, index at the end", 5, Down, NoHit},
        {"down, the list emptied", 0, Down, NoHit},
        {"up, index beyond the end: from the last line", 3, Up, 2},
        {"up, index just past the end: from the last line", 4, Up, 2},
        {"up, the list emptied", 0, Up, NoHit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        SetLines(LinesWithHits(5, {2, 4}));
        OpenWithShortcut();
        Press(L"hit", Down);
        Press(L"hit", Down);
        ASSERT_EQ(SearchIndex(), 4);
        for (int count = 5; count > c.Remaining; --count)
            SendMessageW(List(), LB_DELETESTRING, static_cast<WPARAM>(count - 1), 0);
        Press(L"hit", c.Down);
        EXPECT_EQ(SearchIndex(), c.Hit);
        EXPECT_EQ(SelectedLines(), c.Hit == NoHit ? std::set<int>{} : std::set<int>{c.Hit});
        if (c.Hit == NoHit && c.Remaining > 2) {
            Press(L"hit", c.Down); // starts over from the top
            EXPECT_EQ(SearchIndex(), 2);
        }
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Search, AnEmptyListShowsNoDialogAndAnOpenOneFindsNothing)
{
    Probe::SearchIndex(*Frame) = 7;
    OpenWithShortcut();
    EXPECT_EQ(Dialog(), nullptr);
    EXPECT_EQ(SearchIndex(), NoHit);
    Command(cmSearch1);
    EXPECT_EQ(Dialog(), nullptr);

    AddWideLine(L"hit");
    OpenWithShortcut();
    ASSERT_NE(Dialog(), nullptr);
    Press(L"hit", Up);
    ASSERT_EQ(SearchIndex(), 0);
    Command(cmDeletealllines1);
    for (const bool down : {Up, Down, Up}) {
        Press(L"hit", down);
        EXPECT_EQ(SearchIndex(), NoHit);
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Search, AHitBecomesTheTopLineAsFarAsTheListCanScroll)
{
    SetLines(LinesWithHits(300, {150, 299}));
    SendMessageW(List(), LB_SETTOPINDEX, 20, 0);
    OpenWithShortcut();
    Press(L"hit", Down);
    EXPECT_EQ(SearchIndex(), 150);
    EXPECT_EQ(TopIndex(), 150);
    Press(L"hit", Down);
    EXPECT_EQ(SearchIndex(), 299);
    const int lastTop = TopIndex();
    EXPECT_GT(lastTop, 150);
    EXPECT_LT(lastTop, 299); // near the end the view shows the hit as high as it can
    Press(L"hit", Down); // no hit: the view stays
    EXPECT_EQ(TopIndex(), lastTop);
}

TEST_F(Search, TheFindTextHoldsAtMost255Characters)
{
    const std::wstring a255(255, L'a');
    SetLines({L"x", a255 + L"b"});
    OpenWithShortcut();
    Press(a255 + std::wstring(45, L'c'), Down);
    EXPECT_EQ(SearchIndex(), 1);
    EXPECT_EQ(Probe::LastSearchString(*Frame), std::wstring(255, L'A'));
}

TEST_F(Search, EnterInTheDialogIsFindNextThroughTheProgramsLoop)
{
    SetLines(LinesWithHits(4, {1, 3}));
    OpenWithShortcut();
    SetDlgItemTextW(Dialog(), edt1, L"hit");
    const HWND edit = GetDlgItem(Dialog(), edt1);
    PressKey(*Frame, edit, VK_RETURN, false);
    EXPECT_EQ(SearchIndex(), 1);
    PressKey(*Frame, edit, VK_RETURN, false);
    EXPECT_EQ(SearchIndex(), 3);
    EXPECT_EQ(SelectedLines(), std::set<int>{3});
}

TEST_F(Search, MatchLineSelectsAndRecordsAHitAndChangesNothingOtherwise)
{
    SetLines(LinesWithHits(3, {2}));
    Probe::SearchIndex(*Frame) = NoHit;
    EXPECT_FALSE(Frame->MatchLine(L"HIT", 1));
    EXPECT_EQ(SearchIndex(), NoHit);
    EXPECT_TRUE(SelectedLines().empty());
    EXPECT_TRUE(Frame->MatchLine(L"HIT", 2));
    EXPECT_EQ(SearchIndex(), 2);
    EXPECT_EQ(SelectedLines(), std::set<int>{2});
    EXPECT_EQ(Probe::LastSearchString(*Frame), L"HIT");
}

} // namespace
