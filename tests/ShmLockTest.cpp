// The guarded access: a mutex held elsewhere makes every access give up after about 100 ms
// without touching the area; a mutex abandoned by an ended process is taken over.
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <thread>

#include <gtest/gtest.h>

#include "ShmIntake.h"
#include "ShmLock.h"
#include "ShmTestSupport.h"

using namespace ShmTest;

namespace {

constexpr auto GiveUpAtLeast = std::chrono::milliseconds(90);
constexpr auto GiveUpWellBefore = std::chrono::milliseconds(1000);
constexpr DWORD PeerHoldMs = 2000;

// One kind of guarded access; Run returns whether the access ran.
struct TAccessCase {
    const char* Name;
    std::function<bool(TShmArea&, HANDLE)> Run;
};

void PrintTo(const TAccessCase& access, std::ostream* out) { *out << access.Name; }

const TAccessCase AccessCases[] = {
    {"TShmLock", [](TShmArea&, HANDLE mutex) { return TShmLock(mutex).Acquired(); }},
    {"ReadPendingCount", [](TShmArea& area, HANDLE mutex) { return ReadPendingCount(area, mutex).has_value(); }},
    {"TakeEntry",
     [](TShmArea& area, HANDLE mutex) {
         bool built = false;
         const auto left = TakeEntry(area, mutex, 0, [&](const TSlotEntry&) { built = true; });
         EXPECT_EQ(left.has_value(), built);
         return left.has_value();
     }},
    {"DrainRing",
     [](TShmArea& area, HANDLE mutex) {
         std::int32_t order = 0;
         int calls = 0;
         const TDrainResult result = DrainRing(
             area, mutex, order, [&](const TSlotEntry&) { return ++calls; }, [&](int) { ++calls; },
             Shm::SlotCount);
         const bool busy = result.Stop == TDrainStop::Busy;
         if (busy) {
             EXPECT_EQ(result.Taken, 0);
             EXPECT_EQ(order, 0);
             EXPECT_EQ(calls, 0);
         }
         return !busy;
     }},
    {"DrainPending",
     [](TShmArea& area, HANDLE mutex) {
         std::int32_t order = 0;
         int calls = 0;
         const std::optional<TDrainResult> result = DrainPending(
             area, mutex, nullptr, order, [&](const TSlotEntry&) { return ++calls; }, [&](int) { ++calls; },
             Shm::SlotCount);
         if (!result) {
             EXPECT_EQ(order, 0);
             EXPECT_EQ(calls, 0);
         }
         return result.has_value();
     }},
    {"ResetTerminalState", [](TShmArea& area, HANDLE mutex) { return ResetTerminalState(area, mutex, nullptr); }},
};

class GuardedAccess : public testing::TestWithParam<TAccessCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Exchange.Ready());
        Exchange.FillPattern();
        Exchange.Area().PendingCount = 1; // something to take, should the access run
    }
    TTestArea Exchange;
};

TEST_P(GuardedAccess, GivesUpAfterAbout100msWhileAPeerHoldsTheMutex)
{
    TNamedEvent ready;
    TNamedEvent release;
    TPeer peer(L"hold " + Exchange.MutexName + L" " + ready.Name + L" " + release.Name + L" " +
               std::to_wstring(PeerHoldMs));
    ASSERT_TRUE(peer.Started());
    ASSERT_TRUE(peer.WaitFor(ready.Get()));
    const auto before = Exchange.Bytes();

    const auto start = std::chrono::steady_clock::now();
    const bool ran = GetParam().Run(Exchange.Area(), Exchange.Mutex());
    const auto elapsed = std::chrono::steady_clock::now() - start;

    SetEvent(release.Get());
    EXPECT_FALSE(ran);
    EXPECT_TRUE(SameBytes(before, Exchange.Bytes()));
    EXPECT_GE(elapsed, GiveUpAtLeast);
    EXPECT_LT(elapsed, GiveUpWellBefore);
    EXPECT_EQ(peer.Finish(), 0u);
}

TEST_P(GuardedAccess, TakesOverAMutexAbandonedByAnEndedPeer)
{
    TPeer peer(L"abandon " + Exchange.MutexName);
    ASSERT_TRUE(peer.Started());
    ASSERT_EQ(peer.Finish(), 0u);

    EXPECT_TRUE(GetParam().Run(Exchange.Area(), Exchange.Mutex()));
    EXPECT_TRUE(OtherThreadCanTake(Exchange.Mutex())) << "the access did not release the mutex";
}

TEST_P(GuardedAccess, RunsNothingWithoutAMutex)
{
    const auto before = Exchange.Bytes();
    EXPECT_FALSE(GetParam().Run(Exchange.Area(), nullptr));
    EXPECT_TRUE(SameBytes(before, Exchange.Bytes()));
}

INSTANTIATE_TEST_SUITE_P(Shm, GuardedAccess, testing::ValuesIn(AccessCases),
                         [](const testing::TestParamInfo<TAccessCase>& info) { return info.param.Name; });

// What the abandoned-mutex cases rely on: the waiter already holds a handle, so it is told.
TEST(ShmLock, PeerEndingWhileHoldingLeavesTheMutexAbandoned)
{
    TTestArea exchange;
    ASSERT_TRUE(exchange.Ready());
    TPeer peer(L"abandon " + exchange.MutexName);
    ASSERT_TRUE(peer.Started());
    ASSERT_EQ(peer.Finish(), 0u);

    EXPECT_EQ(WaitForSingleObject(exchange.Mutex(), 0), static_cast<DWORD>(WAIT_ABANDONED));
    ReleaseMutex(exchange.Mutex());
}

TEST(ShmLock, HoldsTheMutexUntilScopeExit)
{
    TTestArea exchange;
    ASSERT_TRUE(exchange.Ready());
    {
        const TShmLock lock(exchange.Mutex());
        ASSERT_TRUE(lock.Acquired());
        EXPECT_FALSE(OtherThreadCanTake(exchange.Mutex()));
    }
    EXPECT_TRUE(OtherThreadCanTake(exchange.Mutex()));
}

// The hand-over between two accesses: a thread that waits for the mutex gets it in between,
// and the access that follows waits until that thread has released it.
TEST(ShmLock, HandOverLetsAWaitingThreadInBeforeTheNextAccess)
{
    TTestArea exchange;
    ASSERT_TRUE(exchange.Ready());
    TShmLock lock(exchange.Mutex());
    ASSERT_TRUE(lock.Acquired());
    TNamedEvent waiting;
    bool waiterHadIt = false;
    std::thread waiter([&] {
        SetEvent(waiting.Get());
        TShmLock waiterLock(exchange.Mutex(), PeerTimeoutMs);
        Sleep(20);
        waiterHadIt = waiterLock.Acquired();
    });
    WaitForSingleObject(waiting.Get(), PeerTimeoutMs);
    Sleep(PeerSettleMs);

    EXPECT_TRUE(lock.HandOver());
    EXPECT_TRUE(waiterHadIt);
    EXPECT_FALSE(OtherThreadCanTake(exchange.Mutex()));
    waiter.join();

    lock.Release();
    EXPECT_FALSE(lock.Acquired());
    EXPECT_FALSE(lock.HandOver()); // nothing held, nothing handed over
    EXPECT_TRUE(OtherThreadCanTake(exchange.Mutex()));
}

TEST(ShmLock, WithShmLockRunsTheAccessOnlyUnderTheLock)
{
    TTestArea exchange;
    ASSERT_TRUE(exchange.Ready());
    bool heldInside = false;
    EXPECT_TRUE(WithShmLock(exchange.Mutex(), [&] { heldInside = !OtherThreadCanTake(exchange.Mutex()); }));
    EXPECT_TRUE(heldInside);
    EXPECT_TRUE(OtherThreadCanTake(exchange.Mutex()));
}

} // namespace
