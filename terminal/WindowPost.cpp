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
