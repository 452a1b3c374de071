// The sender's buffered mode: lines are collected with the time stamp of their hand-over and
// written in batches, when a ring's worth waits, a few milliseconds after the first line,
// on Flush, when the buffer is destroyed and when the process ends through exit().
#pragma once

#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "SenderCore.h"
#include "SystemTick.h"
#include "WinHandles.h"

class TSendBuffer {
public:
    explicit TSendBuffer(TEntrySender& sender);
    // Writes what is still collected, then ends the flushing thread.
    ~TSendBuffer();
    TSendBuffer(const TSendBuffer&) = delete;
    TSendBuffer& operator=(const TSendBuffer&) = delete;

    // Collects one line: VT_OK, VT_CHANNEL_OFF (left out, as an unbuffered send would) or
    // VT_INVALID. Drops show later, in the sender's count and in Flush's result.
    VtResult Add(unsigned channel, std::string_view text);
    // Writes what is collected now; VT_DROPPED when any of its entries were dropped.
    VtResult Flush();

private:
    void RunFlusher();

    TEntrySender& FSender;
    std::mutex FWriting; // one batch at a time, so batches keep their order
    std::mutex FLock;    // FEntries and FStopping
    std::condition_variable FWake;
    std::vector<Sender::TEntry> FEntries;
    bool FStopping = false;
    // The first line's wait for company: a Sleep lasts a whole tick (15.6 ms) on Windows.
    const TUniqueHandle FPause = SystemTick::HighResolutionTimer();
    std::thread FFlusher;
};
