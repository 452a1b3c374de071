// The road of an entry: "DebugEntry" -> DrainEntries -> DecideEntry -> AddLine.
#include "DebugMain.h"

#include <optional>

#include "ShmIntake.h"
#include "TextCodec.h"

namespace {

// Entries one pass takes at most (four rings' worth) before it lets other messages in; the
// rest is taken by the pass that a DebugEntry posted to ourselves starts.
constexpr std::int32_t PassBudget = 256;
// When a sender held the mutex too long, the pending entries are fetched again this much
// later, without waiting for the sender's next notification.
constexpr UINT_PTR IntakeRetryTimer = 1;
constexpr UINT IntakeRetryMs = 50;

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
    TShmArea* area = ExchangeArea();
    if (area == nullptr)
        return; // the area could not be opened: nothing to take, nothing to touch

    // A trim requested by an earlier pass runs before this one appends: under a flood the
    // request would otherwise wait behind every notification queued before it while the
    // list keeps growing.
    MSG trimRequest;
    constexpr UINT takeRequest = PM_REMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE; // sent messages wait
    const bool trimRequested = PeekMessageW(&trimRequest, FHandle, WM_DELETEOVERHEAD, WM_DELETEOVERHEAD, takeRequest) != 0;

    const std::optional<std::int32_t> pending = ReadPendingCount(*area, HMutex.Get(), FHandle);
    const bool taking = pending && *pending > 0;
    // The trim and the pass share one redraw suspension, and so one repaint.
    std::optional<TRedrawSuspension> suspension;
    if (taking)
        suspension.emplace(dbDisplay);
    if (trimRequested)
        OverheadLoeschen();
    if (!pending) {
        RetryIntakeLater();
        return;
    }
    if (!taking)
        return; // taken by an earlier pass, a broken count, or a later terminal took over

    const TLineOptions options = LineOptions();
    const TDrainResult result = DrainRing(
        *area, HMutex.Get(), Order,
        [options](const TSlotEntry& entry) { return DecideEntry(entry, options); },
        [this](TEntryAction action) { DeliverEntry(action); }, PassBudget);
    if (result.Stop == TDrainStop::Budget)
        PostMessageW(FHandle, DebugEntryMsg, 0, 0);
    else if (result.Stop == TDrainStop::Busy)
        RetryIntakeLater();

    const int count = dbDisplay.Count();
    if (AutoScroll && count - 1 > 0)
        dbDisplay.SetTopIndex(count - 1);
}

void TMainFrame::DeliverEntry(const TEntryAction& action)
{
    if (action.Kind == TEntryAction::TKind::Clear) {
        dbDisplay.Clear();
        LogListCleared();
    } else {
        AddLine(action.Line);
    }
}

void TMainFrame::RetryIntakeLater() { SetTimer(FHandle, IntakeRetryTimer, IntakeRetryMs, nullptr); }

bool TMainFrame::HandleIntakeTimer(WPARAM timer)
{
    if (timer != IntakeRetryTimer)
        return false;
    KillTimer(FHandle, IntakeRetryTimer);
    DrainEntries();
    return true;
}

void TMainFrame::AddLine(const std::string& line)
{
    const int count = dbDisplay.Count();
    if (count == static_cast<std::int64_t>(DisplayLines) + Overhead)
        PostMessageW(MainFrame != nullptr ? MainFrame->Handle() : FHandle, WM_DELETEOVERHEAD, 0, 0);

    const std::wstring wide = AnsiToWide(line);
    if (!dbDisplay.Append(wide)) {
        dbDisplay.DeleteFirst();
        dbDisplay.DeleteFirst();
        if (!dbDisplay.Append(wide))
            throw Exception(L"The list refused a line twice; it was not added");
    }
    LogLine(wide);

    const std::int32_t width = TextWidth(line) + LineWidthMargin;
    if (width > WinWidth) {
        WinWidth = width;
        MaxLine = line;
        PostMessageW(dbDisplay.Window(), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(WinWidth), 0);
    }
}

void TMainFrame::ComputeOverhead() { Overhead = OverheadFor(DisplayLines); }
