// Reading values typed by the user or stored in the settings file: plain functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The line limit the user may set.
inline constexpr std::int32_t MinLineLimit = 1;
inline constexpr std::int32_t MaxLineLimit = 32000;

// The whole text as a signed 32-bit integer: leading spaces (not tabs), an optional "+" or
// "-", then decimal digits or hexadecimal digits after "$", "x", "X", "0x" or "0X"; the
// digits end the text. Decimal must fit the signed range; hexadecimal is a 32-bit pattern
// ($FF000008 is -16777208) and more than 32 bits is rejected. A sign before hexadecimal
// negates the pattern modulo 2^32: "-$10" is -16, "-$FFFFFFFF" is 1, "-$80000000" stays
// -2147483648. Nothing when the text is not such a number.
std::optional<std::int32_t> ParseInteger(std::wstring_view text) noexcept;

// On when the text, with ASCII letters upper-cased, is "TRUE".
bool ParseFlag(std::wstring_view text) noexcept;

// On when the first character is "1"; the empty text is off.
bool ParseSwitch(std::wstring_view text) noexcept;

// The line-limit field: an integer as ParseInteger reads it, from MinLineLimit to
// MaxLineLimit. The empty field is the caller's business (it does nothing).
std::optional<std::int32_t> ParseLineLimit(std::wstring_view text) noexcept;
