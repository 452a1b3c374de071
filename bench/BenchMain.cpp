// vt_bench: measures the terminal's intake, latency, answer times and memory against a bare
// consumer and the OutputDebugStringA route, and its capture of OutputDebugStringA against a
// minimal reader; prints one table and writes the figures as JSON.
//   vt_bench [--count N] [--steady-count M] [--latency-count K] [--json PATH]
// Needs the exchange area alone: never run it beside the tests of the same Wine session.
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "BenchFrame.h"
#include "BenchProcess.h"
#include "BenchReport.h"
#include "BenchRuns.h"
#include "BenchShared.h"
#include "Exception.h"
#include "LineFormat.h"
#include "TextCodec.h"

namespace {

constexpr unsigned long DefaultPerSender = 8000;      // several seconds per flood here
constexpr unsigned long DefaultSteadyPerSender = 5000; // 4 of them stay below the limit
constexpr unsigned long DefaultLatencyEntries = 3000;
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
// weigh on the next; started with the given settings file, or with none.
template <class Work>
void WithConfiguredTerminal(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, const std::string& settings,
                            Work&& work)
{
    copy.RemoveSettings();
    if (!settings.empty())
        copy.WriteSettings(settings);
    const Bench::TChildProcess terminal(copy.Exe(), L"");
    const Bench::TTerminalView view(driver.WaitPublished(terminal));
    work(terminal, view);
    driver.Close(terminal, view.Window());
}

// The same with the default options.
template <class Work>
void WithTerminal(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Work&& work)
{
    WithConfiguredTerminal(driver, copy, "", std::forward<Work>(work));
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

// Terminal, peer route and bare consumer right after each other, so that the load of the
// machine, which drifts, weighs on all three alike.
void MeasureIntake(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, const TPeerReader& peer,
                   int senders, Bench::TBenchReport& report)
{
    const bool single = senders == 1;
    Bench::TFloodResult& terminalResult = single ? report.Terminal1 : report.Terminal4;
    Bench::TFloodResult& peerResult = single ? report.Peer1 : report.Peer4;
    Bench::TFloodResult& bareResult = single ? report.Bare1 : report.Bare4;
    Progress(single ? "1 sender: terminal" : "4 senders: terminal");
    WithTerminal(driver, copy, [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
        driver.ClearList(view);
        terminalResult = driver.FloodTerminal(terminal, view, Flood(senders, report.PerSender, true));
    });
    Progress("  peer route");
    Bench::TFloodSpec spec = Flood(senders, report.PerSender);
    spec.Route = Bench::TRoute::DebugOutput;
    peerResult = driver.FloodDebugOutput(peer.Process(), spec);
    Progress("  bare consumer");
    WithBare(driver, [&](const Bench::TChildProcess& bare, HWND window) {
        bareResult = driver.FloodBare(bare, window, Flood(senders, report.PerSender));
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
        (single ? report.Reader1 : report.Reader4) = driver.FloodDebugOutput(reader.Process(), spec);
    }
    Progress("  terminal");
    WithConfiguredTerminal(driver, copy, CaptureOnSettings,
                           [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
                               driver.ClearList(view);
                               (single ? report.Capture1 : report.Capture4) = driver.FloodCapture(terminal, view, spec);
                           });
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
        report.LogOff = driver.FloodTerminal(terminal, view, spec);
    });
    Progress("  on");
    const std::wstring logFile = FullPath(Bench::BinDirectory() + LogFileName);
    DeleteFileW(logFile.c_str());
    WithConfiguredTerminal(driver, copy, "[LOG]\r\nENABLED=TRUE\r\nFILE=" + WideToAnsi(logFile) + "\r\n",
                           [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
                               driver.ClearList(view);
                               report.LogOn = driver.FloodTerminal(terminal, view, spec);
                           });
    report.LogFileLines = Bench::CountLogLines(logFile, report.LogOn.Run);
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
        report.SteadyShort = driver.FloodTerminal(terminal, view, shortList);
        driver.FillList(terminal, view, DisplayLimit);
        report.LinesBeforeLimitRun = view.Count();
        report.SteadyLimit = driver.FloodTerminal(terminal, view, spec);
        Progress("  latency");
        report.Latency = driver.MeasureLatency(view, report.Latency.Entries, report.LatencySpacingMs);
        Progress("  closing the terminal");
    });
    Progress("  bare consumer");
    WithBare(driver, [&](const Bench::TChildProcess& bare, HWND window) {
        report.SteadyBare = driver.FloodBare(bare, window, spec);
    });
}

void MeasureMemory(Bench::TBenchDriver& driver, const Bench::TTerminalCopy& copy, Bench::TBenchReport& report)
{
    Progress("memory");
    WithTerminal(driver, copy, [&](const Bench::TChildProcess& terminal, const Bench::TTerminalView& view) {
        report.Memory = driver.MeasureMemory(terminal, view, DisplayLimit, MemoryLineChars);
    });
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

int Run(const Bench::TArguments& arguments)
{
    Bench::TBenchReport report;
    report.PerSender = arguments.Number(L"count", DefaultPerSender);
    report.SteadyPerSender = arguments.Number(L"steady-count", DefaultSteadyPerSender);
    report.Latency.Entries = static_cast<int>(arguments.Number(L"latency-count", DefaultLatencyEntries));
    report.LatencySpacingMs = LatencySpacingMs;
    report.DisplayLimit = DisplayLimit;
    report.TrimThreshold = DisplayLimit + OverheadFor(DisplayLimit);
    const std::wstring jsonPath = FullPath(arguments.Text(L"json", Bench::BinDirectory() + DefaultJson));
    if (report.PerSender == 0 || report.SteadyPerSender == 0 || report.Latency.Entries <= 0)
        throw Exception(L"Every count must be at least 1");

    Progress("starting");
    Bench::TBenchDriver driver;
    const Bench::TTerminalCopy copy;
    {
        const TPeerReader peer(driver);
        MeasureIntake(driver, copy, peer, 1, report);
        MeasureIntake(driver, copy, peer, FloodSenders, report);
    }
    MeasureCapture(driver, copy, 1, report);
    MeasureCapture(driver, copy, FloodSenders, report);
    MeasureIntakeBesideCapture(driver, copy, report);
    MeasureLog(driver, copy, report);
    MeasureSteadyState(driver, copy, report);
    MeasureMemory(driver, copy, report);
    MeasureSearchAndSave(report);

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
    try {
        return Run(Bench::TArguments(argc, argv, {L"count", L"steady-count", L"latency-count", L"json"}));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "vt_bench: %s\n", failure.what());
        return 1;
    }
}
