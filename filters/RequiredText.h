// Texts a regular expression cannot match without: a cheap test that spares the search on
// most lines. For each branch of the pattern's top-level alternation, its longest run of
// plain characters that stands outside every group, class and quantifier.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Upper-cased (a to z, as the search folds), one per top-level branch: every match of the
// ECMAScript pattern, matched case-insensitively, holds at least one of them. Empty when
// some branch has no such text, and then nothing may be left out on its account.
std::vector<std::wstring> RequiredTexts(std::wstring_view pattern);
