// The figures of one benchmark run, printed as one table and written as JSON.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "BenchResponse.h"
#include "BenchRuns.h"
#include "BenchThroughput.h"

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

    // vtsend and the C program into the terminal against the naive ceiling.
    TSenderThroughput Throughput;
    // The longest hold of the mutex by our senders over the whole run, in microseconds, by
    // route (see TBenchDriver::LongestHoldsUs).
    std::map<std::string, std::int64_t> LongestHoldsUs;
    // Intake with 1 sender and rules in force, against no rules, in one run.
    unsigned long RulesPerSender = 0;
    unsigned long PathologicalPerSender = 0;
    TFloodResult NoRules, TextRules, RegexRules, PathologicalRule;
    // The decision alone, per line, timed in this process.
    double TextRulesCostUs = 0, RegexRulesCostUs = 0, PathologicalCostUs = 0;
    // The longest decision of a hostile pattern on a long line: a rule's first, a later one.
    std::size_t HostileLineChars = 0;
    double HostileFirstUs = 0, HostileLaterUs = 0;
    // Capture of OutputDebugStringA by the terminal against the minimal reader, each right
    // after the other; the exchange route's intake while senders flood both routes at once.
    TFloodResult Capture1, Capture4, Reader1, Reader4, AreaBesideCapture;
    int CaptureFloodSenders = 0; // through OutputDebugStringA beside AreaBesideCapture

    // The same flood with the log to file off and on; the entries of the run found in the log.
    TFloodResult LogOff, LogOn;
    std::int64_t LogFileLines = 0;

    TLatencyResult Latency;
    TMemoryResult Memory;

    // Key presses, screen updates and backlog under floods of naive senders, vtsend and the
    // bench sender's lines route.
    unsigned long ResponseEntries = 0; // per flood, split among its senders
    std::vector<TResponseResult> Responses;

    std::optional<double> TerminalSearchMs, TerminalSaveMs;
    double PlainScanMs = 0;
    double PlainWriteMs = 0;
};

void PrintTable(const TBenchReport& report);
void WriteJson(const TBenchReport& report, const std::wstring& path); // throws Exception

} // namespace Bench
