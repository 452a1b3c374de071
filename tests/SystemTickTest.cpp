// Waits as Windows times them: time-outs that end on the 15.625 ms tick when asked to.
#include <windows.h>

#include <cstdint>

#include <gtest/gtest.h>

#include "SystemTick.h"

namespace {

class TSimulatedTick {
public:
    explicit TSimulatedTick(bool simulated) : FWas(SystemTick::Simulated()) { SystemTick::SetSimulated(simulated); }
    ~TSimulatedTick() { SystemTick::SetSimulated(FWas); }
    TSimulatedTick(const TSimulatedTick&) = delete;
    TSimulatedTick& operator=(const TSimulatedTick&) = delete;

private:
    bool FWas;
};

} // namespace

TEST(SystemTick, ATimeOutEndsOnTheFirstTickAtOrAfterItsEnd)
{
    const struct {
        std::int64_t NowUs;
        DWORD Ms;
        DWORD Expected;
    } cases[] = {
        {0, 0, 0},            // no wait stays none
        {0, 1, 16},           // 15.625 ms, rounded up to whole milliseconds
        {0, 15, 16},
        {0, 16, 32},          // 31.25 ms
        {15000, 1, 17},       // from 15 ms on: the tick at 31.25 ms
        {15625, 1, 16},       // right on a tick: the next one
        {15625, 15, 16},
        {31249, 1, 16},       // 31.25 ms is 1 µs away: 1 ms ends past it, at 46.875 ms
        {1000000, 100, 110},  // 1.1 s lies between the ticks at 1.09375 and 1.109375 s
        {0, 250, 250},        // 16 ticks exactly
    };
    for (const auto& c : cases)
        EXPECT_EQ(SystemTick::AlignedToTick(c.NowUs, c.Ms), c.Expected) << c.NowUs << " us + " << c.Ms << " ms";
}

TEST(SystemTick, ATimerRunsInWholeTicks)
{
    const struct {
        UINT Ms;
        UINT Expected;
    } cases[] = {{0, 16}, {1, 16}, {10, 16}, {16, 32}, {20, 32}, {50, 63}, {250, 250}, {251, 266}};
    for (const auto& c : cases)
        EXPECT_EQ(SystemTick::TimerPeriodOfTicks(c.Ms), c.Expected) << c.Ms;
}

TEST(SystemTick, OnlyASimulatedTickChangesTheTimeOuts)
{
    {
        const TSimulatedTick off(false);
        EXPECT_EQ(SystemTick::TimeoutMs(1), 1u);
        EXPECT_EQ(SystemTick::TimerMs(10), 10u);
        EXPECT_EQ(SystemTick::Timeout(std::chrono::milliseconds(5)), std::chrono::milliseconds(5));
    }
    const TSimulatedTick on(true);
    for (const DWORD kept : {DWORD{0}, DWORD{INFINITE}})
        EXPECT_EQ(SystemTick::TimeoutMs(kept), kept);
    const DWORD one = SystemTick::TimeoutMs(1);
    EXPECT_GE(one, 1u);
    EXPECT_LE(one, 17u); // up to the tick after the next millisecond
    EXPECT_EQ(SystemTick::TimerMs(10), 16u);
    const auto five = SystemTick::Timeout(std::chrono::milliseconds(5));
    EXPECT_GE(five.count(), 5);
    EXPECT_LE(five.count(), 21);
}
