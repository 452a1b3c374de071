// vt_bench: measures the terminal's intake, latency, answer times and memory against a bare
// consumer and the OutputDebugStringA route, whole senders (vtsend, a C program) against the
// naive ceiling, the terminal's responsiveness under floods of naive senders, vtsend and
// batching senders, its capture of OutputDebugStringA against a minimal reader, the log to
// file, intake with filter rules, and responsiveness beside a capture flood, with a slow log
// and with rules; prints one table and writes the figures as JSON.
//   vt_bench [--count N] [--steady-count M] [--latency-count K] [--response-count R]
//            [--throughput-count T] [--rules-count U] [--pathological-count P] [--json PATH]
//            [--only capture|rules|tick|scenes]
// --only capture runs just the capture rows (minimal reader and terminal, 1 and 4 senders);
// --only rules just the rules rows; --only tick the sender and responsiveness rows, first as
// Wine times waits and then with every wait of our processes on the Windows timer tick;
// --only scenes the responsiveness rows beside a capture flood, a slow log and rules.
// Needs the exchange area alone: never run it beside the tests of the same Wine session.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include <utility>

#include "BenchFrame.h"
#include "BenchProcess.h"
#include "BenchReport.h"
#include "BenchResponseReport.h"
#include "BenchRules.h"
#include "BenchRuns.h"
#include "BenchShared.h"
#include "BenchSlowLog.h"
#include "BenchTick.h"
#include "Exception.h"
#include "FilterSettings.h"
#include "IniFile.h"
#include "LineFormat.h"
#include "Settings.h"
#include "SystemTick.h"
#include "TextCodec.h"

namespace {

constexpr unsigned long DefaultPerSender = 8000;      // several seconds per flood here
constexpr unsigned long DefaultSteadyPerSender = 5000; // 4 of them stay below the limit
constexpr unsigned long DefaultLatencyEntries = 3000;
constexpr unsigned long DefaultResponseEntries = 16000; // per flood; several seconds here
constexpr unsigned long MaxResponseEntries = 30000;     // with the lines before it, below the limit: no trim
constexpr unsigned long DefaultThroughputEntries = 20000; // per flood; a few seconds each here
constexpr unsigned long DefaultRulesPerSender = 4000;
constexpr int RulesRounds = 3;
// The flood comparisons with a goal run this many times in turn, each figure kept at its
// best rate: the machine's other load drifts and comes in bursts.
constexpr int ComparisonRounds = 3;
constexpr int RuleCostLines = 20000;
constexpr unsigned long DefaultPathologicalEntries = DefaultRulesPerSender;
constexpr std::size_t HostileLineChars = 4000;
constexpr DWORD LatencySpacingMs = 1;
constexpr std::int32_t DisplayLimit = 32000;           // the terminal's default limit
constexpr int MemoryLineChars = 200;
constexpr int FloodSenders = 4;
constexpr wchar_t MissingText[] = L"no line holds this text";
constexpr wchar_t BareExe[] = L"vt_bench_bare.exe";
constexpr wchar_t ReaderExe[] = L"vt_bench_dbwin.exe";
constexpr wchar_t DefaultJson[] = L"..\\bench\\results.json"; // beside bin/ in the build folder
constexpr DWORD ReaderLimitMs = 10000;
constexpr wchar_t LogFileName[] = L"..\\bench\\log.txt"; // beside bin/ in the build folder
constexpr wchar_t CaptureRows[] = L"capture"; // --only: the capture rows alone
constexpr wchar_t RulesRows[] = L"rules";     // --only: the rules rows alone
constexpr wchar_t TickRows[] = L"tick";       // --only: sender and responsiveness rows, normal and on the tick
constexpr wchar_t SceneRows[] = L"scenes";    // --only: responsiveness beside capture, a slow log and rules
constexpr wchar_t SlowLogName[] = L"..\\bench\\slow-log.fifo"; // made by scripts/bench.sh

// Under Wine a crash can end a process with exit code 0: report it and end non-zero.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "vt_bench: crashed with exception 0x%08lX\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

void Progress(const char* step)
{
    static const ULONGLONG started = GetTickCount64();
    std::fprintf(stderr, "vt_bench: %5.1f s  %s\n", static_cast<double>(GetTickCount64() - started) / 1000.0, step);
}

std::wstring FullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return path;
    full.resize(length);
    return full;
}

Bench::TFloodSpec Flood(int senders, unsigned long perSender, bool ping = false)
{
    Bench::TFloodSpec spec;
    spec.Senders = senders;
    spec.PerSender = perSender;
    spec.Ping = ping;
    return spec;
}

// A fresh terminal for each part, so that what one part left behind (lines, heap) does not
// weigh on the next; it reads the settings file prepared beside the copy.
template <class Work>
void WithPreparedTerminal(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Work&& work)
{
    const Bench::TChildProcess terminal(copy.Exe(), L"");
    const Bench::TTerminalView view(driver.WaitPublished(terminal));
    work(terminal, view);
    driver.Close(terminal, view.Window());
}

// With the default options, or the given settings, and the rules given.
template <class Work>
void WithTerminal(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Work&& work,
                  const TSettings* settings = nullptr, const std::vector<TFilterRule>& rules = {})
{
    copy.RemoveSettings();
    if (settings != nullptr)
        copy.WriteSettings(*settings);
    if (!rules.empty()) {
        TIniFile file(copy.SettingsPath());
        SaveFilterRules(file, rules);
    }
    WithPreparedTerminal(driver, copy, std::forward<Work>(work));
}

// Started with the given settings file, or with none.
template <class Work>
void WithConfiguredTerminal(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, const std::string& settings,
                            Work&& work)
{
    copy.RemoveSettings();
    if (!settings.empty())
        copy.WriteSettings(settings);
    WithPreparedTerminal(driver, copy, std::forward<Work>(work));
}

template <class Work>
void WithBare(Bench::TBenchDriver& driver, Work&& work)
{
    const Bench::TChildProcess bare(Bench::BinDirectory() + BareExe, L"");
    const HWND window = driver.WaitPublished(bare);
    work(bare, window);
    driver.Close(bare, window);
}

// The reader of the debug-output buffer stays up for the whole run.
class TPeerReader {
public:
    explicit TPeerReader(Bench::TBenchDriver& driver)
        : FConsumer(Prepared(driver.Consumer())), FReader(Bench::BinDirectory() + ReaderExe, L"")
    {
        const ULONGLONG deadline = GetTickCount64() + ReaderLimitMs;
        while (FConsumer.Ready == 0) {
            if (!FReader.Running() || GetTickCount64() >= deadline)
                throw Exception(L"The debug-output reader did not start");
            Sleep(1);
        }
    }
    ~TPeerReader()
    {
        FConsumer.Stop = 1;
        FReader.WaitExit(ReaderLimitMs);
    }
    TPeerReader(const TPeerReader&) = delete;
    TPeerReader& operator=(const TPeerReader&) = delete;

    const Bench::TChildProcess& Process() const noexcept { return FReader; }

private:
    static Bench::TConsumerReport& Prepared(Bench::TConsumerReport& consumer) noexcept
    {
        consumer.Ready = 0;
        consumer.Stop = 0;
        return consumer;
    }

    Bench::TConsumerReport& FConsumer;
    Bench::TChildProcess FReader;
};

// The better rate of two runs of the same kind; the longest answer and the losses of both.
void KeepBest(Bench::TFloodResult& best, const Bench::TFloodResult& run)
{
    std::optional<double> longest = best.MaxAnswerMs;
    if (run.MaxAnswerMs)
        longest = std::max(longest.value_or(0), *run.MaxAnswerMs);
    std::optional<Bench::TLossCheck> loss = best.Loss;
    if (run.Loss) {
        Bench::TLossCheck sum = loss.value_or(Bench::TLossCheck{});
        sum.Lost += run.Loss->Lost;
        sum.Duplicates += run.Loss->Duplicates;
        sum.Stray += run.Loss->Stray;
        sum.SenderDropped += run.Loss->SenderDropped;
        loss = sum;
    }
    if (run.Rate > best.Rate)
        best = run;
    best.MaxAnswerMs = longest;
    best.Loss = loss;
}

// Library senders into the terminal, its window's answers watched.
void MeasureTerminalIntake(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, int senders,
                           Bench::TBenchReport& report)
{
    const bool single = senders == 1;
    Progress(single ? "1 sender: terminal" : "4 senders: terminal");
    WithTerminal(driver, copy, [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
        driver.ClearList(view);
        KeepBest(single ? report.Terminal1 : report.Terminal4,
                 driver.FloodTerminal(terminal, view, Flood(senders, report.PerSender, true)));
    });
}

// Terminal, peer route and bare consumer right after each other, so that the load of the
// machine, which drifts, weighs on all three alike.
void MeasureIntake(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, const TPeerReader& peer,
                   int senders, Bench::TBenchReport& report)
{
    const bool single = senders == 1;
    Bench::TFloodResult& peerResult = single ? report.Peer1 : report.Peer4;
    Bench::TFloodResult& bareResult = single ? report.Bare1 : report.Bare4;
    MeasureTerminalIntake(driver, copy, senders, report);
    Progress("  peer route");
    Bench::TFloodSpec spec = Flood(senders, report.PerSender);
    spec.Route = Bench::TRoute::DebugOutput;
    KeepBest(peerResult, driver.FloodDebugOutput(peer.Process(), spec));
    Progress("  bare consumer");
    WithBare(driver, [&](const Bench::TChildProcess& bare, HWND window) {
        KeepBest(bareResult, driver.FloodBare(bare, window, Flood(senders, report.PerSender)));
    });
}

// The terminal's capture on, as its settings file switches it on.
constexpr char CaptureOnSettings[] = "[CAPTURE]\r\nODS=TRUE\r\n";
constexpr int CaptureFloodSenders = 2; // through OutputDebugStringA beside the exchange route's senders

// The minimal reader and then the terminal's capture, right after each other: only one
// reader can hold the buffer.
void MeasureCapture(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, int senders, Bench::TBenchReport& report)
{
    const bool single = senders == 1;
    Bench::TFloodSpec spec = Flood(senders, report.PerSender);
    spec.Route = Bench::TRoute::DebugOutput;
    Progress(single ? "capture, 1 sender: minimal reader" : "capture, 4 senders: minimal reader");
    {
        const TPeerReader reader(driver);
        KeepBest(single ? report.Reader1 : report.Reader4, driver.FloodDebugOutput(reader.Process(), spec));
    }
    Progress("  terminal");
    WithConfiguredTerminal(driver, copy, CaptureOnSettings,
                           [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
                               driver.ClearList(view);
                               KeepBest(single ? report.Capture1 : report.Capture4,
                                        driver.FloodCapture(terminal, view, spec));
                           });
}

void MeasureCaptureRounds(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    for (int round = 0; round < ComparisonRounds; ++round) {
        MeasureCapture(driver, copy, 1, report);
        MeasureCapture(driver, copy, FloodSenders, report);
    }
}

void MeasureIntakeBesideCapture(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    Progress("intake beside a capture flood");
    Bench::TFloodSpec spec = Flood(FloodSenders, report.PerSender);
    spec.DebugOutputSenders = CaptureFloodSenders;
    report.CaptureFloodSenders = CaptureFloodSenders;
    WithConfiguredTerminal(driver, copy, CaptureOnSettings,
                           [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
                               driver.ClearList(view);
                               report.AreaBesideCapture = driver.FloodTerminal(terminal, view, spec);
                           });
}

// The same flood into a terminal without and with its log to file, right after each other;
// afterwards the log must hold a line for every entry.
void MeasureLog(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    const Bench::TFloodSpec spec = Flood(FloodSenders, report.PerSender);
    Progress("log to file: off");
    WithTerminal(driver, copy, [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
        driver.ClearList(view);
        KeepBest(report.LogOff, driver.FloodTerminal(terminal, view, spec));
    });
    Progress("  on");
    Bench::TFloodResult on;
    const std::wstring logFile = FullPath(Bench::BinDirectory() + LogFileName);
    DeleteFileW(logFile.c_str());
    WithConfiguredTerminal(driver, copy, "[LOG]\r\nENABLED=TRUE\r\nFILE=" + WideToAnsi(logFile) + "\r\n",
                           [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
                               driver.ClearList(view);
                               on = driver.FloodTerminal(terminal, view, spec);
                           });
    // Every round's log must hold every line: the fewest found stand for all.
    const std::int64_t logged = Bench::CountLogLines(logFile, on.Run);
    report.LogFileLines = report.LogOn.Rate > 0 ? std::min(report.LogFileLines, logged) : logged;
    KeepBest(report.LogOn, on);
    DeleteFileW(logFile.c_str());
}

void MeasureSteadyState(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    Progress("steady state: terminal");
    const Bench::TFloodSpec spec = Flood(FloodSenders, report.SteadyPerSender);
    WithTerminal(driver, copy, [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
        // Checked for lost entries by the runs before and after it: reading the list back is slow.
        Bench::TFloodSpec shortList = spec;
        shortList.CheckList = false;
        KeepBest(report.SteadyShort, driver.FloodTerminal(terminal, view, shortList));
        driver.FillList(terminal, view, DisplayLimit);
        report.LinesBeforeLimitRun = view.Count();
        const bool firstRound = report.SteadyLimit.Rate == 0;
        KeepBest(report.SteadyLimit, driver.FloodTerminal(terminal, view, spec));
        Progress("  latency");
        // The worst round's latency stands.
        const Bench::TLatencyResult latency = driver.MeasureLatency(view, report.Latency.Entries, report.LatencySpacingMs);
        if (firstRound || latency.P99Ms > report.Latency.P99Ms)
            report.Latency = latency;
        Progress("  closing the terminal");
    });
    Progress("  bare consumer");
    WithBare(driver, [&](const Bench::TChildProcess& bare, HWND window) {
        KeepBest(report.SteadyBare, driver.FloodBare(bare, window, spec));
    });
}

// No rules, 20 text rules, 5 regex rules and the pathological rule in turn, for a few rounds,
// each kept at its best rate: the load of the machine drifts and weighs on all alike.
void MeasureRules(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    const struct {
        const char* Step;
        std::vector<TFilterRule> Rules;
        unsigned long PerSender;
        Bench::TFloodResult& Result;
    } runs[] = {
        {"rules: none", {}, report.RulesPerSender, report.NoRules},
        {"rules: 20 text rules", Bench::TwentyTextRules(), report.RulesPerSender, report.TextRules},
        {"rules: 5 regex rules", Bench::FiveRegexRules(), report.RulesPerSender, report.RegexRules},
        {"rules: 1 pathological regex", Bench::PathologicalRegexRule(), report.PathologicalPerSender,
         report.PathologicalRule},
    };
    Progress("rules: the decision alone");
    report.TextRulesCostUs = Bench::RuleCostUs(Bench::TwentyTextRules(), RuleCostLines);
    report.RegexRulesCostUs = Bench::RuleCostUs(Bench::FiveRegexRules(), RuleCostLines);
    report.PathologicalCostUs = Bench::RuleCostUs(Bench::PathologicalRegexRule(), RuleCostLines);
    report.HostileLineChars = HostileLineChars;
    const Bench::THostileDecisionUs hostile = Bench::WorstHostileDecisionUs(HostileLineChars);
    report.HostileFirstUs = hostile.FirstUs;
    report.HostileLaterUs = hostile.LaterUs;
    for (int round = 0; round < RulesRounds; ++round) {
        for (const auto& run : runs) {
            Progress(run.Step);
            WithTerminal(
                driver, copy,
                [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
                    driver.ClearList(view);
                    KeepBest(run.Result, driver.FloodTerminal(terminal, view, Flood(1, run.PerSender, true)));
                },
                nullptr, run.Rules);
        }
    }
}

void MeasureMemory(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    Progress("memory");
    WithTerminal(driver, copy, [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
        report.Memory = driver.MeasureMemory(terminal, view, DisplayLimit, MemoryLineChars);
    });
}

// The naive ceiling into the bare consumer, then each whole sender into a terminal of its
// own, right after each other, so that the load of the machine weighs on all alike.
void MeasureSenderThroughput(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    Bench::TSenderThroughput& throughput = report.Throughput;
    Progress("sender throughput: naive ceiling, bare consumer");
    WithBare(driver, [&](const Bench::TChildProcess& bare, HWND window) {
        for (const int senders : {1, FloodSenders}) {
            Bench::TFloodSpec spec = Flood(senders, throughput.Entries / static_cast<unsigned long>(senders));
            spec.Route = Bench::TRoute::Naive;
            KeepBest(senders == 1 ? throughput.Naive : throughput.Naive4, driver.FloodBare(bare, window, spec));
        }
    });
    const std::pair<Bench::TSenderKind, Bench::TFloodResult*> runs[] = {
        {Bench::TSenderKind::VtSend, &throughput.VtSendCount},
        {Bench::TSenderKind::VtSendPipe, &throughput.VtSendPipe},
        {Bench::TSenderKind::CApi, &throughput.CApi},
    };
    for (const auto& [kind, result] : runs) {
        Progress((std::string("  terminal: ") + Bench::KindName(kind)).c_str());
        WithTerminal(driver, copy, [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
            KeepBest(*result, Bench::FloodTerminalWith(driver, terminal, view, kind, throughput.Entries));
        });
    }
}

TSettings ScrollingSettings()
{
    TSettings settings = DefaultSettings();
    settings.Scroll = true;
    return settings;
}

// `measured` runs while the terminal is still open.
void RunResponse(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, const Bench::TResponseSpec& spec,
                 const TSettings& settings, Bench::TBenchReport& report, const std::vector<TFilterRule>& rules = {},
                 const std::function<void(Bench::TResponseResult&)>& measured = {})
{
    Progress(("responsiveness: " + Bench::ResponseName(spec)).c_str());
    WithTerminal(driver, copy, [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
        report.Responses.push_back(Bench::MeasureResponse(driver, terminal, view, spec));
        if (measured)
            measured(report.Responses.back());
    }, &settings, rules);
}

// Each kind and number of senders in a terminal of its own, with automatic scrolling on.
void MeasureResponses(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    for (const Bench::TSenderKind kind :
         {Bench::TSenderKind::Naive, Bench::TSenderKind::VtSend, Bench::TSenderKind::Lines})
        for (const int senders : {1, FloodSenders})
            RunResponse(driver, copy, {kind, senders, report.ResponseEntries / static_cast<unsigned long>(senders)},
                        ScrollingSettings(), report);
}

// 4 vtsend into a terminal that does more beside: as many lines as the floods above.
Bench::TResponseSpec SceneSpec(Bench::TResponseScene scene, unsigned long entries, int debugOutputSenders = 0)
{
    const int senders = FloodSenders + debugOutputSenders;
    return {Bench::TSenderKind::VtSend, FloodSenders, entries / static_cast<unsigned long>(senders), scene,
            debugOutputSenders};
}

// The log's writes block on a target read slowly; once measured, the target is read fast, so
// that the terminal writes the rest of its log and closes.
void MeasureSlowLogResponse(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, const Bench::TResponseSpec& spec,
                            TSettings settings, Bench::TBenchReport& report)
{
    const std::wstring path = FullPath(Bench::BinDirectory() + SlowLogName);
    if (!Bench::TSlowLogTarget::Present(path)) {
        std::fprintf(stderr, "vt_bench: no FIFO at %s (scripts/bench.sh makes it): responsiveness with a slow log not measured\n",
                     WideToUtf8(path).c_str());
        return;
    }
    settings.LogEnabled = true;
    settings.LogFile = path;
    Bench::TSlowLogTarget target(path);
    RunResponse(driver, copy, spec, settings, report, {}, [&](Bench::TResponseResult& result) {
        result.SlowLogLinesAtEnd = target.Lines();
        target.Hurry();
    });
    report.Responses.back().SlowLogLines = target.Finish();
}

// The same goals while the terminal captures OutputDebugStringA beside the flood, logs to a
// slow disk, or tests every line against rules and paints highlights.
void MeasureSceneResponses(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    TSettings capturing = ScrollingSettings();
    capturing.CaptureOds = true;
    RunResponse(driver, copy, SceneSpec(Bench::TResponseScene::Capture, report.ResponseEntries, CaptureFloodSenders),
                capturing, report);
    MeasureSlowLogResponse(driver, copy, SceneSpec(Bench::TResponseScene::SlowLog, report.ResponseEntries),
                           ScrollingSettings(), report);
    std::vector<TFilterRule> rules = Bench::TwentyTextRules();
    for (const std::vector<TFilterRule>& more : {Bench::FiveRegexRules(), Bench::HighlightRules()})
        rules.insert(rules.end(), more.begin(), more.end());
    RunResponse(driver, copy, SceneSpec(Bench::TResponseScene::Rules, report.ResponseEntries), ScrollingSettings(),
                report, rules);
}

// The terminal's search and save run here on its real window, so only after every terminal
// process of the bench has ended: the window maps the exchange area.
void MeasureSearchAndSave(Bench::TBenchReport& report)
{
    Progress("search and save");
    const auto lines = Bench::MakeListLines(report.Memory.Run, report.Memory.Lines, report.Memory.LineChars);
    report.PlainScanMs = Bench::PlainScanMs(lines, MissingText);
    report.PlainWriteMs = Bench::PlainWriteMs(lines);
    const Bench::TSearchSaveResult terminal = Bench::MeasureTerminalSearchAndSave(lines, MissingText);
    report.TerminalSearchMs = terminal.SearchMs;
    report.TerminalSaveMs = terminal.SaveMs;
}

// The sender rows in both modes, in turn for a few rounds so that the machine's drifting load
// weighs on both alike, then the responsiveness rows in each mode.
void MeasureTickModes(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& normal,
                      Bench::TBenchReport& tick)
{
    for (int round = 0; round < ComparisonRounds; ++round) {
        for (const bool onTheTick : {false, true}) {
            Progress(onTheTick ? "on the Windows tick" : "normal");
            Bench::TBenchReport& report = onTheTick ? tick : normal;
            Bench::SetWindowsTick(onTheTick);
            MeasureTerminalIntake(driver, copy, 1, report);
            MeasureTerminalIntake(driver, copy, FloodSenders, report);
            MeasureSenderThroughput(driver, copy, report);
        }
    }
    for (const bool onTheTick : {false, true}) {
        Progress(onTheTick ? "responsiveness on the Windows tick" : "responsiveness, normal");
        Bench::SetWindowsTick(onTheTick);
        MeasureResponses(driver, copy, onTheTick ? tick : normal);
    }
    Bench::SetWindowsTick(false);
}

int Run(const Bench::TArguments& arguments)
{
    Bench::TBenchReport report;
    report.PerSender = arguments.Number(L"count", DefaultPerSender);
    report.SteadyPerSender = arguments.Number(L"steady-count", DefaultSteadyPerSender);
    report.Latency.Entries = static_cast<int>(arguments.Number(L"latency-count", DefaultLatencyEntries));
    report.ResponseEntries = arguments.Number(L"response-count", DefaultResponseEntries);
    report.Throughput.Entries = arguments.Number(L"throughput-count", DefaultThroughputEntries);
    report.RulesPerSender = arguments.Number(L"rules-count", DefaultRulesPerSender);
    report.PathologicalPerSender = arguments.Number(L"pathological-count", DefaultPathologicalEntries);
    report.LatencySpacingMs = LatencySpacingMs;
    report.DisplayLimit = DisplayLimit;
    report.TrimThreshold = DisplayLimit + OverheadFor(DisplayLimit);
    const std::wstring jsonPath = FullPath(arguments.Text(L"json", Bench::BinDirectory() + DefaultJson));
    if (report.PerSender == 0 || report.SteadyPerSender == 0 || report.Latency.Entries <= 0 ||
        report.RulesPerSender == 0 || report.PathologicalPerSender == 0)
        throw Exception(L"Every count must be at least 1");
    if (report.ResponseEntries < Bench::MinResponseEntries || report.ResponseEntries > MaxResponseEntries)
        throw Exception(L"--response-count must be " + std::to_wstring(Bench::MinResponseEntries) + L" to " +
                        std::to_wstring(MaxResponseEntries));
    // Every line of a flood must still be in the list when it is read back.
    if (report.Throughput.Entries < static_cast<unsigned long>(FloodSenders) ||
        report.Throughput.Entries > static_cast<unsigned long>(DisplayLimit))
        throw Exception(L"--throughput-count must be " + std::to_wstring(FloodSenders) + L" to " +
                        std::to_wstring(DisplayLimit));

    const std::wstring only = arguments.Text(L"only", L"");
    if (!only.empty() && only != CaptureRows && only != RulesRows && only != TickRows && only != SceneRows)
        throw Exception(L"--only knows \"" + std::wstring(CaptureRows) + L"\", \"" + std::wstring(RulesRows) +
                        L"\", \"" + std::wstring(TickRows) + L"\" and \"" + std::wstring(SceneRows) + L"\"");
    const bool onlyRules = only == RulesRows;

    Progress("starting");
    Bench::TBenchDriver driver;
    const Bench::TTerminalCopy copy;
    if (only == CaptureRows) {
        MeasureCaptureRounds(driver, copy, report);
        Bench::PrintTable(report);
        return 0;
    }
    if (only == SceneRows) {
        MeasureSceneResponses(driver, copy, report);
        Bench::PrintTable(report);
        return 0;
    }
    if (only == TickRows) {
        Bench::TBenchReport tick = report;
        MeasureTickModes(driver, copy, report, tick);
        Bench::PrintTickTable(report, tick);
        return 0;
    }
    for (int round = 0; round < (onlyRules ? 0 : ComparisonRounds); ++round) {
        {
            const TPeerReader peer(driver);
            MeasureIntake(driver, copy, peer, 1, report);
            MeasureIntake(driver, copy, peer, FloodSenders, report);
        }
        MeasureSenderThroughput(driver, copy, report);
        MeasureCapture(driver, copy, 1, report);
        MeasureCapture(driver, copy, FloodSenders, report);
        MeasureLog(driver, copy, report);
        MeasureSteadyState(driver, copy, report);
    }
    if (!onlyRules)
        MeasureIntakeBesideCapture(driver, copy, report);
    MeasureRules(driver, copy, report);
    if (!onlyRules) {
        MeasureMemory(driver, copy, report);
        MeasureResponses(driver, copy, report);
        MeasureSceneResponses(driver, copy, report);
        report.LongestHoldsUs = driver.LongestHoldsUs();
        MeasureSearchAndSave(report);
    }

    Progress("done");
    Bench::PrintTable(report);
    CreateDirectoryW(jsonPath.substr(0, jsonPath.find_last_of(L"\\/")).c_str(), nullptr);
    Bench::WriteJson(report, jsonPath);
    std::printf("\nFigures written to %s\n", WideToUtf8(jsonPath).c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    SetUnhandledExceptionFilter(ReportCrash);
    // The driver's own waits stay as they are whatever the environment says: only the
    // processes it measures run on the simulated tick.
    SystemTick::SetSimulated(false);
    try {
        return Run(Bench::TArguments(argc, argv, {L"count", L"steady-count", L"latency-count", L"response-count",
                                                  L"throughput-count", L"rules-count", L"pathological-count",
                                                  L"json", L"only"}));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "vt_bench: %s\n", failure.what());
        return 1;
    }
}
