// The driver's measurements: floods of numbered entries into the terminal, the bare
// consumer or the debug-output reader; latency; the terminal's answer times and memory.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "BenchShared.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "VtSender.h"
#include "WinHandles.h"

namespace Bench {

struct TFloodSpec {
    int Senders = 1;
    unsigned long PerSender = 0;
    unsigned long EntrySize = DefaultEntrySize;
    std::wstring Channel = L"mixed";
    TRoute Route = TRoute::Exchange;
    bool Ping = false;      // time the window's answers meanwhile
    bool CheckList = true;  // terminal: read the list afterwards and look for lost entries
    // Exchange route: this many more senders flood through OutputDebugStringA at the same
    // time (into a terminal whose capture is on); their entries are not counted.
    int DebugOutputSenders = 0;
};

struct TLossCheck {
    std::int64_t Lost = 0;          // numbered entries missing where they must be
    std::int64_t Duplicates = 0;
    std::int64_t Stray = 0;         // lines without this run's tag among this run's lines
    std::int64_t SenderDropped = 0; // entries the senders gave up (ring stayed full)
};

struct TFloodResult {
    unsigned Run = 0; // the run number in the entries' tags
    std::int64_t Entries = 0;
    double Seconds = 0;
    double Rate = 0; // entries per second, first send to last entry delivered
    std::optional<TLossCheck> Loss;
    std::optional<double> MaxAnswerMs; // longest answer of the window while the flood ran
    double ConsumerCpuUs = 0;          // the consumer's processor time per entry
    // From the last entry shown until the consumer has handled every notification still
    // queued; user input waits behind them.
    double BacklogSeconds = 0;
    int ListLines = -1;                // terminal: lines in the list afterwards
};

struct TLatencyResult {
    int Entries = 0;
    double MeanSpacingMs = 0; // as sent: at least the spacing asked for
    double P50Ms = 0;
    double P99Ms = 0;
    double MaxMs = 0;
};

struct TMemoryResult {
    unsigned Run = 0; // the tags of the lines sent
    int Lines = 0;
    int LineChars = 0;
    std::uint64_t EmptyPrivateBytes = 0; // right after start
    std::uint64_t FullPrivateBytes = 0;
    std::uint64_t TextBytes = 0;         // what the list holds: lines x characters x 2 (UTF-16)
};

using TSenderProcesses = std::vector<std::unique_ptr<TChildProcess>>;

// For sending a flood of `entries`, and again for the notifications it can leave queued (one
// per entry, each handled with a guarded access).
DWORD FloodLimitMs(std::int64_t entries);

struct TSenderCloser {
    void operator()(VtSender* sender) const noexcept { VtClose(sender); }
};

class TBenchDriver {
public:
    TBenchDriver(); // throws Exception

    // The window that the given process published in TerminalWnd.
    HWND WaitPublished(const TChildProcess& process);
    // Closes a published window and waits until its process has ended.
    void Close(const TChildProcess& process, HWND window);

    void ClearList(const TTerminalView& terminal);
    // Sends lines until the list holds at least `lines`.
    void FillList(const TChildProcess& process, const TTerminalView& terminal, int lines);

    // Each consumer process is passed along for its processor time.
    TFloodResult FloodTerminal(const TChildProcess& process, const TTerminalView& terminal, const TFloodSpec& spec);
    TFloodResult FloodBare(const TChildProcess& process, HWND window, const TFloodSpec& spec);
    TFloodResult FloodDebugOutput(const TChildProcess& reader, const TFloodSpec& spec);
    // OutputDebugStringA into a terminal whose capture is on: done when the list holds every
    // message (the list must start empty and hold them all).
    TFloodResult FloodCapture(const TChildProcess& process, const TTerminalView& terminal, const TFloodSpec& spec);

    TLatencyResult MeasureLatency(const TTerminalView& terminal, int entries, DWORD spacingMs);
    TMemoryResult MeasureMemory(const TChildProcess& process, const TTerminalView& terminal, int lines, int lineChars);

    // The times of one flood, in ticks, and what its senders did.
    struct TSendersRun {
        std::int64_t Start = 0;   // the first entry sent
        std::int64_t End = 0;     // the last entry delivered
        std::int64_t Entries = 0;
        std::int64_t Dropped = 0;
        std::optional<double> MaxAnswerMs;
        double ConsumerCpuSeconds = 0;
        std::int64_t Settled = 0; // the consumer has handled the notifications still queued
    };
    static TFloodResult Result(const TSendersRun& run);

    // Reads the list's tail back: the lines of `run` from the senders of `spec` must all be
    // there, each once.
    TLossCheck CheckListTail(const TTerminalView& terminal, const TFloodSpec& spec, unsigned run) const;

    TConsumerReport& Consumer() const noexcept { return FStats.Stats().Consumer; }
    const volatile TShmArea& Area() const noexcept { return *static_cast<const volatile TShmArea*>(FArea.Data()); }

    unsigned NextRun() noexcept { return ++FRun; }
    // Starts the bench senders of `spec`, tagged with `run`, and waits until each is ready;
    // they send once Go() is called.
    TSenderProcesses StartSenders(const TFloodSpec& spec, unsigned run);
    void Go() const noexcept { SetEvent(FGo.Get()); }
    // True once every sender has sent all it had; throws when one ended before.
    bool SendersDone(const TSenderProcesses& senders);
    // The longest hold of the mutex so far, in microseconds, by route name: what the senders
    // of each route that uses our sender library reported when their flood had finished
    // (vtsend in its stats line), and this process's own sender ("driver").
    std::map<std::string, std::int64_t> LongestHoldsUs() const;
    // A sender of `route` reported `us` as its longest hold.
    void NoteLongestHold(const std::string& route, std::int64_t us);
    // Exchange consumers: the moment the count is 0 and the window has answered once more.
    std::int64_t AwaitExchangeDrained(HWND window) const;

private:
    // What the bench senders of one flood reported, summed up.
    struct TSenderTotals {
        std::int64_t FirstSend = 0; // ticks of the earliest first send
        std::int64_t Entries = 0;   // sent or given up
        std::int64_t Dropped = 0;   // given up (ring stayed full)
    };

    void ResetStats(unsigned run) noexcept;
    TSenderTotals SenderTotals(int senders) const noexcept;
    // Starts the senders, lets them go at once, waits for them and then for `delivered`,
    // which returns the moment the last entry arrived, then for `settled`, which returns
    // once the consumer has handled the notifications still queued.
    TSendersRun RunSenders(const TFloodSpec& spec, unsigned run, const TChildProcess& consumer, HWND pingWindow,
                           const std::function<std::int64_t()>& delivered, const std::function<void()>& settled);
    void AwaitBarePostedMessages(HWND window, DWORD limitMs) const;
    TLossCheck ConsumerLoss(const TFloodSpec& spec) const noexcept;
    void NoteLongestHolds();

    TStatsView FStats;
    TUniqueHandle FGo;
    TSharedData FArea;
    std::unique_ptr<VtSender, TSenderCloser> FSender; // the driver's own entries: clears, latency
    unsigned FRun = 0;
    TFloodSpec FSendersSpec; // of the senders started last
    std::map<std::string, std::int64_t> FLongestHoldsUs;
};

// Returns once the list holds `enough` lines or its length has not changed for a while: the
// moment it reached `enough`, or else when it last grew. Throws Exception after the time limit.
std::int64_t AwaitQuietList(const TTerminalView& terminal, DWORD limitMs,
                            int enough = std::numeric_limits<int>::max());

// Lines of the log file that carry the tag of run `run`.
std::int64_t CountLogLines(const std::wstring& path, unsigned run);

// The same bytes as the terminal holds them, without the terminal: what its search and save
// are measured against.
std::vector<std::wstring> MakeListLines(unsigned run, int lines, int lineChars);
double PlainScanMs(const std::vector<std::wstring>& lines, std::wstring_view missing);
double PlainWriteMs(const std::vector<std::wstring>& lines);

} // namespace Bench
