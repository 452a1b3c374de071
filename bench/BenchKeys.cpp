#include "BenchKeys.h"

#include <iterator>

#include "BenchShared.h"
#include "Exception.h"

namespace Bench {

namespace {

constexpr DWORD ForegroundLimitMs = 2000;

INPUT Key(WORD key, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

} // namespace

void BringToForeground(HWND window)
{
    if (GetForegroundWindow() == window)
        return;
    SetForegroundWindow(window);
    PollUntil(ForegroundLimitMs, L"the terminal did not become the foreground window",
              [&] { return GetForegroundWindow() == window; });
}

void SendCtrlD()
{
    INPUT keys[] = {Key(VK_CONTROL, false), Key('D', false), Key('D', true), Key(VK_CONTROL, true)};
    constexpr UINT count = static_cast<UINT>(std::size(keys));
    if (SendInput(count, keys, sizeof(INPUT)) != count)
        throw Exception(L"SendInput refused the key presses");
}

} // namespace Bench
