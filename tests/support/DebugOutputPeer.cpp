// A second program for the capture tests: a writer that calls OutputDebugStringA or
// OutputDebugStringW, or another reader of the debug-output buffer, as a debug viewer is.
//   vt_dbwin_peer text A|W TEXT                   one message; \r \n \t \\ and \xHH stand for
//                                                 those characters (bytes for A)
//   vt_dbwin_peer count A|W N PREFIX [PAUSE_MS]   N messages "PREFIX 1" to "PREFIX N"
//   vt_dbwin_peer read READY_EVENT STOP_EVENT     reads until STOP_EVENT is set; sets READY_EVENT
//                                                 once it holds the buffer
//   vt_dbwin_peer global N PREFIX                 N messages "PREFIX 1" to "PREFIX N" through the
//                                                 Global\ objects, as a service's writes go
// A writer exits with 0 (a global writer with 1000000 + an error code when it finds no
// reader or waits in vain); the reader with the number of messages it read, or 1000000 + an
// error code when it could not become the reader.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "TextCodec.h"
#include "WinHandles.h"

namespace {

constexpr int ExitUsage = 2;
constexpr DWORD ReaderFailed = 1000000;
constexpr DWORD BufferSize = 4096;
constexpr DWORD StopPollMs = 50;
constexpr DWORD WriterWaitMs = 10000; // as long as the system's writers wait for a reader
constexpr wchar_t GlobalBufferName[] = L"Global\\DBWIN_BUFFER";
constexpr wchar_t GlobalBufferReadyName[] = L"Global\\DBWIN_BUFFER_READY";
constexpr wchar_t GlobalDataReadyName[] = L"Global\\DBWIN_DATA_READY";

// The text with its escapes replaced; \xHH becomes the character with that code.
std::wstring Unescape(const wchar_t* text)
{
    std::wstring result;
    for (const wchar_t* at = text; *at != L'\0'; ++at) {
        if (*at != L'\\' || at[1] == L'\0') {
            result += *at;
            continue;
        }
        switch (*++at) {
        case L'r': result += L'\r'; break;
        case L'n': result += L'\n'; break;
        case L't': result += L'\t'; break;
        case L'x': {
            const wchar_t digits[3] = {at[1], at[1] != L'\0' ? at[2] : L'\0', L'\0'};
            result += static_cast<wchar_t>(std::wcstoul(digits, nullptr, 16));
            at += 2;
            break;
        }
        default: result += *at; break;
        }
    }
    return result;
}

// For OutputDebugStringA: characters up to 255 that came from \xHH stay single bytes.
std::string AnsiBytes(const std::wstring& text, const wchar_t* original)
{
    if (std::wcsstr(original, L"\\x") == nullptr)
        return WideToAnsi(text);
    std::string bytes;
    for (const wchar_t character : text)
        bytes += static_cast<char>(character);
    return bytes;
}

void Write(bool wide, const std::wstring& text, const std::string& bytes)
{
    if (wide)
        OutputDebugStringW(text.c_str());
    else
        OutputDebugStringA(bytes.c_str());
}

int Read(const wchar_t* readyName, const wchar_t* stopName)
{
    const TUniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName));
    const TUniqueHandle stop(OpenEventW(SYNCHRONIZE, FALSE, stopName));
    const TUniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BufferSize,
                                                   L"DBWIN_BUFFER"));
    const TUniqueHandle bufferReady(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    const TUniqueHandle dataReady(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    if (!ready || !stop || !mapping || !bufferReady || !dataReady)
        return static_cast<int>(ReaderFailed + GetLastError());
    const TMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, BufferSize));
    if (!view)
        return static_cast<int>(ReaderFailed + GetLastError());
    SetEvent(bufferReady.Get());
    SetEvent(ready.Get());
    // Ends once stopped with nothing pending: a message written before the stop is read.
    int read = 0;
    for (;;) {
        if (WaitForSingleObject(dataReady.Get(), StopPollMs) == WAIT_OBJECT_0) {
            ++read;
            SetEvent(bufferReady.Get());
        } else if (WaitForSingleObject(stop.Get(), 0) == WAIT_OBJECT_0) {
            return read;
        }
    }
}

// The system's writer protocol by hand: wait until the buffer is free, fill it, announce it.
int WriteGlobal(unsigned long count, const std::wstring& prefix)
{
    const TUniqueHandle mapping(OpenFileMappingW(FILE_MAP_WRITE, FALSE, GlobalBufferName));
    const TUniqueHandle bufferReady(OpenEventW(SYNCHRONIZE, FALSE, GlobalBufferReadyName));
    const TUniqueHandle dataReady(OpenEventW(EVENT_MODIFY_STATE, FALSE, GlobalDataReadyName));
    if (!mapping || !bufferReady || !dataReady)
        return static_cast<int>(ReaderFailed + GetLastError());
    const TMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, BufferSize));
    if (!view)
        return static_cast<int>(ReaderFailed + GetLastError());
    auto* buffer = static_cast<char*>(view.Get());
    for (unsigned long n = 1; n <= count; ++n) {
        if (WaitForSingleObject(bufferReady.Get(), WriterWaitMs) != WAIT_OBJECT_0)
            return static_cast<int>(ReaderFailed + WAIT_TIMEOUT);
        const DWORD id = GetCurrentProcessId();
        const std::string text = WideToAnsi(prefix + L" " + std::to_wstring(n));
        std::memcpy(buffer, &id, sizeof id);
        std::memcpy(buffer + sizeof id, text.c_str(), text.size() + 1);
        SetEvent(dataReady.Get());
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"read" && argc == 4)
        return Read(argv[2], argv[3]);
    if (argc < 4)
        return ExitUsage;
    if (mode == L"global")
        return WriteGlobal(std::wcstoul(argv[2], nullptr, 10), argv[3]);
    const bool wide = std::wstring(argv[2]) == L"W";
    if (mode == L"text") {
        const std::wstring text = Unescape(argv[3]);
        Write(wide, text, AnsiBytes(text, argv[3]));
        return 0;
    }
    if (mode == L"count" && argc >= 5) {
        const unsigned long count = std::wcstoul(argv[3], nullptr, 10);
        const DWORD pauseMs = argc > 5 ? std::wcstoul(argv[5], nullptr, 10) : 0;
        for (unsigned long n = 1; n <= count; ++n) {
            const std::wstring text = std::wstring(argv[4]) + L" " + std::to_wstring(n);
            Write(wide, text, WideToAnsi(text));
            if (pauseMs > 0)
                Sleep(pauseMs);
        }
        return 0;
    }
    return ExitUsage;
}
