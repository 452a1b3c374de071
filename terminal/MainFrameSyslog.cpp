// The Capture menu's receive syslog: its dialog, switching the receiver on and off, and the
// hand-over of what the receiver's thread queued to the list.
#include "DebugMain.h"

#include <chrono>

#include "ErrorBox.h"
#include "SyslogFormat.h"
#include "SyslogReceiver.h"
#include "SystemTick.h"
#include "WindowPost.h"

namespace {

// As for captured lines: a batch on the window's thread is bounded, so that input and
// painting come between batches, and a timer, which waits behind both, starts the next.
constexpr std::size_t SyslogBatchLines = 1000;
constexpr std::chrono::milliseconds SyslogBatchTime{50};
constexpr std::size_t SyslogChunkLines = 256; // taken from the queue at a time
constexpr UINT_PTR SyslogTimer = 21;
constexpr UINT SyslogTimerMs = USER_TIMER_MINIMUM;
// A wake-up that could not be posted (the window's queue full) is made up for by this timer,
// which runs while the receiver does.
constexpr UINT_PTR SyslogIdleTimer = 22;
constexpr UINT SyslogIdleMs = 250;

TSyslogReceiverOptions ReceiverOptions(const TReceiveSettings& settings)
{
    return TSyslogReceiverOptions{settings.Address, static_cast<std::uint16_t>(settings.Port), settings.Udp,
                                  settings.Tcp};
}

} // namespace

bool TMainFrame::HandleSyslogMessage(UINT message, WPARAM wParam, LRESULT& result)
{
    const bool timer = message == WM_TIMER && (wParam == SyslogTimer || wParam == SyslogIdleTimer);
    if (message != WM_SYSLOGDATA && !timer)
        return false;
    TakeReceived();
    result = 0;
    return true;
}

void TMainFrame::ReceiveSyslogClick()
{
    TReceiveSettings settings = ReceiveSettings;
    if (RunReceiveDialog(FHandle, settings))
        ApplyReceiveSettings(settings, true);
}

bool TMainFrame::ApplyReceiveSettings(const TReceiveSettings& settings, bool asked)
{
    const bool wasReceiving = Receiver != nullptr;
    // The port may be the one in use now: the receiver lets it go first.
    StopReceiver();
    bool applied = false;
    try {
        if (settings.Enabled)
            StartReceiver(settings);
        ReceiveSettings = settings;
        applied = true;
    } catch (const Exception& failure) {
        if (asked)
            ShowMessageBox(FHandle, failure.Message(), ApplicationTitle, MB_OK | MB_ICONERROR);
    }
    if (!applied && wasReceiving) {
        try {
            StartReceiver(ReceiveSettings);
        } catch (const Exception&) {
            // Its port, open a moment ago, was taken meanwhile: off, as after a failed start.
        }
    }
    SetChecked(cmReceiveSyslog, Receiver != nullptr);
    return applied;
}

void TMainFrame::StartReceiver(const TReceiveSettings& settings)
{
    const HWND window = FHandle;
    // Posted only to a window that found the queue empty. A post that fails (the window's
    // queue full) is tried again with the next lines, and the idle timer takes them meanwhile.
    Receiver = std::make_unique<TSyslogReceiver>(
        ReceiverOptions(settings), [window] { return PostToWindow(window, WM_SYSLOGDATA); });
    SetTimer(FHandle, SyslogIdleTimer, SystemTick::TimerMs(SyslogIdleMs), nullptr);
}

void TMainFrame::StopReceiver()
{
    if (Receiver) {
        Receiver->Stop();
        // What was received before the switch-off still belongs in the list.
        while (Receiver->Waiting())
            TakeReceived();
        Receiver.reset();
    }
    KillTimer(FHandle, SyslogTimer);
    KillTimer(FHandle, SyslogIdleTimer);
}

void TMainFrame::TakeReceived()
{
    if (!Receiver) {
        KillTimer(FHandle, SyslogTimer);
        return;
    }
    std::vector<TReceivedLine> lines = Receiver->Take(SyslogChunkLines);
    if (lines.empty()) {
        // Idle: the receiver's next line wakes the window again.
        if (Receiver->ArmWake())
            KillTimer(FHandle, SyslogTimer);
        return;
    }

    const auto start = std::chrono::steady_clock::now();
    const TLineOptions options = LineOptions();
    const auto channel = static_cast<std::uint8_t>(ReceiveSettings.Channel);
    // A switched-off channel's lines are received and not shown.
    const bool shown = ChannelBoxChecked(channel);
    std::size_t added = 0;
    AddUnderHeldRedraw([&] {
        while (!lines.empty()) {
            for (const TReceivedLine& line : lines) {
                if (shown) {
                    const std::optional<TForwardLine> origin = ReceivedOrigin(line.Text, line.Time);
                    AddLine(FormatLine(line.Text, channel, line.Time, options), origin ? &*origin : nullptr);
                }
            }
            added += lines.size();
            if (added >= SyslogBatchLines || std::chrono::steady_clock::now() - start >= SyslogBatchTime)
                break;
            lines = Receiver->Take(std::min(SyslogChunkLines, SyslogBatchLines - added));
        }
    });
    EndBatch();
    SetTimer(FHandle, SyslogTimer, SystemTick::TimerMs(SyslogTimerMs), nullptr);
}
