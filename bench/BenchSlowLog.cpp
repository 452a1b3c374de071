#include "BenchSlowLog.h"

#include <algorithm>

#include "BenchShared.h"
#include "Exception.h"

namespace Bench {

namespace {

constexpr DWORD ChunkBytes = 4096;
constexpr DWORD IdleMs = 10;          // nothing to read: the log has not written or has closed
constexpr DWORD FinishLimitMs = 30000;

TUniqueFileHandle OpenForReading(const std::wstring& path)
{
    return TUniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

bool TSlowLogTarget::Present(const std::wstring& path)
{
    const TUniqueFileHandle fifo = OpenForReading(path);
    return fifo && GetFileType(fifo.Get()) == FILE_TYPE_PIPE;
}

TSlowLogTarget::TSlowLogTarget(const std::wstring& path) : FFifo(OpenForReading(path))
{
    if (!FFifo)
        throw Exception(L"The slow log target cannot be read: " + path);
    FThread = std::thread([this] { Read(); });
}

TSlowLogTarget::~TSlowLogTarget()
{
    FStop = true;
    FThread.join();
}

std::int64_t TSlowLogTarget::Finish()
{
    FHurry = true;
    FFinishing = true;
    PollUntil(FinishLimitMs, L"the slow log target was not read to its end", [this] { return FEnded.load(); });
    return FLines;
}

void TSlowLogTarget::Read()
{
    char buffer[ChunkBytes];
    while (!FStop) {
        DWORD read = 0;
        if (!ReadFile(FFifo.Get(), buffer, ChunkBytes, &read, nullptr) || read == 0) {
            // Without a writer a FIFO reads as ended; the log may still open it.
            if (FFinishing)
                break;
            Sleep(IdleMs);
            continue;
        }
        FLines += std::count(buffer, buffer + read, '\n');
        if (!FHurry)
            Sleep(static_cast<DWORD>(read * 1000 / BytesPerSecond));
    }
    FEnded = true;
}

} // namespace Bench
