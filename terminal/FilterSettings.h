// The rules in the settings file: section [FILTERS] with RULE1, RULE2, ... in order, each
// "kind,mode,enabled,textcolour,backcolour,pattern". The section is there only while rules
// exist, so that a file without rules stays exactly the design's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FilterRule.h"
#include "IniFile.h"

inline constexpr wchar_t FiltersSection[] = L"FILTERS";

// "highlight,regex,1,255,65535,error|fail": kind and mode by name, enabled 1 or 0, colour
// values in decimal (empty where unused), then the pattern, commas and all.
std::wstring RuleValue(const TFilterRule& rule);

// The rule a value describes; nothing when any part before the pattern is unreadable. A rule
// whose pattern PatternProblem refuses is kept, disabled. Colours are read like the other
// colour values of the file; include and exclude rules ignore theirs.
std::optional<TFilterRule> ParseRuleValue(std::wstring_view value);

// The rules of the section in the order of their numbers, each key once (a key written twice
// reads as its first value); unreadable ones are left out.
std::vector<TFilterRule> LoadFilterRules(const TIniFile& file);

// Replaces the section with the rules, or removes it when there are none, and flushes the
// file. Throws Exception when the file cannot be written.
void SaveFilterRules(TIniFile& file, const std::vector<TFilterRule>& rules);
