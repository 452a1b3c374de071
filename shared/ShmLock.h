// The guarded access to the exchange area: wait at most Shm::LockTimeoutMs for the mutex,
// take an abandoned mutex over like a free one, release it on scope exit. HandOver ends one
// access and starts the next in a single call to the system.
#pragma once

#include <windows.h>

#include "ShmDefs.h"

class TShmLock {
public:
    explicit TShmLock(HANDLE mutex, DWORD timeoutMs = Shm::LockTimeoutMs) noexcept;
    ~TShmLock();

    TShmLock(const TShmLock&) = delete;
    TShmLock& operator=(const TShmLock&) = delete;

    // False after a time-out (or without a usable mutex): the access must not run.
    bool Acquired() const noexcept { return FAcquired; }

    // Releases the mutex and waits for it again, as long as the constructor would: whoever
    // waits for it already gets it in between. One round trip to the system instead of two.
    // Returns Acquired().
    bool HandOver() noexcept;

    // A further access with the same object: waits as the constructor does, unless held.
    bool Acquire() noexcept;
    void Release() noexcept;

private:
    static bool TookOwnership(DWORD waitResult) noexcept;

    HANDLE FMutex;
    DWORD FTimeoutMs;
    bool FAcquired;
};

// Runs access() under the lock; returns false, having run nothing, when the wait timed out.
template <class Access>
bool WithShmLock(HANDLE mutex, Access&& access)
{
    TShmLock lock(mutex);
    if (!lock.Acquired())
        return false;
    access();
    return true;
}
