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

// "vtsend, 4 senders", with the scene: "vtsend, 4 senders + 2 ODS", "..., slow log", "..., rules".
std::string ResponseName(const TResponseSpec& spec);

// The goals over the results of one scene.
TResponseVerdict JudgeResponses(const std::vector<TResponseResult>& results, TResponseScene scene);
// A row per figure and kind of sender (numbers of senders side by side), and per figure and
// scene beyond the plain one.
std::vector<TRow> ResponseRows(const std::vector<TResponseResult>& results);
// What the scenes beyond the plain floods are, for below the table.
std::string ResponseScenesNote(const std::vector<TResponseResult>& results);
std::string ResponseJson(const std::vector<TResponseResult>& results);

} // namespace Bench
