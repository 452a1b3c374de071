// Turning a taken entry into a display line, and the line-limit margin: plain functions
// that need no window.
#pragma once

#include <cstdint>
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

// 0 gives 'M', any other byte b the character with code 48 + b.
char ChannelCharacter(std::uint8_t channel) noexcept;

// "-c- date time,mmm text" as the options say, built in the ANSI code page, with the
// user's short date and long time formats as they stand at the moment of the call.
std::string FormatEntryLine(std::string_view text, std::uint8_t channel, double time, TLineOptions options);

// A single form feed clears the list; an empty text is an empty line without prefixes;
// anything else is a formatted line.
TEntryAction DecideEntry(const TSlotEntry& entry, TLineOptions options);

// How many lines the list may exceed the limit by before it is trimmed: 8 to 128.
std::int32_t OverheadFor(std::int32_t displayLines) noexcept;
