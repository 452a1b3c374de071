// A regular expression of a rule, matched by RE2: the time a search takes grows with the
// line's length and the size of the compiled pattern only, never with how the pattern is
// written, and the memory a pattern may use is capped. What RE2 cannot match that way (back
// references, lookarounds) it refuses when the pattern is compiled, and so do we for patterns
// whose repeat counts make the compiled form large (it is what a search's time grows with).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Exception.h"

namespace re2 {
class RE2;
}

// A pattern that is not a regular expression the rules can use; the message says why, for
// the user.
class TPatternError : public Exception {
public:
    using Exception::Exception;
};

class TRegexPattern {
public:
    // Compiles the pattern, case-insensitive. Throws TPatternError with the reason it is refused.
    explicit TRegexPattern(std::wstring_view pattern);
    ~TRegexPattern();
    TRegexPattern(TRegexPattern&&) noexcept;
    TRegexPattern& operator=(TRegexPattern&&) noexcept;

    // Whether the pattern occurs in a line given as UTF-8 (MatchedText).
    bool Matches(std::string_view utf8Line) const;

    // The text a search reads: the line's first MaxTestedLineChars characters as UTF-8, made
    // once for every regex rule a line is tested against.
    static std::string MatchedText(std::wstring_view line);

    // Far beyond a line from the exchange area (255 characters and the prefixes).
    static constexpr std::size_t MaxTestedLineChars = 1024;
    // The most steps a pattern's repeats may add to it, counted as if every character were
    // one byte (so that a class such as \pL is one step): "error|fail(ed|ure)?" adds none,
    // "[a-z]{100}b" 94, ".{0,60}x" 177. Large repeat counts make a search build large states,
    // one per character, in a time that grows with the square of the count.
    static constexpr int MaxRepeatSteps = 200;
    // What one compiled pattern may hold, its program and the states its searches build
    // together: enough for the states of a whole line of a pattern at MaxRepeatSteps. A
    // pattern holds only what the lines have needed so far, a few KB for most.
    static constexpr std::int64_t MaxMemoryBytes = 1024 * 1024;

private:
    std::unique_ptr<re2::RE2> FRegex;
};
