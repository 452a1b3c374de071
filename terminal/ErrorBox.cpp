#include "ErrorBox.h"

#include <cstddef>
#include <utility>

namespace {

// The longest run without a blank that an error box shows on one line.
constexpr std::size_t ErrorBoxRunChars = 64;

bool IsBlank(wchar_t c) noexcept { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }
bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

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
    ShowMessageBox(owner, WrapLongRuns(message, ErrorBoxRunChars), ApplicationTitle, MB_OK | MB_ICONSTOP);
}

std::wstring WrapLongRuns(const std::wstring& text, std::size_t maxRun)
{
    std::wstring wrapped;
    std::size_t runStart = 0; // in `wrapped`
    for (const wchar_t c : text) {
        if (IsBlank(c)) {
            wrapped += c;
            runStart = wrapped.size();
            continue;
        }
        if (wrapped.size() - runStart == maxRun) {
            // Break after the last separator in the second half of the run, else here.
            std::size_t cut = wrapped.size();
            for (std::size_t i = wrapped.size(); i > runStart + maxRun / 2; --i)
                if (IsSeparator(wrapped[i - 1])) {
                    cut = i;
                    break;
                }
            wrapped.insert(cut, L"\r\n");
            runStart = cut + 2;
        }
        wrapped += c;
    }
    return wrapped;
}
