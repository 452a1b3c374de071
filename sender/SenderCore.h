// The sender routine in C++: writes entries into the exchange area under the mutex and
// notifies the terminal. The C API (VtSender.h) and vtsend are thin layers over it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Exception.h"
#include "ExchangeObjects.h"
#include "ShmDefs.h"
#include "VtSender.h"
#include "WinHandles.h"

class ESenderError : public Exception {
public:
    using Exception::Exception;
};

namespace Sender {

inline constexpr unsigned long DefaultFullWaitMs = 1000;
// A full ring is looked at again, without the mutex, until it has room for RoomWorthWriting
// entries, or for all that are left when fewer: the terminal takes an entry in well under a
// millisecond and must not run dry while this sender sleeps. The ring is looked at this
// often on a high-resolution timer; where the system has none, our terminal's room event ends
// the wait as soon as a pass took entries, and without either the wait is a Sleep, which on
// Windows lasts a whole tick (about 15.6 ms).
inline constexpr unsigned long FullPollMs = 1;
// With the room event, the ring is looked at again after this long all the same: a wait
// that another sender's reset of the event cut short, or a terminal that has ended.
inline constexpr unsigned long RoomRecheckMs = 50;
inline constexpr std::int32_t RoomWorthWriting = 16;

// The room a sender with `left` entries still to write waits for in a full ring.
constexpr std::int32_t RoomToAwait(std::size_t left) noexcept
{
    return left < static_cast<std::size_t>(RoomWorthWriting) ? static_cast<std::int32_t>(left) : RoomWorthWriting;
}
// How long the answer whether the published terminal's window exists is kept.
inline constexpr ULONGLONG LivenessCheckMs = 100;
// While entries wait, the terminal is reminded at least this often.
inline constexpr ULONGLONG RenoticeMs = 50;
// One hold of the mutex writes entries for at most this long, far below the terminal's
// 100 ms wait.
inline constexpr std::int64_t MaxHoldUs = 1000;

// Length of the first entry cut from `rest`: all of it when it fits into one slot, else at
// most Shm::MaxTextLength bytes that never end between a lead and a trail byte of
// `codePage` (CP_ACP allowed). At least 1 for a non-empty text.
std::size_t NextEntryLength(std::string_view rest, UINT codePage) noexcept;

// A local FILETIME as a date-time value: days since 30 Dec 1899 00:00, the fraction of a
// day the time of day, in whole milliseconds.
double FileTimeToDateTime(const FILETIME& local) noexcept;
// The current local time as a date-time value.
double CurrentDateTime() noexcept;

// One entry as it goes into a slot, and the line of its call it belongs to.
struct TEntry {
    std::uint8_t Channel = 0;
    double Time = 0;
    std::string Text; // at most Shm::MaxTextLength bytes
    std::size_t Line = 0;
};

// Appends the entries of one line: the text split as NextEntryLength says, all with the
// same channel and time stamp; an empty text is one empty entry.
void AppendEntries(std::vector<TEntry>& entries, std::uint8_t channel, double time, std::string_view text,
                   std::size_t line);

} // namespace Sender

// What became of the lines of one call.
struct TSendTally {
    std::size_t LeftOut = 0; // the running terminal has the channel switched off
    std::size_t Dropped = 0; // at least one entry of the line was dropped
};

// The C API's answer for a call's tally (a call's lines are all left out or none).
VtResult ResultOf(const TSendTally& tally) noexcept;

class TEntrySender {
public:
    // Opens the area, creating it zero-filled when it does not exist, and the mutex, both
    // with the exchange's security. Throws ESenderError.
    TEntrySender();

    TEntrySender(const TEntrySender&) = delete;
    TEntrySender& operator=(const TEntrySender&) = delete;

    // Text in the ANSI code page; split into several entries when longer than 255 bytes.
    VtResult Send(unsigned channel, std::string_view text) noexcept;
    // Several lines on one channel, written in as few holds of the mutex as the ring allows.
    TSendTally SendLines(unsigned channel, std::span<const std::string_view> lines);

    // True when the running terminal has `channel` switched off: its lines are left out.
    bool ChannelOff(unsigned channel) const noexcept;
    // Writes the entries in order, as many per hold of the mutex as the ring has room for,
    // each hold at most Sender::MaxHoldUs long, and notifies the terminal. Returns how many
    // were written; the rest were dropped and counted. Waits at most once for a full ring.
    std::size_t WriteEntries(std::span<const Sender::TEntry> entries) noexcept;

    unsigned long Dropped() const noexcept { return FDropped; }
    void SetFullWait(unsigned long milliseconds) noexcept { FFullWaitMs = milliseconds; }
    // The longest this sender has held the mutex so far, in microseconds.
    unsigned long LongestHoldUs() const noexcept { return FLongestHoldUs; }

private:
    enum class TWriteOutcome { Written, Full, Broken, Busy };

    // The same, with TerminalRuns() as the call found it.
    bool ChannelOff(unsigned channel, bool terminalRuns) const noexcept;
    std::size_t WriteEntries(std::span<const Sender::TEntry> entries, bool terminalRuns) noexcept;

    // One hold of the mutex: writes entries from `next` on while the ring has room.
    TWriteOutcome TryWrite(std::span<const Sender::TEntry> entries, std::size_t& next, bool terminalRuns);
    void NoteHold(std::int64_t ticks) noexcept;
    // Waits until the ring has room worth a hold of the mutex, or until `deadline`.
    void AwaitRoom(std::int32_t room, ULONGLONG deadline) const noexcept;
    // Our terminal's room event, opened the first time it is found; null without one.
    HANDLE RoomEvent() const noexcept;
    HWND PublishedTerminal() const noexcept;
    // The published handle when it names a terminal's window, else null.
    HWND LiveTerminal() const noexcept;
    bool TerminalRuns() const noexcept;
    // Posts "DebugEntry" when the terminal could otherwise miss this sender's entries: after
    // an entry written onto a count of 0 (its pass may be over), to a terminal not notified
    // before, and at least every RenoticeMs while entries wait (a pass may have been skipped
    // when its wait for the mutex timed out). Other entries are taken by the pass that an
    // earlier notification started. `ringFull`: waiting for room, nothing new written.
    void Announce(bool ringFull) noexcept;

    TExchangeSection FSection{nullptr};
    TShmArea* FArea = nullptr;
    TUniqueHandle FMutex;
    UINT FDebugEntry = 0;
    std::int64_t FTicksPerSecond = 1;
    std::int64_t FHoldLimitTicks = 0; // Sender::MaxHoldUs in performance-counter ticks
    std::atomic<unsigned long> FFullWaitMs{Sender::DefaultFullWaitMs}; // set by the caller, read by a flusher
    std::atomic<unsigned long> FDropped{0};       // read by other threads of a buffered sender
    std::atomic<unsigned long> FLongestHoldUs{0};
    int FUnannounced = 0;       // entries written since the last call to Announce
    bool FOntoEmpty = false;    // one of them found the count at 0
    HWND FNotified = nullptr;   // the terminal notified last, and when
    ULONGLONG FLastNotice = 0;
    // TerminalRuns' last answer; a buffered sender asks from two threads.
    mutable std::mutex FRoomLock;
    mutable TUniqueHandle FRoomEvent; // under FRoomLock until opened
    mutable std::mutex FLivenessLock;
    mutable HWND FCheckedTerminal = nullptr;
    mutable ULONGLONG FCheckedAt = 0;
    mutable bool FCheckedAlive = false;
};
