// The sender and responsiveness rows measured twice: as Wine times waits, and with every wait
// of our processes ending on the Windows timer tick (SystemTick), as on Windows.
#pragma once

#include "BenchReport.h"

namespace Bench {

// In the tick mode every sender keeps at least this share of its rate without it.
inline constexpr double MinTickRatio = 0.8;

// Starts our processes from now on with waits on the Windows tick, or without.
void SetWindowsTick(bool simulated);

void PrintTickTable(const TBenchReport& normal, const TBenchReport& tick);

} // namespace Bench
