#include "ShmIntake.h"

#include <cstring>

std::optional<std::int32_t> ReadPendingCount(const TShmArea& area, HANDLE mutex)
{
    std::optional<std::int32_t> count;
    WithShmLock(mutex, [&] { count = area.PendingCount; });
    return count;
}

bool ResetTerminalState(TShmArea& area, HANDLE mutex)
{
    return WithShmLock(mutex, [&] {
        area.PendingCount = 0;
        area.TerminalWnd = 0;
        area.WriteIndex = 0;
        for (auto& text : area.SlotText)
            text[0] = 0;
        std::memset(area.ChannelOn, 0, sizeof area.ChannelOn);
    });
}
