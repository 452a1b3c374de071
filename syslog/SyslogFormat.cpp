#include "SyslogFormat.h"

#include <cstdio>
#include <cstdlib>

#include "TextCodec.h"

namespace {

constexpr std::string_view Header = "<15>1 "; // facility user (1), severity debug (7)
constexpr std::string_view Bom = "\xEF\xBB\xBF";
constexpr char NilValue = '-';
// RFC 5424's longest fields.
constexpr std::size_t MaxHostName = 255;
constexpr std::size_t MaxAppName = 48;
constexpr std::size_t MaxProcId = 128;
constexpr std::size_t MaxMsgId = 32;
constexpr std::int64_t TicksPerMinute = 60LL * 10'000'000;

void AppendField(std::string& message, std::string_view field, std::size_t maxLength)
{
    if (field.empty()) {
        message += NilValue;
    } else {
        for (const char c : field.substr(0, maxLength))
            message += c > ' ' && c < '\x7F' ? c : '_';
    }
    message += ' ';
}

std::string Timestamp(const SYSTEMTIME& time, int offsetMinutes)
{
    const char sign = offsetMinutes < 0 ? '-' : '+';
    const int offset = std::abs(offsetMinutes);
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02d:%02d", time.wYear, time.wMonth,
                  time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds, sign, offset / 60,
                  offset % 60);
    return text;
}

std::string MsgId(std::uint8_t channel) { return channel == 0 ? std::string("M") : std::to_string(channel); }

std::int64_t Ticks(const SYSTEMTIME& time)
{
    FILETIME file{};
    SystemTimeToFileTime(&time, &file);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime);
}

} // namespace

std::string FormatRfc5424(const TForwardLine& line, std::string_view hostName, int offsetMinutes)
{
    std::string message(Header);
    message += Timestamp(line.Time, offsetMinutes);
    message += ' ';
    AppendField(message, hostName, MaxHostName);
    AppendField(message, line.App.empty() ? TerminalAppName : std::string_view(line.App), MaxAppName);
    AppendField(message, line.ProcessId == 0 ? std::string() : std::to_string(line.ProcessId), MaxProcId);
    AppendField(message, MsgId(line.Channel), MaxMsgId);
    message += NilValue; // no structured data
    message += ' ';
    message += Bom;
    message += WideToUtf8(AnsiToWide(line.Text));
    return message;
}

std::string OctetCounted(std::string_view message)
{
    std::string frame = std::to_string(message.size());
    frame += ' ';
    frame += message;
    return frame;
}

int LocalOffsetMinutes(const SYSTEMTIME& local)
{
    SYSTEMTIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc))
        return 0;
    return static_cast<int>((Ticks(local) - Ticks(utc)) / TicksPerMinute);
}

std::string ComputerHostName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH * 4 + 1] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return std::string();
    return WideToUtf8(std::wstring_view(name, size));
}
