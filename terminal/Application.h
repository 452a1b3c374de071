// The program entry's steps after the window exists, apart from wWinMain so that tests run
// the same code.
#pragma once

#include "DebugMain.h"

// Exit status when the exchange area could not be opened: the terminal cannot work.
inline constexpr int ExitAreaUnavailable = 1;

// ShmArea := the window's area, then TerminalWnd := its handle in one 8-byte store, under the
// mutex together with WriteIndex := 0 when nothing is pending and the read index := the
// oldest entry waiting (PublishTerminal); then posts
// itself "DebugEntry" for whatever senders left pending before it existed. False, with
// nothing touched, when the area or its mutex is not open.
bool PublishMainFrame(TMainFrame& frame);

// Runs the message loop until the application terminates; returns the WM_QUIT code.
int RunMessageLoop(const TMainFrame& frame);
