#include "WindowPlacement.h"

namespace {

// `start` moved as little as it takes for [start, start + size) to lie in [low, high); `low`
// when it cannot.
LONG ClampedStart(LONG start, LONG size, LONG low, LONG high) noexcept
{
    if (start + size > high)
        start = high - size;
    return start < low ? low : start;
}

} // namespace

RECT BroughtIntoView(const RECT& stored, const RECT& workArea, int minVisible) noexcept
{
    const LONG width = stored.right - stored.left;
    const LONG height = stored.bottom - stored.top;
    const LONG visibleLeft = stored.left > workArea.left ? stored.left : workArea.left;
    const LONG visibleRight = stored.right < workArea.right ? stored.right : workArea.right;
    const bool topOnArea = stored.top >= workArea.top && stored.top <= workArea.bottom - minVisible;
    if (topOnArea && visibleRight - visibleLeft >= minVisible)
        return stored;
    const LONG left = ClampedStart(stored.left, width, workArea.left, workArea.right);
    const LONG top = ClampedStart(stored.top, height, workArea.top, workArea.bottom);
    return RECT{left, top, left + width, top + height};
}
