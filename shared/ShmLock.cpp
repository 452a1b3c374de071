#include "ShmLock.h"

TShmLock::TShmLock(HANDLE mutex, DWORD timeoutMs) noexcept : FMutex(mutex), FAcquired(false)
{
    const DWORD result = WaitForSingleObject(FMutex, timeoutMs);
    FAcquired = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

TShmLock::~TShmLock()
{
    if (FAcquired)
        ReleaseMutex(FMutex);
}
