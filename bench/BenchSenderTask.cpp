#include "BenchSenderTask.h"

#include "Exception.h"

namespace Bench {

TSenderTask::TSenderTask(const TArguments& arguments) : FView(TStatsView::TMode::Open)
{
    const unsigned long id = arguments.Number(L"id", 0);
    if (id == 0 || id > MaxSenders)
        throw Exception(L"--id must be 1 to " + std::to_wstring(MaxSenders));
    FId = static_cast<unsigned>(id);
    const auto run = static_cast<unsigned>(arguments.Number(L"run", 0));
    const unsigned long count = arguments.Number(L"count", 0);
    const unsigned long size = arguments.Number(L"size", DefaultEntrySize);
    if (size > Shm::MaxTextLength)
        throw Exception(L"--size must be at most " + std::to_wstring(Shm::MaxTextLength));
    FGo.Reset(OpenEventW(SYNCHRONIZE, FALSE, GoEventName));
    if (!FGo)
        throw Exception(L"The start event could not be opened");
    FTexts.reserve(count);
    for (unsigned long seq = 1; seq <= count; ++seq)
        FTexts.push_back(MakeEntryText({run, FId, seq}, size));
}

void TSenderTask::AwaitGo()
{
    InterlockedIncrement(&FView.Stats().ReadySenders);
    if (WaitForSingleObject(FGo.Get(), GoWaitMs) != WAIT_OBJECT_0)
        throw Exception(L"The start event was not set in time");
    Report().FirstSendTicks = NowTicks();
}

void TSenderTask::Finish(std::int64_t sent, std::int64_t dropped, std::optional<unsigned long> longestHoldUs) noexcept
{
    TSenderReport& report = Report();
    report.Sent = sent;
    report.Dropped = dropped;
    if (longestHoldUs)
        report.LongestHoldUs = static_cast<std::int64_t>(*longestHoldUs);
    report.Done = 1;
}

} // namespace Bench
