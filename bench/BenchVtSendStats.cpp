#include "BenchVtSendStats.h"

#include <charconv>

namespace Bench {

namespace {

constexpr std::string_view StatsStart = "vtsend: ";
constexpr std::string_view HoldStart = "; longest hold of the mutex ";
constexpr std::string_view HoldEnd = " us";

// The hold of a stats line, or nothing when `line` (without its line end) is none.
std::optional<std::int64_t> HoldOfStatsLine(std::string_view line)
{
    const std::size_t holdAt = line.rfind(HoldStart);
    if (!line.starts_with(StatsStart) || !line.ends_with(HoldEnd) || holdAt == std::string_view::npos)
        return std::nullopt;
    std::string_view digits = line.substr(holdAt + HoldStart.size());
    if (digits.size() <= HoldEnd.size())
        return std::nullopt;
    digits.remove_suffix(HoldEnd.size());
    std::int64_t us = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), us);
    if (error != std::errc() || end != digits.data() + digits.size() || us < 0)
        return std::nullopt;
    return us;
}

} // namespace

TVtSendStats ReadVtSendStats(std::string_view errorOutput)
{
    TVtSendStats stats;
    while (!errorOutput.empty()) {
        const std::size_t lineEnd = errorOutput.find('\n');
        const std::size_t length = lineEnd == std::string_view::npos ? errorOutput.size() : lineEnd + 1;
        const std::string_view line = errorOutput.substr(0, length);
        errorOutput.remove_prefix(length);
        std::string_view text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1);
        if (const std::optional<std::int64_t> hold = HoldOfStatsLine(text))
            stats.LongestHoldUs = hold;
        else
            stats.Messages += line;
    }
    return stats;
}

} // namespace Bench
