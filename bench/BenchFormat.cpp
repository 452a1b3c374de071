#include "BenchFormat.h"

#include <algorithm>
#include <cstdio>

namespace Bench {

namespace {

// Every line of a nested value moves in by one level.
std::string Indented(std::string value)
{
    for (std::size_t at = value.find('\n'); at != std::string::npos; at = value.find('\n', at + 1))
        value.insert(at + 1, "  ");
    return value;
}

} // namespace

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Number(std::int64_t value) { return std::to_string(value); }

std::string Fixed(const std::optional<double>& value, const char* format)
{
    return value ? Format(format, *value) : std::string(NotBuilt);
}

std::string Met(bool met) { return met ? "yes" : "NO"; }

std::string AtLeast(double goal) { return Format(">= %g", goal); }

std::string Below(double limit) { return Format("< %g", limit); }

std::string JsonNumber(double value) { return Format("%.6g", value); }
std::string JsonNumber(const std::optional<double>& value) { return value ? JsonNumber(*value) : "null"; }
std::string JsonNumber(std::int64_t value) { return std::to_string(value); }
std::string JsonBool(bool value) { return value ? "true" : "false"; }

std::string JsonObject(const TFields& fields)
{
    std::string text = "{";
    for (std::size_t i = 0; i < fields.size(); ++i)
        text += (i == 0 ? "\n  \"" : ",\n  \"") + fields[i].first + "\": " + Indented(fields[i].second);
    return text + "\n}";
}

std::string JsonArray(const std::vector<std::string>& values)
{
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        text += (i == 0 ? "\n  " : ",\n  ") + Indented(values[i]);
    return text + (values.empty() ? "]" : "\n]");
}

void PrintRows(const std::vector<TRow>& rows)
{
    std::size_t figureWidth = 0;
    for (const TRow& row : rows)
        figureWidth = std::max(figureWidth, row.Figure.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TRow& row = rows[i];
        std::printf("%-*s %-20s %-20s %-19s %-9s %s\n", static_cast<int>(figureWidth), row.Figure.c_str(),
                    row.Terminal.c_str(), row.Reference.c_str(), row.Ratio.c_str(), row.Target.c_str(), row.Met.c_str());
        if (i == 0)
            std::printf("%s\n", std::string(figureWidth + 74, '-').c_str());
    }
}

} // namespace Bench
