// A regular expression of a rule, matched by RE2: the time a search takes grows with the
// line's length only, never with how the pattern is written, and the memory a pattern may use
// is capped. What RE2 cannot match that way (back references, lookarounds) or would need too
// much memory for (large repeat counts) it refuses when the pattern is compiled.
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
    // Compiles the pattern, case-insensitive. Throws TPatternError with RE2's reason.
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
    // What one compiled pattern may hold, its program and its matching state together: ample
    // for any pattern a person writes, small enough that hundreds of rules stay cheap.
    static constexpr std::int64_t MaxMemoryBytes = 256 * 1024;

private:
    std::unique_ptr<re2::RE2> FRegex;
};
