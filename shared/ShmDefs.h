// The debug exchange area shared by the terminal and the sender programs: its names,
// sizes and the byte layout of TShmArea. Senders written elsewhere rely on every offset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Shm {

inline constexpr char SectionName[] = "Vellumtrace64";
inline constexpr wchar_t SectionNameW[] = L"Vellumtrace64";
inline constexpr wchar_t MutexName[] = L"VellumtraceMu";
inline constexpr wchar_t DebugEntryMessageName[] = L"DebugEntry";
// An auto-reset event that our terminal sets after each pass that took entries. Our senders
// wait on it while the ring is full where the system has no high-resolution timer to look at
// the ring every millisecond (before Windows 10 1803), as Sleep(1) lasts a whole timer tick
// there: each pass wakes one of them, which fills the ring again. It is no part of the area's
// rules: a sender that does not find it polls, and other senders never need it.
inline constexpr wchar_t RoomEventName[] = L"VellumtraceRoom";
// The window class of the terminal's main window: a handle in TerminalWnd of another class
// is a stale one that Windows gave to another window.
inline constexpr wchar_t TerminalWindowClass[] = L"TMainFrame";

inline constexpr int SlotCount = 64;
inline constexpr int SlotTextSize = 256;            // length byte + up to 255 characters
inline constexpr int MaxTextLength = SlotTextSize - 1;
inline constexpr int ChannelCount = 10;             // "M" and 1 to 9
inline constexpr std::uint32_t AreaSize = 17009;
inline constexpr unsigned long LockTimeoutMs = 100; // longest wait for the mutex per access
inline constexpr char FormFeed = '\f';              // an entry of just this clears the list

// The slot a WriteIndex value stands for, wrapped into 0..63 as senders wrap it (a broken
// value such as 70 or -1 stands for 6 or 63).
constexpr std::int32_t WrapSlot(std::int32_t index) noexcept
{
    const std::int32_t slot = index % SlotCount;
    return slot < 0 ? slot + SlotCount : slot;
}

} // namespace Shm

#pragma pack(push, 1)
struct TShmArea {
    std::uint8_t SlotChannel[Shm::SlotCount];                 // 0 = "M", 1..9
    double SlotTime[Shm::SlotCount];                          // days since 30 Dec 1899, local time
    std::uint8_t SlotText[Shm::SlotCount][Shm::SlotTextSize]; // [0] = length, then the bytes
    std::uint64_t TerminalWnd;                                // terminal's main window, 0 if none
    std::int32_t PendingCount;                                // entries written, not yet taken
    std::int32_t WriteIndex;                                  // for senders; terminal only resets it
    std::uint8_t ExtendedChannels;                            // 1 once a terminal enabled channels 3..9
    std::uint8_t Reserved1[9];
    std::uint8_t ChannelOn[Shm::ChannelCount];                // 1 = on, 0 = off
    std::uint8_t Reserved2[13];
};
#pragma pack(pop)

static_assert(sizeof(TShmArea) == Shm::AreaSize);
static_assert(offsetof(TShmArea, SlotChannel) == 0);
static_assert(offsetof(TShmArea, SlotTime) == 64);
static_assert(offsetof(TShmArea, SlotText) == 576);
static_assert(offsetof(TShmArea, TerminalWnd) == 16960);
static_assert(offsetof(TShmArea, PendingCount) == 16968);
static_assert(offsetof(TShmArea, WriteIndex) == 16972);
static_assert(offsetof(TShmArea, ExtendedChannels) == 16976);
static_assert(offsetof(TShmArea, Reserved1) == 16977);
static_assert(offsetof(TShmArea, ChannelOn) == 16986);
static_assert(offsetof(TShmArea, Reserved2) == 16996);
