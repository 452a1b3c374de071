// The settings file and the window: LoadSettings applies what the file holds, SaveSettings
// writes what the window shows. Reading and writing the file itself is Settings.h's.
#include "DebugMain.h"

#include <functional>
#include <string>

#include "ErrorBox.h"
#include "Dpi.h"
#include "Settings.h"
#include "WindowPlacement.h"
#include "WindowPost.h"

namespace {

// A change of font made to the window's font and then to the list's, which always agree.
using TFontChange = std::function<void(TFontSpec&)>;

} // namespace

void TMainFrame::LoadSettings()
{
    const TIniFile file(IniFileName);
    const TSettings settings = LoadSettingsFile(file, ScreenDpi);

    // The stored bounds are the window's pixels; only the defaults of a missing key scale with
    // the dpi.
    PlaceWindow(RECT{settings.Left, settings.Top, settings.Left + settings.Width, settings.Top + settings.Height});

    TShmArea* area = ExchangeArea();
    for (int channel = 0; channel < Shm::ChannelCount; ++channel) {
        SetChannelBox(channel, settings.Channel[channel]);
        // Also when the box already had that state and no click event ran.
        if (area != nullptr)
            area->ChannelOn[channel] = ChannelBoxChecked(channel) ? 1 : 0;
    }

    const auto changeFonts = [this](const TFontChange& change) {
        TFontSpec window = WindowFont;
        change(window);
        SetWindowFont(window);
        TFontSpec list = ListFont;
        change(list);
        SetListFont(list);
    };
    if (!settings.FontName.empty())
        changeFonts([&](TFontSpec& font) { font.Face = settings.FontName; });
    if (settings.FontSize > 0)
        changeFonts([&](TFontSpec& font) { font.Height = HeightFromPoints(settings.FontSize, ScreenDpi); });
    if (settings.FontColor != KeepColour)
        changeFonts([&](TFontSpec& font) { font.Color = settings.FontColor; });
    if (settings.WindowColor != KeepColour)
        SetListColor(settings.WindowColor);

    DisplayLines = settings.DisplayLines;
    ComputeOverhead();
    SetWindowTextW(NoOfEdit, std::to_wstring(DisplayLines).c_str());

    AutoScroll = settings.Scroll;
    SetChecked(cmAutoScrollWin, AutoScroll);
    SetChecked(cmOnTop, settings.OnTop);
    ApplyOnTopStyle(settings.OnTop);
    SetChecked(cmDisplayDate, settings.Date);
    SetChecked(cmDisplayTime, settings.Time);
    SetChecked(cmStartminimized, settings.StartMini);
    LoadFilterSettings(file);

    // Minimized once the window has been shown and the message loop runs.
    if (Checked(cmStartminimized))
        PostToWindow(FHandle, WM_STARTMINIMIZED); // a new window's queue is empty

    LoadCaptureMenuSettings(settings);
}

void TMainFrame::LoadCaptureMenuSettings(const TSettings& settings)
{
    CaptureChannel = static_cast<std::uint8_t>(settings.CaptureChannel);
    OdsReader.Wanted = settings.CaptureOds;
    GlobalReader.Wanted = settings.CaptureGlobal;
    LogFileName = settings.LogFile;
    LogMaxMb = settings.LogMaxMb;
    LogKeep = settings.LogKeep;
    // What cannot start shows its own error box; the rest of the start goes on.
    for (TCaptureReader* reader : {&OdsReader, &GlobalReader}) {
        RunHandler(FHandle, [this, reader] {
            if (reader->Wanted)
                StartCapture(*reader, false); // shows the state, whether it started or not
            else
                ShowCaptureState();
        });
    }
    RunHandler(FHandle, [this, enabled = settings.LogEnabled] {
        if (enabled && !LogFileName.empty())
            StartLog();
    });
    LoadSyslogSettings(settings);
}

void TMainFrame::LoadSyslogSettings(const TSettings& settings)
{
    const TReceiveSettings receive{settings.SyslogReceive, settings.SyslogAddress, settings.SyslogPort,
                                   settings.SyslogUdp,     settings.SyslogTcp,     settings.SyslogChannel};
    // A port that cannot be opened at start-up leaves the receiver off without a box, and
    // still wanted, as stored; the dialog's OK tells why when it still cannot be opened.
    if (!ApplyReceiveSettings(receive, false))
        ReceiveSettings = receive;
    RunHandler(FHandle, [&] {
        ApplyForwardSettings(TForwardSettings{settings.ForwardEnabled, settings.ForwardHost, settings.ForwardPort,
                                              settings.ForwardProtocol != ForwardOverUdp, settings.ForwardRelay});
    });
}

void TMainFrame::SaveSettings()
{
    // FormCreate failed before it knew the path: there is no file to write.
    if (IniFileName.empty())
        return;

    // Taken before the file is touched.
    const POINT desktopOrigin{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN)};
    const TWindowBounds bounds = BoundsForSaving(BoundsToSave(), desktopOrigin, GetSystemMetrics(SM_CXSCREEN),
                                                 GetSystemMetrics(SM_CYSCREEN));

    TSettings settings;
    settings.Left = bounds.Left;
    settings.Top = bounds.Top;
    settings.Width = bounds.Width;
    settings.Height = bounds.Height;
    settings.Scroll = Checked(cmAutoScrollWin);
    settings.OnTop = Checked(cmOnTop);
    settings.Date = Checked(cmDisplayDate);
    settings.Time = Checked(cmDisplayTime);
    settings.StartMini = Checked(cmStartminimized);
    for (int channel = 0; channel < Shm::ChannelCount; ++channel)
        settings.Channel[channel] = ChannelBoxChecked(channel); // the boxes: the area is closed by now
    settings.FontName = WindowFont.Face;
    settings.FontSize = PointsFromHeight(WindowFont.Height, ScreenDpi);
    settings.FontColor = WindowFont.Color;
    settings.WindowColor = ListColor;
    settings.DisplayLines = DisplayLines;
    settings.CaptureOds = OdsReader.Wanted;
    settings.CaptureGlobal = GlobalReader.Wanted;
    settings.CaptureChannel = CaptureChannel;
    settings.LogEnabled = Log != nullptr;
    settings.LogFile = LogFileName;
    settings.LogMaxMb = LogMaxMb;
    settings.LogKeep = LogKeep;
    settings.SyslogReceive = ReceiveSettings.Enabled;
    settings.SyslogAddress = ReceiveSettings.Address;
    settings.SyslogPort = ReceiveSettings.Port;
    settings.SyslogUdp = ReceiveSettings.Udp;
    settings.SyslogTcp = ReceiveSettings.Tcp;
    settings.SyslogChannel = ReceiveSettings.Channel;
    settings.ForwardEnabled = ForwardSettings.Enabled;
    settings.ForwardHost = ForwardSettings.Host;
    settings.ForwardPort = ForwardSettings.Port;
    settings.ForwardProtocol = ForwardSettings.Tcp ? ForwardOverTcp : ForwardOverUdp;
    settings.ForwardRelay = ForwardSettings.Relay;

    TIniFile file(IniFileName);
    SaveSettingsFile(file, settings);
    SaveFilterSettings(file);
}

void TMainFrame::PlaceWindow(const RECT& stored)
{
    // A monitor that is gone, or bounds far off the desktop: onto the nearest monitor.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const RECT bounds = GetMonitorInfoW(MonitorFromRect(&stored, MONITOR_DEFAULTTONEAREST), &monitor)
                            ? BroughtIntoView(stored, monitor.rcWork, ScaleToDpi(MinVisiblePixels, ScreenDpi))
                            : stored;
    const auto place = [&] {
        SetWindowPos(FHandle, nullptr, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    };
    const int dpi = ScreenDpi;
    place();
    // Landing on a monitor of another dpi scaled the window to the size that dpi suggests; the
    // stored size is what the user left, so it is set again, now on that monitor.
    if (ScreenDpi != dpi)
        place();
}

RECT TMainFrame::BoundsToSave() const
{
    RECT bounds{};
    if (!IsIconic(FHandle)) {
        GetWindowRect(FHandle, &bounds); // maximized: the maximized bounds
        return bounds;
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(FHandle, &placement);
    bounds = placement.rcNormalPosition;
    // The restored position is in work-area coordinates: a task bar at the left or top shifts it.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromRect(&bounds, MONITOR_DEFAULTTOPRIMARY), &monitor))
        OffsetRect(&bounds, monitor.rcWork.left - monitor.rcMonitor.left, monitor.rcWork.top - monitor.rcMonitor.top);
    return bounds;
}
