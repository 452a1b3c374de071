// One filter or highlight rule as the user writes it: what it does, how its pattern matches,
// whether it is on, its colours and its pattern.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Include and exclude decide at intake whether a new line enters the list; a highlight
// colours the lines it matches.
enum class TRuleKind { Include, Exclude, Highlight };

// Text: contained as the search finds text (a to z in any case, every other character exact).
// Regex: a regular expression in RE2's syntax, letters in any case.
enum class TMatchMode { Text, Regex };

struct TFilterRule {
    TRuleKind Kind = TRuleKind::Highlight;
    TMatchMode Mode = TMatchMode::Text;
    bool Enabled = true;
    // Colour values (0 or more RGB, negative a system colour) of a highlight; none: the
    // list's own. Include and exclude rules have none.
    std::optional<std::int32_t> TextColour;
    std::optional<std::int32_t> BackColour;
    std::wstring Pattern;

    bool operator==(const TFilterRule&) const = default;
};

// The names the settings file and the dialog use: "include", "exclude", "highlight";
// "text", "regex". Reading takes them in any case.
std::wstring_view KindName(TRuleKind kind) noexcept;
std::wstring_view ModeName(TMatchMode mode) noexcept;
std::optional<TRuleKind> KindFromName(std::wstring_view name);
std::optional<TMatchMode> ModeFromName(std::wstring_view name);

// Patterns are at most this long, so that a rule fits a line of the settings file and a
// regular expression stays small.
inline constexpr std::size_t MaxPatternChars = 255;

// Why a pattern cannot be a rule's, or nothing when it can: it is empty or too long, it ends
// in a blank or tab (which the settings file would not keep), or, in regex mode, it is not a
// valid regular expression.
std::optional<std::wstring> PatternProblem(TMatchMode mode, std::wstring_view pattern);
