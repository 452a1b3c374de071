#include "BenchFloodSenders.h"

#include "Exception.h"

namespace Bench {

namespace {

constexpr wchar_t VtSendExe[] = L"vtsend.exe";
constexpr DWORD VtSendDropped = 2; // exit status: lines dropped; they show as missing lines

} // namespace

const char* KindName(TSenderKind kind) noexcept { return kind == TSenderKind::Naive ? "naive" : "vtsend"; }

TFloodSenders::TFloodSenders(TBenchDriver& driver, const TResponseSpec& spec)
    : FDriver(driver), FSpec(spec), FRun(driver.NextRun())
{
    if (spec.Kind != TSenderKind::Naive)
        return;
    TFloodSpec flood;
    flood.Senders = spec.Senders;
    flood.PerSender = spec.PerSender;
    flood.Route = TRoute::Naive;
    FProcesses = driver.StartSenders(flood, FRun);
}

void TFloodSenders::Go()
{
    if (FSpec.Kind == TSenderKind::Naive) {
        FDriver.Go();
        return;
    }
    // "vtsend --count N R<run> S<id> #" sends "R<run> S<id> # 1" to "... # N".
    for (int id = 1; id <= FSpec.Senders; ++id)
        FProcesses.push_back(std::make_unique<TChildProcess>(
            BinDirectory() + VtSendExe, L"--count " + std::to_wstring(FSpec.PerSender) + L" " +
                                            TagHead(FRun, static_cast<unsigned>(id))));
}

bool TFloodSenders::Done() const
{
    if (FSpec.Kind == TSenderKind::Naive)
        return FDriver.SendersDone(FProcesses);
    for (const auto& process : FProcesses) {
        const std::optional<DWORD> status = process->WaitExit(0);
        if (!status)
            return false;
        if (*status != 0 && *status != VtSendDropped)
            throw Exception(L"vtsend ended with exit status " + std::to_wstring(*status));
    }
    return true;
}

} // namespace Bench
