#include "BenchFloodSenders.h"

#include <cstdio>

#include "BenchVtSendStats.h"
#include "Exception.h"
#include "TextCodec.h"

namespace Bench {

namespace {

constexpr wchar_t VtSendExe[] = L"vtsend.exe";
constexpr DWORD VtSendDropped = 2; // exit status: lines dropped; they show as missing lines
// With this option vtsend ends with a stats line that gives its longest hold of the mutex,
// which counts under the route name VtSendRoute.
constexpr wchar_t VtSendStatsOption[] = L"--stats";
constexpr char VtSendRoute[] = "vtsend";

bool IsVtSend(TSenderKind kind) noexcept { return kind == TSenderKind::VtSend || kind == TSenderKind::VtSendPipe; }

TRoute RouteOf(TSenderKind kind) noexcept
{
    switch (kind) {
    case TSenderKind::Lines:
        return TRoute::Lines;
    case TSenderKind::CApi:
        return TRoute::CApi;
    default:
        return TRoute::Naive;
    }
}

// The tagged lines of one sender, each ended by LF, as vtsend reads them.
std::string InputLines(unsigned run, unsigned sender, unsigned long count)
{
    std::string input;
    input.reserve(count * (DefaultEntrySize + 1));
    for (unsigned long seq = 1; seq <= count; ++seq)
        input += MakeEntryText({run, sender, seq}, DefaultEntrySize) + '\n';
    return input;
}

// Writes until everything is in the pipe or its reader has gone.
void WriteAll(HANDLE pipe, const std::string& bytes) noexcept
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(pipe, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

} // namespace

const char* KindName(TSenderKind kind) noexcept
{
    switch (kind) {
    case TSenderKind::Lines:
        return "lines";
    case TSenderKind::CApi:
        return "C API";
    case TSenderKind::VtSend:
        return "vtsend";
    case TSenderKind::VtSendPipe:
        return "vtsend stdin";
    case TSenderKind::Naive:
        break;
    }
    return "naive";
}

TFloodSenders::TFloodSenders(TBenchDriver& driver, const TResponseSpec& spec)
    : FDriver(driver), FSpec(spec), FRun(driver.NextRun())
{
    // The bench senders: the flood's own, then the debug-output ones; or the debug-output
    // ones alone beside vtsend, which then takes the ids after theirs.
    TFloodSpec flood;
    flood.PerSender = spec.PerSender;
    if (IsVtSend(spec.Kind)) {
        flood.Senders = spec.DebugOutputSenders;
        flood.Route = TRoute::DebugOutput;
        FFirstVtSendId = spec.DebugOutputSenders + 1;
    } else {
        flood.Senders = spec.Senders;
        flood.Route = RouteOf(spec.Kind);
        flood.DebugOutputSenders = spec.DebugOutputSenders;
    }
    if (flood.Senders > 0)
        FBenchSenders = driver.StartSenders(flood, FRun);
    if (spec.Kind == TSenderKind::VtSendPipe) {
        for (int i = 0; i < spec.Senders; ++i)
            FInputs.push_back(InputLines(FRun, static_cast<unsigned>(FFirstVtSendId + i), spec.PerSender));
    }
}

void TFloodSenders::Go()
{
    FWriteIndex = FDriver.Area().WriteIndex;
    if (!FBenchSenders.empty())
        FDriver.Go();
    if (!IsVtSend(FSpec.Kind))
        return;
    for (int i = 0; i < FSpec.Senders; ++i) {
        if (FSpec.Kind == TSenderKind::VtSend)
            StartVtSend(FFirstVtSendId + i);
        else
            StartVtSendOnPipe(i);
    }
}

// "vtsend --count N R<run> S<id> #" sends "R<run> S<id> # 1" to "... # N".
void TFloodSenders::StartVtSend(int id)
{
    FVtSends.push_back(std::make_unique<TChildProcess>(
        BinDirectory() + VtSendExe,
        std::wstring(VtSendStatsOption) + L" --count " + std::to_wstring(FSpec.PerSender) + L" " +
            TagHead(FRun, static_cast<unsigned>(id)),
        nullptr, TChildErrors::Captured));
}

// vtsend reads the pipe; a thread writes the lines into it and closes it, which ends vtsend.
void TFloodSenders::StartVtSendOnPipe(int index)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE rawRead = nullptr;
    HANDLE rawWrite = nullptr;
    if (!CreatePipe(&rawRead, &rawWrite, &inheritable, 0))
        throw Exception(L"The pipe for vtsend could not be created");
    TUniqueHandle readEnd(rawRead);
    TUniqueHandle writeEnd(rawWrite);
    SetHandleInformation(writeEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    FVtSends.push_back(
        std::make_unique<TChildProcess>(BinDirectory() + VtSendExe, VtSendStatsOption, readEnd.Get(), TChildErrors::Captured));
    readEnd.Reset();
    FWriters.emplace_back([pipe = std::move(writeEnd), &input = FInputs[static_cast<std::size_t>(index)]]() mutable {
        WriteAll(pipe.Get(), input);
        pipe.Reset();
    });
}

std::int64_t TFloodSenders::AwaitFirstEntry(DWORD limitMs) const
{
    const volatile TShmArea& area = FDriver.Area();
    PollUntil(limitMs, L"no sender wrote an entry",
              [&] { return area.PendingCount > 0 || area.WriteIndex != FWriteIndex; });
    return NowTicks();
}

bool TFloodSenders::Done()
{
    // Both asked every time: a sender that failed is reported at once.
    const bool vtSendsDone = VtSendsDone();
    const bool benchSendersDone = FBenchSenders.empty() || FDriver.SendersDone(FBenchSenders);
    return vtSendsDone && benchSendersDone;
}

bool TFloodSenders::VtSendsDone()
{
    bool done = true;
    for (const auto& process : FVtSends) {
        const std::optional<DWORD> status = process->WaitExit(0);
        if (!status)
            done = false;
        else if (*status != 0 && *status != VtSendDropped)
            throw Exception(L"vtsend ended with exit status " + std::to_wstring(*status) + L": " +
                            AnsiToWide(process->CapturedErrors()));
    }
    if (done && !FVtSendHoldsNoted) {
        FVtSendHoldsNoted = true;
        NoteVtSendHolds();
    }
    return done;
}

// Each vtsend's stats line gives its longest hold; its messages go on to this process's
// standard error, where they went before the stats were captured.
void TFloodSenders::NoteVtSendHolds()
{
    for (const auto& process : FVtSends) {
        const std::string errors = process->CapturedErrors();
        const TVtSendStats stats = ReadVtSendStats(errors);
        std::fputs(stats.Messages.c_str(), stderr);
        if (!stats.LongestHoldUs)
            throw Exception(L"vtsend wrote no stats line with its longest hold of the mutex: \"" + AnsiToWide(errors) +
                            L"\"");
        FDriver.NoteLongestHold(VtSendRoute, *stats.LongestHoldUs);
    }
}

} // namespace Bench
