// What the screen shows of a window, read back as a person would see it: a thread of its
// own copies the window's client area from the screen (GetDC(NULL) + BitBlt) every few tens
// of milliseconds and keeps a hash of each look. The window is never asked anything.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "BenchLooks.h"

namespace Bench {

class TScreenWatch {
public:
    explicit TScreenWatch(HWND window);
    ~TScreenWatch();
    TScreenWatch(const TScreenWatch&) = delete;
    TScreenWatch& operator=(const TScreenWatch&) = delete;

    int Looks(std::int64_t from, std::int64_t to) const;
    int Changes(std::int64_t from, std::int64_t to) const;
    std::optional<std::int64_t> FirstChangeAfter(std::int64_t after) const;
    std::optional<std::int64_t> LastChange() const;

private:
    void Watch();

    HWND FWindow;
    mutable std::mutex FLock;
    std::vector<TScreenLook> FLooks;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

} // namespace Bench
