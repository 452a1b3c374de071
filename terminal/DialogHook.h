// The hook procedures of the terminal's common dialogs. A handler registered here runs when a
// dialog has initialised, with the dialog window and the dialog's record (CHOOSEFONTW*,
// CHOOSECOLORW*, PRINTDLGW* or OPENFILENAMEW*); tests use it to fill in the real dialog and
// post IDOK or IDCANCEL to it.
#pragma once

#include <windows.h>

#include <functional>

using TDialogInitHandler = std::function<void(HWND dialog, LPARAM record)>;

// Process-wide; an empty handler leaves the dialogs to the user.
void SetDialogInitHandler(TDialogInitHandler handler);

// The font, colour and print dialogs: the handler runs at WM_INITDIALOG.
UINT_PTR CALLBACK CommonDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The explorer-style save dialog, whose hook is a child of the dialog: the handler runs at
// CDN_INITDONE, with the dialog itself.
UINT_PTR CALLBACK SaveDialogHook(HWND hook, UINT message, WPARAM wParam, LPARAM lParam);
