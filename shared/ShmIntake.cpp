#include "ShmIntake.h"

#include <cstddef>
#include <cstring>

#include "ExchangeObjects.h"
#include "SystemTick.h"

namespace {

// How often a starting terminal looks again whether the running one has taken everything.
constexpr DWORD HandOverPollMs = 2;

std::uint64_t LoadTerminalWnd(const TShmArea& area) noexcept
{
    return ReadUnguarded<std::uint64_t>(area, offsetof(TShmArea, TerminalWnd));
}

std::uint64_t HandleValue(HWND window) noexcept
{
    return static_cast<std::uint64_t>(reinterpret_cast<UINT_PTR>(window));
}

// TerminalWnd for one-store writes: senders read it without the mutex.
volatile LONG64* TerminalWndField(TShmArea& area) noexcept
{
    static_assert(offsetof(TShmArea, TerminalWnd) % sizeof(LONG64) == 0);
    return reinterpret_cast<volatile LONG64*>(reinterpret_cast<char*>(&area) + offsetof(TShmArea, TerminalWnd));
}

} // namespace

std::optional<std::int32_t> ReadPendingCount(const TShmArea& area, HANDLE mutex)
{
    std::optional<std::int32_t> count;
    WithShmLock(mutex, [&] { count = area.PendingCount; });
    return count;
}

bool RingBelongsTo(const TShmArea& area, HWND window) noexcept
{
    const std::uint64_t published = LoadTerminalWnd(area);
    return published == 0 || published == HandleValue(window);
}

std::int32_t PendingCountFor(const TShmArea& area, HWND window) noexcept
{
    return RingBelongsTo(area, window) ? area.PendingCount : 0;
}

void StoreTerminalWnd(TShmArea& area, HWND window) noexcept
{
    InterlockedExchange64(TerminalWndField(area), static_cast<LONG64>(HandleValue(window)));
}

void WithdrawTerminalWnd(TShmArea& area, HWND window) noexcept
{
    InterlockedCompareExchange64(TerminalWndField(area), 0, static_cast<LONG64>(HandleValue(window)));
}

bool PublishTerminal(TShmArea& area, HANDLE mutex, HWND window, std::int32_t& readIndex)
{
    const auto previous = reinterpret_cast<HWND>(static_cast<UINT_PTR>(LoadTerminalWnd(area)));
    const bool otherRuns = previous != nullptr && previous != window && Exchange::IsTerminalWindow(previous);
    const ULONGLONG deadline = GetTickCount64() + (otherRuns ? HandOverWaitMs : 0);
    for (;;) {
        bool published = false;
        const bool locked = WithShmLock(mutex, [&] {
            if (area.PendingCount == 0)
                area.WriteIndex = 0;
            else if (GetTickCount64() < deadline)
                return; // the running terminal is still taking its entries
            readIndex = StartReadIndex(area);
            StoreTerminalWnd(area, window);
            published = true;
        });
        if (published)
            return true;
        if (!locked) {
            readIndex = StartReadIndex(area);
            StoreTerminalWnd(area, window);
            return false;
        }
        SystemTick::SleepFor(HandOverPollMs);
    }
}

bool ResetTerminalState(TShmArea& area, HANDLE mutex, HWND window)
{
    return WithShmLock(mutex, [&] {
        if (!RingBelongsTo(area, window))
            return;
        area.PendingCount = 0;
        area.TerminalWnd = 0;
        area.WriteIndex = 0;
        for (auto& text : area.SlotText)
            text[0] = 0;
        std::memset(area.ChannelOn, 0, sizeof area.ChannelOn);
    });
}
