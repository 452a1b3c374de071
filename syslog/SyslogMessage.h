// A syslog message as it comes off the wire (RFC 5424, RFC 3164 and the common hybrids of the
// two) and the text the terminal shows for it: plain functions that need no socket.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The parts the terminal uses; a part that was not sent (or sent as RFC 5424's "-") is empty.
struct TSyslogMessage {
    std::string Host;
    std::string App;
    std::string ProcId;
    std::string Text;                        // MSG, without a leading byte order mark
    std::optional<std::uint64_t> SequenceId; // RFC 5424's [meta sequenceId="N"]
};

// Whatever the bytes are: without a valid PRI the whole text is the message.
TSyslogMessage ParseSyslogMessage(std::string_view wire);

// "HOST APP[PROCID]: MSG", the parts that were not sent left out ("HOST APP: MSG",
// "HOST: MSG", "MSG"), in the ANSI code page: text that is valid UTF-8 is converted, other
// bytes are taken as they are. A NUL, which would end the line, shows as a space.
std::string ReceivedLineText(const TSyslogMessage& message);
