// Receiving syslog: a thread of its own listens on UDP and TCP, frames and parses what comes
// and queues the lines for whoever shows them (TWakingQueue). The thread never waits for the
// window: while the queue is full it stops reading, so TCP senders wait and the system drops
// UDP datagrams.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "SequenceGaps.h"
#include "Sockets.h"
#include "SyslogFraming.h"
#include "WakingQueue.h"

struct TSyslogReceiverOptions {
    std::wstring Address; // a numeric address; 0.0.0.0 or :: for all interfaces
    std::uint16_t Port = 0;
    bool Udp = true;
    bool Tcp = true;
};

// A received message as the list shows it, without the prefixes.
struct TReceivedLine {
    std::string Text; // ANSI code page
    SYSTEMTIME Time{}; // local time when it was received
};

class TSyslogReceiver {
public:
    using TWake = TWakingQueue<TReceivedLine>::TWake;

    // Opens the sockets and starts listening, the wake armed. Throws Exception naming the
    // port and the reason when a socket cannot be opened; nothing is left open then.
    TSyslogReceiver(const TSyslogReceiverOptions& options, TWake wake);
    ~TSyslogReceiver() { Stop(); }

    TSyslogReceiver(const TSyslogReceiver&) = delete;
    TSyslogReceiver& operator=(const TSyslogReceiver&) = delete;

    // Ends the thread and closes the sockets; the lines received before stay for Take.
    void Stop();

    std::vector<TReceivedLine> Take(std::size_t maxLines) { return FQueue.Take(maxLines); }
    bool Waiting() const { return FQueue.Waiting(); }
    bool ArmWake() { return FQueue.ArmWake(); }

    // Connections kept at once; a new one beyond closes the one idle longest.
    static constexpr std::size_t MaxConnections = 256;
    // While this much waits unshown, nothing more is read.
    static constexpr std::size_t MaxQueuedBytes = 32 * 1024 * 1024;

private:
    struct TConnection {
        TUniqueSocket Socket;
        TSyslogFramer Framer;
        ULONGLONG LastActive = 0;
    };

    void OpenUdp(const TSyslogReceiverOptions& options);
    void OpenTcp(const TSyslogReceiverOptions& options);
    void Run();
    void PollOnce();
    void ReadDatagrams(std::vector<std::string>& messages);
    void AcceptConnections();
    // False when the connection has ended (its last line is in `messages`).
    bool ReadConnection(TConnection& connection, std::vector<std::string>& messages);
    void CloseIdlest();
    void Queue(const std::vector<std::string>& messages);

    TWinsock FWinsock;
    TUniqueSocket FUdp;
    TUniqueSocket FListener;
    std::vector<TConnection> FConnections;
    std::vector<char> FBuffer;
    TSequenceGaps FGaps;
    TWakingQueue<TReceivedLine> FQueue;
    std::atomic<bool> FStopping{false};
    std::thread FThread; // last: it starts once everything above exists
};
