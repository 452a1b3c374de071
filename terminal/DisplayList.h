// The display list dbDisplay: a list box of wide-character lines, index 0 the oldest.
// Only the operations the terminal needs, each one list box message.
#pragma once

#include <windows.h>

#include <string>

class TDisplayList {
public:
    void Attach(HWND listBox) noexcept { FWindow = listBox; }
    HWND Window() const noexcept { return FWindow; }

    int Count() const;
    // False when the list refuses the string (error or no space).
    bool Append(const std::wstring& line);
    void DeleteFirst();
    void Delete(int index);
    void Clear();
    std::wstring Line(int index) const;
    void SetTopIndex(int index);
    int TopIndex() const;
    int SelectedCount() const;
    bool Selected(int index) const;
    void SetSelected(int index, bool selected);

    // Redraw suspension, counted: drawing stops at the first Suspend and resumes, with one
    // repaint, when the last Resume balances it.
    void SuspendRedraw();
    void ResumeRedraw();

private:
    HWND FWindow = nullptr;
    int FSuspended = 0;
};

// Suspends the list's redrawing for a scope.
class TRedrawSuspension {
public:
    explicit TRedrawSuspension(TDisplayList& list) : FList(list) { FList.SuspendRedraw(); }
    ~TRedrawSuspension() { FList.ResumeRedraw(); }
    TRedrawSuspension(const TRedrawSuspension&) = delete;
    TRedrawSuspension& operator=(const TRedrawSuspension&) = delete;

private:
    TDisplayList& FList;
};
