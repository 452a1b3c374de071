// Real exchange objects under names of the test's own (a named section of sizeof(TShmArea)
// and a named mutex), a peer process that holds or abandons the mutex, and byte comparison
// of the area.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ShmDefs.h"
#include "ShmLock.h"
#include "WinHandles.h"

namespace ShmTest {

inline constexpr DWORD PeerTimeoutMs = 10000;
// From a peer's signal that it is about to wait for the mutex to that wait: ample for one call.
inline constexpr DWORD PeerSettleMs = 200;
inline constexpr wchar_t PeerExeName[] = L"vt_mutex_peer.exe";

inline std::wstring UniqueName(const wchar_t* kind)
{
    static std::atomic<unsigned> counter{0};
    return L"VtTest." + std::wstring(kind) + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
           std::to_wstring(++counter);
}

inline std::wstring SiblingExe(const wchar_t* name)
{
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

class TTestArea {
public:
    TTestArea() : SectionName(UniqueName(L"Section")), MutexName(UniqueName(L"Mutex"))
    {
        FSection.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(TShmArea), SectionName.c_str()));
        if (FSection)
            FView.Reset(MapViewOfFile(FSection.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TShmArea)));
        FMutex.Reset(CreateMutexW(nullptr, FALSE, MutexName.c_str()));
    }

    bool Ready() const { return FView && FMutex; }
    TShmArea& Area() const { return *static_cast<TShmArea*>(FView.Get()); }
    HANDLE Mutex() const { return FMutex.Get(); }

    std::vector<std::uint8_t> Bytes() const
    {
        const auto* begin = static_cast<const std::uint8_t*>(FView.Get());
        return std::vector<std::uint8_t>(begin, begin + sizeof(TShmArea));
    }

    // Every byte a value of its own offset, so a stray write anywhere shows up.
    void FillPattern() const
    {
        auto* bytes = static_cast<std::uint8_t*>(FView.Get());
        for (std::size_t i = 0; i < sizeof(TShmArea); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    }

    // Writes a slot as a sender would (the count is the caller's business).
    void PutSlot(int slot, std::uint8_t channel, double time, std::string_view text) const
    {
        TShmArea& area = Area();
        area.SlotChannel[slot] = channel;
        area.SlotTime[slot] = time;
        area.SlotText[slot][0] = static_cast<std::uint8_t>(text.size());
        std::memcpy(&area.SlotText[slot][1], text.data(), text.size());
    }

    const std::wstring SectionName;
    const std::wstring MutexName;

private:
    TUniqueHandle FSection;
    TMappedView FView;
    TUniqueHandle FMutex;
};

// A named auto-reset event that a peer opens by name.
class TNamedEvent {
public:
    TNamedEvent() : Name(UniqueName(L"Event")), FHandle(CreateEventW(nullptr, FALSE, FALSE, Name.c_str())) {}
    HANDLE Get() const { return FHandle.Get(); }
    const std::wstring Name;

private:
    TUniqueHandle FHandle;
};

class TPeer {
public:
    explicit TPeer(const std::wstring& arguments)
    {
        const std::wstring exe = SiblingExe(PeerExeName);
        std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info)) {
            FProcess.Reset(info.hProcess);
            const TUniqueHandle thread(info.hThread); // only the process handle is needed
        }
    }
    ~TPeer()
    {
        if (FProcess && WaitForSingleObject(FProcess.Get(), PeerTimeoutMs) != WAIT_OBJECT_0)
            TerminateProcess(FProcess.Get(), 1);
    }
    TPeer(const TPeer&) = delete;
    TPeer& operator=(const TPeer&) = delete;

    bool Started() const { return static_cast<bool>(FProcess); }

    // True when the event was set before the peer ended or the time ran out.
    bool WaitFor(HANDLE event) const
    {
        const HANDLE handles[] = {event, FProcess.Get()};
        return WaitForMultipleObjects(2, handles, FALSE, PeerTimeoutMs) == WAIT_OBJECT_0;
    }

    // The peer's exit code, or STILL_ACTIVE when it did not end in time.
    DWORD Finish() const
    {
        WaitForSingleObject(FProcess.Get(), PeerTimeoutMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(FProcess.Get(), &code);
        return code;
    }

private:
    TUniqueHandle FProcess;
};

// Whether another thread could take the mutex at once (this thread's own ownership is
// recursive and would prove nothing).
// A window handle as TerminalWnd holds it; no window need exist.
inline HWND HandleOf(std::uint64_t terminalWnd) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(terminalWnd)); }

inline bool OtherThreadCanTake(HANDLE mutex)
{
    bool acquired = false;
    std::thread([&] { acquired = TShmLock(mutex, 0).Acquired(); }).join();
    return acquired;
}

inline testing::AssertionResult SameBytes(const std::vector<std::uint8_t>& expected,
                                          const std::vector<std::uint8_t>& actual)
{
    if (expected.size() != actual.size())
        return testing::AssertionFailure() << "sizes differ";
    int shown = 0;
    testing::AssertionResult failure = testing::AssertionFailure();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != actual[i] && shown++ < 8)
            failure << "offset " << i << ": expected " << int(expected[i]) << ", got " << int(actual[i]) << "; ";
    }
    return shown == 0 ? testing::AssertionSuccess() : failure;
}

template <class T>
void PutValue(std::vector<std::uint8_t>& image, std::size_t offset, T value)
{
    std::memcpy(image.data() + offset, &value, sizeof value);
}

} // namespace ShmTest
