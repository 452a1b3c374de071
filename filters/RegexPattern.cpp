#include "RegexPattern.h"

#include <re2/re2.h>

#include "TextCodec.h"

namespace {

re2::RE2::Options PatternOptions()
{
    re2::RE2::Options options;
    options.set_encoding(re2::RE2::Options::EncodingUTF8);
    options.set_case_sensitive(false);
    options.set_never_capture(true);      // a rule asks only whether the line matches
    options.set_log_errors(false);        // the refusal reaches the user as TPatternError
    options.set_max_mem(TRegexPattern::MaxMemoryBytes);
    return options;
}

} // namespace

TRegexPattern::TRegexPattern(std::wstring_view pattern)
    : FRegex(std::make_unique<re2::RE2>(WideToUtf8(pattern), PatternOptions()))
{
    if (!FRegex->ok())
        throw TPatternError(L"Not a regular expression the rules can use: " + Utf8ToWide(FRegex->error()) + L".");
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
