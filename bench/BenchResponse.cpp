#include "BenchResponse.h"

#include <functional>

#include "BenchKeys.h"
#include "BenchScreen.h"
#include "Exception.h"

namespace Bench {

namespace {

constexpr int PrefillLines = 100;      // more than the list shows: before a press the screen never shows an empty list
constexpr double PressGapMs = 250;     // from the answer to one press to the next press
constexpr DWORD PressPollMs = 5;
constexpr DWORD ScreenLimitMs = 10000;
constexpr double ScreenStillMs = 500;

double PerSecond(int count, double seconds) { return seconds > 0 ? count / seconds : 0; }

// Presses Ctrl+D, waits until the list's count is below what it was at the press, then until
// the screen changed after the last look at the count that still found it high (the clear
// came after that look). `meanwhile` runs before each look at the count.
TPressResult Press(const TTerminalView& view, const TScreenWatch& screen, const std::function<void()>& meanwhile = {})
{
    BringToForeground(view.Window());
    const int before = view.Count();
    const std::int64_t pressed = NowTicks();
    SendCtrlD();
    const ULONGLONG deadline = GetTickCount64() + PressLimitMs;

    TPressResult result;
    std::int64_t lastHigh = pressed;
    while (!result.Cleared && GetTickCount64() < deadline) {
        if (meanwhile)
            meanwhile();
        const std::int64_t asked = NowTicks();
        if (view.Count() < before) {
            result.Cleared = true;
            result.ClearedTicks = NowTicks();
            result.ClearMs = TicksToMs(result.ClearedTicks - pressed);
        } else {
            lastHigh = asked;
            Sleep(PressPollMs);
        }
    }
    while (result.Cleared && !result.ScreenMs && GetTickCount64() < deadline) {
        if (const std::optional<std::int64_t> shown = screen.FirstChangeAfter(lastHigh))
            result.ScreenMs = TicksToMs(*shown - pressed);
        else
            Sleep(PressPollMs);
    }
    return result;
}

// More lines than the list shows, drawn on the screen, which then stays still for a moment
// (a repaint left over would count as an update of the flood); and the check that the
// terminal scrolls automatically, so that a flood keeps changing what it shows.
void Prefill(TBenchDriver& driver, const TChildProcess& terminal, const TTerminalView& view, const TScreenWatch& screen)
{
    const std::int64_t start = NowTicks();
    driver.FillList(terminal, view, PrefillLines);
    PollUntil(ScreenLimitMs, L"the screen did not show the terminal's list change and then stay still", [&] {
        const std::optional<std::int64_t> last = screen.LastChange();
        return last && *last > start && TicksToMs(NowTicks() - *last) >= ScreenStillMs;
    });
    PollUntil(ScreenLimitMs, L"the terminal did not scroll automatically: its settings file was not taken",
              [&] { return view.TopIndex() > 0; });
}

// The count says how many lines came; the last line's tag says they came from this flood.
void CheckLastLine(const TTerminalView& view, int lines, unsigned run)
{
    const std::optional<TEntryTag> tag = lines > 0 ? FindEntryTag(view.Line(lines - 1)) : std::nullopt;
    if (!tag || tag->Run != run)
        throw Exception(L"The list's last line is not from the flood just sent: run " + std::to_wstring(run));
}


// Screen updates while the senders run, the press right after they have finished, and the
// backlog: a mark posted once every entry is taken, reached when the window has handled every
// notification queued before it.
void MeasureQuietFlood(TBenchDriver& driver, const TTerminalView& view, const TScreenWatch& screen, TResponseResult& result)
{
    const DWORD limitMs = FloodLimitMs(result.Entries);
    TFloodSenders senders(driver, result.Spec);
    const int linesBefore = view.Count();
    senders.Go();
    const std::int64_t first = senders.AwaitFirstEntry(limitMs);
    PollUntil(limitMs, L"the senders did not finish", [&] { return senders.Done(); });
    const std::int64_t done = NowTicks();
    result.FloodSeconds = TicksToSeconds(done - first);
    result.LooksPerSecond = PerSecond(screen.Looks(first, done), result.FloodSeconds);
    result.UpdatesPerSecond = PerSecond(screen.Changes(first, done), result.FloodSeconds);

    std::int64_t drained = driver.AwaitExchangeDrained(view.Window());
    if (result.Spec.DebugOutputSenders > 0)
        // Captured messages reach the list after the area is drained, through the capture thread.
        drained = AwaitQuietList(view, limitMs, linesBefore + static_cast<int>(result.Entries));
    const int lines = view.Count();
    result.MissingLines = result.Entries - (lines - linesBefore);
    CheckLastLine(view, lines, senders.Run());

    // Input is taken only when no posted message waits, so a press that cleared the list has
    // passed the mark too, even when the clear came too soon after it to see the mark.
    const LPARAM marker = view.PostMarker();
    std::optional<std::int64_t> reached;
    result.EndPress = Press(view, screen, [&] {
        if (!reached && view.MarkerReached(marker))
            reached = NowTicks();
    });
    if (!reached && result.EndPress.Cleared)
        reached = result.EndPress.ClearedTicks;
    result.BacklogSeen = reached.has_value();
    result.BacklogSeconds = reached ? TicksToSeconds(*reached - drained) : PressLimitMs / 1000.0;
}

// Presses while the senders run, each once the list has grown again after the last one.
void MeasurePressedFlood(TBenchDriver& driver, const TTerminalView& view, const TScreenWatch& screen, TResponseResult& result)
{
    const DWORD limitMs = FloodLimitMs(result.Entries);
    TFloodSenders senders(driver, result.Spec);
    senders.Go();
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    std::int64_t lastAnswer = NowTicks();
    bool pressing = true;
    while (!senders.Done()) {
        if (GetTickCount64() >= deadline)
            throw Exception(L"Timed out: the senders did not finish");
        if (pressing && TicksToMs(NowTicks() - lastAnswer) >= PressGapMs && view.Count() >= MinLinesForPress) {
            result.MidPresses.push_back(Press(view, screen));
            lastAnswer = NowTicks();
            // One still queued would clear the list under the next one.
            pressing = result.MidPresses.back().Cleared;
        }
        Sleep(PressPollMs);
    }
    driver.AwaitExchangeDrained(view.Window());
    if (view.Count() > 0)
        view.AwaitPostedMessages(limitMs);
}

} // namespace

TResponseResult MeasureResponse(TBenchDriver& driver, const TChildProcess& terminal, const TTerminalView& view,
                                const TResponseSpec& spec)
{
    TResponseResult result;
    result.Spec = spec;
    result.Entries =
        static_cast<std::int64_t>(spec.Senders + spec.DebugOutputSenders) * static_cast<std::int64_t>(spec.PerSender);
    const TScreenWatch screen(view.List());
    Prefill(driver, terminal, view, screen);
    MeasureQuietFlood(driver, view, screen, result);
    if (!result.EndPress.Cleared)
        return result; // the press is still queued and would clear the list in the next flood
    Prefill(driver, terminal, view, screen);
    MeasurePressedFlood(driver, view, screen, result);
    return result;
}

} // namespace Bench
