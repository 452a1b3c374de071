#include "SyslogReceiver.h"

#include <algorithm>
#include <chrono>

#include "SyslogMessage.h"

namespace {

// How long the thread waits for sockets (or for room) before it looks at Stop again.
constexpr int PollMs = 50;
// Per socket and wake-up, so that one busy sender does not starve the others.
constexpr int ReadsPerTurn = 64;
constexpr int UdpReceiveBufferBytes = 4 * 1024 * 1024;
constexpr int ListenBacklog = SOMAXCONN;

std::wstring PortFailure(std::uint16_t port, const wchar_t* protocol, const std::wstring& reason)
{
    return L"Syslog cannot be received on port " + std::to_wstring(port) + L" (" + protocol + L"): " + reason;
}

std::wstring PortFailure(std::uint16_t port, const wchar_t* protocol, int error)
{
    return PortFailure(port, protocol, SocketErrorText(error));
}

TUniqueSocket OpenBound(const TSyslogReceiverOptions& options, int type, const wchar_t* protocol)
{
    int length = 0;
    sockaddr_storage address{};
    try {
        address = ResolveAddress(options.Address, options.Port, type, length);
    } catch (const Exception& failure) {
        throw Exception(PortFailure(options.Port, protocol, failure.Message()));
    }
    TUniqueSocket socket(::socket(address.ss_family, type, type == SOCK_DGRAM ? IPPROTO_UDP : IPPROTO_TCP));
    if (!socket)
        throw Exception(PortFailure(options.Port, protocol, WSAGetLastError()));
    if (bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0)
        throw Exception(PortFailure(options.Port, protocol, WSAGetLastError()));
    SetNonBlocking(socket.Get());
    return socket;
}

bool WouldBlock() noexcept { return WSAGetLastError() == WSAEWOULDBLOCK; }

} // namespace

TSyslogReceiver::TSyslogReceiver(const TSyslogReceiverOptions& options, TWake wake)
    : FBuffer(MaxSyslogMessageBytes + 1), FQueue(std::move(wake), MaxQueuedBytes)
{
    if (options.Udp)
        OpenUdp(options);
    if (options.Tcp)
        OpenTcp(options);
    FThread = std::thread([this] { Run(); });
}

void TSyslogReceiver::OpenUdp(const TSyslogReceiverOptions& options)
{
    FUdp = OpenBound(options, SOCK_DGRAM, L"UDP");
    // A flood waits in the system's buffer while the thread queues; a system that allows
    // less keeps its own size.
    setsockopt(FUdp.Get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&UdpReceiveBufferBytes),
               sizeof UdpReceiveBufferBytes);
}

void TSyslogReceiver::OpenTcp(const TSyslogReceiverOptions& options)
{
    FListener = OpenBound(options, SOCK_STREAM, L"TCP");
    if (listen(FListener.Get(), ListenBacklog) != 0)
        throw Exception(PortFailure(options.Port, L"TCP", WSAGetLastError()));
}

void TSyslogReceiver::Stop()
{
    FStopping = true;
    if (FThread.joinable())
        FThread.join();
    FConnections.clear();
    FListener.Reset();
    FUdp.Reset();
}

void TSyslogReceiver::Run()
{
    while (!FStopping) {
        if (FQueue.WaitForRoom(std::chrono::milliseconds(PollMs)))
            PollOnce();
    }
}

void TSyslogReceiver::PollOnce()
{
    std::vector<WSAPOLLFD> polled;
    for (const SOCKET socket : {FUdp.Get(), FListener.Get()}) {
        if (socket != INVALID_SOCKET)
            polled.push_back(WSAPOLLFD{socket, POLLRDNORM, 0});
    }
    const std::size_t firstConnection = polled.size();
    for (const TConnection& connection : FConnections)
        polled.push_back(WSAPOLLFD{connection.Socket.Get(), POLLRDNORM, 0});
    if (polled.empty() || WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), PollMs) <= 0)
        return;

    std::vector<std::string> messages;
    const auto ready = [&](std::size_t index) { return polled[index].revents != 0; };
    // The connections first, while the indexes still match: accepting may close one.
    std::vector<SOCKET> ended;
    for (std::size_t index = firstConnection; index < polled.size(); ++index) {
        TConnection& connection = FConnections[index - firstConnection];
        if (ready(index) && !ReadConnection(connection, messages))
            ended.push_back(connection.Socket.Get());
    }
    std::erase_if(FConnections, [&](const TConnection& connection) {
        return std::find(ended.begin(), ended.end(), connection.Socket.Get()) != ended.end();
    });
    for (std::size_t index = 0; index < firstConnection; ++index) {
        if (!ready(index))
            continue;
        if (polled[index].fd == FUdp.Get())
            ReadDatagrams(messages);
        else
            AcceptConnections();
    }
    Queue(messages);
}

void TSyslogReceiver::ReadDatagrams(std::vector<std::string>& messages)
{
    for (int read = 0; read < ReadsPerTurn; ++read) {
        const int size = recvfrom(FUdp.Get(), FBuffer.data(), static_cast<int>(FBuffer.size()), 0, nullptr, nullptr);
        if (size < 0) {
            // WSAEMSGSIZE: the part that fitted is the message. Other errors (a port
            // unreachable reported for an earlier send) end nothing.
            if (WSAGetLastError() == WSAEMSGSIZE)
                messages.emplace_back(FBuffer.data(), FBuffer.size());
            else if (WouldBlock())
                return;
            continue;
        }
        if (size > 0)
            messages.emplace_back(FBuffer.data(), static_cast<std::size_t>(size));
    }
}

void TSyslogReceiver::AcceptConnections()
{
    for (int accepted = 0; accepted < ReadsPerTurn; ++accepted) {
        TUniqueSocket socket(accept(FListener.Get(), nullptr, nullptr));
        if (!socket)
            return;
        SetNonBlocking(socket.Get());
        if (FConnections.size() >= MaxConnections)
            CloseIdlest();
        FConnections.push_back(TConnection{std::move(socket), {}, GetTickCount64()});
    }
}

void TSyslogReceiver::CloseIdlest()
{
    const auto idlest = std::min_element(FConnections.begin(), FConnections.end(),
        [](const TConnection& a, const TConnection& b) { return a.LastActive < b.LastActive; });
    std::vector<std::string> messages;
    idlest->Framer.Finish(messages);
    Queue(messages);
    FConnections.erase(idlest);
}

bool TSyslogReceiver::ReadConnection(TConnection& connection, std::vector<std::string>& messages)
{
    connection.LastActive = GetTickCount64();
    for (int read = 0; read < ReadsPerTurn; ++read) {
        const int size = recv(connection.Socket.Get(), FBuffer.data(), static_cast<int>(FBuffer.size()), 0);
        if (size > 0) {
            connection.Framer.Feed(std::string_view(FBuffer.data(), static_cast<std::size_t>(size)), messages);
            continue;
        }
        if (size < 0 && WouldBlock())
            return true;
        connection.Framer.Finish(messages);
        return false;
    }
    return true;
}

void TSyslogReceiver::Queue(const std::vector<std::string>& messages)
{
    if (messages.empty())
        return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::vector<TReceivedLine> lines;
    lines.reserve(messages.size());
    for (const std::string& wire : messages) {
        const TSyslogMessage message = ParseSyslogMessage(wire);
        if (message.SequenceId) {
            if (const auto missing = FGaps.Next(message.Host, *message.SequenceId))
                lines.push_back(TReceivedLine{MissingMessagesText(message.Host, *missing), now});
        }
        lines.push_back(TReceivedLine{ReceivedLineText(message), now});
    }
    FQueue.Push(std::move(lines));
}
