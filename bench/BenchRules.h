// The rules the intake is measured with. The text and regex sets are exclude rules that match
// none of the benchmark's lines, so that every line is tested against every rule and still
// arrives (the lost-entry check sees all of it): the most a rule set of that size costs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "FilterRule.h"

namespace Bench {

std::vector<TFilterRule> TwentyTextRules();
std::vector<TFilterRule> FiveRegexRules();
// Highlights that colour most of a flood's lines, for the list to paint in colours: by text,
// the lines of senders 1 and 2; by regex, those of the others whose number ends in an even
// digit.
std::vector<TFilterRule> HighlightRules();
// One exclude rule that backtracking cannot finish on the benchmark's lines, none of which it
// matches: every line is searched to its end.
std::vector<TFilterRule> PathologicalRegexRule();

// Patterns that freeze or crash a backtracking engine: empty loops, empty groups, large
// repeat counts, nested quantifiers, state explosions, deep nesting.
std::vector<std::wstring> HostilePatterns();

// The longest single include and exclude decision, in microseconds, that an accepted hostile
// pattern takes on lines of `lineChars` characters: a rule's first decision (which builds
// the search's state) and a later one, each the best of a few rounds.
struct THostileDecisionUs {
    double FirstUs = 0;
    double LaterUs = 0;
};
THostileDecisionUs WorstHostileDecisionUs(std::size_t lineChars);

// Microseconds the include and exclude decision takes per line with these rules, timed here
// on `lines` lines as the terminal shows the benchmark's entries (best of a few rounds).
double RuleCostUs(const std::vector<TFilterRule>& rules, int lines);

} // namespace Bench
