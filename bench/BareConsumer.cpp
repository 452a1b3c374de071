// vt_bench_bare: the ceiling of intake. It stands where the terminal stands (published in
// TerminalWnd, all channels on) and takes entries exactly as the terminal's pass does, with
// the same guarded accesses, but keeps no list and draws nothing: it only checks the
// sequence numbers into the benchmark's statistics. Ends on WM_CLOSE.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "BenchShared.h"
#include "Exception.h"
#include "ShmIntake.h"

namespace {

// The terminal's pass: at most this many entries, then a DebugEntry to itself; after a
// mutex time-out the pending entries are fetched again this much later.
constexpr std::int32_t PassBudget = 256;
constexpr UINT_PTR IntakeRetryTimer = 1;
constexpr UINT IntakeRetryMs = 50;
// Senders notify only a window of the terminal's class.
constexpr const wchar_t* WindowClassName = Shm::TerminalWindowClass;

class TBareConsumer {
public:
    TBareConsumer() : FStatsView(Bench::TStatsView::TMode::Open)
    {
        FDebugEntry = RegisterWindowMessageW(Shm::DebugEntryMessageName);
        CreateHiddenWindow();
    }

    ~TBareConsumer()
    {
        if (!ResetTerminalState(FExchange.Area(), FExchange.Mutex(), FWindow))
            FExchange.Area().TerminalWnd = 0;
        if (FWindow != nullptr)
            DestroyWindow(FWindow);
    }

    TBareConsumer(const TBareConsumer&) = delete;
    TBareConsumer& operator=(const TBareConsumer&) = delete;

    // Publishes the window as the terminal does: switches first, then the handle.
    void Publish()
    {
        FExchange.Area().ExtendedChannels = 1;
        std::memset(FExchange.Area().ChannelOn, 1, sizeof FExchange.Area().ChannelOn);
        PublishTerminal(FExchange.Area(), FExchange.Mutex(), FWindow, FOrder);
        FStatsView.Stats().Consumer.Ready = 1;
    }

private:
    void CreateHiddenWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &TBareConsumer::WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = WindowClassName;
        RegisterClassW(&windowClass);
        FWindow = CreateWindowExW(0, WindowClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                                  windowClass.hInstance, this);
        if (FWindow == nullptr)
            throw Exception(L"The bare consumer's window could not be created");
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<TBareConsumer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) {
            if (message == self->FDebugEntry) {
                self->DrainEntries();
                return 0;
            }
            if (message == Bench::MarkerMessage) {
                self->FStatsView.Stats().Consumer.Marker = static_cast<std::int64_t>(lParam);
                return 0;
            }
            if (message == WM_TIMER && wParam == IntakeRetryTimer) {
                KillTimer(window, IntakeRetryTimer);
                self->DrainEntries();
                return 0;
            }
        }
        if (message == WM_CLOSE) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void DrainEntries()
    {
        Bench::TConsumerReport& report = FStatsView.Stats().Consumer;
        const std::optional<TDrainResult> result = DrainPending(
            FExchange.Area(), FExchange.Mutex(), FWindow, FOrder,
            [](const TSlotEntry& entry) { return std::string(entry.Text); },
            [&report](const std::string& text) { Bench::CountDelivered(report, Bench::FindEntryTag(text)); },
            PassBudget);
        if (result && result->Stop == TDrainStop::Budget)
            PostMessageW(FWindow, FDebugEntry, 0, 0);
        else if (!result || result->Stop == TDrainStop::Busy)
            SetTimer(FWindow, IntakeRetryTimer, IntakeRetryMs, nullptr);
    }

    Bench::TStatsView FStatsView;
    Bench::TExchange FExchange;
    UINT FDebugEntry = 0;
    HWND FWindow = nullptr;
    std::int32_t FOrder = 0;
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    try {
        TBareConsumer consumer;
        consumer.Publish();
        MSG message{};
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "vt_bench_bare: %s\n", failure.what());
        return 1;
    }
}
