#include "RegexPattern.h"

#include <algorithm>

#include <re2/re2.h>

#include "TextCodec.h"

namespace {

constexpr wchar_t RefusalPrefix[] = L"Not a regular expression the rules can use: ";

re2::RE2::Options PatternOptions(re2::RE2::Options::Encoding encoding)
{
    re2::RE2::Options options;
    options.set_encoding(encoding);
    options.set_case_sensitive(false);
    options.set_never_capture(true);      // a rule asks only whether the line matches
    options.set_log_errors(false);        // the refusal reaches the user as TPatternError
    options.set_max_mem(TRegexPattern::MaxMemoryBytes);
    return options;
}

// The steps that the pattern's repeats add to it, read as single bytes (MaxRepeatSteps): its
// size less its own length; 0 when it is not readable so.
int RepeatStepsOf(const std::string& utf8Pattern)
{
    const re2::RE2 bytes(utf8Pattern, PatternOptions(re2::RE2::Options::EncodingLatin1));
    return bytes.ok() ? std::max(0, bytes.ProgramSize() - static_cast<int>(utf8Pattern.size())) : 0;
}

} // namespace

TRegexPattern::TRegexPattern(std::wstring_view pattern)
{
    const std::string utf8Pattern = WideToUtf8(pattern);
    FRegex = std::make_unique<re2::RE2>(utf8Pattern, PatternOptions(re2::RE2::Options::EncodingUTF8));
    if (!FRegex->ok())
        throw TPatternError(RefusalPrefix + Utf8ToWide(FRegex->error()) + L".");
    if (const int steps = RepeatStepsOf(utf8Pattern); steps > MaxRepeatSteps)
        throw TPatternError(RefusalPrefix + std::wstring(L"too large: its repeats add ") + std::to_wstring(steps) +
                            L" steps, at most " + std::to_wstring(MaxRepeatSteps) + L"; write smaller counts.");
}

TRegexPattern::~TRegexPattern() = default;
TRegexPattern::TRegexPattern(TRegexPattern&&) noexcept = default;
TRegexPattern& TRegexPattern::operator=(TRegexPattern&&) noexcept = default;

bool TRegexPattern::Matches(std::string_view utf8Line) const
{
    return re2::RE2::PartialMatch(re2::StringPiece(utf8Line.data(), utf8Line.size()), *FRegex);
}

std::string TRegexPattern::MatchedText(std::wstring_view line)
{
    return WideToUtf8(line.substr(0, MaxTestedLineChars));
}
