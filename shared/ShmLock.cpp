#include "ShmLock.h"

#include "SystemTick.h"

TShmLock::TShmLock(HANDLE mutex, DWORD timeoutMs) noexcept : FMutex(mutex), FTimeoutMs(timeoutMs), FAcquired(false)
{
    Acquire();
}

TShmLock::~TShmLock() { Release(); }

bool TShmLock::Acquire() noexcept
{
    if (!FAcquired)
        FAcquired = TookOwnership(SystemTick::WaitFor(FMutex, FTimeoutMs));
    return FAcquired;
}

void TShmLock::Release() noexcept
{
    if (FAcquired)
        ReleaseMutex(FMutex);
    FAcquired = false;
}

bool TShmLock::HandOver() noexcept
{
    if (!FAcquired)
        return false;
    const DWORD result = SignalObjectAndWait(FMutex, FMutex, SystemTick::TimeoutMs(FTimeoutMs), FALSE);
    FAcquired = TookOwnership(result);
    if (result == WAIT_FAILED)
        ReleaseMutex(FMutex); // a failed call may have left the mutex ours; releasing an unowned one does nothing
    return FAcquired;
}

bool TShmLock::TookOwnership(DWORD waitResult) noexcept
{
    return waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED;
}
