// The hook procedure of the terminal's font and colour dialogs. A handler registered here runs
// when a dialog has initialised, with the dialog window and the dialog's record (CHOOSEFONTW*
// or CHOOSECOLORW*); tests use it to fill in the real dialog and post IDOK or IDCANCEL to it.
#pragma once

#include <windows.h>

#include <functional>

using TDialogInitHandler = std::function<void(HWND dialog, LPARAM record)>;

// Process-wide; an empty handler leaves the dialogs to the user.
void SetDialogInitHandler(TDialogInitHandler handler);

UINT_PTR CALLBACK CommonDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
