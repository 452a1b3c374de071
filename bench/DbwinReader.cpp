// vt_bench_dbwin: a minimal reader of the standard debug-output buffer, the route that
// OutputDebugStringA takes to any debug viewer. It creates the buffer and both events,
// reads one text at a time and checks the sequence numbers into the benchmark's
// statistics. Ends when the driver sets Stop.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string_view>

#include "BenchShared.h"
#include "Exception.h"

namespace {

constexpr wchar_t BufferName[] = L"DBWIN_BUFFER";
constexpr wchar_t BufferReadyName[] = L"DBWIN_BUFFER_READY";
constexpr wchar_t DataReadyName[] = L"DBWIN_DATA_READY";
constexpr DWORD BufferSize = 4096; // the process id, then a zero-terminated text
constexpr DWORD StopPollMs = 100;

#pragma pack(push, 1)
struct TDbwinBuffer {
    DWORD ProcessId;
    char Text[BufferSize - sizeof(DWORD)];
};
#pragma pack(pop)

TUniqueHandle CreateNamedEvent(const wchar_t* name)
{
    TUniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, name));
    if (!event || GetLastError() == ERROR_ALREADY_EXISTS)
        throw Exception(std::wstring(L"Cannot create the event ") + name + L" (another debug viewer runs?)");
    return event;
}

int Run()
{
    const Bench::TStatsView statsView(Bench::TStatsView::TMode::Open);
    Bench::TConsumerReport& report = statsView.Stats().Consumer;

    const TUniqueHandle mapping(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, BufferSize, BufferName));
    if (!mapping || GetLastError() == ERROR_ALREADY_EXISTS)
        throw Exception(L"Cannot create the debug-output buffer (another debug viewer runs?)");
    const TMappedView bufferView(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, BufferSize));
    if (!bufferView)
        throw Exception(L"Cannot map the debug-output buffer");
    const auto* buffer = static_cast<const TDbwinBuffer*>(bufferView.Get());
    const TUniqueHandle bufferReady = CreateNamedEvent(BufferReadyName);
    const TUniqueHandle dataReady = CreateNamedEvent(DataReadyName);

    report.Ready = 1;
    SetEvent(bufferReady.Get());
    while (report.Stop == 0) {
        if (WaitForSingleObject(dataReady.Get(), StopPollMs) != WAIT_OBJECT_0)
            continue;
        const std::string_view text(buffer->Text, strnlen(buffer->Text, sizeof buffer->Text));
        Bench::CountDelivered(report, Bench::FindEntryTag(text));
        SetEvent(bufferReady.Get());
    }
    return 0;
}

} // namespace

int wmain()
{
    try {
        return Run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "vt_bench_dbwin: %s\n", failure.what());
        return 1;
    }
}
