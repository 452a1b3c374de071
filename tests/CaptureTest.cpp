// Capture of OutputDebugString against the real debug-output buffer of the Wine prefix:
// writer processes calling OutputDebugStringA and OutputDebugStringW, another reader, buffer
// contents that no writer of the system would leave (written by the test itself), and the
// release of the objects.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DebugOutputBuffer.h"
#include "DebugOutputCapture.h"
#include "ObjectSecurity.h"
#include "TextCodec.h"
#include "WinHandles.h"
#include "support/DebugOutputPeers.h"
#include "support/SecurityReadback.h"
#include "support/TerminalProcess.h"

namespace {

using namespace DebugOutputPeers;
using TerminalProcess::PollUntil;

constexpr DWORD PageSize = 4096;
constexpr char PeerName[] = "vt_dbwin_peer.exe";

// A page whose end is followed by a page that cannot be read: a read past the end crashes.
class TGuardedPage {
public:
    TGuardedPage() : FBase(static_cast<char*>(VirtualAlloc(nullptr, 2 * PageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)))
    {
        DWORD old = 0;
        VirtualProtect(FBase + PageSize, PageSize, PAGE_NOACCESS, &old);
    }
    ~TGuardedPage() { VirtualFree(FBase, 0, MEM_RELEASE); }
    TGuardedPage(const TGuardedPage&) = delete;
    TGuardedPage& operator=(const TGuardedPage&) = delete;

    // `bytes` placed so that they end where the readable memory ends.
    const char* AtEnd(const std::string& bytes) const
    {
        char* start = FBase + PageSize - bytes.size();
        std::memcpy(start, bytes.data(), bytes.size());
        return start;
    }

private:
    char* FBase;
};

std::string ProcessIdBytes(std::uint32_t id)
{
    std::string bytes(sizeof id, '\0');
    std::memcpy(bytes.data(), &id, sizeof id);
    return bytes;
}

struct TBufferCase {
    const char* Name;
    std::string Bytes;
    std::uint32_t ProcessId;
    std::string Text;
};

TEST(DebugOutputBuffer, AnyBytesGiveAMessageAndNothingPastTheBufferIsRead)
{
    const std::string full(DebugOutput::MaxTextSize, 'x');
    const TBufferCase cases[] = {
        {"text and terminator", ProcessIdBytes(1234) + std::string("hello\0junk", 10), 1234, "hello"},
        {"4092 bytes of text, no terminator", ProcessIdBytes(7) + full, 7, full},
        {"zero process id", ProcessIdBytes(0) + std::string("a\0", 2), 0, "a"},
        {"bytes no code page has", ProcessIdBytes(0xFFFFFFFF) + std::string("\x81\xFF\xFE\x01", 4), 0xFFFFFFFF,
         "\x81\xFF\xFE\x01"},
        {"nothing after the process id", ProcessIdBytes(5), 5, ""},
        {"shorter than a process id", "\x01\x02\x03", 0, ""},
        {"empty", "", 0, ""},
    };
    const TGuardedPage page;
    for (const TBufferCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TDebugOutputMessage message = ReadDebugOutputBuffer(page.AtEnd(c.Bytes), c.Bytes.size());
        EXPECT_EQ(message.ProcessId, c.ProcessId);
        EXPECT_EQ(message.Text, c.Text);
    }
}

// A capture whose wake-ups are counted; the messages are taken by the test.
class DebugOutputCapture : public testing::Test {
protected:
    std::function<void()> Wake()
    {
        return [this] { ++Wakes; };
    }

    // Takes the messages that `wanted` picks, until there are `count` of them (or the wait has
    // run out: a writer's last message may still be on its way to the queue when the writer
    // has ended); the others are dropped.
    static std::vector<TDebugOutputMessage> TakeMessages(TDebugOutputCapture& capture, std::size_t count,
                                                         const std::function<bool(const TDebugOutputMessage&)>& wanted)
    {
        std::vector<TDebugOutputMessage> messages;
        PollUntil([&] {
            for (TDebugOutputMessage& message : capture.Take(SIZE_MAX))
                if (wanted(message))
                    messages.push_back(std::move(message));
            return messages.size() >= count;
        });
        return messages;
    }

    // Takes messages into Texts, those of process `id`, until it holds `count`.
    std::vector<std::string> Collect(TDebugOutputCapture& capture, DWORD id, std::size_t count)
    {
        const auto fromId = [id](const TDebugOutputMessage& message) { return message.ProcessId == id; };
        for (TDebugOutputMessage& message : TakeMessages(capture, count - std::min(count, Texts.size()), fromId))
            Texts.push_back(std::move(message.Text));
        return Texts;
    }

    std::atomic<int> Wakes{0};
    std::vector<std::string> Texts;
};

TEST_F(DebugOutputCapture, WritersOfBothKindsArriveInOrderWithTheirProcessIdsAndWakeTheConsumerOnce)
{
    TDebugOutputCapture capture(Wake());
    // Nothing is taken while they write: every message waits in the queue.
    const auto narrow = WriteCount(false, 300, L"narrow");
    ASSERT_EQ(narrow->Finish(), 0u);
    const auto wide = WriteText(true, L"Gr\\xFC\\xDF" L"e \u0436"); // ü, ß and a Cyrillic zhe
    ASSERT_EQ(wide->Finish(), 0u);
    EXPECT_EQ(Wakes.load(), 1);

    const std::vector<TDebugOutputMessage> messages =
        TakeMessages(capture, 301, [&](const TDebugOutputMessage& message) {
            return message.ProcessId == narrow->Id || message.ProcessId == wide->Id;
        });
    ASSERT_EQ(messages.size(), 301u);
    for (std::size_t i = 0; i < 300; ++i) {
        EXPECT_EQ(messages[i].ProcessId, narrow->Id);
        EXPECT_EQ(messages[i].ProcessName, PeerName);
        EXPECT_EQ(messages[i].Text, "narrow " + std::to_string(i + 1));
    }
    // OutputDebugStringW hands on the ANSI code page's text.
    EXPECT_EQ(messages[300].ProcessId, wide->Id);
    EXPECT_EQ(messages[300].Text, WideToAnsi(L"Gr\u00FC\u00DFe \u0436"));
    EXPECT_FALSE(capture.Waiting());

    // Not woken again until the consumer, having found the queue empty, arms the wake.
    const auto unannounced = WriteText(false, L"unannounced");
    ASSERT_EQ(unannounced->Finish(), 0u);
    ASSERT_TRUE(PollUntil([&] { return capture.Waiting(); }));
    EXPECT_FALSE(capture.ArmWake());
    EXPECT_EQ(Collect(capture, unannounced->Id, 1), std::vector<std::string>{"unannounced"});
    EXPECT_EQ(Wakes.load(), 1);
    EXPECT_TRUE(capture.ArmWake());
    const auto next = WriteText(false, L"again");
    ASSERT_EQ(next->Finish(), 0u);
    EXPECT_TRUE(PollUntil([&] { return Wakes.load() == 2; }));
}

TEST_F(DebugOutputCapture, MessagesAreStampedWithTheLocalTimeOfCapture)
{
    TDebugOutputCapture capture(Wake());
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const auto writer = WriteText(false, L"stamped");
    ASSERT_EQ(writer->Finish(), 0u);
    const std::vector<TDebugOutputMessage> found =
        TakeMessages(capture, 1, [&](const TDebugOutputMessage& message) { return message.ProcessId == writer->Id; });
    ASSERT_EQ(found.size(), 1u);
    const TDebugOutputMessage& stamped = found.front();
    SYSTEMTIME after{};
    GetLocalTime(&after);
    const auto ticks = [](const SYSTEMTIME& time) {
        FILETIME file{};
        SystemTimeToFileTime(&time, &file);
        return (static_cast<std::uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    };
    EXPECT_LE(ticks(before), ticks(stamped.Time));
    EXPECT_LE(ticks(stamped.Time), ticks(after));
}

// The test writes into the buffer itself, as a writer does, but with bytes that no call of
// OutputDebugString leaves there.
TEST_F(DebugOutputCapture, HostileBufferContentsGiveMessagesAndTheCaptureGoesOn)
{
    TDebugOutputCapture capture(Wake());
    const TUniqueHandle mapping(OpenFileMappingW(FILE_MAP_WRITE, FALSE, DebugOutput::BufferName));
    const TUniqueHandle bufferReady(OpenEventW(SYNCHRONIZE, FALSE, DebugOutput::BufferReadyName));
    const TUniqueHandle dataReady(OpenEventW(EVENT_MODIFY_STATE, FALSE, DebugOutput::DataReadyName));
    ASSERT_TRUE(mapping && bufferReady && dataReady);
    const TMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, DebugOutput::BufferSize));
    ASSERT_TRUE(view);
    const std::uint32_t marker = 0x7E57ED;
    const std::string full(DebugOutput::MaxTextSize, 'z');
    const std::string contents[] = {
        ProcessIdBytes(marker) + full, // no terminator anywhere
        ProcessIdBytes(marker) + std::string("\x81\xFF", 2) + std::string(DebugOutput::MaxTextSize - 2, '\0'),
        std::string(DebugOutput::BufferSize, '\0'), // process id 0, empty text
    };
    for (const std::string& bytes : contents) {
        ASSERT_EQ(WaitForSingleObject(bufferReady.Get(), TerminalProcess::WaitLimitMs), WAIT_OBJECT_0);
        std::memcpy(view.Get(), bytes.data(), bytes.size());
        SetEvent(dataReady.Get());
    }
    const std::vector<TDebugOutputMessage> messages = TakeMessages(capture, 3, [&](const TDebugOutputMessage& message) {
        return message.ProcessId == marker || message.ProcessId == 0;
    });
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].Text, full);
    EXPECT_EQ(messages[1].Text, "\x81\xFF");
    EXPECT_EQ(messages[2].ProcessId, 0u);
    EXPECT_EQ(messages[2].Text, "");

    const auto writer = WriteText(false, L"after them");
    ASSERT_EQ(writer->Finish(), 0u);
    EXPECT_EQ(Collect(capture, writer->Id, 1), std::vector<std::string>{"after them"});
}

TEST_F(DebugOutputCapture, AnotherReaderKeepsTheBufferAndGoesOnReading)
{
    TOtherReader other;
    ASSERT_TRUE(other.Ready());
    EXPECT_THROW(TDebugOutputCapture capture(Wake()), EDebugOutputInUse);
    const auto writer = WriteCount(false, 3, L"theirs");
    EXPECT_EQ(writer->Finish(), 0u);
    EXPECT_EQ(other.Stop(), 3u); // every message went to the other reader
    ASSERT_TRUE(PollUntil(BufferObjectsGone));

    TDebugOutputCapture capture(Wake()); // free again
    const auto next = WriteText(false, L"ours");
    ASSERT_EQ(next->Finish(), 0u);
    EXPECT_EQ(Collect(capture, next->Id, 1), std::vector<std::string>{"ours"});
}

TEST_F(DebugOutputCapture, StopIsPromptAndReleasesTheObjects)
{
    auto capture = std::make_unique<TDebugOutputCapture>(Wake());
    const auto writer = WriteCount(false, 1000000, L"flood");
    ASSERT_TRUE(PollUntil([&] { return capture->Waiting(); }));
    const auto start = std::chrono::steady_clock::now();
    capture->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(capture->Waiting()); // what was taken stays for Take
    capture.reset();
    // The writer still holds the objects while it waits for a reader (up to 10 s per call).
    writer->Kill();
    EXPECT_TRUE(BufferObjectsGone());
}

// Switched off and on while a writer writes: the writer holds the objects it opened, and the
// new capture takes them over, including a message written in between.
TEST_F(DebugOutputCapture, RestartWhileAWriterWritesTakesTheLeftObjectsOver)
{
    constexpr int Count = 400;
    const auto writer = WriteCount(false, Count, L"seq", 1);
    for (int round = 0; round < 4; ++round) {
        TDebugOutputCapture capture(Wake());
        const std::size_t before = Texts.size();
        Collect(capture, writer->Id, before + 20);
        EXPECT_GE(Texts.size(), before + 20) << "round " << round;
    }
    TDebugOutputCapture capture(Wake());
    ASSERT_TRUE(PollUntil([&] {
        Collect(capture, writer->Id, 1);
        return !Texts.empty() && Texts.back() == "seq " + std::to_string(Count);
    }));
    EXPECT_EQ(writer->Finish(), 0u);
    // In order, none twice; what came while no capture ran is missing.
    int last = 0;
    for (const std::string& text : Texts) {
        const int n = std::stoi(text.substr(4));
        EXPECT_GT(n, last) << text;
        last = n;
    }
}

// The objects carry the descriptor that lets every process of the session write, in both
// namespaces: the DACL and the label read back from the real objects, each in a call of its own.
TEST_F(DebugOutputCapture, TheObjectsOfBothScopesLetEveryProcessOfTheSessionWrite)
{
    const TObjectSecurity expected(TObjectSecurityKind::DebugOutput);
    const std::vector<SecurityReadback::TAce> dacl = SecurityReadback::DaclOf(expected.Descriptor());
    const std::vector<SecurityReadback::TAce> label = SecurityReadback::LabelOf(expected.Descriptor());
    ASSERT_FALSE(dacl.empty());
    ASSERT_FALSE(label.empty());
    const struct {
        TDebugOutputScope Scope;
        std::wstring Prefix;
    } scopes[] = {{TDebugOutputScope::Session, L""}, {TDebugOutputScope::Global, DebugOutput::GlobalPrefix}};
    for (const auto& scope : scopes) {
        const TDebugOutputCapture capture(Wake(), scope.Scope);
        const TUniqueHandle objects[] = {
            TUniqueHandle(OpenFileMappingW(READ_CONTROL, FALSE, (scope.Prefix + DebugOutput::BufferName).c_str())),
            TUniqueHandle(OpenEventW(READ_CONTROL, FALSE, (scope.Prefix + DebugOutput::BufferReadyName).c_str())),
            TUniqueHandle(OpenEventW(READ_CONTROL, FALSE, (scope.Prefix + DebugOutput::DataReadyName).c_str())),
        };
        for (const TUniqueHandle& object : objects) {
            SCOPED_TRACE(testing::PrintToString(scope.Prefix));
            ASSERT_TRUE(object);
            EXPECT_EQ(SecurityReadback::ObjectDacl(object.Get()), dacl);
            EXPECT_EQ(SecurityReadback::ObjectLabel(object.Get()), label);
        }
    }
}

// A service's writes go through the global objects, which only a global capture reads; the
// session's objects stay untouched by it.
TEST_F(DebugOutputCapture, AGlobalCaptureReadsWhatIsWrittenThroughTheGlobalObjects)
{
    TDebugOutputCapture capture(Wake(), TDebugOutputScope::Global);
    EXPECT_TRUE(BufferObjectsGone());
    const auto service = WriteGlobal(3, L"service");
    ASSERT_EQ(service->Finish(), 0u);
    const std::vector<TDebugOutputMessage> messages = TakeMessages(
        capture, 3, [&](const TDebugOutputMessage& message) { return message.ProcessId == service->Id; });
    ASSERT_EQ(messages.size(), 3u);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].Text, "service " + std::to_string(i + 1));
        EXPECT_EQ(messages[i].ProcessName, PeerName);
    }
    EXPECT_EQ(Wakes.load(), 1);
}

// Wine lets every process use every object, so the refusals are given here as Windows gives them.
TEST(DebugOutputObjects, AnAccessDeniedSaysWhetherTheObjectsAreAnotherReadersOrMayNotBeMade)
{
    try {
        ThrowDebugOutputObjectError(L"DBWIN_BUFFER", ERROR_ACCESS_DENIED, true);
        ADD_FAILURE() << "nothing thrown";
    } catch (const EDebugOutputInUse& inUse) {
        EXPECT_NE(inUse.Message().find(L"running as administrator or as another user"), std::wstring::npos);
    }
    const struct {
        DWORD Error;
        const wchar_t* Says;
    } refusals[] = {
        {ERROR_ACCESS_DENIED, L"administrator rights"},
        {ERROR_INVALID_HANDLE, L"Global\\DBWIN_BUFFER: "},
    };
    for (const auto& refusal : refusals) {
        try {
            ThrowDebugOutputObjectError(L"Global\\DBWIN_BUFFER", refusal.Error, false);
            ADD_FAILURE() << "nothing thrown for " << refusal.Error;
        } catch (const EDebugOutputInUse&) {
            ADD_FAILURE() << "taken for another reader's objects: " << refusal.Error;
        } catch (const Exception& failure) {
            EXPECT_NE(failure.Message().find(refusal.Says), std::wstring::npos) << failure.what();
        }
    }
}

TEST(DebugOutputObjects, AnObjectOfAnyTypeCountsAsExisting)
{
    const std::wstring tag = std::to_wstring(GetCurrentProcessId());
    const std::wstring eventName = L"vt_exists_event_" + tag;
    const std::wstring mappingName = L"vt_exists_mapping_" + tag;
    const TUniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    const TUniqueHandle mapping(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, PageSize, mappingName.c_str()));
    ASSERT_TRUE(event && mapping);
    EXPECT_TRUE(NamedObjectExists(eventName));
    EXPECT_TRUE(NamedObjectExists(mappingName));
    EXPECT_FALSE(NamedObjectExists(L"vt_exists_nothing_" + tag));
}

} // namespace
