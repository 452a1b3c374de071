#include "DebugOutputCapture.h"

#include <string>
#include <utility>

#include "SystemError.h"

namespace {

constexpr wchar_t InUseMessage[] =
    L"Another program reads the output of OutputDebugString already (a debug viewer). "
    L"Close it to capture the output here.";

// What a queued message weighs, so that empty texts count too.
std::size_t QueuedSize(const TDebugOutputMessage& message) noexcept
{
    return sizeof message + message.Text.size();
}

[[noreturn]] void ThrowObjectError(const wchar_t* name, DWORD error)
{
    // An object we may not use is another reader's, made under other rights.
    if (error == ERROR_ACCESS_DENIED)
        throw EDebugOutputInUse(InUseMessage);
    throw Exception(std::wstring(L"Cannot take the debug-output object ") + name + L": " + SystemErrorText(error));
}

// Creates the named object or opens the existing one; `existed` tells which.
template <class Create>
TUniqueHandle CreateNamed(const wchar_t* name, bool& existed, Create&& create)
{
    TUniqueHandle handle(create());
    const DWORD error = GetLastError();
    if (!handle)
        ThrowObjectError(name, error);
    existed = existed || error == ERROR_ALREADY_EXISTS;
    return handle;
}

} // namespace

TDebugOutputCapture::TDebugOutputCapture(TWake wake) : FWake(std::move(wake))
{
    OpenObjects();
    FStop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!FStop)
        throw Exception(L"Cannot create the capture's stop event: " + SystemErrorText(GetLastError()));
    FThread = std::thread([this] { Run(); });
}

void TDebugOutputCapture::Stop()
{
    {
        const std::lock_guard lock(FLock);
        FStopping = true;
    }
    FRoom.notify_all();
    SetEvent(FStop.Get());
    if (FThread.joinable())
        FThread.join();
    // A "buffer ready" that no writer has taken yet is withdrawn: a reader that starts next
    // would take it for the answer of another reader and refuse to start.
    if (FBufferReady)
        WaitForSingleObject(FBufferReady.Get(), 0);
    FView.Reset();
    FDataReady.Reset();
    FBufferReady.Reset();
    FMapping.Reset();
}

void TDebugOutputCapture::OpenObjects()
{
    using namespace DebugOutput;
    bool existed = false;
    FMapping = CreateNamed(BufferName, existed, [] {
        return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(BufferSize),
                                  BufferName);
    });
    FBufferReady = CreateNamed(BufferReadyName, existed,
                               [] { return CreateEventW(nullptr, FALSE, FALSE, BufferReadyName); });
    FDataReady = CreateNamed(DataReadyName, existed, [] { return CreateEventW(nullptr, FALSE, FALSE, DataReadyName); });
    if (existed && AnotherReaderAnswers())
        throw EDebugOutputInUse(InUseMessage);
    FView.Reset(MapViewOfFile(FMapping.Get(), FILE_MAP_READ, 0, 0, BufferSize));
    if (!FView)
        ThrowObjectError(BufferName, GetLastError());
}

bool TDebugOutputCapture::AnotherReaderAnswers() const
{
    // A running reader sets "buffer ready" whenever it has taken a message; the signal taken
    // here to see it is given back at once.
    if (WaitForSingleObject(FBufferReady.Get(), ReaderAnswerMs) != WAIT_OBJECT_0)
        return false;
    SetEvent(FBufferReady.Get());
    return true;
}

void TDebugOutputCapture::Run()
{
    // A message written after the previous reader went and before this one came.
    if (WaitForSingleObject(FDataReady.Get(), 0) == WAIT_OBJECT_0 && !TakeMessage())
        return;
    SetEvent(FBufferReady.Get());
    // The stop event comes first: with both signalled, the wait reports the stop.
    const HANDLE events[] = {FStop.Get(), FDataReady.Get()};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        if (!TakeMessage())
            return;
        SetEvent(FBufferReady.Get());
    }
}

bool TDebugOutputCapture::TakeMessage()
{
    TDebugOutputMessage message = ReadDebugOutputBuffer(FView.Get(), DebugOutput::BufferSize);
    GetLocalTime(&message.Time);
    bool wake = false;
    {
        std::unique_lock lock(FLock);
        FRoom.wait(lock, [this] { return FStopping || FQueuedBytes < MaxQueuedBytes; });
        if (FStopping)
            return false;
        wake = std::exchange(FWakeArmed, false);
        FQueuedBytes += QueuedSize(message);
        FQueue.push_back(std::move(message));
    }
    if (wake && FWake)
        FWake();
    return true;
}

std::vector<TDebugOutputMessage> TDebugOutputCapture::Take(std::size_t maxMessages)
{
    std::vector<TDebugOutputMessage> taken;
    {
        const std::lock_guard lock(FLock);
        while (!FQueue.empty() && taken.size() < maxMessages) {
            FQueuedBytes -= QueuedSize(FQueue.front());
            taken.push_back(std::move(FQueue.front()));
            FQueue.pop_front();
        }
    }
    FRoom.notify_all();
    return taken;
}

bool TDebugOutputCapture::Waiting() const
{
    const std::lock_guard lock(FLock);
    return !FQueue.empty();
}

bool TDebugOutputCapture::ArmWake()
{
    const std::lock_guard lock(FLock);
    FWakeArmed = FQueue.empty();
    return FWakeArmed;
}
