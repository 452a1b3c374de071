// The main window's components, menu, shortcuts, hints and option handlers, driven in-process
// on the real window with the real exchange area. The font and colour dialogs are the real
// ones, filled in and confirmed or cancelled from their hook procedure.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <imm.h>

#include <array>
#include <cwctype>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "DebugMain.h"
#include "DialogHook.h"
#include "ErrorBox.h"
#include "Gdi.h"
#include "TextCodec.h"
#include "support/ScreenImage.h"

struct TMainFrameProbe {
    static HWND PnlDisplayArea(const TMainFrame& frame) { return frame.pnlDisplayArea; }
    static HWND Panel1(const TMainFrame& frame) { return frame.Panel1; }
    static HWND List(const TMainFrame& frame) { return frame.dbDisplayWnd; }
    static HWND Box(const TMainFrame& frame, int channel) { return frame.ChannelBoxes.at(channel); }
    static HWND NoOfEdit(const TMainFrame& frame) { return frame.NoOfEdit; }
    static HWND Tooltips(const TMainFrame& frame) { return frame.Tooltips.Get(); }
    static HMENU Menu(const TMainFrame& frame) { return frame.MainMenu1; }
    static bool AutoScroll(const TMainFrame& frame) { return frame.AutoScroll; }
    static std::int32_t& WinWidth(TMainFrame& frame) { return frame.WinWidth; }
    static std::string& MaxLine(TMainFrame& frame) { return frame.MaxLine; }
    static const TFontSpec& WindowFont(const TMainFrame& frame) { return frame.WindowFont; }
    static const TFontSpec& ListFont(const TMainFrame& frame) { return frame.ListFont; }
    static HFONT WindowFontHandle(const TMainFrame& frame) { return frame.WindowFontHandle.Get(); }
    static std::int32_t ListColor(const TMainFrame& frame) { return frame.ListColor; }
    static int ScreenDpi(const TMainFrame& frame) { return frame.ScreenDpi; }
    static void SetWindowFont(TMainFrame& frame, const TFontSpec& font) { frame.SetWindowFont(font); }
    static void PlaceWindow(TMainFrame& frame, const RECT& stored) { frame.PlaceWindow(stored); }
    // Builds the menu bar from its table once more, as creation does, and drops the old one.
    static void RebuildMenu(TMainFrame& frame)
    {
        const HMENU old = frame.MainMenu1;
        frame.CreateMainMenu();
        DestroyMenu(old);
    }
};

namespace {

using Probe = TMainFrameProbe;

constexpr int MessagePumpLimit = 10000;
constexpr COLORREF Gray = RGB(128, 128, 128);
constexpr COLORREF Teal = RGB(0, 128, 128);
constexpr COLORREF Navy = RGB(0, 0, 128);
constexpr std::uint8_t Untouched = 7; // a byte no handler writes
constexpr wchar_t ChannelsHint[] = L"Switch debug channels on and off";

void Pump()
{
    MSG message;
    for (int count = 0; count < MessagePumpLimit && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++count) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    std::wstring lower(name);
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    return lower;
}

// Position and size relative to the parent's client area.
RECT BoundsInParent(HWND window)
{
    RECT bounds;
    GetWindowRect(window, &bounds);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&bounds), 2);
    return RECT{bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top};
}

LOGFONTW FontOf(HFONT font)
{
    LOGFONTW info{};
    GetObjectW(font, sizeof(info), &info);
    return info;
}

int ScreenDpi() { return GetDeviceCaps(TWindowDC(nullptr).Get(), LOGPIXELSY); }

// The height of one line of a font made here from face and height, on the screen.
int LineHeightOf(const std::wstring& face, int height)
{
    TUniqueFont font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face.c_str()));
    TWindowDC dc(nullptr);
    TSelectObject selection(dc.Get(), font.Get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    return metrics.tmHeight;
}

// Width of a text in a font made here from face and height, on the screen.
int MeasureText(const std::wstring& face, int height, const std::wstring& text)
{
    TUniqueFont font(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face.c_str()));
    TWindowDC dc(nullptr);
    TSelectObject selection(dc.Get(), font.Get());
    SIZE size{};
    GetTextExtentPoint32W(dc.Get(), text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

COLORREF PixelOf(HWND window, int x, int y)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    TWindowDC dc(window);
    return GetPixel(dc.Get(), x, y);
}

bool PostedListExtent(HWND list, WPARAM& extent)
{
    MSG message;
    if (!PeekMessageW(&message, list, LB_SETHORIZONTALEXTENT, LB_SETHORIZONTALEXTENT, PM_NOREMOVE))
        return false;
    extent = message.wParam;
    return true;
}

// WM_COMMAND ids that reach the window, seen by a hook on this thread.
std::vector<UINT>* CommandLog = nullptr;
HWND CommandTarget = nullptr;

LRESULT CALLBACK RecordCommand(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_COMMAND && call->hwnd == CommandTarget && CommandLog != nullptr)
        CommandLog->push_back(LOWORD(call->wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class TCommandRecorder {
public:
    explicit TCommandRecorder(HWND target)
        : FHook(SetWindowsHookExW(WH_CALLWNDPROC, RecordCommand, nullptr, GetCurrentThreadId()))
    {
        CommandTarget = target;
        CommandLog = &Commands;
    }
    ~TCommandRecorder()
    {
        CommandLog = nullptr;
        UnhookWindowsHookEx(FHook);
    }
    TCommandRecorder(const TCommandRecorder&) = delete;
    TCommandRecorder& operator=(const TCommandRecorder&) = delete;

    std::vector<UINT> Commands;

private:
    HHOOK FHook;
};

// Posts a key press as the keyboard would while Ctrl is held (or not), then runs the
// program's own message loop until the queue is empty.
void PressKey(const TMainFrame& frame, BYTE key, bool control)
{
    std::array<BYTE, 256> saved{};
    GetKeyboardState(saved.data());
    std::array<BYTE, 256> keys = saved;
    keys[VK_CONTROL] = keys[VK_LCONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys.data());
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(frame.Handle(), WM_KEYDOWN, key, scan | 1);
    PostMessageW(frame.Handle(), WM_KEYUP, key, scan | 1 | (LPARAM{3} << 30));
    PostQuitMessage(0);
    RunMessageLoop(frame);
    SetKeyboardState(saved.data());
}

class MainFrameOptions : public testing::Test {
protected:
    void SetUp() override
    {
        SetMessageBoxHandler([](HWND, const std::wstring& text, const std::wstring&, UINT) {
            ADD_FAILURE() << "message box: " << WideToUtf8(text);
            return IDOK;
        });
        Frame = std::make_unique<TMainFrame>();
        ASSERT_NE(Frame->Handle(), nullptr);
        ASSERT_NE(Frame->SharedMem, nullptr);
        Area = static_cast<TShmArea*>(Frame->SharedMem->Data());
        ASSERT_NE(Area, nullptr);
        Pump();
    }

    void TearDown() override
    {
        SetDialogInitHandler({});
        Frame.reset();
        Pump();
        SetMessageBoxHandler({});
    }

    HWND Window() const { return Frame->Handle(); }

    std::unique_ptr<TMainFrame> Frame;
    TShmArea* Area = nullptr;
};

// ---- component tree ---------------------------------------------------------------------

struct TExpectedComponent {
    const char* Name;
    int Id;
    int Parent; // 0: the window
    const wchar_t* Class;
    int Left, Top, Width, Height;
    const wchar_t* Caption;
};

constexpr TExpectedComponent FixedComponents[] = {
    {"CheckBox11", idCheckBox11, idPanel1, L"button", 8, 4, 33, 17, L"M"},
    {"CheckBox1", idCheckBox1 + 0, idPanel1, L"button", 48, 4, 33, 17, L"1"},
    {"CheckBox2", idCheckBox1 + 1, idPanel1, L"button", 86, 4, 33, 17, L"2"},
    {"CheckBox3", idCheckBox1 + 2, idPanel1, L"button", 124, 4, 33, 17, L"3"},
    {"CheckBox4", idCheckBox1 + 3, idPanel1, L"button", 162, 4, 33, 17, L"4"},
    {"CheckBox5", idCheckBox1 + 4, idPanel1, L"button", 200, 4, 33, 17, L"5"},
    {"CheckBox6", idCheckBox1 + 5, idPanel1, L"button", 238, 4, 33, 17, L"6"},
    {"CheckBox7", idCheckBox1 + 6, idPanel1, L"button", 276, 4, 33, 17, L"7"},
    {"CheckBox8", idCheckBox1 + 7, idPanel1, L"button", 314, 4, 33, 17, L"8"},
    {"CheckBox9", idCheckBox1 + 8, idPanel1, L"button", 352, 4, 33, 17, L"9"},
    {"Label1", idLabel1, idPanel1, L"static", 394, 4, 57, 14, L"Max. Lines:"},
    {"Bevel1", idBevel1, idPanel1, L"static", 451, 3, 43, 18, L""},
    {"NoOfEdit", idNoOfEdit, idPanel1, L"edit", 454, 5, 38, 15, L"32000"},
};

TEST_F(MainFrameOptions, WindowHasItsCaptionAndStartGeometry)
{
    EXPECT_EQ(WindowText(Window()), L"Vellumtrace64   V15.0");
    RECT bounds;
    GetWindowRect(Window(), &bounds);
    EXPECT_EQ(bounds.left, 80);
    EXPECT_EQ(bounds.top, 80);
    EXPECT_EQ(bounds.right - bounds.left, 525);
    EXPECT_EQ(bounds.bottom - bounds.top, 480);
}

TEST_F(MainFrameOptions, FixedComponentsHaveTheirClassGeometryAndCaption)
{
    const HWND panel1 = Probe::Panel1(*Frame);
    for (const TExpectedComponent& expected : FixedComponents) {
        SCOPED_TRACE(expected.Name);
        const HWND control = GetDlgItem(panel1, expected.Id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), expected.Class);
        const RECT bounds = BoundsInParent(control);
        EXPECT_EQ(bounds.left, expected.Left);
        EXPECT_EQ(bounds.top, expected.Top);
        EXPECT_EQ(bounds.right, expected.Width);
        EXPECT_EQ(bounds.bottom, expected.Height);
        EXPECT_EQ(WindowText(control), expected.Caption);
    }
}

// The list's fixed height cut down to whole lines of its font.
int WholeLinesHeight(HWND list, int height)
{
    RECT outer;
    GetWindowRect(list, &outer);
    RECT inner;
    GetClientRect(list, &inner);
    const int frame = (outer.bottom - outer.top) - inner.bottom;
    const auto line = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    return frame + (height - frame) / line * line;
}

TEST_F(MainFrameOptions, PanelsAndListAreDockedInTheClientArea)
{
    RECT client;
    GetClientRect(Window(), &client);
    const HWND area = Probe::PnlDisplayArea(*Frame);
    ASSERT_EQ(GetParent(area), Window());
    const RECT areaBounds = BoundsInParent(area);
    EXPECT_EQ(areaBounds.left, 0);
    EXPECT_EQ(areaBounds.top, 0);
    EXPECT_EQ(areaBounds.right, client.right);
    EXPECT_EQ(areaBounds.bottom, client.bottom);

    const HWND panel1 = Probe::Panel1(*Frame);
    ASSERT_EQ(GetParent(panel1), area);
    const RECT strip = BoundsInParent(panel1);
    EXPECT_EQ(strip.left, 1);
    EXPECT_EQ(strip.top, 1);
    EXPECT_EQ(strip.right, client.right - 2);
    EXPECT_EQ(strip.bottom, 25);

    const HWND list = Probe::List(*Frame);
    ASSERT_EQ(GetParent(list), area);
    EXPECT_EQ(GetDlgCtrlID(list), idDbDisplay);
    const RECT listBounds = BoundsInParent(list);
    EXPECT_EQ(listBounds.left, 1);
    EXPECT_EQ(listBounds.top, 26);
    EXPECT_EQ(listBounds.right, client.right - 2);
    // One line of the design font, Courier New at 9 points, is 15 pixels high.
    EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), 15);
    const int listHeight = WholeLinesHeight(list, 469);
    EXPECT_EQ(listBounds.bottom, listHeight);

    // Wider window: the strip and the list follow, the list keeps its height.
    SetWindowPos(Window(), nullptr, 0, 0, 700, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(Window(), &client);
    EXPECT_EQ(BoundsInParent(area).right, client.right);
    EXPECT_EQ(BoundsInParent(panel1).right, client.right - 2);
    EXPECT_EQ(BoundsInParent(list).right, client.right - 2);
    EXPECT_EQ(BoundsInParent(list).bottom, listHeight);
}

// A move to a monitor of another dpi: every length of the layout and every font follows, the
// window takes the bounds the system suggests, and the way back gives the design again.
TEST_F(MainFrameOptions, LayoutAndFontsFollowAChangeOfDpi)
{
    ASSERT_EQ(Probe::ScreenDpi(*Frame), 96) << "the design values below are pixels at 96 dpi";
    Frame->AddLine("-M- the widest line");
    Pump();
    const HWND panel1 = Probe::Panel1(*Frame);
    const HWND list = Probe::List(*Frame);
    for (const int dpi : {192, 144, 96}) {
        SCOPED_TRACE(dpi);
        const auto scaled = [dpi](int design) { return MulDiv(design, dpi, 96); };
        RECT suggested;
        GetWindowRect(Window(), &suggested);
        suggested.right = suggested.left + scaled(525);
        suggested.bottom = suggested.top + scaled(480);
        SendMessageW(Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        Pump();

        EXPECT_EQ(Probe::ScreenDpi(*Frame), dpi);
        RECT bounds;
        GetWindowRect(Window(), &bounds);
        EXPECT_TRUE(EqualRect(&bounds, &suggested));
        for (const TExpectedComponent& expected : FixedComponents) {
            SCOPED_TRACE(expected.Name);
            const RECT component = BoundsInParent(GetDlgItem(panel1, expected.Id));
            EXPECT_EQ(component.left, scaled(expected.Left));
            EXPECT_EQ(component.top, scaled(expected.Top));
            EXPECT_EQ(component.right, scaled(expected.Width));
            EXPECT_EQ(component.bottom, scaled(expected.Height));
        }
        RECT client;
        GetClientRect(Window(), &client);
        const RECT strip = BoundsInParent(panel1);
        EXPECT_EQ(strip.left, scaled(1));
        EXPECT_EQ(strip.right, client.right - 2 * scaled(1));
        EXPECT_EQ(strip.bottom, scaled(25));
        const RECT listBounds = BoundsInParent(list);
        EXPECT_EQ(listBounds.top, scaled(1) + scaled(25));
        // Whole lines, at most the scaled height. Wine's list box counts a hidden horizontal
        // scroll bar when it cuts its height, so a line more may go than the design says.
        const int line = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
        RECT listClient;
        GetClientRect(list, &listClient);
        EXPECT_EQ(listClient.bottom % line, 0);
        EXPECT_LE(listBounds.bottom, scaled(469));
        EXPECT_GT(listBounds.bottom, scaled(469) - 2 * line);

        struct TFontCase {
            HWND Control;
            int DesignHeight;
        };
        for (const TFontCase& font : {TFontCase{list, -12}, TFontCase{Probe::Box(*Frame, 0), -11},
                                      TFontCase{Probe::NoOfEdit(*Frame), -11},
                                      TFontCase{GetDlgItem(panel1, idLabel1), -11}}) {
            EXPECT_EQ(FontOf(reinterpret_cast<HFONT>(SendMessageW(font.Control, WM_GETFONT, 0, 0))).lfHeight,
                      scaled(font.DesignHeight));
        }
        EXPECT_EQ(FontOf(Probe::WindowFontHandle(*Frame)).lfHeight, scaled(-12));
        // Lines are as high as the list font makes them, the widest line is measured anew.
        EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), LineHeightOf(L"Courier New", scaled(-12)));
        EXPECT_EQ(Probe::WinWidth(*Frame), MeasureText(L"Courier New", scaled(-12), L"-M- the widest line") + 8);
        EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), Probe::WinWidth(*Frame));
    }
}

// Windows moves a window placed on a monitor of another dpi and sends WM_DPICHANGED with a
// suggested size scaled to that dpi, during the move. The stored bounds win: the window has
// the stored size there, and its fonts follow the new dpi.
struct TDpiOnArrival {
    RECT Target;
    int Dpi;
    bool Sent = false;
};

LRESULT CALLBACK SendDpiChangeOnArrival(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR data)
{
    auto& arrival = *reinterpret_cast<TDpiOnArrival*>(data);
    if (message == WM_WINDOWPOSCHANGED && !arrival.Sent &&
        reinterpret_cast<const WINDOWPOS*>(lParam)->x == arrival.Target.left) {
        arrival.Sent = true;
        RECT suggested = arrival.Target;
        suggested.right = suggested.left + MulDiv(arrival.Target.right - arrival.Target.left, arrival.Dpi, 96);
        suggested.bottom = suggested.top + MulDiv(arrival.Target.bottom - arrival.Target.top, arrival.Dpi, 96);
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(arrival.Dpi, arrival.Dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(MainFrameOptions, StoredBoundsLandingOnAMonitorOfAnotherDpiKeepTheirSize)
{
    ASSERT_EQ(Probe::ScreenDpi(*Frame), 96);
    TDpiOnArrival arrival{RECT{100, 90, 100 + 600, 90 + 500}, 144};
    ASSERT_TRUE(SetWindowSubclass(Window(), SendDpiChangeOnArrival, 1, reinterpret_cast<DWORD_PTR>(&arrival)));
    Probe::PlaceWindow(*Frame, arrival.Target);
    RemoveWindowSubclass(Window(), SendDpiChangeOnArrival, 1);
    Pump();

    ASSERT_TRUE(arrival.Sent);
    EXPECT_EQ(Probe::ScreenDpi(*Frame), 144);
    RECT bounds;
    GetWindowRect(Window(), &bounds);
    EXPECT_TRUE(EqualRect(&bounds, &arrival.Target))
        << bounds.left << "," << bounds.top << "," << bounds.right << "," << bounds.bottom;
    EXPECT_EQ(FontOf(Probe::WindowFontHandle(*Frame)).lfHeight, MulDiv(-12, 144, 96));
}

// After a move to a 144-dpi monitor the settings file holds the window's pixels there, and
// the font's size in points as before: the font is the same, only drawn larger.
TEST_F(MainFrameOptions, SettingsAfterAChangeOfDpiHoldTheWindowsPixelsAndTheSameFontSize)
{
    RECT suggested{10, 20, 10 + 788, 20 + 720};
    SendMessageW(Window(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    Pump();
    Frame.reset(); // SaveSettings
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring settings(exe);
    settings = settings.substr(0, settings.find_last_of(L"\\/") + 1) + L"Vellumtrace64.INI";
    const auto read = [&](const wchar_t* section, const wchar_t* key) {
        wchar_t value[64] = {};
        GetPrivateProfileStringW(section, key, L"", value, 64, settings.c_str());
        return std::wstring(value);
    };
    EXPECT_EQ(read(L"WINDOW", L"LEFT"), L"10");
    EXPECT_EQ(read(L"WINDOW", L"TOP"), L"20");
    EXPECT_EQ(read(L"WINDOW", L"WIDTH"), L"788");
    EXPECT_EQ(read(L"WINDOW", L"HEIGHT"), L"720");
    EXPECT_EQ(read(L"PREFERENCES", L"FONTNAME"), L"Courier New");
    EXPECT_EQ(read(L"PREFERENCES", L"FONTSIZE"), L"9");
    DeleteFileW(settings.c_str());
}

TEST_F(MainFrameOptions, ListHasItsStylesAndNoInputMethod)
{
    const HWND list = Probe::List(*Frame);
    EXPECT_EQ(ClassOf(list), L"listbox");
    // The scroll bars show once there is more to see than fits.
    for (int line = 0; line < 100; ++line)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"line"));
    SendMessageW(list, LB_SETHORIZONTALEXTENT, 3000, 0);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE));
    EXPECT_EQ(style & (LBS_EXTENDEDSEL | WS_VSCROLL | WS_HSCROLL), DWORD{LBS_EXTENDEDSEL | WS_VSCROLL | WS_HSCROLL});
    EXPECT_EQ(style & (LBS_SORT | LBS_MULTIPLESEL | LBS_NOINTEGRALHEIGHT | WS_TABSTOP), 0u);
    EXPECT_NE(GetWindowLongPtrW(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(ImmGetContext(list), nullptr);
    // The edit field keeps the input method, so the check above can tell.
    const HIMC edit = ImmGetContext(Probe::NoOfEdit(*Frame));
    EXPECT_NE(edit, nullptr);
    ImmReleaseContext(Probe::NoOfEdit(*Frame), edit);
}

TEST_F(MainFrameOptions, ComponentsHaveTheirFonts)
{
    struct TCase {
        HWND Control;
        const wchar_t* Face;
        int Height;
    };
    const TCase cases[] = {
        {Probe::List(*Frame), L"Courier New", -12},
        {Probe::Box(*Frame, 0), L"MS Sans Serif", -11},
        {Probe::Box(*Frame, 9), L"MS Sans Serif", -11},
        {Probe::NoOfEdit(*Frame), L"MS Sans Serif", -11},
        {GetDlgItem(Probe::Panel1(*Frame), idLabel1), L"MS Sans Serif", -11},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(WideToUtf8(ClassOf(item.Control)));
        const LOGFONTW font = FontOf(reinterpret_cast<HFONT>(SendMessageW(item.Control, WM_GETFONT, 0, 0)));
        EXPECT_STREQ(font.lfFaceName, item.Face);
        EXPECT_EQ(font.lfHeight, item.Height);
        EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
        EXPECT_EQ(font.lfWeight, FW_NORMAL);
    }
    const LOGFONTW window = FontOf(Probe::WindowFontHandle(*Frame));
    EXPECT_STREQ(window.lfFaceName, L"Courier New");
    EXPECT_EQ(window.lfHeight, -12);
}

std::vector<int> ChildIds(HWND parent)
{
    std::vector<int> ids;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        ids.push_back(GetDlgCtrlID(child));
    return ids;
}

TEST_F(MainFrameOptions, ChildrenAreInTabOrder)
{
    EXPECT_EQ(ChildIds(Window()), std::vector<int>{idPnlDisplayArea});
    EXPECT_EQ(ChildIds(Probe::PnlDisplayArea(*Frame)), (std::vector<int>{idDbDisplay, idPanel1}));
    std::vector<int> strip;
    for (int box = 0; box < 9; ++box)
        strip.push_back(idCheckBox1 + box);
    strip.insert(strip.end(), {idCheckBox11, idNoOfEdit, idLabel1, idBevel1});
    EXPECT_EQ(ChildIds(Probe::Panel1(*Frame)), strip);

    for (int channel = 0; channel < Shm::ChannelCount; ++channel)
        EXPECT_NE(GetWindowLongPtrW(Probe::Box(*Frame, channel), GWL_STYLE) & WS_TABSTOP, 0) << channel;
    EXPECT_NE(GetWindowLongPtrW(Probe::NoOfEdit(*Frame), GWL_STYLE) & WS_TABSTOP, 0);
}

TEST_F(MainFrameOptions, ExtendedChannelsAreEnabledAndMarkedInTheArea)
{
    // Back to the design state of boxes 3 to 9, then the start-up step.
    for (int channel = 3; channel < Shm::ChannelCount; ++channel)
        EnableWindow(Probe::Box(*Frame, channel), FALSE);
    Area->ExtendedChannels = 0;
    Frame->EnableExtendedChannels();
    for (int channel = 0; channel < Shm::ChannelCount; ++channel)
        EXPECT_TRUE(IsWindowEnabled(Probe::Box(*Frame, channel))) << channel;
    EXPECT_EQ(Area->ExtendedChannels, 1);
}

// ---- menu and shortcuts ----------------------------------------------------------------

std::wstring MenuText(HMENU menu, UINT position)
{
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

struct TExpectedMenu {
    const wchar_t* Caption;
    std::vector<const wchar_t*> Items; // empty: a command in the bar itself
};

TEST_F(MainFrameOptions, MenuBarHasEveryCaptionExactly)
{
    const std::vector<TExpectedMenu> expected = {
        {L" File ", {L"Print selected lines", L"Save as ...", L"Exit"}},
        {L" Edit ", {L"Copy selected lines ", L"Delete all lines\tCtrl+D", L"Delete selected lines"}},
        {L" Search ", {}},
        {L"Options",
         {L"AutoScroll", L"Display Channel Number", L"Display Date", L"Display Time", L"On Top", L"Start minimized"}},
        {L"Preferences", {L"Font", L"Window color"}},
        // Beyond the design: after its menus.
        {L"Capture", {L"Capture OutputDebugString", L"Channel of captured lines", L"", L"Log to file...",
                      L"Filters and highlights...", L"Capture global OutputDebugString", L"Receive syslog...", L"Forward to syslog..."}},
    };
    const HMENU bar = GetMenu(Window());
    ASSERT_EQ(bar, Probe::Menu(*Frame));
    ASSERT_EQ(GetMenuItemCount(bar), static_cast<int>(expected.size()));
    for (UINT position = 0; position < expected.size(); ++position) {
        SCOPED_TRACE(position);
        EXPECT_EQ(MenuText(bar, position), expected[position].Caption);
        const HMENU popup = GetSubMenu(bar, static_cast<int>(position));
        if (expected[position].Items.empty()) {
            EXPECT_EQ(popup, nullptr);
            continue;
        }
        ASSERT_NE(popup, nullptr);
        ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(expected[position].Items.size()));
        for (UINT item = 0; item < expected[position].Items.size(); ++item)
            EXPECT_EQ(MenuText(popup, item), expected[position].Items[item]);
    }
    EXPECT_EQ(GetMenuItemID(bar, 2), static_cast<UINT>(cmSearch1));
}

TEST_F(MainFrameOptions, MenuCommandsCarryTheirIds)
{
    const HMENU bar = GetMenu(Window());
    const std::vector<std::vector<UINT>> ids = {
        {cmPrint1, cmSaveas1, cmExit1},
        {cmEdit1, cmDeletealllines1, cmCopyselectedlines1},
        {},
        {cmAutoScrollWin, cmDisplayChannel, cmDisplayDate, cmDisplayTime, cmOnTop, cmStartminimized},
        {cmFont1, cmWindowcolor1},
        // A menu of its own, a separator.
        {cmCaptureOds, static_cast<UINT>(-1), 0, cmLogToFile, cmFilters, cmCaptureGlobal, cmReceiveSyslog,
         cmForwardSyslog},
    };
    for (int position = 0; position < static_cast<int>(ids.size()); ++position)
        for (int item = 0; item < static_cast<int>(ids[position].size()); ++item)
            EXPECT_EQ(GetMenuItemID(GetSubMenu(bar, position), item), ids[position][item]) << position << "/" << item;
}

TEST_F(MainFrameOptions, MenuIsBuiltWithTheDesignMarks)
{
    Probe::RebuildMenu(*Frame);
    const std::map<TCommand, bool> marks = {
        {cmAutoScrollWin, false}, {cmDisplayChannel, true}, {cmDisplayDate, false},
        {cmDisplayTime, true},    {cmOnTop, false},         {cmStartminimized, false},
    };
    for (const auto& [command, checked] : marks)
        EXPECT_EQ(Frame->Checked(command), checked) << command;
    const TLineOptions options = Frame->LineOptions();
    EXPECT_TRUE(options.Channel);
    EXPECT_FALSE(options.Date);
    EXPECT_TRUE(options.Time);

    MENUITEMINFOW optionsMenu{};
    optionsMenu.cbSize = sizeof(optionsMenu);
    optionsMenu.fMask = MIIM_FTYPE | MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(GetMenu(Window()), 3, TRUE, &optionsMenu));
    EXPECT_NE(optionsMenu.fType & MFT_RADIOCHECK, 0u);
    EXPECT_NE(optionsMenu.fState & MFS_CHECKED, 0u);
}

TEST_F(MainFrameOptions, ShortcutsSendTheirCommandsThroughTheMessageLoop)
{
    ASSERT_NE(Frame->Accelerators(), nullptr);
    struct TCase {
        BYTE Key;
        bool Control;
        std::vector<UINT> Commands;
    };
    const TCase cases[] = {
        {'D', true, {cmDeletealllines1}},
        {'F', true, {cmSearch1}},
        {'D', false, {}},
        {'F', false, {}},
        {'E', true, {}},
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(testing::Message() << item.Key << (item.Control ? " with Ctrl" : ""));
        TCommandRecorder recorder(Window());
        PressKey(*Frame, item.Key, item.Control);
        EXPECT_EQ(recorder.Commands, item.Commands);
    }
}

// ---- option handlers ---------------------------------------------------------------------

TEST_F(MainFrameOptions, MenuCommandsToggleTheirMarkOnly)
{
    for (const TCommand command : {cmAutoScrollWin, cmDisplayChannel, cmDisplayDate, cmDisplayTime, cmStartminimized}) {
        SCOPED_TRACE(command);
        RECT before;
        GetWindowRect(Window(), &before);
        const bool was = Frame->Checked(command);
        for (const bool expected : {!was, was}) {
            SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
            EXPECT_EQ(Frame->Checked(command), expected);
            EXPECT_EQ(Probe::AutoScroll(*Frame), Frame->Checked(cmAutoScrollWin));
            const TLineOptions options = Frame->LineOptions();
            EXPECT_EQ(options.Channel, Frame->Checked(cmDisplayChannel));
            EXPECT_EQ(options.Date, Frame->Checked(cmDisplayDate));
            EXPECT_EQ(options.Time, Frame->Checked(cmDisplayTime));
        }
        RECT after;
        GetWindowRect(Window(), &after);
        EXPECT_TRUE(EqualRect(&before, &after));
        EXPECT_FALSE(IsIconic(Window()));
    }
}

bool IsTopmost(HWND window) { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

TEST_F(MainFrameOptions, OnTopTwiceLeavesAnOrdinaryWindowUnmoved)
{
    RECT before;
    GetWindowRect(Window(), &before);
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(cmOnTop, 0), 0);
    EXPECT_TRUE(IsTopmost(Window()));
    EXPECT_TRUE(Frame->Checked(cmOnTop));
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(cmOnTop, 0), 0);
    EXPECT_FALSE(IsTopmost(Window()));
    EXPECT_FALSE(Frame->Checked(cmOnTop));
    RECT after;
    GetWindowRect(Window(), &after);
    EXPECT_TRUE(EqualRect(&before, &after));
}

TEST_F(MainFrameOptions, OnTopDecidesByTheMarkNotTheWindow)
{
    // The window is topmost already but the mark is off: the command makes it topmost.
    SetWindowPos(Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Frame->OnTopClick();
    EXPECT_TRUE(IsTopmost(Window()));
    EXPECT_TRUE(Frame->Checked(cmOnTop));
    // Mark on, window ordinary: the command makes it ordinary.
    SetWindowPos(Window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Frame->OnTopClick();
    EXPECT_FALSE(IsTopmost(Window()));
    EXPECT_FALSE(Frame->Checked(cmOnTop));
}

TEST_F(MainFrameOptions, StartMinimizedMessageMinimizesOnce)
{
    ASSERT_FALSE(IsIconic(Window()));
    for (int round = 0; round < 2; ++round) {
        PostMessageW(Window(), WM_STARTMINIMIZED, 0, 0);
        Pump();
        EXPECT_TRUE(IsIconic(Window())) << round;
    }
    ShowWindow(Window(), SW_RESTORE);
}

// ---- channel switches ----------------------------------------------------------------------

void FillSwitches(TShmArea& area)
{
    for (std::uint8_t& on : area.ChannelOn)
        on = Untouched;
}

TEST_F(MainFrameOptions, ClickingABoxWritesOnlyItsChannelByte)
{
    for (const int channel : {0, 5, 9}) {
        SCOPED_TRACE(channel);
        const HWND box = Probe::Box(*Frame, channel);
        for (int click = 0; click < 2; ++click) {
            FillSwitches(*Area);
            SendMessageW(box, BM_CLICK, 0, 0);
            const bool checked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
            for (int n = 0; n < Shm::ChannelCount; ++n)
                EXPECT_EQ(Area->ChannelOn[n], n == channel ? (checked ? 1 : 0) : Untouched) << "byte " << n;
        }
    }
}

TEST_F(MainFrameOptions, ChannelComesFromTheCaptionsFirstCharacter)
{
    struct TCase {
        int Box;
        const wchar_t* Caption;
        int Byte;
    };
    const TCase cases[] = {{2, L"7", 7}, {0, L"3x", 3}, {4, L"X", 0}, {1, L"0", 0}};
    for (const TCase& item : cases) {
        SCOPED_TRACE(testing::Message() << "box " << item.Box);
        const HWND box = Probe::Box(*Frame, item.Box);
        const std::wstring caption = WindowText(box);
        SetWindowTextW(box, item.Caption);
        FillSwitches(*Area);
        SendMessageW(box, BM_CLICK, 0, 0);
        const bool checked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        for (int n = 0; n < Shm::ChannelCount; ++n)
            EXPECT_EQ(Area->ChannelOn[n], n == item.Byte ? (checked ? 1 : 0) : Untouched) << "byte " << n;
        SetWindowTextW(box, caption.c_str());
    }
}

TEST_F(MainFrameOptions, ProgramChangeOfABoxWritesItsByte)
{
    for (const int channel : {0, 4}) {
        SCOPED_TRACE(channel);
        Frame->SetChannelBox(channel, true);
        FillSwitches(*Area);
        Frame->SetChannelBox(channel, true); // unchanged: nothing runs
        EXPECT_EQ(Area->ChannelOn[channel], Untouched);
        Frame->SetChannelBox(channel, false);
        EXPECT_FALSE(Frame->ChannelBoxChecked(channel));
        EXPECT_EQ(Area->ChannelOn[channel], 0);
        Frame->SetChannelBox(channel, true);
        EXPECT_TRUE(Frame->ChannelBoxChecked(channel));
        EXPECT_EQ(Area->ChannelOn[channel], 1);
        for (int n = 0; n < Shm::ChannelCount; ++n) {
            if (n != channel) {
                EXPECT_EQ(Area->ChannelOn[n], Untouched) << "byte " << n;
            }
        }
    }
}

TEST_F(MainFrameOptions, WithoutAnAreaSwitchesTouchNothing)
{
    FillSwitches(*Area);
    Area->ExtendedChannels = Untouched;
    TSharedData* shared = std::exchange(Frame->SharedMem, nullptr);
    SendMessageW(Probe::Box(*Frame, 1), BM_CLICK, 0, 0);
    Frame->SetChannelBox(2, !Frame->ChannelBoxChecked(2));
    Frame->EnableExtendedChannels();
    Frame->SharedMem = shared;
    for (int n = 0; n < Shm::ChannelCount; ++n)
        EXPECT_EQ(Area->ChannelOn[n], Untouched) << "byte " << n;
    EXPECT_EQ(Area->ExtendedChannels, Untouched);
}

// ---- font dialog -----------------------------------------------------------------------------

struct TFontDialogRun {
    bool Opened = false;
    std::wstring InitialFace;
    LONG InitialHeight = 0;
    COLORREF InitialColor = 0;
    DWORD Flags = 0;
    std::wstring ChosenFace;
    bool BoldUnderlineShown = false;
};

// Chooses Tahoma, size 8, bold and underline in the real dialog, then confirms or cancels it.
void DriveFontDialog(TFontDialogRun& run, bool confirm)
{
    SetDialogInitHandler([&run, confirm](HWND dialog, LPARAM record) {
        const auto* choose = reinterpret_cast<const CHOOSEFONTW*>(record);
        run.Opened = true;
        run.InitialFace = choose->lpLogFont->lfFaceName;
        run.InitialHeight = choose->lpLogFont->lfHeight;
        run.InitialColor = choose->rgbColors;
        run.Flags = choose->Flags;
        const auto select = [dialog](int combo, const wchar_t* text) {
            const LRESULT index = SendDlgItemMessageW(dialog, combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                      reinterpret_cast<LPARAM>(text));
            SendDlgItemMessageW(dialog, combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, combo)));
        };
        select(cmb1, L"Tahoma");
        select(cmb3, L"8");
        select(cmb2, L"Bold");
        CheckDlgButton(dialog, chx2, BST_CHECKED);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chx2, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, chx2)));
        wchar_t text[LF_FACESIZE] = {};
        GetDlgItemTextW(dialog, cmb1, text, LF_FACESIZE);
        run.ChosenFace = text;
        GetDlgItemTextW(dialog, cmb2, text, LF_FACESIZE);
        run.BoldUnderlineShown = std::wstring(text) == L"Bold" && IsDlgButtonChecked(dialog, chx2) == BST_CHECKED;
        PostMessageW(dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
    });
}

TEST_F(MainFrameOptions, FontDialogOpensOnTheWindowFont)
{
    // A face every test machine has, so that the dialog can show it.
    const TFontSpec window{L"Tahoma", -MulDiv(12, ScreenDpi(), 72), static_cast<std::int32_t>(RGB(128, 0, 0))};
    Probe::SetWindowFont(*Frame, window);
    TFontDialogRun run;
    DriveFontDialog(run, false);
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(cmFont1, 0), 0);
    ASSERT_TRUE(run.Opened);
    EXPECT_EQ(run.InitialFace, window.Face);
    EXPECT_EQ(run.InitialHeight, window.Height);
    EXPECT_EQ(run.InitialColor, RGB(128, 0, 0));
    const DWORD flags = CF_SCREENFONTS | CF_EFFECTS | CF_FORCEFONTEXIST | CF_NOVECTORFONTS;
    EXPECT_EQ(run.Flags & flags, flags);
}

TEST_F(MainFrameOptions, FontDialogConfirmedTakesSizeFaceAndColourOnly)
{
    const std::string line = "A line to measure, wide enough to matter";
    Probe::MaxLine(*Frame) = line;
    Probe::WinWidth(*Frame) = 5000;
    SendMessageW(Probe::List(*Frame), LB_SETHORIZONTALEXTENT, 5000, 0);

    TFontDialogRun run;
    DriveFontDialog(run, true);
    Frame->FontDialog();
    ASSERT_TRUE(run.Opened);
    ASSERT_TRUE(run.BoldUnderlineShown);
    const int height = -MulDiv(8, ScreenDpi(), 72);

    for (const TFontSpec& spec : {Probe::ListFont(*Frame), Probe::WindowFont(*Frame)}) {
        EXPECT_EQ(spec.Face, run.ChosenFace);
        EXPECT_EQ(spec.Height, height);
        EXPECT_EQ(static_cast<COLORREF>(spec.Color), GetSysColor(COLOR_WINDOWTEXT));
    }
    const HFONT listHandle = reinterpret_cast<HFONT>(SendMessageW(Probe::List(*Frame), WM_GETFONT, 0, 0));
    for (const HFONT handle : {listHandle, Probe::WindowFontHandle(*Frame)}) {
        const LOGFONTW font = FontOf(handle);
        EXPECT_EQ(font.lfFaceName, run.ChosenFace);
        EXPECT_EQ(font.lfHeight, height);
        EXPECT_EQ(font.lfWeight, FW_NORMAL);
        EXPECT_FALSE(font.lfUnderline);
        EXPECT_FALSE(font.lfItalic);
        EXPECT_FALSE(font.lfStrikeOut);
    }

    const int expected = MeasureText(run.ChosenFace, height, std::wstring(line.begin(), line.end())) + 8;
    EXPECT_EQ(Probe::WinWidth(*Frame), expected);
    EXPECT_EQ(Frame->TextWidth(line) + 8, expected);
    WPARAM posted = 0;
    ASSERT_TRUE(PostedListExtent(Probe::List(*Frame), posted));
    EXPECT_EQ(posted, static_cast<WPARAM>(expected));
    Pump();
    EXPECT_EQ(SendMessageW(Probe::List(*Frame), LB_GETHORIZONTALEXTENT, 0, 0), expected);
}

TEST_F(MainFrameOptions, FontDialogWithEmptyMaxLineSetsWidthEight)
{
    Probe::MaxLine(*Frame).clear();
    Probe::WinWidth(*Frame) = 300;
    TFontDialogRun run;
    DriveFontDialog(run, true);
    Frame->FontDialog();
    ASSERT_TRUE(run.Opened);
    EXPECT_EQ(Probe::WinWidth(*Frame), 8);
    Pump();
    EXPECT_EQ(SendMessageW(Probe::List(*Frame), LB_GETHORIZONTALEXTENT, 0, 0), 8);
}

TEST_F(MainFrameOptions, FontDialogCancelledChangesNothing)
{
    Probe::MaxLine(*Frame) = "Some line";
    Probe::WinWidth(*Frame) = 1234;
    SendMessageW(Probe::List(*Frame), LB_SETHORIZONTALEXTENT, 1234, 0);
    const TFontSpec list = Probe::ListFont(*Frame);
    const TFontSpec window = Probe::WindowFont(*Frame);
    const LRESULT listHandle = SendMessageW(Probe::List(*Frame), WM_GETFONT, 0, 0);
    const HFONT windowHandle = Probe::WindowFontHandle(*Frame);

    TFontDialogRun run;
    DriveFontDialog(run, false);
    Frame->FontDialog();
    ASSERT_TRUE(run.Opened);
    WPARAM posted = 0;
    EXPECT_FALSE(PostedListExtent(Probe::List(*Frame), posted));
    Pump();
    EXPECT_EQ(Probe::WinWidth(*Frame), 1234);
    EXPECT_EQ(SendMessageW(Probe::List(*Frame), LB_GETHORIZONTALEXTENT, 0, 0), 1234);
    EXPECT_EQ(Probe::ListFont(*Frame).Face, list.Face);
    EXPECT_EQ(Probe::ListFont(*Frame).Height, list.Height);
    EXPECT_EQ(Probe::ListFont(*Frame).Color, list.Color);
    EXPECT_EQ(Probe::WindowFont(*Frame).Face, window.Face);
    EXPECT_EQ(Probe::WindowFont(*Frame).Height, window.Height);
    EXPECT_EQ(SendMessageW(Probe::List(*Frame), WM_GETFONT, 0, 0), listHandle);
    EXPECT_EQ(Probe::WindowFontHandle(*Frame), windowHandle);
}

TEST_F(MainFrameOptions, TextWidthMeasuresAnsiTextInTheWindowFont)
{
    EXPECT_EQ(Frame->TextWidth(""), 0);
    const std::string ansi = "Gr\xFC\xDF" "e -M- 12:00:00,000";
    const std::wstring wide = L"Gr\u00FC\u00DFe -M- 12:00:00,000";
    EXPECT_EQ(Frame->TextWidth(ansi), MeasureText(L"Courier New", -12, wide));
    EXPECT_GT(Frame->TextWidth(ansi), Frame->TextWidth("Gr"));
}

// ---- colour dialog -------------------------------------------------------------------------

struct TColorDialogRun {
    int Opened = 0;
    COLORREF Initial = 0;
    DWORD Flags = 0;
};

// Enters red, green and blue in the real dialog, then confirms or cancels it.
void DriveColorDialog(TColorDialogRun& run, COLORREF color, bool confirm)
{
    SetDialogInitHandler([&run, color, confirm](HWND dialog, LPARAM record) {
        const auto* choose = reinterpret_cast<const CHOOSECOLORW*>(record);
        ++run.Opened;
        run.Initial = choose->rgbResult;
        run.Flags = choose->Flags;
        constexpr int RedEdit = 706; // the dialog's red, green and blue fields
        SetDlgItemInt(dialog, RedEdit, GetRValue(color), FALSE);
        SetDlgItemInt(dialog, RedEdit + 1, GetGValue(color), FALSE);
        SetDlgItemInt(dialog, RedEdit + 2, GetBValue(color), FALSE);
        PostMessageW(dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
    });
}

TEST_F(MainFrameOptions, ColorDialogOpensOnItsOwnLastConfirmedColour)
{
    const COLORREF first = RGB(10, 200, 30);
    const COLORREF second = RGB(250, 5, 99);
    TColorDialogRun run;

    DriveColorDialog(run, first, true);
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(cmWindowcolor1, 0), 0);
    ASSERT_EQ(run.Opened, 1);
    EXPECT_EQ(run.Initial, RGB(0, 0, 0)); // black, not the list's grey
    const DWORD flags = CC_PREVENTFULLOPEN | CC_ANYCOLOR;
    EXPECT_EQ(run.Flags & flags, flags);
    EXPECT_EQ(Probe::ListColor(*Frame), static_cast<std::int32_t>(first));
    EXPECT_EQ(PixelOf(Probe::List(*Frame), 20, 20), first);

    DriveColorDialog(run, second, false);
    Frame->SetWinColor();
    ASSERT_EQ(run.Opened, 2);
    EXPECT_EQ(run.Initial, first);
    EXPECT_EQ(Probe::ListColor(*Frame), static_cast<std::int32_t>(first));
    EXPECT_EQ(PixelOf(Probe::List(*Frame), 20, 20), first);

    DriveColorDialog(run, second, true);
    Frame->SetWinColor();
    ASSERT_EQ(run.Opened, 3);
    EXPECT_EQ(run.Initial, first); // the cancelled run left it
    EXPECT_EQ(PixelOf(Probe::List(*Frame), 20, 20), second);
    // Only the list's background changes.
    EXPECT_EQ(PixelOf(Probe::Panel1(*Frame), 4, 12), Teal);
}

// ---- hints ---------------------------------------------------------------------------------

TEST_F(MainFrameOptions, HintsAreTheComponentsOrTheirParents)
{
    const HWND tooltips = Probe::Tooltips(*Frame);
    ASSERT_NE(tooltips, nullptr);
    std::map<HWND, std::wstring> hints;
    const auto count = static_cast<int>(SendMessageW(tooltips, TTM_GETTOOLCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        ASSERT_TRUE(SendMessageW(tooltips, TTM_ENUMTOOLSW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&tool)));
        wchar_t text[128] = {};
        tool.lpszText = text;
        SendMessageW(tooltips, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
        hints[reinterpret_cast<HWND>(tool.uId)] = text;
    }
    const HWND panel1 = Probe::Panel1(*Frame);
    std::map<HWND, std::wstring> expected = {
        {panel1, ChannelsHint},
        {Probe::Box(*Frame, 0), L"Standard output (main channel)"},
        {Probe::NoOfEdit(*Frame), L"No of lines to be stored in memory"},
        {GetDlgItem(panel1, idLabel1), ChannelsHint},
        {GetDlgItem(panel1, idBevel1), ChannelsHint},
    };
    for (int channel = 1; channel < Shm::ChannelCount; ++channel)
        expected[Probe::Box(*Frame, channel)] = ChannelsHint;
    EXPECT_EQ(hints, expected);
    EXPECT_EQ(hints.count(Probe::List(*Frame)), 0u);
    EXPECT_EQ(hints.count(Probe::PnlDisplayArea(*Frame)), 0u);
}

// ---- look ----------------------------------------------------------------------------------

// The window as it is drawn, into a .bmp beside the test exe, for a person to look at.
void SaveWindowImage(HWND window, const std::wstring& path)
{
    RECT bounds;
    GetWindowRect(window, &bounds);
    const TWindowDC source(window, TWindowDC::Whole);
    const RECT whole{0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top};
    EXPECT_TRUE(TScreenImage::Capture(source.Get(), whole).SaveBmp(path));
}

TEST_F(MainFrameOptions, ComponentsShowTheirColours)
{
    const HWND edit = Probe::NoOfEdit(*Frame);
    RECT editClient;
    GetClientRect(edit, &editClient);
    EXPECT_EQ(PixelOf(Probe::Panel1(*Frame), 4, 12), Teal);
    EXPECT_EQ(PixelOf(Probe::Box(*Frame, 0), 31, 1), Teal);
    EXPECT_EQ(PixelOf(edit, editClient.right - 1, 1), Navy);
    EXPECT_EQ(PixelOf(Probe::List(*Frame), 20, 20), Gray);

    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring image(path);
    image = image.substr(0, image.find_last_of(L"\\/") + 1) + L"MainFrameOptions.bmp";
    SaveWindowImage(Window(), image);
}

} // namespace
