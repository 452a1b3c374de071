// The line commands of the Edit and File menus that need no printer: copy the selected lines,
// save all lines, delete the selected or all lines.
#include "DebugMain.h"

#include <commdlg.h>

#include <optional>
#include <vector>

#include "DialogHook.h"
#include "LineExport.h"
#include "SearchMatch.h"

namespace {

// Room for the longest path Windows takes; the dialog reports a longer one as an error.
constexpr DWORD SaveFileChars = 32768;
// The platform's defaults; the hook through which tests fill in the dialog is added for them.
constexpr DWORD SaveDialogFlags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;

} // namespace

UINT_PTR CALLBACK SaveDialogHook(HWND hook, UINT message, WPARAM, LPARAM lParam)
{
    // The explorer dialog can be filled in only once it is complete: the init handler gets
    // it then, as the other dialogs' hook hands them over at WM_INITDIALOG.
    if (message == WM_NOTIFY) {
        const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
        if (notify->hdr.code == CDN_INITDONE)
            CommonDialogHook(GetParent(hook), WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(notify->lpOFN));
    }
    return 0;
}

std::optional<std::wstring> RunSaveFileDialog(HWND owner, const std::wstring& proposed, const wchar_t* title)
{
    std::vector<wchar_t> path(SaveFileChars, L'\0');
    proposed.copy(path.data(), path.size() - 1);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = SaveFileChars;
    dialog.lpstrTitle = title;
    dialog.Flags = SaveDialogFlags;
    if (DialogInitHandlerSet()) {
        dialog.Flags |= OFN_ENABLEHOOK;
        dialog.lpfnHook = SaveDialogHook;
    }
    if (!GetSaveFileNameW(&dialog)) {
        if (const DWORD error = CommDlgExtendedError(); error != 0)
            throw Exception(L"The save dialog failed (error " + std::to_wstring(error) + L")");
        return std::nullopt; // cancelled
    }
    return std::wstring(path.data());
}

void TMainFrame::CopyToClipboardClick()
{
    const int n = dbDisplay.Count();
    if (n == 0)
        return;
    int k = dbDisplay.SelectedCount();
    if (k <= 0)
        return;
    // Nothing else runs during the walk, so n is still the list's end; it stops at the last
    // selected line.
    std::vector<std::wstring> lines;
    for (int i = 0; i < n && k > 0; ++i) {
        if (dbDisplay.Selected(i)) {
            lines.push_back(dbDisplay.Line(i));
            --k;
        }
    }
    CopyTextToClipboard(FHandle, ClipboardText(lines));
}

void TMainFrame::DeleteSelected()
{
    const int n = dbDisplay.Count();
    if (n == 0)
        return;
    int k = dbDisplay.SelectedCount();
    if (k <= 0)
        return;
    const TRedrawSuspension suspension(dbDisplay);
    // From the end, so that the lines not yet visited keep their indexes.
    for (int i = n - 1; i >= 0 && k > 0; --i) {
        if (dbDisplay.Selected(i)) {
            dbDisplay.Delete(i);
            --k;
        }
    }
}

void TMainFrame::ClearClick()
{
    // WinWidth, MaxLine and SearchIndex stay: the extent keeps the widest line seen so far.
    dbDisplay.Clear();
    LogListCleared();
}

void TMainFrame::SaveAs()
{
    // Lines that arrive while the dialog is open are not saved.
    const int n = dbDisplay.Count();
    if (n == 0)
        return;

    // Proposes the path chosen last time; no title of its own.
    const std::optional<std::wstring> path = RunSaveFileDialog(FHandle, SaveFileName, nullptr);
    if (!path)
        return;

    SaveFileName = *path;
    // Lines removed meanwhile are not read: the walk ends at the list's current end.
    const TSearchListOf<TDisplayList> lines(dbDisplay);
    SaveLines(SaveFileName, lines, n);
}
