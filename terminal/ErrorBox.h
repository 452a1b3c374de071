// The error box and the terminal's other modal message boxes, behind one seam so that tests
// can record them instead of blocking on them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "Exception.h"

// The caption of the terminal's message boxes.
inline constexpr wchar_t ApplicationTitle[] = L"Vellumtrace64";

using TMessageBoxHandler = std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)>;

// Replaces MessageBoxW for the terminal's boxes; an empty handler restores MessageBoxW.
void SetMessageBoxHandler(TMessageBoxHandler handler);
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// A failure a handler did not catch: its message, a stop icon and OK. Long file names are
// wrapped (WrapLongRuns).
void ShowErrorBox(HWND owner, const std::wstring& message);

// A message box breaks lines only at blanks, so a long file name would make it wider than the
// screen: every run of more than `maxRun` characters without a blank is broken, after a path
// separator where one lies within the run's last part, else at maxRun.
std::wstring WrapLongRuns(const std::wstring& text, std::size_t maxRun);

// Runs a handler; an exception it lets out is shown in the error box and the window goes on.
template <class Handler>
void RunHandler(HWND owner, Handler&& handler)
{
    try {
        handler();
    } catch (const Exception& failure) {
        ShowErrorBox(owner, failure.Message());
    } catch (const std::exception& failure) {
        ShowErrorBox(owner, std::wstring(failure.what(), failure.what() + std::char_traits<char>::length(failure.what())));
    }
}
