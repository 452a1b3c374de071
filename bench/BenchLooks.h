// What a series of looks at the screen says: each look is a hash of the pixels one window
// showed at one moment; two looks that differ mean the window was drawn anew between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace Bench {

struct TScreenLook {
    std::int64_t Ticks = 0; // when the pixels had been read (NowTicks)
    std::uint64_t Hash = 0;
};

// Looks taken in (from, to], and how many of them differ from the look before them.
int CountLooks(const std::vector<TScreenLook>& looks, std::int64_t from, std::int64_t to);
int CountChanges(const std::vector<TScreenLook>& looks, std::int64_t from, std::int64_t to);

// The first look taken after `after` that differs from the look before it: by then the
// screen showed something drawn after the look before it.
std::optional<std::int64_t> FirstChangeAfter(const std::vector<TScreenLook>& looks, std::int64_t after);

// The latest look that differs from the look before it.
std::optional<std::int64_t> LastChange(const std::vector<TScreenLook>& looks);

// FNV-1a over a block of pixels.
std::uint64_t HashBytes(const void* data, std::size_t size) noexcept;

} // namespace Bench
