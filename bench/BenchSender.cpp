// vt_bench_sender: sends numbered entries as fast as it can, once the driver's start event
// is set: through the exchange area with vt_sender one line per call (shm) or a batch of
// lines per call (lines), with a sender of its own that posts once per entry (naive), or
// through OutputDebugStringA (ods).
//   vt_bench_sender --id K --run R --count N [--route shm|lines|naive|ods] [--size BYTES] [--channel mixed|0..9]
// With vt_sender it reports the longest hold of the mutex (VtLongestHoldMicroseconds).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchSenderTask.h"
#include "BenchShared.h"
#include "Exception.h"
#include "NaiveSender.h"
#include "ShmDefs.h"
#include "TextCodec.h"
#include "VtSender.h"

namespace {

constexpr unsigned MixedChannels = Shm::ChannelCount; // channel = sequence number mod 10
constexpr unsigned long LinesPerCall = 64;            // lines route: a ring's worth per VtSendLines

using Bench::TRoute;

struct TSenderCloser {
    void operator()(VtSender* sender) const noexcept { VtClose(sender); }
};
using TSenderPtr = std::unique_ptr<VtSender, TSenderCloser>;

TRoute ParseRoute(const std::wstring& name)
{
    for (const TRoute route : {TRoute::Exchange, TRoute::Lines, TRoute::Naive, TRoute::DebugOutput})
        if (name == Bench::RouteName(route))
            return route;
    throw Exception(L"--route must be shm, lines, naive or ods");
}

unsigned EntryChannel(unsigned channel, unsigned long seq)
{
    return channel == MixedChannels ? static_cast<unsigned>(seq % Shm::ChannelCount) : channel;
}

// One call per entry; returns how many were not sent.
std::int64_t SendEach(TRoute route, VtSender* sender, TNaiveSender* naive, const std::vector<std::string>& texts,
                      unsigned channel)
{
    std::int64_t notSent = 0;
    for (unsigned long seq = 1; seq <= texts.size(); ++seq) {
        const std::string& text = texts[seq - 1];
        if (route == TRoute::DebugOutput) {
            OutputDebugStringA(text.c_str());
            continue;
        }
        const unsigned entryChannel = EntryChannel(channel, seq);
        const bool sent = route == TRoute::Naive ? naive->Send(entryChannel, text)
                                                 : VtSendN(sender, entryChannel, text.data(), text.size()) == VT_OK;
        if (!sent)
            ++notSent;
    }
    return notSent;
}

// LinesPerCall lines per VtSendLines, each call on the channel of its first line.
std::int64_t SendInBatches(VtSender* sender, const std::vector<std::string>& texts, unsigned channel)
{
    std::vector<const char*> lines;
    lines.reserve(texts.size());
    for (const std::string& text : texts)
        lines.push_back(text.c_str());
    std::int64_t leftOut = 0;
    for (std::size_t first = 0; first < lines.size(); first += LinesPerCall) {
        const std::size_t count = std::min<std::size_t>(LinesPerCall, lines.size() - first);
        const unsigned callChannel = EntryChannel(channel, static_cast<unsigned long>(first + 1));
        if (VtSendLines(sender, callChannel, &lines[first], count) == VT_CHANNEL_OFF)
            leftOut += static_cast<std::int64_t>(count);
    }
    // Every text fits into one entry, so entries dropped are lines dropped.
    return leftOut + static_cast<std::int64_t>(VtDroppedCount(sender));
}

int Run(const Bench::TArguments& arguments)
{
    Bench::TSenderTask task(arguments);
    const TRoute route = ParseRoute(arguments.Text(L"route", L"shm"));
    const std::wstring channelText = arguments.Text(L"channel", L"mixed");
    const unsigned channel = channelText == L"mixed" ? MixedChannels : static_cast<unsigned>(std::stoul(channelText));

    TSenderPtr sender;
    std::optional<TNaiveSender> naiveSender;
    if (route == TRoute::Naive) {
        naiveSender.emplace();
    } else if (route != TRoute::DebugOutput) {
        sender.reset(VtOpen());
        if (!sender)
            throw Exception(L"The exchange area could not be opened");
    }

    task.AwaitGo();
    const std::vector<std::string>& texts = task.Texts();
    const std::int64_t notSent =
        route == TRoute::Lines ? SendInBatches(sender.get(), texts, channel)
                               : SendEach(route, sender.get(), naiveSender ? &*naiveSender : nullptr, texts, channel);
    std::optional<unsigned long> longestHoldUs;
    if (sender)
        longestHoldUs = VtLongestHoldMicroseconds(sender.get());
    task.Finish(static_cast<std::int64_t>(texts.size()) - notSent, notSent, longestHoldUs);
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
