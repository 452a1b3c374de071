// The window's design: its component tree, menu bar, shortcuts, hints, fonts and colours,
// each given once as a table, and the placement of the components when the window is sized.
#include "DebugMain.h"

#include <commctrl.h>
#include <imm.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "Dpi.h"
#include "Exception.h"
#include "Panel.h"
#include "TextCodec.h"
#include "WindowPost.h"

namespace {

// Colour values: 0 or more is RGB, negative a system colour.
constexpr std::int32_t clGray = 8421504;    // RGB 128, 128, 128
constexpr std::int32_t clTeal = 8421376;    // RGB 0, 128, 128
constexpr std::int32_t clNavy = 8388608;    // RGB 0, 0, 128
constexpr std::int32_t clYellow = 65535;    // RGB 255, 255, 0
constexpr std::int32_t clWindowText = -16777208;
constexpr std::int32_t clBtnFace = -16777201;

constexpr std::int32_t EditTextColor = clYellow;
const TFontSpec DesignWindowFont{L"Courier New", -12, clWindowText};
const TFontSpec DesignPanelFont{L"MS Sans Serif", -11, clWindowText};

enum class TKind { Panel, List, CheckBox, Label, Frame, Edit };
enum class TFontRole { None, List, Panel };

// Hint nullptr: the nearest parent's hint is shown; L"": no hint at all.
struct TComponentRow {
    const wchar_t* Name;
    TKind Kind;
    int Id;
    int Parent; // 0: the window
    int Left, Top, Width, Height;
    std::int32_t Color; // background of panels, list and edit
    TBevel Bevel;
    TFontRole Font;
    const wchar_t* Caption;
    const wchar_t* Hint;
    bool Checked;
    bool Enabled;
};

constexpr wchar_t ChannelsHint[] = L"Switch debug channels on and off";

// Within a parent the rows are in tab order.
constexpr TComponentRow ComponentRows[] = {
    // Name, kind, id, parent, left, top, width, height, colour, bevel, font, caption, hint, checked, enabled
    {L"pnlDisplayArea", TKind::Panel,    idPnlDisplayArea, 0,                0,   0,  507, 530, clBtnFace, TBevel::Raised,  TFontRole::None,  L"",           nullptr, false, true},
    {L"dbDisplay",      TKind::List,     idDbDisplay,      idPnlDisplayArea, 1,   26, 505, 469, clGray,    TBevel::Raised,  TFontRole::List,  L"",           L"",     false, true},
    {L"Panel1",         TKind::Panel,    idPanel1,         idPnlDisplayArea, 1,   1,  505, 25,  clTeal,    TBevel::Lowered, TFontRole::Panel, L"",           ChannelsHint, false, true},
    {L"CheckBox1",      TKind::CheckBox, idCheckBox1 + 0,  idPanel1,         48,  4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"1",          nullptr, true,  true},
    {L"CheckBox2",      TKind::CheckBox, idCheckBox1 + 1,  idPanel1,         86,  4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"2",          nullptr, true,  true},
    {L"CheckBox3",      TKind::CheckBox, idCheckBox1 + 2,  idPanel1,         124, 4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"3",          nullptr, false, false},
    {L"CheckBox4",      TKind::CheckBox, idCheckBox1 + 3,  idPanel1,         162, 4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"4",          nullptr, false, false},
    {L"CheckBox5",      TKind::CheckBox, idCheckBox1 + 4,  idPanel1,         200, 4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"5",          nullptr, false, false},
    {L"CheckBox6",      TKind::CheckBox, idCheckBox1 + 5,  idPanel1,         238, 4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"6",          nullptr, false, false},
    {L"CheckBox7",      TKind::CheckBox, idCheckBox1 + 6,  idPanel1,         276, 4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"7",          nullptr, false, false},
    {L"CheckBox8",      TKind::CheckBox, idCheckBox1 + 7,  idPanel1,         314, 4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"8",          nullptr, false, false},
    {L"CheckBox9",      TKind::CheckBox, idCheckBox1 + 8,  idPanel1,         352, 4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"9",          nullptr, false, false},
    {L"CheckBox11",     TKind::CheckBox, idCheckBox11,     idPanel1,         8,   4,  33,  17,  0,         TBevel::Raised,  TFontRole::Panel, L"M",          L"Standard output (main channel)", true, true},
    {L"NoOfEdit",       TKind::Edit,     idNoOfEdit,       idPanel1,         454, 5,  38,  15,  clNavy,    TBevel::Raised,  TFontRole::Panel, L"32000",      L"No of lines to be stored in memory", false, true},
    {L"Label1",         TKind::Label,    idLabel1,         idPanel1,         394, 4,  57,  14,  0,         TBevel::Raised,  TFontRole::Panel, L"Max. Lines:", nullptr, false, true},
    {L"Bevel1",         TKind::Frame,    idBevel1,         idPanel1,         451, 3,  43,  18,  0,         TBevel::Lowered, TFontRole::None,  L"",           nullptr, false, true},
};

// The row's bounds in its parent at the window's dpi.
RECT ScaledBounds(const TComponentRow& row, int dpi) noexcept
{
    const int left = ScaleToDpi(row.Left, dpi);
    const int top = ScaleToDpi(row.Top, dpi);
    return RECT{left, top, left + ScaleToDpi(row.Width, dpi), top + ScaleToDpi(row.Height, dpi)};
}

// A design font (its height in pixels at 96 dpi) at the given dpi.
TFontSpec ScaledFont(TFontSpec font, int dpi)
{
    font.Height = ScaleToDpi(font.Height, dpi);
    return font;
}

const TComponentRow& Row(int id)
{
    const auto found = std::find_if(std::begin(ComponentRows), std::end(ComponentRows),
                                    [id](const TComponentRow& row) { return row.Id == id; });
    if (found == std::end(ComponentRows))
        throw Exception(L"Unknown component id.");
    return *found;
}

// The hint a component shows: its own, else its nearest parent's.
const wchar_t* EffectiveHint(const TComponentRow& row)
{
    if (row.Hint != nullptr)
        return row.Hint;
    return row.Parent == 0 ? L"" : EffectiveHint(Row(row.Parent));
}

// A shortcut as the menu stores it: key code in the low byte plus modifier flags.
constexpr WORD scShift = 0x2000;
constexpr WORD scCtrl = 0x4000;
constexpr WORD scAlt = 0x8000;
constexpr WORD ShortCutCtrlD = scCtrl | 'D'; // 16452
constexpr WORD ShortCutCtrlF = scCtrl | 'F'; // 16454

std::wstring ShortCutText(WORD shortCut)
{
    std::wstring text;
    if (shortCut & scShift)
        text += L"Shift+";
    if (shortCut & scCtrl)
        text += L"Ctrl+";
    if (shortCut & scAlt)
        text += L"Alt+";
    text += static_cast<wchar_t>(shortCut & 0xFF);
    return text;
}

ACCEL AcceleratorFor(WORD shortCut, UINT command)
{
    BYTE flags = FVIRTKEY;
    if (shortCut & scShift)
        flags |= FSHIFT;
    if (shortCut & scCtrl)
        flags |= FCONTROL;
    if (shortCut & scAlt)
        flags |= FALT;
    return ACCEL{flags, static_cast<WORD>(shortCut & 0xFF), static_cast<WORD>(command)};
}

enum class TMark { None, Unchecked, Checked, Radio, RadioChecked };

// Level 0 is the bar; a row of a deeper level belongs to the nearest row above it of the
// level before.
struct TMenuRow {
    const wchar_t* Name;
    int Level;
    const wchar_t* Caption; // nullptr: a separator
    UINT Command; // 0: opens its menu
    WORD ShortCut;
    bool ShortCutShown;
    TMark Mark;
};

constexpr TMenuRow MenuRows[] = {
    {L"Datei1",             0, L" File ",                 0,                    0,             false, TMark::None},
    {L"Print1",             1, L"Print selected lines",   cmPrint1,             0,             false, TMark::None},
    {L"Saveas1",            1, L"Save as ...",            cmSaveas1,            0,             false, TMark::None},
    {L"Exit1",              1, L"Exit",                   cmExit1,              0,             false, TMark::None},
    {L"Edit2",              0, L" Edit ",                 0,                    0,             false, TMark::None},
    {L"Edit1",              1, L"Copy selected lines ",   cmEdit1,              0,             false, TMark::None},
    {L"Deletealllines1",    1, L"Delete all lines",       cmDeletealllines1,    ShortCutCtrlD, true,  TMark::None},
    {L"Copyselectedlines1", 1, L"Delete selected lines",  cmCopyselectedlines1, 0,             false, TMark::None},
    {L"Search1",            0, L" Search ",               cmSearch1,            ShortCutCtrlF, false, TMark::None},
    {L"Window",             0, L"Options",                0,                    0,             false, TMark::RadioChecked},
    {L"AutoScrollWin",      1, L"AutoScroll",             cmAutoScrollWin,      0,             false, TMark::Unchecked},
    {L"DisplayChannel",     1, L"Display Channel Number", cmDisplayChannel,     0,             false, TMark::Checked},
    {L"DisplayDate",        1, L"Display Date",           cmDisplayDate,        0,             false, TMark::Unchecked},
    {L"DisplayTime",        1, L"Display Time",           cmDisplayTime,        0,             false, TMark::Checked},
    {L"OnTop",              1, L"On Top",                 cmOnTop,              0,             false, TMark::Unchecked},
    {L"Startminimized",     1, L"Start minimized",        cmStartminimized,     0,             false, TMark::Unchecked},
    {L"Preferences1",       0, L"Preferences",            0,                    0,             false, TMark::None},
    {L"Font1",              1, L"Font",                   cmFont1,              0,             false, TMark::None},
    {L"Windowcolor1",       1, L"Window color",           cmWindowcolor1,       0,             false, TMark::None},
    // Beyond the design: its menus above keep their items exactly.
    {L"Capture1",           0, L"Capture",                0,                    0,             false, TMark::None},
    {L"CaptureOds",         1, CaptureOdsCaption,         cmCaptureOds,         0,             false, TMark::Unchecked},
    {L"CaptureChannel",     1, L"Channel of captured lines", 0,                 0,             false, TMark::None},
    {L"CaptureChannelM",    2, L"M",                      cmCaptureChannel0,    0,             false, TMark::RadioChecked},
    {L"CaptureChannel1",    2, L"1",                      cmCaptureChannel0 + 1, 0,            false, TMark::Radio},
    {L"CaptureChannel2",    2, L"2",                      cmCaptureChannel0 + 2, 0,            false, TMark::Radio},
    {L"CaptureChannel3",    2, L"3",                      cmCaptureChannel0 + 3, 0,            false, TMark::Radio},
    {L"CaptureChannel4",    2, L"4",                      cmCaptureChannel0 + 4, 0,            false, TMark::Radio},
    {L"CaptureChannel5",    2, L"5",                      cmCaptureChannel0 + 5, 0,            false, TMark::Radio},
    {L"CaptureChannel6",    2, L"6",                      cmCaptureChannel0 + 6, 0,            false, TMark::Radio},
    {L"CaptureChannel7",    2, L"7",                      cmCaptureChannel0 + 7, 0,            false, TMark::Radio},
    {L"CaptureChannel8",    2, L"8",                      cmCaptureChannel0 + 8, 0,            false, TMark::Radio},
    {L"CaptureChannel9",    2, L"9",                      cmCaptureChannel0 + 9, 0,            false, TMark::Radio},
    {L"N1",                 1, nullptr,                   0,                    0,             false, TMark::None},
    {L"LogToFile",          1, L"Log to file...",         cmLogToFile,          0,             false, TMark::Unchecked},
    {L"Filters1",           1, L"Filters and highlights...", cmFilters,         0,             false, TMark::None},
    {L"CaptureGlobal",      1, CaptureGlobalCaption,      cmCaptureGlobal,      0,             false, TMark::Unchecked},
    {L"ReceiveSyslog",      1, L"Receive syslog...",      cmReceiveSyslog,      0,             false, TMark::Unchecked},
    {L"ForwardSyslog",      1, L"Forward to syslog...",   cmForwardSyslog,      0,             false, TMark::Unchecked},
};

bool IsRadio(TMark mark) noexcept { return mark == TMark::Radio || mark == TMark::RadioChecked; }

void AppendMenuRow(HMENU menu, const TMenuRow& row, HMENU popup)
{
    std::wstring text = row.Caption != nullptr ? row.Caption : L"";
    if (row.ShortCutShown)
        text += L'\t' + ShortCutText(row.ShortCut);
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_ID | (popup != nullptr ? MIIM_SUBMENU : 0u);
    item.fType = (row.Caption != nullptr ? MFT_STRING : MFT_SEPARATOR) | (IsRadio(row.Mark) ? MFT_RADIOCHECK : 0u);
    item.fState = (row.Mark == TMark::Checked || row.Mark == TMark::RadioChecked) ? MFS_CHECKED : MFS_UNCHECKED;
    item.wID = row.Command;
    item.hSubMenu = popup;
    item.dwTypeData = text.data();
    if (!InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &item))
        throw Exception(L"The menu cannot be built.");
}

// Appends the rows of `level` from `index` on to `menu`, each with a menu of its own when
// rows of a deeper level follow it; `index` ends at the first row of a higher level.
void AppendMenuRows(HMENU menu, std::size_t& index, int level, std::vector<ACCEL>& accelerators)
{
    const std::size_t rowCount = std::size(MenuRows);
    while (index < rowCount && MenuRows[index].Level == level) {
        const TMenuRow& row = MenuRows[index++];
        TUniqueMenu popup;
        if (index < rowCount && MenuRows[index].Level > level) {
            popup.Reset(CreatePopupMenu());
            AppendMenuRows(popup.Get(), index, level + 1, accelerators);
        }
        AppendMenuRow(menu, row, popup.Get());
        popup.Release(); // the menu owns it now
        if (row.ShortCut != 0)
            accelerators.push_back(AcceleratorFor(row.ShortCut, row.Command));
    }
}

TUniqueFont CreateDesignFont(const TFontSpec& font)
{
    // Only face and size are taken: the window's fonts have no style, and ANSI characters.
    TUniqueFont handle(CreateFontW(font.Height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, font.Face.c_str()));
    if (!handle)
        throw Exception(L"The font \"" + font.Face + L"\" cannot be created.");
    return handle;
}

HWND CreateControl(const TComponentRow& row, HWND parent, const RECT& bounds)
{
    const wchar_t* className = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE | (row.Enabled ? 0u : WS_DISABLED);
    DWORD exStyle = 0;
    switch (row.Kind) {
    case TKind::Panel:
        return CreatePanel(parent, row.Id, bounds, row.Color, row.Bevel);
    case TKind::List:
        className = L"LISTBOX";
        // Drawn by the window, which colours the highlighted lines; it keeps the strings.
        style |= WS_VSCROLL | WS_HSCROLL | LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    case TKind::CheckBox:
        className = L"BUTTON";
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
    case TKind::Label:
        className = L"STATIC";
        // SS_NOTIFY: it gets the mouse, so it can show a hint. A font whose text is a pixel
        // wider at some dpi clips the text instead of breaking it onto a hidden second line.
        style |= SS_LEFTNOWORDWRAP | SS_NOTIFY;
        break;
    case TKind::Frame:
        className = L"STATIC";
        style |= SS_ETCHEDFRAME | SS_NOTIFY;
        break;
    case TKind::Edit:
        className = L"EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
        break;
    }
    const HWND control = CreateWindowExW(exStyle, className, row.Caption, style, bounds.left, bounds.top,
                                         bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.Id)), GetModuleHandleW(nullptr),
                                         nullptr);
    if (control == nullptr)
        throw Exception(std::wstring(L"The component ") + row.Name + L" cannot be created.");
    return control;
}

// One hint window; each component with a hint of its own or of a parent is a tool.
TUniqueWindow CreateTooltips(const std::map<int, HWND>& created)
{
    TUniqueWindow tooltips(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                           GetModuleHandleW(nullptr), nullptr));
    if (!tooltips)
        throw Exception(L"The hint window cannot be created.");
    for (const TComponentRow& row : ComponentRows) {
        const wchar_t* hint = EffectiveHint(row);
        if (*hint == L'\0')
            continue;
        const HWND tool = created.at(row.Id);
        TTTOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE; // accepted by every common-controls version
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = GetParent(tool);
        info.uId = reinterpret_cast<UINT_PTR>(tool);
        info.lpszText = const_cast<wchar_t*>(hint);
        if (!SendMessageW(tooltips.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)))
            throw Exception(std::wstring(L"The hint of ") + row.Name + L" cannot be set.");
    }
    return tooltips;
}

} // namespace

void TMainFrame::CreateComponents()
{
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    ScreenDpi = WindowDpi(FHandle);

    SetWindowFont(ScaledFont(DesignWindowFont, ScreenDpi));
    ListFont = WindowFont;
    ListFontHandle = CreateDesignFont(ListFont);
    PanelFont = ScaledFont(DesignPanelFont, ScreenDpi);
    PanelFontHandle = CreateDesignFont(PanelFont);

    std::map<int, HWND> created;
    for (const TComponentRow& row : ComponentRows) {
        const HWND control =
            CreateControl(row, row.Parent == 0 ? FHandle : created.at(row.Parent), ScaledBounds(row, ScreenDpi));
        created[row.Id] = control;
        if (row.Font != TFontRole::None) {
            const HFONT font = row.Font == TFontRole::List ? ListFontHandle.Get() : PanelFontHandle.Get();
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        if (row.Checked)
            SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
    }
    pnlDisplayArea = created.at(idPnlDisplayArea);
    Panel1 = created.at(idPanel1);
    dbDisplayWnd = created.at(idDbDisplay);
    Label1 = created.at(idLabel1);
    Bevel1 = created.at(idBevel1);
    NoOfEdit = created.at(idNoOfEdit);
    ChannelBoxes[0] = created.at(idCheckBox11);
    for (int channel = 1; channel < Shm::ChannelCount; ++channel)
        ChannelBoxes[channel] = created.at(idCheckBox1 + channel - 1);

    dbDisplay.Attach(dbDisplayWnd);
    SetListLineHeight();
    if (!SetWindowSubclass(NoOfEdit, &TMainFrame::NoOfEditProc, 0, reinterpret_cast<DWORD_PTR>(this)))
        throw Exception(L"The line-limit field cannot be set up.");
    ImmAssociateContext(dbDisplayWnd, nullptr); // no input method while the list has the focus
    SetListColor(Row(idDbDisplay).Color);
    EditBrush.Reset(CreateSolidBrush(ColorToRGB(Row(idNoOfEdit).Color)));

    CreateMainMenu();
    Tooltips = CreateTooltips(created);
    LayoutComponents();
}

void TMainFrame::CreateMainMenu()
{
    TUniqueMenu bar(CreateMenu());
    std::vector<ACCEL> accelerators;
    std::size_t index = 0;
    AppendMenuRows(bar.Get(), index, 0, accelerators);
    if (!SetMenu(FHandle, bar.Get()))
        throw Exception(L"The menu bar cannot be attached to the window.");
    MainMenu1 = bar.Release();
    AcceleratorTable.Reset(CreateAcceleratorTableW(accelerators.data(), static_cast<int>(accelerators.size())));
    if (!AcceleratorTable)
        throw Exception(L"The keyboard shortcuts cannot be set up.");
}

void TMainFrame::LayoutComponents()
{
    if (pnlDisplayArea == nullptr || IsIconic(FHandle))
        return;
    RECT client;
    GetClientRect(FHandle, &client);
    MoveWindow(pnlDisplayArea, 0, 0, client.right, client.bottom, TRUE);
    // Panel1 and the list are docked to the top inside the panel's bevel, full width.
    const int bevel = ScaleToDpi(PanelBevelWidth, ScreenDpi);
    const int inner = client.right - 2 * bevel;
    const int stripHeight = ScaleToDpi(Row(idPanel1).Height, ScreenDpi);
    MoveWindow(Panel1, bevel, bevel, inner, stripHeight, TRUE);
    MoveWindow(dbDisplayWnd, bevel, bevel + stripHeight, inner, ScaleToDpi(Row(idDbDisplay).Height, ScreenDpi), TRUE);
}

void TMainFrame::ChangeDpi(int dpi, const RECT& suggested)
{
    const int previous = ScreenDpi;
    ScreenDpi = dpi;
    const auto rescaled = [&](TFontSpec font) {
        font.Height = MulDiv(font.Height, dpi, previous);
        return font;
    };
    SetWindowFont(rescaled(WindowFont));
    SetListFont(rescaled(ListFont));
    SetPanelFont(rescaled(PanelFont));
    RemeasureMaxLine();
    // The strip's components at their new size; the docked ones follow the window's new size.
    for (const TComponentRow& row : ComponentRows) {
        if (row.Parent != idPanel1)
            continue;
        const RECT bounds = ScaledBounds(row, dpi);
        MoveWindow(GetDlgItem(Panel1, row.Id), bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, TRUE);
    }
    SetWindowPos(FHandle, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutComponents();
}

bool TMainFrame::HandleLayoutMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
        return ColorControl(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), result);
    case WM_SIZE:
        LayoutComponents();
        result = 0;
        return true;
    case WM_DPICHANGED: // moved to a monitor of another dpi, or its scale changed
        ChangeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        result = 0;
        return true;
    default:
        return false;
    }
}

bool TMainFrame::ColorControl(HDC dc, HWND control, LRESULT& result)
{
    std::int32_t text = 0;
    std::int32_t back = 0;
    HBRUSH brush = nullptr;
    if (control == dbDisplayWnd) {
        text = ListFont.Color;
        back = ListColor;
        brush = ListBrush.Get();
    } else if (control == NoOfEdit) {
        text = EditTextColor;
        back = Row(idNoOfEdit).Color;
        brush = EditBrush.Get();
    } else if (Panel1 != nullptr && GetParent(control) == Panel1) {
        text = PanelFont.Color; // check boxes and label show the strip's colour
        back = Row(idPanel1).Color;
        brush = PanelBrush(Panel1);
    }
    if (brush == nullptr)
        return false;
    SetTextColor(dc, ColorToRGB(text));
    SetBkColor(dc, ColorToRGB(back));
    result = reinterpret_cast<LRESULT>(brush);
    return true;
}

void TMainFrame::SetWindowFont(const TFontSpec& font)
{
    TUniqueFont handle = CreateDesignFont(font);
    if (!MeasureDC)
        MeasureDC.Reset(CreateCompatibleDC(nullptr));
    SelectObject(MeasureDC.Get(), handle.Get());
    WindowFontHandle = std::move(handle); // the old font is deleted only once it is selected out
    WindowFont = font;
}

void TMainFrame::SetListFont(const TFontSpec& font)
{
    TUniqueFont handle = CreateDesignFont(font);
    SendMessageW(dbDisplayWnd, WM_SETFONT, reinterpret_cast<WPARAM>(handle.Get()), TRUE);
    ListFontHandle = std::move(handle); // the old font is deleted only after the list let go of it
    ListFont = font;
    SetListLineHeight();
    LayoutComponents(); // the list cuts its height to the new line height
}

void TMainFrame::SetPanelFont(const TFontSpec& font)
{
    TUniqueFont handle = CreateDesignFont(font);
    for (const TComponentRow& row : ComponentRows) {
        if (row.Font == TFontRole::Panel && row.Parent == idPanel1)
            SendMessageW(GetDlgItem(Panel1, row.Id), WM_SETFONT, reinterpret_cast<WPARAM>(handle.Get()), TRUE);
    }
    PanelFontHandle = std::move(handle); // the old font is deleted only after the controls let go of it
    PanelFont = font;
}

void TMainFrame::RemeasureMaxLine()
{
    WinWidth = TextWidth(MaxLine) + LineWidthMargin;
    PostHorizontalExtent();
}

void TMainFrame::PostHorizontalExtent()
{
    // Posted, so that it takes effect after the current handler; sent when the queue is full.
    if (!PostToWindow(dbDisplayWnd, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(WinWidth)))
        SendMessageW(dbDisplayWnd, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(WinWidth), 0);
}

void TMainFrame::SetListLineHeight()
{
    // As a list box measures its lines when it gets a font: the height of the letters.
    constexpr std::wstring_view letters = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const TWindowDC dc(dbDisplayWnd);
    const TSelectObject font(dc.Get(), ListFontHandle.Get());
    SIZE size{};
    GetTextExtentPoint32W(dc.Get(), letters.data(), static_cast<int>(letters.size()), &size);
    SendMessageW(dbDisplayWnd, LB_SETITEMHEIGHT, 0, size.cy);
}

void TMainFrame::SetListColor(std::int32_t color)
{
    TUniqueBrush brush(CreateSolidBrush(ColorToRGB(color)));
    if (!brush)
        throw Exception(L"The list colour cannot be set.");
    ListBrush = std::move(brush);
    ListColor = color;
    InvalidateRect(dbDisplayWnd, nullptr, TRUE);
}

std::int32_t TMainFrame::TextWidth(const std::string& line) const { return TextWidth(AnsiToWide(line)); }

std::int32_t TMainFrame::TextWidth(const std::wstring& line) const
{
    SIZE size{};
    GetTextExtentPoint32W(MeasureDC.Get(), line.data(), static_cast<int>(line.size()), &size);
    return size.cx;
}
