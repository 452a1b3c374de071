// The Capture menu's forward to syslog: its dialog, switching the forwarder on and off, the
// lines that every source hands to it, and the line that reports lines dropped while the
// collector was away.
#include "DebugMain.h"

#include "DebugOutputBuffer.h"
#include "LineFormat.h"
#include "ShmIntake.h"
#include "SyslogForwarder.h"
#include "WindowPost.h"

namespace {

TForwardOptions ForwarderOptions(const TForwardSettings& settings)
{
    return TForwardOptions{settings.Host, static_cast<std::uint16_t>(settings.Port), settings.Tcp};
}

SYSTEMTIME Now()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return now;
}

} // namespace

bool TMainFrame::HandleForwardMessage(UINT message, LRESULT& result)
{
    if (message != WM_FORWARDGAP)
        return false;
    ShowForwardGaps();
    result = 0;
    return true;
}

void TMainFrame::ForwardSyslogClick()
{
    TForwardSettings settings = ForwardSettings;
    if (RunForwardDialog(FHandle, settings))
        ApplyForwardSettings(settings);
}

void TMainFrame::ApplyForwardSettings(const TForwardSettings& settings)
{
    // Lines that wait for a collector given up are given up with it.
    Forwarder.reset();
    ForwardSettings = settings;
    if (settings.Enabled && !settings.Host.empty()) {
        const HWND window = FHandle;
        // A report whose wake-up cannot be posted is shown with the next one.
        Forwarder = std::make_unique<TSyslogForwarder>(
            ForwarderOptions(settings), [window] { return PostToWindow(window, WM_FORWARDGAP); });
    }
    SetChecked(cmForwardSyslog, Forwarder != nullptr);
}

std::optional<TForwardLine> TMainFrame::EntryOrigin(const TSlotEntry& entry) const
{
    if (!Forwarder)
        return std::nullopt;
    return OwnOrigin(entry.Text, entry.Channel, StampToSystemTime(entry.Time).value_or(Now()));
}

std::optional<TForwardLine> TMainFrame::CapturedOrigin(std::string_view part, const TDebugOutputMessage& message) const
{
    std::optional<TForwardLine> line = OwnOrigin(part, CaptureChannel, message.Time);
    if (line) {
        // The capture named the process when it took the message; an id reused since cannot
        // give it another name.
        line->ProcessId = message.ProcessId;
        line->App = message.ProcessName;
    }
    return line;
}

std::optional<TForwardLine> TMainFrame::ReceivedOrigin(std::string_view text, const SYSTEMTIME& time) const
{
    // Two terminals that forward to each other must not send lines round for ever.
    if (!ForwardSettings.Relay)
        return std::nullopt;
    return OwnOrigin(text, static_cast<std::uint8_t>(ReceiveSettings.Channel), time);
}

std::optional<TForwardLine> TMainFrame::OwnOrigin(std::string_view text, std::uint8_t channel,
                                                  const SYSTEMTIME& time) const
{
    if (!Forwarder)
        return std::nullopt;
    TForwardLine line;
    line.Text = text;
    line.Channel = channel;
    line.Time = time;
    return line;
}

void TMainFrame::ForwardLine(const TForwardLine& line)
{
    if (Forwarder)
        Forwarder->Queue(line);
}

void TMainFrame::ShowForwardGaps()
{
    if (!Forwarder)
        return;
    const TLineOptions options = LineOptions();
    for (const TForwardGap& gap : Forwarder->TakeGaps()) {
        const std::string text = ForwardGapText(gap);
        const SYSTEMTIME now = Now();
        const std::optional<TForwardLine> origin = OwnOrigin(text, 0, now);
        AddLine(FormatLine(text, 0, now, options), origin ? &*origin : nullptr);
    }
}
