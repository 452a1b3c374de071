// Where the terminal reads the ring when it cannot go on from where it left off: at start-up,
// and after a count that no sender keeping the rules could have written.
#pragma once

#include <cstdint>

#include "ShmDefs.h"

// The slot a starting terminal takes first, from the area as it finds it under the mutex.
// - Entries pending (1 to 63): the oldest of them, WriteIndex - PendingCount, with WriteIndex
//   wrapped as senders wrap it. A terminal that ended without its shutdown leaves the ring at
//   any slot, and only the senders' WriteIndex says where.
// - A WriteIndex of 0 with entries pending reads two ways: a sender that keeps its next slot
//   in WriteIndex wrapped round to 0, or one that leaves WriteIndex alone wrote from slot 0 on
//   (where the ring starts after a shutdown). The slots that still hold text decide, since
//   the terminal empties every slot it takes; a tie goes to slot 0.
// - 64 or more pending: SweepStart.
// - Nothing pending, or a negative count: the senders' next slot.
std::int32_t StartReadIndex(const TShmArea& area) noexcept;

// Where a sweep of the whole ring starts when the count says 64 or more: the oldest slot an
// entry can be in. Slots already taken may be taken again; none waiting is skipped, and the
// sweep ends where the senders write next.
std::int32_t SweepStart(const TShmArea& area) noexcept;
