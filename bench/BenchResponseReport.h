// The responsiveness figures (key presses, screen updates, backlog) as table rows and JSON.
#pragma once

#include <string>
#include <vector>

#include "BenchFormat.h"
#include "BenchResponse.h"

namespace Bench {

struct TResponseVerdict {
    bool PressMet = false;   // every press cleared the list, and the screen showed it, within the limit
    bool UpdatesMet = false; // every flood changed the screen often enough
    bool BacklogMet = false;
    bool LinesMet = false;   // every line of the floods without presses reached the list
};

TResponseVerdict JudgeResponses(const std::vector<TResponseResult>& results);
std::vector<TRow> ResponseRows(const std::vector<TResponseResult>& results);
std::string ResponseJson(const std::vector<TResponseResult>& results);

} // namespace Bench
