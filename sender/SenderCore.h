// The sender routine in C++: writes entries into the exchange area under the mutex and
// notifies the terminal. The C API (VtSender.h) and vtsend are thin layers over it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Exception.h"
#include "ShmDefs.h"
#include "VtSender.h"
#include "WinHandles.h"

class ESenderError : public Exception {
public:
    using Exception::Exception;
};

namespace Sender {

inline constexpr unsigned long DefaultFullWaitMs = 1000;
inline constexpr unsigned long FullPollMs = 5; // how often a full ring is looked at again
// While entries wait, the terminal is reminded at least this often.
inline constexpr ULONGLONG RenoticeMs = 50;

// Length of the first entry cut from `rest`: all of it when it fits into one slot, else at
// most Shm::MaxTextLength bytes that never end between a lead and a trail byte of
// `codePage` (CP_ACP allowed). At least 1 for a non-empty text.
std::size_t NextEntryLength(std::string_view rest, UINT codePage) noexcept;

// A local FILETIME as a date-time value: days since 30 Dec 1899 00:00, the fraction of a
// day the time of day, in whole milliseconds.
double FileTimeToDateTime(const FILETIME& local) noexcept;
// The current local time as a date-time value.
double CurrentDateTime() noexcept;

// The slot a WriteIndex value stands for: wrapped into 0..63.
constexpr std::int32_t SanitizeSlot(std::int32_t writeIndex) noexcept
{
    const std::int32_t slot = writeIndex % Shm::SlotCount;
    return slot < 0 ? slot + Shm::SlotCount : slot;
}

} // namespace Sender

class TEntrySender {
public:
    // Opens the area, creating it zero-filled when it does not exist, and the mutex.
    // Throws ESenderError.
    TEntrySender();

    TEntrySender(const TEntrySender&) = delete;
    TEntrySender& operator=(const TEntrySender&) = delete;

    // Text in the ANSI code page; split into several entries when longer than 255 bytes.
    VtResult Send(unsigned channel, std::string_view text) noexcept;

    unsigned long Dropped() const noexcept { return FDropped; }
    void SetFullWait(unsigned long milliseconds) noexcept { FFullWaitMs = milliseconds; }

private:
    enum class TWriteOutcome { Written, Full, Broken, Busy };

    bool WriteEntry(std::uint8_t channel, double time, std::string_view text, bool terminalRuns);
    TWriteOutcome TryWrite(std::uint8_t channel, double time, std::string_view text, bool terminalRuns);
    HWND PublishedTerminal() const noexcept;
    bool TerminalRuns() const noexcept;
    // Posts "DebugEntry" when the terminal could otherwise miss this sender's entries: after
    // an entry written onto a count of 0 (its pass may be over), to a terminal not notified
    // before, and at least every RenoticeMs while entries wait (a pass may have been skipped
    // when its wait for the mutex timed out). Other entries are taken by the pass that an
    // earlier notification started. `ringFull`: waiting for room, nothing new written.
    void Announce(bool ringFull) noexcept;

    TUniqueHandle FMapping;
    TMappedView FView;
    TShmArea* FArea = nullptr;
    TUniqueHandle FMutex;
    UINT FDebugEntry = 0;
    unsigned long FFullWaitMs = Sender::DefaultFullWaitMs;
    unsigned long FDropped = 0;
    int FUnannounced = 0;       // entries written since the last call to Announce
    bool FOntoEmpty = false;    // one of them found the count at 0
    HWND FNotified = nullptr;   // the terminal notified last, and when
    ULONGLONG FLastNotice = 0;
};
