// A dialog template built in memory, for the terminal's own dialogs (it has no resource
// file). Positions and sizes are dialog units; the font is the shell's dialog font.
#pragma once

#include <windows.h>

#include <vector>

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
