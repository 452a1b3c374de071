#include "BenchTick.h"

#include <cstdio>
#include <string>
#include <vector>

#include "BenchFormat.h"
#include "BenchResponseReport.h"
#include "SystemTick.h"

namespace Bench {

namespace {

std::string Rate(const TFloodResult& result) { return Format("%.0f", result.Rate); }

TRow TickRow(const std::string& figure, const TFloodResult& tick, const TFloodResult& normal)
{
    const std::optional<double> ratio =
        normal.Rate > 0 ? std::optional<double>(tick.Rate / normal.Rate) : std::nullopt;
    return {figure, Rate(tick), Rate(normal) + " normal", Fixed(ratio), AtLeast(MinTickRatio),
            Met(ratio && *ratio >= MinTickRatio)};
}

void AppendResponseRows(std::vector<TRow>& rows, const char* mode, const TBenchReport& report)
{
    for (TRow row : ResponseRows(report.Responses)) {
        row.Figure = std::string(mode) + row.Figure;
        rows.push_back(row);
    }
}

} // namespace

void SetWindowsTick(bool simulated)
{
    SetEnvironmentVariableW(SystemTick::EnvironmentName, simulated ? L"1" : nullptr);
}

void PrintTickTable(const TBenchReport& normal, const TBenchReport& tick)
{
    const std::string entries = std::to_string(normal.Throughput.Entries);
    std::vector<TRow> rows = {
        {"Figure", "Windows tick", "Normal", "Ratio", "Target", "Met"},
        TickRow("Library sender into the terminal, 1 sender [e/s]", tick.Terminal1, normal.Terminal1),
        TickRow("Library senders into the terminal, 4 senders [e/s]", tick.Terminal4, normal.Terminal4),
        TickRow("vtsend --count " + entries + " [e/s]", tick.Throughput.VtSendCount, normal.Throughput.VtSendCount),
        TickRow("vtsend, " + entries + " lines from a pipe [e/s]", tick.Throughput.VtSendPipe,
                normal.Throughput.VtSendPipe),
        TickRow("C program, VtSend in a tight loop [e/s]", tick.Throughput.CApi, normal.Throughput.CApi),
        {"Naive ceiling: 1 naive sender (4 senders) [e/s]",
         Rate(tick.Throughput.Naive) + " (" + Rate(tick.Throughput.Naive4) + ")",
         Rate(normal.Throughput.Naive) + " (" + Rate(normal.Throughput.Naive4) + ")", "", "", ""},
    };
    AppendResponseRows(rows, "normal: ", normal);
    AppendResponseRows(rows, "tick: ", tick);

    std::printf("Vellumtrace64 benchmark, Windows tick: every sleep, timed wait and timer of the terminal and the "
                "senders ends on a 15.625 ms boundary, as on Windows; %lu entries per sender, %lu per throughput "
                "flood, %lu per responsiveness flood\n\n",
                normal.PerSender, normal.Throughput.Entries, normal.ResponseEntries);
    PrintRows(rows);
}

} // namespace Bench
