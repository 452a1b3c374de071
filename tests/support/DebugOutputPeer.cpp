// A second program for the capture tests: a writer that calls OutputDebugStringA or
// OutputDebugStringW, or another reader of the debug-output buffer, as a debug viewer is.
//   vt_dbwin_peer text A|W TEXT                   one message; \r \n \t \\ and \xHH stand for
//                                                 those characters (bytes for A)
//   vt_dbwin_peer count A|W N PREFIX [PAUSE_MS]   N messages "PREFIX 1" to "PREFIX N"
//   vt_dbwin_peer read READY_EVENT STOP_EVENT     reads until STOP_EVENT is set; sets READY_EVENT
//                                                 once it holds the buffer
// A writer exits with 0; the reader with the number of messages it read, or 1000000 + an
// error code when it could not become the reader.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include "TextCodec.h"
#include "WinHandles.h"

namespace {

constexpr int ExitUsage = 2;
constexpr DWORD ReaderFailed = 1000000;
constexpr DWORD BufferSize = 4096;
constexpr DWORD StopPollMs = 50;

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

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"read" && argc == 4)
        return Read(argv[2], argv[3]);
    if (argc < 4)
        return ExitUsage;
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
