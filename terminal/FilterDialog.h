// The dialog "Filters and highlights": the rules in order, with fields to write one rule
// (kind, match mode, enabled, pattern, colours) and buttons to add it, change the selected
// rule to it, remove the selected rule or move it up and down. A pattern that PatternProblem
// refuses is refused with its reason shown in the dialog; a rule read with such a pattern is
// listed as refused, with its reason shown when it is selected.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "FilterRule.h"

inline constexpr wchar_t FilterDialogTitle[] = L"Filters and highlights";

// The list's own colours (colour values), shown for a highlight without colours of its own.
struct TListColours {
    std::int32_t Text = 0;
    std::int32_t Back = 0;
};

// Runs the dialog on a copy of the rules: the edited rules after OK, nothing after Cancel.
// Its WM_INITDIALOG runs the handler of SetDialogInitHandler (DialogHook.h), record 0.
std::optional<std::vector<TFilterRule>> RunFilterDialog(HWND owner, const std::vector<TFilterRule>& rules,
                                                        TListColours listColours);

// The dialog's controls, for the tests that fill it in.
enum TFilterDialogControl : int {
    idRuleList = 100,
    idAddRule,
    idChangeRule,
    idRemoveRule,
    idRuleUp,
    idRuleDown,
    idRuleKind,        // combo box: include, exclude, highlight
    idRuleMode,        // combo box: text, regex
    idRuleEnabled,
    idRulePattern,
    idRuleTextColour,  // opens the colour dialog
    idRuleBackColour,
    idRuleSample,      // "Sample line" in the rule's colours
    idRuleProblem,     // why the last Add or Change, or the selected rule, was refused; empty otherwise
};
