// Winsock as the syslog threads use it: the library's lifetime, sockets that close
// themselves, addresses and the system's text for a socket error.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <string>

#include "Exception.h"
#include "WinHandles.h"

struct TSocketTraits {
    using Type = SOCKET;
    static Type Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Type socket) noexcept { closesocket(socket); }
};
using TUniqueSocket = TUniqueResource<TSocketTraits>;

// Winsock started for as long as the object lives.
class TWinsock {
public:
    TWinsock();
    ~TWinsock() { WSACleanup(); }
    TWinsock(const TWinsock&) = delete;
    TWinsock& operator=(const TWinsock&) = delete;
};

// The first address of `host` (a name or a numeric address) and `port`, for the given
// socket type; throws, naming the host, when it cannot be resolved.
sockaddr_storage ResolveAddress(const std::wstring& host, std::uint16_t port, int socketType, int& addressLength);

// "the reason" of the last socket error, as the system words it.
std::wstring SocketErrorText(int code);

// Makes a socket non-blocking; throws on failure.
void SetNonBlocking(SOCKET socket);

enum class TSocketWait { Readable, Writable };
// Waits up to timeoutMs for one socket: above 0 when it is ready (Writable: also when a
// connection attempt has failed), 0 when the time ran out, below 0 when the wait failed.
int WaitForSocket(SOCKET socket, TSocketWait wait, int timeoutMs);

// The error a non-blocking connect ended with; 0 when it succeeded.
int PendingSocketError(SOCKET socket);
