// The rules the intake is measured with. The text and regex sets are exclude rules that match
// none of the benchmark's lines, so that every line is tested against every rule and still
// arrives (the lost-entry check sees all of it): the most a rule set of that size costs.
#pragma once

#include <vector>

#include "FilterRule.h"

namespace Bench {

std::vector<TFilterRule> TwentyTextRules();
std::vector<TFilterRule> FiveRegexRules();
// Highlights that colour most of a flood's lines, for the list to paint in colours: by text,
// the lines of senders 1 and 2; by regex, those of the others whose number ends in an even
// digit.
std::vector<TFilterRule> HighlightRules();
// One exclude rule that backtracking cannot finish on the benchmark's lines: every line costs
// the whole budget of a regex search, and still arrives, since out of budget is no match.
std::vector<TFilterRule> PathologicalRegexRule();

// Microseconds the include and exclude decision takes per line with these rules, timed here
// on `lines` lines as the terminal shows the benchmark's entries (best of a few rounds).
double RuleCostUs(const std::vector<TFilterRule>& rules, int lines);

} // namespace Bench
