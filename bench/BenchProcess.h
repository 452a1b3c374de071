// The driver's hold on other processes: starting them, a private copy of the terminal,
// and reading the terminal's window and list from outside.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "WinHandles.h"

struct TSettings;

namespace Bench {

// The folder of the running exe, with its trailing separator; the sibling exes live there.
std::wstring BinDirectory();

// Where a child's standard error goes: where this process's goes, or into a pipe that
// CapturedErrors() reads once the child has ended.
enum class TChildErrors { Shared, Captured };

class TChildProcess {
public:
    // `standardInput`, when given, must be inheritable: the child reads it as its standard
    // input. A child with standard input or captured errors writes the rest to this process's
    // standard output and error. Throws Exception.
    TChildProcess(const std::wstring& exe, const std::wstring& arguments, HANDLE standardInput = nullptr,
                  TChildErrors errors = TChildErrors::Shared);
    // Ends a child that is still running: a benchmark that failed leaves nothing behind.
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    HANDLE Handle() const noexcept { return FProcess.Get(); }
    bool Running() const noexcept;
    // The exit code, or nothing when the process did not end within the time.
    std::optional<DWORD> WaitExit(DWORD timeoutMs) const noexcept;
    // Private bytes (commit charge) of the process.
    std::uint64_t PrivateBytes() const;
    // Processor time used so far, user and kernel.
    double CpuSeconds() const;
    // What the child wrote to its captured standard error; call once it has ended. The pipe
    // holds far more than the few lines such a child writes, so it never waits on a full pipe.
    std::string CapturedErrors() const;

private:
    TUniqueHandle FErrorsRead; // the pipe's end of this process, with TChildErrors::Captured
    TUniqueHandle FProcess;
    TUniqueHandle FThread;
    std::wstring FName;
};

// A copy of the terminal in a folder of its own, so that no settings file of another run
// changes its options: every start is a start with the defaults.
class TTerminalCopy {
public:
    TTerminalCopy(); // throws Exception
    ~TTerminalCopy();
    TTerminalCopy(const TTerminalCopy&) = delete;
    TTerminalCopy& operator=(const TTerminalCopy&) = delete;

    const std::wstring& Exe() const noexcept { return FExe; }
    // The settings file beside the copy, read when the copy starts.
    std::wstring SettingsPath() const;
    void RemoveSettings() const noexcept;
    // The settings file the copy reads at its next start, written as the terminal writes it.
    void WriteSettings(const TSettings& settings) const;
    // A settings file for the next start, for options beyond the defaults.
    void WriteSettings(const std::string& content) const; // throws Exception

private:
    std::wstring FFolder;
    std::wstring FExe;
};

// The terminal's window and its display list, seen from another process.
class TTerminalView {
public:
    TTerminalView(HWND window); // throws Exception when the list is not found
    HWND Window() const noexcept { return FWindow; }
    HWND List() const noexcept { return FList; }
    int Count() const;                // throws Exception when the window does not answer
    int TopIndex() const;
    std::wstring Line(int index) const;
    // Lines first to first + count - 1, read by several threads: each cross-process read
    // is a slow round trip, and the window answers several at once when they queue up.
    std::vector<std::wstring> Lines(int first, int count) const;
    // Returns once the window has handled every message posted to it before the call (a
    // sent message would overtake them). Throws Exception after the time limit.
    void AwaitPostedMessages(DWORD limitMs) const;
    // The same in two steps: a mark posted behind everything queued, and one look whether the
    // window has come to it. The list must hold a line; a mark reached is taken off again.
    LPARAM PostMarker() const;
    bool MarkerReached(LPARAM marker) const;

private:
    HWND FWindow;
    HWND FList = nullptr;
};

} // namespace Bench
