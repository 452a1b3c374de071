// Fills in the terminal's real save dialog from its hook, as a user would.
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <filesystem>
#include <functional>
#include <string>

#include "DialogHook.h"

struct TSaveDialogRun {
    int Opened = 0;
    std::wstring Proposed;  // the path the dialog was opened on
    DWORD Flags = 0;
    bool Filter = false;    // a file-type filter was given
    bool DefaultExtension = false;
    bool Title = false;
    std::wstring TitleText;
};

// Types `path` into the real save dialog and confirms it (or cancels it); `whileOpen` runs
// first, while the dialog is still open.
inline void DriveSaveDialog(TSaveDialogRun& run, const std::filesystem::path& path, bool confirm,
                            std::function<void()> whileOpen = {})
{
    SetDialogInitHandler([&run, path, confirm, whileOpen](HWND dialog, LPARAM record) {
        const auto* save = reinterpret_cast<const OPENFILENAMEW*>(record);
        ++run.Opened;
        run.Proposed = save->lpstrFile;
        run.Flags = save->Flags;
        run.Filter = save->lpstrFilter != nullptr;
        run.DefaultExtension = save->lpstrDefExt != nullptr;
        run.Title = save->lpstrTitle != nullptr;
        run.TitleText = run.Title ? save->lpstrTitle : L"";
        if (whileOpen)
            whileOpen();
        SendMessageW(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(path.wstring().c_str()));
        SendMessageW(dialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(path.wstring().c_str()));
        PostMessageW(dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
    });
}
