// Where a window with stored bounds opens, so that it can be seen: a monitor that was there
// when the bounds were stored may be gone, and a settings file may hold anything.
#pragma once

#include <windows.h>

// How much of the window's width, and of the height below its top edge, must lie on a
// monitor's work area (pixels at 96 dpi) for the window to be reachable there.
inline constexpr int MinVisiblePixels = 64;

// `stored` as it is when its top edge lies on `workArea` and at least `minVisible` pixels of it
// do in each direction, negative coordinates included (a monitor left of or above the primary
// one). Otherwise moved onto `workArea` with its size kept: as little as it takes, and to the
// work area's top left corner when it is larger than the work area.
RECT BroughtIntoView(const RECT& stored, const RECT& workArea, int minVisible) noexcept;
