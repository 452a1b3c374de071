#include "BenchProcess.h"

#include "ModulePath.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "BenchShared.h"
#include "DebugMain.h"
#include "Exception.h"
#include "IniFile.h"
#include "Settings.h"

namespace Bench {

namespace {

constexpr DWORD AnswerTimeoutMs = 5000; // a list message the terminal does not answer in this is a hang
constexpr int ReaderThreads = 8;
// Far above the longest display line (prefixes and 255 characters of text).
constexpr std::size_t LineBufferChars = 4096;
constexpr wchar_t TerminalExeName[] = L"Vellumtrace64.exe";
constexpr DWORD ErrorsPipeBytes = 65536;
constexpr DWORD ErrorsChunkBytes = 4096;

HWND FindChild(HWND parent, int controlId)
{
    struct TSearch {
        int Id;
        HWND Found;
    } search{controlId, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto& state = *reinterpret_cast<TSearch*>(data);
            if (GetDlgCtrlID(child) != state.Id)
                return TRUE;
            state.Found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

} // namespace

std::wstring BinDirectory() { return ExecutableDirectory(); }

// ---- TChildProcess ---------------------------------------------------------------------

TChildProcess::TChildProcess(const std::wstring& exe, const std::wstring& arguments, HANDLE standardInput,
                             TChildErrors errors)
    : FName(exe.substr(exe.find_last_of(L"\\/") + 1))
{
    // The child's end of the errors pipe is closed here once the child has its own copy:
    // then the pipe ends when the child does.
    TUniqueHandle errorsWrite;
    if (errors == TChildErrors::Captured) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE rawRead = nullptr;
        HANDLE rawWrite = nullptr;
        if (!CreatePipe(&rawRead, &rawWrite, &inheritable, ErrorsPipeBytes))
            throw Exception(L"The pipe for the errors of " + FName + L" could not be created");
        FErrorsRead.Reset(rawRead);
        errorsWrite.Reset(rawWrite);
        SetHandleInformation(FErrorsRead.Get(), HANDLE_FLAG_INHERIT, 0);
    }
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    const bool redirected = standardInput != nullptr || errorsWrite;
    if (redirected) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = standardInput != nullptr ? standardInput : GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = errorsWrite ? errorsWrite.Get() : GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, redirected ? TRUE : FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        throw Exception(L"Cannot start " + exe);
    FProcess.Reset(info.hProcess);
    FThread.Reset(info.hThread);
}

TChildProcess::~TChildProcess()
{
    if (Running()) {
        TerminateProcess(FProcess.Get(), 1);
        WaitForSingleObject(FProcess.Get(), AnswerTimeoutMs);
    }
}

bool TChildProcess::Running() const noexcept { return WaitForSingleObject(FProcess.Get(), 0) == WAIT_TIMEOUT; }

std::optional<DWORD> TChildProcess::WaitExit(DWORD timeoutMs) const noexcept
{
    if (WaitForSingleObject(FProcess.Get(), timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(FProcess.Get(), &code);
    return code;
}

std::uint64_t TChildProcess::PrivateBytes() const
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(FProcess.Get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        throw Exception(L"Cannot read the memory counters of " + FName);
    // The commit charge; Windows reports it in both fields, Wine only in PagefileUsage.
    return std::max<std::uint64_t>(counters.PrivateUsage, counters.PagefileUsage);
}

double TChildProcess::CpuSeconds() const
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(FProcess.Get(), &created, &exited, &kernel, &user))
        throw Exception(L"Cannot read the processor times of " + FName);
    const auto seconds = [](const FILETIME& time) {
        constexpr double TicksPerSecond = 1e7; // FILETIME counts 100 ns
        return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / TicksPerSecond;
    };
    return seconds(kernel) + seconds(user);
}

std::string TChildProcess::CapturedErrors() const
{
    std::string errors;
    char chunk[ErrorsChunkBytes];
    DWORD read = 0;
    while (FErrorsRead && ReadFile(FErrorsRead.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        errors.append(chunk, read);
    return errors;
}

// ---- TTerminalCopy -----------------------------------------------------------------------

TTerminalCopy::TTerminalCopy()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    FFolder = std::wstring(temp) + L"vt_bench_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(FFolder.c_str(), nullptr);
    FExe = FFolder + L"\\" + TerminalExeName;
    if (!CopyFileW((BinDirectory() + TerminalExeName).c_str(), FExe.c_str(), FALSE))
        throw Exception(L"Cannot copy the terminal to " + FFolder);
}

TTerminalCopy::~TTerminalCopy()
{
    DeleteFileW(FExe.c_str());
    RemoveSettings();
    RemoveDirectoryW(FFolder.c_str());
}

std::wstring TTerminalCopy::SettingsPath() const { return FFolder + L"\\" + IniFileTitle; }

void TTerminalCopy::RemoveSettings() const noexcept { DeleteFileW(SettingsPath().c_str()); }

void TTerminalCopy::WriteSettings(const TSettings& settings) const
{
    TIniFile file(SettingsPath());
    SaveSettingsFile(file, settings);
}

void TTerminalCopy::WriteSettings(const std::string& content) const
{
    const std::wstring path = SettingsPath();
    const TUniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
        written != content.size())
        throw Exception(L"Cannot write " + path);
}

// ---- TTerminalView -----------------------------------------------------------------------

TTerminalView::TTerminalView(HWND window) : FWindow(window), FList(FindChild(window, idDbDisplay))
{
    if (FList == nullptr)
        throw Exception(L"The terminal's display list was not found");
}

int TTerminalView::Count() const
{
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(FList, LB_GETCOUNT, 0, 0, SMTO_NORMAL, AnswerTimeoutMs, &count))
        throw Exception(L"The terminal's list does not answer");
    return static_cast<int>(static_cast<LRESULT>(count));
}

std::wstring TTerminalView::Line(int index) const
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(FList, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0, SMTO_NORMAL, AnswerTimeoutMs, &length) ||
        static_cast<LRESULT>(length) < 0)
        throw Exception(L"Line " + std::to_wstring(index) + L" of the terminal's list cannot be read");
    std::wstring line(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(FList, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(line.data()),
                             SMTO_NORMAL, AnswerTimeoutMs, &copied) ||
        static_cast<LRESULT>(copied) < 0)
        throw Exception(L"Line " + std::to_wstring(index) + L" of the terminal's list cannot be read");
    line.resize(static_cast<std::size_t>(copied));
    return line;
}

std::vector<std::wstring> TTerminalView::Lines(int first, int count) const
{
    std::vector<std::wstring> lines(static_cast<std::size_t>(std::max(count, 0)));
    std::atomic<bool> failed{false};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < ReaderThreads; ++reader) {
        readers.emplace_back([&, reader] {
            std::wstring buffer(LineBufferChars, L'\0');
            for (int i = reader; i < count && !failed; i += ReaderThreads) {
                DWORD_PTR copied = 0;
                // LB_GETTEXT alone: Wine asks the list for the length itself.
                if (!SendMessageTimeoutW(FList, LB_GETTEXT, static_cast<WPARAM>(first + i),
                                         reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, AnswerTimeoutMs, &copied) ||
                    static_cast<LRESULT>(copied) < 0) {
                    failed = true;
                    break;
                }
                lines[static_cast<std::size_t>(i)].assign(buffer.data(), static_cast<std::size_t>(copied));
            }
        });
    }
    for (std::thread& reader : readers)
        reader.join();
    if (failed)
        throw Exception(L"The terminal's list cannot be read");
    return lines;
}

int TTerminalView::TopIndex() const
{
    DWORD_PTR top = 0;
    if (!SendMessageTimeoutW(FList, LB_GETTOPINDEX, 0, 0, SMTO_NORMAL, AnswerTimeoutMs, &top))
        throw Exception(L"The terminal's list does not answer");
    return static_cast<int>(static_cast<LRESULT>(top));
}

// The list's first line gets a mark through a posted message: it is there once the
// window has come to that message. The terminal does not use item data; the mark is
// taken off again.
LPARAM TTerminalView::PostMarker() const
{
    static LPARAM lastMarker = 0;
    const LPARAM marker = ++lastMarker;
    if (Count() == 0 || !PostMessageW(FList, LB_SETITEMDATA, 0, marker))
        throw Exception(L"Cannot mark the terminal's list");
    return marker;
}

bool TTerminalView::MarkerReached(LPARAM marker) const
{
    DWORD_PTR data = 0;
    if (!SendMessageTimeoutW(FList, LB_GETITEMDATA, 0, 0, SMTO_NORMAL, AnswerTimeoutMs, &data) ||
        static_cast<LPARAM>(data) != marker)
        return false;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(FList, LB_SETITEMDATA, 0, 0, SMTO_NORMAL, AnswerTimeoutMs, &ignored);
    return true;
}

void TTerminalView::AwaitPostedMessages(DWORD limitMs) const
{
    const LPARAM marker = PostMarker();
    PollUntil(limitMs, L"the terminal did not come to a posted message", [&] { return MarkerReached(marker); });
}

} // namespace Bench
