// rsyslogd as a peer of the program under Wine, for the tests and the benchmark: Linux paths
// as Wine's Z: drive shows them, Linux programs started from Windows code, and rsyslogd in
// the foreground as an unprivileged user with a configuration of the caller's own. Needs the
// Linux paths VT_SYSLOG_WORK (a folder for the peers' files) and VT_RSYSLOG_PEER (the script
// tests/rsyslog-peer.sh) defined at compile time.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "Exception.h"
#include "TextCodec.h"

namespace RsyslogPeer {

constexpr DWORD PeerWaitMs = 20000;
constexpr DWORD PeerPollMs = 10;

// Until done() holds; false when the limit ran out first.
inline bool AwaitPeer(const std::function<bool()>& done, DWORD limitMs = PeerWaitMs)
{
    for (const ULONGLONG deadline = GetTickCount64() + limitMs; !done(); Sleep(PeerPollMs)) {
        if (GetTickCount64() >= deadline)
            return false;
    }
    return true;
}

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

// Starts a Linux program; Wine hands back no handle that can be waited for, so the caller
// watches what it does instead. Throws when it cannot be started.
inline void RunLinux(const std::wstring& commandLine)
{
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        throw Exception(L"Cannot start " + commandLine);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// rsyslogd with a configuration of the caller's own, in a folder of its own under
// VT_SYSLOG_WORK, stopped at the end.
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
        AwaitPeer([this] { return FileExists(FDir + "/stopped"); });
    }

    // The rsyslogd's own messages, for a failure's report.
    std::string Output() const { return ReadFileText(FDir + "/rsyslogd.out"); }

private:
    std::string FDir;
    bool FStopped = false;
};

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

} // namespace RsyslogPeer
