#include "FilterDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "DialogHook.h"
#include "DialogTemplate.h"
#include "ErrorBox.h"
#include "Gdi.h"
#include "Panel.h"

namespace {

constexpr std::int32_t clBlack = 0;
constexpr std::int32_t clYellow = 65535;
// A rule as the fields show it when the dialog opens.
const TFilterRule NewRule{TRuleKind::Highlight, TMatchMode::Text, true, clBlack, clYellow, L""};

constexpr TRuleKind Kinds[] = {TRuleKind::Include, TRuleKind::Exclude, TRuleKind::Highlight};
constexpr TMatchMode Modes[] = {TMatchMode::Text, TMatchMode::Regex};

constexpr wchar_t EnabledMark[] = L"on";
constexpr wchar_t DisabledMark[] = L"off";
constexpr wchar_t RefusedMark[] = L"refused";
constexpr wchar_t SampleText[] = L"Sample line";
constexpr COLORREF ProblemColour = RGB(176, 0, 0);
constexpr DWORD ColourDialogFlags = CC_RGBINIT | CC_ANYCOLOR | CC_FULLOPEN | CC_ENABLEHOOK;
// Columns of the rule list (dialog units): state (on, off, refused), kind, mode, pattern.
constexpr std::array<int, 3> RuleListTabs = {32, 70, 96};

constexpr DWORD Tab = WS_TABSTOP;
constexpr DWORD Push = BS_PUSHBUTTON | WS_TABSTOP;
constexpr int NoId = -1;

const TDialogControlRow ControlRows[] = {
    {TDialogControlClass::Static, NoId, L"&Rules, in order:", 7, 7, 200, 8, SS_LEFT},
    {TDialogControlClass::ListBox, idRuleList, L"", 7, 18, 256, 96,
     LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | Tab},
    {TDialogControlClass::Button, idAddRule, L"&Add", 270, 18, 53, 14, Push},
    {TDialogControlClass::Button, idChangeRule, L"C&hange", 270, 36, 53, 14, Push},
    {TDialogControlClass::Button, idRemoveRule, L"Remo&ve", 270, 54, 53, 14, Push},
    {TDialogControlClass::Button, idRuleUp, L"&Up", 270, 72, 53, 14, Push},
    {TDialogControlClass::Button, idRuleDown, L"Do&wn", 270, 90, 53, 14, Push},
    {TDialogControlClass::Button, NoId, L"Rule", 7, 118, 316, 68, BS_GROUPBOX},
    {TDialogControlClass::Static, NoId, L"&Kind:", 14, 132, 24, 8, SS_LEFT},
    {TDialogControlClass::ComboBox, idRuleKind, L"", 40, 130, 64, 60, CBS_DROPDOWNLIST | WS_VSCROLL | Tab},
    {TDialogControlClass::Static, NoId, L"&Match:", 112, 132, 26, 8, SS_LEFT},
    {TDialogControlClass::ComboBox, idRuleMode, L"", 140, 130, 50, 60, CBS_DROPDOWNLIST | WS_VSCROLL | Tab},
    {TDialogControlClass::Button, idRuleEnabled, L"&Enabled", 200, 131, 60, 10, BS_AUTOCHECKBOX | Tab},
    {TDialogControlClass::Static, NoId, L"&Pattern:", 14, 150, 26, 8, SS_LEFT},
    {TDialogControlClass::Edit, idRulePattern, L"", 40, 148, 276, 13, ES_AUTOHSCROLL | WS_BORDER | Tab},
    {TDialogControlClass::Button, idRuleTextColour, L"&Text colour...", 40, 166, 64, 14, Push},
    {TDialogControlClass::Button, idRuleBackColour, L"&Background colour...", 108, 166, 78, 14, Push},
    {TDialogControlClass::Static, idRuleSample, SampleText, 192, 167, 124, 12, SS_CENTER | SS_CENTERIMAGE},
    {TDialogControlClass::Static, idRuleProblem, L"", 7, 192, 204, 18, SS_LEFT},
    {TDialogControlClass::Button, IDOK, L"OK", 216, 194, 50, 14, BS_DEFPUSHBUTTON | Tab},
    {TDialogControlClass::Button, IDCANCEL, L"Cancel", 273, 194, 50, 14, Push},
};
constexpr short DialogWidth = 330;
constexpr short DialogHeight = 214;

// Where a value stands in its combo box, which lists the values in the order of the array.
template <class Value, std::size_t Count>
WPARAM PositionOf(const Value (&values)[Count], Value value)
{
    return static_cast<WPARAM>(std::find(std::begin(values), std::end(values), value) - std::begin(values));
}

// A rule whose pattern is refused (one read from the settings file) is out of force.
std::wstring RuleRow(const TFilterRule& rule)
{
    const wchar_t* state = PatternProblem(rule.Mode, rule.Pattern) ? RefusedMark : rule.Enabled ? EnabledMark : DisabledMark;
    return state + (L'\t' + std::wstring(KindName(rule.Kind))) + L'\t' + std::wstring(ModeName(rule.Mode)) + L'\t' +
           rule.Pattern;
}

class TFilterDialog {
public:
    TFilterDialog(std::vector<TFilterRule> rules, TListColours listColours)
        : FRules(std::move(rules)), FListColours(listColours), FFieldColours{NewRule.TextColour, NewRule.BackColour}
    {
    }

    bool Run(HWND owner) { return RunDialog(owner, FilterDialogTitle, DialogWidth, DialogHeight, ControlRows, *this) == IDOK; }

    std::vector<TFilterRule>& Rules() noexcept { return FRules; }

    // The dialog's messages, as RunDialog hands them on.
    INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_INITDIALOG:
            FWindow = window;
            Initialise();
            CommonDialogHook(window, WM_INITDIALOG, 0, 0);
            return TRUE;
        case WM_COMMAND:
            return Command(LOWORD(wParam), HIWORD(wParam));
        case WM_CTLCOLORSTATIC:
            return ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        default:
            return FALSE;
        }
    }

private:
    HWND Item(int id) const noexcept { return GetDlgItem(FWindow, id); }

    void Initialise()
    {
        for (const TRuleKind kind : Kinds)
            SendMessageW(Item(idRuleKind), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::wstring(KindName(kind)).c_str()));
        for (const TMatchMode mode : Modes)
            SendMessageW(Item(idRuleMode), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::wstring(ModeName(mode)).c_str()));
        SendMessageW(Item(idRulePattern), EM_LIMITTEXT, MaxPatternChars, 0);
        SendMessageW(Item(idRuleList), LB_SETTABSTOPS, RuleListTabs.size(), reinterpret_cast<LPARAM>(RuleListTabs.data()));
        ShowRules(FRules.empty() ? LB_ERR : 0);
        ShowFields(FRules.empty() ? NewRule : FRules.front());
    }

    INT_PTR Command(int id, int code)
    {
        switch (id) {
        case IDOK:
        case IDCANCEL:
            EndDialog(FWindow, id);
            return TRUE;
        case idRuleList:
            if (code == LBN_SELCHANGE && Selected() != LB_ERR)
                ShowFields(FRules[static_cast<std::size_t>(Selected())]);
            return TRUE;
        case idRuleKind:
            if (code == CBN_SELCHANGE)
                ShowColourControls();
            return TRUE;
        case idAddRule:
            AddRule();
            return TRUE;
        case idChangeRule:
            ChangeRule();
            return TRUE;
        case idRemoveRule:
            RemoveRule();
            return TRUE;
        case idRuleUp:
            MoveRule(-1);
            return TRUE;
        case idRuleDown:
            MoveRule(+1);
            return TRUE;
        case idRuleTextColour:
            PickColour(FFieldColours.Text, FListColours.Text);
            return TRUE;
        case idRuleBackColour:
            PickColour(FFieldColours.Back, FListColours.Back);
            return TRUE;
        default:
            return FALSE;
        }
    }

    int Selected() const { return static_cast<int>(SendMessageW(Item(idRuleList), LB_GETCURSEL, 0, 0)); }

    // Fills the rule list and selects one row (LB_ERR: none).
    void ShowRules(int select)
    {
        const HWND list = Item(idRuleList);
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        for (const TFilterRule& rule : FRules)
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(RuleRow(rule).c_str()));
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(select), 0);
    }

    void ShowFields(const TFilterRule& rule)
    {
        SendMessageW(Item(idRuleKind), CB_SETCURSEL, PositionOf(Kinds, rule.Kind), 0);
        SendMessageW(Item(idRuleMode), CB_SETCURSEL, PositionOf(Modes, rule.Mode), 0);
        CheckDlgButton(FWindow, idRuleEnabled, rule.Enabled ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextW(FWindow, idRulePattern, rule.Pattern.c_str());
        if (rule.Kind == TRuleKind::Highlight) {
            FFieldColours.Text = rule.TextColour;
            FFieldColours.Back = rule.BackColour;
        }
        ShowColourControls();
        ShowProblem(PatternProblem(rule.Mode, rule.Pattern).value_or(L""));
    }

    TRuleKind FieldKind() const
    {
        return Kinds[static_cast<std::size_t>(SendMessageW(Item(idRuleKind), CB_GETCURSEL, 0, 0))];
    }

    void ShowColourControls()
    {
        const bool highlight = FieldKind() == TRuleKind::Highlight;
        for (const int id : {idRuleTextColour, idRuleBackColour, idRuleSample})
            EnableWindow(Item(id), highlight ? TRUE : FALSE);
        ShowWindow(Item(idRuleSample), highlight ? SW_SHOW : SW_HIDE);
        InvalidateRect(Item(idRuleSample), nullptr, TRUE);
    }

    void ShowProblem(const std::wstring& problem) { SetDlgItemTextW(FWindow, idRuleProblem, problem.c_str()); }

    // The rule the fields describe, or nothing, with the reason shown, when its pattern is refused.
    std::optional<TFilterRule> FieldRule()
    {
        TFilterRule rule;
        rule.Kind = FieldKind();
        rule.Mode = Modes[static_cast<std::size_t>(SendMessageW(Item(idRuleMode), CB_GETCURSEL, 0, 0))];
        rule.Enabled = IsDlgButtonChecked(FWindow, idRuleEnabled) == BST_CHECKED;
        std::wstring pattern(MaxPatternChars + 1, L'\0');
        pattern.resize(static_cast<std::size_t>(
            GetDlgItemTextW(FWindow, idRulePattern, pattern.data(), static_cast<int>(pattern.size()))));
        rule.Pattern = std::move(pattern);
        if (rule.Kind == TRuleKind::Highlight) {
            rule.TextColour = FFieldColours.Text;
            rule.BackColour = FFieldColours.Back;
        }
        if (const auto problem = PatternProblem(rule.Mode, rule.Pattern)) {
            ShowProblem(*problem);
            SetFocus(Item(idRulePattern));
            return std::nullopt;
        }
        ShowProblem(L"");
        return rule;
    }

    void AddRule()
    {
        if (auto rule = FieldRule()) {
            FRules.push_back(std::move(*rule));
            ShowRules(static_cast<int>(FRules.size()) - 1);
        }
    }

    void ChangeRule()
    {
        const int selected = Selected();
        if (selected == LB_ERR) {
            ShowProblem(L"Select the rule to change.");
            return;
        }
        if (auto rule = FieldRule()) {
            FRules[static_cast<std::size_t>(selected)] = std::move(*rule);
            ShowRules(selected);
        }
    }

    void RemoveRule()
    {
        const int selected = Selected();
        if (selected == LB_ERR)
            return;
        FRules.erase(FRules.begin() + selected);
        const int next = FRules.empty() ? LB_ERR : std::min(selected, static_cast<int>(FRules.size()) - 1);
        ShowRules(next);
        if (next != LB_ERR)
            ShowFields(FRules[static_cast<std::size_t>(next)]);
    }

    void MoveRule(int step)
    {
        const int selected = Selected();
        const int target = selected + step;
        if (selected == LB_ERR || target < 0 || target >= static_cast<int>(FRules.size()))
            return;
        std::swap(FRules[static_cast<std::size_t>(selected)], FRules[static_cast<std::size_t>(target)]);
        ShowRules(target);
    }

    void PickColour(std::optional<std::int32_t>& colour, std::int32_t listColour)
    {
        CHOOSECOLORW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = FWindow;
        dialog.rgbResult = ColorToRGB(colour.value_or(listColour));
        dialog.lpCustColors = FCustomColours.data();
        dialog.Flags = ColourDialogFlags;
        dialog.lpfnHook = CommonDialogHook;
        if (!ChooseColorW(&dialog))
            return;
        colour = static_cast<std::int32_t>(dialog.rgbResult);
        InvalidateRect(Item(idRuleSample), nullptr, TRUE);
    }

    INT_PTR ColourStatic(HDC dc, HWND control)
    {
        if (control == Item(idRuleProblem)) {
            SetTextColor(dc, ProblemColour);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));
        }
        if (control != Item(idRuleSample))
            return FALSE;
        const COLORREF back = ColorToRGB(FFieldColours.Back.value_or(FListColours.Back));
        SetTextColor(dc, ColorToRGB(FFieldColours.Text.value_or(FListColours.Text)));
        SetBkColor(dc, back);
        FSampleBrush.Reset(CreateSolidBrush(back));
        return reinterpret_cast<INT_PTR>(FSampleBrush.Get());
    }

    std::vector<TFilterRule> FRules;
    TListColours FListColours;
    // The highlight colours the fields show; none: the list's own.
    struct TFieldColours {
        std::optional<std::int32_t> Text;
        std::optional<std::int32_t> Back;
    } FFieldColours;
    HWND FWindow = nullptr;
    TUniqueBrush FSampleBrush;
    std::array<COLORREF, 16> FCustomColours{};
};

} // namespace

std::optional<std::vector<TFilterRule>> RunFilterDialog(HWND owner, const std::vector<TFilterRule>& rules,
                                                        TListColours listColours)
{
    TFilterDialog dialog(rules, listColours);
    if (!dialog.Run(owner))
        return std::nullopt;
    return std::move(dialog.Rules());
}
