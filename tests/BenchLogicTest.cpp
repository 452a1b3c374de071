// The benchmark's own logic that needs no window: reading the tags back from display lines
// (the bench sender's and vtsend's form), what a series of screen looks says, and vtsend's
// stats line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "BenchLooks.h"
#include "BenchShared.h"
#include "BenchVtSendStats.h"

namespace {

using Bench::TEntryTag;
using Bench::TScreenLook;

struct TTagCase {
    const char* Line;
    std::optional<TEntryTag> Expected;
};

TEST(BenchTag, FoundInBothFormsAndNowhereElse)
{
    const TTagCase cases[] = {
        {"-M- R5 S2 #0000017 the quick brown fox", TEntryTag{5, 2, 17}},
        {"-M- R5 S2 # 17", TEntryTag{5, 2, 17}},                   // vtsend --count "R5 S2 #"
        {"-3- 05.03.2024 R RR12 S4 # 9", TEntryTag{12, 4, 9}},     // an R before the tag
        {"R5 S2 #", std::nullopt},
        {"R5 S2 #  17", std::nullopt},
        {"R5 S # 17", std::nullopt},
    };
    for (const TTagCase& test : cases) {
        const std::string line = test.Line;
        const std::wstring wide(line.begin(), line.end());
        for (const std::optional<TEntryTag>& found : {Bench::FindEntryTag(line), Bench::FindEntryTag(wide)}) {
            ASSERT_EQ(found.has_value(), test.Expected.has_value()) << line;
            if (found) {
                EXPECT_EQ(found->Run, test.Expected->Run) << line;
                EXPECT_EQ(found->Sender, test.Expected->Sender) << line;
                EXPECT_EQ(found->Seq, test.Expected->Seq) << line;
            }
        }
    }
}

TEST(BenchTag, TheHeadIsWhatVtsendGetsAndTheEntryTextStartsWith)
{
    EXPECT_EQ(Bench::TagHead(7, 3), L"R7 S3 #");
    const std::optional<TEntryTag> tag = Bench::FindEntryTag(Bench::MakeEntryText({7, 3, 42}, 60));
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->Seq, 42u);
}

// Looks at 10 to 50: the screen changed before 30 and before 50.
const std::vector<TScreenLook> Looks = {{10, 1}, {20, 1}, {30, 2}, {40, 2}, {50, 3}};

TEST(BenchLooks, ChangesAreCountedByTheLookThatSawThem)
{
    EXPECT_EQ(Bench::CountLooks(Looks, 10, 40), 3);
    EXPECT_EQ(Bench::CountChanges(Looks, 0, 50), 2);
    EXPECT_EQ(Bench::CountChanges(Looks, 30, 50), 1);
    EXPECT_EQ(Bench::CountChanges(Looks, 30, 40), 0);
}

TEST(BenchLooks, AChangeMayHaveBeenDrawnAnywhereSinceTheLookBefore)
{
    EXPECT_EQ(Bench::FirstChangeAfter(Looks, 0), 30);
    EXPECT_EQ(Bench::FirstChangeAfter(Looks, 25), 30); // drawn between 20 and 30
    EXPECT_EQ(Bench::FirstChangeAfter(Looks, 30), 50);
    EXPECT_EQ(Bench::FirstChangeAfter(Looks, 50), std::nullopt);
    EXPECT_EQ(Bench::LastChange(Looks), 50);
    EXPECT_EQ(Bench::LastChange({{10, 1}, {20, 1}}), std::nullopt);
}

TEST(BenchVtSendStats, TheHoldComesFromTheStatsLineAndEveryOtherLineIsAMessage)
{
    const std::string dropped = "vtsend: 6 of 10 line(s) dropped: the ring stayed full or the exchange area is damaged\r\n";
    const std::string tally = "vtsend: 10 line(s): 4 sent, 0 left out, 6 dropped";
    const struct {
        std::string Output;
        std::optional<std::int64_t> Hold;
        std::string Messages;
    } cases[] = {
        {"vtsend: 20000 line(s): 20000 sent, 0 left out, 0 dropped; longest hold of the mutex 140 us\r\n", 140, ""},
        {dropped + tally + "; longest hold of the mutex 0 us\r\n", 0, dropped},
        {tally + "; longest hold of the mutex 1734 us", 1734, ""}, // no line end
        {"", std::nullopt, ""},
        {dropped, std::nullopt, dropped},
        {tally + "; longest hold of the mutex us\r\n", std::nullopt, tally + "; longest hold of the mutex us\r\n"},
        {tally + "; longest hold of the mutex 12 ms\n", std::nullopt, tally + "; longest hold of the mutex 12 ms\n"},
        {tally + "; longest hold of the mutex -5 us\n", std::nullopt, tally + "; longest hold of the mutex -5 us\n"},
        {tally + "; longest hold of the mutex 99999999999999999999 us", std::nullopt,
         tally + "; longest hold of the mutex 99999999999999999999 us"},
        {"other: 1 line(s); longest hold of the mutex 5 us", std::nullopt,
         "other: 1 line(s); longest hold of the mutex 5 us"},
    };
    for (const auto& c : cases) {
        const Bench::TVtSendStats stats = Bench::ReadVtSendStats(c.Output);
        EXPECT_EQ(stats.LongestHoldUs, c.Hold) << c.Output;
        EXPECT_EQ(stats.Messages, c.Messages) << c.Output;
    }
}

} // namespace
