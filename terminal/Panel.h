// A panel: a child window filled with one colour and framed by a 1-pixel bevel. It passes
// its children's notifications (commands, colour requests) on to its own parent, so the
// main window answers for every control however deeply it sits.
#pragma once

#include <windows.h>

#include <cstdint>

enum class TBevel { Raised, Lowered };

// Colour value: 0 or more is red + 256 * green + 65536 * blue; a negative value names a
// system colour by its low byte.
COLORREF ColorToRGB(std::int32_t color) noexcept;

HWND CreatePanel(HWND parent, int id, const RECT& bounds, std::int32_t color, TBevel bevel);
// The brush the panel fills itself with, for children that show the panel's colour.
HBRUSH PanelBrush(HWND panel) noexcept;
// Width of the bevel each panel draws inside its client area.
inline constexpr int PanelBevelWidth = 1;
