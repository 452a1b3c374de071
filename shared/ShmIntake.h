// Taking entries out of the exchange area, publishing the terminal's window and the
// terminal's shutdown reset. These are the only places where the terminal writes the area
// under the mutex.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "Exception.h"
#include "ShmDefs.h"
#include "ShmLock.h"
#include "ShmReadIndex.h"
#include "ShmUnguarded.h"

// How long a starting terminal lets a running one take what is pending before it takes over.
inline constexpr DWORD HandOverWaitMs = 500;

// One slot as it stood when it was taken; Text points into a copy, not into the area.
struct TSlotEntry {
    std::uint8_t Channel;
    double Time;
    std::string_view Text;
};

enum class TDrainStop {
    Done,   // the count reached 0 (or was not positive)
    Busy,   // a wait for the mutex timed out; the entries still pending stay in the area
    Budget, // the pass took its maximum of entries or used up its time; more are pending
};

// No time limit for DrainRing.
inline constexpr ULONGLONG NoDeadline = ~ULONGLONG{0};

struct TDrainResult {
    std::int32_t Taken = 0;
    TDrainStop Stop = TDrainStop::Done;
};

// PendingCount read under the lock; nothing when the mutex could not be had in time.
std::optional<std::int32_t> ReadPendingCount(const TShmArea& area, HANDLE mutex);
// Whether the ring is the terminal `window`'s to take from: no other terminal's handle
// stands in TerminalWnd, because the senders fill the ring for that one from then on.
bool RingBelongsTo(const TShmArea& area, HWND window) noexcept;
// PendingCount for the terminal `window`, with the mutex already held: 0 while the ring
// does not belong to it.
std::int32_t PendingCountFor(const TShmArea& area, HWND window) noexcept;

// TerminalWnd := window as one 8-byte store; senders read it without the mutex.
void StoreTerminalWnd(TShmArea& area, HWND window) noexcept;

// Publishes `window` in TerminalWnd under the lock and sets `readIndex` to the slot this
// terminal takes first (StartReadIndex), read under the same lock, so that the senders, which
// fill the ring for this terminal from then on, and this terminal start in step. With nothing
// pending, WriteIndex := 0 first, and reading starts at slot 0. While another terminal still
// runs, it is given up to HandOverWaitMs to take what is pending; whatever it leaves, this one
// takes. When the mutex stays busy the handle is published all the same, without the lock, and
// the read index is taken from the area as it stands; false then.
bool PublishTerminal(TShmArea& area, HANDLE mutex, HWND window, std::int32_t& readIndex);

// Takes the entry in slot `order` under one guarded access: copies it, lowers PendingCount,
// clears the slot's length byte and calls build(entry) while the mutex is still held.
// Returns the count left afterwards, or nothing after a time-out (nothing was touched).
// The entry is consumed even when build throws. An `order` outside 0..63 throws Exception.
// A count left above Shm::SlotCount - 1 cannot come from a sender that keeps the rules; it
// is cut down to that, so one sweep of the ring ends it.
template <class Build>
std::optional<std::int32_t> TakeEntry(TShmArea& area, HANDLE mutex, std::int32_t order, Build&& build);

// PendingCount after one take: one less, but never above what a ring can still hold after a
// take (a broken count such as 2147483647 would otherwise mean billions of takes) and never
// below the lowest value (no wrap-around).
constexpr std::int32_t CountAfterTake(std::int32_t count) noexcept
{
    if (count > Shm::SlotCount)
        return Shm::SlotCount - 1;
    return count == std::numeric_limits<std::int32_t>::min() ? count : count - 1;
}

// Moves the read index on by one slot, 63 wrapping to 0.
constexpr std::int32_t NextSlot(std::int32_t order) noexcept
{
    return order + 1 >= Shm::SlotCount ? 0 : order + 1;
}

// How many entries a pass takes in one run before it hands what they built on: between two
// entries of a run the mutex is handed over (released and waited for again in one call), so
// each entry still has a guarded access of its own and a waiting sender gets the mutex
// between any two, while an entry costs one round trip to the system instead of two.
inline constexpr std::int32_t HandOverRun = 16;
// How long a pass waits, before it takes the last entry counted, for a sender to count another.
inline constexpr LONGLONG LingerUs = 200;

// One intake pass: takes entries in ring order from `order` while the count left is above 0,
// at most maxEntries of them, and no further one once GetTickCount64() has reached
// `deadline`. It takes the first entry without looking at the count (or the clock): the
// caller runs a pass only when the count was above 0. build(entry) runs under
// the mutex; deliver() gets what it returned, in ring order, after the mutex is released at
// the end of a run of up to HandOverRun entries. A run that left the count at 0 ends the
// pass unless entries were counted while its lines were delivered; every further run looks
// at the count under the mutex before it takes anything. Before it takes the last entry
// counted, a pass waits up to LingerUs, without the mutex, for a sender to count another.
// A count above 64 moves `order` to SweepStart first (RealignOnBrokenCount).
// `order` has advanced past every entry taken. Every entry taken and built is delivered,
// even when build or deliver throws for another one; the pass then ends, and the first
// failure, in ring order, is thrown.
template <class Build, class Deliver>
TDrainResult DrainRing(TShmArea& area, HANDLE mutex, std::int32_t& order, Build&& build,
                       Deliver&& deliver, std::int32_t maxEntries, ULONGLONG deadline = NoDeadline);

// The pass that a notification starts: one guarded access reads PendingCountFor(area,
// window), then, when the count is above 0, the mutex is handed over to the first entry and
// DrainRing goes on from there, taking nothing more once another terminal has taken the ring
// over (RingBelongsTo). Nothing when the wait for the count timed out; Taken 0 when nothing
// was pending (and build and deliver were not called).
template <class Build, class Deliver>
std::optional<TDrainResult> DrainPending(TShmArea& area, HANDLE mutex, HWND window, std::int32_t& order, Build&& build,
                                         Deliver&& deliver, std::int32_t maxEntries, ULONGLONG deadline = NoDeadline);

// The shutdown of the terminal `window`: clears the terminal's state in the area under one
// guarded access: PendingCount, TerminalWnd, WriteIndex, every slot's length byte and every
// channel switch. When another terminal has taken the ring over, all of that is the other's
// and is left as it is. False when the mutex could not be had (nothing was touched).
bool ResetTerminalState(TShmArea& area, HANDLE mutex, HWND window);

// TerminalWnd := 0 as one store, unless another terminal's handle stands there by now.
void WithdrawTerminalWnd(TShmArea& area, HWND window) noexcept;

// ---- templates -----------------------------------------------------------------------

namespace ShmIntakeDetail {

inline void CheckReadIndex(std::int32_t order)
{
    if (order < 0 || order >= Shm::SlotCount)
        throw Exception(L"Read index " + std::to_wstring(order) + L" is outside the ring");
}

// TakeEntry's access, with the mutex already held.
template <class Build>
std::int32_t TakeHeldEntry(TShmArea& area, std::int32_t order, Build&& build)
{
    std::uint8_t* slotText = area.SlotText[order];
    char text[Shm::SlotTextSize];
    const std::uint8_t length = slotText[0];
    for (int i = 0; i < length; ++i)
        text[i] = static_cast<char>(slotText[i + 1]);
    const TSlotEntry entry{area.SlotChannel[order], area.SlotTime[order], std::string_view(text, length)};

    // Consumed before it is built, so an entry that cannot be built is never taken twice.
    area.PendingCount = CountAfterTake(area.PendingCount);
    slotText[0] = 0;
    build(entry);
    // Read back last, so whatever was counted meanwhile is taken in the same pass.
    return area.PendingCount;
}

struct TRunEnd {
    bool More = false;        // the count was above 0 after the last entry taken
    bool Busy = false;        // a wait for the mutex timed out
    bool LastOneLeft = false; // the run ended before the last entry counted, to linger
    std::exception_ptr BuildFailure;
};

// Waits up to LingerUs, without the mutex, for a sender to count another entry beside the
// last one.
inline void AwaitCompany(const TShmArea& area) noexcept
{
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG limit = frequency.QuadPart * LingerUs / 1000000;
    do {
        if (PendingCountHint(area) > 1)
            return;
        SwitchToThread();
        QueryPerformanceCounter(&now);
    } while (now.QuadPart - start.QuadPart < limit);
}

// With the mutex held: a count that no sender keeping the rules writes moves the read index
// to the start of a sweep of the whole ring, so that the sweep ends where the senders write
// next instead of leaving the read index off their slots for good.
inline void RealignOnBrokenCount(const TShmArea& area, std::int32_t& order) noexcept
{
    if (area.PendingCount > Shm::SlotCount)
        order = SweepStart(area);
}

// Takes entries with `lock`, handed over between two, until the count is 0 or runFull()
// says so. Nothing is taken, after any wait for the mutex, once owns() says that the ring
// is no longer this terminal's. With confirmCount, nothing is taken unless the count under
// the mutex is above 0. The run ends before the last entry counted, except right after such
// a wait (!mayLinger).
template <class Take, class RunFull, class Owns>
TRunEnd TakeRun(TShmArea& area, TShmLock& lock, std::int32_t& order, bool confirmCount, bool mayLinger, Take&& take,
                RunFull&& runFull, Owns&& owns)
{
    TRunEnd end;
    end.Busy = !lock.Acquired();
    end.More = !end.Busy && owns() && (!confirmCount || area.PendingCount > 0);
    end.LastOneLeft = end.More && mayLinger && area.PendingCount == 1;
    while (end.More && !end.LastOneLeft) {
        std::int32_t left = 0;
        try {
            RealignOnBrokenCount(area, order);
            left = TakeHeldEntry(area, order, take);
        } catch (...) {
            end.BuildFailure = std::current_exception();
            return end;
        }
        end.More = left > 0;
        end.LastOneLeft = left == 1;
        if (!end.More || end.LastOneLeft || runFull())
            return end;
        if (!lock.HandOver()) {
            end.Busy = true;
            return end;
        }
        // Another terminal may have taken over while the mutex was let go.
        end.More = owns();
    }
    return end;
}

// Delivers every entry of a run, then throws the first failure: a delivery's, else the
// one that ended the run while building.
template <class Built, class Deliver>
void DeliverRun(std::vector<Built>& run, Deliver& deliver, const std::exception_ptr& buildFailure)
{
    std::exception_ptr failure;
    for (Built& built : run) {
        try {
            deliver(std::move(built));
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (!failure)
        failure = buildFailure;
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace ShmIntakeDetail

template <class Build>
std::optional<std::int32_t> TakeEntry(TShmArea& area, HANDLE mutex, std::int32_t order, Build&& build)
{
    ShmIntakeDetail::CheckReadIndex(order);
    TShmLock lock(mutex);
    if (!lock.Acquired())
        return std::nullopt;
    return ShmIntakeDetail::TakeHeldEntry(area, order, build);
}

namespace ShmIntakeDetail {

// DrainRing with `lock` made for the first run (acquired or timed out); each further run
// acquires it again. owns() tells, with the mutex held, whether the ring is still this
// terminal's.
template <class Build, class Deliver, class Owns>
TDrainResult DrainWithLock(TShmArea& area, TShmLock& lock, std::int32_t& order, Build& build, Deliver& deliver,
                           std::int32_t maxEntries, ULONGLONG deadline, Owns&& owns)
{
    using TBuilt = std::remove_cvref_t<std::invoke_result_t<Build&, const TSlotEntry&>>;
    TDrainResult result;
    const auto budgetUsed = [&] {
        return result.Taken >= maxEntries || (result.Taken > 0 && GetTickCount64() >= deadline);
    };
    const auto takeOne = [&](const TSlotEntry& entry) {
        // The slot is consumed once build runs, so move past it before build can throw.
        ++result.Taken;
        order = NextSlot(order);
        return build(entry);
    };
    std::vector<TBuilt> run;
    run.reserve(HandOverRun);
    bool mayLinger = true;
    for (bool firstRun = true;; firstRun = false) {
        if (budgetUsed()) {
            result.Stop = TDrainStop::Budget;
            return result;
        }
        CheckReadIndex(order);
        run.clear();
        if (!firstRun)
            lock.Acquire();
        const TRunEnd end = TakeRun(
            area, lock, order, !firstRun, mayLinger, [&](const TSlotEntry& entry) { run.push_back(takeOne(entry)); },
            [&] { return static_cast<std::int32_t>(run.size()) >= HandOverRun || budgetUsed(); }, owns);
        lock.Release();
        DeliverRun(run, deliver, end.BuildFailure);
        if (end.Busy) {
            result.Stop = TDrainStop::Busy;
            return result;
        }
        // A sender that writes line after line, each with a lock of its own, finds the
        // ring empty after nearly every line when each pass empties it, and then notifies
        // the terminal of every line. Before the last entry counted is taken, a sender gets
        // a moment to count another beside it; after that moment the last one is taken.
        mayLinger = !end.LastOneLeft;
        if (end.LastOneLeft) {
            AwaitCompany(area);
            continue;
        }
        // A sender may have counted more while the lines went to the list.
        if (!end.More && (run.empty() || PendingCountHint(area) <= 0))
            return result;
    }
}

} // namespace ShmIntakeDetail

template <class Build, class Deliver>
TDrainResult DrainRing(TShmArea& area, HANDLE mutex, std::int32_t& order, Build&& build,
                       Deliver&& deliver, std::int32_t maxEntries, ULONGLONG deadline)
{
    TShmLock lock(mutex);
    return ShmIntakeDetail::DrainWithLock(area, lock, order, build, deliver, maxEntries, deadline,
                                          [] { return true; });
}

template <class Build, class Deliver>
std::optional<TDrainResult> DrainPending(TShmArea& area, HANDLE mutex, HWND window, std::int32_t& order, Build&& build,
                                         Deliver&& deliver, std::int32_t maxEntries, ULONGLONG deadline)
{
    TShmLock lock(mutex);
    if (!lock.Acquired())
        return std::nullopt;
    if (PendingCountFor(area, window) <= 0)
        return TDrainResult{};
    lock.HandOver();
    return ShmIntakeDetail::DrainWithLock(area, lock, order, build, deliver, maxEntries, deadline,
                                          [&] { return RingBelongsTo(area, window); });
}
