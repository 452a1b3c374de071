// The senders of a flood, of one kind, started together and watched until they have sent
// everything: the bench sender on its naive route (one lock and one notification per entry,
// as the protocol allows) or on its lines route (VtSendLines, a ring's worth per call), the C
// program that calls VtSend per entry, or the real vtsend program, with --count or reading
// its lines from a pipe that this process fills as fast as the pipe takes them.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "BenchRuns.h"

namespace Bench {

enum class TSenderKind { Naive, Lines, CApi, VtSend, VtSendPipe };

// "naive", "lines", "C API", "vtsend", "vtsend stdin"
const char* KindName(TSenderKind kind) noexcept;

struct TResponseSpec {
    TSenderKind Kind = TSenderKind::Naive;
    int Senders = 1;
    unsigned long PerSender = 0;
};

class TFloodSenders {
public:
    // The bench's own senders are started here and wait for Go(); vtsend processes start at Go().
    TFloodSenders(TBenchDriver& driver, const TResponseSpec& spec); // throws Exception
    TFloodSenders(const TFloodSenders&) = delete;
    TFloodSenders& operator=(const TFloodSenders&) = delete;

    // The run number in the tags of the lines they send.
    unsigned Run() const noexcept { return FRun; }
    void Go();
    // The moment an entry of the flood was first seen in the ring: one waits there or a
    // sender has moved WriteIndex on. Throws Exception when none came within the limit.
    std::int64_t AwaitFirstEntry(DWORD limitMs) const;
    // True once every sender has sent all it had; throws Exception when one failed.
    bool Done() const;

private:
    void StartVtSend(int id);
    void StartVtSendOnPipe(int id);

    TBenchDriver& FDriver;
    TResponseSpec FSpec;
    unsigned FRun;
    std::int32_t FWriteIndex = 0;      // as Go() found it
    std::vector<std::string> FInputs;  // vtsend on a pipe: the bytes each one reads
    std::vector<std::jthread> FWriters; // before FProcesses: a writer ends once its reader has
    TSenderProcesses FProcesses;
};

} // namespace Bench
