// Log to file through the real window: the Capture menu's item and its save dialog, lines
// from the exchange area, from the capture of OutputDebugString and from the intake's own
// append, the list's trims and clears, the error box, the settings, and the terminal as a
// program killed with TerminateProcess.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ErrorBox.h"
#include "SystemError.h"
#include "TextCodec.h"
#include "WindowPost.h"
#include "support/AreaSender.h"
#include "support/DebugOutputPeers.h"
#include "support/MainFrameFixture.h"
#include "support/SaveDialogDriver.h"
#include "support/TerminalProcess.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace MainFrameFixture;
using TerminalProcess::PollUntil;

constexpr char ClearedMarker[] = "---- list cleared ----\r\n";
// Long enough for a box that a post brought to have come.
constexpr DWORD SilenceMs = 1000;

// The lines as Save writes them: ANSI, CR LF after each.
std::string SavedForm(const std::vector<std::wstring>& lines)
{
    std::string bytes;
    for (const std::wstring& line : lines)
        bytes += WideToAnsi(line) + "\r\n";
    return bytes;
}

// Switched off, a log still writes what waits, on its own thread, without the window waiting:
// the file once it holds `expected`, or as it stands when the wait has run out.
testing::AssertionResult LogFileBecomes(const fs::path& file, const std::string& expected)
{
    std::optional<std::string> bytes;
    if (PollUntil([&] {
            bytes = ReadFileBytes(file.wstring());
            return bytes == expected;
        }))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the log file holds " << testing::PrintToString(bytes);
}

class LogWindow : public TMainFrameTest {
protected:
    void SetUp() override
    {
        TMainFrameTest::SetUp();
        ASSERT_TRUE(PublishMainFrame(*Frame)); // senders notify it
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        Folder = fs::path(temp) / (L"vt_logwin_" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        LogFile = Folder / L"trace.log";
    }
    void TearDown() override
    {
        TMainFrameTest::TearDown();
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }

    // "Log to file..." with `path` typed into its dialog.
    void SwitchOn(const fs::path& path)
    {
        DriveSaveDialog(Dialog, path, true);
        Command(cmLogToFile);
        SetDialogInitHandler({});
    }

    void Send(unsigned channel, const char* text) { Area.Send(channel, text); }

    fs::path Folder;
    fs::path LogFile;
    TSaveDialogRun Dialog;
    TAreaSender Area;
};

TEST_F(LogWindow, TheItemAsksForTheFileAndTheLogHoldsEveryLineInListOrderAsSaveWritesThem)
{
    WriteFileBytes(LogFile.wstring(), "an earlier run\r\n");
    EXPECT_FALSE(Frame->Checked(cmLogToFile));
    SwitchOn(LogFile);
    ASSERT_EQ(Dialog.Opened, 1);
    EXPECT_EQ(Dialog.TitleText, L"Log to file");
    EXPECT_TRUE(Frame->Checked(cmLogToFile));

    Command(cmDisplayTime);
    Send(3, "from the area");
    AddLines({"from the intake's append", "Gr\xFC\xDF" "e", ""});
    Command(cmCaptureOds);
    const auto writer = DebugOutputPeers::WriteText(false, L"captured\\r\\nin two lines");
    ASSERT_EQ(writer->Finish(), 0u);
    ASSERT_TRUE(PollUntil([&] {
        Pump();
        return Lines().size() >= 6;
    }));
    Send(0, "last");
    const std::vector<std::wstring> shown = Lines();
    ASSERT_EQ(shown.size(), 7u);

    Command(cmLogToFile); // off: what waits is written
    EXPECT_FALSE(Frame->Checked(cmLogToFile));
    EXPECT_TRUE(LogFileBecomes(LogFile, "an earlier run\r\n" + SavedForm(shown)));
    EXPECT_TRUE(Boxes.empty());

    // On again: the dialog proposes the same file, and the log goes on at its end.
    SwitchOn(LogFile);
    EXPECT_EQ(Dialog.Proposed, LogFile.wstring());
    AddLines({"second session"});
    Command(cmLogToFile);
    EXPECT_TRUE(LogFileBecomes(LogFile, "an earlier run\r\n" + SavedForm(shown) + "second session\r\n"));
}

TEST_F(LogWindow, TheLogKeepsWhatTheListTrimsAndMarksWhereItWasCleared)
{
    DisplayLines = 100;
    Frame->ComputeOverhead();
    SwitchOn(LogFile);
    std::vector<std::string> lines;
    for (int n = 1; n <= 300; ++n)
        lines.push_back("line " + std::to_string(n));
    AddLines(lines);
    EXPECT_LE(Lines().size(), 108u);
    Command(cmDeletealllines1);
    AddLines({"after Delete all lines"});
    Send(0, "\f");
    Send(0, "after a form feed");
    ASSERT_EQ(Lines(), std::vector<std::wstring>{L"-M- after a form feed"});
    Command(cmLogToFile);

    std::string expected;
    for (const std::string& line : lines)
        expected += line + "\r\n";
    expected += ClearedMarker;
    expected += "after Delete all lines\r\n";
    expected += ClearedMarker;
    expected += "-M- after a form feed\r\n";
    EXPECT_TRUE(LogFileBecomes(LogFile, expected));
}

std::vector<std::wstring> BoxLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    for (std::size_t begin = 0;;) {
        const std::size_t end = text.find(L"\r\n", begin);
        lines.push_back(text.substr(begin, end - begin));
        if (end == std::wstring::npos)
            return lines;
        begin = end + 2;
    }
}

// A long file name, as deep folders give, is wrapped instead of making the box wider than the
// screen; the system's reason ends the sentence once.
TEST_F(LogWindow, AFileThatCannotBeWrittenGivesOneErrorBoxAndTheListGoesOn)
{
    const fs::path missing = Folder / std::wstring(100, L'm') / L"trace.log";
    SwitchOn(missing);
    ASSERT_TRUE(PollUntil([&] {
        Pump();
        return !Boxes.empty();
    }));
    Pump();
    ASSERT_EQ(Boxes.size(), 1u);
    std::wstring text;
    for (const std::wstring& line : BoxLines(Boxes[0].Text)) {
        for (std::size_t begin = 0, end; begin < line.size(); begin = end + 1) {
            end = std::min(line.find(L' ', begin), line.size());
            EXPECT_LE(end - begin, 64u) << "no box wraps " << testing::PrintToString(line.substr(begin, end - begin));
        }
        text += line;
    }
    EXPECT_NE(text.find(missing.wstring()), std::wstring::npos) << testing::PrintToString(Boxes[0].Text);
    const std::wstring reason = SystemErrorText(ERROR_PATH_NOT_FOUND); // ends with its period
    EXPECT_NE(text.find(reason + L" The log is off."), std::wstring::npos) << testing::PrintToString(text);
    EXPECT_EQ(text.find(L".."), std::wstring::npos) << testing::PrintToString(text);
    EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_FALSE(Frame->Checked(cmLogToFile));
    AddLines({"the list goes on"});
    EXPECT_EQ(Lines(), std::vector<std::wstring>{L"the list goes on"});
    EXPECT_EQ(Boxes.size(), 1u);

    // A working file afterwards: a fresh start of the log.
    SwitchOn(LogFile);
    AddLines({"logged"});
    Command(cmLogToFile);
    EXPECT_TRUE(LogFileBecomes(LogFile, "logged\r\n"));
    EXPECT_EQ(Boxes.size(), 1u);
}

// The writer's post of its failure is lost in a full queue (Windows allows 10 000 posted
// messages per thread): the box comes with the next lines all the same, once.
TEST_F(LogWindow, AFailureWhosePostWasLostIsShownWithTheNextLines)
{
    SetWindowPoster([](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return message != WM_LOGFAILED && PostMessageW(window, message, wParam, lParam) != FALSE;
    });
    SwitchOn(Folder / L"missing" / L"trace.log"); // the writer fails at once
    const bool boxWithoutLines = PollUntil([&] {
        Pump();
        return !Boxes.empty();
    }, SilenceMs);
    // Lines through the exchange area, until one of their passes finds the failure.
    const bool boxWithLines = PollUntil([&] {
        Send(0, "the next line");
        Pump();
        return !Boxes.empty();
    });
    SetWindowPoster({});
    EXPECT_FALSE(boxWithoutLines) << "the refused post reached the window";
    ASSERT_TRUE(boxWithLines);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_FALSE(Frame->Checked(cmLogToFile));
    Send(0, "and another");
    Pump();
    EXPECT_EQ(Boxes.size(), 1u);
}

TEST_F(LogWindow, ACancelledDialogLeavesTheLogOff)
{
    DriveSaveDialog(Dialog, LogFile, false);
    Command(cmLogToFile);
    EXPECT_EQ(Dialog.Opened, 1);
    EXPECT_FALSE(Frame->Checked(cmLogToFile));
    AddLines({"not logged"});
    EXPECT_FALSE(fs::exists(LogFile));
}

// The terminal as a program, its log on from its settings file, killed as a crash would end
// it: every line that the list showed more than 500 ms before is in the file.
// Runs without a blank longer than the limit are broken after a separator in their last half,
// else at the limit; blanks and short runs are left as they are.
TEST(ErrorBoxText, LongRunsAreBrokenPreferablyAfterAPathSeparator)
{
    const struct {
        std::wstring Text;
        std::wstring Wrapped;
    } cases[] = {
        {L"Cannot write the log file: no.", L"Cannot write the log file: no."},
        {L"at C:\\abcdef\\ghij.log now", L"at C:\\abcdef\\\r\nghij.log now"},
        {L"x 0123456789abcdef y", L"x 0123456789\r\nabcdef y"},
        {L"C:\\a\\0123456789abcdefghij", L"C:\\a\\01234\r\n56789abcde\r\nfghij"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WrapLongRuns(c.Text, 10), c.Wrapped) << testing::PrintToString(c.Text);
}

TEST(LogProgram, KilledWithTerminateProcessItLosesAtMostTheLastHalfSecond)
{
    TerminalProcess::TTerminalCopy copy(L"vt_log_");
    ASSERT_TRUE(copy.Copied);
    const std::wstring logFile = copy.Folder + L"\\trace.log";
    DeleteFileW(logFile.c_str()); // left by an earlier run in a folder of the same name
    WriteFileBytes(copy.SettingsFile, "[LOG]\r\nENABLED=TRUE\r\nFILE=" + WideToAnsi(logFile) + "\r\n");
    const TerminalProcess::TAreaView view;
    const auto& area = view.Area();
    TerminalProcess::TProcess terminal(copy.Exe, L"");
    ASSERT_TRUE(terminal.Started());
    // Published: the sender finds it from its first line on.
    HWND window = nullptr;
    ASSERT_TRUE(PollUntil([&] {
        window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(area.TerminalWnd));
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        return window != nullptr && owner == terminal.Id;
    }));
    const HWND list = TerminalProcess::FindControl(window, idDbDisplay);

    // A steady stream; the kill comes half a second after the list showed 200 lines.
    TerminalProcess::TProcess sender(TerminalProcess::BinDirectory() + L"vtsend.exe",
                                     L"--count 100000 --interval-ms 2 tick");
    ASSERT_TRUE(PollUntil([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) >= 200; }))
        << SendMessageW(list, LB_GETCOUNT, 0, 0) << " lines, sender running " << sender.Running();
    const auto shown = std::chrono::steady_clock::now();
    std::vector<std::wstring> lines = TerminalProcess::ListLines(list);
    lines.resize(200);
    std::this_thread::sleep_until(shown + std::chrono::milliseconds(500));
    terminal.Kill();
    sender.Kill();

    const std::string logged = ReadFileBytes(logFile).value_or("");
    const std::string expected = SavedForm(lines);
    EXPECT_EQ(logged.substr(0, expected.size()), expected);
    // What came after is whole lines in order.
    std::size_t next = std::stoul(WideToAnsi(lines.back()).substr(std::string("-M- tick ").size())) + 1;
    for (std::size_t at = expected.size(); at < logged.size(); ++next) {
        const std::string line = "-M- tick " + std::to_string(next) + "\r\n";
        ASSERT_EQ(logged.compare(at, line.size(), line), 0) << logged.substr(at, 40);
        at += line.size();
    }
    DeleteFileW(logFile.c_str());
}

} // namespace
