// The names of writing processes: the system's lookup against real processes (this one and
// a writer that ends), and the cache against process ids that end, are reused or are gone,
// through processes that the test plays with events.
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "ProcessNames.h"
#include "TextCodec.h"
#include "WinHandles.h"
#include "support/DebugOutputPeers.h"

namespace {

constexpr char PeerName[] = "vt_dbwin_peer.exe";

std::string OwnName()
{
    wchar_t path[MAX_PATH];
    return WideToAnsi(PathFileName(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

TEST(ProcessNames, PathFileNameIsTheLastPart)
{
    const struct {
        const wchar_t* Path;
        const wchar_t* Name;
    } cases[] = {
        {L"C:\\Program Files\\App\\app.exe", L"app.exe"},
        {L"\\\\?\\C:\\dir\\tool.EXE", L"tool.EXE"},
        {L"/unix/style/prog", L"prog"},
        {L"bare.exe", L"bare.exe"},
        {L"C:\\dir\\", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathFileName(c.Path), c.Name) << testing::PrintToString(std::wstring(c.Path));
}

TEST(ProcessNames, TheSystemNamesARunningProcessAndTellsWhenItHasEnded)
{
    TProcessNames names;
    const std::string own = names.Name(GetCurrentProcessId());
    EXPECT_FALSE(own.empty());
    EXPECT_EQ(own, OwnName());

    // A writer that waits between its messages runs while it is asked.
    const auto writer = DebugOutputPeers::WriteCount(false, 200, L"named", 10);
    ASSERT_TRUE(writer->Started());
    EXPECT_EQ(names.Name(writer->Id), PeerName);
    TSystemProcessLookup lookup;
    std::optional<TNamedProcess> held = lookup.Open(writer->Id);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->Name, PeerName);
    EXPECT_FALSE(lookup.Ended(*held));
    ASSERT_EQ(writer->Finish(), 0u);
    EXPECT_TRUE(lookup.Ended(*held));
    // Its entry holds its id, so the name is still its own.
    EXPECT_EQ(names.Name(writer->Id), PeerName);
}

TEST(ProcessNames, IdsThatNameNoProcessGiveNoName)
{
    TProcessNames names;
    for (const std::uint32_t id : {0u, 0xFFFFFFF0u, 0xFFFFFFFFu})
        EXPECT_EQ(names.Name(id), "") << id;
}

// Processes played by manual-reset events: set, the process has ended.
class TPlayedProcesses final : public TProcessLookup {
public:
    // A process that runs under this id from now on, in place of an ended one of the same id.
    void Start(std::uint32_t id, const std::string& name)
    {
        FRunning[id] = {TUniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)), name};
    }
    void End(std::uint32_t id) { SetEvent(FRunning.at(id).Ended.Get()); }
    // Ended and its id free: nothing answers to it.
    void Forget(std::uint32_t id) { FRunning.erase(id); }

    std::optional<TNamedProcess> Open(std::uint32_t id) override
    {
        const auto found = FRunning.find(id);
        if (found == FRunning.end())
            return std::nullopt;
        HANDLE copy = nullptr;
        DuplicateHandle(GetCurrentProcess(), found->second.Ended.Get(), GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        return TNamedProcess{TUniqueHandle(copy), found->second.Name};
    }

    bool Ended(const TNamedProcess& process) override
    {
        return WaitForSingleObject(process.Handle.Get(), 0) == WAIT_OBJECT_0;
    }

private:
    struct TPlayed {
        TUniqueHandle Ended;
        std::string Name;
    };
    std::map<std::uint32_t, TPlayed> FRunning;
};

class PlayedProcessNames : public testing::Test {
protected:
    PlayedProcessNames()
    {
        auto played = std::make_unique<TPlayedProcesses>();
        Played = played.get();
        Names = std::make_unique<TProcessNames>(std::move(played));
    }

    TPlayedProcesses* Played = nullptr;
    std::unique_ptr<TProcessNames> Names;
};

TEST_F(PlayedProcessNames, AnEndedProcessKeepsItsIdUntilANewProcessIsAskedThenTheIdNamesItsSuccessor)
{
    Played->Start(100, "first.exe");
    EXPECT_EQ(Names->Name(100), "first.exe");
    Played->End(100);
    // Still held: its last messages are still its own.
    EXPECT_EQ(Names->Name(100), "first.exe");
    Played->Start(200, "other.exe");
    EXPECT_EQ(Names->Name(200), "other.exe");
    // The id was let go when the other process was asked; a new process got it.
    Played->Start(100, "second.exe");
    EXPECT_EQ(Names->Name(100), "second.exe");
    EXPECT_EQ(Names->Name(200), "other.exe");
}

TEST_F(PlayedProcessNames, AGoneProcessLosesItsNameAndACacheOfEndedOnesIsDroppedForANewOne)
{
    Played->Start(7, "gone.exe");
    Played->Start(8, "reused.exe");
    EXPECT_EQ(Names->Name(7), "gone.exe");
    EXPECT_EQ(Names->Name(8), "reused.exe");
    Played->End(7);
    Played->End(8);
    Played->Forget(7);
    // A new process is asked: the entries of both ended ones go.
    Played->Start(9, "new.exe");
    EXPECT_EQ(Names->Name(9), "new.exe");
    Played->Start(8, "successor.exe");
    EXPECT_EQ(Names->Name(7), "");
    EXPECT_EQ(Names->Name(8), "successor.exe");
}

} // namespace
