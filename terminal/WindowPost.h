// Every message the terminal posts goes through here, so that no mechanism silently stops when
// a post fails: a thread's queue on Windows holds at most 10 000 posted messages, and a flood
// of notifications from other programs can fill it. Tests replace the poster to make posts fail.
#pragma once

#include <windows.h>

#include <functional>

using TWindowPoster = std::function<bool(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

// PostMessageW through the current poster; false when the message was not queued.
bool PostToWindow(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Replaces PostMessageW for the terminal's posts; an empty poster restores it. Set it while no
// other thread posts.
void SetWindowPoster(TWindowPoster poster);

// A loop of the terminal's own that takes messages out of the queue can be handed WM_QUIT, even
// when it asks only for other messages (Wine does so). It puts the quit back for the message
// loop and ends; true when the message was the quit.
bool PutBackQuit(const MSG& message);
