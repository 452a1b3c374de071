// The option handlers of the window: channel switches, the marks of the Options menu, stay on
// top, minimizing, and the font and colour dialogs.
#include "DebugMain.h"

#include <commdlg.h>

#include <utility>

#include "DialogHook.h"
#include "Panel.h"

namespace {

constexpr int FirstExtendedChannel = 3;

constexpr DWORD FontDialogFlags = CF_SCREENFONTS | CF_EFFECTS | CF_FORCEFONTEXIST | CF_NOVECTORFONTS |
                                  CF_INITTOLOGFONTSTRUCT | CF_ENABLEHOOK;
constexpr DWORD ColorDialogFlags = CC_PREVENTFULLOPEN | CC_ANYCOLOR | CC_RGBINIT | CC_ENABLEHOOK;
constexpr std::int32_t PointsPerInch = 72;

TDialogInitHandler& DialogInitHandler()
{
    static TDialogInitHandler handler;
    return handler;
}

} // namespace

std::int32_t PointsFromHeight(std::int32_t height, int dpi) { return -MulDiv(height, PointsPerInch, dpi); }
std::int32_t HeightFromPoints(std::int32_t points, int dpi) { return -MulDiv(points, dpi, PointsPerInch); }

void SetDialogInitHandler(TDialogInitHandler handler) { DialogInitHandler() = std::move(handler); }

bool DialogInitHandlerSet() { return static_cast<bool>(DialogInitHandler()); }

UINT_PTR CALLBACK CommonDialogHook(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG && DialogInitHandler())
        DialogInitHandler()(dialog, lParam);
    return 0; // the dialog's own processing goes on
}

TShmArea* TMainFrame::ExchangeArea() const noexcept
{
    if (SharedMem == nullptr || SharedMem->DataSize() < sizeof(TShmArea))
        return nullptr;
    return static_cast<TShmArea*>(SharedMem->Data());
}

bool TMainFrame::Checked(TCommand item) const
{
    const UINT state = GetMenuState(MainMenu1, item, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

void TMainFrame::SetChecked(TCommand item, bool checked)
{
    CheckMenuItem(MainMenu1, item, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

TLineOptions TMainFrame::LineOptions() const
{
    return TLineOptions{Checked(cmDisplayChannel), Checked(cmDisplayDate), Checked(cmDisplayTime)};
}

bool TMainFrame::ChannelBoxChecked(int channel) const
{
    return SendMessageW(ChannelBoxes.at(channel), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TMainFrame::SetChannelBox(int channel, bool checked)
{
    if (ChannelBoxChecked(channel) == checked)
        return;
    const HWND box = ChannelBoxes.at(channel);
    SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    ChannelOnOff(box);
}

void TMainFrame::ChannelOnOff(HWND sender)
{
    // The channel comes from the caption, whichever box raised the event.
    wchar_t first[2] = {};
    GetWindowTextW(sender, first, 2);
    const int channel = (first[0] >= L'1' && first[0] <= L'9') ? first[0] - L'0' : 0;
    const bool checked = SendMessageW(sender, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (TShmArea* area = ExchangeArea())
        area->ChannelOn[channel] = checked ? 1 : 0;
}

void TMainFrame::ScrollOnOff()
{
    SetChecked(cmAutoScrollWin, !Checked(cmAutoScrollWin));
    AutoScroll = Checked(cmAutoScrollWin);
}

void TMainFrame::AktChannel() { SetChecked(cmDisplayChannel, !Checked(cmDisplayChannel)); }

void TMainFrame::DateAkt() { SetChecked(cmDisplayDate, !Checked(cmDisplayDate)); }

void TMainFrame::TimeAkt() { SetChecked(cmDisplayTime, !Checked(cmDisplayTime)); }

void TMainFrame::MinimizeIt() { SetChecked(cmStartminimized, !Checked(cmStartminimized)); }

void TMainFrame::OnTopClick()
{
    // The mark decides, never the window's current style.
    const bool onTop = !Checked(cmOnTop);
    ApplyOnTopStyle(onTop);
    SetChecked(cmOnTop, onTop);
}

void TMainFrame::ApplyOnTopStyle(bool onTop)
{
    SetWindowPos(FHandle, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void TMainFrame::Minimieren()
{
    if (!IsIconic(FHandle))
        ShowWindow(FHandle, SW_MINIMIZE);
}

void TMainFrame::FontDialog()
{
    // FontDialog1's own font (no style, default character set) with the window font's colour,
    // face and size.
    LOGFONTW font{};
    font.lfHeight = HeightFromPoints(PointsFromHeight(WindowFont.Height, ScreenDpi), ScreenDpi);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    WindowFont.Face.copy(font.lfFaceName, LF_FACESIZE - 1);

    CHOOSEFONTW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = FHandle;
    dialog.lpLogFont = &font;
    dialog.Flags = FontDialogFlags;
    dialog.rgbColors = ColorToRGB(WindowFont.Color);
    dialog.lpfnHook = CommonDialogHook;
    if (!ChooseFontW(&dialog))
        return;

    // Size, face and colour only: a style, effect or character set chosen is not applied.
    const TFontSpec chosen{font.lfFaceName, HeightFromPoints(PointsFromHeight(font.lfHeight, ScreenDpi), ScreenDpi),
                           static_cast<std::int32_t>(dialog.rgbColors)};
    SetListFont(chosen);
    SetWindowFont(chosen);
    RemeasureMaxLine();
}

void TMainFrame::SetWinColor()
{
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = FHandle;
    dialog.rgbResult = ColorDialogColor; // its own colour, not the list's
    dialog.lpCustColors = CustomColors.data();
    dialog.Flags = ColorDialogFlags;
    dialog.lpfnHook = CommonDialogHook;
    if (!ChooseColorW(&dialog))
        return;
    ColorDialogColor = dialog.rgbResult;
    SetListColor(static_cast<std::int32_t>(dialog.rgbResult));
}

void TMainFrame::EnableExtendedChannels()
{
    for (int channel = FirstExtendedChannel; channel < Shm::ChannelCount; ++channel)
        EnableWindow(ChannelBoxes[channel], TRUE);
    if (TShmArea* area = ExchangeArea())
        area->ExtendedChannels = 1;
}
