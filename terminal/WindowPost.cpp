#include "WindowPost.h"

#include <utility>

namespace {

TWindowPoster& Poster()
{
    static TWindowPoster poster;
    return poster;
}

} // namespace

bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (const TWindowPoster& poster = Poster())
        return poster(window, message, wParam, lParam);
    return PostMessageW(window, message, wParam, lParam) != FALSE;
}

void SetWindowPoster(TWindowPoster poster) { Poster() = std::move(poster); }

bool PutBackQuit(const MSG& message)
{
    if (message.message != WM_QUIT)
        return false;
    PostQuitMessage(static_cast<int>(message.wParam));
    return true;
}
