#include "NaiveSender.h"

#include <algorithm>
#include <cstring>

#include "SenderCore.h"
#include "ShmLock.h"
#include "SystemTick.h"

namespace {

constexpr DWORD FullRetryMs = 1;      // how soon a full ring is looked at again
constexpr ULONGLONG GiveUpMs = 10000; // a terminal that takes nothing for this long is gone

} // namespace

TNaiveSender::TNaiveSender() : FDebugEntry(RegisterWindowMessageW(Shm::DebugEntryMessageName)) {}

bool TNaiveSender::Send(unsigned channel, std::string_view text)
{
    // Of the sender library only the clock and the slot wrap-around are used.
    const double time = Sender::CurrentDateTime();
    const ULONGLONG giveUp = GetTickCount64() + GiveUpMs;
    for (;;) {
        const TOutcome outcome = TryWrite(channel, time, text);
        if (outcome == TOutcome::Written) {
            Notify();
            return true;
        }
        if (GetTickCount64() >= giveUp)
            return false;
        if (outcome == TOutcome::Full)
            SystemTick::SleepFor(FullRetryMs); // the mutex is released meanwhile; a busy one was waited for already
    }
}

TNaiveSender::TOutcome TNaiveSender::TryWrite(unsigned channel, double time, std::string_view text)
{
    const TShmLock lock(FExchange.Mutex());
    if (!lock.Acquired())
        return TOutcome::Busy;
    TShmArea& area = FExchange.Area();
    if (area.PendingCount >= Shm::SlotCount)
        return TOutcome::Full;
    const std::int32_t slot = Shm::WrapSlot(area.WriteIndex);
    const std::size_t length = std::min<std::size_t>(text.size(), Shm::MaxTextLength);
    area.SlotChannel[slot] = static_cast<std::uint8_t>(channel);
    area.SlotTime[slot] = time;
    area.SlotText[slot][0] = static_cast<std::uint8_t>(length);
    std::memcpy(&area.SlotText[slot][1], text.data(), length);
    area.PendingCount = area.PendingCount + 1;
    area.WriteIndex = Shm::WrapSlot(slot + 1);
    return TOutcome::Written;
}

void TNaiveSender::Notify() const noexcept
{
    const auto terminal = reinterpret_cast<HWND>(static_cast<UINT_PTR>(FExchange.Area().TerminalWnd));
    if (terminal != nullptr)
        PostMessageW(terminal, FDebugEntry, 0, 0);
}
