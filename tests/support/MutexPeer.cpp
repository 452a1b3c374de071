// A second process for the exchange-area tests: takes a named mutex and holds it, leaves it
// abandoned, acts as a sender that appends one entry as soon as it gets the mutex, or as a
// terminal that starts and publishes its window handle.
//   vt_mutex_peer hold    MUTEX READY_EVENT RELEASE_EVENT MAX_MS
//   vt_mutex_peer abandon MUTEX
//   vt_mutex_peer append  SECTION MUTEX WAITING_EVENT SLOT CHANNEL TEXT
//   vt_mutex_peer publish SECTION MUTEX WAITING_EVENT HANDLE
// append and publish set WAITING_EVENT just before they start to wait for the mutex.
// Exit code 0 when the peer did its part, another value names what went wrong.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "ShmDefs.h"
#include "ShmIntake.h"
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

// The area, its mutex and the event a peer sets before it waits for the mutex.
struct TPeerArea {
    TPeerArea(const wchar_t* sectionName, const wchar_t* mutexName, const wchar_t* waitingName)
        : Section(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, sectionName)), Mutex(OpenMutexByName(mutexName)),
          Waiting(OpenEventByName(waitingName)),
          View(Section ? MapViewOfFile(Section.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TShmArea)) : nullptr)
    {
    }
    bool Open() const { return Section && Mutex && Waiting && View; }
    TShmArea& Area() const { return *static_cast<TShmArea*>(View.Get()); }

    TUniqueHandle Section;
    TUniqueHandle Mutex;
    TUniqueHandle Waiting;
    TMappedView View;
};

int Append(const TPeerArea& peer, int slot, int channel, const wchar_t* text)
{
    if (!peer.Open() || slot < 0 || slot >= Shm::SlotCount)
        return peerNoObject;
    TShmArea& area = peer.Area();
    SetEvent(peer.Waiting.Get());
    TShmLock lock(peer.Mutex.Get(), StepTimeoutMs);
    if (!lock.Acquired())
        return peerNoMutex;
    const std::string bytes = WideToAnsi(text);
    const std::size_t length = bytes.size() < Shm::MaxTextLength ? bytes.size() : Shm::MaxTextLength;
    area.SlotChannel[slot] = static_cast<std::uint8_t>(channel);
    area.SlotText[slot][0] = static_cast<std::uint8_t>(length);
    std::memcpy(&area.SlotText[slot][1], bytes.data(), length);
    area.PendingCount = area.PendingCount + 1;
    return peerOk;
}

int Publish(const TPeerArea& peer, std::uint64_t handle)
{
    if (!peer.Open())
        return peerNoObject;
    SetEvent(peer.Waiting.Get());
    // Waits as long as a test needs; publishing then takes the mutex again, as its owner.
    TShmLock lock(peer.Mutex.Get(), StepTimeoutMs);
    if (!lock.Acquired())
        return peerNoMutex;
    std::int32_t readIndex = 0;
    const HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(handle));
    return PublishTerminal(peer.Area(), peer.Mutex.Get(), window, readIndex) ? peerOk : peerNoMutex;
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
        return Append(TPeerArea(argv[2], argv[3], argv[4]), std::wcstol(argv[5], nullptr, 10),
                      std::wcstol(argv[6], nullptr, 10), argv[7]);
    if (command == L"publish" && argc == 6)
        return Publish(TPeerArea(argv[2], argv[3], argv[4]), std::wcstoull(argv[5], nullptr, 10));
    std::fputs("usage: vt_mutex_peer hold|abandon|append|publish ...\n", stderr);
    return peerUsage;
}
