// Owners for the clipboard and for global memory blocks: an open clipboard is closed, an
// allocated block freed unless handed on, a lock released, each exactly once.
#pragma once

#include <windows.h>

#include "SystemTick.h"
#include "WinHandles.h"

struct TGlobalMemoryTraits {
    using Type = HGLOBAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type block) noexcept { GlobalFree(block); }
};
// A block from GlobalAlloc; Release() it once the clipboard has taken it over.
using TGlobalMemory = TUniqueResource<TGlobalMemoryTraits>;

// The clipboard, opened for a window (or for the calling thread when the window is null).
// Another program may hold it for a moment: with `retryMs`, opening is tried again, with
// growing pauses, for about that long.
class TClipboardSession {
public:
    explicit TClipboardSession(HWND owner, DWORD retryMs = 0) noexcept : FOpen(Open(owner, retryMs)) {}
    ~TClipboardSession()
    {
        if (FOpen)
            CloseClipboard();
    }
    TClipboardSession(const TClipboardSession&) = delete;
    TClipboardSession& operator=(const TClipboardSession&) = delete;

    bool IsOpen() const noexcept { return FOpen; }

private:
    static bool Open(HWND owner, DWORD retryMs) noexcept
    {
        bool open = OpenClipboard(owner) != FALSE;
        for (DWORD waited = 0, pause = 5; !open && waited < retryMs; waited += pause, pause *= 2) {
            SystemTick::SleepFor(pause);
            open = OpenClipboard(owner) != FALSE;
        }
        return open;
    }

    bool FOpen;
};

// A global memory block locked for the scope; Data() is null when the lock failed.
class TGlobalLockGuard {
public:
    explicit TGlobalLockGuard(HGLOBAL block) noexcept : FBlock(block), FData(GlobalLock(block)) {}
    ~TGlobalLockGuard()
    {
        if (FData)
            GlobalUnlock(FBlock);
    }
    TGlobalLockGuard(const TGlobalLockGuard&) = delete;
    TGlobalLockGuard& operator=(const TGlobalLockGuard&) = delete;

    void* Data() const noexcept { return FData; }

private:
    HGLOBAL FBlock;
    void* FData;
};
