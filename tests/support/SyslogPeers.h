// The syslog peers of the tests, all on 127.0.0.1: Linux programs nobody here wrote (util-linux
// logger as a sender, rsyslog as a collector and as a forwarding sender), started from the
// test under Wine, and a plain test client for the bytes no real sender would write.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "RsyslogPeer.h"
#include "Sockets.h"
#include "SyslogFormat.h"
#include "TextCodec.h"
#include "TerminalProcess.h"

namespace SyslogPeers {

using namespace RsyslogPeer;
using TerminalProcess::PollUntil;

constexpr char Loopback[] = "127.0.0.1";

// The test's own sockets need Winsock for the whole run.
inline const TWinsock TestWinsock;

// util-linux logger sending one message to 127.0.0.1: `options` choose the protocol and
// format as logger's own options do.
inline void RunLogger(std::uint16_t port, const std::wstring& options, const std::wstring& message)
{
    RunLinux(L"Z:\\usr\\bin\\logger -n 127.0.0.1 -P " + std::to_wstring(port) + L" " + options + L" \"" + message + L"\"");
}

// A port of 127.0.0.1 that nothing listens on now (UDP and TCP): the system's choice of a
// free TCP port.
inline std::uint16_t FreePort()
{
    TUniqueSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, Loopback, &address.sin_addr);
    bind(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

inline sockaddr_in LoopbackAddress(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, Loopback, &address.sin_addr);
    return address;
}

// A client that writes whatever a test gives it.
inline TUniqueSocket ConnectTcp(std::uint16_t port)
{
    TUniqueSocket client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(client.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        client.Reset();
    return client;
}

// A TCP socket listening on 127.0.0.1 at `port`; none when the port cannot be had.
inline TUniqueSocket ListenOn(std::uint16_t port)
{
    TUniqueSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const sockaddr_in address = LoopbackAddress(port);
    if (bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.Get(), 1) != 0)
        listener.Reset();
    return listener;
}

inline bool SendAll(SOCKET socket, const std::string& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const int now = send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (now <= 0)
            return false;
        sent += static_cast<std::size_t>(now);
    }
    return true;
}

inline void SendDatagram(std::uint16_t port, const std::string& bytes)
{
    TUniqueSocket client(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    const sockaddr_in address = LoopbackAddress(port);
    sendto(client.Get(), bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&address),
           sizeof address);
}

// Until something accepts TCP connections on the port.
inline bool AwaitTcpListener(std::uint16_t port)
{
    return PollUntil([port] { return static_cast<bool>(ConnectTcp(port)); }, PeerWaitMs);
}

// rsyslog taking syslog on a free port and writing what it takes to a file.
class TCollector {
    static constexpr char CollectedFile[] = "/collected.log";

public:
    explicit TCollector(bool tcp, std::uint16_t port = FreePort())
        : FPort(port), FRsyslog(tcp ? "collector-tcp" : "collector-udp",
                                CollectorConfig(port, tcp, std::string(TRsyslog::DirMark) + CollectedFile))
    {
    }

    std::uint16_t Port() const noexcept { return FPort; }
    std::string File() const { return FRsyslog.Dir() + CollectedFile; }
    TRsyslog& Rsyslog() noexcept { return FRsyslog; }

    std::vector<std::string> AwaitLines(std::size_t count)
    {
        std::vector<std::string> lines;
        PollUntil(
            [&] {
                lines = FileLines(File());
                return lines.size() >= count;
            },
            PeerWaitMs);
        return lines;
    }

private:
    std::uint16_t FPort;
    TRsyslog FRsyslog;
};

// A line of the collector's file for a message the terminal forwarded.
inline std::string Fields(const std::string& app, const std::string& procId, const std::string& msgId,
                          const std::string& text)
{
    return "1 " + ComputerHostName() + " " + app + " " + procId + " " + msgId + " \xEF\xBB\xBF" + text;
}

} // namespace SyslogPeers
