// Taking entries out of the exchange area and the shutdown reset, on a real named section
// and mutex: which bytes change, in which order slots are taken, what the callbacks see.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iomanip>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ShmIntake.h"
#include "ShmTestSupport.h"

using namespace ShmTest;

namespace {

constexpr std::int32_t NoBudget = 1000;

std::size_t LengthOffset(int slot) { return offsetof(TShmArea, SlotText) + std::size_t(slot) * Shm::SlotTextSize; }

// A slot's contents as a sender left them, distinct for every slot.
std::uint8_t ChannelOf(int slot) { return static_cast<std::uint8_t>(slot % Shm::ChannelCount); }
double TimeOf(int slot) { return 45356.5 + slot / 1000.0; }
std::string TextOf(int slot) { return "entry " + std::to_string(slot); }

struct TTaken {
    std::uint8_t Channel;
    double Time;
    std::string Text;
    bool operator==(const TTaken&) const = default;
};

void PrintTo(const TTaken& taken, std::ostream* out)
{
    *out << "{" << int(taken.Channel) << ", " << std::setprecision(12) << taken.Time << ", \"" << taken.Text << "\"}";
}

TTaken Expected(int slot) { return {ChannelOf(slot), TimeOf(slot), TextOf(slot)}; }

class Intake : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Exchange.Ready());
        Exchange.FillPattern();
        for (int slot = 0; slot < Shm::SlotCount; ++slot)
            Exchange.PutSlot(slot, ChannelOf(slot), TimeOf(slot), TextOf(slot));
    }

    TShmArea& Area() { return Exchange.Area(); }

    // A peer that works on this area once it has the mutex; back once it waits for it.
    std::unique_ptr<TPeer> StartWaitingPeer(const wchar_t* command, const TNamedEvent& waiting,
                                            const std::wstring& arguments)
    {
        auto peer = std::make_unique<TPeer>(std::wstring(command) + L" " + Exchange.SectionName + L" " +
                                            Exchange.MutexName + L" " + waiting.Name + L" " + arguments);
        if (peer->WaitFor(waiting.Get()))
            Sleep(PeerSettleMs); // from the event to its wait for the mutex
        return peer;
    }

    // A pass that records what build saw, in the order deliver got it.
    TDrainResult Drain(std::int32_t& order, std::int32_t budget = NoBudget, ULONGLONG deadline = NoDeadline)
    {
        return DrainRing(
            Area(), Exchange.Mutex(), order,
            [](const TSlotEntry& entry) { return TTaken{entry.Channel, entry.Time, std::string(entry.Text)}; },
            [&](TTaken taken) { Delivered.push_back(std::move(taken)); }, budget, deadline);
    }

    // The area as it must look after the given slots were taken and the count became `count`.
    std::vector<std::uint8_t> AfterTaking(const std::vector<std::uint8_t>& before, const std::vector<int>& slots,
                                          std::int32_t count)
    {
        std::vector<std::uint8_t> image = before;
        for (const int slot : slots)
            image[LengthOffset(slot)] = 0;
        PutValue(image, offsetof(TShmArea, PendingCount), count);
        return image;
    }

    TTestArea Exchange;
    std::vector<TTaken> Delivered;
};

// ---- the count that starts a pass ------------------------------------------------------

class PendingCountCase : public Intake, public testing::WithParamInterface<std::int32_t> {};

TEST_P(PendingCountCase, IsReadWithoutChangingTheArea)
{
    Area().PendingCount = GetParam();
    const auto before = Exchange.Bytes();
    EXPECT_EQ(ReadPendingCount(Area(), Exchange.Mutex()), GetParam());
    EXPECT_TRUE(SameBytes(before, Exchange.Bytes()));
    EXPECT_TRUE(OtherThreadCanTake(Exchange.Mutex()));
}

// The window runs a pass only for a count above 0: 0 and negative counts take nothing.
INSTANTIATE_TEST_SUITE_P(Shm, PendingCountCase, testing::Values(0, -1, -64, 3, 64),
                         [](const testing::TestParamInfo<std::int32_t>& info) {
                             return info.param < 0 ? "Minus" + std::to_string(-info.param)
                                                   : std::to_string(info.param);
                         });

// The pass a notification starts reads the count for its own window and takes that many.
struct TPendingPassCase {
    const char* Name;
    std::int32_t Count;
    bool OtherTerminal; // another terminal's handle stands in TerminalWnd
    std::int32_t Taken;
};

void PrintTo(const TPendingPassCase& pass, std::ostream* out) { *out << pass.Name; }

class PendingPassCase : public Intake, public testing::WithParamInterface<TPendingPassCase> {};

TEST_P(PendingPassCase, TakesWhatTheCountSaysForThisWindowOnly)
{
    const TPendingPassCase& pass = GetParam();
    const HWND window = HandleOf(0x4242);
    Area().TerminalWnd = pass.OtherTerminal ? 0x5151u : 0x4242u;
    Area().PendingCount = pass.Count;
    const auto before = Exchange.Bytes();
    std::int32_t order = 0;

    const std::optional<TDrainResult> result = DrainPending(
        Area(), Exchange.Mutex(), window, order,
        [](const TSlotEntry& entry) { return TTaken{entry.Channel, entry.Time, std::string(entry.Text)}; },
        [&](TTaken taken) { Delivered.push_back(std::move(taken)); }, NoBudget);

    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->Taken, pass.Taken);
    EXPECT_EQ(result->Stop, TDrainStop::Done);
    EXPECT_EQ(Delivered.size(), static_cast<std::size_t>(pass.Taken));
    EXPECT_EQ(order, pass.Taken % Shm::SlotCount);
    if (pass.Taken == 0)
        EXPECT_TRUE(SameBytes(before, Exchange.Bytes()));
    else
        EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_TRUE(OtherThreadCanTake(Exchange.Mutex()));
}

INSTANTIATE_TEST_SUITE_P(Shm, PendingPassCase,
                         testing::Values(TPendingPassCase{"Nothing", 0, false, 0},
                                         TPendingPassCase{"Negative", -1, false, 0},
                                         TPendingPassCase{"Three", 3, false, 3},
                                         TPendingPassCase{"FullRing", Shm::SlotCount, false, Shm::SlotCount},
                                         TPendingPassCase{"OtherTerminal", 3, true, 0}),
                         [](const testing::TestParamInfo<TPendingPassCase>& info) { return info.param.Name; });

// DrainRing itself takes the entry at `order` whatever the count says; the decision to run
// a pass belongs to the caller, made on ReadPendingCount.
TEST_F(Intake, DrainRingLeavesTheDecisionToTheCaller)
{
    Area().PendingCount = -2;
    std::int32_t order = 5;
    const TDrainResult result = Drain(order);
    EXPECT_EQ(result.Taken, 1);
    EXPECT_EQ(result.Stop, TDrainStop::Done);
    EXPECT_EQ(Area().PendingCount, -3);
    EXPECT_EQ(order, 6);
}

// ---- ring order --------------------------------------------------------------------------

struct TRingCase {
    std::int32_t Order;
    std::int32_t Count;
    std::vector<int> Slots;
    std::int32_t OrderAfter;
};

void PrintTo(const TRingCase& ring, std::ostream* out) { *out << "order " << ring.Order << ", count " << ring.Count; }

class RingCase : public Intake, public testing::WithParamInterface<TRingCase> {};

TEST_P(RingCase, TakesCountedSlotsInRingOrderAndTouchesOnlyLengthsAndCount)
{
    const TRingCase& ring = GetParam();
    Area().PendingCount = ring.Count;
    const auto before = Exchange.Bytes();
    std::int32_t order = ring.Order;

    const TDrainResult result = Drain(order);

    EXPECT_EQ(result.Stop, TDrainStop::Done);
    EXPECT_EQ(result.Taken, ring.Count);
    EXPECT_EQ(order, ring.OrderAfter);
    std::vector<TTaken> expected;
    for (const int slot : ring.Slots)
        expected.push_back(Expected(slot));
    EXPECT_EQ(Delivered, expected);
    EXPECT_TRUE(SameBytes(AfterTaking(before, ring.Slots, 0), Exchange.Bytes()));
    EXPECT_TRUE(OtherThreadCanTake(Exchange.Mutex()));
}

std::vector<int> AllSlotsFrom(int first)
{
    std::vector<int> slots;
    for (int i = 0; i < Shm::SlotCount; ++i)
        slots.push_back((first + i) % Shm::SlotCount);
    return slots;
}

INSTANTIATE_TEST_SUITE_P(Shm, RingCase,
                         testing::Values(TRingCase{62, 3, {62, 63, 0}, 1}, TRingCase{0, 1, {0}, 1},
                                         TRingCase{63, 1, {63}, 0}, TRingCase{10, 64, AllSlotsFrom(10), 10}),
                         [](const testing::TestParamInfo<TRingCase>& info) {
                             return "From" + std::to_string(info.param.Order) + "Count" +
                                    std::to_string(info.param.Count);
                         });

// ---- what one entry yields ---------------------------------------------------------------

struct TTextCase {
    const char* Name;
    std::string Text;
};

void PrintTo(const TTextCase& text, std::ostream* out) { *out << text.Name; }

class TextCase : public Intake, public testing::WithParamInterface<TTextCase> {};

TEST_P(TextCase, IsHandedOnByteForByteAndCountsAsTaken)
{
    constexpr int slot = 9;
    const std::string& text = GetParam().Text;
    Exchange.PutSlot(slot, 4, 1.25, text);
    Area().PendingCount = 1;
    const auto before = Exchange.Bytes();
    std::int32_t order = slot;

    const TDrainResult result = Drain(order);

    EXPECT_EQ(result.Taken, 1);
    EXPECT_EQ(Delivered, (std::vector<TTaken>{TTaken{4, 1.25, text}}));
    // The characters after the length byte stay where they were.
    EXPECT_TRUE(SameBytes(AfterTaking(before, {slot}, 0), Exchange.Bytes()));
}

std::string AllByteValues()
{
    std::string text;
    for (int i = 0; i < Shm::MaxTextLength; ++i)
        text.push_back(static_cast<char>(255 - i));
    return text;
}

INSTANTIATE_TEST_SUITE_P(Shm, TextCase,
                         testing::Values(TTextCase{"Empty", ""}, TTextCase{"FormFeed", std::string(1, Shm::FormFeed)},
                                         TTextCase{"TwoFormFeeds", "\f\f"},
                                         TTextCase{"EmbeddedNul", std::string("a\0b", 3)},
                                         TTextCase{"OneCharacter", "x"}, TTextCase{"Longest", AllByteValues()}),
                         [](const testing::TestParamInfo<TTextCase>& info) { return info.param.Name; });

TEST_F(Intake, BuildSeesACopyNotTheSlot)
{
    Exchange.PutSlot(7, 1, 2.0, "original");
    Area().PendingCount = 1;
    std::int32_t order = 7;
    std::string seen;
    DrainRing(
        Area(), Exchange.Mutex(), order,
        [&](const TSlotEntry& entry) {
            Exchange.PutSlot(7, 2, 3.0, "overwritten by a sender");
            seen = std::string(entry.Text);
            return 0;
        },
        [](int) {}, NoBudget);
    EXPECT_EQ(seen, "original");
}

// A full ring takes several runs of entries; every delivery finds the mutex free.
TEST_F(Intake, BuildRunsUnderTheMutexAndDeliverAfterItsRelease)
{
    Area().PendingCount = Shm::SlotCount;
    std::int32_t order = 0;
    std::vector<bool> heldInBuild, heldInDeliver;
    DrainRing(
        Area(), Exchange.Mutex(), order,
        [&](const TSlotEntry&) {
            heldInBuild.push_back(!OtherThreadCanTake(Exchange.Mutex()));
            return 0;
        },
        [&](int) { heldInDeliver.push_back(!OtherThreadCanTake(Exchange.Mutex())); }, NoBudget);
    EXPECT_EQ(heldInBuild, std::vector<bool>(Shm::SlotCount, true));
    EXPECT_EQ(heldInDeliver, std::vector<bool>(Shm::SlotCount, false));
}

// ---- entries that arrive during a pass -----------------------------------------------------

TEST_F(Intake, EntryAddedWhileBuildingIsTakenInTheSamePass)
{
    Area().PendingCount = 1;
    std::int32_t order = 20;
    bool added = false;
    DrainRing(
        Area(), Exchange.Mutex(), order,
        [&](const TSlotEntry& entry) {
            if (!added) { // a sender's write, made while this thread holds the mutex
                Exchange.PutSlot(21, 5, 9.5, "late");
                Area().PendingCount = Area().PendingCount + 1;
                added = true;
            }
            return TTaken{entry.Channel, entry.Time, std::string(entry.Text)};
        },
        [&](TTaken taken) { Delivered.push_back(std::move(taken)); }, NoBudget);

    EXPECT_EQ(Delivered, (std::vector<TTaken>{Expected(20), TTaken{5, 9.5, "late"}}));
    EXPECT_EQ(order, 22);
    EXPECT_EQ(ReadPendingCount(Area(), Exchange.Mutex()), 0); // its own notification finds nothing
}

// The lines of a run go to the list after the mutex is released; what a sender counts
// meanwhile is taken in the same pass, and only what is counted.
TEST_F(Intake, EntryCountedWhileARunIsDeliveredIsTakenInTheSamePass)
{
    Area().PendingCount = 1;
    std::int32_t order = 40;
    const TDrainResult result = DrainRing(
        Area(), Exchange.Mutex(), order,
        [](const TSlotEntry& entry) { return TTaken{entry.Channel, entry.Time, std::string(entry.Text)}; },
        [&](TTaken taken) {
            if (Delivered.empty()) { // a sender's write, with the mutex free
                const TShmLock lock(Exchange.Mutex());
                Exchange.PutSlot(41, 6, 7.5, "meanwhile");
                Area().PendingCount = Area().PendingCount + 1;
            }
            Delivered.push_back(std::move(taken));
        },
        NoBudget);

    EXPECT_EQ(result.Taken, 2);
    EXPECT_EQ(result.Stop, TDrainStop::Done);
    EXPECT_EQ(Delivered, (std::vector<TTaken>{Expected(40), TTaken{6, 7.5, "meanwhile"}}));
    EXPECT_EQ(order, 42);
    EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_EQ(Area().SlotText[42][0], TextOf(42).size()); // the slot after it stays untaken
}

// A sender that waits for the mutex while a pass runs gets it between two entries, however
// many entries are pending, and what it adds is taken in the same pass.
TEST_F(Intake, APeerWaitingDuringAPassWritesBetweenTwoEntriesAndItsEntryIsTaken)
{
    TNamedEvent waiting;
    std::unique_ptr<TPeer> peer;
    Area().PendingCount = 2;
    std::int32_t order = 30;
    std::vector<std::int32_t> countSeen; // PendingCount as each build found it

    const TDrainResult result = DrainRing(
        Area(), Exchange.Mutex(), order,
        [&](const TSlotEntry& entry) {
            countSeen.push_back(Area().PendingCount);
            if (!peer) // the mutex is held here: the peer starts to wait for it
                peer = StartWaitingPeer(L"append", waiting, L"32 3 from-peer");
            return TTaken{entry.Channel, entry.Time, std::string(entry.Text)};
        },
        [&](TTaken taken) { Delivered.push_back(std::move(taken)); }, NoBudget);

    ASSERT_TRUE(peer && peer->Started());
    EXPECT_EQ(peer->Finish(), 0u);
    // The second entry found the peer's entry counted: the peer wrote in between.
    EXPECT_EQ(countSeen, (std::vector<std::int32_t>{1, 1, 0}));
    EXPECT_EQ(result.Taken, 3);
    EXPECT_EQ(result.Stop, TDrainStop::Done);
    EXPECT_EQ(Delivered, (std::vector<TTaken>{Expected(30), Expected(31), TTaken{3, TimeOf(32), "from-peer"}}));
    EXPECT_EQ(order, 33);
    EXPECT_EQ(ReadPendingCount(Area(), Exchange.Mutex()), 0);
}

// A sender that gets the mutex between two entries and keeps it past the wait of a guarded
// access ends the pass as busy: what was taken is delivered, the rest stays in the area.
TEST_F(Intake, APeerKeepingTheMutexBetweenTwoEntriesEndsThePassAsBusy)
{
    Area().PendingCount = 5;
    std::int32_t order = 0;
    TNamedEvent waiting;
    TNamedEvent release;
    std::thread holder;
    const TDrainResult result = DrainRing(
        Area(), Exchange.Mutex(), order,
        [&](const TSlotEntry& entry) {
            if (!holder.joinable()) {
                holder = std::thread([&] {
                    SetEvent(waiting.Get());
                    const TShmLock lock(Exchange.Mutex(), PeerTimeoutMs);
                    WaitForSingleObject(release.Get(), PeerTimeoutMs);
                });
                WaitForSingleObject(waiting.Get(), PeerTimeoutMs);
                Sleep(PeerSettleMs);
            }
            return TTaken{entry.Channel, entry.Time, std::string(entry.Text)};
        },
        [&](TTaken taken) { Delivered.push_back(std::move(taken)); }, NoBudget);
    SetEvent(release.Get());
    holder.join();

    EXPECT_EQ(result.Stop, TDrainStop::Busy);
    EXPECT_EQ(result.Taken, 1);
    EXPECT_EQ(Delivered, (std::vector<TTaken>{Expected(0)}));
    EXPECT_EQ(order, 1);
    EXPECT_EQ(Area().PendingCount, 4);
    EXPECT_TRUE(OtherThreadCanTake(Exchange.Mutex()));
}

// ---- budget --------------------------------------------------------------------------------

struct TBudgetCase {
    std::int32_t Count;
    std::int32_t Budget;
    std::int32_t Taken;
    TDrainStop Stop;
    ULONGLONG Deadline = NoDeadline; // 0: the time is up before the pass starts
};

void PrintTo(const TBudgetCase& budget, std::ostream* out)
{
    *out << "count " << budget.Count << ", budget " << budget.Budget << ", deadline " << budget.Deadline;
}

class BudgetCase : public Intake, public testing::WithParamInterface<TBudgetCase> {};

TEST_P(BudgetCase, StopsAtTheBudgetAndTheNextPassGoesOn)
{
    const TBudgetCase& budget = GetParam();
    Area().PendingCount = budget.Count;
    std::int32_t order = 60;

    const TDrainResult first = Drain(order, budget.Budget, budget.Deadline);
    EXPECT_EQ(first.Taken, budget.Taken);
    EXPECT_EQ(first.Stop, budget.Stop);
    EXPECT_EQ(Area().PendingCount, budget.Count - budget.Taken);
    EXPECT_EQ(order, (60 + budget.Taken) % Shm::SlotCount);

    if (budget.Stop == TDrainStop::Budget) {
        const TDrainResult rest = Drain(order);
        EXPECT_EQ(rest.Taken, budget.Count - budget.Taken);
        EXPECT_EQ(rest.Stop, TDrainStop::Done);
    }
    std::vector<TTaken> expected;
    for (int i = 0; i < budget.Count; ++i)
        expected.push_back(Expected((60 + i) % Shm::SlotCount));
    EXPECT_EQ(Delivered, expected);
    EXPECT_EQ(Area().PendingCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Shm, BudgetCase,
                         testing::Values(TBudgetCase{10, 4, 4, TDrainStop::Budget},
                                         TBudgetCase{4, 4, 4, TDrainStop::Done},
                                         TBudgetCase{3, 0, 0, TDrainStop::Budget},
                                         // Out of time: one entry, so that every pass moves on.
                                         TBudgetCase{10, 256, 1, TDrainStop::Budget, 0},
                                         TBudgetCase{1, 256, 1, TDrainStop::Done, 0}),
                         [](const testing::TestParamInfo<TBudgetCase>& info) {
                             return "Count" + std::to_string(info.param.Count) + "Budget" +
                                    std::to_string(info.param.Budget) +
                                    (info.param.Deadline == 0 ? "OutOfTime" : "");
                         });

// ---- failures inside a pass ----------------------------------------------------------------

struct TFailureCase {
    const char* Name;
    bool InBuild; // else in deliver
    std::vector<int> Delivered; // slots handed to deliver, the failing one included
    std::vector<int> Taken;
};

void PrintTo(const TFailureCase& failure, std::ostream* out) { *out << failure.Name; }

class FailureCase : public Intake, public testing::WithParamInterface<TFailureCase> {};

// Entry 1 of 4 fails. An entry that cannot be built ends the run before the next entry is
// taken; one that cannot be delivered leaves the others of its run to be delivered. (A run
// ends before the last entry counted.)
TEST_P(FailureCase, ConsumesTheEntryDeliversTheRestOfItsRunAndReleasesTheMutex)
{
    constexpr std::int32_t count = 4;
    const TFailureCase& failure = GetParam();
    Area().PendingCount = count;
    std::int32_t order = 0;
    const auto before = Exchange.Bytes();
    std::vector<int> delivered;
    auto failOnSlot1 = [](int slot) {
        if (slot == 1)
            throw std::runtime_error("entry 1 fails");
    };

    EXPECT_THROW(DrainRing(
                     Area(), Exchange.Mutex(), order,
                     [&](const TSlotEntry& entry) {
                         const int slot = entry.Channel; // channel == slot here
                         if (failure.InBuild)
                             failOnSlot1(slot);
                         return slot;
                     },
                     [&](int slot) {
                         delivered.push_back(slot);
                         if (!failure.InBuild)
                             failOnSlot1(slot);
                     },
                     NoBudget),
                 std::runtime_error);

    const auto taken = static_cast<std::int32_t>(failure.Taken.size());
    EXPECT_EQ(delivered, failure.Delivered);
    EXPECT_EQ(order, taken);
    EXPECT_TRUE(SameBytes(AfterTaking(before, failure.Taken, count - taken), Exchange.Bytes()));
    EXPECT_TRUE(OtherThreadCanTake(Exchange.Mutex()));

    // The next pass goes on with the entry after the last one taken.
    const TDrainResult rest = Drain(order);
    EXPECT_EQ(rest.Taken, count - taken);
    std::vector<TTaken> expected;
    for (std::int32_t slot = taken; slot < count; ++slot)
        expected.push_back(Expected(slot));
    EXPECT_EQ(Delivered, expected);
}

INSTANTIATE_TEST_SUITE_P(Shm, FailureCase,
                         testing::Values(TFailureCase{"Build", true, {0}, {0, 1}},
                                         TFailureCase{"Deliver", false, {0, 1, 2}, {0, 1, 2}}),
                         [](const testing::TestParamInfo<TFailureCase>& info) { return info.param.Name; });

TEST_F(Intake, ReadIndexOutsideTheRingThrowsAndTouchesNothing)
{
    Area().PendingCount = 1;
    const auto before = Exchange.Bytes();
    for (std::int32_t bad : {-1, Shm::SlotCount, 1000}) {
        bool built = false;
        EXPECT_THROW(TakeEntry(Area(), Exchange.Mutex(), bad, [&](const TSlotEntry&) { built = true; }), Exception)
            << bad;
        EXPECT_FALSE(built);
        std::int32_t order = bad;
        EXPECT_THROW(Drain(order), Exception) << bad;
        EXPECT_EQ(order, bad);
    }
    EXPECT_TRUE(SameBytes(before, Exchange.Bytes()));
    EXPECT_TRUE(OtherThreadCanTake(Exchange.Mutex()));
}

// ---- where a starting terminal reads --------------------------------------------------------

struct TStartCase {
    const char* Name;
    std::int32_t WriteIndex;
    std::int32_t Count;
    std::vector<int> WithText; // the slots still holding text; a terminal emptied the others
    std::int32_t StartsAt;
    std::vector<int> Slots;    // what the first pass takes, in this order
};

void PrintTo(const TStartCase& start, std::ostream* out) { *out << start.Name; }

std::vector<int> SlotRange(int first, int count)
{
    std::vector<int> slots;
    for (int i = 0; i < count; ++i)
        slots.push_back((first + i) % Shm::SlotCount);
    return slots;
}

const std::vector<int> EverySlot = SlotRange(0, Shm::SlotCount);

bool HasText(const std::vector<int>& withText, int slot) { return std::ranges::count(withText, slot) != 0; }

class StartCase : public Intake, public testing::WithParamInterface<TStartCase> {};

// A terminal meets the ring as another left it: after a clean shutdown, after a crash in the
// middle of a flood, or with a count no sender keeping the rules writes. Its first pass takes
// the waiting entries oldest first, and the senders' next entry is the one it takes next.
TEST_P(StartCase, FirstPassTakesTheWaitingEntriesOldestFirst)
{
    const TStartCase& start = GetParam();
    const HWND window = HandleOf(0x4242);
    for (int slot = 0; slot < Shm::SlotCount; ++slot)
        if (!HasText(start.WithText, slot))
            Area().SlotText[slot][0] = 0;
    Area().TerminalWnd = 0x5151; // a terminal that ended without its shutdown
    Area().WriteIndex = start.WriteIndex;
    Area().PendingCount = start.Count;
    std::int32_t order = -1;

    ASSERT_TRUE(PublishTerminal(Area(), Exchange.Mutex(), window, order));
    EXPECT_EQ(order, start.StartsAt);
    const std::optional<TDrainResult> result = DrainPending(
        Area(), Exchange.Mutex(), window, order,
        [](const TSlotEntry& entry) { return TTaken{entry.Channel, entry.Time, std::string(entry.Text)}; },
        [&](TTaken taken) { Delivered.push_back(std::move(taken)); }, NoBudget);

    ASSERT_TRUE(result.has_value());
    std::vector<TTaken> expected;
    for (const int slot : start.Slots)
        expected.push_back(HasText(start.WithText, slot) ? Expected(slot) : TTaken{ChannelOf(slot), TimeOf(slot), ""});
    EXPECT_EQ(Delivered, expected);
    EXPECT_EQ(Area().PendingCount, start.Count < 0 ? start.Count : 0);
    if (start.Count == 0) {
        EXPECT_EQ(Area().WriteIndex, 0);
    }
    EXPECT_EQ(order, start.Slots.empty() ? start.StartsAt : NextSlot(start.Slots.back()));
    EXPECT_TRUE(OtherThreadCanTake(Exchange.Mutex()));
}

INSTANTIATE_TEST_SUITE_P(
    Shm, StartCase,
    testing::Values(TStartCase{"EmptyAtSlot0", 0, 0, EverySlot, 0, {}},
                    TStartCase{"EmptyElsewhere", 37, 0, EverySlot, 0, {}},
                    TStartCase{"FullAtSlot0", 0, 64, EverySlot, 0, SlotRange(0, 64)},
                    TStartCase{"FullAtSlot1", 1, 64, EverySlot, 1, SlotRange(1, 64)},
                    TStartCase{"FullAtSlot37", 37, 64, EverySlot, 37, SlotRange(37, 64)},
                    TStartCase{"FullAtSlot63", 63, 64, EverySlot, 63, SlotRange(63, 64)},
                    TStartCase{"PartialInside", 40, 3, EverySlot, 37, {37, 38, 39}},
                    TStartCase{"PartialWrappingPast63", 2, 5, EverySlot, 61, {61, 62, 63, 0, 1}},
                    TStartCase{"PartialEndingAt63", 0, 3, {61, 62, 63}, 61, {61, 62, 63}},
                    TStartCase{"FromSlot0WithWriteIndexLeftAlone", 0, 3, {0, 1, 2}, 0, {0, 1, 2}},
                    TStartCase{"WriteIndexNotWrapped", 70, 3, EverySlot, 3, {3, 4, 5}},
                    TStartCase{"NegativeWriteIndex", -1, 2, EverySlot, 61, {61, 62}},
                    TStartCase{"BrokenHighCount", 10, 1000, EverySlot, 10, SlotRange(10, 64)},
                    TStartCase{"NegativeCount", 10, -1, EverySlot, 10, {}}),
    [](const testing::TestParamInfo<TStartCase>& info) { return info.param.Name; });

// A terminal that starts while another is still taking entries: the ring is the later one's
// from its publication on. The earlier takes nothing more, and the later goes on from the
// oldest entry left, so every entry is taken once, in ring order.
TEST_F(Intake, ATerminalTakingOverDuringAPassGoesOnWhereTheEarlierStopped)
{
    const HWND earlier = HandleOf(0x4242);
    const HWND later = HandleOf(0x5151);
    Area().TerminalWnd = 0x4242;
    Area().WriteIndex = 50;
    Area().PendingCount = 40; // slots 10 to 49
    std::int32_t earlierOrder = 10;
    std::int32_t laterOrder = -1;
    std::vector<TTaken> byLater;
    const auto build = [](const TSlotEntry& entry) { return TTaken{entry.Channel, entry.Time, std::string(entry.Text)}; };

    DrainPending(
        Area(), Exchange.Mutex(), earlier, earlierOrder, build,
        [&](TTaken taken) {
            if (Delivered.empty())
                PublishTerminal(Area(), Exchange.Mutex(), later, laterOrder); // between two runs
            Delivered.push_back(std::move(taken));
        },
        NoBudget);
    ASSERT_LT(Delivered.size(), 40u) << "the earlier terminal went on taking";
    EXPECT_EQ(laterOrder, 10 + static_cast<std::int32_t>(Delivered.size()));
    DrainPending(Area(), Exchange.Mutex(), later, laterOrder, build,
                 [&](TTaken taken) { byLater.push_back(std::move(taken)); }, NoBudget);

    std::vector<TTaken> expected;
    for (const int slot : SlotRange(10, 40))
        expected.push_back(Expected(slot));
    Delivered.insert(Delivered.end(), byLater.begin(), byLater.end());
    EXPECT_EQ(Delivered, expected);
    EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_EQ(laterOrder, 50);
}

// A terminal that starts during a pass gets the mutex between two entries of a run; from then
// on the pass takes nothing more, and the rest waits for the later terminal.
TEST_F(Intake, APeerPublishingBetweenTwoEntriesEndsThePass)
{
    constexpr std::uint64_t laterTerminal = 20817;
    TNamedEvent waiting;
    std::unique_ptr<TPeer> peer;
    const HWND window = HandleOf(0x4242);
    Area().TerminalWnd = 0x4242;
    Area().WriteIndex = 5;
    Area().PendingCount = 5;
    std::int32_t order = 0;

    const std::optional<TDrainResult> result = DrainPending(
        Area(), Exchange.Mutex(), window, order,
        [&](const TSlotEntry& entry) {
            if (!peer) // the mutex is held here: the peer starts to wait for it
                peer = StartWaitingPeer(L"publish", waiting, std::to_wstring(laterTerminal));
            return TTaken{entry.Channel, entry.Time, std::string(entry.Text)};
        },
        [&](TTaken taken) { Delivered.push_back(std::move(taken)); }, NoBudget);

    ASSERT_TRUE(peer && peer->Started());
    EXPECT_EQ(peer->Finish(), 0u);
    EXPECT_EQ(Area().TerminalWnd, laterTerminal);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->Taken, 1);
    EXPECT_EQ(Delivered, std::vector<TTaken>{Expected(0)});
    EXPECT_EQ(Area().PendingCount, 4);
    EXPECT_EQ(order, 1);
}

// ---- shutdown reset ------------------------------------------------------------------------

struct TResetCase {
    const char* Name;
    std::uint64_t Published; // what TerminalWnd holds at the shutdown
    bool Clears;
};

void PrintTo(const TResetCase& reset, std::ostream* out) { *out << reset.Name; }

class ShutdownReset : public testing::TestWithParam<TResetCase> {};

constexpr std::uint64_t ClosingTerminal = 0x1122334455667788u;

// The shutdown clears the terminal state, unless another terminal took the ring over: then all
// of it is the other's.
TEST_P(ShutdownReset, ClearsExactlyTheTerminalStateByteForByte)
{
    const TResetCase& reset = GetParam();
    TTestArea exchange;
    ASSERT_TRUE(exchange.Ready());
    exchange.FillPattern();
    TShmArea& area = exchange.Area();
    area.PendingCount = 5;
    area.TerminalWnd = reset.Published;
    area.WriteIndex = 17;
    for (auto& on : area.ChannelOn)
        on = 1;
    for (const auto& text : area.SlotText)
        ASSERT_NE(text[0], 0); // the pattern leaves every length byte set
    const auto before = exchange.Bytes();

    ASSERT_TRUE(ResetTerminalState(area, exchange.Mutex(), HandleOf(ClosingTerminal)));
    EXPECT_TRUE(OtherThreadCanTake(exchange.Mutex()));
    if (!reset.Clears) {
        EXPECT_TRUE(SameBytes(before, exchange.Bytes()));
        WithdrawTerminalWnd(area, HandleOf(ClosingTerminal)); // the shutdown without the mutex
        EXPECT_EQ(area.TerminalWnd, reset.Published);
        return;
    }

    std::vector<std::uint8_t> expected = before;
    PutValue(expected, offsetof(TShmArea, PendingCount), std::int32_t{0});
    PutValue(expected, offsetof(TShmArea, TerminalWnd), std::uint64_t{0});
    PutValue(expected, offsetof(TShmArea, WriteIndex), std::int32_t{0});
    for (int slot = 0; slot < Shm::SlotCount; ++slot)
        expected[LengthOffset(slot)] = 0;
    for (int channel = 0; channel < Shm::ChannelCount; ++channel)
        expected[offsetof(TShmArea, ChannelOn) + channel] = 0;
    EXPECT_TRUE(SameBytes(expected, exchange.Bytes()));
}

INSTANTIATE_TEST_SUITE_P(Shm, ShutdownReset,
                         testing::Values(TResetCase{"ItsOwnWindow", ClosingTerminal, true},
                                         TResetCase{"NoWindow", 0, true},
                                         TResetCase{"AnotherTerminalsWindow", 0x5151, false}),
                         [](const testing::TestParamInfo<TResetCase>& info) { return info.param.Name; });

} // namespace
