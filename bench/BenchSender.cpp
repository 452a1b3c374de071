// vt_bench_sender: sends numbered entries as fast as it can, once the driver's start event
// is set: through the exchange area with vt_sender (shm), with a sender of its own that posts
// once per entry (naive), or through OutputDebugStringA (ods).
//   vt_bench_sender --id K --run R --count N [--route shm|naive|ods] [--size BYTES] [--channel mixed|0..9]
#include <windows.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchShared.h"
#include "Exception.h"
#include "NaiveSender.h"
#include "ShmDefs.h"
#include "TextCodec.h"
#include "VtSender.h"

namespace {

constexpr unsigned long DefaultEntrySize = 60;
constexpr unsigned MixedChannels = Shm::ChannelCount; // channel = sequence number mod 10

struct TSenderCloser {
    void operator()(VtSender* sender) const noexcept { VtClose(sender); }
};
using TSenderPtr = std::unique_ptr<VtSender, TSenderCloser>;

int Run(const Bench::TArguments& arguments)
{
    const unsigned long id = arguments.Number(L"id", 0);
    if (id == 0 || id > Bench::MaxSenders)
        throw Exception(L"--id must be 1 to " + std::to_wstring(Bench::MaxSenders));
    const auto run = static_cast<unsigned>(arguments.Number(L"run", 0));
    const unsigned long count = arguments.Number(L"count", 0);
    const unsigned long size = arguments.Number(L"size", DefaultEntrySize);
    if (size > Shm::MaxTextLength)
        throw Exception(L"--size must be at most " + std::to_wstring(Shm::MaxTextLength));
    const std::wstring route = arguments.Text(L"route", L"shm");
    const bool viaDebugOutput = route == L"ods";
    const bool naive = route == L"naive";
    if (!viaDebugOutput && !naive && route != L"shm")
        throw Exception(L"--route must be shm, naive or ods");
    const std::wstring channelText = arguments.Text(L"channel", L"mixed");
    const unsigned channel = channelText == L"mixed" ? MixedChannels : static_cast<unsigned>(std::stoul(channelText));

    const Bench::TStatsView view(Bench::TStatsView::TMode::Open);
    Bench::TSenderReport& report = view.Stats().Senders[id];

    TSenderPtr sender;
    std::optional<TNaiveSender> naiveSender;
    if (naive) {
        naiveSender.emplace();
    } else if (!viaDebugOutput) {
        sender.reset(VtOpen());
        if (!sender)
            throw Exception(L"The exchange area could not be opened");
    }
    const TUniqueHandle go(OpenEventW(SYNCHRONIZE, FALSE, Bench::GoEventName));
    if (!go)
        throw Exception(L"The start event could not be opened");

    // Built beforehand, so that the timed loop only sends.
    std::vector<std::string> texts;
    texts.reserve(count);
    for (unsigned long seq = 1; seq <= count; ++seq)
        texts.push_back(Bench::MakeEntryText({run, static_cast<unsigned>(id), seq}, size));

    InterlockedIncrement(&view.Stats().ReadySenders);
    if (WaitForSingleObject(go.Get(), Bench::GoWaitMs) != WAIT_OBJECT_0)
        throw Exception(L"The start event was not set in time");

    std::int64_t notSent = 0;
    report.FirstSendTicks = Bench::NowTicks();
    for (unsigned long seq = 1; seq <= count; ++seq) {
        const std::string& text = texts[seq - 1];
        if (viaDebugOutput) {
            OutputDebugStringA(text.c_str());
            continue;
        }
        const unsigned entryChannel = channel == MixedChannels ? seq % Shm::ChannelCount : channel;
        const bool sent = naive ? naiveSender->Send(entryChannel, text)
                                : VtSendN(sender.get(), entryChannel, text.data(), text.size()) == VT_OK;
        if (!sent)
            ++notSent;
    }
    report.Sent = static_cast<std::int64_t>(count) - notSent;
    report.Dropped = notSent;
    report.Done = 1;
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        return Run(Bench::TArguments(argc, argv, {L"id", L"run", L"count", L"route", L"size", L"channel"}));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "vt_bench_sender: %s\n", failure.what());
        return 1;
    }
}
