// A slow disk for the terminal's log to file: a FIFO (a pipe with a name in the file system,
// made by scripts/bench.sh) that this process reads at a few tens of KB/s, so that the log
// thread's writes block as on a disk that cannot keep up. Only where such a FIFO exists:
// under Wine, whose files are the host's. A named pipe (\\.\pipe\...) is no such target: the
// log opens its file for appending, and an append-only handle to a pipe may not write.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "WinHandles.h"

namespace Bench {

class TSlowLogTarget {
public:
    // Whether `path` is a FIFO that this process can read.
    static bool Present(const std::wstring& path);

    // Starts reading slowly; the terminal may open the FIFO for its log before or after.
    explicit TSlowLogTarget(const std::wstring& path); // throws Exception
    // Stops reading; call Finish() first to read everything.
    ~TSlowLogTarget();
    TSlowLogTarget(const TSlowLogTarget&) = delete;
    TSlowLogTarget& operator=(const TSlowLogTarget&) = delete;

    // Lines read so far (CR LF each).
    std::int64_t Lines() const noexcept { return FLines; }
    // From now on reads as fast as the log writes, so that the terminal can close soon.
    void Hurry() noexcept { FHurry = true; }
    // Once the terminal has closed: reads what it left and returns every line read.
    std::int64_t Finish(); // throws Exception when the rest does not come within a time limit

    static constexpr std::int64_t BytesPerSecond = 32 * 1024;

private:
    void Read();

    TUniqueFileHandle FFifo;
    std::atomic<std::int64_t> FLines{0};
    std::atomic<bool> FHurry{false};
    std::atomic<bool> FFinishing{false}; // a read that finds nothing ends the reading
    std::atomic<bool> FStop{false};
    std::atomic<bool> FEnded{false};
    std::thread FThread; // last: it starts once everything above exists
};

} // namespace Bench
