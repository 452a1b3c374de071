// Forwarding to a syslog collector: the window queues lines and never waits; a thread of its
// own formats and sends them (RFC 5424; over TCP with octet counting). A collector that is
// down or slow is tried again with back-off while the lines wait, in order, up to a bound;
// beyond it the oldest are dropped and counted, and once the collector has taken everything
// that waited, one report says how many were dropped and when forwarding resumed.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Sockets.h"
#include "SyslogFormat.h"

// Lines wait up to this many bytes (their text and a fixed share for the rest).
inline constexpr std::size_t DefaultMaxWaitingBytes = 64 * 1024 * 1024;

struct TForwardOptions {
    std::wstring Host;
    std::uint16_t Port = 0;
    bool Tcp = true;
    std::size_t MaxWaitingBytes = DefaultMaxWaitingBytes;
};

// Lines dropped during an outage.
struct TForwardGap {
    std::uint64_t Dropped = 0;
    SYSTEMTIME Resumed{}; // local time
};

// "N lines were not forwarded to syslog (the collector was unreachable); forwarding resumed at hh:mm:ss".
std::string ForwardGapText(const TForwardGap& gap);

class TSyslogForwarder {
public:
    // Runs on the sending thread when a gap report comes while the consumer has not been
    // woken for one yet; false: it could not be woken, and the next report tries again.
    using TWake = std::function<bool()>;

    TSyslogForwarder(TForwardOptions options, TWake wake);
    ~TSyslogForwarder() { Stop(); }

    TSyslogForwarder(const TSyslogForwarder&) = delete;
    TSyslogForwarder& operator=(const TSyslogForwarder&) = delete;

    // Ends the thread; lines still waiting are given up.
    void Stop();

    // Queues a line; never waits for the network.
    void Queue(TForwardLine line);
    std::vector<TForwardGap> TakeGaps();
    // The bytes of the lines waiting (for the benchmark's memory row and the tests).
    std::size_t WaitingBytes() const;

    static constexpr std::size_t LineOverheadBytes = sizeof(TForwardLine);
    // A collector that cannot be reached is tried again after this, doubled up to the last.
    static constexpr DWORD FirstRetryMs = 100;
    static constexpr DWORD LastRetryMs = 5000;

private:
    void Run();
    bool Connect();
    void Disconnect();
    // Formats the next lines into FSending; false when none wait (after a wait).
    bool NextBatch();
    // Sends FSending whole; false when the connection failed or the forwarder stops.
    bool SendBatch();
    bool CollectorClosed();
    bool WaitWritable();
    void ReportGapWhenCaughtUp();
    void PauseForRetry(DWORD& retryMs);
    // The local offset from UTC at `time`, looked up once per hour of the lines: it changes
    // only at the top of an hour (daylight saving time).
    int OffsetAt(const SYSTEMTIME& time);

    TForwardOptions FOptions;
    TWake FWake;
    TWinsock FWinsock;
    std::string FHostName;
    TUniqueSocket FSocket;
    std::string FSending; // formatted lines taken from the queue, sent again after a failure
    std::size_t FSent = 0; // of FSending
    int FOffsetHour = -1;
    int FOffset = 0;

    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TForwardLine> FWaiting;
    std::size_t FWaitingBytes = 0;
    std::uint64_t FDropped = 0;
    std::vector<TForwardGap> FGaps;
    bool FGapWakeSent = false; // until TakeGaps
    std::atomic<bool> FStopping{false};

    std::thread FThread; // last: it starts once everything above exists
};
