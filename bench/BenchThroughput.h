// Whole senders into the terminal against the naive ceiling: vtsend with --count and
// reading a pipe, and the C program calling VtSend in a tight loop, each into a fresh
// terminal; naive senders (one lock and one notification per entry) into the bare consumer.
#pragma once

#include "BenchFloodSenders.h"
#include "BenchProcess.h"
#include "BenchRuns.h"

namespace Bench {

struct TSenderThroughput {
    unsigned long Entries = 0; // per flood, split among its senders
    // Into the bare consumer: one naive sender, whose rate is the naive ceiling, and four
    // that share the entries, for comparison.
    TFloodResult Naive, Naive4;
    TFloodResult VtSendCount, VtSendPipe, CApi; // into a fresh terminal each

    double NaiveCeiling() const noexcept { return Naive.Rate; }
};

// One sender of `kind` sends `entries` lines into the terminal, whose list is cleared first.
// Timed from the first entry seen in the ring until the last one is taken and the window
// has answered; then the list is read back for every line exactly once. Throws Exception.
TFloodResult FloodTerminalWith(TBenchDriver& driver, const TChildProcess& terminal, const TTerminalView& view,
                               TSenderKind kind, unsigned long entries);

} // namespace Bench
