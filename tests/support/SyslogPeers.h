// The syslog peers of the tests, all on 127.0.0.1: Linux programs nobody here wrote (util-linux
// logger as a sender, rsyslog as a collector and as a forwarding sender), started from the
// test under Wine, and a plain test client for the bytes no real sender would write.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "Sockets.h"
#include "SyslogFormat.h"
#include "TextCodec.h"
#include "TerminalProcess.h"

namespace SyslogPeers {

using TerminalProcess::PollUntil;

constexpr char Loopback[] = "127.0.0.1";

// The test's own sockets need Winsock for the whole run.
inline const TWinsock TestWinsock;
constexpr DWORD PeerWaitMs = 20000;

// A Linux path as Wine's Z: drive shows it.
inline std::filesystem::path WindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:" + Utf8ToWide(unixPath);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

inline bool FileExists(const std::string& unixPath)
{
    return GetFileAttributesW(WindowsPath(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string ReadFileText(const std::string& unixPath)
{
    std::ifstream file(WindowsPath(unixPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> FileLines(const std::string& unixPath)
{
    std::vector<std::string> lines;
    const std::string text = ReadFileText(unixPath);
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Starts a Linux program; Wine hands back no handle that can be waited for, so the tests
// watch what it does instead.
inline void RunLinux(const std::wstring& commandLine)
{
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << "cannot start " << WideToUtf8(commandLine);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

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

// rsyslogd in the foreground as an unprivileged user, with a configuration of the test's own
// in a folder of its own under VT_SYSLOG_WORK (a Linux path), stopped at the end.
class TRsyslog {
public:
    static constexpr char DirMark[] = "@DIR@";

    // `config`: the inputs and actions; every file it names lies in Dir(), written DirMark.
    TRsyslog(const std::string& name, std::string config)
    {
        const std::string work = VT_SYSLOG_WORK;
        const std::string script = VT_RSYSLOG_PEER;
        FDir = std::string(work) + "/" + name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(GetTickCount64());
        CreateDirectoryW(WindowsPath(work).c_str(), nullptr);
        if (!CreateDirectoryW(WindowsPath(FDir).c_str(), nullptr))
            throw Exception(L"Cannot create " + WindowsPath(FDir).wstring());
        for (std::size_t at = config.find(DirMark); at != std::string::npos; at = config.find(DirMark, at))
            config.replace(at, std::string_view(DirMark).size(), FDir);
        std::ofstream(WindowsPath(FDir + "/rsyslog.conf"), std::ios::binary)
            << "global(workDirectory=\"" << FDir << "\")\n" << config;
        RunLinux(L"Z:\\bin\\sh " + Utf8ToWide(script) + L" " + Utf8ToWide(FDir) + L" " + Utf8ToWide(FDir) +
                 L"/rsyslog.conf");
    }
    ~TRsyslog() { Stop(); }
    TRsyslog(const TRsyslog&) = delete;
    TRsyslog& operator=(const TRsyslog&) = delete;

    const std::string& Dir() const noexcept { return FDir; }

    void Stop()
    {
        if (FStopped)
            return;
        FStopped = true;
        std::ofstream(WindowsPath(FDir + "/stop"));
        PollUntil([this] { return FileExists(FDir + "/stopped"); }, PeerWaitMs);
    }

    // The rsyslogd's own messages, for a failure's report.
    std::string Output() const { return ReadFileText(FDir + "/rsyslogd.out"); }

private:
    std::string FDir;
    bool FStopped = false;
};

// Until something accepts TCP connections on the port.
inline bool AwaitTcpListener(std::uint16_t port)
{
    return PollUntil([port] { return static_cast<bool>(ConnectTcp(port)); }, PeerWaitMs);
}

// The configuration of a collector on 127.0.0.1 that writes every message it takes, one line
// each, as "VERSION HOSTNAME APP-NAME PROCID MSGID MSG" to `file` in its folder.
inline std::string CollectorConfig(std::uint16_t port, bool tcp, const std::string& file)
{
    const std::string module = tcp ? "imtcp" : "imudp";
    return "module(load=\"" + module + "\")\n"
           "input(type=\"" + module + "\" address=\"127.0.0.1\" port=\"" + std::to_string(port) + "\")\n"
           "template(name=\"fields\" type=\"string\" string=\"%protocol-version% %hostname% %app-name% %procid% "
           "%msgid% %msg%\\n\")\n"
           "action(type=\"omfile\" file=\"" + file + "\" template=\"fields\")\n";
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
