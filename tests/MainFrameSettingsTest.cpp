// The settings file and the line limit through the real window: in-process on the real
// window, list box, edit field, exchange area and settings file beside the test exe (which
// the test main removes before and after each test case), and end to end with a private
// copy of Vellumtrace64.exe and vtsend.exe.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "DebugMain.h"
#include "ErrorBox.h"
#include "Gdi.h"
#include "IniFile.h"
#include "ModulePath.h"
#include "Settings.h"
#include "ShDat.h"
#include "ShmLock.h"
#include "TextCodec.h"
#include "WinHandles.h"
#include "support/DebugOutputPeers.h"
#include "support/TerminalProcess.h"
#include "support/SettingsExample.h"
#include "support/TestFiles.h"

struct TMainFrameProbe {
    static const TFontSpec& WindowFont(const TMainFrame& frame) { return frame.WindowFont; }
    static const TFontSpec& ListFont(const TMainFrame& frame) { return frame.ListFont; }
    static std::int32_t ListColor(const TMainFrame& frame) { return frame.ListColor; }
    static bool AutoScroll(const TMainFrame& frame) { return frame.AutoScroll; }
    static std::int32_t Overhead(const TMainFrame& frame) { return frame.Overhead; }
    static HWND NoOfEdit(const TMainFrame& frame) { return frame.NoOfEdit; }
    static HWND List(const TMainFrame& frame) { return frame.dbDisplayWnd; }
    static HWND Box(const TMainFrame& frame, int channel) { return frame.ChannelBoxes.at(channel); }
    static const std::wstring& IniFileName(const TMainFrame& frame) { return frame.IniFileName; }
    static ULONGLONG& PassTimeMs(TMainFrame& frame) { return frame.PassTimeMs; }
};

namespace {

constexpr ULONGLONG UnboundedPassMs = 600000;

using Probe = TMainFrameProbe;
using namespace TerminalProcess;

constexpr int DesignDpi = 96;
constexpr std::int32_t clWindowText = -16777208;
constexpr std::int32_t clGray = 8421504;
constexpr std::uint8_t Untouched = 7; // a byte no handler writes
constexpr DWORD LockWaitMs = 5000;
constexpr int MessagePumpLimit = 100000;

constexpr wchar_t LimitPrompt[] = L"Input a number between 1 and 32000";
constexpr wchar_t LimitCaption[] = L"Vellumtrace";

struct TRecordedBox {
    HWND Owner;
    std::wstring Text;
    std::wstring Caption;
    UINT Type;
};

std::wstring SettingsPath() { return BinDirectory() + SettingsFileTitle; }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Pump()
{
    MSG message;
    for (int count = 0; count < MessagePumpLimit && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++count) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int ScreenDpi() { return GetDeviceCaps(TWindowDC(nullptr).Get(), LOGPIXELSY); }

TWindowBounds OuterBounds(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return TWindowBounds{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

LOGFONTW RealFont(HWND control)
{
    LOGFONTW info{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(info), &info);
    return info;
}

testing::AssertionResult FontIs(const TFontSpec& font, const std::wstring& face, std::int32_t height,
                                std::int32_t color)
{
    if (font.Face == face && font.Height == height && font.Color == color)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "font " << testing::PrintToString(font.Face) << " " << font.Height << " "
                                       << font.Color;
}

std::wstring Numbered(int n) { return L"-M- line " + std::to_wstring(n); }

// The newest `count` of the lines 1 to `sent`, as the list shows them.
std::vector<std::wstring> Newest(int sent, int count)
{
    std::vector<std::wstring> lines;
    for (int n = sent - count + 1; n <= sent; ++n)
        lines.push_back(Numbered(n));
    return lines;
}

// What the real list and the real window receive, seen through subclasses: the list's
// changes in order, the count and whether a trim request was queued at each append, and
// the list's length whenever the window handles a trim request.
struct TTrimRecorder {
    struct TAppend {
        int CountBefore;
        bool TrimQueued;
        bool operator==(const TAppend&) const = default;
    };
    HWND Window = nullptr;
    std::vector<TAppend> Appends;
    std::vector<std::string> ListChanges; // "redraw 0", "delete", "top 99", ...
    std::vector<int> TrimRequests;        // the list's length when each arrived

    void ClearLog()
    {
        Appends.clear();
        ListChanges.clear();
    }
};

void PrintTo(const TTrimRecorder::TAppend& append, std::ostream* out)
{
    *out << "{" << append.CountBefore << ", " << append.TrimQueued << "}";
}

LRESULT CALLBACK RecordList(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto& recorder = *reinterpret_cast<TTrimRecorder*>(data);
    switch (message) {
    case LB_ADDSTRING: {
        MSG queued;
        const bool trimQueued =
            PeekMessageW(&queued, recorder.Window, WM_DELETEOVERHEAD, WM_DELETEOVERHEAD, PM_NOREMOVE | PM_NOYIELD) != 0;
        recorder.Appends.push_back({static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)), trimQueued});
        break;
    }
    case LB_DELETESTRING:
        recorder.ListChanges.push_back("delete " + std::to_string(wParam));
        break;
    case LB_SETTOPINDEX:
        recorder.ListChanges.push_back("top " + std::to_string(wParam));
        break;
    case WM_SETREDRAW:
        recorder.ListChanges.push_back("redraw " + std::to_string(wParam));
        break;
    default:
        break;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

LRESULT CALLBACK RecordWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto& recorder = *reinterpret_cast<TTrimRecorder*>(data);
    if (message == WM_DELETEOVERHEAD) {
        const HWND list = FindControl(window, idDbDisplay);
        recorder.TrimRequests.push_back(static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)));
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

class SettingsWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ScreenDpi(), DesignDpi) << "the expected sizes assume the design resolution";
        SetMessageBoxHandler([this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
            Boxes.push_back({owner, text, caption, type});
            return IDOK;
        });
        // The sender's side of the exchange area: a view and a mutex handle of its own.
        FSender = std::make_unique<TSharedData>(nullptr);
        FSender->SetSectionName(Shm::SectionName);
        FSender->SetDataSize(Shm::AreaSize);
        FSender->Open();
        Mutex.Reset(CreateMutexW(nullptr, FALSE, Shm::MutexName));
        std::memset(Area().ChannelOn, Untouched, sizeof Area().ChannelOn);
        DisplayLines = 0;
    }

    void TearDown() override
    {
        Close();
        Pump();
        FSender.reset();
        SetMessageBoxHandler({});
    }

    void Start()
    {
        Frame = std::make_unique<TMainFrame>();
        ASSERT_NE(Frame->Handle(), nullptr);
        WriteSlot = 0; // a new window takes entries from slot 0
        // One notification, one pass, however slow the machine: these tests count passes.
        Probe::PassTimeMs(*Frame) = UnboundedPassMs;
    }

    void Close()
    {
        if (!Frame)
            return;
        if (Recorder.Window != nullptr) {
            RemoveWindowSubclass(Probe::List(*Frame), RecordList, 0);
            RemoveWindowSubclass(Frame->Handle(), RecordWindow, 0);
            Recorder.Window = nullptr;
        }
        Frame.reset();
        ShmArea = nullptr;
    }

    void StartWithFile(std::string_view settings)
    {
        WriteFileBytes(SettingsPath(), settings);
        Start();
    }

    void Record()
    {
        Recorder.Window = Frame->Handle();
        SetWindowSubclass(Probe::List(*Frame), RecordList, 0, reinterpret_cast<DWORD_PTR>(&Recorder));
        SetWindowSubclass(Frame->Handle(), RecordWindow, 0, reinterpret_cast<DWORD_PTR>(&Recorder));
    }

    HWND Window() const { return Frame->Handle(); }
    HWND Edit() const { return Probe::NoOfEdit(*Frame); }
    TShmArea& Area() const { return *static_cast<TShmArea*>(FSender->Data()); }
    int Count() const { return static_cast<int>(SendMessageW(Probe::List(*Frame), LB_GETCOUNT, 0, 0)); }

    std::vector<std::wstring> Lines() const { return ListLines(Probe::List(*Frame)); }

    // Writes the next slot and raises the count, under the mutex, as a sender does.
    void Put(std::string_view text)
    {
        const TShmLock lock(Mutex.Get(), LockWaitMs);
        ASSERT_TRUE(lock.Acquired());
        TShmArea& area = Area();
        area.SlotChannel[WriteSlot] = 0;
        area.SlotTime[WriteSlot] = 0;
        area.SlotText[WriteSlot][0] = static_cast<std::uint8_t>(text.size());
        std::memcpy(&area.SlotText[WriteSlot][1], text.data(), text.size());
        area.PendingCount = area.PendingCount + 1;
        WriteSlot = (WriteSlot + 1) % Shm::SlotCount;
    }

    // One intake pass of `entries` numbered lines (at most a ring's worth), handled before
    // this returns; what it posts waits for Pump.
    void Pass(int entries)
    {
        ASSERT_LE(entries, Shm::SlotCount);
        for (int i = 0; i < entries; ++i)
            Put("line " + std::to_string(++Sent));
        SendMessageW(Window(), DebugEntryMsg, 0, 0);
    }

    // The intake's redraw suspension ends once the entries pause, through a timer: runs
    // that timer, and nothing else of the queue, until it has.
    void EndIntakeSuspension()
    {
        const ULONGLONG deadline = GetTickCount64() + LockWaitMs;
        while (Recorder.ListChanges.empty() || Recorder.ListChanges.back() != "redraw 1") {
            ASSERT_LT(GetTickCount64(), deadline) << "the list's redraw was not resumed";
            MSG timer;
            if (PeekMessageW(&timer, Window(), WM_TIMER, WM_TIMER, PM_REMOVE))
                DispatchMessageW(&timer);
            else
                Sleep(1);
        }
    }

    // A form-feed entry: the list loses all its lines.
    void ClearList()
    {
        Put("\f");
        SendMessageW(Window(), DebugEntryMsg, 0, 0);
        ASSERT_EQ(Count(), 0);
    }

    // Types into NoOfEdit as the keyboard would end it: the text, then a key release.
    void TypeLimit(const std::wstring& text, UINT keyMessage = WM_KEYUP, WPARAM key = VK_RETURN)
    {
        SetWindowTextW(Edit(), text.c_str());
        PostMessageW(Edit(), keyMessage, key, LPARAM{1} | (LPARAM{3} << 30));
        Pump();
    }

    std::unique_ptr<TMainFrame> Frame;
    TUniqueHandle Mutex;
    std::vector<TRecordedBox> Boxes;
    TTrimRecorder Recorder;
    int WriteSlot = 0;
    int Sent = 0;

private:
    std::unique_ptr<TSharedData> FSender;
};

// ---- loading and saving ----------------------------------------------------------------

struct TMark {
    TCommand Item;
    bool Checked;
};

TEST_F(SettingsWindow, WithoutAFileTheDesignStateHoldsAndClosingWritesTheExampleFile)
{
    ASSERT_FALSE(Exists(SettingsPath()));
    Start();
    Pump();
    EXPECT_EQ(Probe::IniFileName(*Frame), SettingsPath());
    EXPECT_EQ(OuterBounds(Window()), (TWindowBounds{80, 80, 525, 480}));
    EXPECT_FALSE(IsIconic(Window()));
    for (int channel = 0; channel < Shm::ChannelCount; ++channel) {
        EXPECT_EQ(SendMessageW(Probe::Box(*Frame, channel), BM_GETCHECK, 0, 0), BST_CHECKED) << channel;
        EXPECT_EQ(Area().ChannelOn[channel], 1) << channel;
    }
    const TMark marks[] = {{cmAutoScrollWin, false}, {cmDisplayChannel, true}, {cmDisplayDate, false},
                           {cmDisplayTime, false},   {cmOnTop, false},         {cmStartminimized, false}};
    for (const TMark& mark : marks)
        EXPECT_EQ(Frame->Checked(mark.Item), mark.Checked) << mark.Item;
    EXPECT_FALSE(Probe::AutoScroll(*Frame));
    EXPECT_EQ(GetWindowLongPtrW(Window(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(FontIs(Probe::WindowFont(*Frame), L"Courier New", -12, clWindowText));
    EXPECT_TRUE(FontIs(Probe::ListFont(*Frame), L"Courier New", -12, clWindowText));
    EXPECT_STREQ(RealFont(Probe::List(*Frame)).lfFaceName, L"Courier New");
    EXPECT_EQ(RealFont(Probe::List(*Frame)).lfHeight, -12);
    EXPECT_EQ(Probe::ListColor(*Frame), clGray);
    EXPECT_EQ(DisplayLines, 32000);
    EXPECT_EQ(Probe::Overhead(*Frame), 128);
    EXPECT_EQ(WindowText(Edit()), L"32000");
    EXPECT_FALSE(Exists(SettingsPath())); // reading never creates the file

    // The Capture menu's options, changed and changed back, leave no trace in the file.
    EXPECT_FALSE(Frame->Checked(cmCaptureOds));
    EXPECT_TRUE(Frame->Checked(cmCaptureChannel0));
    for (const UINT command : {UINT{cmCaptureOds}, UINT{cmCaptureChannel0 + 5}, UINT{cmCaptureOds}, UINT{cmCaptureChannel0}})
        SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
    EXPECT_FALSE(Frame->Checked(cmCaptureOds));

    Close();
    EXPECT_EQ(ReadFileBytes(SettingsPath()), std::string(FreshStartFile));
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(SettingsWindow, CaptureOnWhenClosedIsOnAtTheNextStartAndOffLeavesTheDesignFile)
{
    StartWithFile("[CAPTURE]\r\nODS=TRUE\r\nCHANNEL=4\r\n");
    EXPECT_TRUE(Frame->Checked(cmCaptureOds));
    EXPECT_TRUE(Frame->Checked(static_cast<TCommand>(cmCaptureChannel0 + 4)));
    EXPECT_FALSE(DebugOutputPeers::BufferObjectsGone());
    Close();
    EXPECT_TRUE(DebugOutputPeers::BufferObjectsGone());
    const TSettings stored = LoadSettingsFile(TIniFile(SettingsPath()));
    EXPECT_TRUE(stored.CaptureOds);
    EXPECT_EQ(stored.CaptureChannel, 4);

    Start();
    EXPECT_TRUE(Frame->Checked(cmCaptureOds));
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(cmCaptureOds, 0), 0);
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(cmCaptureChannel0, 0), 0);
    Close();
    EXPECT_EQ(ReadFileBytes(SettingsPath()), std::string(FreshStartFile));
    EXPECT_TRUE(Boxes.empty());
}

// Another reader holds the buffer at the start: the capture stays off without a box, the item
// says why, and the stored wish stays for the next start.
TEST_F(SettingsWindow, CaptureKeptOffByAnotherReaderAtTheStartStaysStoredOn)
{
    {
        DebugOutputPeers::TOtherReader other;
        ASSERT_TRUE(other.Ready());
        StartWithFile("[CAPTURE]\r\nODS=TRUE\r\n");
        EXPECT_FALSE(Frame->Checked(cmCaptureOds));
        wchar_t caption[128] = {};
        GetMenuStringW(GetMenu(Window()), cmCaptureOds, caption, 128, MF_BYCOMMAND);
        EXPECT_STREQ(caption, L"Capture OutputDebugString (another program reads it)");
        EXPECT_TRUE(Boxes.empty());
        Close();
        other.Stop();
    }
    EXPECT_TRUE(LoadSettingsFile(TIniFile(SettingsPath())).CaptureOds);
}

std::wstring TempLogPath(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"vt_settings_" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
}

TEST_F(SettingsWindow, ALogOnWhenClosedIsOnAtTheNextStartWithItsLimits)
{
    const std::wstring log = TempLogPath(L"trace.log");
    DeleteFileW(log.c_str());
    const std::string logKeys = "FILE=" + WideToAnsi(log) + "\r\nMAXMB=1\r\nKEEP=3\r\n";
    StartWithFile("[LOG]\r\nENABLED=TRUE\r\n" + logKeys);
    EXPECT_TRUE(Frame->Checked(cmLogToFile));
    Frame->AddLine("logged at the first start");
    Close();
    EXPECT_EQ(ReadFileBytes(log), "logged at the first start\r\n");
    const TSettings stored = LoadSettingsFile(TIniFile(SettingsPath()));
    EXPECT_TRUE(stored.LogEnabled);
    EXPECT_EQ(stored.LogFile, log);
    EXPECT_EQ(stored.LogMaxMb, 1);
    EXPECT_EQ(stored.LogKeep, 3);

    // Off at closing: ENABLED goes, the file and the limits stay for the next time.
    Start();
    EXPECT_TRUE(Frame->Checked(cmLogToFile));
    Frame->AddLine("and at the second");
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(cmLogToFile, 0), 0);
    EXPECT_FALSE(Frame->Checked(cmLogToFile));
    Close();
    EXPECT_EQ(ReadFileBytes(log), "logged at the first start\r\nand at the second\r\n");
    // The section where the first file had it.
    EXPECT_EQ(ReadFileBytes(SettingsPath()), "[LOG]\r\n" + logKeys + FreshStartFile);
    EXPECT_TRUE(Boxes.empty());
    DeleteFileW(log.c_str());
}

// Bounds stored for a monitor that is gone open on the nearest one, at their size; bounds that
// can be seen, negative ones included, open as stored.
TEST_F(SettingsWindow, StoredBoundsOffTheDesktopOpenOnTheNearestMonitor)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const POINT origin{0, 0};
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &monitor));
    const RECT work = monitor.rcWork;
    const struct {
        const char* Settings;
        bool Moved;
    } cases[] = {
        {"[WINDOW]\r\nLEFT=5000\r\nTOP=3000\r\nWIDTH=500\r\nHEIGHT=400\r\n", true},
        {"[WINDOW]\r\nLEFT=-5000\r\nTOP=100\r\nWIDTH=500\r\nHEIGHT=400\r\n", true},
        {"[WINDOW]\r\nLEFT=-40\r\nTOP=100\r\nWIDTH=500\r\nHEIGHT=400\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Settings);
        StartWithFile(c.Settings);
        RECT bounds;
        GetWindowRect(Window(), &bounds);
        EXPECT_EQ(bounds.right - bounds.left, 500);
        EXPECT_EQ(bounds.bottom - bounds.top, 400);
        if (c.Moved) {
            EXPECT_GE(bounds.left, work.left);
            EXPECT_GE(bounds.top, work.top);
            EXPECT_LE(bounds.right, work.right);
            EXPECT_LE(bounds.bottom, work.bottom);
        } else {
            EXPECT_EQ(bounds.left, -40);
            EXPECT_EQ(bounds.top, 100);
        }
        Close();
    }
}

// A rotation that another program refuses is told in the list, without a box: logs often run
// unattended. The line goes into the log as well.
TEST_F(SettingsWindow, ALogWhoseRotationIsRefusedSaysSoInTheListAndGoesOn)
{
    const std::wstring log = TempLogPath(L"held.log");
    const std::wstring old = TempLogPath(L"held.1.log");
    WriteFileBytes(log, std::string(1024 * 1024, 'x'));
    WriteFileBytes(old, "older\r\n");
    {
        const TUniqueFileHandle holder(CreateFileW(old.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        StartWithFile("[LOG]\r\nENABLED=TRUE\r\nFILE=" + WideToAnsi(log) + "\r\nMAXMB=1\r\nKEEP=1\r\n");
        Frame->AddLine("past the limit");
        ASSERT_TRUE(PollUntil([&] {
            Pump();
            return Lines().size() == 2;
        }));
        EXPECT_NE(Lines()[1].find(L"could not rotate"), std::wstring::npos) << testing::PrintToString(Lines()[1]);
        EXPECT_NE(Lines()[1].find(old), std::wstring::npos);
        EXPECT_TRUE(Frame->Checked(cmLogToFile));
        Close();
    }
    const std::string logged = ReadFileBytes(log).value_or("");
    EXPECT_EQ(logged.substr(1024 * 1024, 16), "past the limit\r\n");
    EXPECT_NE(logged.find("could not rotate"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(old), "older\r\n");
    EXPECT_TRUE(Boxes.empty());
    DeleteFileW(log.c_str());
    DeleteFileW(old.c_str());
}

// A log file the settings file names and that the log must not have: the settings file
// itself, whose next start would repeat it, and a name the settings file could not keep whole.
// One box each; the log stays off, and the settings are written back as they should be.
TEST_F(SettingsWindow, ALogFileTheTerminalUsesOrCannotKeepIsRefusedWithABox)
{
    const struct {
        const char* Name;
        std::wstring File;
        const wchar_t* Says;
    } cases[] = {
        {"the settings file", SettingsPath(), L"the terminal uses that file itself"},
        {"the program", ExecutablePath(), L"the terminal uses that file itself"},
        {"a name longer than a value", L"C:\\" + std::wstring(3000, L'n') + L".log", L"more than the settings file keeps"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Boxes.clear();
        StartWithFile("[LOG]\r\nENABLED=TRUE\r\nFILE=" + WideToAnsi(c.File) + "\r\n");
        Pump();
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_NE(Boxes[0].Text.find(c.Says), std::wstring::npos) << testing::PrintToString(Boxes[0].Text);
        EXPECT_FALSE(Frame->Checked(cmLogToFile));
        Frame->AddLine("not logged");
        Close();
        const std::string written = ReadFileBytes(SettingsPath()).value_or("");
        EXPECT_EQ(written.find("not logged"), std::string::npos);
        EXPECT_FALSE(LoadSettingsFile(TIniFile(SettingsPath())).LogEnabled);
    }
}

TEST_F(SettingsWindow, ALogThatCannotStartGivesOneErrorBoxAndIsStoredOff)
{
    const std::wstring log = TempLogPath(L"missing\\trace.log");
    StartWithFile("[LOG]\r\nENABLED=TRUE\r\nFILE=" + WideToAnsi(log) + "\r\n");
    ASSERT_TRUE(PollUntil([&] {
        Pump();
        return !Boxes.empty();
    }));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find(log), std::wstring::npos) << testing::PrintToString(Boxes[0].Text);
    EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_FALSE(Frame->Checked(cmLogToFile));
    Close();
    const TSettings stored = LoadSettingsFile(TIniFile(SettingsPath()));
    EXPECT_FALSE(stored.LogEnabled);
    EXPECT_EQ(stored.LogFile, log);
}

TEST_F(SettingsWindow, EveryStoredValueIsAppliedAndWrittenBack)
{
    // Lower-case names, as a person might write them.
    StartWithFile("[window]\r\nleft=33\r\ntop=44\r\nwidth=640\r\nheight=400\r\n"
                  "[options]\r\nscroll=true\r\nontop=True\r\ndate=TRUE\r\ntime=tRUE\r\nstartmini=TRUE\r\n"
                  "[channels]\r\nmain=0\r\nchannel1=1\r\nchannel2=0\r\nchannel3=1\r\nchannel4=0\r\n"
                  "channel5=1\r\nchannel6=0\r\nchannel7=1\r\nchannel8=0\r\nchannel9=0\r\n"
                  "[preferences]\r\nfontname=Lucida Console\r\nfontsize=14\r\nfontcolor=255\r\n"
                  "windowcolor=$00FF00\r\ndisplaylines=250\r\n"
                  "[capture]\r\nchannel=4\r\n[log]\r\nmaxmb=7\r\nkeep=2\r\n");
    // Shown first, minimized once the loop takes the request.
    MSG request;
    EXPECT_TRUE(PeekMessageW(&request, Window(), WM_STARTMINIMIZED, WM_STARTMINIMIZED, PM_NOREMOVE));
    EXPECT_TRUE(IsWindowVisible(Window()));
    EXPECT_FALSE(IsIconic(Window()));
    EXPECT_EQ(OuterBounds(Window()), (TWindowBounds{33, 44, 640, 400}));

    const bool channels[] = {false, true, false, true, false, true, false, true, false, false};
    for (int channel = 0; channel < Shm::ChannelCount; ++channel) {
        EXPECT_EQ(SendMessageW(Probe::Box(*Frame, channel), BM_GETCHECK, 0, 0) == BST_CHECKED, channels[channel])
            << channel;
        EXPECT_EQ(Area().ChannelOn[channel], channels[channel] ? 1 : 0) << channel;
    }
    const int height = -19; // 14 points at 96 dpi
    EXPECT_TRUE(FontIs(Probe::WindowFont(*Frame), L"Lucida Console", height, 255));
    EXPECT_TRUE(FontIs(Probe::ListFont(*Frame), L"Lucida Console", height, 255));
    EXPECT_STREQ(RealFont(Probe::List(*Frame)).lfFaceName, L"Lucida Console");
    EXPECT_EQ(RealFont(Probe::List(*Frame)).lfHeight, height);
    EXPECT_EQ(Probe::ListColor(*Frame), 65280);
    EXPECT_EQ(DisplayLines, 250);
    EXPECT_EQ(Probe::Overhead(*Frame), 16);
    EXPECT_EQ(WindowText(Edit()), L"250");
    for (const TCommand item :
         {cmAutoScrollWin, cmDisplayChannel, cmDisplayDate, cmDisplayTime, cmOnTop, cmStartminimized})
        EXPECT_TRUE(Frame->Checked(item)) << item;
    EXPECT_TRUE(Probe::AutoScroll(*Frame));
    EXPECT_NE(GetWindowLongPtrW(Window(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(Frame->Checked(static_cast<TCommand>(cmCaptureChannel0 + 4)));
    EXPECT_FALSE(Frame->Checked(cmCaptureOds));

    Pump();
    EXPECT_TRUE(IsIconic(Window()));

    // Closed while minimized: the restored bounds are stored.
    Close();
    TSettings expected;
    expected.Left = 33;
    expected.Top = 44;
    expected.Width = 640;
    expected.Height = 400;
    expected.Scroll = expected.OnTop = expected.Date = expected.Time = expected.StartMini = true;
    std::copy(std::begin(channels), std::end(channels), expected.Channel.begin());
    expected.FontName = L"Lucida Console";
    expected.FontSize = 14;
    expected.FontColor = 255;
    expected.WindowColor = 65280;
    expected.DisplayLines = 250;
    expected.CaptureChannel = 4;
    expected.LogMaxMb = 7;
    expected.LogKeep = 2;
    expected.SyslogAddress = DefaultSyslogAddress;
    expected.SyslogPort = expected.ForwardPort = DefaultSyslogPort;
    expected.SyslogUdp = expected.SyslogTcp = true;
    expected.SyslogChannel = DefaultSyslogChannel;
    expected.ForwardProtocol = ForwardOverTcp;
    EXPECT_TRUE(LoadSettingsFile(TIniFile(SettingsPath())) == expected);
    EXPECT_TRUE(Boxes.empty());
}

// What the window shows of the values a file can spoil.
struct TObserved {
    TWindowBounds Bounds;
    bool AutoScroll;
    bool MainOn;
    std::int32_t WindowFontHeight;
    std::int32_t ListFontHeight;
    std::int32_t WindowFontColor;
    std::int32_t ListFontColor;
    std::int32_t ListColor;
    std::int32_t Limit;
    std::int32_t Overhead;
    std::wstring LimitText;

    bool operator==(const TObserved&) const = default;
};

void PrintTo(const TObserved& o, std::ostream* out)
{
    *out << "{bounds " << o.Bounds.Left << "," << o.Bounds.Top << "," << o.Bounds.Width << "," << o.Bounds.Height
         << " scroll " << o.AutoScroll << " main " << o.MainOn << " font " << o.WindowFontHeight << "/"
         << o.ListFontHeight << " colours " << o.WindowFontColor << "/" << o.ListFontColor << "/" << o.ListColor
         << " limit " << o.Limit << "+" << o.Overhead << " " << testing::PrintToString(o.LimitText) << "}";
}

TObserved Observe(const TMainFrame& frame)
{
    return TObserved{OuterBounds(frame.Handle()),
                     Probe::AutoScroll(frame),
                     SendMessageW(Probe::Box(frame, 0), BM_GETCHECK, 0, 0) == BST_CHECKED,
                     Probe::WindowFont(frame).Height,
                     Probe::ListFont(frame).Height,
                     Probe::WindowFont(frame).Color,
                     Probe::ListFont(frame).Color,
                     Probe::ListColor(frame),
                     DisplayLines,
                     Probe::Overhead(frame),
                     WindowText(Probe::NoOfEdit(frame))};
}

TObserved DesignObserved()
{
    return TObserved{{80, 80, 525, 480}, false, true, -12, -12, clWindowText, clWindowText, clGray, 32000, 128,
                     L"32000"};
}

struct TFileCase {
    const char* File;
    void (*Change)(TObserved&); // from the design state
};

TEST_F(SettingsWindow, SpoiltValuesGiveTheDefaultOrKeepTheDesign)
{
    const TFileCase cases[] = {
        {"[WINDOW]\r\nLEFT=\r\n", [](TObserved&) {}},
        {"[WINDOW]\r\nWIDTH=600px\r\n", [](TObserved&) {}},
        {"[WINDOW]\r\nLEFT=0x64\r\nTOP=$64\r\n", [](TObserved& o) { o.Bounds.Left = o.Bounds.Top = 100; }},
        {"[PREFERENCES]\r\nFONTSIZE=0\r\n", [](TObserved&) {}},
        {"[PREFERENCES]\r\nFONTSIZE=-5\r\n", [](TObserved&) {}},
        {"[PREFERENCES]\r\nFONTSIZE=10\r\n", [](TObserved& o) { o.WindowFontHeight = o.ListFontHeight = -13; }},
        {"[PREFERENCES]\r\nFONTCOLOR=1\r\n", [](TObserved&) {}},
        {"[PREFERENCES]\r\nFONTCOLOR=$FF\r\n", [](TObserved& o) { o.WindowFontColor = o.ListFontColor = 255; }},
        {"[PREFERENCES]\r\nWINDOWCOLOR=1\r\n", [](TObserved&) {}},
        {"[PREFERENCES]\r\nWINDOWCOLOR=0\r\n", [](TObserved& o) { o.ListColor = 0; }},
        {"[PREFERENCES]\r\nDISPLAYLINES=50000\r\n", [](TObserved&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=0\r\n", [](TObserved&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=-5\r\n", [](TObserved&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=many\r\n", [](TObserved&) {}},
        {"[PREFERENCES]\r\nDISPLAYLINES=0x0FA\r\n", [](TObserved& o) {
             o.Limit = 250;
             o.Overhead = 16;
             o.LimitText = L"250";
         }},
        {"[OPTIONS]\r\nSCROLL=yes\r\n", [](TObserved&) {}},
        {"[OPTIONS]\r\nSCROLL=1\r\n", [](TObserved&) {}},
        {"[OPTIONS]\r\nSCROLL=True\r\n", [](TObserved& o) { o.AutoScroll = true; }},
        {"[CHANNELS]\r\nMAIN=10\r\n", [](TObserved&) {}},
        {"[CHANNELS]\r\nMAIN=\r\n", [](TObserved& o) { o.MainOn = false; }},
    };
    for (const TFileCase& row : cases) {
        SCOPED_TRACE(row.File);
        StartWithFile(row.File);
        TObserved expected = DesignObserved();
        row.Change(expected);
        EXPECT_EQ(Observe(*Frame), expected);
        EXPECT_EQ(Area().ChannelOn[0], expected.MainOn ? 1 : 0);
        Close();
    }
    EXPECT_TRUE(Boxes.empty());
}

struct TBoundsCase {
    const char* Name;
    // Puts the window into its state; returns the bounds that must be stored.
    TWindowBounds (*Arrange)(HWND window);
};

TEST_F(SettingsWindow, StoredBoundsAreLimitedAndTakenFromTheRestoredOrMaximizedWindow)
{
    ASSERT_LT(GetSystemMetrics(SM_CXSCREEN), 3000);
    ASSERT_LT(GetSystemMetrics(SM_CYSCREEN), 3000);
    const TBoundsCase cases[] = {
        {"partly off the left edge",
         [](HWND window) {
             MoveWindow(window, -100, 50, 500, 400, TRUE);
             return TWindowBounds{0, 50, 500, 400};
         }},
        {"above the top edge",
         [](HWND window) {
             MoveWindow(window, 30, -20, 500, 400, TRUE);
             return TWindowBounds{30, 0, 500, 400};
         }},
        {"wider and taller than the screen",
         [](HWND window) {
             MoveWindow(window, 10, 20, 3000, 3000, TRUE);
             const TWindowBounds actual = OuterBounds(window);
             EXPECT_GT(actual.Width, GetSystemMetrics(SM_CXSCREEN));
             EXPECT_GT(actual.Height, GetSystemMetrics(SM_CYSCREEN));
             return TWindowBounds{10, 20, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
         }},
        {"minimized",
         [](HWND window) {
             MoveWindow(window, 200, 150, 600, 400, TRUE);
             ShowWindow(window, SW_MINIMIZE);
             EXPECT_TRUE(IsIconic(window));
             EXPECT_NE(OuterBounds(window), (TWindowBounds{200, 150, 600, 400}));
             return TWindowBounds{200, 150, 600, 400};
         }},
        {"maximized",
         [](HWND window) {
             MoveWindow(window, 200, 150, 600, 400, TRUE);
             ShowWindow(window, SW_MAXIMIZE);
             EXPECT_TRUE(IsZoomed(window));
             const TWindowBounds maximized = OuterBounds(window);
             EXPECT_NE(maximized, (TWindowBounds{200, 150, 600, 400}));
             return TWindowBounds{std::max(maximized.Left, 0), std::max(maximized.Top, 0),
                                  std::min(maximized.Width, GetSystemMetrics(SM_CXSCREEN)),
                                  std::min(maximized.Height, GetSystemMetrics(SM_CYSCREEN))};
         }},
    };
    for (const TBoundsCase& row : cases) {
        SCOPED_TRACE(row.Name);
        Start();
        Pump();
        const TWindowBounds expected = row.Arrange(Window());
        Pump();
        Close();
        const TIniFile file(SettingsPath());
        EXPECT_EQ(file.Read(L"WINDOW", L"LEFT", L""), std::to_wstring(expected.Left));
        EXPECT_EQ(file.Read(L"WINDOW", L"TOP", L""), std::to_wstring(expected.Top));
        EXPECT_EQ(file.Read(L"WINDOW", L"WIDTH", L""), std::to_wstring(expected.Width));
        EXPECT_EQ(file.Read(L"WINDOW", L"HEIGHT", L""), std::to_wstring(expected.Height));
        // The next start opens an ordinary window there.
        Start();
        Pump();
        EXPECT_FALSE(IsIconic(Window()));
        EXPECT_FALSE(IsZoomed(Window()));
        EXPECT_EQ(OuterBounds(Window()), expected);
        Close();
        DeleteFileW(SettingsPath().c_str());
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(SettingsWindow, UnwritableFileShowsOneErrorBoxAndTheShutdownCompletes)
{
    const std::string previous = "[WINDOW]\r\nLEFT=120\r\n";
    StartWithFile(previous);
    ASSERT_TRUE(PublishMainFrame(*Frame));
    const HWND window = Window();
    EXPECT_EQ(OuterBounds(window).Left, 120);
    ASSERT_EQ(Area().TerminalWnd, reinterpret_cast<std::uint64_t>(window));

    {
        // Another program holds the file open and lets nobody write it.
        const TUniqueFileHandle holder(CreateFileW(SettingsPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        Close();
    }
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Owner, window);
    EXPECT_NE(Boxes[0].Text.find(SettingsPath()), std::wstring::npos) << testing::PrintToString(Boxes[0].Text);
    EXPECT_EQ(Boxes[0].Caption, L"Vellumtrace64");
    EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(MainFrame, nullptr);
    EXPECT_EQ(Area().TerminalWnd, 0u);
    for (int channel = 0; channel < Shm::ChannelCount; ++channel)
        EXPECT_EQ(Area().ChannelOn[channel], 0) << channel;
    EXPECT_EQ(ReadFileBytes(SettingsPath()), previous);
}

// ---- line limit --------------------------------------------------------------------------

constexpr char Limit100File[] = "[PREFERENCES]\r\nDISPLAYLINES=100\r\n";

TEST_F(SettingsWindow, PassFrom107To110LinesRequestsOneTrimAt108AndKeepsTheNewest100)
{
    StartWithFile(Limit100File);
    ASSERT_EQ(DisplayLines, 100);
    ASSERT_EQ(Probe::Overhead(*Frame), 8);
    Record();
    Pass(60);
    Pass(47);
    Pump();
    ASSERT_EQ(Count(), 107);
    EXPECT_TRUE(Recorder.TrimRequests.empty());

    Recorder.ClearLog();
    Pass(3);
    using TAppend = TTrimRecorder::TAppend;
    EXPECT_EQ(Recorder.Appends, (std::vector<TAppend>{{107, false}, {108, true}, {109, true}}));
    EXPECT_EQ(Count(), 110);
    Pump();
    EXPECT_EQ(Recorder.TrimRequests, std::vector<int>{110});
    EXPECT_EQ(Lines(), Newest(110, 100));
}

TEST_F(SettingsWindow, ListLengthFollowsASawToothAndKeepsTheNewestLines)
{
    StartWithFile(Limit100File);
    Record();
    const int threshold = DisplayLines + Probe::Overhead(*Frame);
    const int passSizes[] = {1, 4, 9, 16, 25, 36, 49, 64, 7, 3, 2};
    int trims = 0;
    for (int round = 0; round < 4; ++round) {
        for (const int size : passSizes) {
            const int before = Count();
            const std::size_t requests = Recorder.TrimRequests.size();
            Pass(size);
            EXPECT_EQ(Count(), before + size);
            EXPECT_LE(Count(), threshold + size);
            Pump();
            // A trim follows exactly the passes that went through the threshold.
            const bool crossed = before <= threshold && before + size > threshold;
            ASSERT_EQ(Recorder.TrimRequests.size() - requests, crossed ? 1u : 0u) << before << "+" << size;
            EXPECT_EQ(Count(), crossed ? DisplayLines : before + size);
            trims += crossed ? 1 : 0;
            ASSERT_EQ(Lines(), Newest(Sent, Count())) << Sent;
        }
    }
    EXPECT_GT(trims, 20);
}

TEST_F(SettingsWindow, NotificationsQueuedAroundATrimRequestDelayItByOnePassAtMost)
{
    StartWithFile(Limit100File);
    Record();
    Pass(60);
    Pass(50); // 110 lines; the pass that went through 108 requested the trim
    EndIntakeSuspension();
    MSG request;
    ASSERT_TRUE(PeekMessageW(&request, Window(), WM_DELETEOVERHEAD, WM_DELETEOVERHEAD, PM_REMOVE));
    // As under a flood: notifications of senders queued before and after the request.
    for (int i = 0; i < 5; ++i)
        Put("line " + std::to_string(++Sent));
    PostMessageW(Window(), DebugEntryMsg, 0, 0);
    PostMessageW(Window(), WM_DELETEOVERHEAD, 0, 0);
    for (int i = 0; i < 3; ++i)
        PostMessageW(Window(), DebugEntryMsg, 0, 0);
    Recorder.ClearLog();
    Pump();

    // One pass took the five entries, then the trim ran; the notifications behind it were
    // gone with that pass.
    ASSERT_EQ(Recorder.Appends.size(), 5u);
    EXPECT_EQ(Recorder.Appends.front().CountBefore, 110);
    EXPECT_EQ(Recorder.TrimRequests, std::vector<int>{115});
    EXPECT_EQ(Lines(), Newest(Sent, 100));
    EXPECT_FALSE(PeekMessageW(&request, Window(), DebugEntryMsg, DebugEntryMsg, PM_NOREMOVE));
}

// A list already past the new limit plus the overhead is trimmed once the next line arrives,
// not only when it passes exactly that length (which it never would again).
TEST_F(SettingsWindow, LimitLoweredBelowTheLengthTrimsWithTheNextLine)
{
    Start();
    Record();
    for (int pass = 0; pass < 5; ++pass)
        Pass(60);
    TypeLimit(L"100");
    ASSERT_EQ(DisplayLines, 100);
    ASSERT_EQ(Probe::Overhead(*Frame), 8);
    EXPECT_EQ(Count(), 300); // not trimmed here

    Pass(60);
    Pump();
    EXPECT_EQ(Recorder.TrimRequests, std::vector<int>{360});
    EXPECT_EQ(Lines(), Newest(Sent, 100));

    ClearList();
    Pass(60);
    Pass(60);
    Pump();
    EXPECT_EQ(Recorder.TrimRequests, (std::vector<int>{360, 120}));
    EXPECT_EQ(Lines(), Newest(Sent, 100));
}

struct TStrayTrimCase {
    int Lines;    // made while the limit is 32000
    int Expected; // after a trim request with the limit 100
};

TEST_F(SettingsWindow, TrimRequestChangesNothingAtOrBelowTheThreshold)
{
    Start();
    Record();
    const TStrayTrimCase cases[] = {{0, 0}, {50, 50}, {108, 108}, {109, 100}, {200, 100}};
    for (const TStrayTrimCase& row : cases) {
        SCOPED_TRACE(row.Lines);
        TypeLimit(L"32000");
        ClearList();
        for (int left = row.Lines; left > 0; left -= std::min(left, Shm::SlotCount))
            Pass(std::min(left, Shm::SlotCount));
        TypeLimit(L"100");
        Pump();
        Recorder.ClearLog();
        PostMessageW(Window(), WM_DELETEOVERHEAD, 0, 0);
        Pump();
        EXPECT_EQ(Lines(), Newest(Sent, row.Expected));
        if (row.Expected == row.Lines) {
            EXPECT_TRUE(Recorder.ListChanges.empty());
        }
    }
}

struct TScrollCase {
    const char* File;
    bool TopSet;
};

TEST_F(SettingsWindow, TrimIsOneRedrawSuspensionAndScrollsToTheEndOnlyWithAutoScroll)
{
    const TScrollCase cases[] = {
        {"[OPTIONS]\r\nSCROLL=FALSE\r\n[PREFERENCES]\r\nDISPLAYLINES=100\r\n", false},
        {"[OPTIONS]\r\nSCROLL=TRUE\r\n[PREFERENCES]\r\nDISPLAYLINES=100\r\n", true},
    };
    for (const TScrollCase& row : cases) {
        SCOPED_TRACE(row.TopSet);
        StartWithFile(row.File);
        Record();
        Pass(60);
        Pass(50);
        EndIntakeSuspension();
        Recorder.ClearLog();
        Pump();
        std::vector<std::string> expected{"redraw 0"};
        expected.insert(expected.end(), 10, "delete 0");
        if (row.TopSet)
            expected.push_back("top 99");
        expected.push_back("redraw 1");
        EXPECT_EQ(Recorder.ListChanges, expected);
        EXPECT_EQ(Lines(), Newest(Sent, 100));
        if (!row.TopSet) {
            EXPECT_EQ(SendMessageW(Probe::List(*Frame), LB_GETTOPINDEX, 0, 0), 0);
        }
        Close();
        Sent = 0;
    }
}

struct TLimitCase {
    const wchar_t* Text;
    std::optional<std::int32_t> Limit; // nothing: rejected
    std::int32_t Overhead;
};

TEST_F(SettingsWindow, TypedLimitIsTakenOrRejectedWithTheMessageBox)
{
    Start();
    const TLimitCase cases[] = {
        {L" 250", 250, 16},       {L"+250", 250, 16},        {L"$FA", 250, 16},     {L"0x0FA", 250, 16},
        {L"1", 1, 8},             {L"32000", 32000, 128},    {L"1000", 1000, 32},   {L"1001", 1001, 64},
        {L"250 ", std::nullopt, 0}, {L"2.5e2", std::nullopt, 0}, {L"1,000", std::nullopt, 0}, {L"abc", std::nullopt, 0},
        {L"0", std::nullopt, 0},    {L"32001", std::nullopt, 0}, {L"-5", std::nullopt, 0},    {L"   ", std::nullopt, 0},
    };
    for (const TLimitCase& row : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.Text)));
        TypeLimit(L"777");
        ASSERT_EQ(DisplayLines, 777);
        ASSERT_EQ(Probe::Overhead(*Frame), 32);
        Boxes.clear();

        TypeLimit(row.Text);
        EXPECT_EQ(WindowText(Edit()), row.Text); // never rewritten
        if (row.Limit) {
            EXPECT_TRUE(Boxes.empty());
            EXPECT_EQ(DisplayLines, *row.Limit);
            EXPECT_EQ(Probe::Overhead(*Frame), row.Overhead);
        } else {
            ASSERT_EQ(Boxes.size(), 1u);
            EXPECT_EQ(Boxes[0].Owner, Window());
            EXPECT_EQ(Boxes[0].Text, LimitPrompt);
            EXPECT_EQ(Boxes[0].Caption, LimitCaption);
            EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OKCANCEL));
            EXPECT_EQ(DisplayLines, 777);
            EXPECT_EQ(Probe::Overhead(*Frame), 32);
        }
    }
    // The empty field: the user is still typing.
    Boxes.clear();
    TypeLimit(L"");
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(DisplayLines, 777);
}

struct TKeyRelease {
    UINT Message;
    WPARAM Key;
};

TEST_F(SettingsWindow, EveryKeyReleaseChecksTheFieldAgain)
{
    Start();
    SetWindowTextW(Edit(), L"abc");
    const TKeyRelease releases[] = {{WM_KEYUP, VK_F2},      {WM_KEYUP, VK_LEFT},  {WM_KEYUP, VK_HOME},
                                    {WM_KEYUP, VK_SHIFT},   {WM_KEYUP, VK_CONTROL}, {WM_SYSKEYUP, VK_MENU},
                                    {WM_SYSKEYUP, VK_F10}};
    for (const TKeyRelease& release : releases) {
        Boxes.clear();
        PostMessageW(Edit(), WM_KEYDOWN, release.Key, 1);
        Pump();
        EXPECT_TRUE(Boxes.empty()) << release.Key; // the press alone does nothing
        PostMessageW(Edit(), release.Message, release.Key, LPARAM{1} | (LPARAM{3} << 30));
        Pump();
        EXPECT_EQ(Boxes.size(), 1u) << release.Key;
    }
    EXPECT_EQ(DisplayLines, 32000);
    EXPECT_EQ(WindowText(Edit()), L"abc");
}

// Real key strokes from the input queue into the focused field.
void Stroke(WORD key)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
    Pump();
}

TEST_F(SettingsWindow, TypingIntoTheClearedFieldSetsTheLimitAtEachKey)
{
    Start();
    Pump();
    SetForegroundWindow(Window());
    SetFocus(Edit());
    ASSERT_EQ(GetFocus(), Edit());
    SetWindowTextW(Edit(), L"");

    Stroke('0');
    EXPECT_EQ(WindowText(Edit()), L"0");
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, LimitPrompt);
    EXPECT_EQ(DisplayLines, 32000);
    Stroke(VK_BACK);
    EXPECT_EQ(WindowText(Edit()), L"");
    EXPECT_EQ(Boxes.size(), 1u);

    const struct {
        WORD Key;
        const wchar_t* Text;
        std::int32_t Limit;
        std::int32_t Overhead;
    } steps[] = {{'5', L"5", 5, 8}, {'0', L"50", 50, 8}, {'0', L"500", 500, 16}};
    for (const auto& step : steps) {
        Stroke(step.Key);
        EXPECT_EQ(WindowText(Edit()), step.Text);
        EXPECT_EQ(DisplayLines, step.Limit);
        EXPECT_EQ(Probe::Overhead(*Frame), step.Overhead);
    }
    EXPECT_EQ(Boxes.size(), 1u);

    // The file receives the last accepted value, whatever the field shows.
    Stroke('X');
    EXPECT_EQ(WindowText(Edit()), L"500x");
    EXPECT_EQ(Boxes.size(), 2u);
    Close();
    EXPECT_EQ(TIniFile(SettingsPath()).Read(L"PREFERENCES", L"DISPLAYLINES", L""), L"500");
}

// ---- the real program ---------------------------------------------------------------------

// The line-limit field of another process: its text, then a key release, handled before
// this returns.
bool SetLimitFromOutside(HWND edit, const wchar_t* text)
{
    DWORD_PTR result = 0;
    return SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) &&
           SendMessageTimeoutW(edit, WM_KEYUP, VK_RETURN, LPARAM{1} | (LPARAM{3} << 30), SMTO_ABORTIFHUNG, WaitLimitMs,
                               &result) != 0;
}

bool Checked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

TEST(SettingsEndToEnd, SettingsSurviveARestartOfTheProgram)
{
    TTerminalCopy copy(L"vt_settings_");
    ASSERT_TRUE(copy.Copied);
    const TAreaView view;
    const int switchedOff[] = {0, 5};

    {
        TProcess terminal(copy.Exe, L"");
        ASSERT_TRUE(terminal.Started());
        const HWND window = view.WaitForTerminal();
        ASSERT_NE(window, nullptr);
        for (const UINT command : {cmAutoScrollWin, cmDisplayDate, cmDisplayTime, cmOnTop})
            PostMessageW(window, WM_COMMAND, command, 0);
        // The commands are taken in order: the last one shows when all are done.
        ASSERT_TRUE(PollUntil([&] { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }));
        SendMessageW(FindControl(window, idCheckBox11), BM_CLICK, 0, 0);
        SendMessageW(FindControl(window, idCheckBox1 + 4), BM_CLICK, 0, 0);
        EXPECT_EQ(view.Area().ChannelOn[0], 0);
        EXPECT_EQ(view.Area().ChannelOn[5], 0);
        ASSERT_TRUE(MoveWindow(window, 150, 120, 600, 450, TRUE));
        ASSERT_TRUE(SetLimitFromOutside(FindControl(window, idNoOfEdit), L"250"));
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(terminal.Finish(), 0u);
    }
    const std::string expected = "[WINDOW]\r\nLEFT=150\r\nTOP=120\r\nWIDTH=600\r\nHEIGHT=450\r\n"
                                 "[OPTIONS]\r\nSCROLL=TRUE\r\nONTOP=TRUE\r\nDATE=TRUE\r\nTIME=TRUE\r\n"
                                 "STARTMINI=FALSE\r\n"
                                 "[CHANNELS]\r\nMAIN=0\r\nCHANNEL1=1\r\nCHANNEL2=1\r\nCHANNEL3=1\r\nCHANNEL4=1\r\n"
                                 "CHANNEL5=0\r\nCHANNEL6=1\r\nCHANNEL7=1\r\nCHANNEL8=1\r\nCHANNEL9=1\r\n"
                                 "[PREFERENCES]\r\nFONTNAME=Courier New\r\nFONTSIZE=9\r\nFONTCOLOR=-16777208\r\n"
                                 "WINDOWCOLOR=8421504\r\nDISPLAYLINES=250\r\n";
    EXPECT_EQ(ReadFileBytes(copy.SettingsFile), expected);

    {
        TProcess terminal(copy.Exe, L"");
        ASSERT_TRUE(terminal.Started());
        const HWND window = view.WaitForTerminal();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(OuterBounds(window), (TWindowBounds{150, 120, 600, 450}));
        EXPECT_FALSE(IsIconic(window));
        EXPECT_NE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        for (int channel = 0; channel < Shm::ChannelCount; ++channel) {
            const bool on = std::find(std::begin(switchedOff), std::end(switchedOff), channel) == std::end(switchedOff);
            const int id = channel == 0 ? idCheckBox11 : idCheckBox1 + channel - 1;
            EXPECT_EQ(Checked(FindControl(window, id)), on) << channel;
            EXPECT_EQ(view.Area().ChannelOn[channel], on ? 1 : 0) << channel;
        }
        EXPECT_EQ(WindowText(FindControl(window, idNoOfEdit)), L"250");
        // The menu marks cannot be read from outside: closing again writes them back.
        DeleteFileW(copy.SettingsFile.c_str());
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(terminal.Finish(), 0u);
    }
    EXPECT_EQ(ReadFileBytes(copy.SettingsFile), expected);
}

TEST(SettingsEndToEnd, LineLimitHoldsUnderAFloodWithTrimmingInBatches)
{
    // The intake takes at most this many entries in one pass; a trim request waits behind
    // one more pass at most.
    constexpr int MaxPass = 256;
    constexpr int Limit = 100;
    constexpr int Overhead = 8;
    constexpr int Flood = 3000;
    TTerminalCopy copy(L"vt_settings_");
    ASSERT_TRUE(copy.Copied);
    const TAreaView view;
    TProcess terminal(copy.Exe, L"");
    ASSERT_TRUE(terminal.Started());
    const HWND window = view.WaitForTerminal();
    ASSERT_NE(window, nullptr);
    const HWND list = FindControl(window, idDbDisplay);
    ASSERT_TRUE(SetLimitFromOutside(FindControl(window, idNoOfEdit), L"100"));

    const auto count = [list] { return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); };
    int longest = 0;
    {
        TProcess sender(BinDirectory() + L"vtsend.exe", L"--count " + std::to_wstring(Flood));
        ASSERT_TRUE(sender.Started());
        PollUntil([&] {
            longest = std::max(longest, count());
            return !sender.Running();
        }, 4 * WaitLimitMs);
        EXPECT_EQ(sender.Finish(), 0u);
    }
    EXPECT_GT(longest, Limit / 2);
    EXPECT_LE(longest, Limit + Overhead + 2 * MaxPass);

    const std::wstring newest = L"-M- line " + std::to_wstring(Flood);
    EXPECT_TRUE(PollUntil([&] {
        const int lines = count();
        return lines > 0 && lines <= Limit + Overhead &&
               TerminalProcess::ListLines(list).back() == newest;
    }));
    const std::vector<std::wstring> lines = ListLines(list);
    ASSERT_GE(lines.size(), static_cast<std::size_t>(Limit));
    ASSERT_LE(lines.size(), static_cast<std::size_t>(Limit + Overhead));
    const int first = Flood - static_cast<int>(lines.size()) + 1;
    for (std::size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], L"-M- line " + std::to_wstring(first + static_cast<int>(i))) << i;

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(terminal.Finish(), 0u);
    EXPECT_EQ(TIniFile(copy.SettingsFile).Read(L"PREFERENCES", L"DISPLAYLINES", L""), L"100");
}

TEST(SettingsEndToEnd, UnwritableFileShowsTheErrorBoxOnceAndTheProgramEnds)
{
    TTerminalCopy copy(L"vt_settings_");
    ASSERT_TRUE(copy.Copied);
    const std::string previous = "[WINDOW]\r\nLEFT=120\r\n";
    WriteFileBytes(copy.SettingsFile, previous);
    const TAreaView view;
    TProcess terminal(copy.Exe, L"");
    ASSERT_TRUE(terminal.Started());
    const HWND window = view.WaitForTerminal();
    ASSERT_NE(window, nullptr);
    {
        const TUniqueFileHandle holder(CreateFileW(copy.SettingsFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        PostMessageW(window, WM_CLOSE, 0, 0);
        HWND box = nullptr;
        ASSERT_TRUE(PollUntil([&] { return (box = FindMessageBox(terminal.Id, L"Vellumtrace64")) != nullptr; }));
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, MessageBoxTextId, text, 1024);
        const std::wstring message(text);
        EXPECT_NE(message.find(copy.SettingsFile), std::wstring::npos) << testing::PrintToString(message);
        // The area was cleared before the file was written.
        EXPECT_EQ(view.Area().TerminalWnd, 0u);
        EXPECT_TRUE(terminal.Running());
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        // A second box would keep the program from ending.
        EXPECT_EQ(terminal.Finish(), 0u);
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(ReadFileBytes(copy.SettingsFile), previous);
}

} // namespace
