#include "BenchScreen.h"

#include "BenchShared.h"
#include "Gdi.h"

namespace Bench {

namespace {

constexpr DWORD LookIntervalMs = 30;
constexpr WORD BitsPerPixel = 32;

// The hash of the pixels the screen shows in the window's client area; nothing when the
// window is gone or has no area.
std::optional<std::uint64_t> LookAt(HWND window)
{
    RECT client{};
    POINT origin{0, 0};
    if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin))
        return std::nullopt;
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0)
        return std::nullopt;

    const TWindowDC screen(nullptr);
    const TUniqueMemoryDC memory(CreateCompatibleDC(screen.Get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = BitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const TUniqueBitmap bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!screen.Get() || !memory || !bitmap || pixels == nullptr)
        return std::nullopt;
    {
        const TSelectObject selection(memory.Get(), bitmap.Get());
        if (!BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), origin.x, origin.y, SRCCOPY))
            return std::nullopt;
        GdiFlush();
    }
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * (BitsPerPixel / 8);
    return HashBytes(pixels, bytes) ^ (static_cast<std::uint64_t>(width) << 32 | static_cast<std::uint64_t>(height));
}

} // namespace

TScreenWatch::TScreenWatch(HWND window) : FWindow(window), FThread([this] { Watch(); }) {}

TScreenWatch::~TScreenWatch()
{
    FStop = true;
    FThread.join();
}

void TScreenWatch::Watch()
{
    while (!FStop) {
        if (const std::optional<std::uint64_t> hash = LookAt(FWindow)) {
            const std::lock_guard<std::mutex> guard(FLock);
            FLooks.push_back({NowTicks(), *hash});
        }
        Sleep(LookIntervalMs);
    }
}

int TScreenWatch::Looks(std::int64_t from, std::int64_t to) const
{
    const std::lock_guard<std::mutex> guard(FLock);
    return CountLooks(FLooks, from, to);
}

int TScreenWatch::Changes(std::int64_t from, std::int64_t to) const
{
    const std::lock_guard<std::mutex> guard(FLock);
    return CountChanges(FLooks, from, to);
}

std::optional<std::int64_t> TScreenWatch::FirstChangeAfter(std::int64_t after) const
{
    const std::lock_guard<std::mutex> guard(FLock);
    return Bench::FirstChangeAfter(FLooks, after);
}

std::optional<std::int64_t> TScreenWatch::LastChange() const
{
    const std::lock_guard<std::mutex> guard(FLock);
    return Bench::LastChange(FLooks);
}

} // namespace Bench
