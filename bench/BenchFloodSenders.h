// The senders of a flood, of one kind, started together and watched until they have sent
// everything: the bench sender on its naive route (one lock and one notification per entry,
// as the protocol allows) or on its lines route (VtSendLines, a ring's worth per call), the C
// program that calls VtSend per entry, or the real vtsend program, with --count or reading
// its lines from a pipe that this process fills as fast as the pipe takes them; and beside
// them, when asked, bench senders that flood OutputDebugStringA at the same time.
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

// What the terminal does beside taking a responsiveness flood; its settings say so.
enum class TResponseScene {
    Plain,
    Capture, // its capture is on, and debug-output senders flood it beside the area's
    SlowLog, // its log to file writes to a target that takes a few tens of KB/s
    Rules,   // filter rules test every line and highlights colour most of them
};

struct TResponseSpec {
    TSenderKind Kind = TSenderKind::Naive;
    int Senders = 1;
    unsigned long PerSender = 0;
    TResponseScene Scene = TResponseScene::Plain;
    // This many more senders flood OutputDebugStringA, PerSender messages each.
    int DebugOutputSenders = 0;
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
    // True once every sender has sent all it had; throws Exception when one failed. The
    // vtsend processes' longest holds of the mutex go to the driver once they have all ended.
    bool Done();

private:
    void StartVtSend(int id);
    void StartVtSendOnPipe(int index); // of the sender and of its input
    bool VtSendsDone();
    void NoteVtSendHolds(); // throws Exception when one wrote no stats line

    TBenchDriver& FDriver;
    TResponseSpec FSpec;
    unsigned FRun;
    int FFirstVtSendId = 1;            // after the bench senders' ids
    std::int32_t FWriteIndex = 0;      // as Go() found it
    std::vector<std::string> FInputs;  // vtsend on a pipe: the bytes each one reads
    std::vector<std::jthread> FWriters; // before FVtSends: a writer ends once its reader has
    TSenderProcesses FVtSends;
    bool FVtSendHoldsNoted = false;
    TSenderProcesses FBenchSenders;    // numbered from 1 as the driver's statistics count them
};

} // namespace Bench
