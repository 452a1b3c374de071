// A bench sender's side of a flood, for the bench sender and the C program alike: what it is
// told on its command line, its numbered texts, built beforehand so that the timed loop only
// sends, the driver's start, and its report into the statistics record.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BenchShared.h"

namespace Bench {

class TSenderTask {
public:
    // Reads --id K, --run R, --count N and --size BYTES (default 60), opens the statistics
    // record and the start event, and builds the texts. Throws Exception.
    explicit TSenderTask(const TArguments& arguments);

    const std::vector<std::string>& Texts() const noexcept { return FTexts; }
    // Reports the sender ready, waits for the driver's start and notes the moment of the
    // first send. Throws Exception when the start does not come in time.
    void AwaitGo();
    // `longestHoldUs`: senders with our library report VtLongestHoldMicroseconds.
    void Finish(std::int64_t sent, std::int64_t dropped, std::optional<unsigned long> longestHoldUs) noexcept;

private:
    TSenderReport& Report() const noexcept { return FView.Stats().Senders[FId]; }

    TStatsView FView;
    TUniqueHandle FGo;
    unsigned FId = 0;
    std::vector<std::string> FTexts;
};

} // namespace Bench
