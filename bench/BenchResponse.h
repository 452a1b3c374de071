// Responsiveness under a flood, as a person feels it: Ctrl+D ("Delete all lines") pressed
// with SendInput in the middle of a flood and right after it, the time until the list is
// cleared and until the screen shows it; how often the screen shows something new during a
// flood with automatic scrolling on; how long the notifications queued by the flood hold the
// window up afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "BenchFloodSenders.h"
#include "BenchProcess.h"
#include "BenchRuns.h"

namespace Bench {

inline constexpr DWORD PressLimitMs = 30000; // a press not answered by then counts as this long
// A press in a flood waits until the list holds this many lines: far more than one pass
// adds, so that a cleared list cannot grow past the count at the press unseen.
inline constexpr int MinLinesForPress = 1000;
inline constexpr unsigned long MinResponseEntries = 2 * MinLinesForPress; // per flood

struct TPressResult {
    bool Cleared = false;           // the list's count dropped within PressLimitMs
    double ClearMs = PressLimitMs;  // press to the count seen lower than at the press
    std::optional<double> ScreenMs; // press to the first new look at the screen after that
    std::int64_t ClearedTicks = 0;  // when the lower count was seen
};

struct TResponseResult {
    TResponseSpec Spec;
    // The flood without presses: screen updates, the press at its end, the backlog.
    std::int64_t Entries = 0;   // through the area and through OutputDebugStringA
    double FloodSeconds = 0;    // first entry written to the last sender done
    double LooksPerSecond = 0;  // how often the screen was read
    double UpdatesPerSecond = 0;
    std::int64_t MissingLines = 0; // lines the list gained short of the entries sent (negative: extra)
    double BacklogSeconds = 0;     // from the last entry taken until the window came to a posted mark
    bool BacklogSeen = false;      // false: not within PressLimitMs
    TPressResult EndPress;
    // The flood with presses while it runs.
    std::vector<TPressResult> MidPresses;
    // A log to a slow target: the lines it had taken when the measurement ended, and all
    // lines it got by the terminal's close.
    std::optional<std::int64_t> SlowLogLinesAtEnd;
    std::int64_t SlowLogLines = 0;
};

// Measures one kind and number of senders in a terminal that was started with automatic
// scrolling on and an empty list, and with its capture on when the spec has debug-output
// senders. Throws Exception.
TResponseResult MeasureResponse(TBenchDriver& driver, const TChildProcess& terminal, const TTerminalView& view,
                                const TResponseSpec& spec);

} // namespace Bench
