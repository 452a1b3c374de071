// Fields of the exchange area read without the mutex: TerminalWnd and the switches, which
// the terminal writes with one store each, and PendingCount as a hint that a guarded access
// confirms. Each is one load that the compiler must not cache. The record is packed, so a
// field is reached by its offset (the view is page-aligned, TerminalWnd 8-aligned).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ShmDefs.h"

template <class T>
T ReadUnguarded(const TShmArea& area, std::size_t offset) noexcept
{
    return *reinterpret_cast<const volatile T*>(reinterpret_cast<const unsigned char*>(&area) + offset);
}

inline std::int32_t PendingCountHint(const TShmArea& area) noexcept
{
    return ReadUnguarded<std::int32_t>(area, offsetof(TShmArea, PendingCount));
}
