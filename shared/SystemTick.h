// Every sleep, timed wait and timer of our programs asks here for its time. On Windows a timed
// wait ends on the system's clock tick, every 15.625 ms by default, however short it asked to
// be; under Wine it ends about a millisecond later. With VELLUMTRACE_WINDOWS_TICK=1 in the
// environment our waits end only on 15.625 ms boundaries, as on Windows, so that the
// benchmark can show what the tick costs each path. A wait that its object ends (a signalled
// event, a released mutex) ends at once either way: only the time-outs are rounded.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>

#include "WinHandles.h"

namespace SystemTick {

inline constexpr wchar_t EnvironmentName[] = L"VELLUMTRACE_WINDOWS_TICK";
inline constexpr std::int64_t TickMicroseconds = 15625;

// Whether waits end on tick boundaries: the environment's setting, read once, unless a test
// set it.
bool Simulated() noexcept;
void SetSimulated(bool simulated) noexcept;

// The milliseconds from `nowUs` (microseconds on a clock whose ticks fall on multiples of
// TickMicroseconds) to the first tick at or after `nowUs` + `ms`; 0 stays 0.
DWORD AlignedToTick(std::int64_t nowUs, DWORD ms) noexcept;
// A timer's period as Windows keeps it: whole ticks, at least one.
UINT TimerPeriodOfTicks(UINT ms) noexcept;

// The time-out a wait gets: `ms` as it is, or, when simulated, until the tick that follows
// it. 0 and INFINITE stay as they are.
DWORD TimeoutMs(DWORD ms) noexcept;
std::chrono::milliseconds Timeout(std::chrono::milliseconds wait) noexcept;
// The period a window timer gets (SetTimer): `ms`, or whole ticks when simulated.
UINT TimerMs(UINT ms) noexcept;

// Sleep and WaitForSingleObject with their time-outs as above.
void SleepFor(DWORD ms) noexcept;
DWORD WaitFor(HANDLE handle, DWORD ms) noexcept;

// A waitable timer that ends its waits within about a millisecond, not on the tick (Windows 10
// version 1803 and later, and Wine); null where the system has none, or while tests forbid
// them to reach what older systems do.
TUniqueHandle HighResolutionTimer() noexcept;
void AllowHighResolutionTimers(bool allowed) noexcept;
// Waits `ms` on such a timer; without one (null), as SleepFor does.
void SleepOn(HANDLE highResolutionTimer, DWORD ms) noexcept;

} // namespace SystemTick
