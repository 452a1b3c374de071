#include "BenchReport.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "BenchFormat.h"
#include "BenchResponseReport.h"
#include "Exception.h"
#include "TextCodec.h"

namespace Bench {

namespace {

// The targets the terminal is held to, as measured here.
constexpr double MinShortRatio = 0.8;     // terminal / bare on a short list
constexpr double MinLimitRatio = 0.7;     // terminal / bare with the list at its limit
constexpr double MaxAnswerMs = 150;       // longest unanswered interval under the flood
constexpr double MaxLatencyP99Ms = 20;
constexpr double MaxMemoryRatio = 3;      // private bytes / bytes of text held
constexpr double MinVtSendToCeiling = 1.5; // vtsend into the terminal / naive ceiling
constexpr double MinCApiToCeiling = 1.2;   // the C program into the terminal / naive ceiling
constexpr double MaxHoldMs = 2;            // longest hold of the mutex by our sender
constexpr double MicrosecondsPerMs = 1000;
constexpr double MinTextRulesRatio = 0.9; // 20 text rules / no rules
constexpr double MinRegexRulesRatio = 0.8; // 5 regex rules / no rules
constexpr double MinPathologicalRatio = 0.8; // 1 pathological regex / no rules
constexpr double MaxHostileDecisionUs = 50; // the longest decision of a hostile pattern
constexpr double MinCaptureRatio = 0.9;   // capture / minimal reader of the debug-output buffer
constexpr double MinLogRatio = 0.9;       // intake with the log to file on / off
constexpr double BytesPerMegabyte = 1024.0 * 1024.0;

std::optional<double> Ratio(double numerator, double denominator)
{
    if (denominator <= 0)
        return std::nullopt;
    return numerator / denominator;
}

std::optional<double> Ratio(const std::optional<double>& numerator, double denominator)
{
    return numerator ? Ratio(*numerator, denominator) : std::nullopt;
}

std::int64_t Lost(const TFloodResult& result) { return result.Loss ? result.Loss->Lost + result.Loss->Duplicates : 0; }

double LongestAnswer(const TBenchReport& report)
{
    return std::max(report.Terminal1.MaxAnswerMs.value_or(0), report.Terminal4.MaxAnswerMs.value_or(0));
}

double LongestAnswerWithRules(const TBenchReport& report)
{
    double longest = 0;
    for (const TFloodResult* run : {&report.NoRules, &report.TextRules, &report.RegexRules, &report.PathologicalRule})
        longest = std::max(longest, run->MaxAnswerMs.value_or(0));
    return longest;
}

double MemoryRatio(const TMemoryResult& memory)
{
    return Ratio(static_cast<double>(memory.FullPrivateBytes), static_cast<double>(memory.TextBytes)).value_or(0);
}

// The figures the targets are about, and whether each target is met.
struct TVerdict {
    double ShortRatio = 0;       // 1 sender, short list: terminal / bare
    double SteadyShortRatio = 0; // 4 senders, short list: terminal / bare
    double SteadyLimitRatio = 0; // 4 senders, list at the limit: terminal / bare
    std::int64_t Lost = 0;
    double LongestAnswerMs = 0;
    double MemoryRatio = 0;
    double VtSendCountRatio = 0, VtSendPipeRatio = 0, CApiRatio = 0; // to the naive ceiling
    std::int64_t ThroughputLost = 0;                                 // lines lost or doubled
    std::optional<double> LongestHoldMs;                             // over every route reported
    bool ShortMet = false, LimitMet = false, LostMet = false, AnswerMet = false, LatencyMet = false, MemoryMet = false;
    bool VtSendCountMet = false, VtSendPipeMet = false, CApiMet = false, ShownOnceMet = false, HoldMet = false;
    double TextRulesRatio = 0;   // 20 text rules / no rules
    double RegexRulesRatio = 0;  // 5 regex rules / no rules
    double PathologicalRatio = 0; // 1 pathological regex / no rules
    double LongestAnswerWithRulesMs = 0;
    bool TextRulesMet = false, RegexRulesMet = false, PathologicalMet = false, HostileMet = false,
         AnswerWithRulesMet = false;
    double Capture1Ratio = 0; // capture / minimal reader
    double Capture4Ratio = 0;
    std::int64_t CaptureLost = 0;
    bool CaptureMet = false, CaptureLostMet = false;
    double LogRatio = 0; // intake with the log on / off
    std::int64_t LogMissing = 0; // entries of the run not in the log file
    bool LogMet = false, LogCompleteMet = false;
};

// The longest hold over every route that reported one.
std::optional<std::int64_t> LongestHoldUs(const std::map<std::string, std::int64_t>& holds)
{
    if (holds.empty())
        return std::nullopt;
    return std::max_element(holds.begin(), holds.end(), [](const auto& a, const auto& b) { return a.second < b.second; })
        ->second;
}

TVerdict Judge(const TBenchReport& report)
{
    TVerdict verdict;
    verdict.ShortRatio = Ratio(report.Terminal1.Rate, report.Bare1.Rate).value_or(0);
    verdict.SteadyShortRatio = Ratio(report.SteadyShort.Rate, report.SteadyBare.Rate).value_or(0);
    verdict.SteadyLimitRatio = Ratio(report.SteadyLimit.Rate, report.SteadyBare.Rate).value_or(0);
    verdict.Lost = Lost(report.Terminal1) + Lost(report.Terminal4) + Lost(report.SteadyShort) + Lost(report.SteadyLimit) +
                   Lost(report.NoRules) + Lost(report.TextRules) + Lost(report.RegexRules) + Lost(report.PathologicalRule);
    verdict.LongestAnswerMs = LongestAnswer(report);
    verdict.MemoryRatio = MemoryRatio(report.Memory);
    verdict.ShortMet = verdict.ShortRatio >= MinShortRatio && verdict.SteadyShortRatio >= MinShortRatio;
    verdict.LimitMet = verdict.SteadyLimitRatio >= MinLimitRatio;
    verdict.LostMet = verdict.Lost == 0;
    verdict.AnswerMet = verdict.LongestAnswerMs < MaxAnswerMs;
    verdict.LatencyMet = report.Latency.P99Ms < MaxLatencyP99Ms;
    verdict.MemoryMet = verdict.MemoryRatio <= MaxMemoryRatio;

    const TSenderThroughput& throughput = report.Throughput;
    const double ceiling = throughput.NaiveCeiling();
    verdict.VtSendCountRatio = Ratio(throughput.VtSendCount.Rate, ceiling).value_or(0);
    verdict.VtSendPipeRatio = Ratio(throughput.VtSendPipe.Rate, ceiling).value_or(0);
    verdict.CApiRatio = Ratio(throughput.CApi.Rate, ceiling).value_or(0);
    verdict.ThroughputLost = Lost(throughput.VtSendCount) + Lost(throughput.VtSendPipe) + Lost(throughput.CApi);
    if (const std::optional<std::int64_t> longest = LongestHoldUs(report.LongestHoldsUs))
        verdict.LongestHoldMs = static_cast<double>(*longest) / MicrosecondsPerMs;
    verdict.VtSendCountMet = verdict.VtSendCountRatio >= MinVtSendToCeiling;
    verdict.VtSendPipeMet = verdict.VtSendPipeRatio >= MinVtSendToCeiling;
    verdict.CApiMet = verdict.CApiRatio >= MinCApiToCeiling;
    verdict.ShownOnceMet = verdict.ThroughputLost == 0;
    verdict.HoldMet = verdict.LongestHoldMs && *verdict.LongestHoldMs <= MaxHoldMs;
    verdict.TextRulesRatio = Ratio(report.TextRules.Rate, report.NoRules.Rate).value_or(0);
    verdict.RegexRulesRatio = Ratio(report.RegexRules.Rate, report.NoRules.Rate).value_or(0);
    verdict.PathologicalRatio = Ratio(report.PathologicalRule.Rate, report.NoRules.Rate).value_or(0);
    verdict.LongestAnswerWithRulesMs = LongestAnswerWithRules(report);
    verdict.TextRulesMet = verdict.TextRulesRatio >= MinTextRulesRatio;
    verdict.RegexRulesMet = verdict.RegexRulesRatio >= MinRegexRulesRatio;
    verdict.PathologicalMet = verdict.PathologicalRatio >= MinPathologicalRatio;
    verdict.HostileMet = std::max(report.HostileFirstUs, report.HostileLaterUs) < MaxHostileDecisionUs;
    verdict.AnswerWithRulesMet = verdict.LongestAnswerWithRulesMs < MaxAnswerMs;
    verdict.Capture1Ratio = Ratio(report.Capture1.Rate, report.Reader1.Rate).value_or(0);
    verdict.Capture4Ratio = Ratio(report.Capture4.Rate, report.Reader4.Rate).value_or(0);
    verdict.CaptureLost = Lost(report.Capture1) + Lost(report.Capture4) + Lost(report.AreaBesideCapture);
    verdict.CaptureMet = verdict.Capture1Ratio >= MinCaptureRatio && verdict.Capture4Ratio >= MinCaptureRatio;
    verdict.CaptureLostMet = verdict.CaptureLost == 0;
    verdict.LogRatio = Ratio(report.LogOn.Rate, report.LogOff.Rate).value_or(0);
    verdict.LogMissing = report.LogOn.Entries - report.LogFileLines;
    verdict.LogMet = verdict.LogRatio >= MinLogRatio;
    verdict.LogCompleteMet = verdict.LogMissing == 0 && Lost(report.LogOn) == 0;
    return verdict;
}

std::string Rate(const TFloodResult& result) { return Format("%.0f", result.Rate); }

// ---- JSON --------------------------------------------------------------------------------

std::string JsonFlood(const TFloodResult& result)
{
    TFields fields = {
        {"entries", JsonNumber(result.Entries)},
        {"seconds", JsonNumber(result.Seconds)},
        {"entriesPerSecond", JsonNumber(result.Rate)},
        {"consumerCpuUsPerEntry", JsonNumber(result.ConsumerCpuUs)},
        {"queuedNotificationsSeconds", JsonNumber(result.BacklogSeconds)},
    };
    if (result.Loss) {
        fields.emplace_back("lost", JsonNumber(result.Loss->Lost));
        fields.emplace_back("duplicates", JsonNumber(result.Loss->Duplicates));
        fields.emplace_back("stray", JsonNumber(result.Loss->Stray));
        fields.emplace_back("senderDropped", JsonNumber(result.Loss->SenderDropped));
    }
    if (result.MaxAnswerMs)
        fields.emplace_back("longestAnswerMs", JsonNumber(*result.MaxAnswerMs));
    if (result.ListLines >= 0)
        fields.emplace_back("listLinesAfter", JsonNumber(static_cast<std::int64_t>(result.ListLines)));
    return JsonObject(fields);
}

std::string JsonIntake(const TFloodResult& terminal, const TFloodResult& bare, const TFloodResult& peer)
{
    return JsonObject({
        {"terminal", JsonFlood(terminal)},
        {"bare", JsonFlood(bare)},
        {"debugOutput", JsonFlood(peer)},
        {"terminalToBare", JsonNumber(Ratio(terminal.Rate, bare.Rate))},
        {"terminalToDebugOutput", JsonNumber(Ratio(terminal.Rate, peer.Rate))},
    });
}

// Whole senders against the naive ceiling, and the longest hold of the mutex.
std::vector<TRow> ThroughputRows(const TBenchReport& report, const TVerdict& verdict)
{
    const TSenderThroughput& throughput = report.Throughput;
    const std::string ceiling = Format("%.0f", throughput.NaiveCeiling()) + " naive";
    const std::string entries = std::to_string(throughput.Entries);
    std::string routes;
    for (const auto& [route, us] : report.LongestHoldsUs)
        routes += (routes.empty() ? "" : "/") + route;
    const std::string vtsendTarget = AtLeast(MinVtSendToCeiling);
    return {
        {"Naive ceiling: 1 naive sender (4 senders) [e/s]", "",
         Rate(throughput.Naive) + " (" + Rate(throughput.Naive4) + ") bare", "", "", ""},
        {"vtsend --count " + entries + " [e/s]", Rate(throughput.VtSendCount), ceiling, Fixed(verdict.VtSendCountRatio),
         vtsendTarget, Met(verdict.VtSendCountMet)},
        {"vtsend, " + entries + " lines from a pipe [e/s]", Rate(throughput.VtSendPipe), ceiling,
         Fixed(verdict.VtSendPipeRatio), vtsendTarget, Met(verdict.VtSendPipeMet)},
        {"C program, VtSend in a tight loop [e/s]", Rate(throughput.CApi), ceiling, Fixed(verdict.CApiRatio),
         AtLeast(MinCApiToCeiling), Met(verdict.CApiMet)},
        {"Lines lost or doubled, vtsend count / pipe / C",
         Number(Lost(throughput.VtSendCount)) + " / " + Number(Lost(throughput.VtSendPipe)) + " / " +
             Number(Lost(throughput.CApi)),
         "", "", "0", Met(verdict.ShownOnceMet)},
        {"Longest mutex hold, senders " + routes + " [ms]", Fixed(verdict.LongestHoldMs), "", "",
         Format("<= %.0f", MaxHoldMs), Met(verdict.HoldMet)},
    };
}

std::string JsonAgainstCeiling(const TFloodResult& result, double ceiling)
{
    return JsonObject({{"terminal", JsonFlood(result)}, {"toNaiveCeiling", JsonNumber(Ratio(result.Rate, ceiling))}});
}

std::string JsonThroughput(const TBenchReport& report)
{
    const TSenderThroughput& throughput = report.Throughput;
    const double ceiling = throughput.NaiveCeiling();
    const std::optional<std::int64_t> longest = LongestHoldUs(report.LongestHoldsUs);
    TFields holds = {{"max", longest ? JsonNumber(*longest) : "null"}};
    for (const auto& [route, us] : report.LongestHoldsUs)
        holds.emplace_back(route, JsonNumber(us));
    return JsonObject({
        {"naiveCeiling", JsonObject({
                             {"entriesPerSecond", JsonNumber(ceiling)},
                             {"sender1", JsonFlood(throughput.Naive)},
                             {"senders4ForComparison", JsonFlood(throughput.Naive4)},
                         })},
        {"vtsendCount", JsonAgainstCeiling(throughput.VtSendCount, ceiling)},
        {"vtsendPipe", JsonAgainstCeiling(throughput.VtSendPipe, ceiling)},
        {"cApiTightLoop", JsonAgainstCeiling(throughput.CApi, ceiling)},
        {"longestMutexHoldUs", JsonObject(holds)},
    });
}

std::string JsonCapture(const TFloodResult& capture, const TFloodResult& reader)
{
    return JsonObject({
        {"terminal", JsonFlood(capture)},
        {"minimalReader", JsonFlood(reader)},
        {"terminalToReader", JsonNumber(Ratio(capture.Rate, reader.Rate))},
    });
}

} // namespace

void PrintTable(const TBenchReport& report)
{
    const TMemoryResult& memory = report.Memory;
    const TVerdict verdict = Judge(report);

    std::vector<TRow> rows = {
        {"Figure", "Terminal", "Reference", "Ratio", "Target", "Met"},
        {"Intake, 1 sender, short list [entries/s]", Rate(report.Terminal1), Rate(report.Bare1) + " bare",
         Fixed(verdict.ShortRatio), AtLeast(MinShortRatio), Met(verdict.ShortRatio >= MinShortRatio)},
        {"Intake, 4 senders, through the limit [entries/s]", Rate(report.Terminal4), Rate(report.Bare4) + " bare",
         Fixed(Ratio(report.Terminal4.Rate, report.Bare4.Rate)), "", ""},
        {"Entries lost, 1 / 4 senders / at the limit",
         Number(Lost(report.Terminal1)) + " / " + Number(Lost(report.Terminal4)) + " / " + Number(Lost(report.SteadyLimit)),
         Number(Lost(report.Bare1)) + " / " + Number(Lost(report.Bare4)) + " / " + Number(Lost(report.SteadyBare)) + " bare", "",
         "0", Met(verdict.LostMet)},
        {"Consumer CPU per entry, 1 / 4 senders [us]",
         Format("%.0f", report.Terminal1.ConsumerCpuUs) + " / " + Format("%.0f", report.Terminal4.ConsumerCpuUs),
         Format("%.0f", report.Bare1.ConsumerCpuUs) + " / " + Format("%.0f", report.Bare4.ConsumerCpuUs) + " bare", "", "", ""},
        {"Notifications queued after the flood, 1 / 4 [s]",
         Format("%.1f", report.Terminal1.BacklogSeconds) + " / " + Format("%.1f", report.Terminal4.BacklogSeconds),
         Format("%.1f", report.Bare1.BacklogSeconds) + " / " + Format("%.1f", report.Bare4.BacklogSeconds) + " bare", "", "", ""},
        {"Peer route OutputDebugStringA, 1 sender [e/s]", Rate(report.Terminal1), Rate(report.Peer1) + " peer",
         Fixed(Ratio(report.Terminal1.Rate, report.Peer1.Rate)), "", ""},
        {"Peer route OutputDebugStringA, 4 senders [e/s]", Rate(report.Terminal4), Rate(report.Peer4) + " peer",
         Fixed(Ratio(report.Terminal4.Rate, report.Peer4.Rate)), "", ""},
        {"Capture of OutputDebugStringA, 1 sender [msg/s]", Rate(report.Capture1), Rate(report.Reader1) + " reader",
         Fixed(verdict.Capture1Ratio), AtLeast(MinCaptureRatio), Met(verdict.Capture1Ratio >= MinCaptureRatio)},
        {"Capture of OutputDebugStringA, 4 senders [msg/s]", Rate(report.Capture4), Rate(report.Reader4) + " reader",
         Fixed(verdict.Capture4Ratio), AtLeast(MinCaptureRatio), Met(verdict.Capture4Ratio >= MinCaptureRatio)},
        {"Intake, 4 senders, " + std::to_string(report.CaptureFloodSenders) + " more capture floods [e/s]",
         Rate(report.AreaBesideCapture), Rate(report.Terminal4) + " alone",
         Fixed(Ratio(report.AreaBesideCapture.Rate, report.Terminal4.Rate)), "", ""},
        {"Lost: capture 1 / 4, intake beside it",
         Number(Lost(report.Capture1)) + " / " + Number(Lost(report.Capture4)) + " / " + Number(Lost(report.AreaBesideCapture)),
         Number(Lost(report.Reader1)) + " / " + Number(Lost(report.Reader4)) + " reader", "", "0",
         Met(verdict.CaptureLostMet)},
        {"Intake, 4 senders, log to file on [e/s]", Rate(report.LogOn), Rate(report.LogOff) + " off",
         Fixed(verdict.LogRatio), AtLeast(MinLogRatio), Met(verdict.LogMet)},
        {"Entries missing in the log file / in the list", Number(verdict.LogMissing) + " / " + Number(Lost(report.LogOn)),
         Number(report.LogFileLines) + " logged", "", "0", Met(verdict.LogCompleteMet)},
        {"Latency p50 / p99 / max [ms]",
         Format("%.2f", report.Latency.P50Ms) + " / " + Format("%.2f", report.Latency.P99Ms) + " / " +
             Format("%.1f", report.Latency.MaxMs),
         "", "", "p99 " + Below(MaxLatencyP99Ms), Met(verdict.LatencyMet)},
        {"Longest answer under flood, 1 / 4 senders [ms]",
         Fixed(report.Terminal1.MaxAnswerMs, "%.1f") + " / " + Fixed(report.Terminal4.MaxAnswerMs, "%.1f"), "", "",
         Below(MaxAnswerMs), Met(verdict.AnswerMet)},
        {"Steady, 4 senders, short list [e/s]", Rate(report.SteadyShort), Rate(report.SteadyBare) + " bare",
         Fixed(verdict.SteadyShortRatio), AtLeast(MinShortRatio), Met(verdict.SteadyShortRatio >= MinShortRatio)},
        {"Steady, 4 senders, list at the limit [e/s]", Rate(report.SteadyLimit), Rate(report.SteadyBare) + " bare",
         Fixed(verdict.SteadyLimitRatio), AtLeast(MinLimitRatio), Met(verdict.LimitMet)},
        {"Steady, at the limit / short list", "", "", Fixed(Ratio(report.SteadyLimit.Rate, report.SteadyShort.Rate)), "", ""},
        {"Rules: intake, 1 sender, no rules [e/s]", Rate(report.NoRules), "", "", "", ""},
        {"Rules: 20 text rules [e/s]", Rate(report.TextRules), Rate(report.NoRules) + " none",
         Fixed(verdict.TextRulesRatio), AtLeast(MinTextRulesRatio), Met(verdict.TextRulesMet)},
        {"Rules: 5 regex rules [e/s]", Rate(report.RegexRules), Rate(report.NoRules) + " none",
         Fixed(verdict.RegexRulesRatio), AtLeast(MinRegexRulesRatio), Met(verdict.RegexRulesMet)},
        {"Rules: 1 pathological regex [e/s]", Rate(report.PathologicalRule), Rate(report.NoRules) + " none",
         Fixed(verdict.PathologicalRatio), AtLeast(MinPathologicalRatio), Met(verdict.PathologicalMet)},
        {"Rules: decision per line, text/regex/path. [us]",
         Format("%.1f", report.TextRulesCostUs) + "/" + Format("%.1f", report.RegexRulesCostUs) + "/" +
             Format("%.0f", report.PathologicalCostUs),
         Format("%.0f", report.NoRules.ConsumerCpuUs) + " CPU/entry", "", "", ""},
        {"Rules: worst hostile decision, first/later [us]",
         Format("%.1f", report.HostileFirstUs) + "/" + Format("%.1f", report.HostileLaterUs),
         std::to_string(report.HostileLineChars) + " chars", "", Below(MaxHostileDecisionUs), Met(verdict.HostileMet)},
        {"Rules: longest answer, none/text/regex/path. [ms]",
         Fixed(report.NoRules.MaxAnswerMs, "%.0f") + "/" + Fixed(report.TextRules.MaxAnswerMs, "%.0f") + "/" +
             Fixed(report.RegexRules.MaxAnswerMs, "%.0f") + "/" + Fixed(report.PathologicalRule.MaxAnswerMs, "%.0f"),
         "", "", Below(MaxAnswerMs), Met(verdict.AnswerWithRulesMet)},
        {"Memory, " + std::to_string(memory.Lines) + " lines x " + std::to_string(memory.LineChars) + " chars [MB]",
         Format("%.1f", static_cast<double>(memory.FullPrivateBytes) / BytesPerMegabyte),
         Format("%.1f", static_cast<double>(memory.TextBytes) / BytesPerMegabyte) + " text",
         Fixed(verdict.MemoryRatio), Format("<= %g", MaxMemoryRatio), Met(verdict.MemoryMet)},
        {"Search for a missing text [ms]", Fixed(report.TerminalSearchMs), Format("%.2f", report.PlainScanMs) + " plain",
         Fixed(Ratio(report.TerminalSearchMs, report.PlainScanMs)), "", ""},
        {"Save " + std::to_string(memory.Lines) + " lines to a file [ms]", Fixed(report.TerminalSaveMs),
         Format("%.2f", report.PlainWriteMs) + " plain", Fixed(Ratio(report.TerminalSaveMs, report.PlainWriteMs)), "", ""},
    };

    const std::vector<TRow> throughputRows = ThroughputRows(report, verdict);
    rows.insert(rows.end(), throughputRows.begin(), throughputRows.end());
    const std::vector<TRow> responseRows = ResponseRows(report.Responses);
    rows.insert(rows.end(), responseRows.begin(), responseRows.end());

    std::printf("Vellumtrace64 benchmark: %lu entries per sender (%lu per sender in the steady runs), "
                "%lu-byte texts, mixed channels, limit %d lines; %lu entries per throughput flood and %lu per "
                "responsiveness flood\n\n",
                report.PerSender, report.SteadyPerSender, report.EntrySize, report.DisplayLimit,
                report.Throughput.Entries, report.ResponseEntries);
    PrintRows(rows);
    if (const std::string note = ResponseScenesNote(report.Responses); !note.empty())
        std::printf("\nResponsiveness beside more work (vtsend, as many lines as the other floods):\n%s", note.c_str());
    if (report.SteadyLimit.ListLines > report.TrimThreshold)
        std::printf("\nThe list held %d lines after the run at the limit (trim due at %d): the trim is not built yet, "
                    "so that run measured a growing list.\n",
                    report.SteadyLimit.ListLines, report.TrimThreshold);
}

void WriteJson(const TBenchReport& report, const std::wstring& path)
{
    const TMemoryResult& memory = report.Memory;
    const TVerdict verdict = Judge(report);
    const TResponseVerdict responses = JudgeResponses(report.Responses, TResponseScene::Plain);
    const auto sceneMet = [&](TResponseScene scene) {
        const TResponseVerdict verdict = JudgeResponses(report.Responses, scene);
        return JsonBool(verdict.PressMet && verdict.UpdatesMet && verdict.BacklogMet && verdict.LinesMet);
    };
    const std::string json = JsonObject({
        {"parameters", JsonObject({
                           {"entriesPerSender", JsonNumber(static_cast<std::int64_t>(report.PerSender))},
                           {"steadyEntriesPerSender", JsonNumber(static_cast<std::int64_t>(report.SteadyPerSender))},
                           {"entryBytes", JsonNumber(static_cast<std::int64_t>(report.EntrySize))},
                           {"displayLimit", JsonNumber(static_cast<std::int64_t>(report.DisplayLimit))},
                           {"entriesPerResponsivenessFlood", JsonNumber(static_cast<std::int64_t>(report.ResponseEntries))},
                           {"entriesPerThroughputFlood", JsonNumber(static_cast<std::int64_t>(report.Throughput.Entries))},
                       })},
        {"intake1Sender", JsonIntake(report.Terminal1, report.Bare1, report.Peer1)},
        {"intake4Senders", JsonIntake(report.Terminal4, report.Bare4, report.Peer4)},
        {"senderThroughput", JsonThroughput(report)},
        {"rules", JsonObject({
                      {"entriesPerSender", JsonNumber(static_cast<std::int64_t>(report.RulesPerSender))},
                      {"pathologicalEntriesPerSender", JsonNumber(static_cast<std::int64_t>(report.PathologicalPerSender))},
                      {"none", JsonFlood(report.NoRules)},
                      {"text20", JsonFlood(report.TextRules)},
                      {"regex5", JsonFlood(report.RegexRules)},
                      {"pathologicalRegex", JsonFlood(report.PathologicalRule)},
                      {"decisionUsPerLine", JsonObject({
                                                 {"text20", JsonNumber(report.TextRulesCostUs)},
                                                 {"regex5", JsonNumber(report.RegexRulesCostUs)},
                                                 {"pathologicalRegex", JsonNumber(report.PathologicalCostUs)},
                                             })},
                      {"worstHostileDecisionUs", JsonObject({
                                                     {"lineChars", JsonNumber(static_cast<std::int64_t>(report.HostileLineChars))},
                                                     {"first", JsonNumber(report.HostileFirstUs)},
                                                     {"later", JsonNumber(report.HostileLaterUs)},
                                                 })},
                      {"text20ToNone", JsonNumber(verdict.TextRulesRatio)},
                      {"regex5ToNone", JsonNumber(verdict.RegexRulesRatio)},
                      {"pathologicalToNone", JsonNumber(Ratio(report.PathologicalRule.Rate, report.NoRules.Rate))},
                  })},
        {"captureDebugOutput", JsonObject({
                                   {"sender1", JsonCapture(report.Capture1, report.Reader1)},
                                   {"senders4", JsonCapture(report.Capture4, report.Reader4)},
                                   {"intakeBesideCapture", JsonFlood(report.AreaBesideCapture)},
                                   {"captureFloodSenders", JsonNumber(static_cast<std::int64_t>(report.CaptureFloodSenders))},
                                   {"intakeBesideCaptureToAlone", JsonNumber(Ratio(report.AreaBesideCapture.Rate, report.Terminal4.Rate))},
                               })},
        {"logToFile", JsonObject({
                          {"off", JsonFlood(report.LogOff)},
                          {"on", JsonFlood(report.LogOn)},
                          {"onToOff", JsonNumber(Ratio(report.LogOn.Rate, report.LogOff.Rate))},
                          {"linesInLogFile", JsonNumber(report.LogFileLines)},
                      })},
        {"latencyMs", JsonObject({
                          {"entries", JsonNumber(static_cast<std::int64_t>(report.Latency.Entries))},
                          {"spacing", JsonNumber(static_cast<std::int64_t>(report.LatencySpacingMs))},
                          {"meanSpacingAsSent", JsonNumber(report.Latency.MeanSpacingMs)},
                          {"p50", JsonNumber(report.Latency.P50Ms)},
                          {"p99", JsonNumber(report.Latency.P99Ms)},
                          {"max", JsonNumber(report.Latency.MaxMs)},
                      })},
        {"longestAnswerMs", JsonObject({
                                {"sender1", JsonNumber(report.Terminal1.MaxAnswerMs)},
                                {"senders4", JsonNumber(report.Terminal4.MaxAnswerMs)},
                            })},
        {"steadyState", JsonObject({
                            {"shortList", JsonFlood(report.SteadyShort)},
                            {"atLimit", JsonFlood(report.SteadyLimit)},
                            {"bare", JsonFlood(report.SteadyBare)},
                            {"linesBeforeLimitRun", JsonNumber(static_cast<std::int64_t>(report.LinesBeforeLimitRun))},
                            {"trimThreshold", JsonNumber(static_cast<std::int64_t>(report.TrimThreshold))},
                            {"shortToBare", JsonNumber(Ratio(report.SteadyShort.Rate, report.SteadyBare.Rate))},
                            {"limitToBare", JsonNumber(Ratio(report.SteadyLimit.Rate, report.SteadyBare.Rate))},
                            {"limitToShort", JsonNumber(Ratio(report.SteadyLimit.Rate, report.SteadyShort.Rate))},
                        })},
        {"responsiveness", ResponseJson(report.Responses)},
        {"memory", JsonObject({
                       {"lines", JsonNumber(static_cast<std::int64_t>(memory.Lines))},
                       {"lineChars", JsonNumber(static_cast<std::int64_t>(memory.LineChars))},
                       {"emptyPrivateBytes", JsonNumber(static_cast<std::int64_t>(memory.EmptyPrivateBytes))},
                       {"privateBytes", JsonNumber(static_cast<std::int64_t>(memory.FullPrivateBytes))},
                       {"textBytesUtf16", JsonNumber(static_cast<std::int64_t>(memory.TextBytes))},
                       {"privateToText", JsonNumber(verdict.MemoryRatio)},
                   })},
        {"searchMissingText", JsonObject({
                                  {"terminalMs", JsonNumber(report.TerminalSearchMs)},
                                  {"plainMs", JsonNumber(report.PlainScanMs)},
                                  {"ratio", JsonNumber(Ratio(report.TerminalSearchMs, report.PlainScanMs))},
                              })},
        {"saveAllLines", JsonObject({
                             {"terminalMs", JsonNumber(report.TerminalSaveMs)},
                             {"plainMs", JsonNumber(report.PlainWriteMs)},
                             {"ratio", JsonNumber(Ratio(report.TerminalSaveMs, report.PlainWriteMs))},
                         })},
        {"targetsMet", JsonObject({
                           {"shortListToBare", JsonBool(verdict.ShortMet)},
                           {"limitToBare", JsonBool(verdict.LimitMet)},
                           {"noEntryLost", JsonBool(verdict.LostMet)},
                           {"longestAnswer", JsonBool(verdict.AnswerMet)},
                           {"latencyP99", JsonBool(verdict.LatencyMet)},
                           {"memory", JsonBool(verdict.MemoryMet)},
                           {"vtsendCountToNaiveCeiling", JsonBool(verdict.VtSendCountMet)},
                           {"vtsendPipeToNaiveCeiling", JsonBool(verdict.VtSendPipeMet)},
                           {"cApiToNaiveCeiling", JsonBool(verdict.CApiMet)},
                           {"throughputLinesShownOnce", JsonBool(verdict.ShownOnceMet)},
                           {"longestMutexHold", JsonBool(verdict.HoldMet)},
                           {"keyPress", JsonBool(responses.PressMet)},
                           {"screenUpdates", JsonBool(responses.UpdatesMet)},
                           {"queuedNotifications", JsonBool(responses.BacklogMet)},
                           {"responsivenessFloodsComplete", JsonBool(responses.LinesMet)},
                           {"responsivenessBesideCapture", sceneMet(TResponseScene::Capture)},
                           {"responsivenessWithSlowLog", sceneMet(TResponseScene::SlowLog)},
                           {"responsivenessWithRules", sceneMet(TResponseScene::Rules)},
                           {"textRules", JsonBool(verdict.TextRulesMet)},
                           {"regexRules", JsonBool(verdict.RegexRulesMet)},
                           {"longestAnswerWithRules", JsonBool(verdict.AnswerWithRulesMet)},
                           {"captureToReader", JsonBool(verdict.CaptureMet)},
                           {"noCapturedMessageLost", JsonBool(verdict.CaptureLostMet)},
                           {"logOnToOff", JsonBool(verdict.LogMet)},
                           {"logHoldsEveryEntry", JsonBool(verdict.LogCompleteMet)},
                       })},
    }) + "\n";

    const TUniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.Get(), json.data(), static_cast<DWORD>(json.size()), &written, nullptr) ||
        written != json.size())
        throw Exception(L"Cannot write " + path);
}

} // namespace Bench
