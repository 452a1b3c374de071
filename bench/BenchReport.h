// The figures of one benchmark run, printed as one table and written as JSON.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "BenchRuns.h"

namespace Bench {

struct TBenchReport {
    // What was run.
    unsigned long PerSender = 0;
    unsigned long SteadyPerSender = 0;
    unsigned long EntrySize = DefaultEntrySize;
    DWORD LatencySpacingMs = 0;
    int DisplayLimit = 0;

    // Intake with 1 and 4 senders into the terminal, the bare consumer and the peer route.
    TFloodResult Terminal1, Terminal4, Bare1, Bare4, Peer1, Peer4;
    // The same senders on a short list and with the list at the limit, against the bare consumer.
    TFloodResult SteadyShort, SteadyLimit, SteadyBare;
    int LinesBeforeLimitRun = 0;
    int TrimThreshold = 0; // lines the list reaches before the trim is due

    // Capture of OutputDebugStringA by the terminal against the minimal reader, each right
    // after the other; the exchange route's intake while senders flood both routes at once.
    TFloodResult Capture1, Capture4, Reader1, Reader4, AreaBesideCapture;
    int CaptureFloodSenders = 0; // through OutputDebugStringA beside AreaBesideCapture

    // The same flood with the log to file off and on; the entries of the run found in the log.
    TFloodResult LogOff, LogOn;
    std::int64_t LogFileLines = 0;

    TLatencyResult Latency;
    TMemoryResult Memory;

    std::optional<double> TerminalSearchMs, TerminalSaveMs;
    double PlainScanMs = 0;
    double PlainWriteMs = 0;
};

void PrintTable(const TBenchReport& report);
void WriteJson(const TBenchReport& report, const std::wstring& path); // throws Exception

} // namespace Bench
