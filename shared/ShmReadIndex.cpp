#include "ShmReadIndex.h"

namespace {

// How many of the `count` slots from `first` on still hold text.
int SlotsWithText(const TShmArea& area, std::int32_t first, std::int32_t count) noexcept
{
    int withText = 0;
    for (std::int32_t i = 0; i < count; ++i)
        withText += area.SlotText[Shm::WrapSlot(first + i)][0] != 0 ? 1 : 0;
    return withText;
}

} // namespace

std::int32_t SweepStart(const TShmArea& area) noexcept { return Shm::WrapSlot(area.WriteIndex); }

std::int32_t StartReadIndex(const TShmArea& area) noexcept
{
    const std::int32_t pending = area.PendingCount;
    const std::int32_t next = Shm::WrapSlot(area.WriteIndex);
    if (pending <= 0 || pending >= Shm::SlotCount)
        return SweepStart(area);
    const std::int32_t oldest = Shm::WrapSlot(next - pending);
    if (next != 0)
        return oldest;
    return SlotsWithText(area, oldest, pending) > SlotsWithText(area, 0, pending) ? oldest : 0;
}
