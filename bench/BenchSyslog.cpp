// vt_bench_syslog: the terminal's intake of syslog against vtsend into the same terminal, its
// intake with forwarding on against off, and its memory while lines wait for a collector that
// cannot be reached; prints one table. The terminal runs as a
// program of its own (a private copy, settings written beside it); the TCP and UDP senders run
// in this process, and rsyslog (started as the tests start it) is the collector, all on
// 127.0.0.1.
//   vt_bench_syslog [--count N] [--memory-lines M]
// Needs the exchange area alone: never run it beside the tests of the same Wine session.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

#include "BenchProcess.h"
#include "DebugMain.h"
#include "Exception.h"
#include "RsyslogPeer.h"
#include "Settings.h"
#include "Sockets.h"

namespace {

constexpr unsigned long DefaultCount = 20000;
constexpr unsigned long DefaultMemoryLines = 200000; // of MemoryLineChars: about 64 MB waiting
constexpr std::size_t MemoryLineChars = 200;
constexpr DWORD SettleMs = 3000; // the terminal takes what the area still holds after vtsend
constexpr unsigned long MaxCount = 30000; // below the list's limit: nothing is trimmed
constexpr DWORD StartLimitMs = 30000;
constexpr DWORD FloodLimitMs = 120000;
constexpr DWORD QuietMs = 1500; // UDP: no more lines come after this long without one
constexpr DWORD CloseLimitMs = 15000;
constexpr int ReceiveChannel = 5;
constexpr char Loopback[] = "127.0.0.1";
constexpr int ReadyLines = 1; // sent before every run: the terminal is there
// The comparison of forwarding on and off runs this many times in turn, each kept at its
// best rate: the machine's other load drifts.
constexpr int ComparisonRounds = 3;

double Seconds(ULONGLONG fromMs) { return static_cast<double>(GetTickCount64() - fromMs) / 1000.0; }

sockaddr_in LoopbackAddress(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, Loopback, &address.sin_addr);
    return address;
}

std::uint16_t FreePort()
{
    TUniqueSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = LoopbackAddress(0);
    bind(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

std::string Message(unsigned long index)
{
    return "<13>1 - benchhost bench 1 - - line " + std::to_string(index);
}

// A terminal started from its private copy with `settings`, and its list.
class TRunningTerminal {
public:
    TRunningTerminal(const Bench::TTerminalCopy& copy, const TSettings& settings)
        : FProcess(PreparedExe(copy, settings), L""), FView(AwaitView())
    {
        // The window appears before it publishes itself in the exchange area; a sender that
        // came earlier would find no terminal. One line that arrives tells it is there.
        const Bench::TChildProcess ready(Bench::BinDirectory() + L"vtsend.exe", L"ready");
        const ULONGLONG start = GetTickCount64();
        while (FView.Count() < ReadyLines) {
            if (GetTickCount64() - start > StartLimitMs)
                throw Exception(L"The terminal did not take its first line");
            Sleep(10);
        }
    }
    ~TRunningTerminal()
    {
        PostMessageW(FView.Window(), WM_CLOSE, 0, 0);
        FProcess.WaitExit(CloseLimitMs);
    }
    TRunningTerminal(const TRunningTerminal&) = delete;
    TRunningTerminal& operator=(const TRunningTerminal&) = delete;

    // Seconds until the list holds `lines` (timed from `startMs`); throws after the limit.
    double AwaitLines(int lines, ULONGLONG startMs) const
    {
        while (Count() < lines) {
            if (GetTickCount64() - startMs > FloodLimitMs)
                throw Exception(L"The list holds " + std::to_wstring(Count()) + L" of " + std::to_wstring(lines) +
                                L" lines");
            Sleep(1);
        }
        return Seconds(startMs);
    }
    // The lines once no more come.
    int AwaitQuiet() const
    {
        int lines = Count();
        for (ULONGLONG last = GetTickCount64(); GetTickCount64() - last < QuietMs; Sleep(10)) {
            const int now = Count();
            if (now != lines) {
                lines = now;
                last = GetTickCount64();
            }
        }
        return lines;
    }
    const Bench::TChildProcess& Process() const noexcept { return FProcess; }

private:
    // The lines after the first.
    int Count() const { return FView.Count() - ReadyLines; }

    // The copy's exe, its settings file written first.
    static const std::wstring& PreparedExe(const Bench::TTerminalCopy& copy, const TSettings& settings)
    {
        copy.RemoveSettings();
        copy.WriteSettings(settings);
        return copy.Exe();
    }

    // The terminal's window once its list exists.
    Bench::TTerminalView AwaitView() const
    {
        const ULONGLONG start = GetTickCount64();
        for (;; Sleep(10)) {
            HWND window = nullptr;
            while ((window = FindWindowExW(nullptr, window, nullptr, MainFrameCaption)) != nullptr) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner != GetProcessId(FProcess.Handle()))
                    continue;
                try {
                    return Bench::TTerminalView(window);
                } catch (const Exception&) {
                    break; // its components are still being made
                }
            }
            if (GetTickCount64() - start > StartLimitMs)
                throw Exception(L"The terminal's window did not appear");
        }
    }

    Bench::TChildProcess FProcess;
    Bench::TTerminalView FView;
};

TSettings ReceivingSettings(std::uint16_t port)
{
    TSettings settings = DefaultSettings();
    settings.SyslogReceive = true;
    settings.SyslogPort = port;
    settings.SyslogChannel = ReceiveChannel;
    return settings;
}

TSettings ForwardingSettings(std::uint16_t port)
{
    TSettings settings = DefaultSettings();
    settings.ForwardEnabled = true;
    settings.ForwardHost = L"127.0.0.1";
    settings.ForwardPort = port;
    return settings;
}

// vtsend --count N into a fresh terminal: lines per second.
double VtSendRate(const Bench::TTerminalCopy& copy, const TSettings& settings, unsigned long count)
{
    const TRunningTerminal terminal(copy, settings);
    const Bench::TChildProcess vtsend(Bench::BinDirectory() + L"vtsend.exe", L"--count " + std::to_wstring(count) + L" vtsend");
    // Timed from the first line, as the syslog runs are from the first byte sent: a Wine
    // process takes long to start.
    const ULONGLONG start = GetTickCount64();
    terminal.AwaitLines(1, start);
    const ULONGLONG first = GetTickCount64();
    return (count - 1) / terminal.AwaitLines(static_cast<int>(count), first);
}

struct TSyslogRun {
    double Rate = 0;
    unsigned long Lost = 0;
};

// The window appears before it reads its settings and starts receiving.
TUniqueSocket ConnectWhenListening(std::uint16_t port)
{
    const sockaddr_in address = LoopbackAddress(port);
    for (const ULONGLONG start = GetTickCount64(); GetTickCount64() - start < StartLimitMs; Sleep(10)) {
        TUniqueSocket client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (connect(client.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return client;
    }
    throw Exception(L"The terminal does not take TCP connections");
}

// rsyslog as the collector, writing every message it takes to a file, one line each.
class TRsyslogCollector {
public:
    TRsyslogCollector()
        : FPort(FreePort()),
          FRsyslog("bench-collector", RsyslogPeer::CollectorConfig(FPort, true, std::string(RsyslogPeer::TRsyslog::DirMark) +
                                                                                 CollectedFile))
    {
        ConnectWhenListening(FPort);
    }

    std::uint16_t Port() const noexcept { return FPort; }

    // How many of the lines "vtsend 1" to "vtsend N" it wrote, in order, after the first line,
    // once `count` lines have come or no more come.
    unsigned long InOrder(unsigned long count) const
    {
        std::vector<std::string> lines;
        std::size_t seen = 0;
        for (ULONGLONG last = GetTickCount64(); GetTickCount64() - last < FloodLimitMs; Sleep(100)) {
            lines = RsyslogPeer::FileLines(FRsyslog.Dir() + CollectedFile);
            if (lines.size() >= count + ReadyLines)
                break;
            if (lines.size() != seen) {
                seen = lines.size();
                last = GetTickCount64();
            }
        }
        unsigned long inOrder = 0;
        for (std::size_t index = ReadyLines; index < lines.size(); ++index) {
            if (lines[index].ends_with("vtsend " + std::to_string(inOrder + 1)))
                ++inOrder;
        }
        return inOrder;
    }

private:
    static constexpr char CollectedFile[] = "/collected.log";

    std::uint16_t FPort;
    RsyslogPeer::TRsyslog FRsyslog;
};

TSyslogRun TcpRun(const Bench::TTerminalCopy& copy, unsigned long count)
{
    const std::uint16_t port = FreePort();
    const TRunningTerminal terminal(copy, ReceivingSettings(port));
    std::string stream;
    for (unsigned long index = 1; index <= count; ++index) {
        const std::string message = Message(index);
        stream += std::to_string(message.size()) + " " + message;
    }
    const TUniqueSocket client = ConnectWhenListening(port);
    const ULONGLONG start = GetTickCount64();
    for (std::size_t sent = 0; sent < stream.size();) {
        const int now = send(client.Get(), stream.data() + sent, static_cast<int>(stream.size() - sent), 0);
        if (now <= 0)
            throw Exception(L"The terminal closed the connection");
        sent += static_cast<std::size_t>(now);
    }
    TSyslogRun run;
    run.Rate = count / terminal.AwaitLines(static_cast<int>(count), start);
    run.Lost = count - static_cast<unsigned long>(terminal.AwaitQuiet());
    return run;
}

TSyslogRun UdpRun(const Bench::TTerminalCopy& copy, unsigned long count)
{
    const std::uint16_t port = FreePort();
    const TRunningTerminal terminal(copy, ReceivingSettings(port));
    ConnectWhenListening(port); // the receiver, which opens UDP first, is up once TCP is
    TUniqueSocket client(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    const sockaddr_in address = LoopbackAddress(port);
    const ULONGLONG start = GetTickCount64();
    for (unsigned long index = 1; index <= count; ++index) {
        const std::string message = Message(index);
        sendto(client.Get(), message.data(), static_cast<int>(message.size()), 0,
               reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    const int lines = terminal.AwaitQuiet();
    TSyslogRun run;
    run.Rate = lines / (Seconds(start) - QuietMs / 1000.0);
    run.Lost = count - static_cast<unsigned long>(lines);
    return run;
}

unsigned long Argument(int argc, wchar_t** argv, const wchar_t* name, unsigned long fallback)
{
    for (int index = 1; index + 1 < argc; ++index)
        if (std::wcscmp(argv[index], name) == 0)
            return std::wcstoul(argv[index + 1], nullptr, 10);
    return fallback;
}

// Private bytes of a fresh terminal after vtsend sent `lines` long lines into it.
std::uint64_t MemoryAfter(const Bench::TTerminalCopy& copy, const TSettings& settings, unsigned long lines)
{
    const TRunningTerminal terminal(copy, settings);
    const Bench::TChildProcess vtsend(Bench::BinDirectory() + L"vtsend.exe",
                                      L"--count " + std::to_wstring(lines) + L" " + std::wstring(MemoryLineChars, L'm'));
    if (!vtsend.WaitExit(FloodLimitMs * 4))
        throw Exception(L"vtsend did not end");
    Sleep(SettleMs);
    return terminal.Process().PrivateBytes();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        const TWinsock winsock;
        const unsigned long count = std::min(Argument(argc, argv, L"--count", DefaultCount), MaxCount);
        const unsigned long memoryLines = Argument(argc, argv, L"--memory-lines", DefaultMemoryLines);
        const Bench::TTerminalCopy copy;
        const TSyslogRun tcp = TcpRun(copy, count);
        const TSyslogRun udp = UdpRun(copy, count);
        double vtsend = 0;
        double forwarded = 0;
        unsigned long collected = 0;
        for (int round = 0; round < ComparisonRounds; ++round) {
            vtsend = std::max(vtsend, VtSendRate(copy, DefaultSettings(), count));
            const TRsyslogCollector collector;
            forwarded = std::max(forwarded, VtSendRate(copy, ForwardingSettings(collector.Port()), count));
            collected = collector.InOrder(count);
        }
        const std::uint64_t memoryOff = MemoryAfter(copy, DefaultSettings(), memoryLines);
        const std::uint64_t memoryWaiting = MemoryAfter(copy, ForwardingSettings(FreePort()), memoryLines);
        constexpr double Megabyte = 1024.0 * 1024.0;
        std::printf("Syslog intake, %lu lines per run (lines/s)\n", count);
        std::printf("  vtsend into the terminal          %10.0f  best of %d\n", vtsend, ComparisonRounds);
        std::printf("  syslog over TCP (octet counting)  %10.0f  %.2f of vtsend (goal 0.8)  lost %lu\n", tcp.Rate,
                    tcp.Rate / vtsend, tcp.Lost);
        std::printf("  syslog over UDP                   %10.0f  %.2f of vtsend  lost %lu (counted)\n", udp.Rate,
                    udp.Rate / vtsend, udp.Lost);
        std::printf("  vtsend, forwarding on (TCP)       %10.0f  %.2f of off (goal 0.9), best of %d\n", forwarded,
                    forwarded / vtsend, ComparisonRounds);
        std::printf("  lines at rsyslog, in order        %10lu  of %lu taken (last round)\n", collected, count);
        std::printf("Memory after %lu lines of %zu characters (private MB)\n", memoryLines, MemoryLineChars);
        std::printf("  forwarding off                    %10.1f\n", memoryOff / Megabyte);
        std::printf("  collector unreachable             %10.1f  (lines wait up to 64 MB)\n", memoryWaiting / Megabyte);
        return 0;
    } catch (const Exception& failure) {
        std::fprintf(stderr, "vt_bench_syslog: %s\n", failure.what());
        return 1;
    }
}
