// What the benchmark's processes share: the names of their own objects, the statistics
// record that senders and consumers fill in, the numbered entry texts and the clock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Exception.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "WinHandles.h"

namespace Bench {

inline constexpr wchar_t StatsName[] = L"VellumtraceBenchStats";
inline constexpr wchar_t GoEventName[] = L"VellumtraceBenchGo";
inline constexpr int MaxSenders = 8;
inline constexpr DWORD GoWaitMs = 60000; // a sender that is never started gives up
inline constexpr unsigned long DefaultEntrySize = 60; // bytes of a numbered entry's text
// Posted to the bare consumer: it stores lParam in TConsumerReport::Marker once every
// message posted before has been handled.
inline constexpr UINT MarkerMessage = WM_APP + 1;

// The tag every benchmark entry starts with: run, sender and sequence number (from 1).
struct TEntryTag {
    unsigned Run = 0;
    unsigned Sender = 0;
    unsigned long Seq = 0;
};

// How a bench sender sends. Exchange: vt_sender, one VtSendN per entry; Lines: vt_sender,
// VtSendLines with a ring's worth of lines per call; CApi: the program in C that calls
// VtSend per entry; Naive: a sender of the bench's own that locks and posts once per entry;
// DebugOutput: OutputDebugStringA.
enum class TRoute { Exchange, Lines, CApi, Naive, DebugOutput };

const wchar_t* RouteName(TRoute route) noexcept; // as vt_bench_sender's --route takes it
// The routes that send with our sender library, which reports its longest hold of the mutex.
bool UsesSenderLibrary(TRoute route) noexcept;

// "R<run> S<sender> #": what every tag starts with. vtsend --count gets it as its TEXT and
// appends " <seq>" itself.
std::wstring TagHead(unsigned run, unsigned sender);
// "R<run> S<sender> #<seq> " followed by filler up to `size` bytes (at least the tag).
std::string MakeEntryText(const TEntryTag& tag, std::size_t size);
// The first tag found anywhere in a text or a display line; one blank may stand before <seq>.
std::optional<TEntryTag> FindEntryTag(std::string_view text);
std::optional<TEntryTag> FindEntryTag(std::wstring_view text);

// Monotonic ticks shared by all processes of the machine (QueryPerformanceCounter).
std::int64_t NowTicks() noexcept;
double TicksToSeconds(std::int64_t ticks) noexcept;
inline double TicksToMs(std::int64_t ticks) noexcept { return TicksToSeconds(ticks) * 1000.0; }

// Polls every millisecond until done() holds; throws with `what` when the limit runs out first.
template <class Done>
void PollUntil(DWORD limitMs, const wchar_t* what, Done&& done)
{
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (!done()) {
        if (GetTickCount64() >= deadline)
            throw Exception(std::wstring(L"Timed out: ") + what);
        Sleep(1);
    }
}

// What one sender reports about its run.
struct TSenderReport {
    volatile std::int64_t FirstSendTicks; // just before the first call
    volatile std::int64_t Sent;
    volatile std::int64_t Dropped;        // given up by the sender (ring stayed full)
    volatile std::int64_t LongestHoldUs;  // senders with our library: VtLongestHoldMicroseconds
    volatile LONG Done;
};

// What a consumer (bare consumer, debug-output reader) counted, checked by sequence.
struct TConsumerReport {
    volatile std::int64_t Received;
    volatile std::int64_t Gaps;       // numbers skipped
    volatile std::int64_t Duplicates; // numbers not above the last one seen
    volatile std::int64_t Foreign;    // texts without a tag of the current run
    volatile std::int64_t LastTicks;  // when the latest entry was delivered
    volatile std::int64_t LastSeq[MaxSenders + 1];
    volatile std::int64_t Marker;     // see MarkerMessage
    volatile LONG Run;                // tags of other runs count as foreign
    volatile LONG Ready;              // the consumer has set up its route
    volatile LONG Stop;               // asks the debug-output reader to end
};

struct TBenchStats {
    volatile LONG ReadySenders;
    TSenderReport Senders[MaxSenders + 1]; // index = sender id, 1..MaxSenders
    TConsumerReport Consumer;
};

// The statistics record, mapped by name: created by the driver, opened by the others.
class TStatsView {
public:
    enum class TMode { Create, Open };
    explicit TStatsView(TMode mode); // throws Exception
    TBenchStats& Stats() const noexcept { return *FStats; }

private:
    TUniqueHandle FMapping;
    TMappedView FView;
    TBenchStats* FStats = nullptr;
};

// The exchange area and its mutex, opened by name as every party opens them.
class TExchange {
public:
    TExchange(); // throws Exception
    TShmArea& Area() const noexcept { return *FArea; }
    HANDLE Mutex() const noexcept { return FMutex.Get(); }

private:
    TSharedData FShared;
    TShmArea* FArea = nullptr;
    TUniqueHandle FMutex;
};

// Counts a consumer's entries into the record; tags of another run count as foreign.
void CountDelivered(TConsumerReport& report, const std::optional<TEntryTag>& tag) noexcept;

// Parses "--name value" pairs; throws Exception on anything else.
class TArguments {
public:
    TArguments(int argc, wchar_t** argv, std::initializer_list<std::wstring_view> known);
    unsigned long Number(std::wstring_view name, unsigned long fallback) const;
    std::wstring Text(std::wstring_view name, std::wstring_view fallback) const;

private:
    std::vector<std::pair<std::wstring, std::wstring>> FPairs;
};

} // namespace Bench
