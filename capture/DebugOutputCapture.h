// Capture of OutputDebugString: a thread of its own reads the system's debug-output buffer,
// frees it for the next writer at once and queues the messages for whoever shows them.
// Writers wait (up to 10 s each) until the buffer is free, so the reading never waits for a
// window, and the thread copies the text and frees the buffer before it does anything else
// with a message (its time, its process's name, the queue).
//
// The thread wakes its consumer once, when a message comes into an empty queue while the
// consumer waits for one (armed); the consumer then takes the queue at its own pace, and
// arms the wake again only when it finds the queue empty. A steady stream of messages thus
// causes no stream of wake-ups.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DebugOutputBuffer.h"
#include "Exception.h"
#include "ProcessNames.h"
#include "WinHandles.h"

// Another program reads the buffer already (a debug viewer), or made the objects under rights
// that this program lacks; they are not taken over.
class EDebugOutputInUse : public Exception {
public:
    using Exception::Exception;
};

// The failure for a debug-output object `name` that could not be made or opened (`error`):
// when the object exists (`exists`), it is another reader's, made under other rights, and
// EDebugOutputInUse says so; an object this program may not make gets an Exception saying
// that; any other error its system text.
[[noreturn]] void ThrowDebugOutputObjectError(const std::wstring& name, DWORD error, bool exists);
// True when a named kernel object of that name exists, whether or not this program may use it.
bool NamedObjectExists(const std::wstring& name);

class TDebugOutputCapture {
public:
    // Runs on the reading thread when a message comes while the wake is armed; disarms it.
    using TWake = std::function<void()>;

    // Takes the buffer and its events of the scope and starts reading, the wake armed. They
    // are made with security that lets every process of the session write (Low and app
    // packages too). Throws EDebugOutputInUse when another reader holds them, Exception when
    // they cannot be made.
    explicit TDebugOutputCapture(TWake wake, TDebugOutputScope scope = TDebugOutputScope::Session);
    ~TDebugOutputCapture() { Stop(); }

    TDebugOutputCapture(const TDebugOutputCapture&) = delete;
    TDebugOutputCapture& operator=(const TDebugOutputCapture&) = delete;

    // Ends the thread and releases the objects, so that another reader can take them. The
    // messages taken before stay for Take.
    void Stop();

    // Moves at most maxMessages of the waiting messages out, oldest first.
    std::vector<TDebugOutputMessage> Take(std::size_t maxMessages);
    bool Waiting() const;
    // Arms the wake when nothing waits; false, leaving it disarmed, when messages wait.
    bool ArmWake();

    // When the objects exist already, a reader that still runs frees the buffer within this
    // time; objects without one are left over from a reader that has gone (writers still
    // hold them) and are taken.
    static constexpr DWORD ReaderAnswerMs = 250;
    // While this much waits unshown, the buffer stays taken: writers wait instead of the
    // queue growing without bound.
    static constexpr std::size_t MaxQueuedBytes = 32 * 1024 * 1024;

private:
    void OpenObjects();
    bool AnotherReaderAnswers() const;
    void Run();
    // Copies the buffer, frees it and queues the message; false when the capture ends while
    // it waits for room.
    bool TakeMessage();
    bool AwaitRoom();
    void Queue(TDebugOutputMessage message);

    TWake FWake;
    std::wstring FPrefix; // of the objects' names
    TUniqueHandle FMapping;
    TMappedView FView;
    TUniqueHandle FBufferReady;
    TUniqueHandle FDataReady;
    TUniqueHandle FStop;
    TProcessNames FNames; // used by the reading thread only

    mutable std::mutex FLock;
    std::condition_variable FRoom;
    std::deque<TDebugOutputMessage> FQueue;
    std::atomic<std::size_t> FQueuedBytes{0}; // changed under FLock; read without it
    bool FStopping = false;
    bool FWakeArmed = true;

    std::thread FThread; // last: it starts once everything above exists
};
