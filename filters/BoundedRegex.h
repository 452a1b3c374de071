// A regular expression whose every search is bounded in work and in stack, so that no
// pattern, however it is written, can freeze the window that runs it.
//
// The standard library matches ECMAScript expressions by backtracking, and some patterns
// ((a+)+b on a line of a's) take exponential time; it also recurses once or more per
// character, so a long line and a complex pattern can overflow the stack. Refusing such
// patterns up front cannot catch them all ((a|a)*b has no nested quantifier), so each search
// is given a budget instead: at most StepBudget characters read, at most StackBudget bytes
// of stack below where the search began, and at most MaxTestedLineChars characters of the
// line. A search that runs out of budget ends with OutOfBudget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <regex>
#include <string_view>

#include "Exception.h"

// A pattern that is not a valid regular expression; the message says why, for the user.
class TPatternError : public Exception {
public:
    using Exception::Exception;
};

// Case-insensitive as the search is (a to z match A to Z), and without asking the locale
// for every character, which the library's own folding does.
struct TAsciiCaseTraits : std::regex_traits<wchar_t> {
    wchar_t translate_nocase(wchar_t c) const noexcept
    {
        return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    }
};

enum class TSearchOutcome { Match, NoMatch, OutOfBudget };

class TBoundedRegex {
public:
    // Compiles an ECMAScript pattern, case-insensitive. Throws TPatternError.
    explicit TBoundedRegex(std::wstring_view pattern);

    // Whether the pattern occurs in the line's first MaxTestedLineChars characters.
    TSearchOutcome Search(std::wstring_view line) const;

    // Far beyond a line from the exchange area (255 characters and the prefixes).
    static constexpr std::size_t MaxTestedLineChars = 1024;
    // A sensible pattern needs a few hundred steps on a line, a few thousand on the longest;
    // a step costs 50 to 400 ns here (more for classes such as \w), so a search takes a few
    // milliseconds at most. A search that needs more is one that does not match or matches
    // only after exponential backtracking.
    static constexpr std::int64_t StepBudget = 20000;
    static constexpr std::size_t StackBudget = 256 * 1024;

private:
    std::basic_regex<wchar_t, TAsciiCaseTraits> FRegex;
};
