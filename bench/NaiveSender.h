// A sender written from the README's rules alone, as a client program might write it, not
// with our sender library: one guarded access and one "DebugEntry" per entry, WriteIndex as
// the next slot. It shows what a terminal gets from senders that post once per entry.
#pragma once

#include <windows.h>

#include <string_view>

#include "BenchShared.h"

class TNaiveSender {
public:
    TNaiveSender(); // throws Exception
    TNaiveSender(const TNaiveSender&) = delete;
    TNaiveSender& operator=(const TNaiveSender&) = delete;

    // Writes one entry (at most Shm::MaxTextLength bytes) and posts one notification. False
    // when the ring stayed full or the mutex busy for the whole give-up time.
    bool Send(unsigned channel, std::string_view text);

private:
    enum class TOutcome { Written, Full, Busy };

    TOutcome TryWrite(unsigned channel, double time, std::string_view text);
    void Notify() const noexcept;

    Bench::TExchange FExchange;
    UINT FDebugEntry = 0;
};
