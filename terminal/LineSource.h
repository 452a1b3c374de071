// Read access to the display list's lines, as the search and the save walk need it.
#pragma once

#include <string>

class TLineSource {
public:
    virtual ~TLineSource() = default;
    // The list's current number of lines.
    virtual int Count() const = 0;
    // Line i; only called with 0 <= i < Count().
    virtual std::wstring Line(int index) const = 0;
};
