#include "DisplayList.h"

#include "Exception.h"

int TDisplayList::Count() const
{
    const LRESULT count = SendMessageW(FWindow, LB_GETCOUNT, 0, 0);
    return count < 0 ? 0 : static_cast<int>(count);
}

bool TDisplayList::Append(const std::wstring& line)
{
    // LB_ERR or LB_ERRSPACE: the list refused the string.
    return SendMessageW(FWindow, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str())) >= 0;
}

void TDisplayList::DeleteFirst() { Delete(0); }

void TDisplayList::Delete(int index) { SendMessageW(FWindow, LB_DELETESTRING, static_cast<WPARAM>(index), 0); }

void TDisplayList::Clear() { SendMessageW(FWindow, LB_RESETCONTENT, 0, 0); }

std::wstring TDisplayList::Line(int index) const
{
    const LRESULT length = SendMessageW(FWindow, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0)
        throw Exception(L"List index out of bounds (" + std::to_wstring(index) + L")");
    std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(FWindow, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(line.data()));
    line.resize(copied < 0 ? 0 : static_cast<std::size_t>(copied));
    return line;
}

void TDisplayList::SetTopIndex(int index) { SendMessageW(FWindow, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0); }

int TDisplayList::TopIndex() const { return static_cast<int>(SendMessageW(FWindow, LB_GETTOPINDEX, 0, 0)); }

int TDisplayList::SelectedCount() const
{
    const LRESULT count = SendMessageW(FWindow, LB_GETSELCOUNT, 0, 0);
    return count < 0 ? 0 : static_cast<int>(count);
}

bool TDisplayList::Selected(int index) const { return SendMessageW(FWindow, LB_GETSEL, static_cast<WPARAM>(index), 0) > 0; }

void TDisplayList::SetSelected(int index, bool selected)
{
    SendMessageW(FWindow, LB_SETSEL, selected ? TRUE : FALSE, static_cast<LPARAM>(index));
}

void TDisplayList::SuspendRedraw()
{
    if (FSuspended++ == 0)
        SendMessageW(FWindow, WM_SETREDRAW, FALSE, 0);
}

void TDisplayList::ResumeRedraw()
{
    if (FSuspended == 0 || --FSuspended > 0)
        return;
    SendMessageW(FWindow, WM_SETREDRAW, TRUE, 0);
    // WM_SETREDRAW TRUE does not repaint by itself: one repaint for the whole suspension.
    InvalidateRect(FWindow, nullptr, TRUE);
}
