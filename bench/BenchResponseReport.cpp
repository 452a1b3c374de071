#include "BenchResponseReport.h"

#include <algorithm>
#include <functional>

#include "BenchSlowLog.h"

namespace Bench {

namespace {

// The targets, as a person feels them.
constexpr double MaxPressMs = 300;
constexpr double MinUpdatesPerSecond = 4;
constexpr double MaxBacklogSeconds = 0.1;

constexpr TSenderKind Kinds[] = {TSenderKind::Naive, TSenderKind::VtSend, TSenderKind::Lines};
constexpr TResponseScene Scenes[] = {TResponseScene::Capture, TResponseScene::SlowLog, TResponseScene::Rules};

std::string SceneSuffix(const TResponseSpec& spec)
{
    switch (spec.Scene) {
    case TResponseScene::Capture:
        return " + " + std::to_string(spec.DebugOutputSenders) + " ODS";
    case TResponseScene::SlowLog:
        return ", slow log";
    case TResponseScene::Rules:
        return ", rules";
    case TResponseScene::Plain:
        break;
    }
    return "";
}

// "vtsend4", "vtsend4SlowLog": the key of a result in the JSON.
std::string SceneKey(TResponseScene scene)
{
    switch (scene) {
    case TResponseScene::Capture:
        return "Capture";
    case TResponseScene::SlowLog:
        return "SlowLog";
    case TResponseScene::Rules:
        return "Rules";
    case TResponseScene::Plain:
        break;
    }
    return "";
}

// One time per press; nothing for a press whose effect was not seen within the limit.
using TTimes = std::vector<std::optional<double>>;
using TTimesOf = std::function<TTimes(const TResponseResult&)>;

std::optional<double> ClearTime(const TPressResult& press)
{
    return press.Cleared ? std::optional<double>(press.ClearMs) : std::nullopt;
}

std::optional<double> ScreenTime(const TPressResult& press) { return press.Cleared ? press.ScreenMs : std::nullopt; }

TTimes MidTimes(const TResponseResult& result, std::optional<double> (*time)(const TPressResult&))
{
    TTimes times;
    for (const TPressResult& press : result.MidPresses)
        times.push_back(time(press));
    return times;
}

bool TimesMet(const TTimes& times)
{
    return !times.empty() &&
           std::all_of(times.begin(), times.end(), [](const auto& time) { return time && *time <= MaxPressMs; });
}

std::string Worst(const TTimes& times)
{
    if (times.empty())
        return "none";
    if (std::any_of(times.begin(), times.end(), [](const auto& time) { return !time; }))
        return Format(">%.0f", PressLimitMs);
    double worst = 0;
    for (const auto& time : times)
        worst = std::max(worst, *time);
    return Format("%.0f", worst);
}

const TTimesOf TimesOf[] = {
    [](const TResponseResult& result) { return MidTimes(result, ClearTime); },
    [](const TResponseResult& result) { return MidTimes(result, ScreenTime); },
    [](const TResponseResult& result) { return TTimes{ClearTime(result.EndPress)}; },
    [](const TResponseResult& result) { return TTimes{ScreenTime(result.EndPress)}; },
};
constexpr const char* PressFigures[] = {
    "Ctrl+D mid-flood to list cleared",
    "Ctrl+D mid-flood to screen",
    "Ctrl+D at flood end to list cleared",
    "Ctrl+D at flood end to screen",
};

bool BacklogMet(const TResponseResult& result) { return result.BacklogSeen && result.BacklogSeconds < MaxBacklogSeconds; }
bool UpdatesMet(const TResponseResult& result) { return result.UpdatesPerSecond >= MinUpdatesPerSecond; }
bool LinesMet(const TResponseResult& result) { return result.MissingLines == 0; }

std::string SlowLogLines(const TResponseResult& result)
{
    return result.SlowLogLinesAtEnd ? Number(*result.SlowLogLinesAtEnd) + " of " + Number(result.SlowLogLines) + " in log"
                                    : "";
}

using TPart = std::function<std::string(const TResponseResult&)>;
using TCheck = std::function<bool(const TResponseResult&)>;

// A row per sender kind, with one part per number of senders: "a / b".
struct TFigure {
    std::string Name;
    const char* Unit;
    TPart Value;
    TPart Reference; // may be empty
    const char* ReferenceUnit;
    std::string Target;
    TCheck Met;
};

std::vector<TFigure> Figures()
{
    std::vector<TFigure> figures;
    for (std::size_t i = 0; i < std::size(PressFigures); ++i) {
        const TTimesOf times = TimesOf[i];
        figures.push_back({PressFigures[i], "ms", [times](const TResponseResult& result) { return Worst(times(result)); },
                           [times](const TResponseResult& result) { return std::to_string(times(result).size()); },
                           " presses", Format("<= %.0f", MaxPressMs),
                           [times](const TResponseResult& result) { return TimesMet(times(result)); }});
    }
    figures.push_back({"Screen updates in a flood", "1/s",
                       [](const TResponseResult& result) { return Format("%.1f", result.UpdatesPerSecond); },
                       [](const TResponseResult& result) { return Format("%.0f", result.LooksPerSecond); }, " looks/s",
                       Format(">= %.0f", MinUpdatesPerSecond), UpdatesMet});
    figures.push_back({"Notifications queued after the flood", "s",
                       [](const TResponseResult& result) {
                           return result.BacklogSeen ? Format("%.2f", result.BacklogSeconds)
                                                     : Format(">%.0f", PressLimitMs / 1000.0);
                       },
                       {}, "", Format("< %.1f", MaxBacklogSeconds), BacklogMet});
    figures.push_back({"Lines missing after the flood", "lines",
                       [](const TResponseResult& result) { return Number(result.MissingLines); }, SlowLogLines, "", "0",
                       LinesMet});
    return figures;
}

std::string Joined(const std::vector<const TResponseResult*>& results, const TPart& part)
{
    std::string text;
    for (const TResponseResult* result : results)
        text += (text.empty() ? "" : " / ") + part(*result);
    return text;
}

// One row for the results of a group: a kind of sender with 1 and 4 senders, or one scene.
TRow GroupRow(const TFigure& figure, const std::vector<const TResponseResult*>& group)
{
    const bool met = !group.empty() &&
                     std::all_of(group.begin(), group.end(), [&](const TResponseResult* result) { return figure.Met(*result); });
    const std::string senders = Joined(group, [](const TResponseResult& result) { return std::to_string(result.Spec.Senders); });
    std::string reference;
    if (figure.Reference && std::any_of(group.begin(), group.end(), [&](const TResponseResult* result) {
            return !figure.Reference(*result).empty();
        }))
        reference = Joined(group, figure.Reference) + figure.ReferenceUnit;
    const TResponseSpec& spec = group.empty() ? TResponseSpec{} : group.front()->Spec;
    return {figure.Name + ", " + KindName(spec.Kind) + " " + senders + SceneSuffix(spec) + " [" + figure.Unit + "]",
            Joined(group, figure.Value), reference, "", figure.Target, Met(met)};
}

// Plain floods by kind of sender, each kind also when it has no results; then one group per
// result of another scene.
std::vector<std::vector<const TResponseResult*>> Groups(const std::vector<TResponseResult>& results)
{
    std::vector<std::vector<const TResponseResult*>> groups;
    for (const TSenderKind kind : Kinds) {
        std::vector<const TResponseResult*>& ofKind = groups.emplace_back();
        for (const TResponseResult& result : results)
            if (result.Spec.Kind == kind && result.Spec.Scene == TResponseScene::Plain)
                ofKind.push_back(&result);
    }
    for (const TResponseResult& result : results)
        if (result.Spec.Scene != TResponseScene::Plain)
            groups.push_back({&result});
    return groups;
}

std::string JsonPress(const TPressResult& press)
{
    return JsonObject({{"clearMs", JsonNumber(ClearTime(press))}, {"screenMs", JsonNumber(ScreenTime(press))}});
}

std::string JsonResult(const TResponseResult& result)
{
    std::vector<std::string> presses;
    for (const TPressResult& press : result.MidPresses)
        presses.push_back(JsonPress(press));
    return JsonObject({
        {"kind", std::string("\"") + KindName(result.Spec.Kind) + "\""},
        {"senders", JsonNumber(static_cast<std::int64_t>(result.Spec.Senders))},
        {"debugOutputSenders", JsonNumber(static_cast<std::int64_t>(result.Spec.DebugOutputSenders))},
        {"entries", JsonNumber(result.Entries)},
        {"floodSeconds", JsonNumber(result.FloodSeconds)},
        {"screenLooksPerSecond", JsonNumber(result.LooksPerSecond)},
        {"screenUpdatesPerSecond", JsonNumber(result.UpdatesPerSecond)},
        {"missingLines", JsonNumber(result.MissingLines)},
        {"queuedNotificationsSeconds",
         JsonNumber(result.BacklogSeen ? std::optional<double>(result.BacklogSeconds) : std::nullopt)},
        {"floodEndPress", JsonPress(result.EndPress)},
        {"midFloodPresses", JsonArray(presses)},
        {"slowLogLinesAtEnd", result.SlowLogLinesAtEnd ? JsonNumber(*result.SlowLogLinesAtEnd) : "null"},
        {"slowLogLines", result.SlowLogLinesAtEnd ? JsonNumber(result.SlowLogLines) : "null"},
    });
}

} // namespace

std::string ResponseName(const TResponseSpec& spec)
{
    return std::string(KindName(spec.Kind)) + ", " + std::to_string(spec.Senders) +
           (spec.Senders == 1 ? " sender" : " senders") + SceneSuffix(spec);
}

TResponseVerdict JudgeResponses(const std::vector<TResponseResult>& results, TResponseScene scene)
{
    TResponseVerdict verdict;
    verdict.PressMet = verdict.UpdatesMet = verdict.BacklogMet = verdict.LinesMet =
        std::any_of(results.begin(), results.end(), [&](const TResponseResult& result) { return result.Spec.Scene == scene; });
    for (const TResponseResult& result : results) {
        if (result.Spec.Scene != scene)
            continue;
        for (const TTimesOf& times : TimesOf)
            verdict.PressMet = verdict.PressMet && TimesMet(times(result));
        verdict.UpdatesMet = verdict.UpdatesMet && UpdatesMet(result);
        verdict.BacklogMet = verdict.BacklogMet && BacklogMet(result);
        verdict.LinesMet = verdict.LinesMet && LinesMet(result);
    }
    return verdict;
}

std::vector<TRow> ResponseRows(const std::vector<TResponseResult>& results)
{
    const auto groups = Groups(results);
    std::vector<TRow> rows;
    for (const TFigure& figure : Figures())
        for (const auto& group : groups)
            rows.push_back(GroupRow(figure, group));
    return rows;
}

std::string ResponseScenesNote(const std::vector<TResponseResult>& results)
{
    const auto has = [&](TResponseScene scene) {
        return std::any_of(results.begin(), results.end(), [&](const TResponseResult& result) { return result.Spec.Scene == scene; });
    };
    std::string note;
    for (const TResponseScene scene : Scenes) {
        if (!has(scene))
            continue;
        switch (scene) {
        case TResponseScene::Capture:
            note += "+ N ODS: the terminal's capture is on and N more senders flood OutputDebugStringA with the area's "
                    "senders; its lines count among the lines missing.\n";
            break;
        case TResponseScene::SlowLog:
            note += "slow log: the log to file writes into a FIFO read at " +
                    std::to_string(TSlowLogTarget::BytesPerSecond / 1024) +
                    " KB/s; \"in log\": lines it held when the measurement ended, of all it got by the terminal's close.\n";
            break;
        case TResponseScene::Rules:
            note += "rules: 20 text and 5 regex exclude rules that match no line, and 3 highlights that colour most lines.\n";
            break;
        case TResponseScene::Plain:
            break;
        }
    }
    return note;
}

std::string ResponseJson(const std::vector<TResponseResult>& results)
{
    TFields fields = {{"pressLimitMs", JsonNumber(static_cast<std::int64_t>(PressLimitMs))}};
    for (const TResponseResult& result : results)
        fields.emplace_back(std::string(KindName(result.Spec.Kind)) + std::to_string(result.Spec.Senders) +
                                SceneKey(result.Spec.Scene),
                            JsonResult(result));
    return JsonObject(fields);
}

} // namespace Bench
