#include "SenderCore.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "ShmLock.h"
#include "ShmUnguarded.h"
#include "SystemTick.h"

namespace Sender {

namespace {

constexpr ULONGLONG TicksPerMs = 10000; // FILETIME counts 100 ns
constexpr ULONGLONG MsPerDay = 86400000;
constexpr double DaysFrom1601To1899 = 109205; // 1 Jan 1601 to 30 Dec 1899

bool IsUtf8Continuation(char byte) noexcept
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

} // namespace

std::size_t NextEntryLength(std::string_view rest, UINT codePage) noexcept
{
    const std::size_t limit = Shm::MaxTextLength;
    if (rest.size() <= limit)
        return rest.size();

    const UINT resolved = codePage == CP_ACP ? GetACP() : codePage;
    if (resolved == CP_UTF8) {
        std::size_t length = limit;
        while (length > 1 && IsUtf8Continuation(rest[length]))
            --length;
        return length;
    }

    std::size_t length = 0;
    for (;;) {
        const bool lead = IsDBCSLeadByteEx(resolved, static_cast<BYTE>(rest[length])) != FALSE;
        const std::size_t charLength = lead && length + 1 < rest.size() ? 2 : 1;
        if (length + charLength > limit)
            return length;
        length += charLength;
    }
}

double FileTimeToDateTime(const FILETIME& local) noexcept
{
    const ULONGLONG ticks = (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    const ULONGLONG ms = ticks / TicksPerMs;
    // Whole days and the time of day apart, so the day number stays exact.
    return static_cast<double>(ms / MsPerDay) - DaysFrom1601To1899 +
           static_cast<double>(ms % MsPerDay) / static_cast<double>(MsPerDay);
}

void AppendEntries(std::vector<TEntry>& entries, std::uint8_t channel, double time, std::string_view text,
                   std::size_t line)
{
    std::size_t position = 0;
    do {
        const std::size_t length = NextEntryLength(text.substr(position), CP_ACP);
        entries.push_back({channel, time, std::string(text.substr(position, length)), line});
        position += length;
    } while (position < text.size());
}

double CurrentDateTime() noexcept
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME local;
    SystemTimeToFileTime(&now, &local);
    return FileTimeToDateTime(local);
}

} // namespace Sender

TEntrySender::TEntrySender()
{
    try {
        FSection.Open(); // fails for a section smaller than the area
        FMutex = Exchange::OpenAreaMutex();
    } catch (const Exception& failure) {
        throw ESenderError(failure.Message());
    }
    FArea = static_cast<TShmArea*>(FSection.Data());
    FDebugEntry = RegisterWindowMessageW(Shm::DebugEntryMessageName);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    FTicksPerSecond = frequency.QuadPart;
    FHoldLimitTicks = Sender::MaxHoldUs * FTicksPerSecond / 1000000;
}

VtResult TEntrySender::Send(unsigned channel, std::string_view text) noexcept
{
    if (channel >= static_cast<unsigned>(Shm::ChannelCount))
        return VT_INVALID;
    try {
        return ResultOf(SendLines(channel, std::span<const std::string_view>(&text, 1)));
    } catch (...) { // out of memory for the entries: nothing was written
        ++FDropped;
        return VT_DROPPED;
    }
}

TSendTally TEntrySender::SendLines(unsigned channel, std::span<const std::string_view> lines)
{
    if (channel >= static_cast<unsigned>(Shm::ChannelCount) || lines.empty())
        return {};
    const bool terminalRuns = TerminalRuns();
    if (ChannelOff(channel, terminalRuns))
        return {lines.size(), 0};

    const double time = Sender::CurrentDateTime();
    std::vector<Sender::TEntry> entries;
    entries.reserve(lines.size());
    for (std::size_t line = 0; line < lines.size(); ++line)
        Sender::AppendEntries(entries, static_cast<std::uint8_t>(channel), time, lines[line], line);

    const std::size_t written = WriteEntries(entries, terminalRuns);
    if (written == entries.size())
        return {};
    // Every line from the first one with a dropped entry on was dropped, in part or whole.
    return {0, lines.size() - entries[written].Line};
}

VtResult ResultOf(const TSendTally& tally) noexcept
{
    return tally.Dropped > 0 ? VT_DROPPED : tally.LeftOut > 0 ? VT_CHANNEL_OFF : VT_OK;
}

bool TEntrySender::ChannelOff(unsigned channel) const noexcept { return ChannelOff(channel, TerminalRuns()); }

bool TEntrySender::ChannelOff(unsigned channel, bool terminalRuns) const noexcept
{
    // The switches mean something only while a terminal runs: without one they are all 0.
    return channel < static_cast<unsigned>(Shm::ChannelCount) && terminalRuns &&
           ReadUnguarded<std::uint8_t>(*FArea, offsetof(TShmArea, ChannelOn) + channel) == 0;
}

std::size_t TEntrySender::WriteEntries(std::span<const Sender::TEntry> entries) noexcept
{
    return WriteEntries(entries, TerminalRuns());
}

std::size_t TEntrySender::WriteEntries(std::span<const Sender::TEntry> entries, bool terminalRuns) noexcept
{
    std::size_t next = 0;
    ULONGLONG deadline = GetTickCount64() + FFullWaitMs;
    bool giveUp = false;
    while (next < entries.size() && !giveUp) {
        const std::size_t before = next;
        switch (TryWrite(entries, next, terminalRuns)) {
        case TWriteOutcome::Written:
            break;
        case TWriteOutcome::Broken:
            giveUp = true;
            break;
        case TWriteOutcome::Full:
            // Without a terminal nobody makes room. Our own entries may be what fills the
            // ring: let the terminal know before waiting.
            giveUp = !TerminalRuns() || GetTickCount64() >= deadline;
            Announce(true);
            if (!giveUp)
                AwaitRoom(Sender::RoomToAwait(entries.size() - next), deadline);
            break;
        case TWriteOutcome::Busy:
            giveUp = GetTickCount64() >= deadline;
            break;
        }
        if (next > before)
            deadline = GetTickCount64() + FFullWaitMs; // each entry may wait the full time
    }
    // After one wait has run out, the rest is dropped at once: one wait per call at most.
    FDropped += static_cast<unsigned long>(entries.size() - next);
    Announce(false);
    return next;
}

TEntrySender::TWriteOutcome TEntrySender::TryWrite(std::span<const Sender::TEntry> entries, std::size_t& next,
                                                   bool terminalRuns)
{
    TShmLock lock(FMutex.Get());
    if (!lock.Acquired())
        return TWriteOutcome::Busy;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);

    TShmArea& area = *FArea;
    const std::int32_t pending = area.PendingCount;
    // A count outside 0..64 was not written by the protocol: whatever we wrote could
    // overwrite entries not taken yet or never be taken, so the area is left alone.
    if (pending < 0 || pending > Shm::SlotCount)
        return TWriteOutcome::Broken;
    if (pending == Shm::SlotCount)
        return TWriteOutcome::Full;

    // With nothing pending and no terminal, the next terminal starts reading at slot 0.
    std::int32_t slot = pending == 0 && !terminalRuns ? 0 : Shm::WrapSlot(area.WriteIndex);
    std::int32_t count = pending;
    LARGE_INTEGER now = start;
    do {
        const Sender::TEntry& entry = entries[next++];
        area.SlotChannel[slot] = entry.Channel;
        area.SlotTime[slot] = entry.Time;
        std::uint8_t* slotText = area.SlotText[slot];
        slotText[0] = static_cast<std::uint8_t>(entry.Text.size());
        if (!entry.Text.empty())
            std::memcpy(slotText + 1, entry.Text.data(), entry.Text.size());
        slot = Shm::WrapSlot(slot + 1);
        ++count;
        QueryPerformanceCounter(&now);
    } while (count < Shm::SlotCount && next < entries.size() && now.QuadPart - start.QuadPart < FHoldLimitTicks);
    area.PendingCount = count;
    area.WriteIndex = slot;

    FUnannounced += count - pending;
    FOntoEmpty = FOntoEmpty || pending == 0;
    NoteHold(now.QuadPart - start.QuadPart);
    return TWriteOutcome::Written;
}

void TEntrySender::AwaitRoom(std::int32_t room, ULONGLONG deadline) const noexcept
{
    // A high-resolution timer, else our terminal's room event, else a Sleep (Sender::FullPollMs).
    const TUniqueHandle timer = SystemTick::HighResolutionTimer();
    const HANDLE roomEvent = timer ? nullptr : RoomEvent();
    for (;;) {
        // Reset before the look: a pass that makes room after it sets the event again.
        if (roomEvent != nullptr)
            ResetEvent(roomEvent);
        // Unguarded, the count is only a hint; the write itself looks again under the mutex.
        const ULONGLONG now = GetTickCount64();
        if (PendingCountHint(*FArea) <= Shm::SlotCount - room || now >= deadline)
            return;
        if (timer)
            SystemTick::SleepOn(timer.Get(), Sender::FullPollMs);
        else if (roomEvent != nullptr)
            SystemTick::WaitFor(roomEvent, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, Sender::RoomRecheckMs)));
        else
            SystemTick::SleepFor(Sender::FullPollMs);
    }
}

HANDLE TEntrySender::RoomEvent() const noexcept
{
    const std::lock_guard lock(FRoomLock);
    if (!FRoomEvent)
        FRoomEvent = Exchange::OpenRoomEvent(false);
    return FRoomEvent.Get();
}

void TEntrySender::NoteHold(std::int64_t ticks) noexcept
{
    const auto us = static_cast<unsigned long>(ticks * 1000000 / FTicksPerSecond);
    if (us > FLongestHoldUs)
        FLongestHoldUs = us;
}

HWND TEntrySender::PublishedTerminal() const noexcept
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(ReadUnguarded<std::uint64_t>(*FArea, offsetof(TShmArea, TerminalWnd))));
}

// A handle left behind by a terminal that ended without its shutdown names no window, or
// another program's window once the system gave the handle out again. Asking the system is a
// round trip as costly as a send, so the answer is kept for a short while and asked again at
// once when another handle is published.
HWND TEntrySender::LiveTerminal() const noexcept
{
    const HWND terminal = PublishedTerminal();
    if (terminal == nullptr)
        return nullptr;
    const std::lock_guard lock(FLivenessLock);
    const ULONGLONG now = GetTickCount64();
    if (terminal != FCheckedTerminal || now - FCheckedAt >= Sender::LivenessCheckMs) {
        FCheckedTerminal = terminal;
        FCheckedAt = now;
        FCheckedAlive = Exchange::IsTerminalWindow(terminal);
    }
    return FCheckedAlive ? terminal : nullptr;
}

bool TEntrySender::TerminalRuns() const noexcept { return LiveTerminal() != nullptr; }

void TEntrySender::Announce(bool ringFull) noexcept
{
    if (FUnannounced == 0 && !ringFull)
        return;
    const HWND terminal = LiveTerminal();
    const ULONGLONG now = GetTickCount64();
    const bool due = FOntoEmpty || terminal != FNotified || now - FLastNotice >= Sender::RenoticeMs;
    if (ringFull && !due)
        return;
    FUnannounced = 0;
    FOntoEmpty = false;
    if (terminal == nullptr || !due)
        return;
    // A post that failed (a full queue) leaves the terminal due for the next call.
    if (!PostMessageW(terminal, FDebugEntry, 0, 0))
        return;
    FNotified = terminal;
    FLastNotice = now;
}
