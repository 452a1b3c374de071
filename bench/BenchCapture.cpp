// The capture of OutputDebugString measured: the senders' texts through the system's
// debug-output buffer into the terminal's list.
#include "BenchRuns.h"

#include "Exception.h"

namespace Bench {

namespace {

constexpr DWORD ShowLimitMs = 60000; // after the last call, every message shows within this
constexpr DWORD PollMs = 1;

} // namespace

TFloodResult TBenchDriver::FloodCapture(const TChildProcess& process, const TTerminalView& terminal, const TFloodSpec& spec)
{
    const unsigned run = NextRun();
    const int expected = spec.Senders * static_cast<int>(spec.PerSender);
    const TSendersRun senders = RunSenders(spec, run, process, nullptr, [&] {
        // Each call waits until the terminal's reader has taken its text; the list shows it
        // once the window has taken it from the reader.
        const ULONGLONG deadline = GetTickCount64() + ShowLimitMs;
        while (terminal.Count() < expected) {
            if (GetTickCount64() >= deadline)
                throw Exception(L"Timed out: the captured messages did not all reach the list");
            Sleep(PollMs);
        }
        return NowTicks();
    }, [&] { terminal.AwaitPostedMessages(ShowLimitMs); });
    TFloodResult result = Result(senders);
    result.Run = run;
    result.ListLines = terminal.Count();
    result.Loss = CheckListTail(terminal, spec, run);
    return result;
}

} // namespace Bench
