#include "ValueParse.h"

#include <array>

namespace {

constexpr std::uint64_t PatternMask = 0xFFFF'FFFFull;
constexpr std::uint64_t NegativeMagnitude = 0x8000'0000ull; // |INT32_MIN|
constexpr std::array<std::wstring_view, 5> HexPrefixes{L"0x", L"0X", L"$", L"x", L"X"};

std::optional<unsigned> DigitValue(wchar_t c, unsigned base) noexcept
{
    unsigned value = base; // no digit
    if (c >= L'0' && c <= L'9')
        value = static_cast<unsigned>(c - L'0');
    else if (c >= L'a' && c <= L'f')
        value = static_cast<unsigned>(c - L'a') + 10;
    else if (c >= L'A' && c <= L'F')
        value = static_cast<unsigned>(c - L'A') + 10;
    if (value >= base)
        return std::nullopt;
    return value;
}

// The magnitude of a run of digits that makes up the rest of the text; nothing when there
// is no digit, another character follows, or it exceeds the limit.
std::optional<std::uint64_t> ParseMagnitude(std::wstring_view digits, unsigned base, std::uint64_t limit) noexcept
{
    if (digits.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    for (const wchar_t c : digits) {
        const auto digit = DigitValue(c, base);
        if (!digit)
            return std::nullopt;
        magnitude = magnitude * base + *digit;
        if (magnitude > limit) // checked at every digit, so it never overflows
            return std::nullopt;
    }
    return magnitude;
}

} // namespace

std::optional<std::int32_t> ParseInteger(std::wstring_view text) noexcept
{
    const auto start = text.find_first_not_of(L' ');
    if (start == std::wstring_view::npos)
        return std::nullopt;
    text.remove_prefix(start);

    bool negative = false;
    if (text.front() == L'+' || text.front() == L'-') {
        negative = text.front() == L'-';
        text.remove_prefix(1);
    }

    for (const auto prefix : HexPrefixes) {
        if (text.starts_with(prefix)) {
            const auto pattern = ParseMagnitude(text.substr(prefix.size()), 16, PatternMask);
            if (!pattern)
                return std::nullopt;
            const std::uint32_t bits = static_cast<std::uint32_t>(negative ? 0 - *pattern : *pattern);
            return static_cast<std::int32_t>(bits);
        }
    }

    const auto magnitude = ParseMagnitude(text, 10, negative ? NegativeMagnitude : NegativeMagnitude - 1);
    if (!magnitude)
        return std::nullopt;
    const auto value = static_cast<std::int64_t>(*magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

bool ParseFlag(std::wstring_view text) noexcept
{
    constexpr std::wstring_view True = L"TRUE";
    if (text.size() != True.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
        if (c != True[i])
            return false;
    }
    return true;
}

bool ParseSwitch(std::wstring_view text) noexcept
{
    return !text.empty() && text.front() == L'1';
}

std::optional<std::int32_t> ParseLineLimit(std::wstring_view text) noexcept
{
    const auto value = ParseInteger(text);
    if (!value || *value < MinLineLimit || *value > MaxLineLimit)
        return std::nullopt;
    return value;
}
