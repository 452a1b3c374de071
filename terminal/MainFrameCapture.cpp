// The Capture menu's capture of OutputDebugString: switching it on and off, the channel of
// its lines, and the hand-over of what the capture's thread queued to the list.
#include "DebugMain.h"

#include <algorithm>
#include <chrono>

#include "CaptureLines.h"
#include "DebugOutputCapture.h"
#include "ErrorBox.h"
#include "SyslogFormat.h"

namespace {

// A batch of captured lines on the window's thread is bounded, so that input and painting
// come between batches; a timer, which waits behind both, starts the next one. The capture
// posts its wake-up only to a window that found its queue empty.
constexpr std::size_t CaptureBatchLines = 1000;
constexpr std::chrono::milliseconds CaptureBatchTime{50};
constexpr std::size_t CaptureChunkMessages = 64; // taken from the queue at a time
constexpr UINT_PTR CaptureTimer = 20;
constexpr UINT CaptureTimerMs = USER_TIMER_MINIMUM;

constexpr wchar_t CaptureInUseCaption[] = L"Capture OutputDebugString (another program reads it)";

void SetMenuItemCaption(HMENU menu, UINT command, const wchar_t* caption)
{
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = const_cast<wchar_t*>(caption);
    SetMenuItemInfoW(menu, command, FALSE, &item);
}

} // namespace

bool TMainFrame::HandleCaptureMessage(UINT message, WPARAM wParam, LRESULT& result)
{
    const bool ours = message == WM_CAPTUREDATA || (message == WM_TIMER && wParam == CaptureTimer);
    if (!ours)
        return false;
    TakeCaptured();
    result = 0;
    return true;
}

void TMainFrame::CaptureMenuCommand(UINT id)
{
    if (id == cmCaptureOds)
        CaptureOnOff();
    else if (id >= cmCaptureChannel0 && id < cmCaptureChannel0 + Shm::ChannelCount)
        CaptureChannelClick(static_cast<int>(id - cmCaptureChannel0));
    else if (id == cmLogToFile)
        LogToFileClick();
}

void TMainFrame::CaptureOnOff()
{
    if (!Capture) {
        StartCapture(true);
        return;
    }
    CaptureWanted = false;
    StopCapture();
}

void TMainFrame::CaptureChannelClick(int channel)
{
    // Lines captured from now on; those in the list keep theirs.
    CaptureChannel = static_cast<std::uint8_t>(channel);
    ShowCaptureState();
}

void TMainFrame::StartCapture(bool asked)
{
    try {
        const HWND window = FHandle;
        // Posted only to a window that found the queue empty (see TakeCaptured).
        Capture = std::make_unique<TDebugOutputCapture>([window] { PostMessageW(window, WM_CAPTUREDATA, 0, 0); });
        CaptureWanted = true;
        CaptureInUse = false;
    } catch (const EDebugOutputInUse& inUse) {
        CaptureInUse = true;
        if (asked)
            ShowMessageBox(FHandle, inUse.Message(), ApplicationTitle, MB_OK | MB_ICONINFORMATION);
    }
    ShowCaptureState();
}

void TMainFrame::StopCapture()
{
    if (Capture) {
        Capture->Stop();
        // What was taken before the switch-off still belongs in the list.
        while (Capture->Waiting())
            TakeCaptured();
        Capture.reset();
    }
    KillTimer(FHandle, CaptureTimer);
    ShowCaptureState();
}

void TMainFrame::ShowCaptureState()
{
    SetChecked(cmCaptureOds, Capture != nullptr);
    SetMenuItemCaption(MainMenu1, cmCaptureOds, CaptureInUse ? CaptureInUseCaption : CaptureOdsCaption);
    CheckMenuRadioItem(MainMenu1, cmCaptureChannel0, cmCaptureChannel0 + Shm::ChannelCount - 1,
                       cmCaptureChannel0 + CaptureChannel, MF_BYCOMMAND);
}

void TMainFrame::TakeCaptured()
{
    if (!Capture) {
        KillTimer(FHandle, CaptureTimer);
        return;
    }
    std::vector<TDebugOutputMessage> messages = Capture->Take(CaptureChunkMessages);
    if (messages.empty()) {
        // Idle: the capture's next message wakes the window again. One that came meanwhile
        // keeps the timer going.
        if (Capture->ArmWake())
            KillTimer(FHandle, CaptureTimer);
        return;
    }

    const auto start = std::chrono::steady_clock::now();
    const TLineOptions options = LineOptions();
    // The channel's switch applies as to entries of the area: a switched-off channel's
    // messages are taken from the buffer and not shown.
    const bool shown = ChannelBoxChecked(CaptureChannel);
    std::size_t lines = 0;
    // Batches share the intake's redraw suspension, as its passes do.
    AddUnderHeldRedraw([&] {
        for (;;) {
            if (!shown)
                messages.clear();
            for (const TDebugOutputMessage& message : messages) {
                const std::vector<std::string> shownLines = CapturedLines(message, CaptureChannel, options);
                // The shown lines are the message's parts with their prefixes, in order; the
                // parts are forwarded, when lines are.
                const std::vector<std::string_view> parts =
                    Forwarder ? MessageLines(message.Text) : std::vector<std::string_view>();
                for (std::size_t part = 0; part < shownLines.size(); ++part) {
                    const std::optional<TForwardLine> origin =
                        parts.empty() ? std::nullopt : CapturedOrigin(parts[part], message.ProcessId, message.Time);
                    AddLine(shownLines[part], origin ? &*origin : nullptr);
                    ++lines;
                }
            }
            if (lines >= CaptureBatchLines || std::chrono::steady_clock::now() - start >= CaptureBatchTime)
                break;
            // Every message gives at least one line.
            messages = Capture->Take(std::min(CaptureChunkMessages, CaptureBatchLines - lines));
            if (messages.empty())
                break;
        }
    });
    ReleaseRedrawAfterPause();
    PaintIfDue();
    // The next batch, or the finding that nothing waits, comes behind input and painting.
    SetTimer(FHandle, CaptureTimer, CaptureTimerMs, nullptr);
}
