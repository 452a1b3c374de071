#include "SenderBuffer.h"

#include <cstdlib>
#include <set>

#include "SystemTick.h"

namespace {

// A ring's worth is written at once; a smaller batch waits at most this long.
constexpr std::size_t FlushEntries = Shm::SlotCount;
constexpr DWORD FlushDelayMs = 5;

// Buffers still alive when the process ends through exit() write what they hold.
std::mutex& LiveBuffersLock()
{
    static std::mutex lock;
    return lock;
}

std::set<TSendBuffer*>& LiveBuffers()
{
    static std::set<TSendBuffer*> buffers;
    return buffers;
}

void FlushLiveBuffersAtExit()
{
    const std::lock_guard lock(LiveBuffersLock());
    for (TSendBuffer* buffer : LiveBuffers())
        buffer->Flush();
}

void Register(TSendBuffer* buffer)
{
    static std::once_flag atExit;
    const std::lock_guard lock(LiveBuffersLock());
    // The set exists before the handler is registered, so it is destroyed after it runs.
    std::set<TSendBuffer*>& buffers = LiveBuffers();
    std::call_once(atExit, [] { std::atexit(FlushLiveBuffersAtExit); });
    buffers.insert(buffer);
}

void Unregister(TSendBuffer* buffer)
{
    const std::lock_guard lock(LiveBuffersLock());
    LiveBuffers().erase(buffer);
}

} // namespace

TSendBuffer::TSendBuffer(TEntrySender& sender) : FSender(sender)
{
    FFlusher = std::thread([this] { RunFlusher(); });
    Register(this);
}

TSendBuffer::~TSendBuffer()
{
    Unregister(this);
    {
        const std::lock_guard lock(FLock);
        FStopping = true;
    }
    FWake.notify_one();
    FFlusher.join();
    Flush();
}

VtResult TSendBuffer::Add(unsigned channel, std::string_view text)
{
    if (channel >= static_cast<unsigned>(Shm::ChannelCount))
        return VT_INVALID;
    if (FSender.ChannelOff(channel))
        return VT_CHANNEL_OFF;
    const double time = Sender::CurrentDateTime();
    bool full = false;
    {
        const std::lock_guard lock(FLock);
        const bool wasEmpty = FEntries.empty();
        Sender::AppendEntries(FEntries, static_cast<std::uint8_t>(channel), time, text, 0);
        full = FEntries.size() >= FlushEntries;
        if (wasEmpty && !full)
            FWake.notify_one();
    }
    if (full)
        Flush();
    return VT_OK;
}

VtResult TSendBuffer::Flush()
{
    const std::lock_guard writing(FWriting);
    std::vector<Sender::TEntry> batch;
    {
        const std::lock_guard lock(FLock);
        batch.swap(FEntries);
    }
    if (batch.empty())
        return VT_OK;
    return FSender.WriteEntries(batch) == batch.size() ? VT_OK : VT_DROPPED;
}

void TSendBuffer::RunFlusher()
{
    std::unique_lock lock(FLock);
    for (;;) {
        FWake.wait(lock, [this] { return FStopping || !FEntries.empty(); });
        // The first line waits a little for company, unless the buffer is closing: the close
        // then waits for the rest of the pause at most.
        if (FStopping)
            return;
        lock.unlock();
        SystemTick::SleepOn(FPause.Get(), FlushDelayMs);
        lock.lock();
        if (FStopping)
            return;
        lock.unlock();
        Flush();
        lock.lock();
    }
}
