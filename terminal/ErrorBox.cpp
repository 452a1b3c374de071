#include "ErrorBox.h"

#include <utility>

namespace {


TMessageBoxHandler& MessageBoxHandler()
{
    static TMessageBoxHandler handler;
    return handler;
}

} // namespace

void SetMessageBoxHandler(TMessageBoxHandler handler) { MessageBoxHandler() = std::move(handler); }

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)
{
    if (const TMessageBoxHandler& handler = MessageBoxHandler())
        return handler(owner, text, caption, type);
    return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

void ShowErrorBox(HWND owner, const std::wstring& message)
{
    ShowMessageBox(owner, message, ApplicationTitle, MB_OK | MB_ICONSTOP);
}
