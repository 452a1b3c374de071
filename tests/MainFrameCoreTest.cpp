// The terminal core driven in-process through the real window, the real exchange area and
// the real mutex: entries are written into the area as a sender would and "DebugEntry" is
// sent to the window; the list box is read back.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "DebugMain.h"
#include "ErrorBox.h"
#include "ExchangeObjects.h"
#include "ShDat.h"
#include "ShmLock.h"
#include "TextCodec.h"
#include "VtSender.h"
#include "WinHandles.h"
#include "WindowPost.h"
#include "support/PumpUntil.h"
#include "support/SmallSection.h"

struct TMainFrameProbe {
    static bool& AutoScroll(TMainFrame& frame) { return frame.AutoScroll; }
    static std::int32_t& Order(TMainFrame& frame) { return frame.Order; }
    static ULONGLONG& PassTimeMs(TMainFrame& frame) { return frame.PassTimeMs; }
    static std::int32_t WinWidth(const TMainFrame& frame) { return frame.WinWidth; }
    static const std::string& MaxLine(const TMainFrame& frame) { return frame.MaxLine; }
    static std::int32_t Overhead(const TMainFrame& frame) { return frame.Overhead; }
    static HANDLE Mutex(const TMainFrame& frame) { return frame.HMutex.Get(); }
    static const std::wstring& IniFileName(const TMainFrame& frame) { return frame.IniFileName; }
    static HWND List(const TMainFrame& frame) { return frame.dbDisplay.Window(); }
};

namespace {

using Probe = TMainFrameProbe;

constexpr DWORD WaitLimitMs = 5000;
constexpr ULONGLONG UnboundedPassMs = 600000;
// 5 March 2024, 14:05:09.007: days since 30 December 1899, the fraction the time of day.
constexpr double WorkedExampleDay = 45356;
constexpr double WorkedExampleStamp = WorkedExampleDay + (14 * 3600 + 5 * 60 + 9.007) / 86400.0;

struct TRecordedBox {
    HWND Owner;
    std::wstring Text;
    std::wstring Caption;
    UINT Type;
};

// What the real list box receives from the terminal, seen through a subclass; it can also
// refuse appends, as a list out of memory does, and act at each change.
struct TListRecorder {
    std::vector<WPARAM> Redraw;   // WM_SETREDRAW arguments in order
    std::vector<int> ChangesAtRedraw; // Changes when each of them came
    std::vector<WPARAM> TopIndex; // LB_SETTOPINDEX arguments
    int Changes = 0;              // appends, deletions, clearing
    int RefuseAppends = 0;
    HANDLE ProbeMutex = nullptr;  // when set: checked from another thread at every change
    int ChangesUnderMutex = 0;
    std::function<void()> OnAppend;
};

testing::AssertionResult SameBytes(const std::vector<std::uint8_t>& expected, const std::vector<std::uint8_t>& actual)
{
    if (expected.size() != actual.size())
        return testing::AssertionFailure() << "sizes differ";
    testing::AssertionResult result = testing::AssertionSuccess();
    int shown = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == actual[i])
            continue;
        if (shown++ == 0)
            result = testing::AssertionFailure();
        if (shown <= 8)
            result << "offset " << i << ": expected " << int(expected[i]) << ", got " << int(actual[i]) << "; ";
    }
    return result;
}

// prefix followed by n in decimal.
std::string Numbered(const char* prefix, int n)
{
    std::string text(prefix);
    text += std::to_string(n);
    return text;
}

bool OtherThreadCanTake(HANDLE mutex)
{
    bool acquired = false;
    std::thread([&] { acquired = TShmLock(mutex, 0).Acquired(); }).join();
    return acquired;
}

LRESULT CALLBACK RecordList(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto& recorder = *reinterpret_cast<TListRecorder*>(data);
    switch (message) {
    case WM_SETREDRAW:
        recorder.Redraw.push_back(wParam);
        recorder.ChangesAtRedraw.push_back(recorder.Changes);
        break;
    case LB_SETTOPINDEX:
        recorder.TopIndex.push_back(wParam);
        break;
    case LB_ADDSTRING:
    case LB_DELETESTRING:
    case LB_RESETCONTENT:
        ++recorder.Changes;
        if (recorder.ProbeMutex != nullptr && !OtherThreadCanTake(recorder.ProbeMutex))
            ++recorder.ChangesUnderMutex;
        if (message == LB_ADDSTRING && recorder.RefuseAppends > 0) {
            --recorder.RefuseAppends;
            return LB_ERRSPACE;
        }
        if (message == LB_ADDSTRING && recorder.OnAppend) {
            const auto onAppend = recorder.OnAppend; // it may replace itself
            onAppend();
        }
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Pumps messages until done() holds; false when the limit ran out first.
bool PumpUntil(const std::function<bool()>& done) { return ::PumpUntil(Pump, done, WaitLimitMs); }

// The intake resumes the list's redraw once the entries have paused: waits for that.
bool AwaitRedrawResumed(const TListRecorder& list)
{
    return PumpUntil([&] { return !list.Redraw.empty() && list.Redraw.back() == TRUE; });
}

// Posted messages of one kind waiting in this thread's queue for `window`, taken out.
std::vector<MSG> TakePosted(HWND window, UINT message)
{
    std::vector<MSG> taken;
    MSG posted;
    while (PeekMessageW(&posted, window, message, message, PM_REMOVE))
        taken.push_back(posted);
    return taken;
}

// Runs the program's own message loop (shortcuts included) for `ms` milliseconds.
void RunProgramLoopFor(const TMainFrame& frame, UINT ms)
{
    const UINT_PTR timer = SetTimer(nullptr, 0, ms, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); });
    RunMessageLoop(frame);
    KillTimer(nullptr, timer);
}

// Ctrl+`key` as the keyboard sends it, to the foreground window.
bool PressControlKey(WORD key)
{
    INPUT inputs[4] = {};
    const WORD keys[4] = {VK_CONTROL, key, key, VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    return SendInput(4, inputs, sizeof(INPUT)) == 4;
}

std::wstring LocaleValue(LCTYPE type)
{
    wchar_t value[100] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, type, value, 100);
    return value;
}

void SetFormats(const wchar_t* shortDate, const wchar_t* longTime)
{
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, shortDate);
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, longTime);
}

std::wstring ExecutableDirectory()
{
    wchar_t path[MAX_PATH];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return file.substr(0, file.find_last_of(L"\\/") + 1);
}

class TerminalCore : public testing::Test {
protected:
    void SetUp() override
    {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        FSavedDate = LocaleValue(LOCALE_SSHORTDATE);
        FSavedTime = LocaleValue(LOCALE_STIMEFORMAT);
        SetFormats(L"dd.MM.yyyy", L"HH:mm:ss");
        SetMessageBoxHandler([this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
            Boxes.push_back({owner, text, caption, type});
            return IDOK;
        });
        DisplayLines = 0;
        ShmArea = nullptr;
        if (OpenAreaFirst()) {
            // The sender's side: a view of its own and a mutex handle of its own.
            FSender = std::make_unique<TSharedData>(nullptr);
            FSender->SetSectionName(Shm::SectionName);
            FSender->SetDataSize(Shm::AreaSize);
            FSender->Open();
            Mutex.Reset(CreateMutexW(nullptr, FALSE, Shm::MutexName));
        }
    }

    void TearDown() override
    {
        StopTerminal();
        Pump();
        FSender.reset();
        SetMessageBoxHandler({});
        SetWindowPoster({});
        SetFormats(FSavedDate.c_str(), FSavedTime.c_str());
    }

    virtual bool OpenAreaFirst() const { return true; }

    void StartTerminal()
    {
        Frame = std::make_unique<TMainFrame>();
        // One notification, one pass, however slow the machine: most tests count passes.
        Probe::PassTimeMs(*Frame) = UnboundedPassMs;
        Published = PublishMainFrame(*Frame);
        if (Probe::List(*Frame) != nullptr)
            SetWindowSubclass(Probe::List(*Frame), RecordList, 0, reinterpret_cast<DWORD_PTR>(&List));
    }

    void StopTerminal()
    {
        if (!Frame)
            return;
        RemoveWindowSubclass(Probe::List(*Frame), RecordList, 0);
        Frame.reset();
        ShmArea = nullptr;
    }

    TShmArea& Area() const { return *static_cast<TShmArea*>(FSender->Data()); }

    std::vector<std::uint8_t> AreaBytes() const
    {
        const auto* begin = static_cast<const std::uint8_t*>(FSender->Data());
        return std::vector<std::uint8_t>(begin, begin + Shm::AreaSize);
    }

    // Writes the next slot and raises the count, under the mutex, as a sender does.
    void Put(std::string_view text, std::uint8_t channel = 0, double time = WorkedExampleStamp)
    {
        const TShmLock lock(Mutex.Get(), WaitLimitMs);
        ASSERT_TRUE(lock.Acquired());
        TShmArea& area = Area();
        area.SlotChannel[WriteSlot] = channel;
        area.SlotTime[WriteSlot] = time;
        area.SlotText[WriteSlot][0] = static_cast<std::uint8_t>(text.size());
        std::memcpy(&area.SlotText[WriteSlot][1], text.data(), text.size());
        area.PendingCount = area.PendingCount + 1;
        WriteSlot = (WriteSlot + 1) % Shm::SlotCount;
    }

    // One notification, handled before this returns.
    void Notify() const { SendMessageW(Frame->Handle(), DebugEntryMsg, 0, 0); }

    std::vector<std::wstring> Lines() const
    {
        const HWND list = Probe::List(*Frame);
        std::vector<std::wstring> lines;
        const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
            std::wstring line(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            line.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
            lines.push_back(line);
        }
        return lines;
    }

    void SetOptions(bool channel, bool date, bool time) const
    {
        Frame->SetChecked(cmDisplayChannel, channel);
        Frame->SetChecked(cmDisplayDate, date);
        Frame->SetChecked(cmDisplayTime, time);
    }

    std::unique_ptr<TMainFrame> Frame;
    bool Published = false;
    TUniqueHandle Mutex;
    TListRecorder List;
    std::vector<TRecordedBox> Boxes;
    int WriteSlot = 0;

private:
    std::unique_ptr<TSharedData> FSender;
    std::wstring FSavedDate;
    std::wstring FSavedTime;
};

// Most tests start with the terminal running and published.
class TerminalRunning : public TerminalCore {
protected:
    void SetUp() override
    {
        TerminalCore::SetUp();
        StartTerminal();
        ASSERT_TRUE(Published);
        List = {};
    }

    // A stream of `total` entries "e0", "e1", ...: each append adds one more, so the count
    // never drops to 0 before the last entry. The first notification is handled on return.
    void StartStream(int total)
    {
        StreamTotal = total;
        List.OnAppend = [this] {
            if (StreamWritten < StreamTotal)
                Put(Numbered("e", StreamWritten++));
        };
        Put("e0");
        Put("e1");
        Notify();
    }

    void ExpectWholeStream() const
    {
        const auto lines = Lines();
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(StreamTotal));
        for (int i = 0; i < StreamTotal; ++i)
            EXPECT_EQ(lines[i], L"-M- e" + std::to_wstring(i));
    }

    int StreamTotal = 0;
    int StreamWritten = 2;
};

TEST_F(TerminalRunning, CreationOpensTheAreaAndPublishesTheWindow)
{
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(MainFrame, Frame.get());
    EXPECT_EQ(ShmArea, Frame->SharedMem->Data());
    EXPECT_EQ(Area().TerminalWnd, reinterpret_cast<std::uint64_t>(Frame->Handle()));
    EXPECT_NE(Probe::Mutex(*Frame), nullptr);
    EXPECT_EQ(Probe::Order(*Frame), 0);
    EXPECT_EQ(Probe::WinWidth(*Frame), 0);
    EXPECT_EQ(Probe::IniFileName(*Frame), ExecutableDirectory() + L"Vellumtrace64.INI");
    EXPECT_EQ(DisplayLines, 32000);
    EXPECT_EQ(Probe::Overhead(*Frame), 128);
    EXPECT_EQ(Area().ExtendedChannels, 1);
    for (int channel = 0; channel < Shm::ChannelCount; ++channel)
        EXPECT_EQ(Area().ChannelOn[channel], 1) << channel;

    wchar_t caption[64] = {};
    GetWindowTextW(Frame->Handle(), caption, 64);
    EXPECT_STREQ(caption, L"Vellumtrace64   V15.0");
    EXPECT_TRUE(IsWindowVisible(Frame->Handle()));
    RECT bounds{};
    GetWindowRect(Frame->Handle(), &bounds);
    EXPECT_EQ(bounds.left, 80);
    EXPECT_EQ(bounds.top, 80);
    EXPECT_EQ(bounds.right - bounds.left, 525);
    EXPECT_EQ(bounds.bottom - bounds.top, 480);
}

struct TWorkedExample {
    const wchar_t* ShortDate;
    const wchar_t* LongTime;
    bool Channel, Date, Time;
    std::uint8_t ChannelByte;
    const wchar_t* Expected;
};

TEST_F(TerminalRunning, WorkedExampleUnderTheUsersFormats)
{
    const TWorkedExample examples[] = {
        {L"dd.MM.yyyy", L"HH:mm:ss", true, true, true, 3, L"-3- 05.03.2024 14:05:09,007 Init done"},
        {L"dd.MM.yyyy", L"HH:mm:ss", true, false, true, 3, L"-3- 14:05:09,007 Init done"},
        {L"dd.MM.yyyy", L"HH:mm:ss", true, false, false, 0, L"-M- Init done"},
        {L"dd.MM.yyyy", L"HH:mm:ss", false, false, false, 3, L"Init done"},
        {L"M/d/yyyy", L"h:mm:ss tt", true, true, true, 3, L"-3- 3/5/2024 2:05:09 PM,007 Init done"},
        {L"M/d/yyyy", L"h:mm:ss tt", true, false, true, 9, L"-9- 2:05:09 PM,007 Init done"},
    };
    for (const TWorkedExample& example : examples) {
        SetFormats(example.ShortDate, example.LongTime);
        SetOptions(example.Channel, example.Date, example.Time);
        Put("Init done", example.ChannelByte);
        Notify();
        ASSERT_FALSE(Lines().empty());
        EXPECT_EQ(Lines().back(), example.Expected);
    }
    EXPECT_EQ(Lines().size(), std::size(examples));
}

TEST_F(TerminalRunning, NotificationWithoutPositiveCountChangesNothing)
{
    Put("kept in the list");
    Notify();
    for (const std::int32_t count : {0, -3}) {
        Area().PendingCount = count;
        Area().SlotText[WriteSlot][0] = 5;
        const auto before = AreaBytes();
        List = {};
        Notify();
        EXPECT_TRUE(SameBytes(before, AreaBytes())) << count;
        EXPECT_TRUE(List.Redraw.empty()) << count;
        EXPECT_TRUE(List.TopIndex.empty()) << count;
        EXPECT_EQ(List.Changes, 0) << count;
        EXPECT_EQ(Lines().size(), 1u) << count;
    }
}

// Senders waiting for room in a full ring wait on the room event: a pass that took entries
// sets it, one that found nothing leaves it alone.
TEST_F(TerminalRunning, APassThatTookEntriesSetsTheRoomEvent)
{
    const TUniqueHandle room = Exchange::OpenRoomEvent(false);
    ASSERT_TRUE(room) << "the terminal did not make the room event";
    ResetEvent(room.Get());
    Notify();
    EXPECT_EQ(WaitForSingleObject(room.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    Put("room");
    Notify();
    EXPECT_EQ(WaitForSingleObject(room.Get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST_F(TerminalRunning, TakesEntriesInRingOrderAcrossTheWrapInOnePass)
{
    List.ProbeMutex = Mutex.Get();
    Probe::Order(*Frame) = 62;
    WriteSlot = 62;
    for (const char* text : {"a", "b", "c"})
        Put(text);
    Notify();
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-M- a", L"-M- b", L"-M- c"}));
    EXPECT_EQ(Probe::Order(*Frame), 1);
    EXPECT_EQ(Area().PendingCount, 0);
    for (const int slot : {62, 63, 0})
        EXPECT_EQ(Area().SlotText[slot][0], 0) << slot;

    // A full ring, one notification: one redraw suspension, every entry in order.
    std::vector<std::wstring> expected = Lines();
    for (int i = 0; i < Shm::SlotCount; ++i) {
        const std::string text = Numbered("n", i);
        Put(text);
        expected.push_back(L"-M- " + AnsiToWide(text));
    }
    ASSERT_TRUE(AwaitRedrawResumed(List));
    List.Redraw.clear();
    Notify();
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(Probe::Order(*Frame), 1);
    EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_TRUE(AwaitRedrawResumed(List));
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE, TRUE}));
    EXPECT_EQ(List.ChangesUnderMutex, 0);
    EXPECT_EQ(List.Changes, 67);
}

TEST_F(TerminalRunning, EntryAddedDuringThePassIsTakenInTheSamePass)
{
    // Added between the terminal's locks for the first and the second entry.
    List.OnAppend = [this] {
        List.OnAppend = nullptr;
        Put("late");
    };
    Put("early 1");
    Put("early 2");
    Notify();
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-M- early 1", L"-M- early 2", L"-M- late"}));
    EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_TRUE(AwaitRedrawResumed(List));
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE, TRUE}));

    // The sender's own notification for it then finds nothing to do.
    List = {};
    Notify();
    EXPECT_TRUE(List.Redraw.empty());
    EXPECT_EQ(Lines().size(), 3u);
}

TEST_F(TerminalRunning, PassesOfATrickleShareOneSuspensionThatEndsWhenTheEntriesPause)
{
    // Passes that end with the ring empty, one after another, as a sender writing a line at
    // a time causes them: the list is not resumed (and does not draw its scroll bar) each time.
    for (int i = 0; i < 5; ++i) {
        Put(Numbered("t", i));
        Notify();
    }
    EXPECT_EQ(Lines().size(), 5u);
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE}));

    // The pause ends it, without a message from anybody.
    EXPECT_TRUE(AwaitRedrawResumed(List));
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE, TRUE}));

    // Nothing further is resumed later, and the next pass holds a suspension of its own.
    Sleep(50);
    Pump();
    EXPECT_EQ(List.Redraw.size(), 2u);
    Put("later");
    Notify();
    EXPECT_TRUE(AwaitRedrawResumed(List));
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE, TRUE, FALSE, TRUE}));
}

TEST_F(TerminalRunning, ACommandEndsTheSuspensionBeforeItChangesTheList)
{
    Put("one");
    Put("two");
    Notify();
    ASSERT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE}));

    // Ctrl+D from the keyboard while the pause has not ended the suspension yet: the list is
    // drawn again before it is cleared, so the empty list shows at once.
    ASSERT_TRUE(SetForegroundWindow(Frame->Handle()));
    SetFocus(Probe::List(*Frame));
    ASSERT_TRUE(PressControlKey('D'));
    RunProgramLoopFor(*Frame, 200);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE, TRUE}));
    EXPECT_EQ(List.ChangesAtRedraw, (std::vector<int>{0, 2}));
}

TEST_F(TerminalRunning, LongStreamIsSplitIntoPassesThatLetTheQueueInAndShareTheRedrawSuspension)
{
    constexpr int total = 300;
    StartStream(total);
    const std::size_t firstPass = Lines().size();
    EXPECT_LT(firstPass, static_cast<std::size_t>(total));
    MSG queued;
    EXPECT_TRUE(PeekMessageW(&queued, Frame->Handle(), DebugEntryMsg, DebugEntryMsg, PM_NOREMOVE));

    ASSERT_TRUE(PumpUntil([&] { return Area().PendingCount == 0; }));
    EXPECT_TRUE(AwaitRedrawResumed(List));
    ExpectWholeStream();
    // The passes share one redraw suspension, unless the steady repaint fell between them.
    const std::vector<WPARAM> shared{FALSE, TRUE};
    const std::vector<WPARAM> split{FALSE, TRUE, FALSE, TRUE};
    EXPECT_TRUE(List.Redraw == shared || List.Redraw == split) << testing::PrintToString(List.Redraw);
}

TEST_F(TerminalRunning, QueuedNotificationsDoNotSurviveAPass)
{
    // A sender that notifies once per entry, faster than the passes run.
    for (int i = 0; i < 40; ++i) {
        Put(Numbered("q", i));
        PostMessageW(Frame->Handle(), DebugEntryMsg, 0, 0);
    }
    Notify();
    EXPECT_EQ(Lines().size(), 40u);
    EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_TRUE(TakePosted(Frame->Handle(), DebugEntryMsg).empty());
    EXPECT_TRUE(AwaitRedrawResumed(List));
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE, TRUE}));

    // Entries written after the pass bring their own notification, which still works.
    Put("after");
    PostMessageW(Frame->Handle(), DebugEntryMsg, 0, 0);
    Pump();
    EXPECT_EQ(Lines().back(), L"-M- after");
}

TEST_F(TerminalRunning, PassCutShortContinuesByItselfAndLetsAKeyPressGoFirst)
{
    Probe::PassTimeMs(*Frame) = 0; // one entry a pass
    for (const char* text : {"a", "b", "c", "d", "e"})
        Put(text);
    Notify();
    ASSERT_EQ(Lines(), std::vector<std::wstring>{L"-M- a"});

    // Ctrl+D ("Delete all lines") from the keyboard, while the pass's continuation waits.
    ASSERT_TRUE(SetForegroundWindow(Frame->Handle()));
    SetFocus(Probe::List(*Frame));
    ASSERT_TRUE(PressControlKey('D'));
    RunProgramLoopFor(*Frame, 500);

    // The key was handled after the first entry and before all the others.
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-M- b", L"-M- c", L"-M- d", L"-M- e"}));
    EXPECT_EQ(Area().PendingCount, 0);
}

TEST_F(TerminalRunning, FormFeedClearsTheListAndKeepsTheWidestLine)
{
    Put("a wide line of text");
    Put("x");
    Notify();
    const std::int32_t width = Probe::WinWidth(*Frame);
    const std::string widest = Probe::MaxLine(*Frame);
    ASSERT_GT(width, 0);
    TakePosted(Probe::List(*Frame), LB_SETHORIZONTALEXTENT);

    Put("\f");
    Notify();
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_EQ(Area().SlotText[2][0], 0);
    EXPECT_EQ(Probe::WinWidth(*Frame), width);
    EXPECT_EQ(Probe::MaxLine(*Frame), widest);
    EXPECT_TRUE(TakePosted(Probe::List(*Frame), LB_SETHORIZONTALEXTENT).empty());

    Put("\fx");
    Put("\f\f");
    Notify();
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-M- \fx", L"-M- \f\f"}));
}

TEST_F(TerminalRunning, EmptyTextIsAnEmptyLineWhateverTheOptions)
{
    SetOptions(true, true, true);
    Put("");
    Put("", 5);
    Notify();
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"", L""}));
}

TEST_F(TerminalRunning, ComputeOverheadFollowsDisplayLines)
{
    const std::pair<std::int32_t, std::int32_t> table[] = {
        {-5, 8}, {0, 8}, {100, 8}, {101, 16}, {500, 16}, {501, 32}, {1000, 32}, {1001, 64}, {10000, 64}, {10001, 128}, {32000, 128},
    };
    for (const auto& [lines, overhead] : table) {
        DisplayLines = lines;
        Frame->ComputeOverhead();
        EXPECT_EQ(Probe::Overhead(*Frame), overhead) << lines;
    }
}

TEST_F(TerminalRunning, TrimIsRequestedOnceAtExactlyLimitPlusOverhead)
{
    DisplayLines = 4;
    Frame->ComputeOverhead();
    ASSERT_EQ(Probe::Overhead(*Frame), 8);
    // Entries per pass, and the requests expected: the list holds 12 lines only before the 13th.
    const std::pair<int, std::size_t> passes[] = {{11, 0}, {1, 0}, {1, 1}, {5, 0}};
    int sent = 0;
    for (const auto& [entries, requests] : passes) {
        for (int i = 0; i < entries; ++i)
            Put(Numbered("line ", sent++));
        Notify();
        EXPECT_EQ(TakePosted(Frame->Handle(), WM_DELETEOVERHEAD).size(), requests) << sent;
    }
    EXPECT_EQ(Lines().size(), 18u);

    // A pass that crosses the threshold on its way requests it once too.
    Put("\f");
    for (int i = 0; i < 20; ++i)
        Put(Numbered("again ", i));
    Notify();
    EXPECT_EQ(TakePosted(Frame->Handle(), WM_DELETEOVERHEAD).size(), 1u);
}

// A queue that takes no more posts (Windows allows 10 000 per thread): the trim is requested
// again with the next line until a request gets through, and the list comes back to the limit.
TEST_F(TerminalRunning, TrimIsRequestedAgainWhileItsRequestCannotBePosted)
{
    DisplayLines = 4;
    Frame->ComputeOverhead();
    int attempts = 0;
    SetWindowPoster([&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DELETEOVERHEAD && ++attempts <= 3)
            return false;
        return PostMessageW(window, message, wParam, lParam) != FALSE;
    });
    for (int i = 0; i < 20; ++i)
        Put(Numbered("line ", i));
    Notify();
    EXPECT_EQ(attempts, 4); // from the 13th line on, until one got through
    Pump();
    SetWindowPoster({});
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-M- line 16", L"-M- line 17", L"-M- line 18", L"-M- line 19"}));
}

// A pass cut short whose continuation cannot be posted goes on through its timer.
TEST_F(TerminalRunning, APassWhoseContinuationCannotBePostedGoesOnByItsTimer)
{
    constexpr int total = 300;
    int refused = 0;
    SetWindowPoster([&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (window == Frame->Handle() && message == DebugEntryMsg) {
            ++refused;
            return false;
        }
        return PostMessageW(window, message, wParam, lParam) != FALSE;
    });
    StartStream(total);
    EXPECT_LT(Lines().size(), static_cast<std::size_t>(total));
    EXPECT_TRUE(PumpUntil([&] { return Area().PendingCount == 0 && Lines().size() == static_cast<std::size_t>(total); }));
    SetWindowPoster({});
    EXPECT_GE(refused, 1);
    ExpectWholeStream();
}

TEST_F(TerminalRunning, HorizontalExtentIsPostedOnlyForANewWidestLine)
{
    const HWND list = Probe::List(*Frame);
    // Courier New is fixed-pitch: equal lengths are equal widths.
    for (const char* text : {"aaaa", "aa", "aaaaaaaa", "bbbbbbbb", "a"})
        Put(text);
    Notify();
    const auto posted = TakePosted(list, LB_SETHORIZONTALEXTENT);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].wParam, static_cast<WPARAM>(Frame->TextWidth("-M- aaaa") + 8));
    EXPECT_EQ(posted[1].wParam, static_cast<WPARAM>(Frame->TextWidth("-M- aaaaaaaa") + 8));
    EXPECT_GT(posted[1].wParam, posted[0].wParam);
    EXPECT_EQ(Probe::WinWidth(*Frame), static_cast<std::int32_t>(posted[1].wParam));
    EXPECT_EQ(Probe::MaxLine(*Frame), "-M- aaaaaaaa");

    for (const MSG& message : posted)
        DispatchMessageW(&message);
    EXPECT_EQ(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), static_cast<LRESULT>(posted[1].wParam));
}

TEST_F(TerminalRunning, StampsThatAreNoDateLeaveNothingHeld)
{
    SetOptions(true, true, true);
    const double stamps[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 1e300, -1e300};
    for (std::size_t i = 0; i < std::size(stamps); ++i)
        Put(Numbered("bad", static_cast<int>(i)), 4, stamps[i]);
    Put("good", 4);
    Notify();

    const auto lines = Lines();
    ASSERT_EQ(lines.size(), std::size(stamps) + 1);
    for (std::size_t i = 0; i < std::size(stamps); ++i) {
        EXPECT_EQ(lines[i].substr(0, 4), L"-4- ") << i;
        EXPECT_TRUE(lines[i].ends_with(L" bad" + std::to_wstring(i))) << i;
    }
    EXPECT_EQ(lines.back(), L"-4- 05.03.2024 14:05:09,007 good");
    EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_TRUE(OtherThreadCanTake(Mutex.Get()));
    EXPECT_TRUE(AwaitRedrawResumed(List));
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE, TRUE}));
    EXPECT_TRUE(Boxes.empty());
}

struct TScrollCase {
    bool AutoScroll;
    std::vector<std::string> Texts;
    std::vector<WPARAM> TopIndex;
};

TEST_F(TerminalRunning, AutoScrollShowsTheLastLineOnceTwoLinesExist)
{
    const TScrollCase cases[] = {
        {true, {"x", "\f"}, {}},      // no line left
        {true, {"x"}, {}},            // one line
        {true, {"y"}, {1}},           // two lines
        {true, {"z", "w"}, {3}},
        {false, {"v", "u"}, {}},
    };
    for (const TScrollCase& scroll : cases) {
        Probe::AutoScroll(*Frame) = scroll.AutoScroll;
        for (const std::string& text : scroll.Texts)
            Put(text);
        List = {};
        Notify();
        EXPECT_EQ(List.TopIndex, scroll.TopIndex) << Lines().size();
    }
}

TEST_F(TerminalRunning, ListRefusingALineLosesTheTwoOldestOnce)
{
    for (const char* text : {"one", "two", "three"})
        Put(text);
    Notify();

    List.RefuseAppends = 1;
    Put("four");
    Notify();
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-M- three", L"-M- four"}));
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(TerminalRunning, FailureInAHandlerIsShownInTheErrorBoxAndTheWindowGoesOn)
{
    Put("one");
    Notify();
    ASSERT_TRUE(AwaitRedrawResumed(List));
    List = {};
    List.ProbeMutex = Mutex.Get();
    List.RefuseAppends = 2;
    Put("refused");
    Put("after");
    Notify();

    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Owner, Frame->Handle());
    EXPECT_EQ(Boxes[0].Caption, L"Vellumtrace64");
    EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_FALSE(Boxes[0].Text.empty());
    EXPECT_EQ(List.Redraw, (std::vector<WPARAM>{FALSE, TRUE}));
    EXPECT_EQ(List.ChangesUnderMutex, 0);
    EXPECT_TRUE(OtherThreadCanTake(Mutex.Get()));

    // The next notification takes what was left.
    Notify();
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-M- after"}));
    EXPECT_EQ(Area().PendingCount, 0);
    EXPECT_EQ(Boxes.size(), 1u);
}

TEST_F(TerminalRunning, BusyMutexPostponesTheEntriesWithoutANewNotification)
{
    // Where the peer takes the mutex: before the pass reads the count, or while the lines of
    // the pass's first run of entries go to the list.
    for (const bool midPass : {false, true}) {
        TUniqueHandle held(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        std::thread peer;
        const auto holdMutex = [&] {
            peer = std::thread([&] {
                const TShmLock lock(Mutex.Get(), WaitLimitMs);
                SetEvent(held.Get());
                Sleep(1000);
            });
            WaitForSingleObject(held.Get(), WaitLimitMs);
        };
        constexpr auto run = static_cast<std::size_t>(HandOverRun);
        constexpr std::size_t entries = run + 1;
        for (std::size_t i = 0; i < entries; ++i)
            Put(Numbered("b", static_cast<int>(i)));
        const std::size_t before = Lines().size();
        if (midPass)
            List.OnAppend = [&] {
                List.OnAppend = nullptr;
                holdMutex();
            };
        else
            holdMutex();
        Notify();
        EXPECT_EQ(Lines().size(), before + (midPass ? run : 0)) << midPass;

        EXPECT_TRUE(PumpUntil([&] { return Lines().size() == before + entries; })) << midPass;
        peer.join();
        EXPECT_EQ(Area().PendingCount, 0) << midPass;
        EXPECT_EQ(Lines().back(), L"-M- " + AnsiToWide(Numbered("b", static_cast<int>(run)))) << midPass;
    }
}

TEST_F(TerminalRunning, EntriesFromTheSenderRoutineArrive)
{
    VtSender* sender = VtOpen();
    ASSERT_NE(sender, nullptr);
    EXPECT_EQ(VtSend(sender, 5, "through the sender"), VT_OK);
    VtClose(sender);
    EXPECT_TRUE(PumpUntil([&] { return Lines().size() == 1; }));
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-5- through the sender"}));
}

TEST_F(TerminalRunning, ExitAndTitleBarEndTheLoopAndLeaveTheWindowToTheEnd)
{
    const std::function<void()> closers[] = {
        [this] { Frame->ExitClick(); },
        [this] { SendMessageW(Frame->Handle(), WM_CLOSE, 0, 0); },
        [this] { SendMessageW(Frame->Handle(), WM_COMMAND, MAKEWPARAM(cmExit1, 0), 0); },
    };
    for (const auto& close : closers) {
        close();
        MSG quit;
        EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_TRUE(IsWindow(Frame->Handle()));
        EXPECT_EQ(Area().TerminalWnd, reinterpret_cast<std::uint64_t>(Frame->Handle()));
    }
    const HWND window = Frame->Handle();
    StopTerminal();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Area().TerminalWnd, 0u);
    EXPECT_EQ(MainFrame, nullptr);
}

// A close posted while a sender keeps notifying: the pass that clears the queued notifications
// must not swallow the quit that the close left (a look for other messages is handed WM_QUIT
// too), or the program would never end.
TEST_F(TerminalRunning, ACloseWhileNotificationsArriveEndsTheProgramLoop)
{
    static constexpr int closedCode = 0;
    static constexpr int stuckCode = 77;
    constexpr DWORD notifyingMs = 1500;
    const HWND window = Frame->Handle();
    std::atomic<bool> stop{false};
    std::thread notifier([&] {
        const ULONGLONG end = GetTickCount64() + notifyingMs;
        while (!stop && GetTickCount64() < end) {
            PostMessageW(window, DebugEntryMsg, 0, 0);
            Sleep(0);
        }
    });
    Sleep(50);
    EXPECT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));

    const UINT_PTR guard = SetTimer(nullptr, 0, 2 * notifyingMs, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(stuckCode); });
    const int code = RunMessageLoop(*Frame);
    stop = true;
    notifier.join();
    KillTimer(nullptr, guard);
    EXPECT_EQ(code, closedCode);
    Pump(); // what the notifier posted after the loop ended
}

TEST_F(TerminalRunning, ShutdownClearsOnlyTheTerminalStateOfTheArea)
{
    Put("pending one", 7, 1234.5);
    Put("pending two", 8, 2345.25);
    Area().WriteIndex = 2;
    for (std::size_t i = 0; i < sizeof Area().Reserved1; ++i)
        Area().Reserved1[i] = static_cast<std::uint8_t>(0xA0 + i);
    for (std::size_t i = 0; i < sizeof Area().Reserved2; ++i)
        Area().Reserved2[i] = static_cast<std::uint8_t>(0xB0 + i);
    auto expected = AreaBytes();

    StopTerminal();

    TShmArea& image = *reinterpret_cast<TShmArea*>(expected.data());
    image.PendingCount = 0;
    image.TerminalWnd = 0;
    image.WriteIndex = 0;
    for (auto& text : image.SlotText)
        text[0] = 0;
    std::memset(image.ChannelOn, 0, sizeof image.ChannelOn);
    EXPECT_TRUE(SameBytes(expected, AreaBytes()));
    EXPECT_EQ(Area().ExtendedChannels, 1);
    EXPECT_EQ(Area().SlotChannel[1], 8);
    EXPECT_EQ(Area().SlotText[1][1], 'p');
    EXPECT_TRUE(OtherThreadCanTake(Mutex.Get()));
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(TerminalRunning, ShutdownWithTheMutexHeldElsewhereStillWithdrawsTheWindow)
{
    Put("pending");
    TUniqueHandle held(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    TUniqueHandle release(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::thread peer([&] {
        const TShmLock lock(Mutex.Get(), WaitLimitMs);
        SetEvent(held.Get());
        WaitForSingleObject(release.Get(), WaitLimitMs);
    });
    WaitForSingleObject(held.Get(), WaitLimitMs);
    StopTerminal();
    SetEvent(release.Get());
    peer.join();

    EXPECT_EQ(Area().TerminalWnd, 0u);
    EXPECT_EQ(Area().PendingCount, 1); // nothing else is touched without the mutex
    EXPECT_EQ(Area().ChannelOn[0], 1);
}

TEST_F(TerminalCore, EntriesLeftBeforeStartAreTakenWithoutANotification)
{
    for (const char* text : {"left 0", "left 1", "left 2"})
        Put(text);
    StartTerminal();
    ASSERT_TRUE(Published);
    EXPECT_TRUE(PumpUntil([&] { return Lines().size() == 3; }));
    EXPECT_EQ(Lines(), (std::vector<std::wstring>{L"-M- left 0", L"-M- left 1", L"-M- left 2"}));
    EXPECT_EQ(Area().PendingCount, 0);
}

// A section of the right name that is too small for the area: the open fails.
class TerminalWithoutArea : public TerminalCore {
protected:
    bool OpenAreaFirst() const override { return false; }
};

TEST_F(TerminalWithoutArea, FailedOpenIsShownAndTheAreaIsNeverTouched)
{
    const TSmallSection section(4096);
    ASSERT_TRUE(section.Made());
    const std::wstring expected = TSmallSection::OpenFailureMessage();
    ASSERT_FALSE(expected.empty());

    StartTerminal();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, expected);
    EXPECT_EQ(Boxes[0].Caption, L"Vellumtrace64");
    EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_TRUE(IsWindow(Frame->Handle()));
    EXPECT_FALSE(Published);
    EXPECT_EQ(ShmArea, nullptr);
    EXPECT_EQ(Probe::Mutex(*Frame), nullptr); // the rest of FormCreate was skipped
    EXPECT_EQ(DisplayLines, 0);

    Notify();
    PostMessageW(Frame->Handle(), DebugEntryMsg, 0, 0);
    Pump();
    StopTerminal();
    EXPECT_TRUE(section.Untouched());
    EXPECT_EQ(Boxes.size(), 1u);
}

} // namespace
