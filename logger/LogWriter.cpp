#include "LogWriter.h"

#include <chrono>
#include <utility>

#include "Exception.h"
#include "LongPath.h"
#include "SystemError.h"
#include "SystemTick.h"
#include "TextCodec.h"

namespace {

constexpr char LineEnd[] = "\r\n";
constexpr std::size_t ChunkBytes = 64 * 1024; // bytes handed to WriteFile at a time

// What a waiting line weighs: its characters and the string around them.
std::size_t WaitingSize(const std::wstring& line) noexcept
{
    return sizeof line + line.size() * sizeof(wchar_t);
}

constexpr std::size_t BytesPerMegabyte = 1024 * 1024;

[[noreturn]] void ThrowLogFailure(const std::wstring& path, const std::wstring& reason)
{
    throw Exception(L"Cannot write the log file \"" + path + L"\": " + reason + L". The log is off.");
}

// The system's reason as part of a sentence: without its closing period.
std::wstring ReasonText(DWORD error)
{
    std::wstring reason = SystemErrorText(error);
    while (!reason.empty() && reason.back() == L'.')
        reason.pop_back();
    return reason.empty() ? L"error " + std::to_wstring(error) : reason;
}

[[noreturn]] void ThrowFileError(const std::wstring& path, DWORD error) { ThrowLogFailure(path, ReasonText(error)); }

bool Missing(DWORD error) noexcept { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

} // namespace

TLogWriter::TLogWriter(TLogOptions options, TFailed failed, std::unique_ptr<TLogWriter> predecessor,
                       TNoticed noticed)
    : FOptions(std::move(options)), FFailed(std::move(failed)), FNoticed(std::move(noticed)),
      FPredecessor(std::move(predecessor))
{
    FThread = std::thread([this] { Run(); });
}

TLogWriter::~TLogWriter()
{
    Finish();
    FThread.join();
}

void TLogWriter::Finish()
{
    {
        const std::lock_guard lock(FLock);
        FStopping = true;
    }
    FWork.notify_one();
}

void TLogWriter::Append(std::wstring line)
{
    bool wake = false;
    {
        const std::lock_guard lock(FLock);
        if (!FFailure.empty() || FOverflow || FStopping)
            return;
        const std::size_t size = WaitingSize(line);
        if (FWaitingBytes + size > MaxWaitingBytes) {
            FOverflow = true;
            wake = true;
        } else {
            wake = FWaitingBytes < WriteAtBytes && FWaitingBytes + size >= WriteAtBytes;
            FWaitingBytes += size;
            FWaiting.push_back(std::move(line));
        }
    }
    if (wake)
        FWork.notify_one();
}

std::wstring TLogWriter::Failure() const
{
    const std::lock_guard lock(FLock);
    return FFailure;
}

std::vector<std::wstring> TLogWriter::TakeNotices()
{
    const std::lock_guard lock(FLock);
    return std::exchange(FNotices, {});
}

void TLogWriter::Notice(std::wstring text)
{
    {
        const std::lock_guard lock(FLock);
        FNotices.push_back(std::move(text));
    }
    if (FNoticed)
        FNoticed();
}

void TLogWriter::Run()
{
    FPredecessor.reset(); // returns once it has written everything and closed its file
    try {
        Open();
        std::vector<std::wstring> lines;
        for (bool stopping = false; !stopping;) {
            bool overflow = false;
            {
                std::unique_lock lock(FLock);
                FWork.wait_for(lock, SystemTick::Timeout(std::chrono::milliseconds(FlushMs)),
                               [this] { return FStopping || FOverflow || FWaitingBytes >= WriteAtBytes; });
                lines.swap(FWaiting);
                FWaitingBytes = 0;
                stopping = FStopping;
                overflow = FOverflow;
            }
            Write(lines);
            lines.clear();
            if (overflow)
                ThrowLogFailure(FOptions.Path, L"the disk does not keep up (" +
                                                   std::to_wstring(MaxWaitingBytes / BytesPerMegabyte) + L" MB waited)");
        }
        // Closed here rather than by the owner, because closing can still report a failure.
        if (!CloseHandle(FFile.Release()))
            ThrowFileError(FOptions.Path, GetLastError());
    } catch (const Exception& failure) {
        {
            const std::lock_guard lock(FLock);
            FFailure = failure.Message();
            FWaiting.clear();
            FWaitingBytes = 0;
        }
        if (FFailed)
            FFailed();
    }
}

void TLogWriter::Open()
{
    // Appends; others may read the file meanwhile.
    FFile.Reset(CreateFileW(ExtendedLengthPath(FOptions.Path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FFile)
        ThrowFileError(FOptions.Path, GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(FFile.Get(), &size))
        ThrowFileError(FOptions.Path, GetLastError());
    FSize = static_cast<std::uint64_t>(size.QuadPart);
}

void TLogWriter::Write(const std::vector<std::wstring>& lines)
{
    std::string chunk;
    for (const std::wstring& line : lines) {
        std::string bytes = WideToAnsi(line);
        bytes += LineEnd;
        // The line would pass the limit: it starts the next file, unless it is the first.
        const std::uint64_t held = FSize + chunk.size();
        if (FOptions.MaxBytes > 0 && held > 0 && held + bytes.size() > FOptions.MaxBytes && RotationDue()) {
            WriteBytes(chunk);
            chunk.clear();
            Rotate();
        }
        chunk += bytes;
        if (chunk.size() >= ChunkBytes) {
            WriteBytes(chunk);
            chunk.clear();
        }
    }
    WriteBytes(chunk);
}

void TLogWriter::WriteBytes(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(FFile.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr))
            ThrowFileError(FOptions.Path, GetLastError());
        // A write that succeeds without taking anything would loop for ever.
        if (written == 0)
            ThrowFileError(FOptions.Path, ERROR_WRITE_FAULT);
        done += written;
        FSize += written;
    }
}

bool TLogWriter::RotationDue() const noexcept
{
    return FRotationRefusedAt == 0 || GetTickCount64() - FRotationRefusedAt >= RotationRetryMs;
}

void TLogWriter::Rotate()
{
    if (!CloseHandle(FFile.Release()))
        ThrowFileError(FOptions.Path, GetLastError());
    const std::wstring& path = FOptions.Path;
    bool done = false;
    if (FOptions.Keep <= 0) {
        done = Shift(path, L"");
    } else {
        // The oldest goes; the others move up by one; the full file becomes number 1. Only the
        // files that exist are moved, however many the settings keep.
        const int old = CountOldFiles(path, FOptions.Keep);
        done = old < FOptions.Keep || Shift(RotatedName(path, FOptions.Keep), L"");
        for (int number = old < FOptions.Keep ? old : FOptions.Keep - 1; done && number >= 1; --number)
            done = Shift(RotatedName(path, number), RotatedName(path, number + 1));
        done = done && Shift(path, RotatedName(path, 1));
    }
    // Refused: the lines go on into the same file, nothing is lost, and the log says so once.
    FRotationRefusedAt = done ? 0 : GetTickCount64();
    if (done)
        FRefusalTold = false;
    Open();
}

bool TLogWriter::Shift(const std::wstring& from, const std::wstring& to)
{
    const DWORD error = MoveOrDeleteWithRetry(from, to);
    if (error == ERROR_SUCCESS || Missing(error))
        return true;
    if (!RefusedForNow(error))
        ThrowFileError(from, error);
    if (!FRefusalTold) {
        FRefusalTold = true;
        Notice(L"The log could not rotate: \"" + from + L"\" is held by another program (" + ReasonText(error) +
               L"). It goes on in \"" + FOptions.Path + L"\" and tries again later.");
    }
    return false;
}
