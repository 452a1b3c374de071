// The settings file through the system's profile functions on real files, the parsing of
// stored and typed values, and the stored window bounds.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Exception.h"
#include "IniFile.h"
#include "Settings.h"
#include "WindowPlacement.h"
#include "ValueParse.h"
#include "WinHandles.h"
#include "support/SettingsExample.h"
#include "support/TempDir.h"
#include "support/TestFiles.h"

// Readable failures: found by GoogleTest through the type's namespace.
static void PrintTo(const TSettings& s, std::ostream* out)
{
    *out << "{" << s.Left << "," << s.Top << "," << s.Width << "," << s.Height << " flags " << s.Scroll << s.OnTop
         << s.Date << s.Time << s.StartMini << " channels ";
    for (const bool on : s.Channel)
        *out << on;
    *out << " font " << testing::PrintToString(s.FontName) << " " << s.FontSize << " colours " << s.FontColor << ","
         << s.WindowColor << " lines " << s.DisplayLines << " capture " << s.CaptureOds << " " << s.CaptureChannel
         << " log " << s.LogEnabled << " " << testing::PrintToString(s.LogFile) << " " << s.LogMaxMb << " " << s.LogKeep
         << " syslog " << s.SyslogReceive << " " << testing::PrintToString(s.SyslogAddress) << " " << s.SyslogPort
         << " " << s.SyslogUdp << s.SyslogTcp << " " << s.SyslogChannel << " forward " << s.ForwardEnabled << " "
         << testing::PrintToString(s.ForwardHost) << " " << s.ForwardPort << " "
         << testing::PrintToString(s.ForwardProtocol) << " " << s.ForwardRelay << "}";
}

namespace {

constexpr wchar_t SettingsFileTitle[] = L"Vellumtrace64.INI";

// ---------------------------------------------------------------- value parsing

struct TIntegerCase {
    const wchar_t* Text;
    std::optional<std::int32_t> Expected;
};

TEST(ValueParse, Integer)
{
    const TIntegerCase cases[] = {
        {L"80", 80},
        {L"0", 0},
        {L"007", 7},
        {L"-16777208", -16777208},
        {L"+250", 250},
        {L"   250", 250},
        {L"  -12", -12},
        {L"2147483647", INT_MAX},
        {L"-2147483648", INT_MIN},
        {L"000000000000000000002147483647", INT_MAX},
        {L"2147483648", std::nullopt},
        {L"-2147483649", std::nullopt},
        {L"99999999999999999999999", std::nullopt},
        {L"$64", 100},
        {L"x64", 100},
        {L"X64", 100},
        {L"0x64", 100},
        {L"0X64", 100},
        {L"0x0FA", 250},
        {L"$fA", 250},
        {L"$FF000008", -16777208},
        {L"$FFFFFFFF", -1},
        {L"$80000000", INT_MIN},
        {L"$0000000000FFFFFFFF", -1},
        {L"$100000000", std::nullopt},
        {L"-$10", -16},
        {L"+$10", 16},
        {L"-$FFFFFFFF", 1},
        {L"-$80000000", INT_MIN},
        {L"  $10", 16},
        {L"", std::nullopt},
        {L"   ", std::nullopt},
        {L"+", std::nullopt},
        {L"-", std::nullopt},
        {L"$", std::nullopt},
        {L"0x", std::nullopt},
        {L"x", std::nullopt},
        {L"250 ", std::nullopt},
        {L"\t250", std::nullopt},
        {L"+ 250", std::nullopt},
        {L"--5", std::nullopt},
        {L"$-5", std::nullopt},
        {L"0$5", std::nullopt},
        {L"00x5", std::nullopt},
        {L"600px", std::nullopt},
        {L"2.5e2", std::nullopt},
        {L"1,000", std::nullopt},
        {L"$FG", std::nullopt},
        {L"12abc", std::nullopt},
        {L"\uFF15", std::nullopt}, // full-width 5
        {L"\u0665", std::nullopt}, // Arabic-Indic 5
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseInteger(c.Text), c.Expected) << "text \"" << testing::PrintToString(std::wstring(c.Text)) << "\"";
    // An embedded zero is a character like any other.
    EXPECT_EQ(ParseInteger(std::wstring_view(L"12\0" L"3", 4)), std::nullopt);
}

struct TOnOffCase {
    const wchar_t* Text;
    bool Expected;
};

TEST(ValueParse, Flag)
{
    const TOnOffCase cases[] = {
        {L"TRUE", true},   {L"true", true},   {L"tRuE", true},       {L"FALSE", false},
        {L"yes", false},   {L"1", false},     {L"", false},          {L"TRUE ", false},
        {L" TRUE", false}, {L"TRUEX", false}, {L"TRU", false},
        {L"\uFF34\uFF32\uFF35\uFF25", false}, // full-width letters upper-case to themselves
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseFlag(c.Text), c.Expected) << testing::PrintToString(std::wstring(c.Text));
}

TEST(ValueParse, Switch)
{
    const TOnOffCase cases[] = {
        {L"1", true},    {L"10", true}, {L"1abc", true}, {L"0", false},
        {L"", false},    {L" 1", false}, {L"2", false}, {L"TRUE", false},
        {L"\uFF11", false}, // full-width 1
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseSwitch(c.Text), c.Expected) << testing::PrintToString(std::wstring(c.Text));
}

TEST(ValueParse, LineLimit)
{
    const TIntegerCase cases[] = {
        {L" 250", 250},  {L"+250", 250},        {L"$FA", 250},          {L"0x0FA", 250},
        {L"1", 1},       {L"32000", 32000},     {L"250 ", std::nullopt}, {L"2.5e2", std::nullopt},
        {L"1,000", std::nullopt}, {L"abc", std::nullopt}, {L"0", std::nullopt}, {L"32001", std::nullopt},
        {L"-5", std::nullopt},    {L"   ", std::nullopt}, {L"$FFFFFFFF", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseLineLimit(c.Text), c.Expected) << testing::PrintToString(std::wstring(c.Text));
}

// ---------------------------------------------------------------- files

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a missing file reads as, written out from the table of keys and their defaults.
TSettings MissingFileValues()
{
    TSettings s;
    s.Left = 80;
    s.Top = 80;
    s.Width = 525;
    s.Height = 480;
    s.Channel.fill(true);
    s.FontSize = 0;
    s.FontColor = 1;
    s.WindowColor = 1;
    s.DisplayLines = 32000;
    s.LogKeep = 1; // old log files kept once a size limit is set
    s.SyslogAddress = L"127.0.0.1";
    s.SyslogPort = 514;
    s.SyslogUdp = true;
    s.SyslogTcp = true;
    s.SyslogChannel = 5;
    s.ForwardPort = 514;
    s.ForwardProtocol = L"TCP";
    return s;
}

// The values after a first run with nothing changed by the user.
TSettings FreshStart()
{
    TSettings s = MissingFileValues();
    s.FontName = L"Courier New";
    s.FontSize = 9;
    s.FontColor = -16777208;
    s.WindowColor = 8421504;
    return s;
}

// Every key away from its default.
TSettings Unusual()
{
    TSettings s;
    s.Left = -100;
    s.Top = 2;
    s.Width = 1920;
    s.Height = 1080;
    s.Scroll = true;
    s.OnTop = true;
    s.Date = true;
    s.Time = true;
    s.StartMini = true;
    s.Channel = {false, true, false, true, false, true, false, true, false, false};
    s.FontName = L"Lucida Console";
    s.FontSize = 14;
    s.FontColor = 255;
    s.WindowColor = INT_MIN;
    s.DisplayLines = 250;
    s.CaptureOds = true;
    s.CaptureChannel = 9;
    s.LogEnabled = true;
    s.LogFile = L"C:\\logs\\trace.log";
    s.LogMaxMb = 100;
    s.LogKeep = 0;
    s.SyslogReceive = true;
    s.SyslogAddress = L"0.0.0.0";
    s.SyslogPort = 1514;
    s.SyslogUdp = false;
    s.SyslogTcp = true;
    s.SyslogChannel = 0;
    s.ForwardEnabled = true;
    s.ForwardHost = L"collector";
    s.ForwardPort = 6514;
    s.ForwardProtocol = L"UDP";
    s.ForwardRelay = true;
    return s;
}

TEST(SettingsFile, MissingFileReadsDefaultsAndIsNotCreated)
{
    TTempDir dir;
    const std::wstring path = dir.File(SettingsFileTitle);
    EXPECT_EQ(DefaultSettings(), MissingFileValues());
    TIniFile file(path);
    EXPECT_EQ(LoadSettingsFile(file), MissingFileValues());
    EXPECT_EQ(file.Read(L"WINDOW", L"LEFT", L"none"), L"none");
    EXPECT_FALSE(Exists(path));
}

// The design's window bounds are pixels at 96 dpi: a missing key gives them scaled to the
// screen's dpi, a stored value is the window's pixels at any dpi.
TEST(SettingsFile, MissingWindowKeysScaleWithTheDpiAndStoredOnesDoNot)
{
    TTempDir dir;
    TIniFile file(dir.File(SettingsFileTitle));
    const struct {
        int Dpi;
        TWindowBounds Bounds;
    } cases[] = {{96, {80, 80, 525, 480}}, {144, {120, 120, 788, 720}}, {192, {160, 160, 1050, 960}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Dpi);
        TSettings expected = MissingFileValues();
        expected.Left = c.Bounds.Left;
        expected.Top = c.Bounds.Top;
        expected.Width = c.Bounds.Width;
        expected.Height = c.Bounds.Height;
        EXPECT_EQ(DefaultSettings(c.Dpi), expected);
        EXPECT_EQ(LoadSettingsFile(file, c.Dpi), expected);
    }
    file.Write(L"WINDOW", L"WIDTH", L"600");
    file.Write(L"WINDOW", L"LEFT", L"0");
    const TSettings stored = LoadSettingsFile(file, 192);
    EXPECT_EQ(stored.Width, 600);
    EXPECT_EQ(stored.Left, 0);
    EXPECT_EQ(stored.Top, 160);
    EXPECT_EQ(stored.Height, 960);
}

TEST(SettingsFile, FreshStartWritesTheExampleFile)
{
    TTempDir dir;
    const std::wstring path = dir.File(SettingsFileTitle);
    TIniFile file(path);
    SaveSettingsFile(file, FreshStart());
    EXPECT_EQ(ReadFileBytes(path), std::string(FreshStartFile));
    EXPECT_EQ(LoadSettingsFile(file), FreshStart());
}

TEST(SettingsFile, RoundTripAndRewriteInPlace)
{
    TTempDir dir;
    TIniFile file(dir.File(SettingsFileTitle));
    SaveSettingsFile(file, Unusual());
    EXPECT_EQ(LoadSettingsFile(file), Unusual());

    // Every key is replaced where it stands: the file reads exactly as a fresh one.
    SaveSettingsFile(file, FreshStart());
    EXPECT_EQ(ReadFileBytes(file.Path()), std::string(FreshStartFile));
    EXPECT_EQ(LoadSettingsFile(file), FreshStart());
}

struct TOptionalCase {
    const char* Name;
    void (*Change)(TSettings&); // from a fresh start
    std::string Appended;       // to the example file
};

// Sections beyond the window's design: a key is written only while its value differs from
// its default, and removed again, with its section once that is empty, when it is back.
TEST(SettingsFile, OptionalSectionsHoldOnlyValuesAwayFromTheirDefaults)
{
    const TOptionalCase cases[] = {
        {"capture on", [](TSettings& s) { s.CaptureOds = true; }, "[CAPTURE]\r\nODS=TRUE\r\n"},
        {"capture channel", [](TSettings& s) { s.CaptureChannel = 3; }, "[CAPTURE]\r\nCHANNEL=3\r\n"},
        {"global capture", [](TSettings& s) { s.CaptureGlobal = true; }, "[CAPTURE]\r\nGLOBAL=TRUE\r\n"},
        {"log file only", [](TSettings& s) { s.LogFile = L"D:\\x.log"; }, "[LOG]\r\nFILE=D:\\x.log\r\n"},
        {"log limits",
         [](TSettings& s) {
             s.LogEnabled = true;
             s.LogMaxMb = 5;
             s.LogKeep = 3;
         },
         "[LOG]\r\nENABLED=TRUE\r\nMAXMB=5\r\nKEEP=3\r\n"},
        {"no old log files", [](TSettings& s) { s.LogKeep = 0; }, "[LOG]\r\nKEEP=0\r\n"},
        {"syslog received on all interfaces over TCP",
         [](TSettings& s) {
             s.SyslogReceive = true;
             s.SyslogAddress = L"0.0.0.0";
             s.SyslogUdp = false;
         },
         "[SYSLOG]\r\nRECEIVE=TRUE\r\nADDRESS=0.0.0.0\r\nUDP=FALSE\r\n"},
        {"syslog port and channel",
         [](TSettings& s) {
             s.SyslogPort = 5514;
             s.SyslogTcp = false;
             s.SyslogChannel = 0;
         },
         "[SYSLOG]\r\nPORT=5514\r\nTCP=FALSE\r\nCHANNEL=0\r\n"},
        {"forwarding over UDP with relay",
         [](TSettings& s) {
             s.ForwardEnabled = true;
             s.ForwardHost = L"logs.example";
             s.ForwardPort = 1514;
             s.ForwardProtocol = L"UDP";
             s.ForwardRelay = true;
         },
         "[FORWARD]\r\nENABLED=TRUE\r\nHOST=logs.example\r\nPORT=1514\r\nPROTOCOL=UDP\r\nRELAY=TRUE\r\n"},
        {"everything",
         [](TSettings& s) {
             s.CaptureOds = true;
             s.CaptureChannel = 9;
             s.LogEnabled = true;
             s.LogFile = L"C:\\a b\\log.txt";
             s.LogMaxMb = 1;
             s.LogKeep = 10;
         },
         "[CAPTURE]\r\nODS=TRUE\r\nCHANNEL=9\r\n[LOG]\r\nENABLED=TRUE\r\nFILE=C:\\a b\\log.txt\r\nMAXMB=1\r\nKEEP=10\r\n"},
    };
    TTempDir dir;
    TIniFile file(dir.File(SettingsFileTitle));
    for (const TOptionalCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSettings settings = FreshStart();
        c.Change(settings);
        SaveSettingsFile(file, settings);
        EXPECT_EQ(ReadFileBytes(file.Path()), std::string(FreshStartFile) + c.Appended);
        EXPECT_EQ(LoadSettingsFile(file), settings);
        // Back at the defaults: the file is the example file again.
        SaveSettingsFile(file, FreshStart());
        EXPECT_EQ(ReadFileBytes(file.Path()), std::string(FreshStartFile));
    }

    // A key of its own that a person put into such a section stays, and so does the section.
    WriteFileBytes(file.Path(), std::string(FreshStartFile) + "[CAPTURE]\r\nODS=TRUE\r\nNOTE=mine\r\n");
    SaveSettingsFile(file, FreshStart());
    EXPECT_EQ(ReadFileBytes(file.Path()), std::string(FreshStartFile) + "[CAPTURE]\r\nNOTE=mine\r\n");
}

TEST(SettingsFile, OtherLinesStayAndKeysAreReplacedWhereTheyStand)
{
    TTempDir dir;
    const std::wstring path = dir.File(SettingsFileTitle);
    WriteFileBytes(path, "; kept comment\r\n"
                     "[PREFERENCES]\r\n"
                     "DISPLAYLINES=100\r\n"
                     "OTHER=kept\r\n"
                     "[window]\r\n"
                     "; about the left edge\r\n"
                     "left=5\r\n"
                     "[FOREIGN]\r\n"
                     "KEY=value\r\n");
    TIniFile file(path);
    EXPECT_EQ(LoadSettingsFile(file).DisplayLines, 100);
    SaveSettingsFile(file, FreshStart());
    EXPECT_EQ(ReadFileBytes(path), std::string("; kept comment\r\n"
                                           "[PREFERENCES]\r\n"
                                           "DISPLAYLINES=32000\r\n"
                                           "OTHER=kept\r\n"
                                           "FONTNAME=Courier New\r\n"
                                           "FONTSIZE=9\r\n"
                                           "FONTCOLOR=-16777208\r\n"
                                           "WINDOWCOLOR=8421504\r\n"
                                           "[window]\r\n"
                                           "; about the left edge\r\n"
                                           "left=80\r\n"
                                           "TOP=80\r\n"
                                           "WIDTH=525\r\n"
                                           "HEIGHT=480\r\n"
                                           "[FOREIGN]\r\n"
                                           "KEY=value\r\n"
                                           "[OPTIONS]\r\n"
                                           "SCROLL=FALSE\r\n"
                                           "ONTOP=FALSE\r\n"
                                           "DATE=FALSE\r\n"
                                           "TIME=FALSE\r\n"
                                           "STARTMINI=FALSE\r\n"
                                           "[CHANNELS]\r\n"
                                           "MAIN=1\r\n"
                                           "CHANNEL1=1\r\n"
                                           "CHANNEL2=1\r\n"
                                           "CHANNEL3=1\r\n"
                                           "CHANNEL4=1\r\n"
                                           "CHANNEL5=1\r\n"
                                           "CHANNEL6=1\r\n"
                                           "CHANNEL7=1\r\n"
                                           "CHANNEL8=1\r\n"
                                           "CHANNEL9=1\r\n"));
    EXPECT_EQ(LoadSettingsFile(file), FreshStart());
}

struct TReadCase {
    std::string Lines; // the file, lines ending in CR LF
    void (*Expect)(TSettings&); // turns the defaults into the expected settings
};

TEST(SettingsFile, StoredValuesAreRead)
{
    const std::string longName(3000, 'A');
    const TReadCase cases[] = {
        {"[WINDOW]\r\nLEFT=\r\n", [](TSettings&) {}},
        {"[WINDOW]\r\nWIDTH=600px\r\n", [](TSettings&) {}},
        {"[WINDOW]\r\nLEFT=0x64\r\nTOP=$64\r\n", [](TSettings& s) { s.Left = s.Top = 100; }},
        {"[window]\r\nleft=5\r\nWidth=600\r\n", [](TSettings& s) { s.Left = 5; s.Width = 600; }},
        {"[WINDOWS]\r\nLEFT=5\r\n[OPTIONS]\r\nTOP=5\r\n", [](TSettings&) {}},
        {"[WINDOW]\r\nLEFT=-100\r\nTOP=2147483647\r\nHEIGHT=-2147483648\r\n",
         [](TSettings& s) { s.Left = -100; s.Top = INT_MAX; s.Height = INT_MIN; }},
        {"[WINDOW]\r\nLEFT=2147483648\r\nTOP=-2147483649\r\nWIDTH=$100000000\r\nHEIGHT=x\r\n", [](TSettings&) {}},
        {"[OPTIONS]\r\nSCROLL=true\r\n", [](TSettings& s) { s.Scroll = true; }},
        {"[OPTIONS]\r\nSCROLL=yes\r\n", [](TSettings&) {}},
        {"[OPTIONS]\r\nSCROLL=1\r\n", [](TSettings&) {}},
        {"[OPTIONS]\r\nONTOP=TRUE\r\nDATE=True\r\nTIME=tRUE\r\nSTARTMINI=TRUE\r\n",
         [](TSettings& s) { s.OnTop = s.Date = s.Time = s.StartMini = true; }},
        {"[CHANNELS]\r\nMAIN=0\r\n", [](TSettings& s) { s.Channel[0] = false; }},
        {"[CHANNELS]\r\nMAIN=10\r\n", [](TSettings&) {}},
        {"[CHANNELS]\r\nMAIN=\r\n", [](TSettings& s) { s.Channel[0] = false; }},
        {"[CHANNELS]\r\nCHANNEL9=0\r\nCHANNEL5=2\r\nCHANNEL1=TRUE\r\n",
         [](TSettings& s) { s.Channel[9] = s.Channel[5] = s.Channel[1] = false; }},
        {"[PREFERENCES]\r\nDISPLAYLINES=50000\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=32001\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=abc\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=0\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=-5\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=1\r\n", [](TSettings& s) { s.DisplayLines = 1; }},
        {"[PREFERENCES]\r\nDISPLAYLINES=$FA\r\n", [](TSettings& s) { s.DisplayLines = 250; }},
        {"[PREFERENCES]\r\nFONTCOLOR=1\r\nWINDOWCOLOR=1\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nFONTCOLOR=$FF000008\r\nWINDOWCOLOR=$FFFFFFFF\r\n",
         [](TSettings& s) { s.FontColor = -16777208; s.WindowColor = -1; }},
        {"[PREFERENCES]\r\nFONTCOLOR=-$10\r\nWINDOWCOLOR=0x808080\r\n",
         [](TSettings& s) { s.FontColor = -16; s.WindowColor = 8421504; }},
        {"[PREFERENCES]\r\nFONTSIZE=0\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nFONTSIZE=-5\r\n", [](TSettings& s) { s.FontSize = -5; }},
        {"[PREFERENCES]\r\nFONTSIZE=12pt\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nFONTNAME=\r\n", [](TSettings&) {}},
        {"[PREFERENCES]\r\nFONTNAME=Lucida Console\r\n", [](TSettings& s) { s.FontName = L"Lucida Console"; }},
        {"[PREFERENCES]\r\nFONTNAME=" + longName + "\r\n",
         [](TSettings& s) { s.FontName = std::wstring(TIniFile::ReadLimit, L'A'); }},
        {"[capture]\r\nods=true\r\nchannel=$9\r\n", [](TSettings& s) { s.CaptureOds = true; s.CaptureChannel = 9; }},
        {"[CAPTURE]\r\nODS=1\r\nCHANNEL=10\r\n", [](TSettings&) {}},
        {"[capture]\r\nglobal=true\r\n", [](TSettings& s) { s.CaptureGlobal = true; }},
        {"[CAPTURE]\r\nGLOBAL=yes\r\n", [](TSettings&) {}},
        {"[CAPTURE]\r\nCHANNEL=-1\r\n", [](TSettings&) {}},
        {"[CAPTURE]\r\nCHANNEL=M\r\n", [](TSettings&) {}},
        {"[log]\r\nenabled=TRUE\r\nfile=C:\\t.log\r\nmaxmb=0x10\r\nkeep=0\r\n",
         [](TSettings& s) {
             s.LogEnabled = true;
             s.LogFile = L"C:\\t.log";
             s.LogMaxMb = 16;
             s.LogKeep = 0;
         }},
        {"[LOG]\r\nMAXMB=-1\r\nKEEP=-3\r\n", [](TSettings&) {}},
        {"[LOG]\r\nMAXMB=2147483647\r\nKEEP=many\r\n", [](TSettings& s) { s.LogMaxMb = INT_MAX; }},
        {"[SYSLOG]\r\nPORT=0\r\nCHANNEL=10\r\nUDP=no\r\n", [](TSettings& s) { s.SyslogUdp = false; }},
        {"[SYSLOG]\r\nPORT=65536\r\nCHANNEL=-1\r\n", [](TSettings&) {}},
        {"[syslog]\r\nreceive=true\r\nport=65535\r\naddress=::\r\n",
         [](TSettings& s) {
             s.SyslogReceive = true;
             s.SyslogPort = 65535;
             s.SyslogAddress = L"::";
         }},
        {"[FORWARD]\r\nPORT=-1\r\nPROTOCOL=SCTP\r\n", [](TSettings&) {}},
        {"[FORWARD]\r\nPROTOCOL=udp\r\n", [](TSettings& s) { s.ForwardProtocol = L"UDP"; }},
    };
    TTempDir dir;
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Lines.substr(0, 80));
        // A file of its own per case: the system may keep a copy of a file it has read.
        const std::wstring path = dir.File(L"case" + std::to_wstring(++index) + L".INI");
        WriteFileBytes(path, c.Lines);
        TSettings expected = MissingFileValues();
        c.Expect(expected);
        EXPECT_EQ(LoadSettingsFile(TIniFile(path)), expected);
    }
}

TEST(SettingsFile, UnwritableFileRaisesNamingThePathAndKeepsTheFile)
{
    const std::string previous = "[WINDOW]\r\nLEFT=7\r\n";
    enum class TTarget { LockedFile, MissingFolder, Folder };
    for (const TTarget target : {TTarget::LockedFile, TTarget::MissingFolder, TTarget::Folder}) {
        SCOPED_TRACE(static_cast<int>(target));
        TTempDir dir;
        std::wstring path = dir.File(SettingsFileTitle);
        TUniqueFileHandle holder; // another program that has the file open and lets nobody write
        switch (target) {
        case TTarget::LockedFile:
            WriteFileBytes(path, previous);
            holder.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(holder);
            break;
        case TTarget::MissingFolder:
            path = dir.File(L"missing\\") + SettingsFileTitle;
            break;
        case TTarget::Folder:
            ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
            break;
        }

        TIniFile file(path);
        try {
            SaveSettingsFile(file, FreshStart());
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find(path), std::wstring::npos) << e.what();
        }
        holder.Reset();

        switch (target) {
        case TTarget::LockedFile:
            EXPECT_EQ(ReadFileBytes(path), previous);
            EXPECT_EQ(LoadSettingsFile(file).Left, 7);
            break;
        case TTarget::MissingFolder:
            EXPECT_FALSE(Exists(path));
            break;
        case TTarget::Folder:
            EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
            break;
        }
    }
}

// ---------------------------------------------------------------- window bounds

struct TBoundsCase {
    RECT Bounds;
    TWindowBounds Expected;
    POINT DesktopOrigin = {0, 0};
};

TEST(SettingsBounds, ForSaving)
{
    constexpr int ScreenWidth = 1920;
    constexpr int ScreenHeight = 1080;
    constexpr POINT LeftMonitor = {-1920, 0};
    constexpr POINT UpperMonitor = {0, -1080};
    const TBoundsCase cases[] = {
        {{80, 80, 605, 560}, {80, 80, 525, 480}},
        {{-100, 50, 425, 530}, {0, 50, 525, 480}},
        {{0, 0, 525, 480}, {0, 0, 525, 480}},
        {{1, -1, 526, 479}, {1, 0, 525, 480}},
        {{-100, 10, 2900, 1210}, {0, 10, 1920, 1080}},
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        {{-8, -8, 1928, 1088}, {0, 0, 1920, 1080}}, // a maximized window's bounds
        {{1900, 1000, 2425, 1480}, {1900, 1000, 525, 480}},
        // On a monitor left of or above the primary one the window keeps its place.
        {{-1500, 50, -975, 530}, {-1500, 50, 525, 480}, LeftMonitor},
        {{-2000, 50, -1475, 530}, {-1920, 50, 525, 480}, LeftMonitor},
        {{100, -900, 625, -420}, {100, -900, 525, 480}, UpperMonitor},
    };
    for (const auto& c : cases) {
        const TWindowBounds got = BoundsForSaving(c.Bounds, c.DesktopOrigin, ScreenWidth, ScreenHeight);
        EXPECT_EQ(got, c.Expected) << c.Bounds.left << "," << c.Bounds.top << "," << c.Bounds.right << ","
                                   << c.Bounds.bottom << " -> " << got.Left << "," << got.Top << "," << got.Width
                                   << "," << got.Height;
    }
}

// Where stored bounds open, on a work area of 0,0 to 1920,1040 (a task bar below).
TEST(SettingsBounds, OpenWhereTheyCanBeSeen)
{
    constexpr RECT Work{0, 0, 1920, 1040};
    constexpr int MinVisible = 64;
    const struct {
        const char* Name;
        RECT Stored;
        RECT Opens;
    } cases[] = {
        {"on the monitor", {80, 80, 605, 560}, {80, 80, 605, 560}},
        {"partly off the left edge", {-300, 80, 225, 560}, {-300, 80, 225, 560}},
        {"only a sliver on the left", {-500, 80, 25, 560}, {0, 80, 525, 560}},
        {"monitor gone on the right", {5000, 3000, 5525, 3480}, {1395, 560, 1920, 1040}},
        {"monitor gone on the left", {-2500, 100, -1975, 580}, {0, 100, 525, 580}},
        {"caption above the monitor", {100, -30, 625, 450}, {100, 0, 625, 480}},
        {"caption below the work area", {100, 1000, 625, 1480}, {100, 560, 625, 1040}},
        {"larger than the monitor", {-3000, -3000, 2000, 1100}, {0, 0, 5000, 4100}},
    };
    for (const auto& c : cases) {
        const RECT got = BroughtIntoView(c.Stored, Work, MinVisible);
        EXPECT_TRUE(EqualRect(&got, &c.Opens)) << c.Name << ": " << got.left << "," << got.top << "," << got.right
                                               << "," << got.bottom;
    }
}

} // namespace
