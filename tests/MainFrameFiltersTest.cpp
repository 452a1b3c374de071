// Filters and highlights through the real window: lines from a real sender through the real
// exchange area, the pixels of the real list, the real dialog filled in as a person would
// (its colour buttons open the real colour dialog), the real clipboard and save dialog, and
// the settings file beside the test exe.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FilterDialog.h"
#include "FilterSettings.h"
#include "Panel.h"
#include "VtSender.h"
#include "support/ClipboardReader.h"
#include "support/MainFrameFixture.h"
#include "support/PumpUntil.h"
#include "support/TestFiles.h"

static void PrintTo(const TFilterRule& rule, std::ostream* out) { *out << testing::PrintToString(RuleValue(rule)); }

namespace {

namespace fs = std::filesystem;
using namespace MainFrameFixture;
using enum TRuleKind;
using enum TMatchMode;

constexpr DWORD WaitLimitMs = 10000;
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Red = RGB(200, 0, 0);
constexpr COLORREF Blue = RGB(0, 0, 160);
constexpr COLORREF Yellow = RGB(255, 255, 0);
constexpr COLORREF Black = RGB(0, 0, 0);

TFilterRule Rule(TRuleKind kind, TMatchMode mode, const wchar_t* pattern, std::optional<std::int32_t> text = {},
                 std::optional<std::int32_t> back = {}, bool enabled = true)
{
    return TFilterRule{kind, mode, enabled, text, back, pattern};
}

std::int32_t Value(COLORREF colour) { return static_cast<std::int32_t>(colour); }

std::wstring SettingsPath()
{
    wchar_t path[MAX_PATH];
    const std::wstring exe(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return exe.substr(0, exe.find_last_of(L"\\/") + 1) + IniFileTitle;
}

// Pumps messages until done() holds; false when the limit ran out first.
bool PumpUntil(const std::function<bool()>& done) { return ::PumpUntil(Pump, done, WaitLimitMs); }

// ---- pixels -------------------------------------------------------------------------------

// A rectangle of pixels, row by row, as 0x00RRGGBB.
struct TPixels {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Colours;

    bool operator==(const TPixels&) const = default;
};

// Pixels of a DC's rectangle, copied into a DIB section.
TPixels CopyPixels(HDC source, int left, int top, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const TUniqueMemoryDC memory(CreateCompatibleDC(source));
    const TUniqueBitmap bitmap(CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    {
        const TSelectObject selection(memory.Get(), bitmap.Get());
        BitBlt(memory.Get(), 0, 0, width, height, source, left, top, SRCCOPY);
    }
    GdiFlush();
    const auto* words = static_cast<const std::uint32_t*>(bits);
    TPixels pixels{width, height, std::vector<std::uint32_t>(words, words + std::size_t(width) * height)};
    for (std::uint32_t& colour : pixels.Colours)
        colour &= 0x00FFFFFF;
    return pixels;
}

// The lines `first` to `first + count - 1` of a list box as they are on the screen now.
TPixels ListRows(HWND list, int first, int count)
{
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT client;
    GetClientRect(list, &client);
    const auto height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    const TWindowDC dc(list);
    return CopyPixels(dc.Get(), 0, first * height, client.right, count * height);
}

// One line as the platform's list box draws it: in the list's font, one pixel in, its
// rectangle filled with the background.
TPixels DrawnLine(HWND list, const std::wstring& text, COLORREF textColour, COLORREF back)
{
    RECT client;
    GetClientRect(list, &client);
    const auto height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    const TWindowDC screen(list);
    const TUniqueMemoryDC memory(CreateCompatibleDC(screen.Get()));
    const TUniqueBitmap bitmap(CreateCompatibleBitmap(screen.Get(), client.right, height));
    {
        const TSelectObject selection(memory.Get(), bitmap.Get());
        const TSelectObject font(memory.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
        SetTextColor(memory.Get(), textColour);
        SetBkColor(memory.Get(), back);
        const RECT line{0, 0, client.right, height};
        ExtTextOutW(memory.Get(), 1, 0, ETO_OPAQUE | ETO_CLIPPED, &line, text.data(), static_cast<UINT>(text.size()),
                    nullptr);
    }
    const TSelectObject selection(memory.Get(), bitmap.Get());
    return CopyPixels(memory.Get(), 0, 0, client.right, height);
}

struct TExpectedLine {
    std::wstring Text;
    COLORREF TextColour;
    COLORREF Back;
};

// Each line of the list is on the screen exactly as drawn in its expected colours.
void ExpectDrawn(HWND list, const std::vector<TExpectedLine>& lines)
{
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const TExpectedLine& line = lines[index];
        SCOPED_TRACE(testing::Message() << "line " << index << " " << testing::PrintToString(line.Text));
        EXPECT_TRUE(ListRows(list, static_cast<int>(index), 1) == DrawnLine(list, line.Text, line.TextColour, line.Back));
    }
}

// A list box of the platform's own drawing in a window of its own, with the terminal list's
// styles (but not owner-drawn), size, font and colours.
class TPlainList {
public:
    TPlainList(HWND model, COLORREF text, COLORREF back) : FText(text), FBrush(CreateSolidBrush(back)), FBack(back)
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &TPlainList::HostProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VtPlainListHost";
        RegisterClassW(&windowClass);
        RECT bounds;
        GetWindowRect(model, &bounds);
        const int width = bounds.right - bounds.left;
        const int height = bounds.bottom - bounds.top;
        FHost.Reset(CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 700, 80, width, height,
                                    nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
        SetWindowLongPtrW(FHost.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(model, GWL_STYLE));
        List = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style & ~(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS), 0, 0,
                               width, height, FHost.Get(), nullptr, GetModuleHandleW(nullptr), nullptr);
        SetFont(model);
    }

    void SetFont(HWND model)
    {
        SendMessageW(List, WM_SETFONT, SendMessageW(model, WM_GETFONT, 0, 0), TRUE);
        RECT bounds;
        GetWindowRect(model, &bounds);
        SetWindowPos(List, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top, SWP_NOZORDER);
    }

    HWND List = nullptr;

private:
    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        const auto* self = reinterpret_cast<const TPlainList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_CTLCOLORLISTBOX && self != nullptr) {
            SetTextColor(reinterpret_cast<HDC>(wParam), self->FText);
            SetBkColor(reinterpret_cast<HDC>(wParam), self->FBack);
            return reinterpret_cast<LRESULT>(self->FBrush.Get());
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    COLORREF FText;
    TUniqueBrush FBrush;
    COLORREF FBack;
    TUniqueWindow FHost;
};

class Filters : public TMainFrameTest {
protected:
    void TearDown() override
    {
        TMainFrameTest::TearDown();
        DeleteFileW(SettingsPath().c_str());
    }

    COLORREF ListText() const { return ColorToRGB(Probe::ListFont(*Frame).Color); }
    COLORREF ListBack() const { return ColorToRGB(Probe::ListColor(*Frame)); }
    // Keeps the focus rectangle out of the pictures.
    void FocusElsewhere() const { SetFocus(Window()); }
};

// ---- intake --------------------------------------------------------------------------------

TEST_F(Filters, IncludeAndExcludeDecideAtIntakeAfterTheChannelSwitchesForLinesArrivingLater)
{
    ASSERT_TRUE(PublishMainFrame(*Frame));
    VtSender* sender = VtOpen();
    ASSERT_NE(sender, nullptr);
    const auto arrive = [&](int channel, const char* text) {
        ASSERT_EQ(VtSend(sender, channel, text), VT_OK) << text;
    };
    arrive(5, "before the rules");
    ASSERT_TRUE(PumpUntil([&] { return Lines().size() == 1; }));

    // Prefixes are part of the line: the channel prefix selects channels 3 and M.
    Frame->SetFilterRules({Rule(Include, Text, L"-3-"), Rule(Include, Regex, L"^-M-\\s"),
                           Rule(Exclude, Text, L"SECRET"), Rule(Highlight, Text, L"kept", Value(Red))});
    Frame->SetChannelBox(4, false); // the sender leaves channel 4 out before any rule sees it
    EXPECT_EQ(VtSend(sender, 4, "-3- on a switched-off channel"), VT_CHANNEL_OFF);
    arrive(3, "kept");
    arrive(3, "a secret");
    arrive(5, "not included");
    arrive(0, "main, kept");
    arrive(3, "end");
    ASSERT_TRUE(PumpUntil([&] { return Lines().back() == L"-3- end"; }));
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-5- before the rules", L"-3- kept", L"-M- main, kept", L"-3- end"}));

    // Without rules every line enters again; those kept out before do not come back.
    Frame->SetFilterRules({});
    arrive(5, "after the rules");
    ASSERT_TRUE(PumpUntil([&] { return Lines().size() == 5; }));
    EXPECT_EQ(Lines().back(), L"-5- after the rules");
    VtClose(sender);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Filters, ALineKeptOutNeitherGrowsTheListNorStartsATrim)
{
    DisplayLines = 2;
    Frame->ComputeOverhead(); // 8: a trim is requested at 10 lines
    AddLines({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    Frame->SetFilterRules({Rule(Exclude, Text, L"noise")});
    AddLines({"noise", "noise"});
    MSG trim;
    EXPECT_FALSE(PeekMessageW(&trim, Window(), WM_DELETEOVERHEAD, WM_DELETEOVERHEAD, PM_NOREMOVE));
    EXPECT_EQ(Lines().size(), 10u);
    AddLines({"signal"});
    EXPECT_EQ(Lines().size(), 2u); // the trim ran in the pump
    EXPECT_EQ(Lines().back(), L"signal");
}

TEST_F(Filters, PatternsThatBacktrackingCannotFinishGiveTheRightAnswers)
{
    // Backtracking would need about 2^40 steps for each rule on each of these lines.
    const std::string as(40, 'a');
    Frame->SetFilterRules({Rule(Exclude, Regex, L"(a+)+b"), Rule(Include, Regex, L"^(\\w+\\s?)+$"),
                           Rule(Include, Text, L"x"), Rule(Highlight, Regex, L"(a|a)*b", Value(Red))});
    AddLines({as + "!", "x" + as + "!", "x" + as + "b", "a b " + as});
    // The exclude keeps out the line that ends in b, the regex include lets in the line of
    // words, and the highlight colours the lines with a b.
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{Utf8ToWide("x" + as + "!"), Utf8ToWide("a b " + as)}));
    FocusElsewhere();
    ExpectDrawn(List(), {{Lines()[0], ListText(), ListBack()}, {Lines()[1], Red, ListBack()}});
}

// ---- drawing -------------------------------------------------------------------------------

TEST_F(Filters, AListWithoutRulesLooksAndMeasuresAsThePlatformsOwnList)
{
    AddLines({"-M- first line", "-3- second, selected", "", "-9- the widest line of them all, with \xE4 and \xDF"});
    Select({1});
    Pump();
    FocusElsewhere();
    TPlainList plain(List(), ListText(), ListBack());
    for (const std::wstring& line : Lines())
        SendMessageW(plain.List, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(plain.List, LB_SETSEL, TRUE, 1);
    SendMessageW(plain.List, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(Extent()), 0);
    EXPECT_EQ(Extent(), Probe::WinWidth(*Frame)); // the extent follows the widest line as before

    for (const int height : {0, -20}) {
        SCOPED_TRACE(height);
        if (height != 0) {
            TFontSpec bigger = Probe::ListFont(*Frame);
            bigger.Height = height;
            Probe::SetListFont(*Frame, bigger);
            plain.SetFont(List());
        }
        EXPECT_EQ(SendMessageW(List(), LB_GETITEMHEIGHT, 0, 0), SendMessageW(plain.List, LB_GETITEMHEIGHT, 0, 0));
        EXPECT_TRUE(ListRows(List(), 0, 4) == ListRows(plain.List, 0, 4));
    }
    // With the focus, each list shows its focus rectangle on the same line.
    SetFocus(List());
    const TPixels focused = ListRows(List(), 0, 4);
    SetFocus(plain.List);
    EXPECT_TRUE(focused == ListRows(plain.List, 0, 4));
    EXPECT_FALSE(focused == ListRows(List(), 0, 4)); // the rectangle shows
}

TEST_F(Filters, HighlightsColourEveryLineTheyMatchAndTheSelectionIsDrawnAsUsual)
{
    AddLines({"-M- plain", "-3- an error", "-4- a warning", "-5- error and warning", "-6- Warn only text"});
    // Rules added after the lines: they colour the lines already there.
    Frame->SetFilterRules({
        Rule(Highlight, Regex, L"warn(ing)?$", Value(Yellow), Value(Blue)),
        Rule(Highlight, Text, L"ERROR", Value(White), Value(Red)),
        Rule(Highlight, Text, L"text", {}, Value(Yellow)), // the list's own text colour
        Rule(Highlight, Text, L"plain", Value(White), Value(Black), false),
    });
    Select({3});
    FocusElsewhere();
    const COLORREF selectedText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    const COLORREF selectedBack = GetSysColor(COLOR_HIGHLIGHT);
    ExpectDrawn(List(), {
                            {L"-M- plain", ListText(), ListBack()},
                            {L"-3- an error", White, Red},
                            {L"-4- a warning", Yellow, Blue},
                            {L"-5- error and warning", selectedText, selectedBack},
                            {L"-6- Warn only text", ListText(), Yellow},
                        });

    // Deleting lines and trimming move the colours with the lines.
    SendMessageW(List(), LB_SETSEL, FALSE, -1);
    Select({0});
    Command(cmCopyselectedlines1); // "Delete selected lines"
    AddLines({"-7- last error", "-8- fine"});
    DisplayLines = 2;
    Frame->ComputeOverhead();
    AddLines({"1", "2", "3", "4", "5", "-9- warning"}); // the trim runs in the pump
    FocusElsewhere();
    ASSERT_EQ(Lines(), (std::vector<std::wstring>{L"5", L"-9- warning"}));
    ExpectDrawn(List(), {{L"5", ListText(), ListBack()}, {L"-9- warning", Yellow, Blue}});

    // Rules changed: every line is looked at anew.
    Frame->SetFilterRules({Rule(Highlight, Text, L"5", Value(Black), Value(White))});
    FocusElsewhere();
    ExpectDrawn(List(), {{L"5", Black, White}, {L"-9- warning", ListText(), ListBack()}});
    EXPECT_TRUE(Boxes.empty());
}

// ---- line commands and search ----------------------------------------------------------------

TEST_F(Filters, SearchCopySaveAndDeleteSeeTheLinesAsTheyAreWithRulesInForce)
{
    using namespace ClipboardReader;
    Frame->SetFilterRules({Rule(Exclude, Text, L"noise"), Rule(Highlight, Regex, L"err", Value(White), Value(Red)),
                           Rule(Highlight, Text, L"ok", Value(Black), Value(Yellow))});
    AddLines({"-M- ok 1", "-M- noise", "-3- error 2", "-3- ok 3", "-4- error 4"});
    ASSERT_EQ(Lines(), (std::vector<std::wstring>{L"-M- ok 1", L"-3- error 2", L"-3- ok 3", L"-4- error 4"}));
    RedrawWindow(List(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); // every line's highlight is found

    // The search finds the highlighted lines by their text.
    EXPECT_FALSE(Frame->MatchLine(L"NOISE", 0));
    EXPECT_TRUE(Frame->MatchLine(L"ERROR 4", 3));
    EXPECT_EQ(SelectedLines(), std::set<int>{3});

    Select({0, 1});
    Command(cmEdit1); // "Copy selected lines "
    EXPECT_EQ(ReadClipboardText().Bytes, std::string("-M- ok 1\r\n-3- error 2\r\n-4- error 4\r\n", 37));

    const fs::path path = fs::temp_directory_path() / ("vt_filters_" + std::to_string(GetCurrentProcessId()) + ".txt");
    SetDialogInitHandler([&path](HWND dialog, LPARAM) {
        SendMessageW(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(path.wstring().c_str()));
        SendMessageW(dialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(path.wstring().c_str()));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    Command(cmSaveas1);
    EXPECT_EQ(ReadFileBytes(path.wstring()), "-M- ok 1\r\n-3- error 2\r\n-3- ok 3\r\n-4- error 4\r\n");
    fs::remove(path);

    Command(cmCopyselectedlines1); // "Delete selected lines"
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"-3- ok 3"});
    FocusElsewhere();
    ExpectDrawn(List(), {{L"-3- ok 3", Black, Yellow}});
    EXPECT_TRUE(Boxes.empty());
}

// ---- settings --------------------------------------------------------------------------------

TEST_F(Filters, RulesLiveInTheSettingsFileOnlyWhileThereAreAny)
{
    const std::vector<TFilterRule> rules = {
        Rule(Include, Regex, L"^-[35]-"),
        Rule(Exclude, Text, L"a, b", {}, {}, false),
        Rule(Highlight, Text, L"error", Value(White), Value(Red)),
    };
    Frame->SetFilterRules(rules);
    Frame.reset(); // closing writes the settings
    const std::string written = ReadFileBytes(SettingsPath()).value_or("");
    EXPECT_NE(written.find("[FILTERS]\r\n"
                           "RULE1=include,regex,1,,,^-[35]-\r\n"
                           "RULE2=exclude,text,0,,,a, b\r\n"
                           "RULE3=highlight,text,1,16777215,200,error\r\n"),
              std::string::npos)
        << written;

    Frame = std::make_unique<TMainFrame>();
    EXPECT_EQ(Frame->FilterRules(), rules);
    AddLines({"-3- in", "-4- out"});
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"-3- in"});

    Frame->SetFilterRules({});
    Frame.reset();
    const std::optional<std::string> stored = ReadFileBytes(SettingsPath());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->find("FILTERS"), std::string::npos);
    Frame = std::make_unique<TMainFrame>();
    EXPECT_TRUE(Frame->FilterRules().empty());
}

// ---- the dialog ------------------------------------------------------------------------------

// Fills in the real dialog as a person would; the colour dialog its buttons open answers
// with the colours given, in turn.
class TDialogDriver {
public:
    explicit TDialogDriver(HWND dialog) : Dialog(dialog) {}

    void Choose(int combo, int position) const
    {
        SendDlgItemMessageW(Dialog, combo, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
        SendMessageW(Dialog, WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, combo)));
    }
    void Kind(TRuleKind kind) const { Choose(idRuleKind, static_cast<int>(kind)); }
    void Mode(TMatchMode mode) const { Choose(idRuleMode, static_cast<int>(mode)); }
    void Type(const wchar_t* pattern) const { SetDlgItemTextW(Dialog, idRulePattern, pattern); }
    void Enabled(bool on) const { CheckDlgButton(Dialog, idRuleEnabled, on ? BST_CHECKED : BST_UNCHECKED); }
    void Press(int button) const
    {
        SendMessageW(Dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(Dialog, button)));
    }
    void SelectRow(int row) const
    {
        SendDlgItemMessageW(Dialog, idRuleList, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        SendMessageW(Dialog, WM_COMMAND, MAKEWPARAM(idRuleList, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(Dialog, idRuleList)));
    }

    std::wstring Text(int id) const
    {
        wchar_t text[512] = {};
        GetDlgItemTextW(Dialog, id, text, 512);
        return text;
    }
    std::vector<std::wstring> Rows() const
    {
        std::vector<std::wstring> rows;
        const auto count = static_cast<int>(SendDlgItemMessageW(Dialog, idRuleList, LB_GETCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            wchar_t text[512] = {};
            SendDlgItemMessageW(Dialog, idRuleList, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text));
            rows.push_back(text);
        }
        return rows;
    }
    int SelectedRow() const { return static_cast<int>(SendDlgItemMessageW(Dialog, idRuleList, LB_GETCURSEL, 0, 0)); }
    bool IsEnabled(int id) const { return IsWindowEnabled(GetDlgItem(Dialog, id)) != FALSE; }

    HWND Dialog;
};

struct TColourDialogRun {
    std::vector<COLORREF> Answers; // given in turn
    std::vector<COLORREF> Initial; // the colour each opening showed
};

// Runs `script` in the filters dialog once it has opened; the colour dialogs it opens get
// the answers of `colours`.
void DriveFilterDialog(TColourDialogRun& colours, std::function<void(const TDialogDriver&)> script)
{
    SetDialogInitHandler([&colours, script](HWND dialog, LPARAM record) {
        wchar_t title[64] = {};
        GetWindowTextW(dialog, title, 64);
        if (std::wstring(title) != FilterDialogTitle) {
            const auto* choose = reinterpret_cast<const CHOOSECOLORW*>(record);
            colours.Initial.push_back(choose->rgbResult);
            const COLORREF answer = colours.Answers.at(colours.Initial.size() - 1);
            constexpr int RedEdit = 706; // the colour dialog's red, green and blue fields
            SetDlgItemInt(dialog, RedEdit, GetRValue(answer), FALSE);
            SetDlgItemInt(dialog, RedEdit + 1, GetGValue(answer), FALSE);
            SetDlgItemInt(dialog, RedEdit + 2, GetBValue(answer), FALSE);
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            return;
        }
        script(TDialogDriver(dialog));
    });
}

TEST_F(Filters, TheDialogAddsChangesRemovesMovesAndColoursRules)
{
    Frame->SetFilterRules({Rule(Include, Text, L"-3-")});
    TColourDialogRun colours{{White, Red}, {}};
    DriveFilterDialog(colours, [](const TDialogDriver& d) {
        EXPECT_EQ(d.Rows(), std::vector<std::wstring>{L"on\tinclude\ttext\t-3-"});
        EXPECT_EQ(d.Text(idRulePattern), L"-3-");
        EXPECT_FALSE(d.IsEnabled(idRuleTextColour)); // colours belong to highlights

        d.Kind(Highlight);
        EXPECT_TRUE(d.IsEnabled(idRuleTextColour));
        d.Mode(Regex);
        d.Type(L"error|fail(ed)?");
        d.Press(idRuleTextColour);
        d.Press(idRuleBackColour);
        d.Press(idAddRule);
        d.Kind(Exclude);
        d.Mode(Text);
        d.Type(L"heartbeat");
        d.Enabled(false);
        d.Press(idAddRule);
        EXPECT_EQ(d.Rows(), (std::vector<std::wstring>{L"on\tinclude\ttext\t-3-", L"on\thighlight\tregex\terror|fail(ed)?",
                                                       L"off\texclude\ttext\theartbeat"}));
        EXPECT_EQ(d.SelectedRow(), 2);

        d.SelectRow(0);
        d.Press(idRuleDown);
        EXPECT_EQ(d.SelectedRow(), 1);
        d.SelectRow(2);
        EXPECT_EQ(d.Text(idRulePattern), L"heartbeat");
        d.Enabled(true);
        d.Type(L"heart beat");
        d.Press(idChangeRule);
        d.Type(L"temporary");
        d.Press(idAddRule);
        d.Press(idRemoveRule);
        d.SelectRow(1);
        d.Press(idRuleUp);
        EXPECT_EQ(d.Rows(), (std::vector<std::wstring>{L"on\tinclude\ttext\t-3-", L"on\thighlight\tregex\terror|fail(ed)?",
                                                       L"on\texclude\ttext\theart beat"}));
        EXPECT_EQ(d.Text(idRuleProblem), L"");
        PostMessageW(d.Dialog, WM_COMMAND, IDOK, 0);
    });
    Command(cmFilters);
    EXPECT_EQ(Frame->FilterRules(), (std::vector<TFilterRule>{Rule(Include, Text, L"-3-"),
                                                               Rule(Highlight, Regex, L"error|fail(ed)?", Value(White), Value(Red)),
                                                               Rule(Exclude, Text, L"heart beat")}));
    // The colour dialog opened on the colours the fields showed: black on yellow for a new highlight.
    EXPECT_EQ(colours.Initial, (std::vector<COLORREF>{Black, Yellow}));
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Filters, TheDialogRefusesABrokenPatternWithItsReasonAndCancelChangesNothing)
{
    const std::vector<TFilterRule> before = {Rule(Highlight, Text, L"keep", Value(Red), {})};
    Frame->SetFilterRules(before);
    TColourDialogRun colours;
    DriveFilterDialog(colours, [](const TDialogDriver& d) {
        const struct {
            TMatchMode Mode;
            const wchar_t* Pattern;
            const wchar_t* Problem;
        } refused[] = {
            {Regex, L"(unclosed", L"Not a regular expression the rules can use: missing ): (unclosed."},
            {Regex, L"[abc", L"Not a regular expression the rules can use: missing ]: [abc."},
            {Regex, L"(\\w)\\1", L"Not a regular expression the rules can use: invalid escape sequence: \\1."},
            {Regex, L"(){3000}", L"Not a regular expression the rules can use: invalid repetition size: {3000}."},
            {Text, L"", L"Type a pattern."},
            {Text, L"trailing blank ", L"A pattern cannot end with a blank or tab: the settings file would lose it. "
                                       L"Use a regex with [ ] instead."},
        };
        for (const auto& r : refused) {
            d.Mode(r.Mode);
            d.Type(r.Pattern);
            d.Press(idAddRule);
            EXPECT_EQ(d.Text(idRuleProblem), r.Problem);
            d.Press(idChangeRule);
            EXPECT_EQ(d.Text(idRuleProblem), r.Problem);
            EXPECT_EQ(d.Rows(), std::vector<std::wstring>{L"on\thighlight\ttext\tkeep"});
        }
        d.Type(L"fine");
        d.Press(idAddRule);
        EXPECT_EQ(d.Text(idRuleProblem), L"");
        EXPECT_EQ(d.Rows().size(), 2u);
        SendDlgItemMessageW(d.Dialog, idRuleList, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        d.Press(idChangeRule);
        EXPECT_EQ(d.Text(idRuleProblem), L"Select the rule to change.");
        PostMessageW(d.Dialog, WM_COMMAND, IDCANCEL, 0);
    });
    Command(cmFilters);
    EXPECT_EQ(Frame->FilterRules(), before);
    EXPECT_TRUE(colours.Initial.empty());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Filters, ARuleRefusedAtStartUpStaysDisabledAndTheDialogShowsWhy)
{
    Frame.reset();
    WriteFileBytes(SettingsPath(), "[FILTERS]\r\n"
                                   "RULE1=highlight,regex,1,255,,(\\w)\\1\r\n"
                                   "RULE2=include,text,1,,,-3-\r\n"
                                   "RULE3=exclude,regex,0,,,a(?=b)\r\n");
    Frame = std::make_unique<TMainFrame>();
    const std::vector<TFilterRule> loaded = {Rule(Highlight, Regex, L"(\\w)\\1", 255, {}, false),
                                             Rule(Include, Text, L"-3-"), Rule(Exclude, Regex, L"a(?=b)", {}, {}, false)};
    EXPECT_EQ(Frame->FilterRules(), loaded);
    AddLines({"-3- aabb", "-4- x"});
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"-3- aabb"});

    TColourDialogRun colours;
    DriveFilterDialog(colours, [](const TDialogDriver& d) {
        EXPECT_EQ(d.Rows(), (std::vector<std::wstring>{L"refused\thighlight\tregex\t(\\w)\\1", L"on\tinclude\ttext\t-3-",
                                                       L"refused\texclude\tregex\ta(?=b)"}));
        EXPECT_EQ(d.Text(idRuleProblem), L"Not a regular expression the rules can use: invalid escape sequence: \\1.");
        d.SelectRow(1);
        EXPECT_EQ(d.Text(idRuleProblem), L"");
        d.SelectRow(2);
        EXPECT_EQ(d.Text(idRuleProblem), L"Not a regular expression the rules can use: invalid perl operator: (?=.");
        // Enabled as it is, it is refused; rewritten, it is a rule like any other.
        d.Enabled(true);
        d.Press(idChangeRule);
        EXPECT_EQ(d.Text(idRuleProblem), L"Not a regular expression the rules can use: invalid perl operator: (?=.");
        d.Type(L"ab");
        d.Press(idChangeRule);
        EXPECT_EQ(d.Rows().back(), L"on\texclude\tregex\tab");
        PostMessageW(d.Dialog, WM_COMMAND, IDOK, 0);
    });
    Command(cmFilters);
    Frame.reset(); // closing writes the settings
    const std::string written = ReadFileBytes(SettingsPath()).value_or("");
    EXPECT_NE(written.find("[FILTERS]\r\n"
                           "RULE1=highlight,regex,0,255,,(\\w)\\1\r\n"
                           "RULE2=include,text,1,,,-3-\r\n"
                           "RULE3=exclude,regex,1,,,ab\r\n"),
              std::string::npos)
        << written;
    EXPECT_TRUE(Boxes.empty());
}

} // namespace
