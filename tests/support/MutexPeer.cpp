// A second process for the exchange-area tests: takes a named mutex and holds it, leaves it
// abandoned, or acts as a sender that appends one entry as soon as it gets the mutex.
//   vt_mutex_peer hold    MUTEX READY_EVENT RELEASE_EVENT MAX_MS
//   vt_mutex_peer abandon MUTEX
//   vt_mutex_peer append  SECTION MUTEX WAITING_EVENT SLOT CHANNEL TEXT
// append sets WAITING_EVENT just before it starts to wait for the mutex.
// Exit code 0 when the peer did its part, another value names what went wrong.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "ShmDefs.h"
#include "ShmLock.h"
#include "TextCodec.h"
#include "WinHandles.h"

namespace {

constexpr DWORD StepTimeoutMs = 10000;

enum TPeerExit : int {
    peerOk = 0,
    peerUsage = 10,
    peerNoObject = 11,
    peerNoMutex = 12,
};

TUniqueHandle OpenMutexByName(const wchar_t* name)
{
    return TUniqueHandle(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name));
}

TUniqueHandle OpenEventByName(const wchar_t* name)
{
    return TUniqueHandle(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name));
}

int Hold(const wchar_t* mutexName, const wchar_t* readyName, const wchar_t* releaseName, DWORD maxMs)
{
    const TUniqueHandle mutex = OpenMutexByName(mutexName);
    const TUniqueHandle ready = OpenEventByName(readyName);
    const TUniqueHandle release = OpenEventByName(releaseName);
    if (!mutex || !ready || !release)
        return peerNoObject;
    TShmLock lock(mutex.Get(), StepTimeoutMs);
    if (!lock.Acquired())
        return peerNoMutex;
    SetEvent(ready.Get());
    WaitForSingleObject(release.Get(), maxMs);
    return peerOk;
}

int Abandon(const wchar_t* mutexName)
{
    const TUniqueHandle mutex = OpenMutexByName(mutexName);
    if (!mutex)
        return peerNoObject;
    const DWORD result = WaitForSingleObject(mutex.Get(), StepTimeoutMs);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED)
        return peerNoMutex;
    // Ends while owning it: the mutex is abandoned.
    ExitProcess(peerOk);
}

int Append(const wchar_t* sectionName, const wchar_t* mutexName, const wchar_t* waitingName, int slot, int channel,
           const wchar_t* text)
{
    const TUniqueHandle section(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, sectionName));
    const TUniqueHandle mutex = OpenMutexByName(mutexName);
    const TUniqueHandle waiting = OpenEventByName(waitingName);
    if (!section || !mutex || !waiting || slot < 0 || slot >= Shm::SlotCount)
        return peerNoObject;
    const TMappedView view(MapViewOfFile(section.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TShmArea)));
    if (!view)
        return peerNoObject;
    auto& area = *static_cast<TShmArea*>(view.Get());

    SetEvent(waiting.Get());
    {
        TShmLock lock(mutex.Get(), StepTimeoutMs);
        if (!lock.Acquired())
            return peerNoMutex;
        const std::string bytes = WideToAnsi(text);
        const std::size_t length = bytes.size() < Shm::MaxTextLength ? bytes.size() : Shm::MaxTextLength;
        area.SlotChannel[slot] = static_cast<std::uint8_t>(channel);
        area.SlotText[slot][0] = static_cast<std::uint8_t>(length);
        std::memcpy(&area.SlotText[slot][1], bytes.data(), length);
        area.PendingCount = area.PendingCount + 1;
    }
    return peerOk;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"hold" && argc == 6)
        return Hold(argv[2], argv[3], argv[4], static_cast<DWORD>(std::wcstoul(argv[5], nullptr, 10)));
    if (command == L"abandon" && argc == 3)
        return Abandon(argv[2]);
    if (command == L"append" && argc == 8)
        return Append(argv[2], argv[3], argv[4], std::wcstol(argv[5], nullptr, 10), std::wcstol(argv[6], nullptr, 10),
                      argv[7]);
    std::fputs("usage: vt_mutex_peer hold|abandon|append ...\n", stderr);
    return peerUsage;
}
