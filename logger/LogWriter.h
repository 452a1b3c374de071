// Log to file: every line handed in is appended to a file by a thread of its own, so that the
// caller never waits for the disk. Lines reach the operating system within FlushMs; the file
// is renamed away with a numbered suffix when it would pass its size limit.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LogRotation.h"
#include "WinHandles.h"

struct TLogOptions {
    std::wstring Path;
    std::uint64_t MaxBytes = 0; // 0: no limit, no rotation
    int Keep = 1;               // old files kept at the limit: name.1.ext (newest) to name.Keep.ext
};

class TLogWriter {
public:
    // Runs on the writing thread, once, when the log has failed; Failure() then says why.
    using TFailed = std::function<void()>;
    // Runs on the writing thread when the log has something to tell that does not stop it;
    // TakeNotices() then has it.
    using TNoticed = std::function<void()>;

    // Starts the thread. It lets `predecessor`, a log finished before that may still be
    // writing what waited, end first; then it opens the file (appending to it) before it
    // writes anything. So the lines of both keep their order, even in one file.
    TLogWriter(TLogOptions options, TFailed failed, std::unique_ptr<TLogWriter> predecessor = nullptr,
               TNoticed noticed = nullptr);
    // Writes everything handed in, closes the file and ends the thread.
    ~TLogWriter();

    // Takes no further lines and returns at once: the thread writes what waits, closes the
    // file and ends, however slow the disk.
    void Finish();

    TLogWriter(const TLogWriter&) = delete;
    TLogWriter& operator=(const TLogWriter&) = delete;

    // One line, as 8-bit text in the ANSI code page followed by CR LF. Ignored once failed.
    void Append(std::wstring line);
    // Why the log failed, naming the file and the system's reason; empty while it works.
    std::wstring Failure() const;
    // What the log has told since the last call, oldest first.
    std::vector<std::wstring> TakeNotices();

    // The longest a line waits before it is handed to the operating system (plus the time
    // the writing itself takes).
    static constexpr DWORD FlushMs = 200;
    // Waiting lines are written at once when this many bytes wait.
    static constexpr std::size_t WriteAtBytes = 1024 * 1024;
    // A disk that leaves this much waiting cannot keep up: the log fails rather than the
    // terminal's memory.
    static constexpr std::size_t MaxWaitingBytes = 64 * 1024 * 1024;
    // After a rotation that another program refused, the log goes on in its file and tries
    // again this much later.
    static constexpr ULONGLONG RotationRetryMs = 30000;

private:
    void Run();
    void Open();
    void Write(const std::vector<std::wstring>& lines);
    void WriteBytes(const std::string& bytes);
    bool RotationDue() const noexcept;
    void Rotate();
    // Renames or deletes one file of the rotation; false when another program refused it.
    bool Shift(const std::wstring& from, const std::wstring& to);
    void Notice(std::wstring text);

    TLogOptions FOptions;
    TFailed FFailed;
    TNoticed FNoticed;
    ULONGLONG FRotationRefusedAt = 0; // 0 while no rotation waits for another try
    bool FRefusalTold = false;        // said once until a rotation works again
    std::unique_ptr<TLogWriter> FPredecessor; // released (and so waited for) by the thread
    TUniqueFileHandle FFile;
    std::uint64_t FSize = 0; // bytes in the current file

    mutable std::mutex FLock;
    std::condition_variable FWork;
    std::vector<std::wstring> FWaiting;
    std::size_t FWaitingBytes = 0;
    bool FStopping = false;
    bool FOverflow = false;
    std::wstring FFailure;
    std::vector<std::wstring> FNotices;

    std::thread FThread; // last: it starts once everything above exists
};
