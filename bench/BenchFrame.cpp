#include "BenchFrame.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "BenchProcess.h"
#include "BenchShared.h"
#include "DebugMain.h"
#include "DisplayList.h"
#include "ErrorBox.h"
#include "Exception.h"
#include "LineExport.h"
#include "SearchMatch.h"
#include "TextCodec.h"
#include "WinHandles.h"

// The window's list and its search state are private; the bench reads them as the tests do.
struct TMainFrameProbe {
    static TDisplayList& Display(TMainFrame& frame) { return frame.dbDisplay; }
};

namespace Bench {

namespace {

constexpr int TimingRounds = 3; // best of these: the machine's load drifts
constexpr int MessagePumpLimit = 100000;
constexpr std::int32_t NoHit = -1; // the search index after a press that found nothing

void Pump()
{
    MSG message;
    for (int count = 0; count < MessagePumpLimit && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++count) {
        if (message.message == WM_QUIT)
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The window reads and writes its settings file beside this exe: a stale one would change
// the line limit, and the bench must leave none behind.
void RemoveSettingsFile() { DeleteFileW((BinDirectory() + IniFileTitle).c_str()); }

// The window's message boxes would wait for a click nobody gives: they become the failure.
class TBoxesAsFailures {
public:
    TBoxesAsFailures()
    {
        SetMessageBoxHandler([this](HWND, const std::wstring& text, const std::wstring&, UINT) {
            if (FFirst.empty())
                FFirst = text;
            return IDOK;
        });
    }
    ~TBoxesAsFailures() { SetMessageBoxHandler({}); }
    TBoxesAsFailures(const TBoxesAsFailures&) = delete;
    TBoxesAsFailures& operator=(const TBoxesAsFailures&) = delete;

    void Check() const
    {
        if (!FFirst.empty())
            throw Exception(L"The terminal's window reported: " + FFirst);
    }

private:
    std::wstring FFirst;
};

// The real window, alone in this process, its settings file removed at both ends.
class TLocalFrame {
public:
    TLocalFrame()
    {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        RemoveSettingsFile();
        FFrame = std::make_unique<TMainFrame>();
        Pump();
        FBoxes.Check();
    }
    ~TLocalFrame()
    {
        FFrame.reset();
        Pump();
        RemoveSettingsFile();
    }
    TLocalFrame(const TLocalFrame&) = delete;
    TLocalFrame& operator=(const TLocalFrame&) = delete;

    TMainFrame& Frame() const noexcept { return *FFrame; }
    TDisplayList& Display() const noexcept { return TMainFrameProbe::Display(*FFrame); }
    void Check() const { FBoxes.Check(); }

private:
    TBoxesAsFailures FBoxes; // outlives the window: its destruction may report too
    std::unique_ptr<TMainFrame> FFrame;
};

// Appends as the intake does during a pass: redraw suspended around the batch.
void Fill(TLocalFrame& local, const std::vector<std::wstring>& lines)
{
    {
        const TRedrawSuspension suspension(local.Display());
        for (const std::wstring& line : lines)
            local.Frame().AddLine(WideToAnsi(line));
    }
    Pump();
    local.Check();
    if (local.Display().Count() != static_cast<int>(lines.size()))
        throw Exception(L"The terminal's list holds " + std::to_wstring(local.Display().Count()) + L" lines, not " +
                        std::to_wstring(lines.size()));
}

// One Find Next downward from "no hit", as the find dialog runs it.
double SearchMs(TDisplayList& display, std::wstring_view missing)
{
    TSearchListOf<TDisplayList> list(display);
    std::int32_t searchIndex = NoHit;
    std::wstring lastSearchString;
    const std::int64_t start = NowTicks();
    SeekIt(list, missing, true, searchIndex, lastSearchString);
    const double ms = TicksToMs(NowTicks() - start);
    if (searchIndex != NoHit)
        throw Exception(L"The terminal found the missing text in line " + std::to_wstring(searchIndex));
    return ms;
}

std::uint64_t FileBytes(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// Every line, as Save As writes them once the dialog has given the path.
double SaveMs(TDisplayList& display, const std::wstring& path, std::uint64_t expectedBytes)
{
    const TSearchListOf<TDisplayList> lines(display);
    const std::int64_t start = NowTicks();
    SaveLines(path, lines, display.Count());
    const double ms = TicksToMs(NowTicks() - start);
    const std::uint64_t written = FileBytes(path);
    DeleteFileW(path.c_str());
    if (written != expectedBytes)
        throw Exception(L"The terminal saved " + std::to_wstring(written) + L" bytes, not " +
                        std::to_wstring(expectedBytes) + L": " + path);
    return ms;
}

} // namespace

TSearchSaveResult MeasureTerminalSearchAndSave(const std::vector<std::wstring>& lines, std::wstring_view missing)
{
    TLocalFrame local;
    Fill(local, lines);

    std::uint64_t expectedBytes = 0;
    for (const std::wstring& line : lines)
        expectedBytes += WideToAnsi(line).size() + 2; // CR LF
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"vt_bench_save_" + std::to_wstring(GetCurrentProcessId()) + L".txt";

    TSearchSaveResult result{SearchMs(local.Display(), missing), SaveMs(local.Display(), path, expectedBytes)};
    for (int round = 1; round < TimingRounds; ++round) {
        result.SearchMs = std::min(result.SearchMs, SearchMs(local.Display(), missing));
        result.SaveMs = std::min(result.SaveMs, SaveMs(local.Display(), path, expectedBytes));
    }
    local.Check();
    return result;
}

} // namespace Bench
