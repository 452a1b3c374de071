// A hostile or careless program of the user's session, for the robustness tests: it writes
// random contents into the exchange area and floods the terminal with notifications, or it
// holds the mutex far longer than the protocol allows.
//   vt_area_fuzzer fuzz WINDOW DURATION_MS SEED
//       random counts, slots, time stamps and texts, mostly under the mutex, sometimes
//       without it; TerminalWnd and the reserved bytes are left alone
//   vt_area_fuzzer hold READY_EVENT RELEASE_EVENT MAX_MS COUNT TEXT
//       takes the mutex, writes COUNT entries "TEXT 1".. as a sender would, notifies the
//       terminal, sets READY_EVENT and keeps the mutex until RELEASE_EVENT is set (at most
//       MAX_MS)
//   vt_area_fuzzer flood CHANNEL COUNT TEXT PER_HOLD
//       a sender that keeps the rules: entries "TEXT 1" to "TEXT COUNT", up to PER_HOLD of
//       them per hold of the mutex (1 to 64), one notification after each hold
// Exit code 0 when the peer did its part, another value names what went wrong.
#include <windows.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "ShmDefs.h"
#include "ShmLock.h"
#include "TextCodec.h"
#include "WinHandles.h"

namespace {

constexpr DWORD StepTimeoutMs = 10000;

enum TFuzzerExit : int {
    fuzzerOk = 0,
    fuzzerUsage = 10,
    fuzzerNoArea = 11,
    fuzzerNoMutex = 12,
    fuzzerBrokenCount = 13,
    fuzzerTimedOut = 14,
};

constexpr DWORD FloodLimitMs = 60000;
constexpr DWORD FullRingPollMs = 1;

class TArea {
public:
    TArea()
        : FSection(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, Shm::SectionNameW)),
          FView(FSection ? MapViewOfFile(FSection.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TShmArea)) : nullptr),
          FMutex(OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, Shm::MutexName))
    {
    }
    bool Ready() const { return FView && FMutex; }
    TShmArea& Area() const { return *static_cast<TShmArea*>(FView.Get()); }
    HANDLE Mutex() const { return FMutex.Get(); }

private:
    TUniqueHandle FSection;
    TMappedView FView;
    TUniqueHandle FMutex;
};

class TFuzzer {
public:
    explicit TFuzzer(std::uint32_t seed) : FRandom(seed) {}

    void Mutate(TShmArea& area)
    {
        area.PendingCount = Count();
        for (std::uint32_t n = Below(7); n > 0; --n)
            PutSlot(area, static_cast<int>(Below(Shm::SlotCount)));
        if (Below(8) == 0)
            area.WriteIndex = static_cast<std::int32_t>(FRandom());
        if (Below(16) == 0) {
            area.ExtendedChannels = Byte();
            for (auto& on : area.ChannelOn)
                on = Byte();
        }
    }

    std::uint32_t Below(std::uint32_t limit) { return FRandom() % limit; }

private:
    std::uint8_t Byte() { return static_cast<std::uint8_t>(FRandom()); }

    std::int32_t Count()
    {
        constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
        constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
        const std::int32_t special[] = {lowest, -1, -2, -64, -65, 0, 1, 63, 64, 65, 100, 1000, highest, highest - 1};
        switch (Below(4)) {
        case 0: return static_cast<std::int32_t>(FRandom());                // anything
        case 1: return static_cast<std::int32_t>(Below(Shm::SlotCount + 1)); // what a sender writes
        default: return special[Below(std::size(special))];
        }
    }

    double Time()
    {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        constexpr double inf = std::numeric_limits<double>::infinity();
        const double special[] = {
            nan, -nan, std::numeric_limits<double>::signaling_NaN(), inf, -inf,
            std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::min(), std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
            -0.0, -1.5, -693593.0, -693594.5, 2958465.9999999, 2958466.0, 1e300, -1e300, 45356.586912616,
        };
        if (Below(3) == 0)
            return std::bit_cast<double>((static_cast<std::uint64_t>(FRandom()) << 32) | FRandom());
        return special[Below(std::size(special))];
    }

    void PutSlot(TShmArea& area, int slot)
    {
        area.SlotChannel[slot] = Byte();
        area.SlotTime[slot] = Time();
        std::uint8_t* text = area.SlotText[slot];
        for (int i = 1; i < Shm::SlotTextSize; ++i) {
            // Zero bytes and form feeds inside the text, more often than chance would give.
            const std::uint32_t pick = Below(16);
            text[i] = pick == 0 ? 0 : pick == 1 ? static_cast<std::uint8_t>(Shm::FormFeed) : Byte();
        }
        switch (Below(4)) {
        case 0: // a single form feed: clears the list
            text[0] = 1;
            text[1] = static_cast<std::uint8_t>(Shm::FormFeed);
            break;
        case 1: text[0] = 0; break;
        default: text[0] = Byte(); break;
        }
    }

    std::mt19937 FRandom;
};

// Writes "TEXT number" into the slot WriteIndex names and counts it, as a sender that keeps
// the rules does while a terminal runs.
void PutNext(TShmArea& area, std::uint8_t channel, const std::string& text, int number)
{
    const int slot = ((area.WriteIndex % Shm::SlotCount) + Shm::SlotCount) % Shm::SlotCount;
    const std::string line = (text + " " + std::to_string(number)).substr(0, Shm::MaxTextLength);
    area.SlotChannel[slot] = channel;
    area.SlotTime[slot] = 0;
    area.SlotText[slot][0] = static_cast<std::uint8_t>(line.size());
    std::memcpy(&area.SlotText[slot][1], line.data(), line.size());
    area.PendingCount = area.PendingCount + 1;
    area.WriteIndex = (slot + 1) % Shm::SlotCount;
}

int Fuzz(HWND window, DWORD durationMs, std::uint32_t seed)
{
    const TArea exchange;
    if (!exchange.Ready())
        return fuzzerNoArea;
    const UINT debugEntry = RegisterWindowMessageW(Shm::DebugEntryMessageName);
    TFuzzer fuzzer(seed);
    const ULONGLONG end = GetTickCount64() + durationMs;
    while (GetTickCount64() < end) {
        {
            // Mostly as the protocol says; now and then as a program that ignores the mutex.
            std::optional<TShmLock> lock;
            if (fuzzer.Below(10) != 0) {
                lock.emplace(exchange.Mutex());
                if (!lock->Acquired())
                    continue;
            }
            fuzzer.Mutate(exchange.Area());
        }
        for (std::uint32_t posts = 1 + fuzzer.Below(4); posts > 0; --posts)
            PostMessageW(window, debugEntry, fuzzer.Below(1000), static_cast<LPARAM>(fuzzer.Below(1000)) - 500);
        Sleep(fuzzer.Below(3) == 0 ? 1 : 0);
    }
    return fuzzerOk;
}

int Hold(const wchar_t* readyName, const wchar_t* releaseName, DWORD maxMs, int count, const wchar_t* text)
{
    const TArea exchange;
    const TUniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName));
    const TUniqueHandle release(OpenEventW(SYNCHRONIZE, FALSE, releaseName));
    if (!exchange.Ready() || !ready || !release || count < 0 || count > Shm::SlotCount)
        return fuzzerNoArea;
    TShmLock lock(exchange.Mutex(), StepTimeoutMs);
    if (!lock.Acquired())
        return fuzzerNoMutex;

    TShmArea& area = exchange.Area();
    const std::string prefix = WideToAnsi(text);
    for (int i = 1; i <= count; ++i)
        PutNext(area, 0, prefix, i);
    // The notification comes while the mutex is still held, and no other follows.
    PostMessageW(reinterpret_cast<HWND>(static_cast<UINT_PTR>(area.TerminalWnd)),
                 RegisterWindowMessageW(Shm::DebugEntryMessageName), 0, 0);
    SetEvent(ready.Get());
    return WaitForSingleObject(release.Get(), maxMs) == WAIT_OBJECT_0 ? fuzzerOk : fuzzerTimedOut;
}

int Flood(std::uint8_t channel, int count, const wchar_t* text, int perHold)
{
    const TArea exchange;
    if (!exchange.Ready())
        return fuzzerNoArea;
    const UINT debugEntry = RegisterWindowMessageW(Shm::DebugEntryMessageName);
    const std::string prefix = WideToAnsi(text);
    const ULONGLONG deadline = GetTickCount64() + FloodLimitMs;
    int sent = 0;
    while (sent < count) {
        if (GetTickCount64() >= deadline)
            return fuzzerTimedOut;
        int written = 0;
        {
            TShmLock lock(exchange.Mutex());
            if (!lock.Acquired())
                continue;
            TShmArea& area = exchange.Area();
            if (area.PendingCount < 0 || area.PendingCount > Shm::SlotCount)
                return fuzzerBrokenCount;
            for (; area.PendingCount < Shm::SlotCount && sent < count && written < perHold; ++written)
                PutNext(area, channel, prefix, ++sent);
        }
        if (written > 0)
            PostMessageW(reinterpret_cast<HWND>(static_cast<UINT_PTR>(exchange.Area().TerminalWnd)), debugEntry, 0, 0);
        else
            Sleep(FullRingPollMs);
    }
    return fuzzerOk;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"fuzz" && argc == 5)
        return Fuzz(reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::wcstoull(argv[2], nullptr, 10))),
                    static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)),
                    static_cast<std::uint32_t>(std::wcstoul(argv[4], nullptr, 10)));
    if (command == L"hold" && argc == 7)
        return Hold(argv[2], argv[3], static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10)),
                    static_cast<int>(std::wcstol(argv[5], nullptr, 10)), argv[6]);
    if (command == L"flood" && argc == 6)
        return Flood(static_cast<std::uint8_t>(std::wcstoul(argv[2], nullptr, 10)),
                     static_cast<int>(std::wcstol(argv[3], nullptr, 10)), argv[4],
                     static_cast<int>(std::wcstol(argv[5], nullptr, 10)));
    std::fputs("usage: vt_area_fuzzer fuzz|hold|flood ...\n", stderr);
    return fuzzerUsage;
}
