// The capture tests' other programs (vt_dbwin_peer): writers that call OutputDebugStringA
// or OutputDebugStringW, and another reader of the debug-output buffer.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "WinHandles.h"
#include "TerminalProcess.h"

namespace DebugOutputPeers {

inline std::wstring PeerExe() { return TerminalProcess::BinDirectory() + L"vt_dbwin_peer.exe"; }

// One message; \r, \n, \t, \\ and \xHH in `text` stand for those characters.
inline std::unique_ptr<TerminalProcess::TProcess> WriteText(bool wide, const std::wstring& text)
{
    return std::make_unique<TerminalProcess::TProcess>(PeerExe(), std::wstring(L"text ") + (wide ? L"W" : L"A") +
                                                                      L" \"" + text + L"\"");
}

// `count` messages "prefix 1" to "prefix count", `pauseMs` apart.
inline std::unique_ptr<TerminalProcess::TProcess> WriteCount(bool wide, unsigned long count, const std::wstring& prefix,
                                                             DWORD pauseMs = 0)
{
    return std::make_unique<TerminalProcess::TProcess>(
        PeerExe(), std::wstring(L"count ") + (wide ? L"W " : L"A ") + std::to_wstring(count) + L" " + prefix + L" " +
                       std::to_wstring(pauseMs));
}

// `count` messages "prefix 1" to "prefix count" through the Global\ objects, as a service's
// OutputDebugString writes them.
inline std::unique_ptr<TerminalProcess::TProcess> WriteGlobal(unsigned long count, const std::wstring& prefix)
{
    return std::make_unique<TerminalProcess::TProcess>(PeerExe(),
                                                       L"global " + std::to_wstring(count) + L" " + prefix);
}

// Another reader that holds the buffer until it is stopped; its exit code is the number of
// messages it read.
class TOtherReader {
public:
    TOtherReader()
        : FReadyName(L"vt_dbwin_ready_" + Tag()), FStopName(L"vt_dbwin_stop_" + Tag()),
          FReady(CreateEventW(nullptr, TRUE, FALSE, FReadyName.c_str())),
          FStop(CreateEventW(nullptr, TRUE, FALSE, FStopName.c_str())),
          FProcess(std::make_unique<TerminalProcess::TProcess>(PeerExe(), L"read " + FReadyName + L" " + FStopName))
    {
    }

    // True once it holds the buffer.
    bool Ready() const
    {
        return FProcess->Started() && WaitForSingleObject(FReady.Get(), TerminalProcess::WaitLimitMs) == WAIT_OBJECT_0;
    }

    // Stops it; the number of messages it read.
    DWORD Stop()
    {
        SetEvent(FStop.Get());
        return FProcess->Finish();
    }

    ~TOtherReader() { SetEvent(FStop.Get()); }
    TOtherReader(const TOtherReader&) = delete;
    TOtherReader& operator=(const TOtherReader&) = delete;

private:
    static std::wstring Tag()
    {
        static int counter = 0;
        return std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
    }

    std::wstring FReadyName;
    std::wstring FStopName;
    TUniqueHandle FReady;
    TUniqueHandle FStop;
    std::unique_ptr<TerminalProcess::TProcess> FProcess;
};

// True when no reader's objects exist any more.
inline bool BufferObjectsGone()
{
    const TUniqueHandle ready(OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY"));
    const TUniqueHandle buffer(OpenFileMappingW(FILE_MAP_READ, FALSE, L"DBWIN_BUFFER"));
    return !ready && !buffer;
}

} // namespace DebugOutputPeers
