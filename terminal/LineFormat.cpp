#include "LineFormat.h"

#include <array>
#include <cmath>

#include "ShmDefs.h"
#include "TextCodec.h"

namespace {

constexpr std::int64_t MsPerDay = 86'400'000;
// The classic date-time type's range, in days from 30 Dec 1899: 1 Jan 0001 to 31 Dec 9999.
constexpr std::int64_t FirstDay = -693'593;
constexpr std::int64_t LastDay = 2'958'465;
// 30 Dec 1899 lies this many days before 1 Jan 1970, and was a Saturday.
constexpr std::int64_t DaysTo1970 = 25'569;
constexpr std::int64_t SaturdayIndex = 6;

constexpr wchar_t MainChannelCharacter = L'M';
constexpr int ChannelCharacterBase = 48;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) noexcept
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Proleptic Gregorian calendar date of a day counted from 1 Jan 1970.
void CivilFromDays(std::int64_t z, SYSTEMTIME& st) noexcept
{
    constexpr std::int64_t DaysPerEra = 146'097; // 400 years
    z += 719'468;                                 // count from 1 Mar 0000
    const std::int64_t era = FloorDiv(z, DaysPerEra);
    const std::int64_t doe = z - era * DaysPerEra;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153; // months from March
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    st.wYear = static_cast<WORD>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(doy - (153 * mp + 2) / 5 + 1);
}

std::optional<std::wstring> DateText(const SYSTEMTIME& st)
{
    const int size = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    std::wstring text(static_cast<size_t>(size), L'\0');
    const int written = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, text.data(), size);
    if (written <= 0)
        return std::nullopt;
    text.resize(static_cast<size_t>(written - 1));
    return text;
}

std::optional<std::wstring> TimeText(const SYSTEMTIME& st)
{
    const int size = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    std::wstring text(static_cast<size_t>(size), L'\0');
    const int written = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, text.data(), size);
    if (written <= 0)
        return std::nullopt;
    text.resize(static_cast<size_t>(written - 1));
    return text;
}

void AppendMilliseconds(std::string& line, WORD ms)
{
    line += static_cast<char>('0' + ms / 100);
    line += static_cast<char>('0' + ms / 10 % 10);
    line += static_cast<char>('0' + ms % 10);
}

struct TOverheadStep {
    std::int32_t UpTo;
    std::int32_t Overhead;
};

constexpr std::array<TOverheadStep, 4> OverheadSteps{{{100, 8}, {500, 16}, {1000, 32}, {10000, 64}}};
constexpr std::int32_t LargestOverhead = 128;

} // namespace

wchar_t ChannelCharacter(std::uint8_t channel) noexcept
{
    return channel == 0 ? MainChannelCharacter : static_cast<wchar_t>(ChannelCharacterBase + channel);
}

std::optional<SYSTEMTIME> StampToSystemTime(double time) noexcept
{
    // The bound keeps the millisecond count far inside 64 bits before the exact check below.
    if (!std::isfinite(time) || time < static_cast<double>(FirstDay - 2) || time > static_cast<double>(LastDay + 2))
        return std::nullopt;

    // Negative stamps count whole days back but their fraction still runs forward from
    // midnight (-1.25 is 29 Dec 1899 06:00), so they are turned into a moment on one
    // continuous line first; rounding once there (a half millisecond up, later in time) lets
    // 23:59:59.9996 carry into the next day on either side of 1899. The sum is exact: both
    // parts are multiples of the stamp's last bit.
    const double whole = std::trunc(time);
    const double moment = whole + std::fabs(time - whole);
    const auto ms = static_cast<std::int64_t>(std::floor(moment * static_cast<double>(MsPerDay) + 0.5));

    const std::int64_t day = FloorDiv(ms, MsPerDay);
    if (day < FirstDay || day > LastDay)
        return std::nullopt;
    std::int64_t msOfDay = ms - day * MsPerDay;

    SYSTEMTIME st{};
    CivilFromDays(day - DaysTo1970, st);
    const std::int64_t weekday = day + SaturdayIndex;
    st.wDayOfWeek = static_cast<WORD>(weekday - FloorDiv(weekday, 7) * 7);
    st.wMilliseconds = static_cast<WORD>(msOfDay % 1000);
    msOfDay /= 1000;
    st.wSecond = static_cast<WORD>(msOfDay % 60);
    msOfDay /= 60;
    st.wMinute = static_cast<WORD>(msOfDay % 60);
    st.wHour = static_cast<WORD>(msOfDay / 60);
    return st;
}

std::string FormatEntryLine(std::string_view text, std::uint8_t channel, double time, TLineOptions options)
{
    // The stamp is read only when a prefix shows it.
    const bool stamped = options.Date || options.Time;
    return FormatLine(text, channel, stamped ? StampToSystemTime(time) : std::nullopt, options);
}

std::string FormatLine(std::string_view text, std::uint8_t channel, const std::optional<SYSTEMTIME>& stamp,
                       TLineOptions options)
{
    std::string line;
    if (options.Channel) {
        const wchar_t character = ChannelCharacter(channel);
        line += '-';
        line += WideToAnsi(std::wstring_view(&character, 1));
        line += "- ";
    }
    if (options.Date) {
        const std::optional<std::wstring> date = stamp ? DateText(*stamp) : std::nullopt;
        line += date ? WideToAnsi(*date) : std::string(InvalidDateText);
        line += ' ';
    }
    if (options.Time) {
        const std::optional<std::wstring> clock = stamp ? TimeText(*stamp) : std::nullopt;
        if (clock) {
            line += WideToAnsi(*clock);
            line += ',';
            AppendMilliseconds(line, stamp->wMilliseconds);
        } else {
            line += InvalidTimeText;
        }
        line += ' ';
    }
    line += text;
    return line;
}

TEntryAction DecideEntry(const TSlotEntry& entry, TLineOptions options)
{
    if (entry.Text.size() == 1 && entry.Text[0] == Shm::FormFeed)
        return {TEntryAction::TKind::Clear, {}};
    if (entry.Text.empty())
        return {TEntryAction::TKind::Append, {}};
    return {TEntryAction::TKind::Append, FormatEntryLine(entry.Text, entry.Channel, entry.Time, options)};
}

std::int32_t OverheadFor(std::int32_t displayLines) noexcept
{
    for (const TOverheadStep& step : OverheadSteps)
        if (displayLines <= step.UpTo)
            return step.Overhead;
    return LargestOverhead;
}
