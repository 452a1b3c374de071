// The line limit: the batched trim on WM_DELETEOVERHEAD and the limit typed into NoOfEdit.
#include "DebugMain.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>

#include "ErrorBox.h"
#include "ValueParse.h"

namespace {

constexpr wchar_t LineLimitPrompt[] = L"Input a number between 1 and 32000";
constexpr wchar_t LineLimitCaption[] = L"Vellumtrace";

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

void TMainFrame::OverheadLoeschen()
{
    TrimQueued = false;
    const int count = dbDisplay.Count();
    // Lines deleted since the request was posted, or a message from elsewhere: nothing to do.
    if (count <= static_cast<std::int64_t>(DisplayLines) + Overhead)
        return;
    const TRedrawSuspension suspension(dbDisplay);
    // Past the list's length every deletion would do nothing.
    const std::int64_t surplus = std::min<std::int64_t>(static_cast<std::int64_t>(count) - DisplayLines, count);
    for (std::int64_t deleted = 0; deleted < surplus; ++deleted)
        dbDisplay.DeleteFirst();
    if (AutoScroll)
        dbDisplay.SetTopIndex(DisplayLines - 1);
}

void TMainFrame::NoOfLinesChange()
{
    const std::wstring text = WindowText(NoOfEdit);
    if (text.empty())
        return; // the user is still typing
    const std::optional<std::int32_t> limit = ParseLineLimit(text);
    if (!limit) {
        ShowMessageBox(FHandle, LineLimitPrompt, LineLimitCaption, MB_OKCANCEL);
        return;
    }
    // The list is trimmed at the next pass through the new threshold, not here.
    DisplayLines = *limit;
    ComputeOverhead();
}

LRESULT CALLBACK TMainFrame::NoOfEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR self)
{
    // Every key counts, cursor and modifier keys (WM_SYSKEYUP for Alt and F10) included.
    if (message == WM_KEYUP || message == WM_SYSKEYUP) {
        auto& frame = *reinterpret_cast<TMainFrame*>(self);
        RunHandler(frame.FHandle, [&frame] { frame.NoOfLinesChange(); });
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}
