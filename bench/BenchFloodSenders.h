// The senders of a responsiveness flood, of one of two kinds, started together and watched
// until they have sent everything: the bench sender on its naive route (one lock and one
// notification per entry, as the protocol allows) or the real vtsend program (--count).
#pragma once

#include "BenchRuns.h"

namespace Bench {

enum class TSenderKind { Naive, VtSend };

const char* KindName(TSenderKind kind) noexcept; // "naive", "vtsend"

struct TResponseSpec {
    TSenderKind Kind = TSenderKind::Naive;
    int Senders = 1;
    unsigned long PerSender = 0;
};

class TFloodSenders {
public:
    // Naive senders are started here and wait for Go(); vtsend processes start at Go().
    TFloodSenders(TBenchDriver& driver, const TResponseSpec& spec); // throws Exception
    TFloodSenders(const TFloodSenders&) = delete;
    TFloodSenders& operator=(const TFloodSenders&) = delete;

    // The run number in the tags of the lines they send.
    unsigned Run() const noexcept { return FRun; }
    void Go();
    // True once every sender has sent all it had; throws Exception when one failed.
    bool Done() const;

private:
    TBenchDriver& FDriver;
    TResponseSpec FSpec;
    unsigned FRun;
    TSenderProcesses FProcesses;
};

} // namespace Bench
