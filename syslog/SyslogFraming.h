// Syslog over TCP (RFC 6587): the messages of a byte stream, framed by octet counting
// ("LEN SP MSG") or by a line feed, told apart frame by frame.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Longest message taken: as long as a UDP datagram can be. A longer octet count is not
// believed (the frame is read as a line), and a longer line is cut into messages of this
// size, so that a connection never holds more than this unframed.
inline constexpr std::size_t MaxSyslogMessageBytes = 64 * 1024;

class TSyslogFramer {
public:
    // Appends to `messages` every message that the bytes received so far complete.
    void Feed(std::string_view bytes, std::vector<std::string>& messages);
    // The connection has closed: a last unterminated line is a message too.
    void Finish(std::vector<std::string>& messages);

private:
    // Takes one message from FPending at FStart; false when it is not complete yet.
    bool TakeOne(std::vector<std::string>& messages);
    bool TakeCounted(std::size_t digits, std::vector<std::string>& messages);
    bool TakeLine(std::vector<std::string>& messages);
    void Emit(std::string_view message, std::vector<std::string>& messages);

    std::string FPending;
    std::size_t FStart = 0; // where the next frame starts in FPending
};
