#include "BenchRules.h"

#include <algorithm>
#include <string>

#include "BenchRuns.h"
#include "BenchShared.h"
#include "RuleSet.h"
#include "TextCodec.h"

namespace Bench {

namespace {

constexpr int CostRounds = 3;

std::vector<TFilterRule> ExcludeRules(TMatchMode mode, std::initializer_list<const wchar_t*> patterns)
{
    std::vector<TFilterRule> rules;
    for (const wchar_t* pattern : patterns)
        rules.push_back(TFilterRule{TRuleKind::Exclude, mode, true, {}, {}, pattern});
    return rules;
}

} // namespace

std::vector<TFilterRule> TwentyTextRules()
{
    return ExcludeRules(TMatchMode::Text,
                        {L"heartbeat", L"keep-alive", L"polling", L"idle", L"GC pause", L"cache hit", L"tick",
                         L"render frame", L"mouse move", L"timer fired", L"verbose:", L"trace:", L"[dbg]",
                         L"socket read 0", L"retry 1/", L"queue empty", L"ping", L"pong", L"vsync", L"no change"});
}

std::vector<TFilterRule> FiveRegexRules()
{
    return ExcludeRules(TMatchMode::Regex, {L"error|fail(ed|ure)?", L"timeout after \\d+ ?ms", L"^-[0-9]-\\s.*warn(ing)?",
                                            L"\\bheartbeat\\b", L"(connection|socket) (reset|refused|closed)"});
}

std::vector<TFilterRule> HighlightRules()
{
    constexpr std::int32_t White = 0xFFFFFF, Black = 0, Red = 0x0000C0, Yellow = 0x00FFFF, Blue = 0xC00000;
    return {
        TFilterRule{TRuleKind::Highlight, TMatchMode::Text, true, White, Red, L" S1 #"},
        TFilterRule{TRuleKind::Highlight, TMatchMode::Text, true, Black, Yellow, L" S2 #"},
        TFilterRule{TRuleKind::Highlight, TMatchMode::Regex, true, White, Blue, L" S\\d+ # ?\\d*[02468]\\b"},
    };
}

std::vector<TFilterRule> PathologicalRegexRule()
{
    // The lines hold runs of words and no "!".
    return ExcludeRules(TMatchMode::Regex, {L"(\\w+\\s?)+[!]"});
}

std::vector<std::wstring> HostilePatterns()
{
    return {L"(|||||||||){20}$", L"(?:(?:)*)*x", std::wstring(127, L'(') + std::wstring(127, L')'), L"(){3000}",
            L"(?:){40000}", L"(a{100}){100}", L"[a-z]{1000}b", L"[a-z]{150}b", L".{0,60}x", L"((a*)*)*b", L"(a+)+b", L"(a|a)*b",
            L"^(\\w+\\s?)+$", L"(\\w+\\s?)+[!]", L"[ab]*a[ab]{20}c", L"(.*a){20}c",
            std::wstring(127, L'(') + L"a" + std::wstring(127, L')'), L"((((((((((a))))))))))*c", L"(a*)\\1b",
            L"(?=a*)b"};
}

THostileDecisionUs WorstHostileDecisionUs(std::size_t lineChars)
{
    std::wstring as(lineChars, L'a'), abs, words;
    while (abs.size() < lineChars)
        abs += L"ab";
    while (words.size() < lineChars)
        words += L"word ";
    const std::wstring lines[] = {as, abs.substr(0, lineChars), words.substr(0, lineChars)};
    const auto decisionUs = [](const TRuleSet& ruleSet, const std::wstring& line) {
        const std::int64_t start = NowTicks();
        ruleSet.Admits(line);
        return TicksToSeconds(NowTicks() - start) * 1e6;
    };
    THostileDecisionUs worst;
    for (const std::wstring& pattern : HostilePatterns()) {
        if (PatternProblem(TMatchMode::Regex, pattern))
            continue; // refused: it never decides anything
        for (const std::wstring& line : lines) {
            // Each the best of a few rounds: the load of the machine only ever adds.
            THostileDecisionUs best;
            for (int round = 0; round < CostRounds; ++round) {
                const TRuleSet ruleSet(ExcludeRules(TMatchMode::Regex, {pattern.c_str()}));
                const double first = decisionUs(ruleSet, line);
                const double later = decisionUs(ruleSet, line);
                best.FirstUs = round == 0 ? first : std::min(best.FirstUs, first);
                best.LaterUs = round == 0 ? later : std::min(best.LaterUs, later);
            }
            worst.FirstUs = std::max(worst.FirstUs, best.FirstUs);
            worst.LaterUs = std::max(worst.LaterUs, best.LaterUs);
        }
    }
    return worst;
}

double RuleCostUs(const std::vector<TFilterRule>& rules, int lines)
{
    // Mixed channels and only the channel prefix, as the floods send and show them.
    std::vector<std::wstring> shown;
    for (int seq = 1; seq <= lines; ++seq) {
        const std::string text = MakeEntryText({0, 1, static_cast<unsigned long>(seq)}, DefaultEntrySize);
        const int channel = seq % 10;
        shown.push_back(L"-" + (channel == 0 ? std::wstring(L"M") : std::to_wstring(channel)) + L"- " + AnsiToWide(text));
    }
    const TRuleSet ruleSet(rules);
    double best = 0;
    for (int round = 0; round < CostRounds; ++round) {
        int admitted = 0;
        const std::int64_t start = NowTicks();
        for (const std::wstring& line : shown)
            admitted += ruleSet.Admits(line) ? 1 : 0;
        const double us = TicksToSeconds(NowTicks() - start) * 1e6 / lines;
        best = round == 0 ? us : std::min(best, us);
        if (admitted != lines)
            throw Exception(L"The benchmark's rules kept " + std::to_wstring(lines - admitted) + L" lines out");
    }
    return best;
}

} // namespace Bench
