#include "DebugOutputCapture.h"

#include <string>
#include <utility>

#include "ObjectSecurity.h"
#include "SystemError.h"
#include "SystemTick.h"

namespace {

constexpr wchar_t InUseMessage[] =
    L"Another program reads the output of OutputDebugString already (a debug viewer). "
    L"Close it to capture the output here.";
constexpr wchar_t OthersObjectsMessage[] =
    L"The objects that carry the output of OutputDebugString belong to a program running as administrator or "
    L"as another user (a debug viewer, or one that has ended while programs still hold its objects). Close it, "
    L"or start Vellumtrace64 the same way, to capture the output here.";

// What a queued message weighs, so that empty texts count too.
std::size_t QueuedSize(const TDebugOutputMessage& message) noexcept
{
    return sizeof message + message.Text.size() + message.ProcessName.size();
}

// Creates the named object or opens the existing one; `existed` tells which.
template <class Create>
TUniqueHandle CreateNamed(const std::wstring& name, bool& existed, Create&& create)
{
    TUniqueHandle handle(create(name.c_str()));
    const DWORD error = GetLastError();
    if (!handle)
        ThrowDebugOutputObjectError(name, error, error == ERROR_ACCESS_DENIED && NamedObjectExists(name));
    existed = existed || error == ERROR_ALREADY_EXISTS;
    return handle;
}

} // namespace

void ThrowDebugOutputObjectError(const std::wstring& name, DWORD error, bool exists)
{
    if (error != ERROR_ACCESS_DENIED)
        throw Exception(L"Cannot take the debug-output object " + name + L": " + SystemErrorText(error));
    if (exists)
        throw EDebugOutputInUse(OthersObjectsMessage);
    throw Exception(L"Vellumtrace64 may not create the debug-output object " + name +
                    L" (access is denied). Objects of the global namespace, which carry the output of services, "
                    L"need administrator rights.");
}

bool NamedObjectExists(const std::wstring& name)
{
    // Any object answers an open by name: an event, or one of another type or rights.
    const TUniqueHandle probe(OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
    const DWORD error = GetLastError();
    return probe || error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE;
}

TDebugOutputCapture::TDebugOutputCapture(TWake wake, TDebugOutputScope scope)
    : FWake(std::move(wake)), FPrefix(scope == TDebugOutputScope::Global ? DebugOutput::GlobalPrefix : L"")
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
    TObjectSecurity security(TObjectSecurityKind::DebugOutput);
    SECURITY_ATTRIBUTES* const attributes = security.Attributes();
    bool existed = false;
    FMapping = CreateNamed(FPrefix + BufferName, existed, [attributes](const wchar_t* name) {
        return CreateFileMappingW(INVALID_HANDLE_VALUE, attributes, PAGE_READWRITE, 0, static_cast<DWORD>(BufferSize),
                                  name);
    });
    const auto createEvent = [attributes](const wchar_t* name) { return CreateEventW(attributes, FALSE, FALSE, name); };
    FBufferReady = CreateNamed(FPrefix + BufferReadyName, existed, createEvent);
    FDataReady = CreateNamed(FPrefix + DataReadyName, existed, createEvent);
    if (existed && AnotherReaderAnswers())
        throw EDebugOutputInUse(InUseMessage);
    FView.Reset(MapViewOfFile(FMapping.Get(), FILE_MAP_READ, 0, 0, BufferSize));
    if (!FView)
        ThrowDebugOutputObjectError(FPrefix + BufferName, GetLastError(), true);
}

bool TDebugOutputCapture::AnotherReaderAnswers() const
{
    // A running reader sets "buffer ready" whenever it has taken a message; the signal taken
    // here to see it is given back at once.
    if (SystemTick::WaitFor(FBufferReady.Get(), ReaderAnswerMs) != WAIT_OBJECT_0)
        return false;
    SetEvent(FBufferReady.Get());
    return true;
}

void TDebugOutputCapture::Run()
{
    // A message written after the previous reader went and before this one came.
    if (WaitForSingleObject(FDataReady.Get(), 0) == WAIT_OBJECT_0) {
        if (!TakeMessage())
            return;
    } else {
        SetEvent(FBufferReady.Get());
    }
    // The stop event comes first: with both signalled, the wait reports the stop.
    const HANDLE events[] = {FStop.Get(), FDataReady.Get()};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        if (!TakeMessage())
            return;
}

bool TDebugOutputCapture::TakeMessage()
{
    TDebugOutputMessage message = ReadDebugOutputBuffer(FView.Get(), DebugOutput::BufferSize);
    if (!AwaitRoom())
        return false;
    // The writer waits for this; the rest of the message's work overlaps its next one.
    SetEvent(FBufferReady.Get());
    GetLocalTime(&message.Time);
    message.ProcessName = FNames.Name(message.ProcessId);
    Queue(std::move(message));
    return true;
}

bool TDebugOutputCapture::AwaitRoom()
{
    if (FQueuedBytes.load() < MaxQueuedBytes)
        return true;
    std::unique_lock lock(FLock);
    FRoom.wait(lock, [this] { return FStopping || FQueuedBytes.load() < MaxQueuedBytes; });
    return !FStopping;
}

void TDebugOutputCapture::Queue(TDebugOutputMessage message)
{
    bool wake = false;
    {
        const std::lock_guard lock(FLock);
        wake = std::exchange(FWakeArmed, false);
        FQueuedBytes += QueuedSize(message);
        FQueue.push_back(std::move(message));
    }
    if (wake && FWake)
        FWake();
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
