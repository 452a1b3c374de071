// The sender routine and vtsend against the real exchange area. The test plays the terminal:
// it maps the area, publishes a window of its own and counts the "DebugEntry" posts; vtsend
// runs as a separate process.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "SenderCApiCheck.h"
#include "SenderCore.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "ShmLock.h"
#include "SystemTick.h"
#include "WinHandles.h"

namespace {

constexpr DWORD ProcessTimeoutMs = 30000;
constexpr DWORD PollMs = 5;
constexpr double MsPerDay = 86400000.0;
// One time stamp of the sender against the test's own clock readings around it.
constexpr double ClockToleranceDays = 50.0 / MsPerDay;

struct TWindowTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type window) noexcept { DestroyWindow(window); }
};
using TUniqueWindow = TUniqueResource<TWindowTraits>;

// A hidden window of the terminal's class, standing in for a terminal.
TUniqueWindow CreateHiddenWindow()
{
    static const ATOM terminalClass = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = Shm::TerminalWindowClass;
        return RegisterClassW(&windowClass);
    }();
    return TUniqueWindow(CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<UINT_PTR>(terminalClass)), L"", 0, 0,
                                         0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
}

// A window of another program that got the handle of a terminal that ended without
// withdrawing it.
TUniqueWindow CreateStrangerWindow()
{
    return TUniqueWindow(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
}

// Days since 1899-12-30 from the calendar date (proleptic Gregorian), independent of the sender.
double DateTimeOf(const SYSTEMTIME& time)
{
    const auto daysFromCivil = [](int y, int m, int d) {
        if (m <= 2)
            --y;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const int yearOfEra = y - era * 400;
        const int dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        return era * 146097 + dayOfEra - 719468;
    };
    const int days = daysFromCivil(time.wYear, time.wMonth, time.wDay) - daysFromCivil(1899, 12, 30);
    const double ms = ((time.wHour * 60.0 + time.wMinute) * 60.0 + time.wSecond) * 1000.0 + time.wMilliseconds;
    return days + ms / MsPerDay;
}

double LocalNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return DateTimeOf(now);
}

std::wstring SiblingExe(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    return result.substr(0, result.find_last_of(L"\\/") + 1) + name;
}

std::string Ansi(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

struct TRunResult {
    DWORD ExitCode = 0;
    std::string Output; // stdout and stderr
};

void ReadAvailable(HANDLE pipe, std::string& output)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) || read == 0)
            return;
        output.append(buffer, read);
    }
}

// Runs the sibling program `exe` with `arguments`, `input` on its standard input, and calls
// whileRunning() every few milliseconds until it has ended. Its standard input stays open
// until closeInput() returns true (at once without it). It gets a console of its own without
// a window, unless `creationFlags` say otherwise (DETACHED_PROCESS: no console).
TRunResult RunProgram(const wchar_t* exe, const std::wstring& arguments, const std::string& input = {},
                      const std::function<void()>& whileRunning = {}, const std::function<bool()>& closeInput = {},
                      DWORD creationFlags = CREATE_NO_WINDOW)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE rawInRead = nullptr, rawInWrite = nullptr, rawOutRead = nullptr, rawOutWrite = nullptr;
    if (!CreatePipe(&rawInRead, &rawInWrite, &inheritable, 0) || !CreatePipe(&rawOutRead, &rawOutWrite, &inheritable, 0))
        throw std::runtime_error("CreatePipe failed");
    TUniqueHandle inRead(rawInRead), inWrite(rawInWrite), outRead(rawOutRead), outWrite(rawOutWrite);
    SetHandleInformation(inWrite.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = L"\"" + SiblingExe(exe) + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.Get();
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = outWrite.Get();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, creationFlags, nullptr, nullptr, &startup,
                        &info))
        throw std::runtime_error("vtsend.exe could not be started, error " + std::to_string(GetLastError()));
    TUniqueHandle process(info.hProcess), thread(info.hThread);
    inRead.Reset();
    outWrite.Reset();

    DWORD written = 0;
    if (!input.empty())
        WriteFile(inWrite.Get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    if (!closeInput)
        inWrite.Reset();

    TRunResult result;
    const ULONGLONG deadline = GetTickCount64() + ProcessTimeoutMs;
    while (WaitForSingleObject(process.Get(), PollMs) == WAIT_TIMEOUT) {
        ReadAvailable(outRead.Get(), result.Output);
        if (whileRunning)
            whileRunning();
        if (inWrite && closeInput())
            inWrite.Reset();
        if (GetTickCount64() >= deadline) {
            TerminateProcess(process.Get(), 99);
            WaitForSingleObject(process.Get(), ProcessTimeoutMs);
            ADD_FAILURE() << Ansi(exe) << " did not end in time: " << Ansi(arguments);
            break;
        }
    }
    ReadAvailable(outRead.Get(), result.Output);
    GetExitCodeProcess(process.Get(), &result.ExitCode);
    return result;
}

TRunResult RunVtsend(const std::wstring& arguments, const std::string& input = {},
                     const std::function<void()>& whileRunning = {}, const std::function<bool()>& closeInput = {})
{
    return RunProgram(L"vtsend.exe", arguments, input, whileRunning, closeInput);
}

std::string SlotText(const TShmArea& area, int slot)
{
    return std::string(reinterpret_cast<const char*>(area.SlotText[slot] + 1), area.SlotText[slot][0]);
}

class SenderTest : public testing::Test {
protected:
    void SetUp() override
    {
        FShared = std::make_unique<TSharedData>(nullptr);
        FShared->SetSectionName(Shm::SectionName);
        FShared->SetDataSize(Shm::AreaSize);
        FShared->Open();
        Area = static_cast<TShmArea*>(FShared->Data());
        Mutex.Reset(CreateMutexW(nullptr, FALSE, Shm::MutexName));
        ASSERT_TRUE(Mutex);
        Guarded([&] {
            std::memcpy(&FFound, Area, sizeof FFound);
            std::memset(Area, 0, sizeof(TShmArea));
            std::memset(Area->ChannelOn, 1, sizeof Area->ChannelOn);
        });
        DebugEntry = RegisterWindowMessageW(Shm::DebugEntryMessageName);
        Terminal = CreateHiddenWindow();
        ASSERT_TRUE(Terminal);
    }

    void TearDown() override
    {
        Guarded([&] { std::memcpy(Area, &FFound, sizeof FFound); });
    }

    template <class Access>
    void Guarded(Access&& access)
    {
        ASSERT_TRUE(WithShmLock(Mutex.Get(), access)) << "the exchange mutex is held elsewhere";
    }

    void Publish(HWND window) { Area->TerminalWnd = reinterpret_cast<UINT_PTR>(window); }

    // "DebugEntry" posts that reached the published window since the last call.
    int TakePosts()
    {
        int posts = 0;
        MSG message;
        while (PeekMessageW(&message, Terminal.Get(), DebugEntry, DebugEntry, PM_REMOVE))
            ++posts;
        return posts;
    }

    // What a terminal does per entry: decrement the count, empty the slot, move on.
    void TakeOneEntry(int& readIndex)
    {
        Guarded([&] {
            Area->PendingCount = Area->PendingCount - 1;
            Area->SlotText[readIndex][0] = 0;
        });
        readIndex = (readIndex + 1) % Shm::SlotCount;
    }

    std::vector<std::uint8_t> Snapshot() const
    {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(Area);
        return std::vector<std::uint8_t>(bytes, bytes + sizeof(TShmArea));
    }

    TShmArea* Area = nullptr;
    TUniqueHandle Mutex;
    UINT DebugEntry = 0;
    TUniqueWindow Terminal;

private:
    std::unique_ptr<TSharedData> FShared;
    TShmArea FFound;
};

TEST_F(SenderTest, EntriesGoIntoTheRingInOrderAndWrap)
{
    Publish(Terminal.Get());
    Area->WriteIndex = 62;

    const double before = LocalNow();
    const TRunResult run = RunVtsend(L"-c 7 --count 3 wrap");
    const double after = LocalNow();

    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(run.Output, "") << "without --stats, all sent means nothing to say";
    const std::array<int, 3> slots{62, 63, 0};
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const int slot = slots[i];
        EXPECT_EQ(SlotText(*Area, slot), "wrap " + std::to_string(i + 1)) << "slot " << slot;
        EXPECT_EQ(Area->SlotChannel[slot], 7) << "slot " << slot;
        EXPECT_GE(Area->SlotTime[slot], before - ClockToleranceDays) << "slot " << slot;
        EXPECT_LE(Area->SlotTime[slot], after + ClockToleranceDays) << "slot " << slot;
    }
    EXPECT_EQ(Area->SlotText[1][0], 0);
    EXPECT_EQ(Area->PendingCount, 3);
    EXPECT_EQ(Area->WriteIndex, 1);
    EXPECT_GE(TakePosts(), 1); // the first line found the count at 0
}

TEST_F(SenderTest, ChannelOptionSetsTheChannelByte)
{
    Publish(Terminal.Get());
    const struct {
        const wchar_t* Arguments;
        int Channel;
    } cases[] = {{L"text", 0}, {L"-c M text", 0}, {L"--channel 0 text", 0}, {L"-c 5 text", 5}, {L"--channel 9 text", 9}};
    int slot = 0;
    for (const auto& c : cases) {
        const TRunResult run = RunVtsend(c.Arguments);
        EXPECT_EQ(run.ExitCode, 0u) << run.Output;
        EXPECT_EQ(Area->SlotChannel[slot], c.Channel) << Ansi(c.Arguments);
        ++slot;
    }
    EXPECT_EQ(Area->PendingCount, slot);
}

TEST_F(SenderTest, BadArgumentsWriteNothing)
{
    Publish(Terminal.Get());
    const wchar_t* cases[] = {L"-c 10 text", L"-c x text", L"-c", L"--count -1", L"--count 99999999999", L"--bogus text"};
    const std::vector<std::uint8_t> before = Snapshot();
    for (const wchar_t* arguments : cases) {
        const TRunResult run = RunVtsend(arguments);
        EXPECT_EQ(run.ExitCode, 4u) << Ansi(arguments);
        EXPECT_NE(run.Output.find("vtsend: "), std::string::npos) << Ansi(arguments);
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(TakePosts(), 0);
}

TEST_F(SenderTest, TextIsLengthPrefixedAnsi)
{
    Publish(Terminal.Get());
    Area->SlotText[0][0] = 200; // a stale length must not survive

    const TRunResult run = RunVtsend(L"Gr\u00FC\u00DFe, \"two  blanks\"  -c");

    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(SlotText(*Area, 0), Ansi(L"Gr\u00FC\u00DFe, two  blanks -c"));
    EXPECT_EQ(Area->PendingCount, 1);
}

TEST_F(SenderTest, EmptyTextIsOneEmptyEntry)
{
    Publish(Terminal.Get());
    Area->SlotText[0][0] = 9;

    const TRunResult run = RunVtsend(L"-- \"\"");

    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(Area->SlotText[0][0], 0);
    EXPECT_EQ(Area->PendingCount, 1);
    EXPECT_EQ(Area->WriteIndex, 1);
    EXPECT_EQ(TakePosts(), 1);
}

TEST_F(SenderTest, LongTextIsSplitIntoEntriesOfAtMost255Bytes)
{
    Publish(Terminal.Get());
    std::wstring text;
    for (int i = 0; i < 600; ++i)
        text += static_cast<wchar_t>(L'a' + i % 26);

    const TRunResult run = RunVtsend(L"-c 2 " + text);

    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    ASSERT_EQ(Area->PendingCount, 3);
    EXPECT_EQ(Area->SlotText[0][0], 255);
    EXPECT_EQ(Area->SlotText[1][0], 255);
    EXPECT_EQ(SlotText(*Area, 0) + SlotText(*Area, 1) + SlotText(*Area, 2), Ansi(text));
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(Area->SlotChannel[slot], 2);
        EXPECT_EQ(Area->SlotTime[slot], Area->SlotTime[0]);
    }
    EXPECT_EQ(TakePosts(), 1); // one call, one post
}

TEST_F(SenderTest, StandardInputGivesOneEntryPerLine)
{
    Publish(Terminal.Get());
    const std::string longLine(300, 'x');
    const struct {
        std::string Input;
        std::vector<std::string> Entries;
    } cases[] = {
        {"alpha\r\nbeta\n\ngamma", {"alpha", "beta", "", "gamma"}},
        {"one\ntwo\n", {"one", "two"}},
        {"", {}},
        {longLine + "\r\n", {longLine.substr(0, 255), longLine.substr(255)}},
    };
    for (const auto& c : cases) {
        Guarded([&] {
            Area->PendingCount = 0;
            Area->WriteIndex = 0;
        });
        const TRunResult run = RunVtsend(L"-c 1", c.Input);
        EXPECT_EQ(run.ExitCode, 0u) << run.Output;
        ASSERT_EQ(Area->PendingCount, static_cast<std::int32_t>(c.Entries.size())) << c.Input;
        for (std::size_t i = 0; i < c.Entries.size(); ++i)
            EXPECT_EQ(SlotText(*Area, static_cast<int>(i)), c.Entries[i]) << c.Input;
    }
}

// "Grüße" as each code page writes it arrives in the ANSI code page (1252 here). OEM is code
// page 437 here, as in a Command Prompt of a US Windows. Without --codepage: in a console
// ("dir | vtsend" in a Command Prompt) the console's code page, without one the ANSI one.
TEST_F(SenderTest, StandardInputIsDecodedByItsCodePage)
{
    ASSERT_EQ(GetACP(), 1252u);
    ASSERT_EQ(GetOEMCP(), 437u);
    Publish(Terminal.Get());
    const std::string expected = "Gr\xFC\xDF" "e";
    const struct {
        const wchar_t* Arguments;
        DWORD CreationFlags;
        std::string Input;
    } cases[] = {
        {L"--codepage oem", CREATE_NO_WINDOW, "Gr\x81\xE1" "e\r\n"},
        {L"--codepage utf8", CREATE_NO_WINDOW, "Gr\xC3\xBC\xC3\x9F" "e\n"},
        {L"--codepage ansi", CREATE_NO_WINDOW, "Gr\xFC\xDF" "e"},
        {L"", CREATE_NO_WINDOW, "Gr\x81\xE1" "e\r\n"}, // a console of code page 437
        {L"", DETACHED_PROCESS, "Gr\xFC\xDF" "e\r\n"}, // no console
    };
    for (const auto& c : cases) {
        const std::string label = Ansi(c.Arguments) + (c.CreationFlags == DETACHED_PROCESS ? " without a console" : "");
        Guarded([&] {
            Area->PendingCount = 0;
            Area->WriteIndex = 0;
        });
        const TRunResult run = RunProgram(L"vtsend.exe", c.Arguments, c.Input, {}, {}, c.CreationFlags);
        EXPECT_EQ(run.ExitCode, 0u) << label << ": " << run.Output;
        ASSERT_EQ(Area->PendingCount, 1) << label;
        EXPECT_EQ(SlotText(*Area, 0), expected) << label;
    }
    EXPECT_EQ(RunVtsend(L"--codepage ebcdic", "x").ExitCode, 4u);
}

TEST_F(SenderTest, NextSlotFollowsWriteIndexWhileATerminalRuns)
{
    const struct {
        bool TerminalRuns;
        std::int32_t Pending;
        std::int32_t WriteIndex;
        int Slot;
    } cases[] = {
        {true, 0, 5, 5},   {true, 3, 64, 0},  {true, 0, 70, 6},   {true, 0, -1, 63},
        {false, 2, 2, 2},  // entries wait for the next terminal: keep on behind them
        {false, 0, 5, 0},  // nothing waits: a starting terminal reads slot 0 first
    };
    for (const auto& c : cases) {
        Guarded([&] {
            std::memset(Area->SlotText, 0, sizeof Area->SlotText);
            Publish(c.TerminalRuns ? Terminal.Get() : nullptr);
            Area->PendingCount = c.Pending;
            Area->WriteIndex = c.WriteIndex;
        });
        const TRunResult run = RunVtsend(L"here");
        const std::string label = "pending " + std::to_string(c.Pending) + ", WriteIndex " + std::to_string(c.WriteIndex);
        EXPECT_EQ(run.ExitCode, 0u) << run.Output;
        EXPECT_EQ(SlotText(*Area, c.Slot), "here") << label;
        EXPECT_EQ(Area->PendingCount, c.Pending + 1) << label;
        EXPECT_EQ(Area->WriteIndex, (c.Slot + 1) % Shm::SlotCount) << label;
        EXPECT_EQ(TakePosts(), c.TerminalRuns ? 1 : 0) << label;
    }
}

TEST_F(SenderTest, ChannelSwitchCountsOnlyWhileATerminalRuns)
{
    TUniqueWindow gone = CreateHiddenWindow();
    const HWND staleHandle = gone.Get();
    gone.Reset();
    const TUniqueWindow stranger = CreateStrangerWindow();
    const struct {
        const char* Label;
        HWND Published;
        std::uint8_t Switch;
        bool Written;
    } cases[] = {
        {"terminal, channel off", Terminal.Get(), 0, false},
        {"terminal, channel on", Terminal.Get(), 1, true},
        {"no terminal, switches all 0", nullptr, 0, true},
        {"handle of an ended terminal", staleHandle, 0, true},
        {"handle given to another program's window", stranger.Get(), 0, true},
    };
    for (const auto& c : cases) {
        Guarded([&] {
            std::memset(Area->ChannelOn, c.Switch, sizeof Area->ChannelOn);
            Area->ChannelOn[0] = 1;
            Publish(c.Published);
            Area->PendingCount = 0;
            Area->SlotText[0][0] = 0;
        });
        const TRunResult run = RunVtsend(L"-c 3 switched");
        MSG message;
        EXPECT_FALSE(PeekMessageW(&message, stranger.Get(), DebugEntry, DebugEntry, PM_REMOVE)) << c.Label;
        EXPECT_EQ(run.ExitCode, c.Written ? 0u : 1u) << c.Label << ": " << run.Output;
        EXPECT_EQ(Area->PendingCount, c.Written ? 1 : 0) << c.Label;
        EXPECT_EQ(SlotText(*Area, 0), c.Written ? "switched" : "") << c.Label;
        if (!c.Written) {
            EXPECT_NE(run.Output.find("switched off"), std::string::npos) << run.Output;
        }
    }
}

TEST_F(SenderTest, FullRingDropsAfterABoundedWait)
{
    TUniqueWindow gone = CreateHiddenWindow();
    const HWND staleHandle = gone.Get();
    gone.Reset();
    const TUniqueWindow stranger = CreateStrangerWindow();
    // Without a running terminal nobody drains the ring: the drop comes at once, far
    // within the process time-out despite the long wait asked for.
    const struct {
        const char* Label;
        HWND Published;
        const wchar_t* Arguments;
    } cases[] = {
        {"terminal that does not drain", Terminal.Get(), L"--full-wait-ms 200 late"},
        {"no terminal", nullptr, L"--full-wait-ms 600000 late"},
        {"handle of an ended terminal", staleHandle, L"--full-wait-ms 600000 late"},
        {"handle given to another program's window", stranger.Get(), L"--full-wait-ms 600000 late"},
    };
    for (const auto& c : cases) {
        Guarded([&] {
            Publish(c.Published);
            Area->PendingCount = Shm::SlotCount;
            Area->WriteIndex = 10;
        });
        const std::vector<std::uint8_t> before = Snapshot();
        const TRunResult run = RunVtsend(c.Arguments);
        EXPECT_EQ(run.ExitCode, 2u) << c.Label << ": " << run.Output;
        EXPECT_NE(run.Output.find("1 of 1 line(s) dropped"), std::string::npos) << run.Output;
        EXPECT_EQ(Snapshot(), before) << c.Label;
    }
}

TEST_F(SenderTest, EntriesAreKeptWhenTheTerminalDrainsDuringTheWait)
{
    Publish(Terminal.Get());
    // 62 entries wait in slots 2..63: the text's first two entries fill the ring, the
    // third must wait until the "terminal" takes the oldest entry (slot 2).
    Area->PendingCount = 62;
    Area->WriteIndex = 0;
    int readIndex = 2;
    const std::string text = std::string(255, 'a') + std::string(255, 'b') + "tail";
    std::wstring wideText(text.begin(), text.end());

    int postsDuringWait = 0;
    const ULONGLONG start = GetTickCount64();
    const TRunResult run = RunVtsend(L"--full-wait-ms 20000 " + wideText, {}, [&] {
        if (postsDuringWait == 0 && (postsDuringWait = TakePosts()) > 0)
            TakeOneEntry(readIndex);
    });

    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    // The one free slot is all the last entry needs: it does not wait out the 20 s.
    EXPECT_LT(GetTickCount64() - start, 10000u);
    EXPECT_EQ(postsDuringWait, 1);
    EXPECT_EQ(SlotText(*Area, 0), text.substr(0, 255));
    EXPECT_EQ(SlotText(*Area, 1), text.substr(255, 255));
    EXPECT_EQ(SlotText(*Area, 2), "tail");
    EXPECT_EQ(Area->PendingCount, Shm::SlotCount);
    EXPECT_EQ(Area->WriteIndex, 3);
}

// Where the system has no high-resolution timer (before Windows 10 1803), a sender waits for
// room on our terminal's room event instead of sleeping a whole timer tick at a time: the
// event is reset when the sender starts waiting, and setting it after a pass that made room
// lets the sender go on.
TEST_F(SenderTest, WithoutAHighResolutionTimerAFullRingWaitEndsWhenTheTerminalSignalsRoom)
{
    const TUniqueHandle room = Exchange::OpenRoomEvent(true);
    ASSERT_TRUE(room);
    SetEvent(room.Get()); // as a pass long before left it
    Publish(Terminal.Get());
    Area->PendingCount = Shm::SlotCount;
    Area->WriteIndex = 5;
    int readIndex = 5;

    SystemTick::AllowHighResolutionTimers(false);
    TEntrySender sender;
    sender.SetFullWait(ProcessTimeoutMs);
    std::size_t written = 0;
    std::thread writer([&] { written = sender.Send(0, "late") == VT_OK ? 1 : 0; });
    bool sawTheWait = false;
    for (const ULONGLONG end = GetTickCount64() + ProcessTimeoutMs; !sawTheWait && GetTickCount64() < end; Sleep(PollMs))
        sawTheWait = WaitForSingleObject(room.Get(), 0) == WAIT_TIMEOUT;
    TakeOneEntry(readIndex);
    SetEvent(room.Get());
    writer.join();
    SystemTick::AllowHighResolutionTimers(true);

    EXPECT_TRUE(sawTheWait) << "the sender never reset the room event";
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(SlotText(*Area, 5), "late");
    EXPECT_EQ(Area->PendingCount, Shm::SlotCount);
}

TEST_F(SenderTest, BrokenPendingCountLeavesTheAreaAlone)
{
    Publish(Terminal.Get());
    for (const std::int32_t pending : {-1, Shm::SlotCount + 1, INT32_MIN}) {
        Guarded([&] { Area->PendingCount = pending; });
        const std::vector<std::uint8_t> before = Snapshot();
        const TRunResult run = RunVtsend(L"--full-wait-ms 600000 lost");
        EXPECT_EQ(run.ExitCode, 2u) << pending << ": " << run.Output;
        EXPECT_EQ(Snapshot(), before) << pending;
    }
    EXPECT_EQ(TakePosts(), 0);
}

TEST_F(SenderTest, NothingIsWrittenWithoutTheMutex)
{
    Publish(Terminal.Get());
    std::optional<TShmLock> held(std::in_place, Mutex.Get());
    ASSERT_TRUE(held->Acquired());
    const std::vector<std::uint8_t> before = Snapshot();

    const TRunResult refused = RunVtsend(L"--full-wait-ms 300 refused");
    EXPECT_EQ(refused.ExitCode, 2u) << refused.Output;
    EXPECT_EQ(Snapshot(), before);

    // Released while vtsend retries: the entry goes in.
    int polls = 0;
    const TRunResult taken = RunVtsend(L"--full-wait-ms 20000 taken", {}, [&] {
        if (++polls == 40)
            held.reset();
    });
    held.reset();
    EXPECT_EQ(taken.ExitCode, 0u) << taken.Output;
    EXPECT_EQ(SlotText(*Area, 0), "taken");
    EXPECT_EQ(Area->PendingCount, 1);
}

// --stats: one last line on standard error with the tally and the longest hold, after the
// message of a non-zero status, which stays as it was.
TEST_F(SenderTest, StatsLineTalliesTheLinesAndTheLongestHold)
{
    const struct {
        const char* Label;
        bool TerminalRuns;
        std::int32_t Pending;   // entries waiting before; nobody takes them
        std::uint8_t Switch;    // of channel 3
        unsigned long Lines;
        std::int32_t Written;
        DWORD ExitCode;
        const char* Message;    // of the exit status, before the stats line
        const char* Tally;
    } cases[] = {
        {"all sent", true, 0, 1, 40, 40, 0, nullptr, "vtsend: 40 line(s): 40 sent, 0 left out, 0 dropped"},
        {"ring full after 4, no terminal", false, 60, 1, 10, 4, 2, "vtsend: 6 of 10 line(s) dropped",
         "vtsend: 10 line(s): 4 sent, 0 left out, 6 dropped"},
        {"channel switched off", true, 0, 0, 10, 0, 1, "vtsend: 10 of 10 line(s) left out",
         "vtsend: 10 line(s): 0 sent, 10 left out, 0 dropped"},
    };
    constexpr std::string_view HoldText = "; longest hold of the mutex ";
    constexpr std::string_view LineEnd = " us\r\n";
    for (const auto& c : cases) {
        Guarded([&] {
            Publish(c.TerminalRuns ? Terminal.Get() : nullptr);
            Area->PendingCount = c.Pending;
            Area->WriteIndex = c.Pending;
            Area->ChannelOn[3] = c.Switch;
        });
        const TRunResult run = RunVtsend(L"--stats -c 3 --count " + std::to_wstring(c.Lines) + L" stat");
        EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Label << ": " << run.Output;
        EXPECT_EQ(Area->PendingCount, c.Pending + c.Written) << c.Label;

        const std::size_t statsAt = run.Output.find(std::string(c.Tally) + std::string(HoldText));
        ASSERT_NE(statsAt, std::string::npos) << c.Label << ": " << run.Output;
        if (c.Message) {
            EXPECT_LT(run.Output.find(c.Message), statsAt) << c.Label << ": " << run.Output;
        }
        // The stats line ends the output: "<digits> us".
        const std::string hold = run.Output.substr(statsAt + std::strlen(c.Tally) + HoldText.size());
        ASSERT_GT(hold.size(), LineEnd.size()) << c.Label << ": " << run.Output;
        EXPECT_EQ(hold.substr(hold.size() - LineEnd.size()), LineEnd) << c.Label << ": " << run.Output;
        const std::string digits = hold.substr(0, hold.size() - LineEnd.size());
        ASSERT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << c.Label << ": " << run.Output;
        EXPECT_LT(std::stoul(digits), 1000000ul) << c.Label; // plausible (a short hold may read 0 us)
    }
    TakePosts();
}

TEST_F(SenderTest, CApiWritesAndReports)
{
    Publish(Terminal.Get());
    Area->PendingCount = 58;
    Area->WriteIndex = 0;
    Area->ChannelOn[4] = 0;

    VtCApiResults results{};
    VtCApiRun(&results);

    EXPECT_TRUE(results.Opened);
    EXPECT_EQ(results.Send, VT_OK);
    EXPECT_EQ(results.SendN, VT_OK);
    EXPECT_EQ(results.SendW, VT_OK);
    EXPECT_EQ(results.Lines, VT_OK);
    EXPECT_EQ(results.Flush, VT_OK);
    EXPECT_GT(results.HoldUs, 0u);
    EXPECT_EQ(results.ChannelOff, VT_CHANNEL_OFF);
    EXPECT_EQ(results.Fill, VT_OK);
    EXPECT_EQ(results.Overflow, VT_DROPPED);
    EXPECT_EQ(results.Dropped, 1u);
    for (const VtResult invalid :
         {results.BadChannel, results.NullSender, results.NullText, results.NullTextN, results.NullTextW, results.NullLine})
        EXPECT_EQ(invalid, VT_INVALID);
    EXPECT_EQ(results.NullDropped, 0u);

    const struct {
        int Channel;
        std::string Text;
    } slots[] = {{1, "c-text"}, {2, std::string("ab\0cd", 5)}, {3, Ansi(L"wide")}, {5, "first"}, {5, "second"}, {0, "fill"}};
    for (int slot = 0; slot < 6; ++slot) {
        EXPECT_EQ(Area->SlotChannel[slot], slots[slot].Channel) << slot;
        EXPECT_EQ(SlotText(*Area, slot), slots[slot].Text) << slot;
    }
    EXPECT_EQ(Area->PendingCount, Shm::SlotCount);
    EXPECT_EQ(Area->WriteIndex, 6);
    // The first call's: a terminal this sender had not notified. The count stayed above 0.
    EXPECT_EQ(TakePosts(), 1);
}

// ---- notifications ---------------------------------------------------------------------------

TEST_F(SenderTest, BurstIsAnnouncedOnceAndANewTerminalAtOnce)
{
    Publish(Terminal.Get());
    TEntrySender sender;
    constexpr int burst = 20;
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < burst; ++i)
        ASSERT_EQ(sender.Send(0, "burst " + std::to_string(i)), VT_OK);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_EQ(Area->PendingCount, burst);
    // One for the entry that found the count at 0, and a reminder for each 50 ms it took.
    const int posts = TakePosts();
    EXPECT_GE(posts, 1);
    EXPECT_LE(posts, 1 + static_cast<int>(elapsed / Sender::RenoticeMs));

    // A terminal that replaces this one hears of the next entry at once, though entries wait.
    TUniqueWindow next = CreateHiddenWindow();
    Publish(next.Get());
    ASSERT_EQ(sender.Send(0, "for the next terminal"), VT_OK);
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, next.Get(), DebugEntry, DebugEntry, PM_REMOVE));
}

TEST_F(SenderTest, TerminalThatSkipsAPassIsRemindedAndNothingIsStranded)
{
    // The "terminal" takes entries only when notified, and skips its first pass, as a
    // terminal does whose wait for the mutex timed out.
    Publish(Terminal.Get());
    TEntrySender sender;
    int readIndex = 0;
    int passes = 0;
    const auto handleNotifications = [&] {
        if (TakePosts() == 0 || passes++ == 0)
            return;
        while (Area->PendingCount > 0)
            TakeOneEntry(readIndex);
    };
    const ULONGLONG end = GetTickCount64() + 4 * Sender::RenoticeMs;
    int sent = 0;
    while (GetTickCount64() < end) {
        ASSERT_EQ(sender.Send(0, "line " + std::to_string(++sent)), VT_OK);
        handleNotifications();
        Sleep(10);
    }
    EXPECT_GE(passes, 2);
    EXPECT_EQ(Area->PendingCount, 0) << "of " << sent << " lines";
    EXPECT_EQ(readIndex, sent % Shm::SlotCount);
}

// ---- batches and buffered mode ---------------------------------------------------------------

std::vector<std::string> NumberedLines(const char* prefix, int count)
{
    std::vector<std::string> lines;
    for (int n = 1; n <= count; ++n)
        lines.push_back(prefix + std::to_string(n));
    return lines;
}

TSendTally SendLines(TEntrySender& sender, const std::vector<std::string>& lines)
{
    const std::vector<std::string_view> views(lines.begin(), lines.end());
    return sender.SendLines(0, views);
}

// Holds the exchange mutex from another thread for a while, as a slow sender would.
class TMutexHolder {
public:
    TMutexHolder(HANDLE mutex, DWORD holdMs)
        : FThread([this, mutex, holdMs] {
              const TShmLock lock(mutex, ProcessTimeoutMs);
              SetEvent(FHeld.Get());
              Sleep(holdMs);
          })
    {
        WaitForSingleObject(FHeld.Get(), ProcessTimeoutMs);
    }
    ~TMutexHolder() { FThread.join(); }
    TMutexHolder(const TMutexHolder&) = delete;
    TMutexHolder& operator=(const TMutexHolder&) = delete;

private:
    TUniqueHandle FHeld{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread FThread;
};

TEST_F(SenderTest, BatchWrapsTheRingInOrderWithOneNotice)
{
    Publish(Terminal.Get());
    Area->WriteIndex = 60;
    TEntrySender sender;
    const std::vector<std::string> lines = NumberedLines("batch ", 10);
    const TSendTally tally = SendLines(sender, lines);
    EXPECT_EQ(tally.Dropped, 0u);
    EXPECT_EQ(tally.LeftOut, 0u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(SlotText(*Area, (60 + i) % Shm::SlotCount), lines[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(Area->PendingCount, 10);
    EXPECT_EQ(Area->WriteIndex, 6);
    EXPECT_EQ(TakePosts(), 1);
    EXPECT_LT(sender.LongestHoldUs(), 1000000u); // plausible (a short hold may read 0 us)
}

TEST_F(SenderTest, BatchFillsTheRingAndGoesOnAsTheTerminalMakesRoom)
{
    Publish(Terminal.Get());
    Area->PendingCount = 60;
    Area->WriteIndex = 0;
    TEntrySender sender;
    sender.SetFullWait(ProcessTimeoutMs);
    // The "terminal" takes the ten oldest entries (slots 4 to 13) once the ring is full.
    std::thread terminal([this] {
        const ULONGLONG deadline = GetTickCount64() + ProcessTimeoutMs;
        while (Area->PendingCount < Shm::SlotCount && GetTickCount64() < deadline)
            Sleep(1);
        int readIndex = 4;
        for (int i = 0; i < 10; ++i)
            TakeOneEntry(readIndex);
    });
    const std::vector<std::string> lines = NumberedLines("fill ", 10);
    const TSendTally tally = SendLines(sender, lines);
    terminal.join();
    EXPECT_EQ(tally.Dropped, 0u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(SlotText(*Area, i), lines[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(Area->PendingCount, 60); // 60 + 10 written - 10 taken
    EXPECT_EQ(Area->WriteIndex, 10);
    EXPECT_EQ(sender.Dropped(), 0u);
}

TEST_F(SenderTest, BatchMeetingABusyMutexOrABrokenCountKeepsTheRules)
{
    Publish(Terminal.Get());
    const struct {
        const char* Label;
        DWORD HoldMs;        // another party holds the mutex this long first
        std::int32_t Count;  // PendingCount before
        unsigned long FullWaitMs;
        bool Written;
    } cases[] = {
        {"mutex busy for a while", 300, 0, 2000, true},
        {"mutex busy beyond the wait", 1500, 0, 200, false},
        {"broken count", 0, 70, 2000, false},
    };
    for (const auto& c : cases) {
        Guarded([&] {
            Area->PendingCount = c.Count;
            Area->WriteIndex = 0;
            Area->SlotText[0][0] = 0;
        });
        TEntrySender sender;
        sender.SetFullWait(c.FullWaitMs);
        const std::vector<std::uint8_t> before = Snapshot();
        TSendTally tally;
        {
            std::optional<TMutexHolder> holder;
            if (c.HoldMs > 0)
                holder.emplace(Mutex.Get(), c.HoldMs);
            tally = SendLines(sender, NumberedLines("busy ", 5));
        }
        if (c.Written) {
            EXPECT_EQ(tally.Dropped, 0u) << c.Label;
            EXPECT_EQ(Area->PendingCount, 5) << c.Label;
            EXPECT_EQ(SlotText(*Area, 4), "busy 5") << c.Label;
        } else {
            EXPECT_EQ(tally.Dropped, 5u) << c.Label;
            EXPECT_EQ(sender.Dropped(), 5u) << c.Label;
            EXPECT_EQ(Snapshot(), before) << c.Label;
        }
        TakePosts();
    }
}

struct TSenderCloser {
    void operator()(VtSender* sender) const noexcept { VtClose(sender); }
};

TEST_F(SenderTest, BufferedLineKeepsItsHandOverTimeAndIsWrittenWithoutAFlush)
{
    Publish(Terminal.Get());
    std::unique_ptr<VtSender, TSenderCloser> sender(VtOpen());
    ASSERT_TRUE(sender);
    VtSetBuffered(sender.get(), 1);
    double before = 0;
    double after = 0;
    {
        // The mutex is busy when the line is handed over: it is written later.
        const TMutexHolder holder(Mutex.Get(), 300);
        before = LocalNow();
        EXPECT_EQ(VtSend(sender.get(), 2, "buffered"), VT_OK);
        after = LocalNow();
    }
    const ULONGLONG deadline = GetTickCount64() + ProcessTimeoutMs;
    while (Area->PendingCount == 0 && GetTickCount64() < deadline)
        Sleep(PollMs);
    ASSERT_EQ(Area->PendingCount, 1);
    EXPECT_EQ(SlotText(*Area, 0), "buffered");
    EXPECT_EQ(Area->SlotChannel[0], 2);
    EXPECT_GE(Area->SlotTime[0], before - ClockToleranceDays);
    EXPECT_LE(Area->SlotTime[0], after + ClockToleranceDays);
    // The flushing thread posts right after its write.
    int posts = 0;
    while (posts == 0 && GetTickCount64() < deadline) {
        posts += TakePosts();
        Sleep(PollMs);
    }
    EXPECT_EQ(posts + TakePosts(), 1);

    // A switched-off channel leaves the line out at once, as without buffering.
    Area->ChannelOn[3] = 0;
    EXPECT_EQ(VtSend(sender.get(), 3, "left out"), VT_CHANNEL_OFF);
    EXPECT_EQ(VtSend(sender.get(), 10, "bad channel"), VT_INVALID);
}

TEST_F(SenderTest, BufferedLinesAreWrittenOnFlushOnCloseAndAtTheProcessEnd)
{
    Publish(Terminal.Get());
    constexpr int lines = 20;
    const std::vector<std::string> expected = NumberedLines("end ", lines);
    const std::function<void()> ways[] = {
        [&] {
            std::unique_ptr<VtSender, TSenderCloser> sender(VtOpen());
            VtSetBuffered(sender.get(), 1);
            for (const std::string& line : expected)
                VtSend(sender.get(), 0, line.c_str());
            EXPECT_EQ(VtFlush(sender.get()), VT_OK);
            EXPECT_EQ(Area->PendingCount, lines) << "right after VtFlush";
        },
        [&] {
            VtSender* sender = VtOpen();
            VtSetBuffered(sender, 1);
            for (const std::string& line : expected)
                VtSend(sender, 0, line.c_str());
            VtClose(sender);
        },
        [&] { EXPECT_EQ(RunProgram(L"vt_buffered_peer.exe", L"0 20 end exit").ExitCode, 0u); },
        [&] { EXPECT_EQ(RunProgram(L"vt_buffered_peer.exe", L"0 20 end return").ExitCode, 0u); },
    };
    const char* labels[] = {"VtFlush", "VtClose", "exit()", "return from main"};
    for (std::size_t way = 0; way < std::size(ways); ++way) {
        Guarded([&] {
            Area->PendingCount = 0;
            Area->WriteIndex = 0;
        });
        ways[way]();
        EXPECT_EQ(Area->PendingCount, lines) << labels[way];
        for (int i = 0; i < lines; ++i)
            EXPECT_EQ(SlotText(*Area, i), expected[static_cast<std::size_t>(i)]) << labels[way];
        TakePosts();
    }
}

TEST_F(SenderTest, LineFromAQuietPipeIsSentAtOnce)
{
    Publish(Terminal.Get());
    bool seen = false;
    const TRunResult run = RunVtsend(L"-c 1", "first\r\n", [] {}, [&] {
        // Standard input stays open until the line has arrived.
        seen = seen || Area->PendingCount == 1;
        return seen;
    });
    EXPECT_TRUE(seen);
    EXPECT_EQ(run.ExitCode, 0u) << run.Output;
    EXPECT_EQ(SlotText(*Area, 0), "first");
}

TEST(SenderSplit, EntriesNeverEndBetweenLeadAndTrailByte)
{
    const std::string hiragana = "\x82\xA0"; // one character in code page 932
    // Pieces appended one by one: text built as "literal" + string trips a false GCC warning.
    const auto text = [](std::initializer_list<std::pair<std::string_view, int>> pieces) {
        std::string result;
        for (const auto& [piece, times] : pieces)
            for (int i = 0; i < times; ++i)
                result += piece;
        return result;
    };
    const struct {
        UINT CodePage;
        std::string Text;
        std::size_t Length;
    } cases[] = {
        {1252, "", 0},
        {1252, text({{"a", 255}}), 255},
        {1252, text({{"a", 256}}), 255},
        {1252, text({{"a", 255}, {hiragana, 1}}), 255}, // no lead bytes in 1252
        {932, text({{"a", 1}, {hiragana, 127}}), 255},
        {932, text({{"a", 1}, {hiragana, 128}}), 255},
        {932, text({{hiragana, 128}}), 254},
        {932, text({{"a", 254}, {hiragana, 1}, {"b", 1}}), 254},
        {932, text({{"a", 255}, {"\x82", 1}}), 255},
        {CP_UTF8, text({{"a", 254}, {"\xC3\xA9", 1}}), 254},
        {CP_UTF8, text({{"a", 253}, {"\xE2\x82\xAC", 1}, {"x", 1}}), 253},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Sender::NextEntryLength(c.Text, c.CodePage), c.Length)
            << "code page " << c.CodePage << ", " << c.Text.size() << " bytes";
}

TEST(SenderSplit, SplitPiecesRebuildTheText)
{
    std::string text;
    for (int i = 0; i < 700; ++i)
        text += i % 3 == 0 ? std::string("x") : std::string("\x82\xA0");
    std::string rebuilt;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t length = Sender::NextEntryLength(rest, 932);
        ASSERT_GT(length, 0u);
        ASSERT_LE(length, 255u);
        rebuilt += rest.substr(0, length);
        rest.remove_prefix(length);
        // Each piece starts on a character: either a single byte or a lead byte.
        if (!rest.empty()) {
            EXPECT_TRUE(rest[0] == 'x' || rest[0] == '\x82');
        }
    }
    EXPECT_EQ(rebuilt, text);
}

TEST(SenderTime, FileTimeBecomesDaysSince1899)
{
    const struct {
        SYSTEMTIME Time; // year, month, day of week, day, hour, minute, second, ms
        double Days;
    } cases[] = {
        {{1899, 12, 0, 30, 0, 0, 0, 0}, 0.0},
        {{1900, 1, 0, 1, 0, 0, 0, 0}, 2.0},
        {{2000, 1, 0, 1, 12, 0, 0, 0}, 36526.5},
        {{2024, 3, 0, 5, 14, 5, 9, 250}, 45356.0 + (14 * 3600 + 5 * 60 + 9.25) / 86400.0},
        {{1601, 1, 0, 1, 0, 0, 0, 0}, -109205.0},
    };
    for (const auto& c : cases) {
        FILETIME fileTime;
        ASSERT_TRUE(SystemTimeToFileTime(&c.Time, &fileTime));
        EXPECT_NEAR(Sender::FileTimeToDateTime(fileTime), c.Days, 1e-9) << c.Time.wYear;
        EXPECT_NEAR(DateTimeOf(c.Time), c.Days, 1e-9) << "reference " << c.Time.wYear;
    }
}

TEST(SenderTime, CurrentDateTimeIsLocalNow)
{
    const double before = LocalNow();
    const double now = Sender::CurrentDateTime();
    const double after = LocalNow();
    EXPECT_GE(now, before - ClockToleranceDays);
    EXPECT_LE(now, after + ClockToleranceDays);
}

} // namespace
