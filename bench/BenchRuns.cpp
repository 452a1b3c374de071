#include "BenchRuns.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <thread>

#include "Exception.h"
#include "TextCodec.h"

namespace Bench {

namespace {

constexpr DWORD StartLimitMs = 30000;    // senders ready, windows published
constexpr DWORD SettleLimitMs = 30000;   // the consumer catches up after the last send
constexpr DWORD CloseLimitMs = 15000;
constexpr DWORD PingIntervalMs = 5;
constexpr DWORD PingTimeoutMs = 2000;
constexpr DWORD LatencyLimitMs = 5000;   // the last latency entry must show within this
constexpr double MsPerEntryLimit = 2.0;  // a flood slower than 500 entries/s is a hang
constexpr wchar_t BenchSenderExe[] = L"vt_bench_sender.exe";
constexpr wchar_t CApiSenderExe[] = L"vt_bench_capi.exe";
constexpr char ClearText[] = "\f";
constexpr unsigned DriverSenderId = MaxSenders; // the driver's own entries carry this id
constexpr int PrefixChars = 4;                  // "-M- ": only the channel prefix is on by default
constexpr int MemorySenders = 4;                // the memory fill goes faster with several

// Sends WM_NULL to a window every few milliseconds from a thread of its own and keeps the
// longest time an answer took.
class TAnswerWatch {
public:
    explicit TAnswerWatch(HWND window) : FThread([this, window] { Watch(window); }) {}
    ~TAnswerWatch() { Stop(); }
    TAnswerWatch(const TAnswerWatch&) = delete;
    TAnswerWatch& operator=(const TAnswerWatch&) = delete;

    double Stop()
    {
        FStop = true;
        if (FThread.joinable())
            FThread.join();
        return FLongestMs;
    }

private:
    void Watch(HWND window)
    {
        while (!FStop) {
            const std::int64_t sent = NowTicks();
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, PingTimeoutMs, &ignored);
            FLongestMs = std::max(FLongestMs, TicksToMs(NowTicks() - sent));
            Sleep(PingIntervalMs);
        }
    }

    std::atomic<bool> FStop{false};
    double FLongestMs = 0;
    std::thread FThread;
};

std::wstring SenderExe(TRoute route)
{
    return BinDirectory() + (route == TRoute::CApi ? CApiSenderExe : BenchSenderExe);
}

// Senders past spec.Senders send through OutputDebugStringA beside them. The C program always
// sends on mixed channels, through vt_sender.
TRoute SenderRoute(const TFloodSpec& spec, int id) noexcept
{
    return id > spec.Senders ? TRoute::DebugOutput : spec.Route;
}

std::wstring SenderArguments(const TFloodSpec& spec, unsigned run, int id)
{
    const TRoute route = SenderRoute(spec, id);
    std::wstring arguments = L"--id " + std::to_wstring(id) + L" --run " + std::to_wstring(run) + L" --count " +
                             std::to_wstring(spec.PerSender) + L" --size " + std::to_wstring(spec.EntrySize);
    if (route != TRoute::CApi)
        arguments += L" --channel " + spec.Channel + L" --route " + RouteName(route);
    return arguments;
}

DWORD FloodLimitMs(const TFloodSpec& spec)
{
    return Bench::FloodLimitMs(static_cast<std::int64_t>(spec.Senders + spec.DebugOutputSenders) *
                               static_cast<std::int64_t>(spec.PerSender));
}

double Percentile(const std::vector<double>& sorted, double fraction)
{
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

wchar_t AsciiUpper(wchar_t c) noexcept { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

} // namespace

DWORD FloodLimitMs(std::int64_t entries)
{
    return StartLimitMs + static_cast<DWORD>(MsPerEntryLimit * static_cast<double>(entries));
}

TBenchDriver::TBenchDriver() : FStats(TStatsView::TMode::Create), FArea(nullptr)
{
    FGo.Reset(CreateEventW(nullptr, TRUE, FALSE, GoEventName));
    if (!FGo)
        throw Exception(L"The start event could not be created");
    FArea.SetSectionName(Shm::SectionName);
    FArea.SetDataSize(Shm::AreaSize);
    FArea.Open();
    FSender.reset(VtOpen());
    if (!FSender)
        throw Exception(L"The driver's sender could not open the exchange area");
    const volatile TShmArea* area = &Area();
    if (area->TerminalWnd != 0 && IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(area->TerminalWnd))))
        throw Exception(L"A terminal already runs in this Wine session; the benchmark needs the area alone");
}

HWND TBenchDriver::WaitPublished(const TChildProcess& process)
{
    const volatile TShmArea* area = &Area();
    HWND window = nullptr;
    PollUntil(StartLimitMs, L"the window was not published", [&] {
        if (!process.Running())
            throw Exception(L"The process ended before it published its window");
        window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(area->TerminalWnd));
        DWORD owner = 0;
        return window != nullptr && GetWindowThreadProcessId(window, &owner) != 0 && owner == GetProcessId(process.Handle());
    });
    return window;
}

void TBenchDriver::Close(const TChildProcess& process, HWND window)
{
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (!process.WaitExit(CloseLimitMs))
        throw Exception(L"A published window's process did not end after WM_CLOSE");
}

void TBenchDriver::ClearList(const TTerminalView& terminal)
{
    VtSendN(FSender.get(), 0, ClearText, sizeof ClearText - 1);
    PollUntil(StartLimitMs, L"the list was not cleared", [&] { return terminal.Count() == 0; });
}

void TBenchDriver::FillList(const TChildProcess& process, const TTerminalView& terminal, int lines)
{
    const int missing = lines - terminal.Count();
    if (missing <= 0)
        return;
    TFloodSpec spec;
    spec.PerSender = static_cast<unsigned long>(missing);
    spec.CheckList = false;
    FloodTerminal(process, terminal, spec);
}

void TBenchDriver::ResetStats(unsigned run) noexcept
{
    TBenchStats& stats = FStats.Stats();
    stats.ReadySenders = 0;
    for (TSenderReport& sender : stats.Senders) {
        sender.FirstSendTicks = 0;
        sender.Sent = 0;
        sender.Dropped = 0;
        sender.LongestHoldUs = 0;
        sender.Done = 0;
    }
    TConsumerReport& consumer = stats.Consumer;
    consumer.Received = 0;
    consumer.Gaps = 0;
    consumer.Duplicates = 0;
    consumer.Foreign = 0;
    consumer.LastTicks = 0;
    for (auto& seq : consumer.LastSeq)
        seq = 0;
    consumer.Run = static_cast<LONG>(run);
}

TSenderProcesses TBenchDriver::StartSenders(const TFloodSpec& spec, unsigned run)
{
    const int all = spec.Senders + spec.DebugOutputSenders;
    if (spec.Senders < 1 || all >= static_cast<int>(DriverSenderId))
        throw Exception(L"Between 1 and " + std::to_wstring(DriverSenderId - 1) + L" senders are possible");
    ResetStats(run);
    ResetEvent(FGo.Get());
    FSendersSpec = spec;
    const TBenchStats& stats = FStats.Stats();

    TSenderProcesses senders;
    for (int id = 1; id <= all; ++id)
        senders.push_back(std::make_unique<TChildProcess>(SenderExe(SenderRoute(spec, id)), SenderArguments(spec, run, id)));
    PollUntil(StartLimitMs, L"the senders did not get ready", [&] {
        for (int id = 1; id <= all; ++id)
            if (!senders[static_cast<std::size_t>(id - 1)]->Running() && stats.Senders[id].Done == 0)
                throw Exception(L"Sender " + std::to_wstring(id) + L" ended before it was ready");
        return stats.ReadySenders == all;
    });
    return senders;
}

bool TBenchDriver::SendersDone(const TSenderProcesses& senders)
{
    const TBenchStats& stats = FStats.Stats();
    bool done = true;
    for (std::size_t index = 0; index < senders.size(); ++index) {
        const bool finished = stats.Senders[index + 1].Done != 0;
        if (!finished && !senders[index]->Running())
            throw Exception(L"Sender " + std::to_wstring(index + 1) + L" failed");
        done = done && finished;
    }
    if (done)
        NoteLongestHolds();
    return done;
}

void TBenchDriver::NoteLongestHolds()
{
    if (!UsesSenderLibrary(FSendersSpec.Route))
        return;
    const std::string route = WideToUtf8(RouteName(FSendersSpec.Route));
    for (int id = 1; id <= FSendersSpec.Senders; ++id)
        NoteLongestHold(route, static_cast<std::int64_t>(FStats.Stats().Senders[id].LongestHoldUs));
}

void TBenchDriver::NoteLongestHold(const std::string& route, std::int64_t us)
{
    std::int64_t& longest = FLongestHoldsUs[route];
    longest = std::max(longest, us);
}

std::map<std::string, std::int64_t> TBenchDriver::LongestHoldsUs() const
{
    std::map<std::string, std::int64_t> holds = FLongestHoldsUs;
    holds["driver"] = static_cast<std::int64_t>(VtLongestHoldMicroseconds(FSender.get()));
    return holds;
}

TBenchDriver::TSenderTotals TBenchDriver::SenderTotals(int senders) const noexcept
{
    const TBenchStats& stats = FStats.Stats();
    TSenderTotals totals;
    totals.FirstSend = stats.Senders[1].FirstSendTicks;
    for (int id = 1; id <= senders; ++id) {
        totals.FirstSend = std::min(totals.FirstSend, static_cast<std::int64_t>(stats.Senders[id].FirstSendTicks));
        totals.Entries += stats.Senders[id].Sent + stats.Senders[id].Dropped;
        totals.Dropped += stats.Senders[id].Dropped;
    }
    return totals;
}

TBenchDriver::TSendersRun TBenchDriver::RunSenders(const TFloodSpec& spec, unsigned run, const TChildProcess& consumer,
                                                   HWND pingWindow, const std::function<std::int64_t()>& delivered,
                                                   const std::function<void()>& settled)
{
    const TSenderProcesses senders = StartSenders(spec, run);
    std::optional<TAnswerWatch> watch;
    if (pingWindow != nullptr)
        watch.emplace(pingWindow);
    const double cpuBefore = consumer.CpuSeconds();
    Go();
    PollUntil(FloodLimitMs(spec), L"the senders did not finish", [&] { return SendersDone(senders); });

    TSendersRun result;
    result.End = delivered();
    if (watch)
        result.MaxAnswerMs = watch->Stop();
    settled();
    result.Settled = NowTicks();
    result.ConsumerCpuSeconds = consumer.CpuSeconds() - cpuBefore;
    const TSenderTotals totals = SenderTotals(spec.Senders);
    result.Start = totals.FirstSend;
    result.Entries = totals.Entries;
    result.Dropped = totals.Dropped;
    for (const auto& sender : senders)
        sender->WaitExit(CloseLimitMs);
    return result;
}

std::int64_t TBenchDriver::AwaitExchangeDrained(HWND window) const
{
    const volatile TShmArea* area = &Area();
    PollUntil(SettleLimitMs, L"the consumer did not take every entry", [&] { return area->PendingCount == 0; });
    // The entries are taken; one more message through the window's queue means the pass
    // that took the last one has also delivered it.
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, SettleLimitMs, &ignored))
        throw Exception(L"The consumer's window does not answer");
    return NowTicks();
}

void TBenchDriver::AwaitBarePostedMessages(HWND window, DWORD limitMs) const
{
    const TConsumerReport& consumer = Consumer();
    const std::int64_t marker = consumer.Marker + 1;
    PostMessageW(window, MarkerMessage, 0, static_cast<LPARAM>(marker));
    PollUntil(limitMs, L"the bare consumer did not come to a posted message",
              [&] { return consumer.Marker == marker; });
}

TFloodResult TBenchDriver::Result(const TSendersRun& run)
{
    TFloodResult result;
    result.Entries = run.Entries;
    result.Seconds = TicksToSeconds(run.End - run.Start);
    result.Rate = result.Seconds > 0 ? static_cast<double>(run.Entries) / result.Seconds : 0;
    result.MaxAnswerMs = run.MaxAnswerMs;
    result.BacklogSeconds = TicksToSeconds(run.Settled - run.End);
    constexpr double MicrosecondsPerSecond = 1e6;
    result.ConsumerCpuUs = run.Entries > 0 ? run.ConsumerCpuSeconds * MicrosecondsPerSecond / static_cast<double>(run.Entries) : 0;
    return result;
}

TFloodResult TBenchDriver::FloodTerminal(const TChildProcess& process, const TTerminalView& terminal, const TFloodSpec& spec)
{
    const unsigned run = NextRun();
    const HWND window = terminal.Window();
    const TSendersRun senders =
        RunSenders(spec, run, process, spec.Ping ? window : nullptr, [&] { return AwaitExchangeDrained(window); },
                   [&] {
                       terminal.AwaitPostedMessages(FloodLimitMs(spec));
                       // Captured lines may still come (and trim the list) after the area is drained.
                       if (spec.DebugOutputSenders > 0)
                           AwaitQuietList(terminal, FloodLimitMs(spec));
                   });
    TFloodResult result = Result(senders);
    result.Run = run;
    result.ListLines = terminal.Count();
    if (spec.CheckList) {
        std::fprintf(stderr, "vt_bench:          flood took %.1f s, reading the list back\n", result.Seconds);
        result.Loss = CheckListTail(terminal, spec, run);
        result.Loss->SenderDropped = senders.Dropped;
    }
    return result;
}

TFloodResult TBenchDriver::FloodBare(const TChildProcess& process, HWND window, const TFloodSpec& spec)
{
    const TSendersRun senders =
        RunSenders(spec, NextRun(), process, spec.Ping ? window : nullptr, [&] { return AwaitExchangeDrained(window); },
                   [&] { AwaitBarePostedMessages(window, FloodLimitMs(spec)); });
    TFloodResult result = Result(senders);
    result.Loss = ConsumerLoss(spec);
    result.Loss->SenderDropped = senders.Dropped;
    return result;
}

TFloodResult TBenchDriver::FloodDebugOutput(const TChildProcess& reader, const TFloodSpec& spec)
{
    TConsumerReport& consumer = Consumer();
    const std::int64_t expected = static_cast<std::int64_t>(spec.Senders) * static_cast<std::int64_t>(spec.PerSender);
    const TSendersRun senders = RunSenders(spec, NextRun(), reader, nullptr, [&] {
        // Each call waits for the reader to free the buffer, so only the last text can
        // still be on its way.
        PollUntil(SettleLimitMs, L"the debug-output reader did not read every text",
                  [&] { return consumer.Received + consumer.Foreign >= expected; });
        return static_cast<std::int64_t>(consumer.LastTicks);
    }, [] {});
    TFloodResult result = Result(senders);
    result.Loss = ConsumerLoss(spec);
    return result;
}

TLossCheck TBenchDriver::ConsumerLoss(const TFloodSpec& spec) const noexcept
{
    const TConsumerReport& consumer = Consumer();
    TLossCheck loss;
    loss.Lost = consumer.Gaps;
    for (int id = 1; id <= spec.Senders; ++id)
        loss.Lost += static_cast<std::int64_t>(spec.PerSender) - consumer.LastSeq[id];
    loss.Duplicates = consumer.Duplicates;
    loss.Stray = consumer.Foreign;
    return loss;
}

// The list's tail must hold, per sender, a gap-free and duplicate-free run of its newest
// entries; when the list kept every line of the run, the runs must start at 1.
TLossCheck TBenchDriver::CheckListTail(const TTerminalView& terminal, const TFloodSpec& spec, unsigned run) const
{
    const std::int64_t expected =
        static_cast<std::int64_t>(spec.Senders + spec.DebugOutputSenders) * static_cast<std::int64_t>(spec.PerSender);
    const int count = terminal.Count();
    const bool keptAll = count >= expected;
    const int first = keptAll ? count - static_cast<int>(expected) : 0;

    TLossCheck loss;
    std::map<unsigned, std::vector<unsigned long>> bySender;
    const auto otherRoute = [&spec](unsigned sender) {
        return sender > static_cast<unsigned>(spec.Senders) &&
               sender <= static_cast<unsigned>(spec.Senders + spec.DebugOutputSenders);
    };
    for (const std::wstring& line : terminal.Lines(first, count - first)) {
        const std::optional<TEntryTag> tag = FindEntryTag(line);
        if (tag && tag->Run == run && otherRoute(tag->Sender))
            continue;
        if (!tag || tag->Run != run || tag->Sender == 0 || tag->Sender > static_cast<unsigned>(spec.Senders))
            ++loss.Stray;
        else
            bySender[tag->Sender].push_back(tag->Seq);
    }
    for (unsigned id = 1; id <= static_cast<unsigned>(spec.Senders); ++id) {
        const std::vector<unsigned long>& seqs = bySender[id];
        unsigned long last = seqs.empty() || keptAll ? 0 : seqs.front() - 1;
        for (const unsigned long seq : seqs) {
            if (seq <= last) {
                ++loss.Duplicates;
                continue;
            }
            loss.Lost += static_cast<std::int64_t>(seq - last - 1);
            last = seq;
        }
        loss.Lost += static_cast<std::int64_t>(spec.PerSender - last);
    }
    return loss;
}

// One thread sends on a fixed schedule, whether or not earlier entries have shown; this
// thread keeps asking the list for its count and stamps each entry when it has appeared.
TLatencyResult TBenchDriver::MeasureLatency(const TTerminalView& terminal, int entries, DWORD spacingMs)
{
    ClearList(terminal);
    const unsigned run = NextRun();
    std::vector<std::string> texts;
    for (int i = 1; i <= entries; ++i)
        texts.push_back(MakeEntryText({run, DriverSenderId, static_cast<unsigned long>(i)}, DefaultEntrySize));
    std::vector<std::atomic<std::int64_t>> sent(static_cast<std::size_t>(entries));
    std::atomic<bool> stop{false};
    std::atomic<bool> sendFailed{false};

    // Sleeps rather than spins between entries: a spinning thread would take a processor
    // from the terminal on a small machine.
    std::thread sender([&] {
        for (int i = 0; i < entries && !stop; ++i) {
            if (i > 0)
                Sleep(spacingMs);
            sent[static_cast<std::size_t>(i)] = NowTicks();
            const std::string& text = texts[static_cast<std::size_t>(i)];
            if (VtSendN(FSender.get(), static_cast<unsigned>(i) % Shm::ChannelCount, text.data(), text.size()) != VT_OK) {
                sendFailed = true;
                return;
            }
        }
    });

    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(entries));
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(entries) * (spacingMs + 1) + LatencyLimitMs;
    try {
        while (static_cast<int>(latencies.size()) < entries && !sendFailed && GetTickCount64() < deadline) {
            const int shown = std::min(terminal.Count(), entries);
            const std::int64_t seen = NowTicks();
            for (auto i = latencies.size(); i < static_cast<std::size_t>(shown); ++i)
                latencies.push_back(TicksToMs(seen - sent[i]));
            Sleep(1); // a look per millisecond, so that the looking does not load the window
        }
    } catch (...) {
        stop = true;
        sender.join();
        throw;
    }
    stop = true;
    sender.join();
    if (static_cast<int>(latencies.size()) < entries)
        throw Exception(sendFailed ? L"A latency entry could not be sent" : L"Timed out: latency entries did not reach the list");

    std::sort(latencies.begin(), latencies.end());
    TLatencyResult result;
    result.Entries = entries;
    result.MeanSpacingMs = entries > 1 ? TicksToMs(sent.back() - sent.front()) / (entries - 1) : 0;
    result.P50Ms = Percentile(latencies, 0.50);
    result.P99Ms = Percentile(latencies, 0.99);
    result.MaxMs = latencies.back();
    return result;
}

TMemoryResult TBenchDriver::MeasureMemory(const TChildProcess& process, const TTerminalView& terminal, int lines,
                                          int lineChars)
{
    TMemoryResult result;
    result.EmptyPrivateBytes = process.PrivateBytes();
    TFloodSpec spec;
    spec.Senders = MemorySenders;
    spec.PerSender = static_cast<unsigned long>(lines / MemorySenders);
    spec.EntrySize = static_cast<unsigned long>(lineChars - PrefixChars);
    spec.Channel = L"0";
    spec.CheckList = false;
    result.Run = FloodTerminal(process, terminal, spec).Run;
    result.Lines = terminal.Count();
    result.LineChars = result.Lines > 0 ? static_cast<int>(terminal.Line(result.Lines - 1).size()) : 0;
    result.FullPrivateBytes = process.PrivateBytes();
    result.TextBytes = static_cast<std::uint64_t>(result.Lines) * static_cast<std::uint64_t>(result.LineChars) * sizeof(wchar_t);
    return result;
}

// ---- search and save -------------------------------------------------------------------

std::vector<std::wstring> MakeListLines(unsigned run, int lines, int lineChars)
{
    std::vector<std::wstring> result;
    result.reserve(static_cast<std::size_t>(lines));
    const int perSender = lines / MemorySenders;
    for (int sender = 1; sender <= MemorySenders; ++sender)
        for (int i = 1; i <= perSender; ++i)
            result.push_back(L"-M- " + AnsiToWide(MakeEntryText({run, static_cast<unsigned>(sender), static_cast<unsigned long>(i)},
                                                                static_cast<std::size_t>(lineChars - PrefixChars))));
    return result;
}

// Case-insensitive for a to z, as the terminal's search is.
double PlainScanMs(const std::vector<std::wstring>& lines, std::wstring_view missing)
{
    std::wstring needle(missing);
    std::transform(needle.begin(), needle.end(), needle.begin(), AsciiUpper);
    const std::int64_t start = NowTicks();
    std::size_t hits = 0;
    for (const std::wstring& line : lines) {
        const auto found = std::search(line.begin(), line.end(), needle.begin(), needle.end(),
                                       [](wchar_t a, wchar_t b) { return AsciiUpper(a) == b; });
        hits += found != line.end() ? 1 : 0;
    }
    const double ms = TicksToMs(NowTicks() - start);
    if (hits != 0)
        throw Exception(L"The missing text was found");
    return ms;
}

// The lines in the ANSI code page, CR LF after each, into a new file in one write.
double PlainWriteMs(const std::vector<std::wstring>& lines)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"vt_bench_write_" + std::to_wstring(GetCurrentProcessId()) + L".txt";

    const std::int64_t start = NowTicks();
    std::string bytes;
    for (const std::wstring& line : lines) {
        bytes += WideToAnsi(line);
        bytes += "\r\n";
    }
    bool written = false;
    {
        const TUniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD count = 0;
        written = file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) &&
                  count == bytes.size();
    }
    const double ms = TicksToMs(NowTicks() - start);
    DeleteFileW(path.c_str());
    if (!written)
        throw Exception(L"The plain write failed: " + path);
    return ms;
}

} // namespace Bench
