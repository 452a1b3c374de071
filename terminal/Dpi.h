// Dots per inch: the window's design is in pixels at 96 dpi, and every length of it is scaled
// to the DPI of the monitor the window is on.
#pragma once

#include <windows.h>

inline constexpr int DesignDpi = 96;

// A length given in pixels at 96 dpi, in pixels at the given dpi (rounded to the nearest).
int ScaleToDpi(int designPixels, int dpi) noexcept;

// The DPI of the window's monitor as the system gives it to this program: GetDpiForWindow
// where the system has it (Windows 10 1607 and later), else the screen's.
int WindowDpi(HWND window) noexcept;
