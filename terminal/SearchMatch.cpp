#include "SearchMatch.h"

namespace {

constexpr std::int32_t NoHit = -1;

} // namespace

bool MatchLine(TSearchList& list, std::wstring_view upperText, std::int32_t index,
               std::int32_t& searchIndex, std::wstring& lastSearchString)
{
    if (!ContainsUpper(AsciiUpper(list.Line(index)), upperText))
        return false;
    list.SetSelected(index, true);
    if (list.TopIndex() != index)
        list.SetTopIndex(index);
    searchIndex = index;
    lastSearchString = upperText;
    return true;
}

void SeekIt(TSearchList& list, std::wstring_view findText, bool down, std::int32_t& searchIndex,
            std::wstring& lastSearchString)
{
    const std::int32_t n = list.Count();
    const std::wstring upper = AsciiUpper(findText);
    lastSearchString = upper;

    if (searchIndex >= 0 && searchIndex < n)
        list.SetSelected(searchIndex, false);

    if (down) {
        // Any negative index counts as "no hit"; 64 bits keep the + 1 from overflowing.
        const std::int64_t first = searchIndex < 0 ? 0 : std::int64_t{searchIndex} + 1;
        for (std::int64_t i = first; i < n; ++i) {
            if (MatchLine(list, upper, static_cast<std::int32_t>(i), searchIndex, lastSearchString))
                return;
        }
        searchIndex = NoHit;
        return;
    }

    // Going up from an index beyond the end (lines were deleted or trimmed since the hit)
    // starts at the last line, as from "no hit": never a line past the end.
    if (searchIndex < 0 || searchIndex > n)
        searchIndex = n;
    for (std::int32_t i = searchIndex - 1; i >= 0; --i) {
        if (MatchLine(list, upper, i, searchIndex, lastSearchString))
            return;
    }
    searchIndex = NoHit;
}
