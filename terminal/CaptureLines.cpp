#include "CaptureLines.h"

namespace {

constexpr char CarriageReturn = '\r';
constexpr char LineFeed = '\n';

// The length of the line break at the start of `text`: 2 for CR LF, 1 for CR or LF, else 0.
std::size_t BreakLength(std::string_view text) noexcept
{
    if (text.empty() || (text[0] != CarriageReturn && text[0] != LineFeed))
        return 0;
    return text.size() > 1 && text[0] == CarriageReturn && text[1] == LineFeed ? 2 : 1;
}

// Where the text ends without its one trailing line break.
std::size_t EndWithoutTrailingBreak(std::string_view text) noexcept
{
    if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
        return text.size() - 2;
    if (!text.empty() && (text.back() == CarriageReturn || text.back() == LineFeed))
        return text.size() - 1;
    return text.size();
}

} // namespace

std::vector<std::string_view> MessageLines(std::string_view text)
{
    text = text.substr(0, EndWithoutTrailingBreak(text));
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = BreakLength(text.substr(at));
        if (length == 0) {
            ++at;
            continue;
        }
        lines.push_back(text.substr(start, at - start));
        at += length;
        start = at;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::vector<std::string> CapturedLines(const TDebugOutputMessage& message, std::uint8_t channel, TLineOptions options)
{
    std::string process = "[";
    process += std::to_string(message.ProcessId);
    if (!message.ProcessName.empty()) {
        process += ' ';
        process += message.ProcessName;
    }
    process += "] ";
    std::vector<std::string> lines;
    for (const std::string_view part : MessageLines(message.Text))
        lines.push_back(FormatLine(process + std::string(part), channel, message.Time, options));
    return lines;
}
