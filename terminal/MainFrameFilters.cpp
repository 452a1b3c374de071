// Filter and highlight rules in the window: the rules in force (include and exclude decide in
// AddLine), the list's lines drawn by the window in their highlight colours, the dialog
// "Filters and highlights...", and the rules in the settings file.
#include "DebugMain.h"

#include "FilterDialog.h"
#include "FilterSettings.h"
#include "Panel.h"

namespace {

// A line's highlight is kept in its item data once found: the rules' generation in the upper
// half, the highlight rule's index + 1 in the lower half (0: none). New lines have item data
// 0, which no generation matches.
constexpr int HalfBits = static_cast<int>(sizeof(ULONG_PTR) * 4);
constexpr ULONG_PTR LowerHalf = (ULONG_PTR{1} << HalfBits) - 1;

ULONG_PTR HighlightData(std::uint32_t generation, std::optional<std::size_t> rule) noexcept
{
    const ULONG_PTR found = rule ? static_cast<ULONG_PTR>(*rule + 1) & LowerHalf : 0;
    return (static_cast<ULONG_PTR>(generation) << HalfBits) | found;
}

} // namespace

void TMainFrame::SetFilterRules(std::vector<TFilterRule> rules)
{
    Filters = TRuleSet(std::move(rules));
    // Every highlight found so far is stale; 0 stays the mark of a line never looked at.
    if ((++RulesGeneration & LowerHalf) == 0)
        RulesGeneration = 1;
    InvalidateRect(dbDisplayWnd, nullptr, TRUE);
}

void TMainFrame::FiltersClick()
{
    if (auto edited = RunFilterDialog(FHandle, Filters.Rules(), TListColours{ListFont.Color, ListColor}))
        SetFilterRules(std::move(*edited));
}

std::optional<std::size_t> TMainFrame::HighlightOfItem(const DRAWITEMSTRUCT& item, std::wstring_view line)
{
    if (!Filters.HasHighlights())
        return std::nullopt;
    if ((item.itemData >> HalfBits) == (RulesGeneration & LowerHalf)) {
        const ULONG_PTR found = item.itemData & LowerHalf;
        return found == 0 ? std::nullopt : std::optional<std::size_t>(found - 1);
    }
    const std::optional<std::size_t> rule = Filters.HighlightOf(line);
    SendMessageW(dbDisplayWnd, LB_SETITEMDATA, item.itemID, static_cast<LPARAM>(HighlightData(RulesGeneration, rule)));
    return rule;
}

void TMainFrame::DrawListItem(const DRAWITEMSTRUCT& item)
{
    // As the list box draws its own lines: the text one pixel in from the left, the line's
    // rectangle filled behind it, the focus a dotted frame drawn over it.
    if (item.itemAction == ODA_FOCUS) {
        DrawFocusRect(item.hDC, &item.rcItem);
        return;
    }
    if (item.itemID == static_cast<UINT>(-1))
        return;
    const std::wstring line = dbDisplay.Line(static_cast<int>(item.itemID));
    COLORREF text = ColorToRGB(ListFont.Color);
    COLORREF back = ColorToRGB(ListColor);
    if ((item.itemState & ODS_SELECTED) != 0) {
        text = GetSysColor(COLOR_HIGHLIGHTTEXT);
        back = GetSysColor(COLOR_HIGHLIGHT);
    } else if (const auto rule = HighlightOfItem(item, line)) {
        const TFilterRule& highlight = Filters.Rules()[*rule];
        text = ColorToRGB(highlight.TextColour.value_or(ListFont.Color));
        back = ColorToRGB(highlight.BackColour.value_or(ListColor));
    }
    const TSelectObject font(item.hDC, ListFontHandle.Get());
    const COLORREF oldText = SetTextColor(item.hDC, text);
    const COLORREF oldBack = SetBkColor(item.hDC, back);
    ExtTextOutW(item.hDC, item.rcItem.left + 1, item.rcItem.top, ETO_OPAQUE | ETO_CLIPPED, &item.rcItem, line.data(),
                static_cast<UINT>(line.size()), nullptr);
    SetTextColor(item.hDC, oldText);
    SetBkColor(item.hDC, oldBack);
    if ((item.itemState & ODS_FOCUS) != 0)
        DrawFocusRect(item.hDC, &item.rcItem);
}

void TMainFrame::LoadFilterSettings(const TIniFile& file) { SetFilterRules(LoadFilterRules(file)); }

void TMainFrame::SaveFilterSettings(TIniFile& file) const { SaveFilterRules(file, Filters.Rules()); }
