#include "Sockets.h"

#include <cstring>

#include "SystemError.h"

namespace {

constexpr WORD WinsockVersion = MAKEWORD(2, 2);

// Frees what getaddrinfo found.
struct TAddressList {
    ADDRINFOW* First = nullptr;
    ~TAddressList()
    {
        if (First != nullptr)
            FreeAddrInfoW(First);
    }
};

} // namespace

TWinsock::TWinsock()
{
    WSADATA data{};
    const int result = WSAStartup(WinsockVersion, &data);
    if (result != 0)
        throw Exception(L"Windows Sockets cannot be started: " + SocketErrorText(result));
}

sockaddr_storage ResolveAddress(const std::wstring& host, std::uint16_t port, int socketType, int& addressLength)
{
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = socketType;
    TAddressList found;
    const int result = GetAddrInfoW(host.c_str(), std::to_wstring(port).c_str(), &hints, &found.First);
    if (result != 0 || found.First == nullptr)
        throw Exception(L"The address \"" + host + L"\" cannot be resolved: " + SocketErrorText(result));
    sockaddr_storage address{};
    std::memcpy(&address, found.First->ai_addr, found.First->ai_addrlen);
    addressLength = static_cast<int>(found.First->ai_addrlen);
    return address;
}

std::wstring SocketErrorText(int code)
{
    std::wstring text = SystemErrorText(static_cast<DWORD>(code));
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

void SetNonBlocking(SOCKET socket)
{
    u_long on = 1;
    if (ioctlsocket(socket, FIONBIO, &on) != 0)
        throw Exception(L"A socket cannot be made non-blocking: " + SocketErrorText(WSAGetLastError()));
}

int WaitForSocket(SOCKET socket, TSocketWait wait, int timeoutMs)
{
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    fd_set* readable = wait == TSocketWait::Readable ? &ready : nullptr;
    fd_set* writable = wait == TSocketWait::Writable ? &ready : nullptr;
    return select(0, readable, writable, &failed, &timeout);
}

int PendingSocketError(SOCKET socket)
{
    int error = 0;
    int length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
        return WSAGetLastError();
    return error;
}
