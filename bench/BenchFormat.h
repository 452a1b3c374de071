// The pieces the benchmark's table and JSON are made of.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Bench {

// One line of the table: the figure, what was measured, what it is held against, their
// ratio, the target and whether it is met.
struct TRow {
    std::string Figure, Terminal, Reference, Ratio, Target, Met;
};

inline constexpr char NotBuilt[] = "n/a (not built yet)";

// The rows as a table, the first one the heading, underlined.
void PrintRows(const std::vector<TRow>& rows);

std::string Format(const char* format, double value);
std::string Number(std::int64_t value);
std::string Fixed(const std::optional<double>& value, const char* format = "%.2f");
std::string Met(bool met);
// A goal in the table's target column: ">= 0.8", "< 150".
std::string AtLeast(double goal);
std::string Below(double limit);

std::string JsonNumber(double value);
std::string JsonNumber(const std::optional<double>& value);
std::string JsonNumber(std::int64_t value);
std::string JsonBool(bool value);

using TFields = std::vector<std::pair<std::string, std::string>>;
std::string JsonObject(const TFields& fields);
std::string JsonArray(const std::vector<std::string>& values);

} // namespace Bench
