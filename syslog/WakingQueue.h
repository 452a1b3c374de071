// A queue from a network thread to the window, bounded in bytes. The thread wakes its
// consumer once, when items come into the queue while the consumer waits for them (armed);
// the consumer takes the queue at its own pace and arms the wake again only when it finds the
// queue empty, so a steady stream of items causes no stream of wake-ups.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "SystemTick.h"

// T has a member Text whose size() counts against the bound.
template <class T>
class TWakingQueue {
public:
    // Runs on the producing thread when items come while the wake is armed; disarms it.
    // False: the consumer could not be woken, and the next items try again.
    using TWake = std::function<bool()>;

    TWakingQueue(TWake wake, std::size_t maxBytes) : FWake(std::move(wake)), FMaxBytes(maxBytes) {}

    void Push(std::vector<T>&& items)
    {
        if (items.empty())
            return;
        bool wake = false;
        {
            std::lock_guard lock(FLock);
            for (T& item : items) {
                FBytes += item.Text.size();
                FItems.push_back(std::move(item));
            }
            wake = FWakeArmed;
            FWakeArmed = false;
        }
        if (wake && !FWake()) {
            std::lock_guard lock(FLock);
            FWakeArmed = true;
        }
    }

    // Waits up to `limit` while the bound is reached; true when there is room.
    bool WaitForRoom(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(FLock);
        return FRoom.wait_for(lock, SystemTick::Timeout(limit), [this] { return FBytes < FMaxBytes; });
    }

    // Moves at most maxItems of the waiting items out, oldest first.
    std::vector<T> Take(std::size_t maxItems)
    {
        std::vector<T> taken;
        {
            std::lock_guard lock(FLock);
            while (!FItems.empty() && taken.size() < maxItems) {
                FBytes -= FItems.front().Text.size();
                taken.push_back(std::move(FItems.front()));
                FItems.pop_front();
            }
        }
        FRoom.notify_all();
        return taken;
    }

    bool Waiting() const
    {
        std::lock_guard lock(FLock);
        return !FItems.empty();
    }

    // Arms the wake when nothing waits; false, leaving it disarmed, when items wait.
    bool ArmWake()
    {
        std::lock_guard lock(FLock);
        FWakeArmed = FItems.empty();
        return FWakeArmed;
    }

private:
    TWake FWake;
    const std::size_t FMaxBytes;
    mutable std::mutex FLock;
    std::condition_variable FRoom;
    std::deque<T> FItems;
    std::size_t FBytes = 0;
    bool FWakeArmed = true;
};
