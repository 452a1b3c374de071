#include "BenchThroughput.h"

#include <cstdio>

namespace Bench {

TFloodResult FloodTerminalWith(TBenchDriver& driver, const TChildProcess& terminal, const TTerminalView& view,
                               TSenderKind kind, unsigned long entries)
{
    driver.ClearList(view);
    TFloodSpec spec;
    spec.PerSender = entries;
    const DWORD limitMs = FloodLimitMs(static_cast<std::int64_t>(entries));
    TFloodSenders senders(driver, {kind, spec.Senders, entries});
    const double cpuBefore = terminal.CpuSeconds();
    senders.Go();

    TBenchDriver::TSendersRun run;
    run.Entries = static_cast<std::int64_t>(entries);
    run.Start = senders.AwaitFirstEntry(limitMs);
    PollUntil(limitMs, L"the senders did not finish", [&] { return senders.Done(); });
    run.End = driver.AwaitExchangeDrained(view.Window());
    view.AwaitPostedMessages(limitMs);
    run.Settled = NowTicks();
    run.ConsumerCpuSeconds = terminal.CpuSeconds() - cpuBefore;

    TFloodResult result = TBenchDriver::Result(run);
    result.Run = senders.Run();
    result.ListLines = view.Count();
    std::fprintf(stderr, "vt_bench:          flood took %.1f s, reading the list back\n", result.Seconds);
    result.Loss = driver.CheckListTail(view, spec, result.Run);
    return result;
}

} // namespace Bench
