#include "Settings.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <variant>

#include "ShmDefs.h"
#include "ValueParse.h"

namespace {

enum class TValueForm { Integer, Flag, Switch, Text, Colour };

using TFieldRef = std::variant<std::int32_t*, bool*, std::wstring*>;
using TFieldOf = TFieldRef (*)(TSettings&);
using TDefault = std::variant<std::int32_t, bool, std::wstring_view>;

template <auto Member>
TFieldRef FieldOf(TSettings& settings)
{
    return &(settings.*Member);
}

template <std::size_t Index>
TFieldRef ChannelOf(TSettings& settings)
{
    return &settings.Channel[Index];
}

struct TSettingsKey {
    const wchar_t* Section;
    const wchar_t* Key;
    TValueForm Form;
    TDefault Default;
    TFieldOf Field;
};

constexpr wchar_t Window[] = L"WINDOW";
constexpr wchar_t Options[] = L"OPTIONS";
constexpr wchar_t Channels[] = L"CHANNELS";
constexpr wchar_t Preferences[] = L"PREFERENCES";
constexpr wchar_t Capture[] = L"CAPTURE";
constexpr wchar_t Log[] = L"LOG";
constexpr wchar_t Syslog[] = L"SYSLOG";
constexpr wchar_t Forward[] = L"FORWARD";

using enum TValueForm;

// In the order of writing.
const TSettingsKey SettingsKeys[] = {
    {Window, L"LEFT", Integer, 80, FieldOf<&TSettings::Left>},
    {Window, L"TOP", Integer, 80, FieldOf<&TSettings::Top>},
    {Window, L"WIDTH", Integer, 525, FieldOf<&TSettings::Width>},
    {Window, L"HEIGHT", Integer, 480, FieldOf<&TSettings::Height>},
    {Options, L"SCROLL", Flag, false, FieldOf<&TSettings::Scroll>},
    {Options, L"ONTOP", Flag, false, FieldOf<&TSettings::OnTop>},
    {Options, L"DATE", Flag, false, FieldOf<&TSettings::Date>},
    {Options, L"TIME", Flag, false, FieldOf<&TSettings::Time>},
    {Options, L"STARTMINI", Flag, false, FieldOf<&TSettings::StartMini>},
    {Channels, L"MAIN", Switch, true, ChannelOf<0>},
    {Channels, L"CHANNEL1", Switch, true, ChannelOf<1>},
    {Channels, L"CHANNEL2", Switch, true, ChannelOf<2>},
    {Channels, L"CHANNEL3", Switch, true, ChannelOf<3>},
    {Channels, L"CHANNEL4", Switch, true, ChannelOf<4>},
    {Channels, L"CHANNEL5", Switch, true, ChannelOf<5>},
    {Channels, L"CHANNEL6", Switch, true, ChannelOf<6>},
    {Channels, L"CHANNEL7", Switch, true, ChannelOf<7>},
    {Channels, L"CHANNEL8", Switch, true, ChannelOf<8>},
    {Channels, L"CHANNEL9", Switch, true, ChannelOf<9>},
    {Preferences, L"FONTNAME", Text, std::wstring_view(), FieldOf<&TSettings::FontName>},
    {Preferences, L"FONTSIZE", Integer, 0, FieldOf<&TSettings::FontSize>},
    {Preferences, L"FONTCOLOR", Colour, KeepColour, FieldOf<&TSettings::FontColor>},
    {Preferences, L"WINDOWCOLOR", Colour, KeepColour, FieldOf<&TSettings::WindowColor>},
    {Preferences, L"DISPLAYLINES", Integer, DefaultDisplayLineCount, FieldOf<&TSettings::DisplayLines>},
};

// Capabilities beyond the window's design: written only when they differ from their defaults,
// so that the file of a user who never touches them stays as it always was.
const TSettingsKey OptionalKeys[] = {
    {Capture, L"ODS", Flag, false, FieldOf<&TSettings::CaptureOds>},
    {Capture, L"CHANNEL", Integer, 0, FieldOf<&TSettings::CaptureChannel>},
    {Capture, L"GLOBAL", Flag, false, FieldOf<&TSettings::CaptureGlobal>},
    {Log, L"ENABLED", Flag, false, FieldOf<&TSettings::LogEnabled>},
    {Log, L"FILE", Text, std::wstring_view(), FieldOf<&TSettings::LogFile>},
    {Log, L"MAXMB", Integer, NoLogSizeLimit, FieldOf<&TSettings::LogMaxMb>},
    {Log, L"KEEP", Integer, DefaultLogKeep, FieldOf<&TSettings::LogKeep>},
    {Syslog, L"RECEIVE", Flag, false, FieldOf<&TSettings::SyslogReceive>},
    {Syslog, L"ADDRESS", Text, std::wstring_view(DefaultSyslogAddress), FieldOf<&TSettings::SyslogAddress>},
    {Syslog, L"PORT", Integer, DefaultSyslogPort, FieldOf<&TSettings::SyslogPort>},
    {Syslog, L"UDP", Flag, true, FieldOf<&TSettings::SyslogUdp>},
    {Syslog, L"TCP", Flag, true, FieldOf<&TSettings::SyslogTcp>},
    {Syslog, L"CHANNEL", Integer, DefaultSyslogChannel, FieldOf<&TSettings::SyslogChannel>},
    {Forward, L"ENABLED", Flag, false, FieldOf<&TSettings::ForwardEnabled>},
    {Forward, L"HOST", Text, std::wstring_view(), FieldOf<&TSettings::ForwardHost>},
    {Forward, L"PORT", Integer, DefaultSyslogPort, FieldOf<&TSettings::ForwardPort>},
    {Forward, L"PROTOCOL", Text, std::wstring_view(ForwardOverTcp), FieldOf<&TSettings::ForwardProtocol>},
    {Forward, L"RELAY", Flag, false, FieldOf<&TSettings::ForwardRelay>},
};

constexpr const wchar_t* ReadOrder[] = {Window, Channels, Preferences, Options, Capture, Log, Syslog, Forward};
constexpr std::int32_t HighestPort = 65535;

constexpr wchar_t FlagOn[] = L"TRUE";
constexpr wchar_t FlagOff[] = L"FALSE";
constexpr wchar_t SwitchOn[] = L"1";
constexpr wchar_t SwitchOff[] = L"0";

// The key's value as it is written to the file.
std::wstring KeyText(const TSettingsKey& key, TSettings& settings)
{
    const TFieldRef field = key.Field(settings);
    switch (key.Form) {
    case Integer:
    case Colour:
        return std::to_wstring(*std::get<std::int32_t*>(field));
    case Flag:
        return *std::get<bool*>(field) ? FlagOn : FlagOff;
    case Switch:
        return *std::get<bool*>(field) ? SwitchOn : SwitchOff;
    case Text:
        break;
    }
    return *std::get<std::wstring*>(field);
}

void ApplyDefault(const TSettingsKey& key, TSettings& settings)
{
    const TFieldRef field = key.Field(settings);
    switch (key.Form) {
    case Integer:
    case Colour:
        *std::get<std::int32_t*>(field) = std::get<std::int32_t>(key.Default);
        break;
    case Flag:
    case Switch:
        *std::get<bool*>(field) = std::get<bool>(key.Default);
        break;
    case Text:
        *std::get<std::wstring*>(field) = std::get<std::wstring_view>(key.Default);
        break;
    }
}

// Stores the text read for the key; a malformed integer leaves the field as it is.
void ApplyText(const TSettingsKey& key, const std::wstring& text, TSettings& settings)
{
    const TFieldRef field = key.Field(settings);
    switch (key.Form) {
    case Integer:
    case Colour:
        if (const auto value = ParseInteger(text))
            *std::get<std::int32_t*>(field) = *value;
        break;
    case Flag:
        *std::get<bool*>(field) = ParseFlag(text);
        break;
    case Switch:
        *std::get<bool*>(field) = ParseSwitch(text);
        break;
    case Text:
        *std::get<std::wstring*>(field) = text;
        break;
    }
}

// A limit above the maximum is lowered to it. A limit below 1 cannot come from the line-limit
// field, only from an edited or damaged file, and with it every trim would empty the list:
// it is taken as unusable, like a malformed value, and gives the default.
std::int32_t StoredLineLimit(std::int32_t value) noexcept
{
    if (value < MinLineLimit)
        return DefaultDisplayLineCount;
    return std::min(value, MaxLineLimit);
}

// A value outside its range cannot come from the window: it gives the default.
std::int32_t InRangeOr(std::int32_t value, std::int32_t lowest, std::int32_t highest, std::int32_t fallback) noexcept
{
    return value < lowest || value > highest ? fallback : value;
}

template <class Visit>
void ForEachKey(Visit&& visit)
{
    for (const TSettingsKey& key : SettingsKeys)
        visit(key);
    for (const TSettingsKey& key : OptionalKeys)
        visit(key);
}

} // namespace

TSettings DefaultSettings(int dpi)
{
    TSettings settings;
    ForEachKey([&settings](const TSettingsKey& key) { ApplyDefault(key, settings); });
    for (std::int32_t* length : {&settings.Left, &settings.Top, &settings.Width, &settings.Height})
        *length = ScaleToDpi(*length, dpi);
    return settings;
}

TSettings LoadSettingsFile(const TIniFile& file, int dpi)
{
    TSettings defaults = DefaultSettings(dpi);
    TSettings settings = defaults; // malformed integers keep these
    for (const wchar_t* section : ReadOrder) {
        ForEachKey([&](const TSettingsKey& key) {
            if (std::wstring_view(key.Section) == section)
                ApplyText(key, file.Read(key.Section, key.Key, KeyText(key, defaults)), settings);
        });
    }
    settings.DisplayLines = StoredLineLimit(settings.DisplayLines);
    constexpr std::int32_t unbounded = std::numeric_limits<std::int32_t>::max();
    settings.CaptureChannel = InRangeOr(settings.CaptureChannel, 0, Shm::ChannelCount - 1, defaults.CaptureChannel);
    settings.LogMaxMb = InRangeOr(settings.LogMaxMb, 0, unbounded, defaults.LogMaxMb);
    settings.LogKeep = InRangeOr(settings.LogKeep, 0, unbounded, defaults.LogKeep);
    settings.SyslogPort = InRangeOr(settings.SyslogPort, 1, HighestPort, defaults.SyslogPort);
    settings.SyslogChannel = InRangeOr(settings.SyslogChannel, 0, Shm::ChannelCount - 1, defaults.SyslogChannel);
    settings.ForwardPort = InRangeOr(settings.ForwardPort, 1, HighestPort, defaults.ForwardPort);
    const bool udp = CompareStringOrdinal(settings.ForwardProtocol.c_str(), -1, ForwardOverUdp, -1, TRUE) == CSTR_EQUAL;
    settings.ForwardProtocol = udp ? ForwardOverUdp : ForwardOverTcp;
    return settings;
}

void SaveSettingsFile(TIniFile& file, const TSettings& settings)
{
    TSettings values = settings; // the table hands out writable fields
    for (const TSettingsKey& key : SettingsKeys)
        file.Write(key.Section, key.Key, KeyText(key, values));
    TSettings defaults = DefaultSettings();
    for (const TSettingsKey& key : OptionalKeys) {
        const std::wstring text = KeyText(key, values);
        if (text != KeyText(key, defaults))
            file.Write(key.Section, key.Key, text);
        else
            file.Remove(key.Section, key.Key); // an earlier value must not come back
    }
    file.Flush();
}

TWindowBounds BoundsForSaving(RECT bounds, POINT desktopOrigin, int screenWidth, int screenHeight) noexcept
{
    return TWindowBounds{
        std::max<std::int32_t>(bounds.left, desktopOrigin.x),
        std::max<std::int32_t>(bounds.top, desktopOrigin.y),
        std::min<std::int32_t>(bounds.right - bounds.left, screenWidth),
        std::min<std::int32_t>(bounds.bottom - bounds.top, screenHeight),
    };
}
