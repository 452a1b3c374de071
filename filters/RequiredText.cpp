#include "RequiredText.h"

#include <utility>

#include "TextMatch.h"

namespace {

bool IsHexDigit(wchar_t c) noexcept
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// The position after an escape that starts at `backslash`: \cX, \xHH, \uHHHH and \N...
// (back references) take more than one character.
std::size_t SkipEscape(std::wstring_view pattern, std::size_t backslash) noexcept
{
    std::size_t next = backslash + 1;
    if (next >= pattern.size())
        return next;
    const wchar_t escaped = pattern[next++];
    const auto skipWhile = [&](std::size_t most, auto&& accept) {
        for (std::size_t taken = 0; taken < most && next < pattern.size() && accept(pattern[next]); ++taken)
            ++next;
    };
    if (escaped == L'c')
        skipWhile(1, [](wchar_t) { return true; });
    else if (escaped == L'x')
        skipWhile(2, IsHexDigit);
    else if (escaped == L'u')
        skipWhile(4, IsHexDigit);
    else if (escaped >= L'0' && escaped <= L'9')
        skipWhile(pattern.size(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    return next;
}

// The position after the class that starts at `bracket`, or npos for a class whose first
// character is "]", which libraries read differently.
std::size_t SkipClass(std::wstring_view pattern, std::size_t bracket) noexcept
{
    std::size_t next = bracket + 1;
    if (next < pattern.size() && pattern[next] == L'^')
        ++next;
    if (next < pattern.size() && pattern[next] == L']')
        return std::wstring_view::npos;
    while (next < pattern.size() && pattern[next] != L']')
        next = pattern[next] == L'\\' ? SkipEscape(pattern, next) : next + 1;
    return next + 1;
}

// Collects the longest run of plain characters of one branch.
class TBranch {
public:
    void Add(wchar_t c) { FRun.push_back(c); }
    // A quantifier applies to the character before it, which is then not required.
    void Quantified()
    {
        if (!FRun.empty())
            FRun.pop_back();
        End();
    }
    void End()
    {
        if (FRun.size() > FLongest.size())
            FLongest = FRun;
        FRun.clear();
    }
    std::wstring Take()
    {
        End();
        return std::exchange(FLongest, std::wstring());
    }

private:
    std::wstring FRun;
    std::wstring FLongest;
};

} // namespace

std::vector<std::wstring> RequiredTexts(std::wstring_view pattern)
{
    std::vector<std::wstring> texts;
    TBranch branch;
    int depth = 0;
    for (std::size_t i = 0; i < pattern.size();) {
        const wchar_t c = pattern[i];
        switch (c) {
        case L'\\':
            branch.End();
            i = SkipEscape(pattern, i);
            continue;
        case L'[':
            branch.End();
            i = SkipClass(pattern, i);
            if (i == std::wstring_view::npos)
                return {};
            continue;
        case L'(':
        case L')':
            branch.End();
            depth += c == L'(' ? 1 : -1;
            break;
        case L'*':
        case L'+':
        case L'?':
            branch.Quantified();
            break;
        case L'{':
            branch.Quantified();
            while (i < pattern.size() && pattern[i] != L'}')
                ++i;
            break;
        case L'|':
            if (depth != 0) {
                branch.End();
                break;
            }
            texts.push_back(branch.Take());
            if (texts.back().empty())
                return {};
            break;
        case L'^':
        case L'$':
        case L'.':
        case L']':
        case L'}':
            branch.End();
            break;
        default:
            if (depth == 0)
                branch.Add(c);
            break;
        }
        ++i;
    }
    texts.push_back(branch.Take());
    if (texts.back().empty())
        return {};
    for (std::wstring& text : texts)
        text = AsciiUpper(text);
    return texts;
}
