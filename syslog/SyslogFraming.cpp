#include "SyslogFraming.h"

#include <algorithm>

namespace {

constexpr std::size_t MaxCountDigits = 5; // 65536 has five

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// A CR or NUL before the line feed belongs to no message.
std::string_view WithoutLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\0'))
        line.remove_suffix(1);
    return line;
}

} // namespace

void TSyslogFramer::Feed(std::string_view bytes, std::vector<std::string>& messages)
{
    FPending.append(bytes);
    while (FStart < FPending.size() && TakeOne(messages)) {
    }
    FPending.erase(0, FStart);
    FStart = 0;
}

void TSyslogFramer::Finish(std::vector<std::string>& messages)
{
    Emit(WithoutLineEnd(std::string_view(FPending).substr(FStart)), messages);
    FPending.clear();
    FStart = 0;
}

bool TSyslogFramer::TakeOne(std::vector<std::string>& messages)
{
    const std::string_view frame = std::string_view(FPending).substr(FStart);
    std::size_t digits = 0;
    while (digits < frame.size() && digits <= MaxCountDigits && IsDigit(frame[digits]))
        ++digits;
    if (digits > 0 && digits <= MaxCountDigits) {
        if (digits == frame.size())
            return false; // the count may go on
        if (frame[digits] == ' ')
            return TakeCounted(digits, messages);
    }
    return TakeLine(messages);
}

bool TSyslogFramer::TakeCounted(std::size_t digits, std::vector<std::string>& messages)
{
    const std::string_view frame = std::string_view(FPending).substr(FStart);
    std::size_t count = 0;
    for (std::size_t at = 0; at < digits; ++at)
        count = count * 10 + static_cast<std::size_t>(frame[at] - '0');
    if (count > MaxSyslogMessageBytes)
        return TakeLine(messages); // as rsyslog does with a count it cannot believe
    if (frame.size() < digits + 1 + count)
        return false;
    Emit(frame.substr(digits + 1, count), messages);
    FStart += digits + 1 + count;
    return true;
}

bool TSyslogFramer::TakeLine(std::vector<std::string>& messages)
{
    const std::string_view frame = std::string_view(FPending).substr(FStart);
    const std::size_t end = frame.find('\n');
    if (end == std::string_view::npos) {
        if (frame.size() < MaxSyslogMessageBytes)
            return false;
        Emit(frame.substr(0, MaxSyslogMessageBytes), messages);
        FStart += MaxSyslogMessageBytes;
        return true;
    }
    Emit(WithoutLineEnd(frame.substr(0, std::min(end, MaxSyslogMessageBytes))), messages);
    FStart += end + 1;
    return true;
}

void TSyslogFramer::Emit(std::string_view message, std::vector<std::string>& messages)
{
    // Empty lines between frames carry nothing.
    if (!message.empty())
        messages.emplace_back(message);
}
