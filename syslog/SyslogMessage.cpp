#include "SyslogMessage.h"

#include <windows.h>

#include <algorithm>
#include <array>

#include "TextCodec.h"

namespace {

constexpr std::size_t MaxPriDigits = 3;
constexpr int MaxPri = 191; // facility 23, severity 7
constexpr std::string_view Nil = "-";
constexpr std::string_view Bom = "\xEF\xBB\xBF";
constexpr std::size_t MaxTagLength = 48; // RFC 5424's APP-NAME; RFC 3164 allows 32
constexpr std::string_view SequenceParam = "sequenceId=\"";
constexpr std::string_view MetaElement = "[meta ";

constexpr std::array<std::string_view, 12> Months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// The text after a valid "<PRI>", or nothing.
std::optional<std::string_view> AfterPri(std::string_view wire)
{
    if (wire.size() < 3 || wire[0] != '<')
        return std::nullopt;
    std::size_t at = 1;
    int value = 0;
    while (at < wire.size() && at <= MaxPriDigits && IsDigit(wire[at]))
        value = value * 10 + (wire[at++] - '0');
    if (at == 1 || at >= wire.size() || wire[at] != '>' || value > MaxPri)
        return std::nullopt;
    return wire.substr(at + 1);
}

// Cuts the next field up to a space off `text` (all of it when there is none).
std::string_view NextField(std::string_view& text)
{
    const std::size_t space = text.find(' ');
    const std::string_view field = text.substr(0, space);
    text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    return field;
}

std::string NilAsEmpty(std::string_view field) { return field == Nil ? std::string() : std::string(field); }

std::string_view WithoutBom(std::string_view text)
{
    return text.substr(0, Bom.size()) == Bom ? text.substr(Bom.size()) : text;
}

// The length of RFC 5424's STRUCTURED-DATA at the start of `text`: "-" or [..][..], with
// '"', ']' and '\' escaped inside values; the rest of the text when it never ends. A sender
// that left it out starts MSG at once: 0.
std::size_t StructuredDataLength(std::string_view text)
{
    if (text == Nil || text.substr(0, 2) == "- ")
        return Nil.size();
    if (text.substr(0, 1) != "[")
        return 0;
    std::size_t at = 0;
    while (at < text.size() && text[at] == '[') {
        bool quoted = false;
        for (++at; at < text.size(); ++at) {
            const char c = text[at];
            if (quoted && c == '\\') {
                ++at;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && c == ']') {
                ++at;
                break;
            }
        }
    }
    return std::min(at, text.size());
}

std::optional<std::uint64_t> SequenceIdOf(std::string_view data)
{
    const std::size_t meta = data.find(MetaElement);
    if (meta == std::string_view::npos)
        return std::nullopt;
    const std::size_t param = data.find(SequenceParam, meta);
    if (param == std::string_view::npos)
        return std::nullopt;
    constexpr std::size_t MaxSequenceDigits = 10; // RFC 5424: at most 2147483647
    std::uint64_t value = 0;
    std::size_t at = param + SequenceParam.size();
    const std::size_t first = at;
    while (at < data.size() && IsDigit(data[at]) && at - first < MaxSequenceDigits)
        value = value * 10 + static_cast<std::uint64_t>(data[at++] - '0');
    if (at == first || at >= data.size() || data[at] != '"')
        return std::nullopt;
    return value;
}

TSyslogMessage ParseRfc5424(std::string_view text)
{
    TSyslogMessage message;
    NextField(text); // TIMESTAMP: the terminal shows its own
    message.Host = NilAsEmpty(NextField(text));
    message.App = NilAsEmpty(NextField(text));
    message.ProcId = NilAsEmpty(NextField(text));
    NextField(text); // MSGID
    const std::size_t dataLength = StructuredDataLength(text);
    message.SequenceId = SequenceIdOf(text.substr(0, dataLength));
    text = text.substr(dataLength);
    if (text.substr(0, 1) == " ")
        text = text.substr(1);
    message.Text = WithoutBom(text);
    return message;
}

// RFC 3164's "Mmm dd hh:mm:ss " (day padded with a space), or a RFC 3339 time stamp and a
// space as the hybrids send it; the length to skip, 0 for none.
std::size_t TimestampLength(std::string_view text)
{
    constexpr std::size_t BsdLength = 16; // "Oct 11 22:14:15 "
    const bool bsd = text.size() >= BsdLength &&
                     std::find(Months.begin(), Months.end(), text.substr(0, 3)) != Months.end() && text[3] == ' ' &&
                     text[6] == ' ' && text[9] == ':' && text[12] == ':' && text[15] == ' ';
    if (bsd)
        return BsdLength;
    const bool rfc3339 = text.size() > 10 && IsDigit(text[0]) && IsDigit(text[3]) && text[4] == '-' && text[7] == '-' &&
                         (text[10] == 'T' || text[10] == 't');
    if (!rfc3339)
        return 0;
    const std::size_t space = text.find(' ');
    return space == std::string_view::npos ? 0 : space + 1;
}

bool IsTagCharacter(char c) noexcept { return c != ' ' && c != '[' && c != ':' && c != ']'; }

// "APP[PID]: " or "APP: " at the start of `text`; false, leaving the message alone, when
// the text does not start with a tag.
bool CutTag(std::string_view& text, TSyslogMessage& message)
{
    std::size_t at = 0;
    while (at < text.size() && at < MaxTagLength && IsTagCharacter(text[at]))
        ++at;
    if (at == 0 || at >= text.size())
        return false;
    std::string_view procId;
    std::size_t end = at;
    if (text[at] == '[') {
        const std::size_t close = text.find(']', at);
        if (close == std::string_view::npos)
            return false;
        procId = text.substr(at + 1, close - at - 1);
        end = close + 1;
    }
    if (end >= text.size() || text[end] != ':')
        return false;
    message.App = text.substr(0, at);
    message.ProcId = procId;
    text = text.substr(end + 1);
    if (text.substr(0, 1) == " ")
        text = text.substr(1);
    return true;
}

TSyslogMessage ParseRfc3164(std::string_view text)
{
    TSyslogMessage message;
    const std::size_t stamp = TimestampLength(text);
    if (stamp > 0) {
        text = text.substr(stamp);
        // A host comes before the tag; a sender that leaves it out starts with the tag.
        std::string_view rest = text;
        const std::string_view first = NextField(rest);
        if (!first.empty() && first.back() != ':') {
            message.Host = first;
            text = rest;
        }
    }
    CutTag(text, message);
    message.Text = WithoutBom(text);
    return message;
}

bool IsRfc5424Version(std::string_view text) noexcept
{
    // VERSION is 1 to 3 digits, not 0, followed by a space; a BSD header starts with a month
    // or a year of four digits.
    std::size_t at = 0;
    while (at < text.size() && at < 3 && IsDigit(text[at]))
        ++at;
    return at > 0 && text[0] != '0' && at < text.size() && text[at] == ' ';
}

bool IsAscii(std::string_view text) noexcept
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// UTF-8 as the ANSI code page shows it; other bytes as they are.
std::string ToAnsi(std::string_view text)
{
    if (IsAscii(text))
        return std::string(text);
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
    if (wide <= 0)
        return std::string(text);
    return WideToAnsi(Utf8ToWide(text));
}

} // namespace

TSyslogMessage ParseSyslogMessage(std::string_view wire)
{
    const std::optional<std::string_view> body = AfterPri(wire);
    if (!body) {
        TSyslogMessage message;
        message.Text = wire;
        return message;
    }
    return IsRfc5424Version(*body) ? ParseRfc5424(body->substr(body->find(' ') + 1)) : ParseRfc3164(*body);
}

std::string ReceivedLineText(const TSyslogMessage& message)
{
    std::string line = message.Host;
    if (!message.App.empty()) {
        if (!line.empty())
            line += ' ';
        line += message.App;
        if (!message.ProcId.empty())
            line += '[' + message.ProcId + ']';
    }
    if (!line.empty())
        line += ": ";
    line += message.Text;
    line = ToAnsi(line);
    std::replace(line.begin(), line.end(), '\0', ' ');
    return line;
}
