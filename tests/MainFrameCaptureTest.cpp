// Capture of OutputDebugString through the real window: the Capture menu, writer processes
// calling OutputDebugStringA/W, another reader, the hand-over in bounded batches, and the
// terminal as a program closing while writers write.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AdministratorRights.h"
#include "WindowPost.h"
#include "support/DebugOutputPeers.h"
#include "support/MainFrameFixture.h"
#include "support/TerminalProcess.h"
#include "support/TestFiles.h"

namespace {

using namespace MainFrameFixture;
using namespace DebugOutputPeers;
using TerminalProcess::PollUntil;
using TerminalProcess::TProcess;

constexpr int CaptureMenuPosition = 5;
constexpr wchar_t InUseCaption[] = L"Capture OutputDebugString (another program reads it)";

std::wstring MenuText(HMENU menu, UINT item, UINT by)
{
    wchar_t text[128] = {};
    GetMenuStringW(menu, item, text, 128, by);
    return text;
}

// The process's id and its executable's name, as captured lines begin.
std::wstring Pid(const TProcess& process)
{
    return L"[" + std::to_wstring(process.Id) + L" vt_dbwin_peer.exe] ";
}

// No administrator rights while it lives, as a normal start on Windows has none.
class TWithoutAdministratorRights {
public:
    TWithoutAdministratorRights() { SetAdministratorRightsCheck([] { return false; }); }
    ~TWithoutAdministratorRights() { SetAdministratorRightsCheck({}); }
    TWithoutAdministratorRights(const TWithoutAdministratorRights&) = delete;
    TWithoutAdministratorRights& operator=(const TWithoutAdministratorRights&) = delete;
};

// True when no global reader's objects exist.
bool GlobalObjectsGone()
{
    const TUniqueHandle buffer(OpenFileMappingW(FILE_MAP_READ, FALSE, L"Global\\DBWIN_BUFFER"));
    return !buffer;
}

class CaptureWindow : public TMainFrameTest {
protected:
    void TearDown() override
    {
        TMainFrameTest::TearDown();
        EXPECT_TRUE(PollUntil(BufferObjectsGone)) << "the closed window left the buffer taken";
    }

    HMENU CaptureMenu() const { return GetSubMenu(GetMenu(Window()), CaptureMenuPosition); }
    std::wstring OdsCaption() const { return MenuText(GetMenu(Window()), cmCaptureOds, MF_BYCOMMAND); }

    // Runs the window's messages for a while, so that what was captured has been handed over.
    static void PumpFor(DWORD milliseconds)
    {
        PollUntil([] {
            Pump();
            return false;
        }, milliseconds);
    }

    // Runs the window's messages until the list holds `count` lines (or the time is up).
    bool PumpUntilLines(std::size_t count)
    {
        return PollUntil([&] {
            Pump();
            return Lines().size() >= count;
        });
    }

    // The lines of one process, as the list shows them.
    std::vector<std::wstring> LinesOf(const TProcess& process) const
    {
        std::vector<std::wstring> lines;
        for (const std::wstring& line : Lines())
            if (line.find(Pid(process)) != std::wstring::npos)
                lines.push_back(line);
        return lines;
    }

    static std::vector<std::wstring> Numbered(const std::wstring& head, int first, int last)
    {
        std::vector<std::wstring> lines;
        for (int n = first; n <= last; ++n)
            lines.push_back(head + std::to_wstring(n));
        return lines;
    }
};

TEST_F(CaptureWindow, TheCaptureMenuFollowsTheDesignsMenusAndIsOffAtStart)
{
    const HMENU bar = GetMenu(Window());
    ASSERT_EQ(GetMenuItemCount(bar), CaptureMenuPosition + 1);
    EXPECT_EQ(MenuText(bar, CaptureMenuPosition, MF_BYPOSITION), L"Capture");
    EXPECT_EQ(MenuText(CaptureMenu(), 0, MF_BYPOSITION), L"Capture OutputDebugString");
    EXPECT_EQ(GetMenuItemID(CaptureMenu(), 0), static_cast<UINT>(cmCaptureOds));
    EXPECT_FALSE(Frame->Checked(cmCaptureOds));
    EXPECT_EQ(MenuText(CaptureMenu(), 1, MF_BYPOSITION), L"Channel of captured lines");
    const HMENU channels = GetSubMenu(CaptureMenu(), 1);
    ASSERT_EQ(GetMenuItemCount(channels), 10);
    const wchar_t* captions[] = {L"M", L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9"};
    for (int channel = 0; channel < 10; ++channel) {
        EXPECT_EQ(MenuText(channels, channel, MF_BYPOSITION), captions[channel]);
        EXPECT_EQ(GetMenuItemID(channels, channel), static_cast<UINT>(cmCaptureChannel0 + channel));
        EXPECT_EQ(Frame->Checked(static_cast<TCommand>(cmCaptureChannel0 + channel)), channel == 0);
    }
    // The services' capture comes after the existing items (the order of all is the menu
    // bar's test), off as well.
    EXPECT_EQ(MenuText(CaptureMenu(), cmCaptureGlobal, MF_BYCOMMAND), L"Capture global OutputDebugString");
    EXPECT_FALSE(Frame->Checked(cmCaptureGlobal));
    // Nobody reads: the writer's call returns at once and the list stays empty.
    EXPECT_TRUE(BufferObjectsGone());
    EXPECT_TRUE(GlobalObjectsGone());
    const auto writer = WriteText(false, L"unseen");
    EXPECT_EQ(writer->Finish(), 0u);
    Pump();
    EXPECT_TRUE(Lines().empty());
}

TEST_F(CaptureWindow, MessagesBecomeLinesWithTheChannelPrefixAndTheProcessIdInOrder)
{
    Command(cmCaptureOds);
    ASSERT_TRUE(Frame->Checked(cmCaptureOds));
    const auto narrow = WriteCount(false, 2000, L"narrow");
    const auto wide = WriteText(true, L"wide \\xFC");
    EXPECT_EQ(narrow->Finish(), 0u);
    EXPECT_EQ(wide->Finish(), 0u);
    ASSERT_TRUE(PumpUntilLines(2001));
    // Without a settings file only the channel prefix is on.
    EXPECT_EQ(LinesOf(*narrow), Numbered(L"-M- " + Pid(*narrow) + L"narrow ", 1, 2000));
    EXPECT_EQ(LinesOf(*wide), std::vector<std::wstring>{L"-M- " + Pid(*wide) + L"wide \u00FC"});
    EXPECT_TRUE(Boxes.empty());
}

// A wake-up that cannot be posted (a full queue) does not strand what was captured: the
// capture's watch timer finds it.
TEST_F(CaptureWindow, CapturedLinesArriveWhenTheirWakeUpCannotBePosted)
{
    std::atomic<int> refused{0};
    SetWindowPoster([&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CAPTUREDATA) {
            ++refused;
            return false;
        }
        return PostMessageW(window, message, wParam, lParam) != FALSE;
    });
    Command(cmCaptureOds);
    const auto writer = WriteCount(false, 50, L"unwoken");
    EXPECT_EQ(writer->Finish(), 0u);
    const bool arrived = PumpUntilLines(50);
    Command(cmCaptureOds);
    SetWindowPoster({});
    EXPECT_TRUE(arrived);
    EXPECT_GE(refused.load(), 1);
    EXPECT_EQ(LinesOf(*writer), Numbered(L"-M- " + Pid(*writer) + L"unwoken ", 1, 50));
}

TEST_F(CaptureWindow, TheTimePrefixIsTheMomentOfCapture)
{
    Command(cmCaptureOds);
    Command(cmDisplayTime);
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const auto writer = WriteText(false, L"when");
    ASSERT_EQ(writer->Finish(), 0u);
    ASSERT_TRUE(PumpUntilLines(1));
    SYSTEMTIME after{};
    GetLocalTime(&after);
    const std::vector<std::wstring> lines = LinesOf(*writer);
    ASSERT_EQ(lines.size(), 1u);
    // "-M- <long time>,mmm [pid] when": the time as the user's format gives it.
    const auto timeText = [](const SYSTEMTIME& time) {
        wchar_t text[64] = {};
        GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, nullptr, text, 64);
        return std::wstring(text);
    };
    const std::wstring& line = lines[0];
    ASSERT_EQ(line.rfind(L"-M- ", 0), 0u) << testing::PrintToString(line);
    const std::size_t comma = line.find(L',');
    ASSERT_NE(comma, std::wstring::npos);
    const std::wstring clock = line.substr(4, comma - 4);
    EXPECT_TRUE(clock == timeText(before) || clock == timeText(after)) << testing::PrintToString(line);
    EXPECT_EQ(line.substr(comma + 4), L" " + Pid(*writer) + L"when");
}

struct TBreakCase {
    const wchar_t* Text; // with the writer's escapes
    std::vector<std::wstring> Parts;
};

TEST_F(CaptureWindow, LineBreaksMakeSeveralLinesAndOneTrailingBreakIsDropped)
{
    Command(cmCaptureOds);
    const TBreakCase cases[] = {
        {L"one\\r\\ntwo\\nthree\\rfour\\r\\n", {L"one", L"two", L"three", L"four"}},
        {L"trailing LF\\n", {L"trailing LF"}},
        {L"two LFs\\n\\n", {L"two LFs", L""}},
        {L"\\r\\n", {L""}},
        {L"", {L""}},
        {L"\\n\\nmiddle", {L"", L"", L"middle"}},
    };
    for (const TBreakCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.Text)));
        Command(cmDeletealllines1);
        const auto writer = WriteText(false, c.Text);
        ASSERT_EQ(writer->Finish(), 0u);
        ASSERT_TRUE(PumpUntilLines(c.Parts.size()));
        std::vector<std::wstring> expected;
        for (const std::wstring& part : c.Parts)
            expected.push_back(L"-M- " + Pid(*writer) + part);
        EXPECT_EQ(LinesOf(*writer), expected);
    }
}

TEST_F(CaptureWindow, TheChosenChannelIsThePrefixAndItsSwitchApplies)
{
    Command(cmCaptureOds);
    Command(static_cast<TCommand>(cmCaptureChannel0 + 3));
    EXPECT_TRUE(Frame->Checked(static_cast<TCommand>(cmCaptureChannel0 + 3)));
    EXPECT_FALSE(Frame->Checked(cmCaptureChannel0));
    const auto shown = WriteText(false, L"on three");
    ASSERT_EQ(shown->Finish(), 0u);
    ASSERT_TRUE(PumpUntilLines(1));
    EXPECT_EQ(LinesOf(*shown), std::vector<std::wstring>{L"-3- " + Pid(*shown) + L"on three"});

    // Channel 3 switched off: the message is taken from the buffer, not shown.
    Frame->SetChannelBox(3, false);
    const auto start = std::chrono::steady_clock::now();
    const auto hidden = WriteCount(false, 50, L"hidden");
    EXPECT_EQ(hidden->Finish(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)); // nobody waited 10 s
    PumpFor(300);
    Frame->SetChannelBox(3, true);
    const auto last = WriteText(false, L"visible again");
    ASSERT_EQ(last->Finish(), 0u);
    ASSERT_TRUE(PumpUntilLines(2));
    EXPECT_TRUE(LinesOf(*hidden).empty());
    EXPECT_EQ(LinesOf(*last), std::vector<std::wstring>{L"-3- " + Pid(*last) + L"visible again"});
}

// The capture's thread wakes the window once for everything queued; the window takes a
// bounded batch and goes on through its timer, behind input and painting.
TEST_F(CaptureWindow, AFloodIsHandedOverInBoundedBatchesAfterOneWakeUp)
{
    Command(cmCaptureOds);
    const auto writer = WriteCount(false, 3000, L"batch");
    ASSERT_EQ(writer->Finish(), 0u); // all of it queued; the window has not run meanwhile
    MSG message;
    int wakes = 0;
    while (PeekMessageW(&message, Window(), WM_CAPTUREDATA, WM_CAPTUREDATA, PM_REMOVE))
        ++wakes;
    EXPECT_EQ(wakes, 1);

    Frame->TakeCaptured();
    const std::size_t first = Lines().size();
    EXPECT_GT(first, 0u);
    EXPECT_LE(first, 1000u);
    Sleep(2 * USER_TIMER_MINIMUM);
    EXPECT_TRUE(PeekMessageW(&message, Window(), WM_TIMER, WM_TIMER, PM_NOREMOVE)) << "no continuation";
    EXPECT_FALSE(PeekMessageW(&message, Window(), WM_CAPTUREDATA, WM_CAPTUREDATA, PM_NOREMOVE));

    ASSERT_TRUE(PumpUntilLines(3000));
    EXPECT_EQ(LinesOf(*writer), Numbered(L"-M- " + Pid(*writer) + L"batch ", 1, 3000));
}

TEST_F(CaptureWindow, CapturedLinesFollowTheLineLimit)
{
    DisplayLines = 100;
    Frame->ComputeOverhead();
    Command(cmCaptureOds);
    const auto writer = WriteCount(false, 500, L"limited");
    ASSERT_EQ(writer->Finish(), 0u);
    ASSERT_TRUE(PollUntil([&] {
        Pump();
        const std::vector<std::wstring> lines = Lines();
        return !lines.empty() && lines.back() == L"-M- " + Pid(*writer) + L"limited 500";
    }));
    const std::vector<std::wstring> lines = LinesOf(*writer);
    EXPECT_LE(lines.size(), 108u);
    EXPECT_GE(lines.size(), 100u);
    EXPECT_EQ(lines, Numbered(L"-M- " + Pid(*writer) + L"limited ", 501 - static_cast<int>(lines.size()), 500));
}

TEST_F(CaptureWindow, AnotherReaderKeepsTheBufferAndTheItemSaysWhy)
{
    {
        TOtherReader other;
        ASSERT_TRUE(other.Ready());
        Command(cmCaptureOds);
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_NE(Boxes[0].Text.find(L"Another program reads"), std::wstring::npos) << testing::PrintToString(Boxes[0].Text);
        EXPECT_FALSE(Frame->Checked(cmCaptureOds));
        EXPECT_EQ(OdsCaption(), InUseCaption);
        const auto writer = WriteText(false, L"theirs");
        EXPECT_EQ(writer->Finish(), 0u);
        EXPECT_EQ(other.Stop(), 1u);
        Pump();
        EXPECT_TRUE(Lines().empty());
    }
    ASSERT_TRUE(PollUntil(BufferObjectsGone));
    Command(cmCaptureOds);
    EXPECT_TRUE(Frame->Checked(cmCaptureOds));
    EXPECT_EQ(OdsCaption(), L"Capture OutputDebugString");
    EXPECT_EQ(Boxes.size(), 1u);
}

TEST_F(CaptureWindow, SwitchedOffAndOnWhileAWriterWritesEverythingShownIsInOrder)
{
    constexpr int Count = 600;
    Command(cmCaptureOds);
    const auto writer = WriteCount(false, Count, L"toggled", 1);
    for (int round = 0; round < 3; ++round) {
        const std::size_t before = LinesOf(*writer).size();
        ASSERT_TRUE(PollUntil([&] {
            Pump();
            return LinesOf(*writer).size() >= before + 30;
        }));
        Command(cmCaptureOds);
        EXPECT_FALSE(Frame->Checked(cmCaptureOds));
        Command(cmCaptureOds);
        EXPECT_TRUE(Frame->Checked(cmCaptureOds)) << "round " << round;
    }
    const std::wstring lastLine = L"-M- " + Pid(*writer) + L"toggled " + std::to_wstring(Count);
    ASSERT_TRUE(PollUntil([&] {
        Pump();
        const std::vector<std::wstring> lines = LinesOf(*writer);
        return !lines.empty() && lines.back() == lastLine;
    }, 3 * TerminalProcess::WaitLimitMs));
    EXPECT_EQ(writer->Finish(), 0u);
    int last = 0;
    const std::wstring head = L"-M- " + Pid(*writer) + L"toggled ";
    for (const std::wstring& line : LinesOf(*writer)) {
        const int n = std::stoi(line.substr(head.size()));
        EXPECT_GT(n, last) << testing::PrintToString(line);
        last = n;
    }
    EXPECT_TRUE(Boxes.empty());
}

// Services write through the global objects: with the item on, their lines join the list
// in the capture's channel, beside the session's; off, the objects are released.
TEST_F(CaptureWindow, TheGlobalItemShowsTheServicesOutputBesideTheSessions)
{
    Command(cmCaptureGlobal);
    ASSERT_TRUE(Frame->Checked(cmCaptureGlobal));
    EXPECT_FALSE(Frame->Checked(cmCaptureOds));
    Command(static_cast<TCommand>(cmCaptureChannel0 + 4));
    const auto service = WriteGlobal(3, L"service");
    ASSERT_EQ(service->Finish(), 0u);
    ASSERT_TRUE(PumpUntilLines(3));
    EXPECT_EQ(LinesOf(*service), Numbered(L"-4- " + Pid(*service) + L"service ", 1, 3));

    Command(cmCaptureOds);
    const auto session = WriteText(false, L"session");
    ASSERT_EQ(session->Finish(), 0u);
    ASSERT_TRUE(PumpUntilLines(4));
    EXPECT_EQ(LinesOf(*session), std::vector<std::wstring>{L"-4- " + Pid(*session) + L"session"});

    // The session's capture goes off; the global one still shows what comes.
    Command(cmCaptureOds);
    const auto later = WriteGlobal(1, L"later");
    ASSERT_EQ(later->Finish(), 0u);
    ASSERT_TRUE(PumpUntilLines(5));
    EXPECT_EQ(LinesOf(*later), std::vector<std::wstring>{L"-4- " + Pid(*later) + L"later 1"});
    Command(cmCaptureGlobal);
    EXPECT_FALSE(Frame->Checked(cmCaptureGlobal));
    EXPECT_TRUE(GlobalObjectsGone());
    EXPECT_TRUE(Boxes.empty());
}

// Without administrator rights the item says why, switching it on says so in a box, and
// nothing else changes: no objects, no check mark, the session's capture as it was.
TEST_F(CaptureWindow, WithoutAdministratorRightsTheGlobalItemSaysWhyAndStaysOff)
{
    const TWithoutAdministratorRights normalUser;
    Command(cmCaptureOds);
    Command(cmCaptureGlobal);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find(L"needs administrator rights"), std::wstring::npos)
        << testing::PrintToString(Boxes[0].Text);
    EXPECT_FALSE(Frame->Checked(cmCaptureGlobal));
    EXPECT_EQ(MenuText(GetMenu(Window()), cmCaptureGlobal, MF_BYCOMMAND),
              L"Capture global OutputDebugString (needs administrator rights)");
    EXPECT_TRUE(GlobalObjectsGone());
    EXPECT_TRUE(Frame->Checked(cmCaptureOds));
    EXPECT_EQ(OdsCaption(), L"Capture OutputDebugString");
}

// The terminal as a program, the capture on from its settings file, closed while two
// writers flood it: it ends at once. The writers still hold the buffer's objects (each call
// waits up to 10 s for a reader, as the system's protocol has it), and a terminal started
// again takes them over.
TEST(CaptureProgram, ClosingWhileWritersWriteEndsPromptlyAndTheNextTerminalTakesTheBufferOver)
{
    TerminalProcess::TTerminalCopy copy(L"vt_capture_");
    ASSERT_TRUE(copy.Copied);
    WriteFileBytes(copy.SettingsFile, "[CAPTURE]\r\nODS=TRUE\r\n");
    const auto startTerminal = [&copy](std::unique_ptr<TProcess>& terminal, HWND& list) {
        terminal = std::make_unique<TProcess>(copy.Exe, L"");
        ASSERT_TRUE(terminal->Started());
        HWND window = nullptr;
        ASSERT_TRUE(PollUntil([&] {
            window = FindWindowW(L"TMainFrame", nullptr);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            return window != nullptr && owner == terminal->Id;
        }));
        // The window is found as soon as it exists; its list comes a moment later.
        ASSERT_TRUE(PollUntil([&] { return (list = TerminalProcess::FindControl(window, idDbDisplay)) != nullptr; }));
    };
    // Under a flood every call into the terminal waits behind the writers' traffic with the
    // Wine server: only the newest lines are read.
    const auto bothInTail = [](HWND list, const TProcess& one, const TProcess& two) {
        constexpr LRESULT Tail = 40;
        bool seenOne = false;
        bool seenTwo = false;
        const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = std::max<LRESULT>(count - Tail, 0); i < count; ++i) {
            wchar_t line[256] = {};
            if (SendMessageW(list, LB_GETTEXTLEN, i, 0) >= 256)
                continue;
            SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            seenOne = seenOne || std::wcsstr(line, Pid(one).c_str()) != nullptr;
            seenTwo = seenTwo || std::wcsstr(line, Pid(two).c_str()) != nullptr;
        }
        return seenOne && seenTwo;
    };

    std::unique_ptr<TProcess> terminal;
    HWND list = nullptr;
    startTerminal(terminal, list);
    // A pause of a millisecond between calls: a flood without one saturates the Wine server,
    // and every start of a program then takes many seconds.
    const auto first = WriteCount(false, 1000000, L"one", 1);
    const auto second = WriteCount(true, 1000000, L"two", 1);
    ASSERT_TRUE(PollUntil([&] { return bothInTail(list, *first, *second); }));

    const auto start = std::chrono::steady_clock::now();
    PostMessageW(GetAncestor(list, GA_ROOT), WM_CLOSE, 0, 0);
    EXPECT_EQ(terminal->Finish(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_NE(ReadFileBytes(copy.SettingsFile).value_or("").find("[CAPTURE]\r\nODS=TRUE\r\n"), std::string::npos);
    EXPECT_TRUE(first->Running());
    EXPECT_TRUE(second->Running());

    startTerminal(terminal, list);
    const LRESULT before = SendMessageW(list, LB_GETCOUNT, 0, 0);
    EXPECT_TRUE(PollUntil([&] { return bothInTail(list, *first, *second); }));
    EXPECT_GT(SendMessageW(list, LB_GETCOUNT, 0, 0), before);
    PostMessageW(GetAncestor(list, GA_ROOT), WM_CLOSE, 0, 0);
    EXPECT_EQ(terminal->Finish(), 0u);
    first->Kill();
    second->Kill();
    EXPECT_TRUE(PollUntil(BufferObjectsGone));
}

} // namespace
