// The Capture menu measured: the senders' texts through the system's debug-output buffer
// into the terminal's list, and what the log to file holds of a flood.
#include "BenchRuns.h"

#include "Exception.h"
#include "WinHandles.h"

namespace Bench {

namespace {

constexpr DWORD ShowLimitMs = 60000; // after the last call, every message shows within this
constexpr DWORD PollMs = 1;
constexpr DWORD QuietMs = 500;       // a list unchanged this long takes no more lines

} // namespace

TFloodResult TBenchDriver::FloodCapture(const TChildProcess& process, const TTerminalView& terminal, const TFloodSpec& spec)
{
    const unsigned run = NextRun();
    const int expected = spec.Senders * static_cast<int>(spec.PerSender);
    const TSendersRun senders = RunSenders(spec, run, process, nullptr, [&] {
        // Each call waits until the terminal's reader has taken its text; the list shows it
        // once the window has taken it from the reader.
        PollUntil(ShowLimitMs, L"the captured messages did not all reach the list",
                  [&] { return terminal.Count() >= expected; });
        return NowTicks();
    }, [&] { terminal.AwaitPostedMessages(ShowLimitMs); });
    TFloodResult result = Result(senders);
    result.Run = run;
    result.ListLines = terminal.Count();
    result.Loss = CheckListTail(terminal, spec, run);
    return result;
}

std::int64_t AwaitQuietList(const TTerminalView& terminal, DWORD limitMs, int enough)
{
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    int count = terminal.Count();
    std::int64_t grown = NowTicks();
    while (count < enough && TicksToMs(NowTicks() - grown) < QuietMs) {
        if (GetTickCount64() >= deadline)
            throw Exception(L"Timed out: the list did not come to rest");
        Sleep(PollMs);
        if (const int now = terminal.Count(); now != count) {
            count = now;
            grown = NowTicks();
        }
    }
    return count >= enough ? NowTicks() : grown;
}

std::int64_t CountLogLines(const std::wstring& path, unsigned run)
{
    const TUniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        throw Exception(L"The log file was not written: " + path);
    std::string bytes;
    char buffer[64 * 1024];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    std::int64_t lines = 0;
    for (std::size_t start = 0, end = 0; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::optional<TEntryTag> tag = FindEntryTag(std::string_view(bytes).substr(start, end - start));
        lines += tag && tag->Run == run ? 1 : 0;
    }
    return lines;
}

} // namespace Bench
