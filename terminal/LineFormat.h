// Turning a taken entry into a display line, and the line-limit margin: plain functions
// that need no window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ShmIntake.h"

// Which prefixes a display line gets (the marks of the Options menu).
struct TLineOptions {
    bool Channel = true;
    bool Date = false;
    bool Time = true;
};

// What one entry does to the list.
struct TEntryAction {
    enum class TKind { Append, Clear };
    TKind Kind = TKind::Append;
    std::string Line; // 8-bit text in the ANSI code page; empty for Clear
};

// 0 gives 'M', any other byte b the character with code 48 + b. A wide character, as the
// date and time texts are: bytes above 207 lie beyond Latin-1 and reach the line through
// the ANSI code page like them.
wchar_t ChannelCharacter(std::uint8_t channel) noexcept;

// A time stamp (days since 30 Dec 1899, fraction = time of day, also for negative days)
// taken to the nearest millisecond; nothing when it is no date of 1 Jan 0001 to 31 Dec 9999.
std::optional<SYSTEMTIME> StampToSystemTime(double time) noexcept;

// What the date and time pieces read for a stamp that is no valid date (NaN, infinite, out
// of range): the line keeps its shape and its channel and text. A valid date the system
// cannot render (Windows formats years from 1601 on) gets InvalidDateText alone.
inline constexpr std::string_view InvalidDateText = "??.??.????";
inline constexpr std::string_view InvalidTimeText = "??:??:??,???";

// "-c- date time,mmm text" as the options say, built in the ANSI code page, with the
// user's short date and long time formats as they stand at the moment of the call.
std::string FormatEntryLine(std::string_view text, std::uint8_t channel, double time, TLineOptions options);
// The same for a moment given as calendar time; nothing stands for a stamp that is no date.
std::string FormatLine(std::string_view text, std::uint8_t channel, const std::optional<SYSTEMTIME>& stamp,
                       TLineOptions options);

// A single form feed clears the list; an empty text is an empty line without prefixes;
// anything else is a formatted line.
TEntryAction DecideEntry(const TSlotEntry& entry, TLineOptions options);

// How many lines the list may exceed the limit by before it is trimmed: 8 to 128.
std::int32_t OverheadFor(std::int32_t displayLines) noexcept;
