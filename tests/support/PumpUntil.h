// Waiting on the real window: this thread's messages are run until a condition holds.
#pragma once

#include <windows.h>

#include <functional>

// Runs pump() and checks done() until it holds, sleeping while no message waits; false when
// the limit ran out first.
inline bool PumpUntil(const std::function<void()>& pump, const std::function<bool()>& done, DWORD limitMs)
{
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    for (;;) {
        pump();
        if (done())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
}
