// The Capture menu's capture of OutputDebugString, of the user's session and of services (the
// global objects, for administrators): switching each on and off, the channel of their
// lines, and the hand-over of what the readers' threads queued to the list.
#include "DebugMain.h"

#include <algorithm>
#include <chrono>

#include "AdministratorRights.h"
#include "CaptureLines.h"
#include "DebugOutputCapture.h"
#include "ErrorBox.h"
#include "SyslogFormat.h"
#include "SystemTick.h"
#include "WindowPost.h"

namespace {

// A batch of captured lines on the window's thread is bounded, so that input and painting
// come between batches; a timer, which waits behind both, starts the next one and runs on
// while messages keep coming. The capture posts its wake-up only to a window that found its
// queue empty. In a flood the list is drawn every 150 ms (PaintIfDue), so taking lines more often
// than CaptureTimerMs shows nothing sooner and only costs round trips to the system, which
// the writers, waiting for the buffer, share.
constexpr std::size_t CaptureBatchLines = 1000;
constexpr std::chrono::milliseconds CaptureBatchTime{50};
constexpr std::size_t CaptureChunkMessages = 64; // taken from the queue at a time
constexpr UINT_PTR CaptureTimer = 20;
constexpr UINT CaptureTimerMs = 30;
// While the capture runs, this timer looks for messages whose wake was lost (a full queue).
constexpr UINT_PTR CaptureWatchTimer = 21;
constexpr UINT CaptureWatchMs = 250;

constexpr wchar_t InUseHint[] = L" (another program reads it)";
constexpr wchar_t NeedsRightsHint[] = L" (needs administrator rights)";
constexpr wchar_t GlobalNeedsRightsMessage[] =
    L"Capturing the OutputDebugString output of services needs administrator rights. "
    L"Start Vellumtrace64 with \"Run as administrator\" to capture it.";

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
    const bool ours = message == WM_CAPTUREDATA ||
                      (message == WM_TIMER && (wParam == CaptureTimer || wParam == CaptureWatchTimer));
    if (!ours)
        return false;
    TakeCaptured();
    result = 0;
    return true;
}

void TMainFrame::CaptureMenuCommand(UINT id)
{
    if (id == cmCaptureOds)
        CaptureOnOff(OdsReader);
    else if (id == cmCaptureGlobal)
        CaptureOnOff(GlobalReader);
    else if (id >= cmCaptureChannel0 && id < cmCaptureChannel0 + Shm::ChannelCount)
        CaptureChannelClick(static_cast<int>(id - cmCaptureChannel0));
    else if (id == cmLogToFile)
        LogToFileClick();
}

void TMainFrame::CaptureOnOff(TCaptureReader& reader)
{
    if (!reader.Capture) {
        StartCapture(reader, true);
        return;
    }
    reader.Wanted = false;
    StopCapture(reader);
}

void TMainFrame::CaptureChannelClick(int channel)
{
    // Lines captured from now on; those in the list keep theirs.
    CaptureChannel = static_cast<std::uint8_t>(channel);
    ShowCaptureState();
}

void TMainFrame::StartCapture(TCaptureReader& reader, bool asked)
{
    if (reader.Global && !HasAdministratorRights()) {
        if (asked)
            ShowMessageBox(FHandle, GlobalNeedsRightsMessage, ApplicationTitle, MB_OK | MB_ICONINFORMATION);
        ShowCaptureState();
        return;
    }
    try {
        const HWND window = FHandle;
        // Posted only to a window that found the queue empty (see TakeCaptured).
        reader.Capture = std::make_unique<TDebugOutputCapture>(
            [window] { PostToWindow(window, WM_CAPTUREDATA); },
            reader.Global ? TDebugOutputScope::Global : TDebugOutputScope::Session);
        reader.Wanted = true;
        reader.InUse = false;
        SetTimer(FHandle, CaptureWatchTimer, SystemTick::TimerMs(CaptureWatchMs), nullptr);
    } catch (const EDebugOutputInUse& inUse) {
        reader.InUse = true;
        if (asked)
            ShowMessageBox(FHandle, inUse.Message(), ApplicationTitle, MB_OK | MB_ICONINFORMATION);
    }
    ShowCaptureState();
}

void TMainFrame::StopCapture(TCaptureReader& reader)
{
    if (reader.Capture) {
        reader.Capture->Stop();
        // What was taken before the switch-off still belongs in the list.
        while (reader.Capture->Waiting())
            TakeCaptured();
        reader.Capture.reset();
    }
    // The other reader's messages may still wait: the timers go on for them.
    if (!OdsReader.Capture && !GlobalReader.Capture) {
        StopCaptureTimer();
        KillTimer(FHandle, CaptureWatchTimer);
    }
    ShowCaptureState();
}

void TMainFrame::ShowCaptureState()
{
    for (const TCaptureReader* reader : {&OdsReader, &GlobalReader}) {
        SetChecked(reader->Command, reader->Capture != nullptr);
        const bool needsRights = reader->Global && !HasAdministratorRights();
        const std::wstring caption =
            std::wstring(reader->Caption) + (needsRights ? NeedsRightsHint : reader->InUse ? InUseHint : L"");
        SetMenuItemCaption(MainMenu1, reader->Command, caption.c_str());
    }
    CheckMenuRadioItem(MainMenu1, cmCaptureChannel0, cmCaptureChannel0 + Shm::ChannelCount - 1,
                       cmCaptureChannel0 + CaptureChannel, MF_BYCOMMAND);
}

std::vector<TDebugOutputMessage> TMainFrame::TakeFromReaders(std::size_t count)
{
    std::vector<TDebugOutputMessage> messages;
    for (TCaptureReader* reader : {&OdsReader, &GlobalReader}) {
        if (!reader->Capture || messages.size() >= count)
            continue;
        for (TDebugOutputMessage& message : reader->Capture->Take(count - messages.size()))
            messages.push_back(std::move(message));
    }
    return messages;
}

bool TMainFrame::ArmCaptureWakes()
{
    bool idle = true;
    for (TCaptureReader* reader : {&OdsReader, &GlobalReader})
        if (reader->Capture)
            idle = reader->Capture->ArmWake() && idle;
    return idle;
}

void TMainFrame::TakeCaptured()
{
    if (!OdsReader.Capture && !GlobalReader.Capture) {
        StopCaptureTimer();
        return;
    }
    std::vector<TDebugOutputMessage> messages = TakeFromReaders(CaptureChunkMessages);
    if (messages.empty()) {
        // Idle: a reader's next message wakes the window again. One that came meanwhile
        // keeps the timer going.
        if (ArmCaptureWakes())
            StopCaptureTimer();
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
                        parts.empty() ? std::nullopt : CapturedOrigin(parts[part], message);
                    AddLine(shownLines[part], origin ? &*origin : nullptr);
                    ++lines;
                }
            }
            if (lines >= CaptureBatchLines || std::chrono::steady_clock::now() - start >= CaptureBatchTime)
                break;
            // Every message gives at least one line.
            messages = TakeFromReaders(std::min(CaptureChunkMessages, CaptureBatchLines - lines));
            if (messages.empty())
                break;
        }
    });
    EndBatch();
    // The next batch, or the finding that nothing waits, comes behind input and painting.
    if (!CaptureTimerRuns)
        CaptureTimerRuns = SetTimer(FHandle, CaptureTimer, SystemTick::TimerMs(CaptureTimerMs), nullptr) != 0;
}

void TMainFrame::StopCaptureTimer()
{
    KillTimer(FHandle, CaptureTimer);
    CaptureTimerRuns = false;
}
