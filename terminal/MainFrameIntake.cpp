// The road of an entry: "DebugEntry" -> DrainEntries -> DecideEntry -> AddLine.
//
// Under a flood the window must still paint and answer the user. Posted messages come before
// keyboard and mouse input, and painting and timers come only when nothing else waits, so
// notifications are never left to pile up, a pass is bounded in entries and in time, and
// when input waits, the intake continues through a timer, behind it; the window is painted
// at a steady rate meanwhile, and the passes of one stream share one redraw suspension,
// which ends once the entries pause.
#include "DebugMain.h"

#include <functional>
#include <optional>

#include "ShmIntake.h"
#include "SyslogFormat.h"
#include "SystemTick.h"
#include "TextCodec.h"
#include "WindowPost.h"

namespace {

// A pass stops after this many entries (the time limit is TMainFrame::PassTimeMs).
constexpr std::int32_t PassBudget = 256;
// While passes follow each other, the window is painted at least this often.
constexpr ULONGLONG PaintEveryMs = 150;
// The intake's continuation: a timer, because WM_TIMER comes after input and painting.
constexpr UINT_PTR IntakeTimer = 1;
constexpr UINT UserTurnMs = USER_TIMER_MINIMUM;
// The list is drawn again once no pass has followed for this long. Resuming the list's
// redraw makes it draw its scroll bar at once, which takes milliseconds (5 ms under Wine
// here, for any number of lines), so a stream of short passes must not pay it each time.
constexpr UINT_PTR RedrawTimer = 2;
constexpr UINT RedrawPauseMs = 20;
// When a sender held the mutex too long, the pending entries are fetched again this much
// later, without waiting for the sender's next notification.
constexpr UINT BusyRetryMs = 50;
// A continuation that the timer has not delivered this long after its time (a queue flooded
// with posted messages from elsewhere) no longer holds the notifications back.
constexpr ULONGLONG OverdueMs = 500;
// A pass that a sender's notification starts looks at the queue (for notifications to drop
// and for input) at most this often; one that follows a pass cut short always does. Each
// look is a round trip to the system, as costly as half an entry.
constexpr ULONGLONG QueueLookMs = 2;
// A thread's queue holds at most this many posted messages.
constexpr int QueueQuota = 10000;

// An entry as a pass takes it: what it does to the list and, when lines are forwarded, the
// line forwarded.
struct TTakenEntry {
    TEntryAction Action;
    std::optional<TForwardLine> Origin;
};

} // namespace

LRESULT TMainFrame::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = DefWindowProcW(FHandle, message, wParam, lParam);
    if (message == DebugEntryMsg)
        DrainEntries();
    return result;
}

void TMainFrame::DrainEntries()
{
    if (ExchangeArea() == nullptr)
        return; // the area could not be opened: nothing to take, nothing to touch

    const bool inputWaiting = QueueLookDue() && LookAtQueue();
    if (ContinuationPending())
        return;
    if (inputWaiting) {
        ContinueIntakeLater(UserTurnMs);
        return;
    }
    RunIntakePass();
}

bool TMainFrame::QueueLookDue() noexcept
{
    const ULONGLONG now = GetTickCount64();
    if (!PassCutShort && now - LastQueueLook < QueueLookMs)
        return false;
    PassCutShort = false;
    LastQueueLook = now;
    return true;
}

// One GetQueueStatus tells whether anything was posted and whether input waits; true when
// input waits.
bool TMainFrame::LookAtQueue()
{
    const UINT waiting = HIWORD(GetQueueStatus(QS_INPUT | QS_POSTMESSAGE));
    // Every entry that a queued notification announces is counted by now, so this pass or
    // the continuation it leaves takes it.
    if ((waiting & QS_POSTMESSAGE) != 0)
        DiscardQueuedNotifications();
    return (waiting & QS_INPUT) != 0;
}

void TMainFrame::RunIntakePass()
{
    CancelContinuation();
    const TLineOptions options = LineOptions();
    std::optional<TDrainResult> result;
    try {
        // The list's redraw is suspended with the first line: a pass that finds nothing
        // pending leaves the list alone.
        result = DrainPending(
            *ExchangeArea(), HMutex.Get(), FHandle, Order,
            [this, options](const TSlotEntry& entry) {
                return TTakenEntry{DecideEntry(entry, options), EntryOrigin(entry)};
            },
            [this](const TTakenEntry& taken) {
                HoldRedraw();
                DeliverEntry(taken.Action, taken.Origin ? &*taken.Origin : nullptr);
            },
            PassBudget, GetTickCount64() + PassTimeMs);
    } catch (...) {
        ReleaseRedraw();
        throw;
    }
    if (!result) {
        ContinueIntakeLater(BusyRetryMs);
        return;
    }
    // Nothing taken: taken by an earlier pass, a broken count, a later terminal took over, or
    // the sender that got the mutex after the count kept it.
    if (result->Taken > 0) {
        // Senders waiting for room in a full ring go on now, not at their next look.
        if (RoomEvent)
            SetEvent(RoomEvent.Get());
        ShowLastLineWhenScrolling();
        // The passes of a stream share one redraw suspension: suspending and resuming costs
        // milliseconds, far more than a few entries.
        EndBatch();
    }
    if (result->Stop == TDrainStop::Budget) {
        // The next pass lets waiting input go first; behind it, through the timer, when the
        // queue takes no more.
        if (PostToWindow(FHandle, DebugEntryMsg))
            PassCutShort = true;
        else
            ContinueIntakeLater(UserTurnMs);
    }
    else if (result->Stop == TDrainStop::Busy)
        ContinueIntakeLater(BusyRetryMs);
}

void TMainFrame::DeliverEntry(const TEntryAction& action, const TForwardLine* origin)
{
    if (action.Kind == TEntryAction::TKind::Clear) {
        dbDisplay.Clear();
        LogListCleared();
    } else {
        AddLine(action.Line, origin);
    }
}

void TMainFrame::DiscardQueuedNotifications()
{
    // Posted messages only: a sent one would be handled in the middle of this handler.
    constexpr UINT take = PM_REMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE;
    MSG queued;
    for (int taken = 0; taken < QueueQuota && PeekMessageW(&queued, FHandle, DebugEntryMsg, DebugEntryMsg, take); ++taken) {
        if (PutBackQuit(queued))
            return; // the window was closed meanwhile
    }
}

// Runs add() with the list's redraw suspended (the suspension may already be held, and goes
// on after it). A failure ends the suspension at once.
void TMainFrame::AddUnderHeldRedraw(const std::function<void()>& add)
{
    HoldRedraw();
    try {
        add();
    } catch (...) {
        ReleaseRedraw();
        throw;
    }
    ShowLastLineWhenScrolling();
}

void TMainFrame::ShowLastLineWhenScrolling()
{
    const int count = dbDisplay.Count();
    if (AutoScroll && count - 1 > 0)
        dbDisplay.SetTopIndex(count - 1);
}

void TMainFrame::HoldRedraw()
{
    if (!RedrawHeld)
        dbDisplay.SuspendRedraw();
    RedrawHeld = true;
}

void TMainFrame::ReleaseRedraw()
{
    if (RedrawReleaseDue) {
        KillTimer(FHandle, RedrawTimer);
        RedrawReleaseDue = false;
    }
    if (RedrawHeld)
        dbDisplay.ResumeRedraw();
    RedrawHeld = false;
}

// The suspension lasts while passes and batches follow each other, closely or through a queue
// that never empties (WM_TIMER waits for an empty one); PaintIfDue draws the window
// meanwhile. Setting a timer is a round trip to the system, so one timer serves many passes:
// when it comes, it looks when the last one ended.
void TMainFrame::ReleaseRedrawAfterPause()
{
    if (!RedrawHeld)
        return;
    LastHeldPassEnd = GetTickCount64();
    if (RedrawReleaseDue)
        return;
    SetTimer(FHandle, RedrawTimer, SystemTick::TimerMs(RedrawPauseMs), nullptr);
    RedrawReleaseDue = true;
}

void TMainFrame::EndBatch()
{
    ReleaseRedrawAfterPause();
    PaintIfDue();
    CatchUpOnLog();
}

void TMainFrame::RedrawPauseTimer()
{
    // Captured messages that keep the capture's timer going are a stream as well, whose
    // batches come further apart than the pause.
    const ULONGLONG quiet = GetTickCount64() - LastHeldPassEnd;
    if (quiet < RedrawPauseMs)
        SetTimer(FHandle, RedrawTimer, SystemTick::TimerMs(static_cast<UINT>(RedrawPauseMs - quiet)), nullptr);
    else if (CaptureTimerRuns)
        SetTimer(FHandle, RedrawTimer, SystemTick::TimerMs(RedrawPauseMs), nullptr);
    else
        ReleaseRedraw();
}

// While notifications keep the queue busy, WM_PAINT never comes: paint here, now and then.
void TMainFrame::PaintIfDue()
{
    const ULONGLONG now = GetTickCount64();
    if (now - LastPaint < PaintEveryMs)
        return;
    LastPaint = now;
    ReleaseRedraw();
    RedrawWindow(FHandle, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TMainFrame::ContinueIntakeLater(UINT delayMs)
{
    ReleaseRedraw(); // the list is drawn and answers the mouse while the intake waits
    SetTimer(FHandle, IntakeTimer, SystemTick::TimerMs(delayMs), nullptr);
    ContinuationDue = GetTickCount64() + delayMs;
}

bool TMainFrame::ContinuationPending() const noexcept
{
    return ContinuationDue != 0 && GetTickCount64() < ContinuationDue + OverdueMs;
}

void TMainFrame::CancelContinuation()
{
    if (ContinuationDue == 0)
        return;
    KillTimer(FHandle, IntakeTimer);
    ContinuationDue = 0;
}

bool TMainFrame::HandleIntakeTimer(WPARAM timer)
{
    if (timer == RedrawTimer) {
        RedrawPauseTimer();
        return true;
    }
    if (timer != IntakeTimer)
        return false;
    CancelContinuation();
    if (ExchangeArea() != nullptr)
        RunIntakePass();
    return true;
}

void TMainFrame::AddLine(const std::string& line, const TForwardLine* origin)
{
    const std::wstring wide = AnsiToWide(line);
    // The include and exclude rules decide here: what must see every line comes before this,
    // and a line kept out neither grows the list nor starts a trim.
    if (!Filters.Admits(wide))
        return;

    // At the limit plus the overhead, and beyond it when the request could not be posted (a
    // full queue): the list never grows past the limit for good.
    const int count = dbDisplay.Count();
    const std::int64_t threshold = static_cast<std::int64_t>(DisplayLines) + Overhead;
    if (count < threshold)
        TrimQueued = false; // below it, a request still queued finds nothing to do
    else if (!TrimQueued)
        TrimQueued = PostToWindow(MainFrame != nullptr ? MainFrame->Handle() : FHandle, WM_DELETEOVERHEAD);

    if (!dbDisplay.Append(wide)) {
        dbDisplay.DeleteFirst();
        dbDisplay.DeleteFirst();
        if (!dbDisplay.Append(wide))
            throw Exception(L"The list refused a line twice; it was not added");
    }
    LogLine(wide);
    if (origin != nullptr)
        ForwardLine(*origin);

    const std::int32_t width = TextWidth(wide) + LineWidthMargin;
    if (width > WinWidth) {
        WinWidth = width;
        MaxLine = line;
        PostHorizontalExtent();
    }
}

void TMainFrame::ComputeOverhead() { Overhead = OverheadFor(DisplayLines); }
