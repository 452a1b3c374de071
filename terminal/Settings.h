// The values the settings file carries from one run to the next, as plain data, and the
// table-driven reading and writing of that file.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "Dpi.h"
#include "IniFile.h"

inline constexpr std::size_t SettingsChannelCount = 10; // "M", then 1 to 9

// The colour value that means "keep the window's own colour" (it cannot name a colour itself).
inline constexpr std::int32_t KeepColour = 1;
inline constexpr std::int32_t DefaultDisplayLineCount = 32000;
// The log's rotation: no size limit by default; once there is one, this many old files stay.
inline constexpr std::int32_t NoLogSizeLimit = 0;
inline constexpr std::int32_t DefaultLogKeep = 1;
// Syslog: the port both directions use by default, and the channel of received lines.
inline constexpr std::int32_t DefaultSyslogPort = 514;
inline constexpr std::int32_t DefaultSyslogChannel = 5;
inline constexpr wchar_t DefaultSyslogAddress[] = L"127.0.0.1";
inline constexpr wchar_t ForwardOverTcp[] = L"TCP";
inline constexpr wchar_t ForwardOverUdp[] = L"UDP";

// Every stored value. Zero-initialised; DefaultSettings gives what a missing file reads as.
// The empty FontName, FontSize 0 or less and the colour KeepColour mean "keep the window's own
// value".
struct TSettings {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    bool Scroll = false;
    bool OnTop = false;
    bool Date = false;
    bool Time = false;
    bool StartMini = false;
    std::array<bool, SettingsChannelCount> Channel{};
    std::wstring FontName;
    std::int32_t FontSize = 0;
    std::int32_t FontColor = 0;
    std::int32_t WindowColor = 0;
    std::int32_t DisplayLines = 0;
    // Sections of their own, written only when a value differs from its default.
    bool CaptureOds = false;
    bool CaptureGlobal = false; // the services' output too (needs administrator rights)
    std::int32_t CaptureChannel = 0; // 0 is "M"
    bool LogEnabled = false;
    std::wstring LogFile;
    std::int32_t LogMaxMb = 0;
    std::int32_t LogKeep = 0;
    bool SyslogReceive = false;
    std::wstring SyslogAddress;
    std::int32_t SyslogPort = 0;
    bool SyslogUdp = false;
    bool SyslogTcp = false;
    std::int32_t SyslogChannel = 0;
    bool ForwardEnabled = false;
    std::wstring ForwardHost;
    std::int32_t ForwardPort = 0;
    std::wstring ForwardProtocol; // ForwardOverTcp or ForwardOverUdp
    bool ForwardRelay = false;    // lines received from syslog are forwarded too

    bool operator==(const TSettings&) const = default;
};

// The value of every key when the file, its section or the key is missing, for a window on a
// screen of the given dpi: the window's bounds are the design's pixels at 96 dpi, scaled.
TSettings DefaultSettings(int dpi = DesignDpi);

// Reads every key (WINDOW, CHANNELS, PREFERENCES, OPTIONS, then CAPTURE, LOG, SYSLOG and
// FORWARD); missing or malformed values give the key's default at that dpi. DisplayLines comes
// back from 1 to 32000, CaptureChannel and SyslogChannel from 0 to 9, LogMaxMb and LogKeep not
// below 0, the ports from 1 to 65535, ForwardProtocol TCP or UDP.
TSettings LoadSettingsFile(const TIniFile& file, int dpi = DesignDpi);

// Writes every key of WINDOW, OPTIONS, CHANNELS and PREFERENCES, then the keys of CAPTURE,
// LOG, SYSLOG and FORWARD whose values differ from their defaults (a key at its default is removed, and a
// section left without keys with it), and flushes the file. The first key that cannot be
// written throws; the keys after it are not written and the file is not flushed.
void SaveSettingsFile(TIniFile& file, const TSettings& settings);

struct TWindowBounds {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;

    bool operator==(const TWindowBounds&) const = default;
};

// The window's outer bounds as they are stored: left and top not below the desktop's origin
// (0 with one monitor; a monitor left of or above the primary one makes it negative, and a
// window there keeps its place), width and height not beyond the screen's.
TWindowBounds BoundsForSaving(RECT bounds, POINT desktopOrigin, int screenWidth, int screenHeight) noexcept;
