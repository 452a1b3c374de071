#include "Dpi.h"

#include "Gdi.h"

int ScaleToDpi(int designPixels, int dpi) noexcept { return MulDiv(designPixels, dpi, DesignDpi); }

int WindowDpi(HWND window) noexcept
{
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    // Looked up at run time: the program also runs on systems older than the function.
    static const auto getDpiForWindow = reinterpret_cast<TGetDpiForWindow>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && window != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0)
            return static_cast<int>(dpi);
    }
    return GetDeviceCaps(TWindowDC(nullptr).Get(), LOGPIXELSY);
}
