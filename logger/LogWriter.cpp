#include "LogWriter.h"

#include <chrono>
#include <utility>

#include "Exception.h"
#include "SystemError.h"
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

[[noreturn]] void ThrowFileError(const std::wstring& path, DWORD error)
{
    const std::wstring reason = SystemErrorText(error);
    ThrowLogFailure(path, reason.empty() ? L"error " + std::to_wstring(error) : reason);
}

bool Missing(DWORD error) noexcept { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

} // namespace

std::wstring RotatedName(const std::wstring& path, int number)
{
    const std::size_t nameStart = path.find_last_of(L"\\/:") + 1; // npos + 1 is 0
    const std::size_t dot = path.rfind(L'.');
    const std::wstring suffix = L"." + std::to_wstring(number);
    if (dot == std::wstring::npos || dot <= nameStart)
        return path + suffix; // no extension (a leading dot starts the name)
    return path.substr(0, dot) + suffix + path.substr(dot);
}

TLogWriter::TLogWriter(TLogOptions options, TFailed failed, std::unique_ptr<TLogWriter> predecessor)
    : FOptions(std::move(options)), FFailed(std::move(failed)), FPredecessor(std::move(predecessor))
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
                FWork.wait_for(lock, std::chrono::milliseconds(FlushMs),
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
    FFile.Reset(CreateFileW(FOptions.Path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
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
        if (FOptions.MaxBytes > 0 && held > 0 && held + bytes.size() > FOptions.MaxBytes) {
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

void TLogWriter::Rotate()
{
    if (!CloseHandle(FFile.Release()))
        ThrowFileError(FOptions.Path, GetLastError());
    const std::wstring& path = FOptions.Path;
    if (FOptions.Keep <= 0) {
        if (!DeleteFileW(path.c_str()) && !Missing(GetLastError()))
            ThrowFileError(path, GetLastError());
    } else {
        // The oldest goes; the others move up by one; the full file becomes number 1.
        const std::wstring oldest = RotatedName(path, FOptions.Keep);
        if (!DeleteFileW(oldest.c_str()) && !Missing(GetLastError()))
            ThrowFileError(oldest, GetLastError());
        for (int number = FOptions.Keep - 1; number >= 1; --number) {
            const std::wstring from = RotatedName(path, number);
            if (!MoveFileExW(from.c_str(), RotatedName(path, number + 1).c_str(), MOVEFILE_REPLACE_EXISTING) &&
                !Missing(GetLastError()))
                ThrowFileError(from, GetLastError());
        }
        if (!MoveFileExW(path.c_str(), RotatedName(path, 1).c_str(), MOVEFILE_REPLACE_EXISTING))
            ThrowFileError(path, GetLastError());
    }
    Open();
}
