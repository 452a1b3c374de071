#include "SystemTick.h"

#include <atomic>

namespace {

constexpr std::int64_t MicrosecondsPerMillisecond = 1000;
constexpr std::int64_t HundredNanosecondsPerMillisecond = 10000;
// Older SDKs lack the flag; systems before Windows 10 1803 refuse it.
constexpr DWORD HighResolutionFlag = 0x00000002; // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

std::atomic<bool> HighResolutionAllowed{true};

std::atomic<int>& SimulatedState() noexcept
{
    // -1 until the environment has been read.
    static std::atomic<int> state{-1};
    return state;
}

bool EnvironmentAsksForTheTick() noexcept
{
    wchar_t value[8] = {};
    const DWORD length = GetEnvironmentVariableW(SystemTick::EnvironmentName, value, 8);
    return length == 1 && value[0] == L'1';
}

std::int64_t NowMicroseconds() noexcept
{
    static const std::int64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // In two steps, so that a counter running for weeks does not overflow.
    const std::int64_t seconds = now.QuadPart / frequency;
    const std::int64_t rest = now.QuadPart % frequency;
    return seconds * 1000000 + rest * 1000000 / frequency;
}

std::int64_t CeilDiv(std::int64_t value, std::int64_t divisor) noexcept { return (value + divisor - 1) / divisor; }

} // namespace

bool SystemTick::Simulated() noexcept
{
    int state = SimulatedState().load();
    if (state < 0) {
        state = EnvironmentAsksForTheTick() ? 1 : 0;
        SimulatedState().store(state);
    }
    return state == 1;
}

void SystemTick::SetSimulated(bool simulated) noexcept { SimulatedState().store(simulated ? 1 : 0); }

DWORD SystemTick::AlignedToTick(std::int64_t nowUs, DWORD ms) noexcept
{
    if (ms == 0)
        return 0;
    const std::int64_t due = nowUs + static_cast<std::int64_t>(ms) * MicrosecondsPerMillisecond;
    const std::int64_t tick = CeilDiv(due, TickMicroseconds) * TickMicroseconds;
    return static_cast<DWORD>(CeilDiv(tick - nowUs, MicrosecondsPerMillisecond));
}

UINT SystemTick::TimerPeriodOfTicks(UINT ms) noexcept
{
    const std::int64_t ticks = ms == 0 ? 1 : CeilDiv(static_cast<std::int64_t>(ms) * MicrosecondsPerMillisecond, TickMicroseconds);
    return static_cast<UINT>(CeilDiv(ticks * TickMicroseconds, MicrosecondsPerMillisecond));
}

DWORD SystemTick::TimeoutMs(DWORD ms) noexcept
{
    if (ms == 0 || ms == INFINITE || !Simulated())
        return ms;
    return AlignedToTick(NowMicroseconds(), ms);
}

std::chrono::milliseconds SystemTick::Timeout(std::chrono::milliseconds wait) noexcept
{
    if (wait.count() <= 0 || wait.count() >= static_cast<std::int64_t>(INFINITE) || !Simulated())
        return wait;
    return std::chrono::milliseconds(TimeoutMs(static_cast<DWORD>(wait.count())));
}

UINT SystemTick::TimerMs(UINT ms) noexcept { return Simulated() ? TimerPeriodOfTicks(ms) : ms; }

void SystemTick::SleepFor(DWORD ms) noexcept { Sleep(TimeoutMs(ms)); }

TUniqueHandle SystemTick::HighResolutionTimer() noexcept
{
    if (!HighResolutionAllowed.load())
        return {};
    return TUniqueHandle(CreateWaitableTimerExW(nullptr, nullptr, HighResolutionFlag, TIMER_MODIFY_STATE | SYNCHRONIZE));
}

void SystemTick::AllowHighResolutionTimers(bool allowed) noexcept { HighResolutionAllowed.store(allowed); }

void SystemTick::SleepOn(HANDLE highResolutionTimer, DWORD ms) noexcept
{
    if (highResolutionTimer == nullptr) {
        SleepFor(ms);
        return;
    }
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<std::int64_t>(ms) * HundredNanosecondsPerMillisecond; // relative
    if (SetWaitableTimer(highResolutionTimer, &due, 0, nullptr, nullptr, FALSE))
        WaitForSingleObject(highResolutionTimer, INFINITE);
    else
        SleepFor(ms);
}

DWORD SystemTick::WaitFor(HANDLE handle, DWORD ms) noexcept { return WaitForSingleObject(handle, TimeoutMs(ms)); }
