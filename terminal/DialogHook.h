// The hook procedures of the terminal's common dialogs. A handler registered here runs when a
// dialog has initialised, with the dialog window and the dialog's record (CHOOSEFONTW*,
// CHOOSECOLORW*, PRINTDLGW* or OPENFILENAMEW*); tests use it to fill in the real dialog and
// post IDOK or IDCANCEL to it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

using TDialogInitHandler = std::function<void(HWND dialog, LPARAM record)>;

// Process-wide; an empty handler leaves the dialogs to the user.
void SetDialogInitHandler(TDialogInitHandler handler);
// Whether a handler is registered: the save dialog takes a hook only then, since a hook gives
// the old explorer dialog instead of the one the system shows today.
bool DialogInitHandlerSet();

// The font, colour and print dialogs: the handler runs at WM_INITDIALOG.
UINT_PTR CALLBACK CommonDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The explorer-style save dialog, whose hook is a child of the dialog: the handler runs at
// CDN_INITDONE, with the dialog itself.
UINT_PTR CALLBACK SaveDialogHook(HWND hook, UINT message, WPARAM wParam, LPARAM lParam);

// The save dialog with the platform's defaults (no filter, no default extension, no prompt
// before an existing file), proposing `proposed`, with SaveDialogHook only while a handler
// is registered; the chosen path, or nothing when cancelled. `title` null: the platform's
// title. Throws when the dialog fails.
std::optional<std::wstring> RunSaveFileDialog(HWND owner, const std::wstring& proposed, const wchar_t* title);
