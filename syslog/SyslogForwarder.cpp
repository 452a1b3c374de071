#include "SyslogForwarder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "SystemTick.h"

namespace {

// How long the thread waits at a time before it looks at Stop again.
constexpr int TurnMs = 100;
constexpr DWORD ConnectTimeoutMs = 3000;
// Formatted lines sent at a time.
constexpr std::size_t BatchBytes = 64 * 1024;

} // namespace

std::string ForwardGapText(const TForwardGap& gap)
{
    char resumed[16];
    std::snprintf(resumed, sizeof resumed, "%02u:%02u:%02u", gap.Resumed.wHour, gap.Resumed.wMinute,
                  gap.Resumed.wSecond);
    return std::to_string(gap.Dropped) +
           " lines were not forwarded to syslog (the collector was unreachable); forwarding resumed at " + resumed;
}

TSyslogForwarder::TSyslogForwarder(TForwardOptions options, TWake wake)
    : FOptions(std::move(options)), FWake(std::move(wake)), FHostName(ComputerHostName())
{
    FThread = std::thread([this] { Run(); });
}

void TSyslogForwarder::Stop()
{
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FChanged.notify_all();
    if (FThread.joinable())
        FThread.join();
    FSocket.Reset();
}

void TSyslogForwarder::Queue(TForwardLine line)
{
    bool wasEmpty = false;
    {
        std::lock_guard lock(FLock);
        wasEmpty = FWaiting.empty();
        FWaitingBytes += line.Text.size() + LineOverheadBytes;
        FWaiting.push_back(std::move(line));
        while (FWaitingBytes > FOptions.MaxWaitingBytes && !FWaiting.empty()) {
            FWaitingBytes -= FWaiting.front().Text.size() + LineOverheadBytes;
            FWaiting.pop_front();
            ++FDropped;
        }
    }
    // The thread waits for lines only when none wait.
    if (wasEmpty)
        FChanged.notify_one();
}

std::vector<TForwardGap> TSyslogForwarder::TakeGaps()
{
    std::lock_guard lock(FLock);
    FGapWakeSent = false;
    return std::exchange(FGaps, {});
}

std::size_t TSyslogForwarder::WaitingBytes() const
{
    std::lock_guard lock(FLock);
    return FWaitingBytes;
}

void TSyslogForwarder::Run()
{
    DWORD retryMs = FirstRetryMs;
    while (!FStopping) {
        if (!FSocket && !Connect()) {
            PauseForRetry(retryMs);
            continue;
        }
        if (FSending.empty() && !NextBatch())
            continue;
        if (CollectorClosed() || !SendBatch()) {
            Disconnect();
            PauseForRetry(retryMs);
            continue;
        }
        retryMs = FirstRetryMs;
        FSending.clear();
        FSent = 0;
        ReportGapWhenCaughtUp();
    }
}

bool TSyslogForwarder::Connect()
{
    try {
        const int type = FOptions.Tcp ? SOCK_STREAM : SOCK_DGRAM;
        int length = 0;
        const sockaddr_storage address = ResolveAddress(FOptions.Host, FOptions.Port, type, length);
        TUniqueSocket socket(::socket(address.ss_family, type, FOptions.Tcp ? IPPROTO_TCP : IPPROTO_UDP));
        if (!socket)
            return false;
        SetNonBlocking(socket.Get());
        if (connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        FSocket = std::move(socket);
        const ULONGLONG deadline = GetTickCount64() + ConnectTimeoutMs;
        while (!FStopping && GetTickCount64() < deadline) {
            const int ready = WaitForSocket(FSocket.Get(), TSocketWait::Writable, TurnMs);
            if (ready < 0)
                break;
            if (ready > 0) {
                if (PendingSocketError(FSocket.Get()) == 0)
                    return true;
                break;
            }
        }
    } catch (const Exception&) {
        // A host that cannot be resolved now may be later.
    }
    Disconnect();
    return false;
}

void TSyslogForwarder::Disconnect()
{
    FSocket.Reset();
    FSent = 0; // the batch goes out whole on the next connection
}

void TSyslogForwarder::PauseForRetry(DWORD& retryMs)
{
    std::unique_lock lock(FLock);
    FChanged.wait_for(lock, SystemTick::Timeout(std::chrono::milliseconds(retryMs)), [this] { return FStopping.load(); });
    retryMs = std::min(retryMs * 2, LastRetryMs);
}

bool TSyslogForwarder::NextBatch()
{
    std::vector<TForwardLine> lines;
    {
        std::unique_lock lock(FLock);
        FChanged.wait_for(lock, SystemTick::Timeout(std::chrono::milliseconds(TurnMs)),
                          [this] { return FStopping.load() || !FWaiting.empty(); });
        std::size_t bytes = 0;
        while (!FWaiting.empty() && bytes < BatchBytes) {
            bytes += FWaiting.front().Text.size() + LineOverheadBytes;
            FWaitingBytes -= FWaiting.front().Text.size() + LineOverheadBytes;
            lines.push_back(std::move(FWaiting.front()));
            FWaiting.pop_front();
        }
    }
    for (const TForwardLine& line : lines) {
        const std::string message = FormatRfc5424(line, FHostName, OffsetAt(line.Time));
        // Over UDP a datagram is a message; the batch keeps them apart by their counts.
        FSending += OctetCounted(message);
    }
    return !FSending.empty();
}

int TSyslogForwarder::OffsetAt(const SYSTEMTIME& time)
{
    const int hour = ((time.wYear * 12 + time.wMonth) * 31 + time.wDay) * 24 + time.wHour;
    if (hour != FOffsetHour) {
        FOffsetHour = hour;
        FOffset = LocalOffsetMinutes(time);
    }
    return FOffset;
}

// A TCP collector that has closed the connection is found before lines go into it.
bool TSyslogForwarder::CollectorClosed()
{
    if (!FOptions.Tcp)
        return false;
    if (WaitForSocket(FSocket.Get(), TSocketWait::Readable, 0) <= 0)
        return false;
    char ignored[256];
    const int size = recv(FSocket.Get(), ignored, sizeof ignored, 0);
    return size == 0 || (size < 0 && WSAGetLastError() != WSAEWOULDBLOCK);
}

bool TSyslogForwarder::WaitWritable()
{
    while (!FStopping) {
        const int ready = WaitForSocket(FSocket.Get(), TSocketWait::Writable, TurnMs);
        if (ready != 0)
            return ready > 0;
    }
    return false;
}

bool TSyslogForwarder::SendBatch()
{
    const std::string_view batch = FSending;
    while (FSent < batch.size()) {
        std::string_view piece = batch.substr(FSent);
        std::size_t skip = 0;
        if (!FOptions.Tcp) {
            // One datagram per message, without its count.
            const std::size_t space = piece.find(' ');
            const std::size_t length = std::stoul(std::string(piece.substr(0, space)));
            skip = space + 1;
            piece = piece.substr(skip, length);
        }
        const int sent = send(FSocket.Get(), piece.data(), static_cast<int>(piece.size()), 0);
        if (sent < 0) {
            if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitWritable())
                return false;
            continue;
        }
        FSent += FOptions.Tcp ? static_cast<std::size_t>(sent) : skip + piece.size();
    }
    return true;
}

void TSyslogForwarder::ReportGapWhenCaughtUp()
{
    bool wake = false;
    {
        std::lock_guard lock(FLock);
        if (FDropped == 0 || !FWaiting.empty())
            return;
        TForwardGap gap;
        gap.Dropped = std::exchange(FDropped, 0);
        GetLocalTime(&gap.Resumed);
        FGaps.push_back(gap);
        wake = !std::exchange(FGapWakeSent, true);
    }
    if (wake && !FWake()) {
        std::lock_guard lock(FLock);
        FGapWakeSent = false;
    }
}
