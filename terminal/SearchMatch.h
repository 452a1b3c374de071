// The search through the display list: matching a line and the walk of one Find Next press.
// Plain functions over an abstract list, so the window and the tests share them. The case
// folding and containment are the text rules' too (TextMatch.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "LineSource.h"
#include "TextMatch.h"

// What the search needs of the list beyond reading lines.
class TSearchList : public TLineSource {
public:
    // Sets or clears the selected flag of line i alone.
    virtual void SetSelected(int index, bool selected) = 0;
    virtual void SetTopIndex(int index) = 0;
    virtual int TopIndex() const = 0;
};

// A TSearchList over any list class with these five members (the window's TDisplayList).
template <class TList>
class TSearchListOf final : public TSearchList {
public:
    explicit TSearchListOf(TList& list) noexcept : FList(list) {}
    int Count() const override { return FList.Count(); }
    std::wstring Line(int index) const override { return FList.Line(index); }
    void SetSelected(int index, bool selected) override { FList.SetSelected(index, selected); }
    void SetTopIndex(int index) override { FList.SetTopIndex(index); }
    int TopIndex() const override { return FList.TopIndex(); }

private:
    TList& FList;
};

// Tests line index (inside the list) against the upper-cased find text. On a hit: selects
// the line, makes it the top line unless it already is, and records the hit.
bool MatchLine(TSearchList& list, std::wstring_view upperText, std::int32_t index,
               std::int32_t& searchIndex, std::wstring& lastSearchString);

// One press of Find Next: clears the previous hit's selection, then tests the lines after
// it (down) or before it (up) until the first hit, without wrapping. searchIndex is -1
// after a press that found nothing.
void SeekIt(TSearchList& list, std::wstring_view findText, bool down, std::int32_t& searchIndex,
            std::wstring& lastSearchString);
