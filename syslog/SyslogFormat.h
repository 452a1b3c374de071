// A line of the terminal as a RFC 5424 syslog message, and its TCP frame (RFC 6587 octet
// counting): plain functions that need no socket.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// The name the terminal's own lines carry as APP-NAME.
inline constexpr std::string_view TerminalAppName = "Vellumtrace64";

// A line the terminal has taken, as it is forwarded.
struct TForwardLine {
    std::string Text;          // ANSI code page, without the list's prefixes
    std::uint8_t Channel = 0;  // becomes MSGID: "M" for 0, else its number
    SYSTEMTIME Time{};         // the terminal's time stamp, local time
    std::string App;           // empty: TerminalAppName
    std::uint32_t ProcessId = 0; // 0: not known
};

// "<15>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID - BOM MSG": user facility, debug severity;
// the time stamp with milliseconds and the given offset from UTC; header fields reduced to
// printable ASCII (others become '_'), an empty field "-"; MSG in UTF-8.
std::string FormatRfc5424(const TForwardLine& line, std::string_view hostName, int offsetMinutes);

// "LEN SP MESSAGE".
std::string OctetCounted(std::string_view message);

// How far the local time `local` is ahead of UTC, in minutes (daylight saving time
// included).
int LocalOffsetMinutes(const SYSTEMTIME& local);

// This computer's DNS host name, in UTF-8.
std::string ComputerHostName();
