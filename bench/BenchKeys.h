// Key presses as a person makes them: the window is brought to the foreground, then the keys
// go into the system's input stream with SendInput and reach the window through its queue.
#pragma once

#include <windows.h>

namespace Bench {

// Makes `window` the foreground window; throws Exception when it does not become it.
void BringToForeground(HWND window);
// Ctrl down, D down, D up, Ctrl up into the input stream; throws Exception when refused.
void SendCtrlD();

} // namespace Bench
