// A dialog template built in memory, for the terminal's own dialogs (it has no resource
// file). Positions and sizes are dialog units; the font is the shell's dialog font.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

#include "ErrorBox.h"

enum class TDialogControlClass : WORD { Button = 0x0080, Edit = 0x0081, Static = 0x0082, ListBox = 0x0083, ComboBox = 0x0085 };

class TDialogTemplate {
public:
    TDialogTemplate(const wchar_t* title, short width, short height);

    // Adds a child control; WS_CHILD and WS_VISIBLE are added to the style.
    void Add(TDialogControlClass controlClass, int id, const wchar_t* text, short x, short y, short width, short height,
             DWORD style);

    const DLGTEMPLATE* Get() const noexcept { return reinterpret_cast<const DLGTEMPLATE*>(FWords.data()); }

private:
    void AddDword(DWORD value);
    void AddText(const wchar_t* text);
    void AlignToDword();

    std::vector<WORD> FWords;
};

// A control of a dialog built from a table; within a dialog, rows are in tab order.
struct TDialogControlRow {
    TDialogControlClass Class;
    int Id;
    const wchar_t* Text;
    short X, Y, Width, Height;
    DWORD Style;
};

namespace DialogDetail {

// Builds the dialog from its rows and runs it modally with `proc`, which gets `param` with
// WM_INITDIALOG. Throws Exception naming the title when the dialog cannot be opened.
INT_PTR RunRows(HWND owner, const wchar_t* title, short width, short height, std::span<const TDialogControlRow> rows,
                DLGPROC proc, LPARAM param);

// Hands every message after WM_INITDIALOG's to the dialog object; what it lets out is shown
// in the error box.
template <class Dialog>
INT_PTR CALLBACK ObjectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr)
        return FALSE;
    INT_PTR result = FALSE;
    RunHandler(window, [&] { result = self->Handle(window, message, wParam, lParam); });
    return result;
}

} // namespace DialogDetail

// Runs the dialog that `rows` describe modally; its messages go to
// dialog.Handle(window, message, wParam, lParam). The dialog's result (the id given to
// EndDialog). Throws Exception naming the title when the dialog cannot be opened.
template <class Dialog>
INT_PTR RunDialog(HWND owner, const wchar_t* title, short width, short height, std::span<const TDialogControlRow> rows,
                  Dialog& dialog)
{
    return DialogDetail::RunRows(owner, title, width, height, rows, &DialogDetail::ObjectProc<Dialog>,
                                 reinterpret_cast<LPARAM>(&dialog));
}
