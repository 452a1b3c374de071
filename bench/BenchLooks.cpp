#include "BenchLooks.h"

namespace Bench {

namespace {

bool Within(const TScreenLook& look, std::int64_t from, std::int64_t to) { return look.Ticks > from && look.Ticks <= to; }

} // namespace

int CountLooks(const std::vector<TScreenLook>& looks, std::int64_t from, std::int64_t to)
{
    int count = 0;
    for (const TScreenLook& look : looks)
        count += Within(look, from, to) ? 1 : 0;
    return count;
}

int CountChanges(const std::vector<TScreenLook>& looks, std::int64_t from, std::int64_t to)
{
    int count = 0;
    for (std::size_t i = 1; i < looks.size(); ++i)
        count += Within(looks[i], from, to) && looks[i].Hash != looks[i - 1].Hash ? 1 : 0;
    return count;
}

std::optional<std::int64_t> FirstChangeAfter(const std::vector<TScreenLook>& looks, std::int64_t after)
{
    for (std::size_t i = 1; i < looks.size(); ++i)
        if (looks[i].Ticks > after && looks[i].Hash != looks[i - 1].Hash)
            return looks[i].Ticks;
    return std::nullopt;
}

std::optional<std::int64_t> LastChange(const std::vector<TScreenLook>& looks)
{
    for (std::size_t i = looks.size(); i > 1; --i)
        if (looks[i - 1].Hash != looks[i - 2].Hash)
            return looks[i - 1].Ticks;
    return std::nullopt;
}

std::uint64_t HashBytes(const void* data, std::size_t size) noexcept
{
    constexpr std::uint64_t Offset = 14695981039346656037ull;
    constexpr std::uint64_t Prime = 1099511628211ull;
    std::uint64_t hash = Offset;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * Prime;
    return hash;
}

} // namespace Bench
