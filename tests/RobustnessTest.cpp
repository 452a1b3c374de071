// The terminal as a program against what any program of the user's session can do to it:
// random area contents, senders that die or stall while they hold the mutex, floods from
// several senders, a second terminal, damaged areas at start-up. Every party is a process
// of its own; the test watches the real area and reads the terminal's list from outside.
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "DebugMain.h"
#include "SenderCore.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "ShmIntake.h"
#include "ShmLock.h"
#include "ShmTestSupport.h"
#include "TextCodec.h"
#include "WinHandles.h"
#include "support/ClipboardReader.h"
#include "support/SmallSection.h"
#include "support/TempDir.h"
#include "support/TerminalProcess.h"
#include "support/TestFiles.h"
#include "support/Unwritable.h"

namespace {

using namespace TerminalProcess;

constexpr DWORD AnswerLimitMs = 200;  // the window must answer another process within this
constexpr DWORD ProbeIntervalMs = 5;
constexpr DWORD FloodLimitMs = 60000; // a flood's senders and the intake behind them
constexpr DWORD HoldMs = 2000;        // how long a stalled sender keeps the mutex
constexpr DWORD HoldLookMs = 50;
constexpr wchar_t FuzzerExeName[] = L"vt_area_fuzzer.exe";
constexpr wchar_t SenderExeName[] = L"vtsend.exe";
constexpr wchar_t BufferedPeerExeName[] = L"vt_buffered_peer.exe";
constexpr wchar_t ErrorBoxCaption[] = L"Vellumtrace64";
constexpr wchar_t CopyPrefix[] = L"vt_robust_";

std::wstring Number(std::uint64_t value) { return std::to_wstring(value); }

std::wstring HandleText(HWND window) { return Number(reinterpret_cast<UINT_PTR>(window)); }

// The test's own view of the real exchange area and its own handle of the mutex.
class TExchange {
public:
    TExchange()
    {
        FShared.SetSectionName(Shm::SectionName);
        FShared.SetDataSize(Shm::AreaSize);
        FShared.Open();
        FMutex.Reset(CreateMutexW(nullptr, FALSE, Shm::MutexName));
    }

    // For reading what others write meanwhile.
    volatile TShmArea& Area() const { return *static_cast<volatile TShmArea*>(FShared.Data()); }
    HANDLE Mutex() const { return FMutex.Get(); }

    std::vector<std::uint8_t> Bytes() const
    {
        const volatile auto* bytes = static_cast<const volatile std::uint8_t*>(FShared.Data());
        return std::vector<std::uint8_t>(bytes, bytes + Shm::AreaSize);
    }

    // Runs access(area) under the mutex; false when it could not be had.
    bool Locked(const std::function<void(TShmArea&)>& access) const
    {
        const TShmLock lock(FMutex.Get(), WaitLimitMs);
        if (!lock.Acquired())
            return false;
        access(*static_cast<TShmArea*>(FShared.Data()));
        return true;
    }

    HWND Published() const { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(Area().TerminalWnd)); }

private:
    TSharedData FShared{nullptr};
    TUniqueHandle FMutex;
};

// Writes one entry into the next slot as a sender that keeps the rules does; the caller
// holds the mutex and sets the count.
void PutNext(TShmArea& area, const std::string& text, std::uint8_t channel = 0)
{
    const std::int32_t slot = Shm::WrapSlot(area.WriteIndex);
    area.SlotChannel[slot] = channel;
    area.SlotTime[slot] = 0;
    area.SlotText[slot][0] = static_cast<std::uint8_t>(text.size());
    std::memcpy(&area.SlotText[slot][1], text.data(), text.size());
    area.WriteIndex = Shm::WrapSlot(slot + 1);
}

std::wstring AnsiText(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

UINT DebugEntryMessage() { return RegisterWindowMessageW(Shm::DebugEntryMessageName); }

// A terminal started from a copy of its own (or from the caller's), once it has published
// its window.
class TTerminal {
public:
    explicit TTerminal(const TExchange& exchange) { Start(exchange, FOwnCopy.emplace(CopyPrefix)); }
    TTerminal(const TExchange& exchange, const TTerminalCopy& copy) { Start(exchange, copy); }

    bool Ready() const { return List != nullptr; }
    bool Running() const { return Process && Process->Running(); }
    int Count() const { return static_cast<int>(SendMessageW(List, LB_GETCOUNT, 0, 0)); }
    std::vector<std::wstring> Lines() const { return ListLines(List); }

    // All lines, through the terminal's own "Copy selected lines" with every line selected:
    // one clipboard read instead of a round trip to the terminal per line.
    std::vector<std::wstring> CopiedLines() const
    {
        std::vector<std::wstring> lines;
        if (!ClipboardReader::PutClipboardText("no copy"))
            return lines;
        SendMessageW(List, LB_SETSEL, TRUE, -1);
        SendMessageW(Window, WM_COMMAND, MAKEWPARAM(cmEdit1, 0), 0);
        const std::string block = ClipboardReader::ReadClipboardText().Bytes;
        const std::string text = block.substr(0, block.find('\0'));
        for (std::size_t begin = 0, end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2)
            lines.push_back(AnsiText(text.substr(begin, end - begin)));
        return lines;
    }

    // Closes the window as the title bar does; the exit code.
    DWORD Close(DWORD limitMs = WaitLimitMs) const
    {
        PostMessageW(Window, WM_CLOSE, 0, 0);
        return Process->Finish(limitMs);
    }

private:
    void Start(const TExchange& exchange, const TTerminalCopy& copy)
    {
        if (!copy.Copied)
            return;
        Process.emplace(copy.Exe, L"");
        if (!Process->Started())
            return;
        PollUntil([&] {
            DWORD owner = 0;
            GetWindowThreadProcessId(exchange.Published(), &owner);
            return owner == Process->Id || !Process->Running();
        });
        if (DWORD owner = 0; GetWindowThreadProcessId(exchange.Published(), &owner) != 0 && owner == Process->Id) {
            Window = exchange.Published();
            List = FindControl(Window, idDbDisplay);
        }
    }

    std::optional<TTerminalCopy> FOwnCopy; // before Process: the copy outlives the process

public:
    std::optional<TProcess> Process;
    HWND Window = nullptr;
    HWND List = nullptr;
};

// Asks the window from another thread, every few milliseconds, whether it answers in time.
class TAnswerProbe {
public:
    explicit TAnswerProbe(HWND window) : FWindow(window), FThread([this] { Run(); }) {}
    ~TAnswerProbe() { Stop(); }
    TAnswerProbe(const TAnswerProbe&) = delete;
    TAnswerProbe& operator=(const TAnswerProbe&) = delete;

    void Stop()
    {
        FStop = true;
        if (FThread.joinable())
            FThread.join();
    }
    int Calls() const { return FCalls; }
    int Failures() const { return FFailures; }

private:
    void Run()
    {
        while (!FStop) {
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(FWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, AnswerLimitMs, &result) == 0)
                ++FFailures;
            ++FCalls;
            Sleep(ProbeIntervalMs);
        }
    }

    HWND FWindow;
    std::atomic<bool> FStop{false};
    std::atomic<int> FCalls{0};
    std::atomic<int> FFailures{0};
    std::thread FThread; // last: starts once the rest is set up
};

// vtsend with these arguments, to its end; its exit code.
DWORD Send(const std::wstring& arguments)
{
    TProcess sender(BinDirectory() + SenderExeName, arguments);
    return sender.Started() ? sender.Finish(FloodLimitMs) : STILL_ACTIVE;
}

std::vector<std::wstring> Numbered(const std::wstring& prefix, int first, int last)
{
    std::vector<std::wstring> lines;
    for (int i = first; i <= last; ++i)
        lines.push_back(prefix + L" " + Number(static_cast<std::uint64_t>(i)));
    return lines;
}

std::vector<std::wstring> WithPrefix(const std::vector<std::wstring>& lines, const std::wstring& prefix)
{
    std::vector<std::wstring> found;
    for (const std::wstring& line : lines)
        if (line.starts_with(prefix))
            found.push_back(line);
    return found;
}

bool WaitForEvent(const ShmTest::TNamedEvent& event, const TProcess& process)
{
    return PollUntil([&] { return WaitForSingleObject(event.Get(), 0) == WAIT_OBJECT_0 || !process.Running(); }) &&
           process.Running();
}

// ---- a count no sender that keeps the rules can write --------------------------------------

class BrokenCount : public testing::TestWithParam<std::int32_t> {};

// Every slot holds a distinct entry; a broken count takes each of them once, in ring order
// from the senders' next slot, the oldest an entry can be in, wherever the read index stood;
// the read index ends there, in step with the senders again.
TEST_P(BrokenCount, IsOneSweepOfTheRingFromTheSendersNextSlot)
{
    ShmTest::TTestArea exchange;
    ASSERT_TRUE(exchange.Ready());
    for (int slot = 0; slot < Shm::SlotCount; ++slot)
        exchange.PutSlot(slot, 0, 0, "entry " + std::to_string(slot));

    for (const std::int32_t start : {0, 37}) {
        for (int slot = 0; slot < Shm::SlotCount; ++slot)
            exchange.Area().SlotText[slot][0] = static_cast<std::uint8_t>(("entry " + std::to_string(slot)).size());
        exchange.Area().PendingCount = GetParam();
        exchange.Area().WriteIndex = start;
        std::int32_t order = (start + 5) % Shm::SlotCount;
        std::vector<std::string> taken;
        const TDrainResult result = DrainRing(
            exchange.Area(), exchange.Mutex(), order, [](const TSlotEntry& entry) { return std::string(entry.Text); },
            [&](std::string text) { taken.push_back(std::move(text)); }, 4 * Shm::SlotCount);

        std::vector<std::string> expected;
        for (int i = 0; i < Shm::SlotCount; ++i)
            expected.push_back("entry " + std::to_string((start + i) % Shm::SlotCount));
        EXPECT_EQ(taken, expected) << start;
        EXPECT_EQ(result.Stop, TDrainStop::Done) << start;
        EXPECT_EQ(order, start);
        EXPECT_EQ(exchange.Area().PendingCount, 0) << start;
    }
}

INSTANTIATE_TEST_SUITE_P(Robustness, BrokenCount,
                         testing::Values(Shm::SlotCount + 1, 1000, std::numeric_limits<std::int32_t>::max()));

// What one take leaves of a count: one less, a broken high count cut to a ring's worth, the
// lowest value kept as it is instead of wrapping round.
TEST(Robustness, OneTakeLeavesTheCountOfTheTable)
{
    ShmTest::TTestArea exchange;
    ASSERT_TRUE(exchange.Ready());
    constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
    const struct {
        std::int32_t Before;
        std::int32_t After;
    } cases[] = {{Shm::SlotCount, Shm::SlotCount - 1}, {1, 0}, {0, -1}, {-5, -6}, {lowest, lowest},
                 {Shm::SlotCount + 1, Shm::SlotCount - 1}, {highest, Shm::SlotCount - 1}};
    for (const auto& c : cases) {
        exchange.Area().PendingCount = c.Before;
        const std::optional<std::int32_t> left = TakeEntry(exchange.Area(), exchange.Mutex(), 5, [](const TSlotEntry&) {});
        EXPECT_EQ(left, c.After) << c.Before;
        EXPECT_EQ(exchange.Area().PendingCount, c.After) << c.Before;
    }
}

// ---- hostile writers ---------------------------------------------------------------------------

TEST(Robustness, RandomAreaContentsNeitherBreakNorBlockTheTerminal)
{
    TExchange exchange;
    ASSERT_TRUE(exchange.Locked([](TShmArea& area) {
        for (std::size_t i = 0; i < sizeof area.Reserved1; ++i)
            area.Reserved1[i] = static_cast<std::uint8_t>(0xA0 + i);
        for (std::size_t i = 0; i < sizeof area.Reserved2; ++i)
            area.Reserved2[i] = static_cast<std::uint8_t>(0xB0 + i);
    }));
    const auto reservedBefore = exchange.Bytes();
    TTerminal terminal(exchange);
    ASSERT_TRUE(terminal.Ready());

    TAnswerProbe probe(terminal.Window);
    for (const int seed : {1, 2, 3}) {
        TProcess fuzzer(BinDirectory() + FuzzerExeName, L"fuzz " + HandleText(terminal.Window) + L" 1000 " + Number(seed));
        ASSERT_TRUE(fuzzer.Started());
        EXPECT_EQ(fuzzer.Finish(), 0u) << seed;
        ASSERT_TRUE(terminal.Running()) << seed;
    }
    probe.Stop();
    EXPECT_GT(probe.Calls(), 0);
    EXPECT_EQ(probe.Failures(), 0) << "of " << probe.Calls();

    // The mutex is free, the terminal wrote nothing it does not own, and showed no error.
    const DWORD wait = WaitForSingleObject(exchange.Mutex(), Shm::LockTimeoutMs);
    EXPECT_EQ(wait, static_cast<DWORD>(WAIT_OBJECT_0));
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
        ReleaseMutex(exchange.Mutex());
    const auto after = exchange.Bytes();
    const struct {
        std::size_t Offset;
        std::size_t Size;
    } reserved[] = {{offsetof(TShmArea, Reserved1), sizeof(TShmArea::Reserved1)},
                    {offsetof(TShmArea, Reserved2), sizeof(TShmArea::Reserved2)}};
    for (const auto& range : reserved)
        for (std::size_t i = range.Offset; i < range.Offset + range.Size; ++i)
            EXPECT_EQ(after[i], reservedBefore[i]) << i;
    EXPECT_EQ(exchange.Published(), terminal.Window);
    EXPECT_EQ(FindMessageBox(terminal.Process->Id, ErrorBoxCaption), nullptr);

    // Intake still works: one marker per slot finds the read index, then a sender in step
    // with it gets every line through.
    ASSERT_TRUE(exchange.Locked([](TShmArea& area) {
        for (int slot = 0; slot < Shm::SlotCount; ++slot) {
            area.WriteIndex = slot;
            PutNext(area, "sync " + std::to_string(slot));
        }
        area.PendingCount = 1;
        std::memset(area.ChannelOn, 1, sizeof area.ChannelOn);
    }));
    PostMessageW(terminal.Window, DebugEntryMessage(), 0, 0);
    std::wstring marker;
    ASSERT_TRUE(PollUntil([&] {
        const int count = terminal.Count();
        if (count <= 0 || exchange.Area().PendingCount != 0)
            return false;
        const std::vector<std::wstring> lines = terminal.Lines();
        marker = lines.back();
        return marker.starts_with(L"-M- sync ");
    }));
    const int order = (std::stoi(marker.substr(9)) + 1) % Shm::SlotCount;
    ASSERT_TRUE(exchange.Locked([&](TShmArea& area) { area.WriteIndex = order; }));
    EXPECT_EQ(Send(L"--count 20 after"), 0u);
    ASSERT_TRUE(PollUntil([&] { return exchange.Area().PendingCount == 0 && terminal.Lines().back() == L"-M- after 20"; }));
    const std::vector<std::wstring> lines = terminal.Lines();
    EXPECT_EQ(std::vector<std::wstring>(lines.end() - 21, lines.end()),
              [&] {
                  std::vector<std::wstring> expected{marker};
                  for (const std::wstring& line : Numbered(L"-M- after", 1, 20))
                      expected.push_back(line);
                  return expected;
              }());
    EXPECT_EQ(terminal.Close(), 0u);
}

TEST(Robustness, BrokenHighCountTakesTheRingOnceLosesNoEntryAndStaysInStep)
{
    TExchange exchange;
    TTerminal terminal(exchange);
    ASSERT_TRUE(terminal.Ready());
    ASSERT_EQ(Send(L"before"), 0u);
    ASSERT_TRUE(PollUntil([&] { return terminal.Count() == 1; }));

    // Three entries written by the rules, then the count overwritten by a broken program.
    ASSERT_TRUE(exchange.Locked([](TShmArea& area) {
        for (const char* text : {"real 1", "real 2", "real 3"})
            PutNext(area, text);
        area.PendingCount = std::numeric_limits<std::int32_t>::max();
    }));
    TAnswerProbe probe(terminal.Window);
    PostMessageW(terminal.Window, DebugEntryMessage(), 0, 0);
    ASSERT_TRUE(PollUntil([&] { return exchange.Area().PendingCount == 0; }));
    // One more notification, handled before SendMessage returns, takes nothing more.
    SendMessageW(terminal.Window, DebugEntryMessage(), 0, 0);
    probe.Stop();
    EXPECT_EQ(probe.Failures(), 0) << "of " << probe.Calls();

    // The sweep starts at the senders' next slot: first the emptied slots, as empty lines,
    // then the real entries, oldest first.
    std::vector<std::wstring> expected(Shm::SlotCount - 2);
    expected.front() = L"-M- before";
    for (const wchar_t* line : {L"-M- real 1", L"-M- real 2", L"-M- real 3"})
        expected.push_back(line);
    EXPECT_EQ(terminal.Lines(), expected);
    EXPECT_EQ(exchange.Area().PendingCount, 0);

    // The sweep ended where the senders write next.
    ASSERT_EQ(Send(L"after"), 0u);
    expected.push_back(L"-M- after");
    EXPECT_TRUE(PollUntil([&] { return terminal.Count() == static_cast<int>(expected.size()); }));
    EXPECT_EQ(terminal.Lines(), expected);
    EXPECT_EQ(terminal.Close(), 0u);
}

// ---- senders that break the lock rules -----------------------------------------------------

TEST(Robustness, SenderKilledWhileHoldingTheMutexDoesNotStopTheIntake)
{
    TExchange exchange;
    TTerminal terminal(exchange);
    ASSERT_TRUE(terminal.Ready());
    ASSERT_EQ(Send(L"before"), 0u);
    ASSERT_TRUE(PollUntil([&] { return terminal.Count() == 1; }));
    TAnswerProbe probe(terminal.Window);

    const ShmTest::TNamedEvent ready;
    const ShmTest::TNamedEvent never;
    TProcess victim(BinDirectory() + FuzzerExeName,
                    L"hold " + ready.Name + L" " + never.Name + L" " + Number(FloodLimitMs) + L" 2 victim");
    ASSERT_TRUE(victim.Started());
    ASSERT_TRUE(WaitForEvent(ready, victim));
    victim.Kill();
    EXPECT_EQ(victim.Finish(), TProcess::KilledExitCode);

    TProcess one(BinDirectory() + SenderExeName, L"-c 1 --count 100 one");
    TProcess two(BinDirectory() + SenderExeName, L"-c 2 --count 100 two");
    EXPECT_EQ(one.Finish(FloodLimitMs), 0u);
    EXPECT_EQ(two.Finish(FloodLimitMs), 0u);
    EXPECT_TRUE(PollUntil([&] { return terminal.Count() == 3 + 200; }));
    probe.Stop();
    EXPECT_EQ(probe.Failures(), 0) << "of " << probe.Calls();

    // The victim's entries were complete: they come first, as ring order has them.
    const std::vector<std::wstring> lines = terminal.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::wstring>(lines.begin(), lines.begin() + 3),
              (std::vector<std::wstring>{L"-M- before", L"-M- victim 1", L"-M- victim 2"}));
    EXPECT_EQ(WithPrefix(lines, L"-1- "), Numbered(L"-1- one", 1, 100));
    EXPECT_EQ(WithPrefix(lines, L"-2- "), Numbered(L"-2- two", 1, 100));
    EXPECT_EQ(WaitForSingleObject(exchange.Mutex(), Shm::LockTimeoutMs), static_cast<DWORD>(WAIT_OBJECT_0));
    ReleaseMutex(exchange.Mutex());
    EXPECT_EQ(terminal.Close(), 0u);
}

TEST(Robustness, MutexHeldForSecondsLeavesTheAreaAloneAndTheEntriesComeAfterwards)
{
    TExchange exchange;
    TTerminal terminal(exchange);
    ASSERT_TRUE(terminal.Ready());
    TAnswerProbe probe(terminal.Window);

    // The holder counts five entries and notifies while it holds the mutex; no notification
    // follows when it lets go.
    const ShmTest::TNamedEvent ready;
    const ShmTest::TNamedEvent release;
    TProcess holder(BinDirectory() + FuzzerExeName,
                    L"hold " + ready.Name + L" " + release.Name + L" " + Number(WaitLimitMs) + L" 5 held");
    ASSERT_TRUE(holder.Started());
    ASSERT_TRUE(WaitForEvent(ready, holder));
    const auto held = exchange.Bytes();
    int looks = 0;
    for (const ULONGLONG end = GetTickCount64() + HoldMs; GetTickCount64() < end; ++looks) {
        EXPECT_EQ(exchange.Bytes(), held) << "look " << looks;
        EXPECT_EQ(terminal.Count(), 0) << "look " << looks;
        Sleep(HoldLookMs);
    }
    SetEvent(release.Get());
    EXPECT_EQ(holder.Finish(), 0u);

    EXPECT_TRUE(PollUntil([&] { return terminal.Count() == 5; }));
    probe.Stop();
    EXPECT_EQ(probe.Failures(), 0) << "of " << probe.Calls();
    EXPECT_EQ(terminal.Lines(), Numbered(L"-M- held", 1, 5));
    EXPECT_EQ(exchange.Area().PendingCount, 0);
    EXPECT_EQ(terminal.Close(), 0u);
}

// ---- floods --------------------------------------------------------------------------------

constexpr int FloodSenders = 4;

// Senders on channels 1 to 4 send `each` numbered lines "s<k> 1".. at once: on channel 1
// vtsend, which writes its lines in batches; on channel 2 a naive sender, one entry per hold
// of the mutex and one notification per entry; on channel 3 a client program in the sender's
// buffered mode; on channel 4 a quick one that writes up to a ring's worth per hold.
void Flood(int each)
{
    std::vector<std::unique_ptr<TProcess>> running;
    for (int k = 1; k <= FloodSenders; ++k) {
        const std::wstring channel = Number(static_cast<std::uint64_t>(k));
        const std::wstring count = Number(static_cast<std::uint64_t>(each));
        const std::wstring text = L" s" + channel;
        if (k == 1)
            running.push_back(std::make_unique<TProcess>(BinDirectory() + SenderExeName,
                                                         L"-c " + channel + L" --count " + count + L" --full-wait-ms 30000" + text));
        else if (k == 3)
            running.push_back(std::make_unique<TProcess>(BinDirectory() + BufferedPeerExeName,
                                                         channel + L" " + count + text + L" close"));
        else
            running.push_back(std::make_unique<TProcess>(
                BinDirectory() + FuzzerExeName, L"flood " + channel + L" " + count + text + (k == 2 ? L" 1" : L" 64")));
        EXPECT_TRUE(running.back()->Started());
    }
    for (const auto& sender : running)
        EXPECT_EQ(sender->Finish(FloodLimitMs), 0u);
}

std::wstring SenderPrefix(int k)
{
    const std::wstring channel = Number(static_cast<std::uint64_t>(k));
    return L"-" + channel + L"- s" + channel;
}

TEST(Robustness, FloodFromSeveralSendersShowsEveryEntryOnceInOrder)
{
    constexpr int each = 1000;
    TExchange exchange;
    TTerminal terminal(exchange);
    ASSERT_TRUE(terminal.Ready());
    Flood(each);
    EXPECT_TRUE(PollUntil([&] { return exchange.Area().PendingCount == 0 && terminal.Count() == FloodSenders * each; }, FloodLimitMs));

    const std::vector<std::wstring> lines = terminal.CopiedLines();
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(FloodSenders * each));
    for (int k = 1; k <= FloodSenders; ++k)
        EXPECT_EQ(WithPrefix(lines, SenderPrefix(k) + L" "), Numbered(SenderPrefix(k), 1, each)) << k;
    EXPECT_EQ(terminal.Close(), 0u);
}

TEST(Robustness, FloodBeyondTheDefaultLimitKeepsTheNewestEntriesGapFree)
{
    constexpr int limit = 32000;
    constexpr int overhead = 128;
    constexpr int each = (limit + overhead) / FloodSenders + 100; // some beyond the first trim
    TExchange exchange;
    TTerminal terminal(exchange);
    ASSERT_TRUE(terminal.Ready());
    Flood(each);
    // Settled: nothing pending and no trim outstanding (a longer list has one queued).
    int last = -1;
    EXPECT_TRUE(PollUntil([&] {
        const int count = terminal.Count();
        const bool settled = exchange.Area().PendingCount == 0 && count <= limit + overhead && count == last;
        last = count;
        return settled;
    }, FloodLimitMs));

    const std::vector<std::wstring> lines = terminal.CopiedLines();
    EXPECT_GE(lines.size(), static_cast<std::size_t>(limit));
    EXPECT_LE(lines.size(), static_cast<std::size_t>(limit + overhead));
    std::size_t shown = 0;
    for (int k = 1; k <= FloodSenders; ++k) {
        // Each sender's lines are its newest ones, without a gap and in its order.
        const std::vector<std::wstring> mine = WithPrefix(lines, SenderPrefix(k) + L" ");
        shown += mine.size();
        EXPECT_EQ(mine, Numbered(SenderPrefix(k), each - static_cast<int>(mine.size()) + 1, each)) << k;
    }
    EXPECT_EQ(shown, lines.size());
    EXPECT_EQ(terminal.Close(FloodLimitMs), 0u);
}

// ---- two terminals -------------------------------------------------------------------------

class TwoTerminals : public testing::TestWithParam<bool> {};

// The area is the later terminal's: closing the later clears it, closing the earlier leaves
// the later one reachable and its entries waiting.
TEST_P(TwoTerminals, TheLaterGetsTheEntriesAndOnlyItsClosingClearsTheArea)
{
    const bool closeLater = GetParam();
    TExchange exchange;
    TTerminal first(exchange);
    ASSERT_TRUE(first.Ready());
    ASSERT_EQ(Send(L"--count 3 first"), 0u);
    ASSERT_TRUE(PollUntil([&] { return first.Count() == 3; }));

    TTerminal second(exchange);
    ASSERT_TRUE(second.Ready());
    EXPECT_EQ(exchange.Published(), second.Window);
    ASSERT_EQ(Send(L"--count 3 second"), 0u);
    EXPECT_TRUE(PollUntil([&] { return second.Count() == 3; }));
    EXPECT_EQ(second.Lines(), Numbered(L"-M- second", 1, 3));
    EXPECT_EQ(first.Lines(), Numbered(L"-M- first", 1, 3));

    const TTerminal& closing = closeLater ? second : first;
    const TTerminal& staying = closeLater ? first : second;
    std::vector<std::wstring> staysShown = staying.Lines();
    EXPECT_EQ(closing.Close(), 0u);
    if (closeLater) {
        EXPECT_EQ(exchange.Area().TerminalWnd, 0u);
        EXPECT_EQ(exchange.Area().PendingCount, 0);
        EXPECT_EQ(exchange.Area().WriteIndex, 0);
        for (int slot = 0; slot < Shm::SlotCount; ++slot)
            EXPECT_EQ(exchange.Area().SlotText[slot][0], 0) << slot;
        for (int channel = 0; channel < Shm::ChannelCount; ++channel)
            EXPECT_EQ(exchange.Area().ChannelOn[channel], 0) << channel;
    } else {
        EXPECT_EQ(exchange.Published(), second.Window);
        EXPECT_EQ(exchange.Area().ChannelOn[0], 1);
        ASSERT_EQ(Send(L"--count 2 still"), 0u);
        const std::vector<std::wstring> more = Numbered(L"-M- still", 1, 2);
        staysShown.insert(staysShown.end(), more.begin(), more.end());
        EXPECT_TRUE(PollUntil([&] { return staying.Count() == static_cast<int>(staysShown.size()); }));
    }

    EXPECT_TRUE(staying.Running());
    EXPECT_TRUE(IsWindow(staying.Window));
    EXPECT_EQ(staying.Lines(), staysShown);
    EXPECT_EQ(staying.Close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Robustness, TwoTerminals, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return info.param ? "CloseTheLaterOne" : "CloseTheEarlierOne";
});

TEST(Robustness, SecondTerminalStartedDuringAFloodTakesOverWithoutLoss)
{
    constexpr int total = 2000;
    TExchange exchange;
    TTerminal first(exchange);
    ASSERT_TRUE(first.Ready());
    TProcess sender(BinDirectory() + SenderExeName,
                    L"--count " + Number(total) + L" --interval-ms 1 --full-wait-ms 30000 flood");
    ASSERT_TRUE(sender.Started());
    ASSERT_TRUE(PollUntil([&] { return first.Count() >= 50; }));

    TTerminal second(exchange);
    ASSERT_TRUE(second.Ready());
    EXPECT_EQ(sender.Finish(FloodLimitMs), 0u);
    EXPECT_TRUE(PollUntil([&] { return exchange.Area().PendingCount == 0 && first.Count() + second.Count() == total; }));

    // The earlier terminal shows the first part, the later one the rest.
    std::vector<std::wstring> lines = first.CopiedLines();
    const std::vector<std::wstring> rest = second.CopiedLines();
    EXPECT_GT(rest.size(), 0u) << "the flood ended before the second terminal took over";
    lines.insert(lines.end(), rest.begin(), rest.end());
    EXPECT_EQ(lines, Numbered(L"-M- flood", 1, total));
    EXPECT_EQ(second.Close(), 0u);
    EXPECT_EQ(first.Close(), 0u);
}

// ---- the area at start-up --------------------------------------------------------------------

class SmallArea : public testing::TestWithParam<DWORD> {};

TEST_P(SmallArea, IsShownAsTheOpenFailureAndNeverTouched)
{
    const DWORD size = GetParam();
    const TSmallSection section(size);
    ASSERT_TRUE(section.Made());
    const std::wstring expected = TSmallSection::OpenFailureMessage();
    ASSERT_FALSE(expected.empty()) << "a section of " << size << " bytes could be mapped as the area";

    TTerminalCopy copy(CopyPrefix);
    ASSERT_TRUE(copy.Copied);
    TProcess terminal(copy.Exe, L"");
    ASSERT_TRUE(terminal.Started());
    HWND box = nullptr;
    ASSERT_TRUE(PollUntil([&] { return (box = FindMessageBox(terminal.Id, ErrorBoxCaption)) != nullptr; }));
    EXPECT_EQ(WindowText(GetDlgItem(box, MessageBoxTextId)), expected);
    EXPECT_TRUE(terminal.Running()); // waiting for the user
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(terminal.Finish(), static_cast<DWORD>(ExitAreaUnavailable));
    EXPECT_TRUE(section.Untouched());
}

INSTANTIATE_TEST_SUITE_P(Robustness, SmallArea, testing::Values(DWORD{1}, DWORD{4096}, DWORD{16384}));

class PendingAtStartUp : public testing::TestWithParam<bool> {};

TEST_P(PendingAtStartUp, EntriesAreTakenWithoutANotificationAndComeFromSlotZero)
{
    const bool afterKilledTerminal = GetParam();
    TExchange exchange;
    if (afterKilledTerminal) {
        // A terminal that ends without its shutdown leaves its handle and its place in the ring.
        TTerminal killed(exchange);
        ASSERT_TRUE(killed.Ready());
        ASSERT_EQ(Send(L"--count 5 old"), 0u);
        ASSERT_TRUE(PollUntil([&] { return killed.Count() == 5; }));
        killed.Process->Kill();
        EXPECT_EQ(exchange.Published(), killed.Window);
    }
    ASSERT_EQ(Send(L"--count 3 left"), 0u);
    EXPECT_EQ(exchange.Area().PendingCount, 3);

    // No sender notifies the new terminal: it looks for itself once it runs.
    TTerminal terminal(exchange);
    ASSERT_TRUE(terminal.Ready());
    EXPECT_TRUE(PollUntil([&] { return terminal.Count() == 3; }));
    EXPECT_EQ(exchange.Area().PendingCount, 0);
    ASSERT_EQ(Send(L"fourth"), 0u);
    EXPECT_TRUE(PollUntil([&] { return terminal.Count() == 4; }));
    std::vector<std::wstring> expected = Numbered(L"-M- left", 1, 3);
    expected.push_back(L"-M- fourth");
    EXPECT_EQ(terminal.Lines(), expected);
    EXPECT_EQ(terminal.Close(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Robustness, PendingAtStartUp, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return info.param ? "AfterAKilledTerminal" : "InAFreshArea";
});

// ---- a terminal killed in the middle of a flood ----------------------------------------------

constexpr int KilledFloodSenders = 4;
constexpr int KilledFloodLines = 8000; // per sender
constexpr DWORD LogSettledMs = 1000;   // the log's thread writes what it got within 200 ms

std::string LogSettings(const std::wstring& logFile)
{
    return "[LOG]\r\nENABLED=TRUE\r\nFILE=" + WideToAnsi(logFile) + "\r\n";
}

// The numbers of the lines "PREFIX N" in a log, in the order they stand there.
std::vector<int> LoggedNumbers(const std::string& log, const std::string& prefix)
{
    std::vector<int> numbers;
    for (std::size_t begin = 0, end; (end = log.find("\r\n", begin)) != std::string::npos; begin = end + 2)
        if (log.compare(begin, prefix.size(), prefix) == 0)
            numbers.push_back(std::stoi(log.substr(begin + prefix.size(), end - begin - prefix.size())));
    return numbers;
}

std::vector<int> Sequence(int first, int last)
{
    std::vector<int> numbers;
    for (int i = first; i <= last; ++i)
        numbers.push_back(i);
    return numbers;
}

// Stops the thread of a window where it stands, as a crash would stop it.
bool SuspendWindowThread(HWND window)
{
    const TUniqueHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(window, nullptr)));
    return thread && SuspendThread(thread.Get()) != static_cast<DWORD>(-1);
}

// Until the file has not grown for LogSettledMs.
bool WaitUntilSettled(const std::wstring& file)
{
    std::optional<std::size_t> size;
    ULONGLONG since = GetTickCount64();
    return PollUntil([&] {
        const std::optional<std::string> bytes = ReadFileBytes(file);
        const std::optional<std::size_t> now = bytes ? std::optional(bytes->size()) : std::nullopt;
        if (now != size) {
            size = now;
            since = GetTickCount64();
        }
        return size.has_value() && GetTickCount64() - since >= LogSettledMs;
    });
}

// A terminal that crashes while senders flood it leaves its place in the ring anywhere, with
// entries waiting. The next terminal takes each waiting entry once, oldest first, and stays in
// step with the senders to the end of the flood. The logs of both terminals are the record:
// the killed one's window thread is stopped first, so that its log holds every line it showed.
TEST(Robustness, TerminalKilledDuringAFloodLeavesEveryWaitingLineToTheNextInOrder)
{
    TExchange exchange;
    const TTempDir logs;
    const std::wstring killedLog = logs.File(L"killed.log");
    const std::wstring nextLog = logs.File(L"next.log");
    const TTerminalCopy killedCopy(CopyPrefix);
    const TTerminalCopy nextCopy(CopyPrefix);
    WriteFileBytes(killedCopy.SettingsFile, LogSettings(killedLog));
    WriteFileBytes(nextCopy.SettingsFile, LogSettings(nextLog));

    TTerminal killed(exchange, killedCopy);
    ASSERT_TRUE(killed.Ready());
    std::vector<std::unique_ptr<TProcess>> floods;
    for (int k = 1; k <= KilledFloodSenders; ++k)
        floods.push_back(std::make_unique<TProcess>(
            BinDirectory() + SenderExeName,
            L"--count " + Number(KilledFloodLines) + L" --full-wait-ms 60000 s" + Number(static_cast<std::uint64_t>(k))));
    ASSERT_TRUE(PollUntil([&] { return killed.Count() >= KilledFloodSenders * KilledFloodLines / 4; }));
    ASSERT_TRUE(SuspendWindowThread(killed.Window));
    ASSERT_TRUE(WaitUntilSettled(killedLog));
    killed.Process->Kill();
    EXPECT_GT(exchange.Area().PendingCount, 0) << "no entry waited for the next terminal";

    TTerminal next(exchange, nextCopy);
    ASSERT_TRUE(next.Ready());
    for (const auto& flood : floods)
        EXPECT_EQ(flood->Finish(FloodLimitMs), 0u) << "a sender dropped lines";
    EXPECT_TRUE(PollUntil([&] { return exchange.Area().PendingCount == 0; }));
    EXPECT_EQ(next.Close(), 0u);

    const std::string killedLines = ReadFileBytes(killedLog).value_or("");
    const std::string nextLines = ReadFileBytes(nextLog).value_or("");
    int unseen = 0;
    for (int k = 1; k <= KilledFloodSenders; ++k) {
        const std::string prefix = "-M- s" + std::to_string(k) + " ";
        const std::vector<int> before = LoggedNumbers(killedLines, prefix);
        const std::vector<int> after = LoggedNumbers(nextLines, prefix);
        EXPECT_EQ(before, Sequence(1, static_cast<int>(before.size()))) << prefix;
        ASSERT_FALSE(after.empty()) << prefix;
        EXPECT_EQ(after, Sequence(after.front(), KilledFloodLines)) << prefix << "lost or out of order";
        EXPECT_GT(after.front(), static_cast<int>(before.size())) << prefix << "taken twice";
        unseen += after.front() - 1 - static_cast<int>(before.size());
    }
    // Only the lines of one run can have been taken, and not yet shown, when the thread stopped.
    EXPECT_LE(unseen, HandOverRun);
}

// ---- settings files ------------------------------------------------------------------------------

// What the settings file decides at start-up, as another program sees it.
struct TStartState {
    int Left = 80;
    int Top = 80;
    int Width = 525;
    int Height = 480;
    std::array<bool, Shm::ChannelCount> Channels{true, true, true, true, true, true, true, true, true, true};
    std::wstring Limit = L"32000";
    bool OnTop = false;
    bool operator==(const TStartState&) const = default;
};

void PrintTo(const TStartState& state, std::ostream* out)
{
    *out << "{" << state.Left << ", " << state.Top << ", " << state.Width << " x " << state.Height << ", channels ";
    for (const bool on : state.Channels)
        *out << (on ? '1' : '0');
    *out << ", limit " << testing::PrintToString(state.Limit) << (state.OnTop ? ", on top}" : "}");
}

HWND ChannelBox(HWND window, int channel) { return FindControl(window, channel == 0 ? idCheckBox11 : idCheckBox1 + channel - 1); }

TStartState Observe(const TTerminal& terminal, const TExchange& exchange)
{
    TStartState state;
    RECT bounds{};
    GetWindowRect(terminal.Window, &bounds);
    state.Left = bounds.left;
    state.Top = bounds.top;
    state.Width = bounds.right - bounds.left;
    state.Height = bounds.bottom - bounds.top;
    for (int channel = 0; channel < Shm::ChannelCount; ++channel) {
        state.Channels[channel] = SendMessageW(ChannelBox(terminal.Window, channel), BM_GETCHECK, 0, 0) == BST_CHECKED;
        EXPECT_EQ(exchange.Area().ChannelOn[channel], state.Channels[channel] ? 1 : 0) << channel;
    }
    state.Limit = WindowText(FindControl(terminal.Window, idNoOfEdit));
    state.OnTop = (GetWindowLongPtrW(terminal.Window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    return state;
}

std::wstring ProfileValue(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    std::wstring value(2048, L'\0');
    value.resize(GetPrivateProfileStringW(section, key, L"", value.data(), static_cast<DWORD>(value.size()), file.c_str()));
    return value;
}

// An entry written straight into the area, so that it arrives whatever the switches say.
void Probe(const TTerminal& terminal, const TExchange& exchange)
{
    ASSERT_TRUE(exchange.Locked([](TShmArea& area) {
        PutNext(area, "probe");
        area.PendingCount = area.PendingCount + 1;
    }));
    PostMessageW(terminal.Window, DebugEntryMessage(), 0, 0);
}

struct TSettingsCase {
    const char* Name;
    std::function<std::string()> Content;
    // The documented start-up values for this content, from the defaults.
    std::function<void(TStartState&, const std::wstring& file)> Expect;
};

std::string RandomBytes()
{
    std::mt19937 random(20240305);
    std::string bytes(8192, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    bytes[0] = 'x'; // no byte-order mark: the file stays 8-bit text
    return bytes;
}

std::string VeryLongLines()
{
    return std::string(100000, 'x') + "\r\n[WINDOW]\r\nLEFT=" + std::string(5000, '1') + "\r\nTOP=90\r\n[" +
           std::string(3000, 'A') + "]\r\n" + std::string(3000, 'K') + "=1\r\n[CHANNELS]\r\nMAIN=0" + std::string(4000, 'x') +
           "\r\n[PREFERENCES]\r\nFONTNAME=" + std::string(5000, 'F') + "\r\nDISPLAYLINES=" + std::string(3000, '9') + "\r\n";
}

const TSettingsCase SettingsCases[] = {
    {"RandomBytes", RandomBytes, [](TStartState&, const std::wstring&) {}},
    {"VeryLongLines", VeryLongLines,
     [](TStartState& state, const std::wstring&) {
         state.Top = 90;           // LEFT is far out of range; the limit's 2047 nines too
         state.Channels[0] = false; // "0" and then junk: the first character decides
     }},
    {"DuplicatedSectionsAndKeys",
     [] {
         return std::string("[WINDOW]\r\nLEFT=100\r\nLEFT=150\r\n[CHANNELS]\r\nMAIN=0\r\n[WINDOW]\r\nTOP=110\r\n"
                            "LEFT=200\r\n[channels]\r\nMAIN=1\r\nCHANNEL1=0\r\n[PREFERENCES]\r\nDISPLAYLINES=700\r\n"
                            "DISPLAYLINES=800\r\n");
     },
     // Which of the duplicates counts is the profile functions' business.
     [](TStartState& state, const std::wstring& file) {
         state.Left = std::stoi(ProfileValue(file, L"WINDOW", L"LEFT"));
         if (const std::wstring top = ProfileValue(file, L"WINDOW", L"TOP"); !top.empty())
             state.Top = std::stoi(top);
         state.Channels[0] = ProfileValue(file, L"CHANNELS", L"MAIN").starts_with(L"1");
         if (const std::wstring one = ProfileValue(file, L"CHANNELS", L"CHANNEL1"); !one.empty())
             state.Channels[1] = one.starts_with(L"1");
         state.Limit = ProfileValue(file, L"PREFERENCES", L"DISPLAYLINES");
     }},
    {"MissingSectionsAndKeys",
     [] { return std::string("LEFT=300\r\nMAIN=0\r\n[OPTIONS]\r\n[CHANNELS]\r\nCHANNEL5=0\r\n[WINDOW]\r\n"); },
     [](TStartState& state, const std::wstring&) { state.Channels[5] = false; }},
    {"MalformedValues",
     [] {
         return std::string("[WINDOW]\r\nLEFT=\r\nTOP=12abc\r\nWIDTH=$FFFFFFFFF\r\nHEIGHT=99999999999\r\n[OPTIONS]\r\n"
                            "SCROLL=yes\r\nONTOP=tRuE\r\nDATE=1\r\nTIME=\r\nSTARTMINI=TRUEx\r\n[CHANNELS]\r\nMAIN=\r\n"
                            "CHANNEL1=10\r\nCHANNEL2=x\r\n[PREFERENCES]\r\nFONTNAME=\r\nFONTSIZE=-5\r\nFONTCOLOR=abc\r\n"
                            "WINDOWCOLOR=$1FFFFFFFF\r\nDISPLAYLINES=50000\r\n");
     },
     [](TStartState& state, const std::wstring&) {
         state.OnTop = true;
         state.Channels[0] = false;
         state.Channels[2] = false;
         state.Limit = L"32000";
     }},
};

void PrintTo(const TSettingsCase& settings, std::ostream* out) { *out << settings.Name; }

class DamagedSettings : public testing::TestWithParam<TSettingsCase> {};

TEST_P(DamagedSettings, StartUpGivesTheDocumentedValuesAndShutdownCompletes)
{
    const TSettingsCase& settings = GetParam();
    TExchange exchange;
    TTerminalCopy copy(CopyPrefix);
    ASSERT_TRUE(copy.Copied);
    WriteFileBytes(copy.SettingsFile, settings.Content());
    TStartState expected;
    settings.Expect(expected, copy.SettingsFile);

    TTerminal terminal(exchange, copy);
    ASSERT_TRUE(terminal.Ready());
    EXPECT_EQ(Observe(terminal, exchange), expected);
    // Neither date nor time is on, whatever the file says.
    Probe(terminal, exchange);
    EXPECT_TRUE(PollUntil([&] { return terminal.Count() == 1; }));
    EXPECT_EQ(terminal.Lines(), std::vector<std::wstring>{L"-M- probe"});

    EXPECT_EQ(terminal.Close(), 0u); // an error box would keep it from ending
    EXPECT_EQ(ProfileValue(copy.SettingsFile, L"PREFERENCES", L"DISPLAYLINES"), expected.Limit);
}

INSTANTIATE_TEST_SUITE_P(Robustness, DamagedSettings, testing::ValuesIn(SettingsCases),
                         [](const testing::TestParamInfo<TSettingsCase>& info) { return std::string(info.param.Name); });

// Closes the terminal, answering each error box it shows with OK; the boxes' texts.
std::vector<std::wstring> CloseAnsweringBoxes(const TTerminal& terminal)
{
    PostMessageW(terminal.Window, WM_CLOSE, 0, 0);
    std::vector<std::wstring> texts;
    PollUntil([&] {
        if (const HWND box = FindMessageBox(terminal.Process->Id, ErrorBoxCaption)) {
            texts.push_back(WindowText(GetDlgItem(box, MessageBoxTextId)));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            PollUntil([box] { return IsWindow(box) == FALSE; });
        }
        return !terminal.Running();
    });
    return texts;
}

// Points %LOCALAPPDATA% of the programs this process starts at another folder while it lives.
class TRedirectedLocalAppData {
public:
    explicit TRedirectedLocalAppData(const std::wstring& folder)
    {
        std::wstring previous(MAX_PATH, L'\0');
        previous.resize(GetEnvironmentVariableW(Name, previous.data(), MAX_PATH));
        FPrevious = previous;
        SetEnvironmentVariableW(Name, folder.c_str());
    }
    ~TRedirectedLocalAppData() { SetEnvironmentVariableW(Name, FPrevious.empty() ? nullptr : FPrevious.c_str()); }
    TRedirectedLocalAppData(const TRedirectedLocalAppData&) = delete;
    TRedirectedLocalAppData& operator=(const TRedirectedLocalAppData&) = delete;

private:
    static constexpr wchar_t Name[] = L"LOCALAPPDATA";
    std::wstring FPrevious;
};

class UnwritableSettings : public testing::TestWithParam<bool> {};

// A read-only file or a folder without write permission beside the exe: the file there counts
// at the first start and keeps its content; the settings are kept in the local application
// data folder, read from there at the next start, and no error box comes.
TEST_P(UnwritableSettings, AreKeptInTheLocalAppDataFolderWithoutAnErrorBox)
{
    const bool folder = GetParam();
    TExchange exchange;
    TTerminalCopy copy(CopyPrefix);
    ASSERT_TRUE(copy.Copied);
    const TTempDir localAppData;
    const TRedirectedLocalAppData redirected(localAppData.Path());
    const std::wstring kept = localAppData.File(L"Vellumtrace64\\Vellumtrace64.INI");
    const std::string content = "[WINDOW]\r\nLEFT=120\r\nTOP=100\r\n[CHANNELS]\r\nMAIN=0\r\n[PREFERENCES]\r\nDISPLAYLINES=500\r\n";
    WriteFileBytes(copy.SettingsFile, content);
    TStartState expected;
    expected.Left = 120;
    expected.Top = 100;
    expected.Channels[0] = false;
    expected.Limit = L"500";
    const TUnwritable protection(folder ? copy.Folder : copy.SettingsFile, folder);
    ASSERT_FALSE(protection.Writable());

    for (const std::wstring limit : {L"500", L"700"}) {
        SCOPED_TRACE(testing::PrintToString(limit));
        expected.Limit = limit;
        TTerminal terminal(exchange, copy);
        ASSERT_TRUE(terminal.Ready());
        EXPECT_EQ(Observe(terminal, exchange), expected);
        EXPECT_EQ(CloseAnsweringBoxes(terminal), std::vector<std::wstring>{});
        EXPECT_EQ(terminal.Process->Finish(), 0u);
        EXPECT_EQ(ProfileValue(kept, L"PREFERENCES", L"DISPLAYLINES"), limit);
        // What the next start must find there, not beside the exe.
        WritePrivateProfileStringW(L"PREFERENCES", L"DISPLAYLINES", L"700", kept.c_str());
    }
    EXPECT_EQ(ReadFileBytes(copy.SettingsFile), std::optional<std::string>(content));
}

INSTANTIATE_TEST_SUITE_P(Robustness, UnwritableSettings, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return info.param ? "FolderWithoutWritePermission" : "ReadOnlyFile";
});

} // namespace
