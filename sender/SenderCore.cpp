#include "SenderCore.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "ShDat.h"
#include "ShmLock.h"

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

double CurrentDateTime() noexcept
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME local;
    SystemTimeToFileTime(&now, &local);
    return FileTimeToDateTime(local);
}

} // namespace Sender

namespace {

std::wstring OpenFailure(const wchar_t* what, const wchar_t* name)
{
    std::wstring reason = ESharedDataError::CreateFromApiError(static_cast<std::int32_t>(GetLastError())).Message();
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r'))
        reason.pop_back();
    return std::wstring(L"Cannot open the ") + what + L" \"" + name + L"\": " + reason;
}

// TerminalWnd and the switches are written by the terminal without the mutex, one store
// each; read them as single loads the compiler must not cache. The record is packed, so
// the field is reached by its offset (the view is page-aligned, TerminalWnd 8-aligned).
template <class T>
T ReadUnguarded(const TShmArea* area, std::size_t offset) noexcept
{
    return *reinterpret_cast<const volatile T*>(reinterpret_cast<const unsigned char*>(area) + offset);
}

} // namespace

TEntrySender::TEntrySender()
{
    // Opens the section when it exists; a new paging-file section comes zero-filled.
    FMapping.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, Shm::AreaSize,
                                      Shm::SectionNameW));
    if (!FMapping)
        throw ESenderError(OpenFailure(L"exchange area", Shm::SectionNameW));
    // Fails for a section smaller than the area.
    FView.Reset(MapViewOfFile(FMapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, Shm::AreaSize));
    if (!FView)
        throw ESenderError(OpenFailure(L"exchange area", Shm::SectionNameW));
    FArea = static_cast<TShmArea*>(FView.Get());

    FMutex.Reset(CreateMutexW(nullptr, FALSE, Shm::MutexName));
    if (!FMutex)
        throw ESenderError(OpenFailure(L"mutex", Shm::MutexName));
    FDebugEntry = RegisterWindowMessageW(Shm::DebugEntryMessageName);
}

VtResult TEntrySender::Send(unsigned channel, std::string_view text) noexcept
{
    if (channel >= static_cast<unsigned>(Shm::ChannelCount))
        return VT_INVALID;
    // The switches mean something only while a terminal runs: without one they are all 0.
    const bool terminalRuns = TerminalRuns();
    if (terminalRuns && ReadUnguarded<std::uint8_t>(FArea, offsetof(TShmArea, ChannelOn) + channel) == 0)
        return VT_CHANNEL_OFF;

    const double time = Sender::CurrentDateTime();
    VtResult result = VT_OK;
    std::size_t position = 0;
    do {
        const std::size_t length = Sender::NextEntryLength(text.substr(position), CP_ACP);
        const std::string_view entry = text.substr(position, length);
        position += length;
        // After one drop the rest of the text is dropped at once: one wait per call at most.
        if (result == VT_OK &&
            WriteEntry(static_cast<std::uint8_t>(channel), time, entry, terminalRuns))
            continue;
        result = VT_DROPPED;
        ++FDropped;
    } while (position < text.size());

    Announce(false);
    return result;
}

bool TEntrySender::WriteEntry(std::uint8_t channel, double time, std::string_view text, bool terminalRuns)
{
    const ULONGLONG deadline = GetTickCount64() + FFullWaitMs;
    for (;;) {
        switch (TryWrite(channel, time, text, terminalRuns)) {
        case TWriteOutcome::Written:
            return true;
        case TWriteOutcome::Broken:
            return false;
        case TWriteOutcome::Full:
            if (!TerminalRuns())
                return false;
            // Our own earlier entries may be what fills the ring: let the terminal know.
            Announce(true);
            if (GetTickCount64() >= deadline)
                return false;
            Sleep(Sender::FullPollMs);
            break;
        case TWriteOutcome::Busy:
            if (GetTickCount64() >= deadline)
                return false;
            break;
        }
    }
}

TEntrySender::TWriteOutcome TEntrySender::TryWrite(std::uint8_t channel, double time, std::string_view text,
                                                   bool terminalRuns)
{
    TShmLock lock(FMutex.Get());
    if (!lock.Acquired())
        return TWriteOutcome::Busy;

    TShmArea& area = *FArea;
    const std::int32_t pending = area.PendingCount;
    // A count outside 0..64 was not written by the protocol: whatever we wrote could
    // overwrite entries not taken yet or never be taken, so the area is left alone.
    if (pending < 0 || pending > Shm::SlotCount)
        return TWriteOutcome::Broken;
    if (pending == Shm::SlotCount)
        return TWriteOutcome::Full;

    // With nothing pending and no terminal, the next terminal starts reading at slot 0.
    const std::int32_t slot = pending == 0 && !terminalRuns ? 0 : Sender::SanitizeSlot(area.WriteIndex);
    area.SlotChannel[slot] = channel;
    area.SlotTime[slot] = time;
    std::uint8_t* slotText = area.SlotText[slot];
    slotText[0] = static_cast<std::uint8_t>(text.size());
    if (!text.empty())
        std::memcpy(slotText + 1, text.data(), text.size());
    area.PendingCount = pending + 1;
    area.WriteIndex = Sender::SanitizeSlot(slot + 1);
    ++FUnannounced;
    FOntoEmpty = FOntoEmpty || pending == 0;
    return TWriteOutcome::Written;
}

HWND TEntrySender::PublishedTerminal() const noexcept
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(ReadUnguarded<std::uint64_t>(FArea, offsetof(TShmArea, TerminalWnd))));
}

// A handle left behind by a terminal that ended without its shutdown names no window.
bool TEntrySender::TerminalRuns() const noexcept
{
    const HWND terminal = PublishedTerminal();
    return terminal != nullptr && IsWindow(terminal) != FALSE;
}

void TEntrySender::Announce(bool ringFull) noexcept
{
    if (FUnannounced == 0 && !ringFull)
        return;
    const HWND terminal = PublishedTerminal();
    const ULONGLONG now = GetTickCount64();
    const bool due = FOntoEmpty || terminal != FNotified || now - FLastNotice >= Sender::RenoticeMs;
    if (ringFull && !due)
        return;
    FUnannounced = 0;
    FOntoEmpty = false;
    if (terminal == nullptr || !due)
        return;
    PostMessageW(terminal, FDebugEntry, 0, 0);
    FNotified = terminal;
    FLastNotice = now;
}
