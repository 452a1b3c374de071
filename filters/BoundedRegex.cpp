#include "BoundedRegex.h"

#include <iterator>
#include <string>

namespace {

struct TSearchBudget {
    std::int64_t StepsLeft = 0;
    std::uintptr_t StackFloor = 0; // the search may not go below this stack address
};

struct TBudgetSpent {};

// The stack address of the caller's frame. The stack grows downwards on every Windows target.
std::uintptr_t StackAddress() noexcept
{
    const volatile char here = 0;
    return reinterpret_cast<std::uintptr_t>(&here);
}

// Walks the line for the regex library and charges each character it reads to the budget,
// checking also how deep the library's recursion has gone.
class TBudgetedIterator {
public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = wchar_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const wchar_t*;
    using reference = const wchar_t&;

    TBudgetedIterator() = default;
    TBudgetedIterator(const wchar_t* position, TSearchBudget* budget) noexcept : FPosition(position), FBudget(budget) {}

    reference operator*() const
    {
        if (--FBudget->StepsLeft < 0 || StackAddress() < FBudget->StackFloor)
            throw TBudgetSpent{};
        return *FPosition;
    }
    TBudgetedIterator& operator++() noexcept
    {
        ++FPosition;
        return *this;
    }
    TBudgetedIterator operator++(int) noexcept
    {
        TBudgetedIterator before = *this;
        ++FPosition;
        return before;
    }
    TBudgetedIterator& operator--() noexcept
    {
        --FPosition;
        return *this;
    }
    TBudgetedIterator operator--(int) noexcept
    {
        TBudgetedIterator before = *this;
        --FPosition;
        return before;
    }
    bool operator==(const TBudgetedIterator& other) const noexcept { return FPosition == other.FPosition; }

private:
    const wchar_t* FPosition = nullptr;
    TSearchBudget* FBudget = nullptr;
};

struct TRegexErrorText {
    std::regex_constants::error_type Code;
    const wchar_t* Text;
};

// Libraries differ in the code they report for some mistakes (a leading * is error_paren in
// one, error_badrepeat in another), so such codes share one text.
constexpr wchar_t UnknownInBrackets[] = L"an unknown class or element in [ ]";
constexpr wchar_t BadCount[] = L"a count in { } that is not valid or not closed";
constexpr wchar_t ParenOrRepeat[] = L"a ( or ) without its partner, or a *, +, ? or { } with nothing before it to repeat";
constexpr wchar_t TooComplex[] = L"it is too large or too complex";

const TRegexErrorText RegexErrorTexts[] = {
    {std::regex_constants::error_collate, UnknownInBrackets},
    {std::regex_constants::error_ctype, UnknownInBrackets},
    {std::regex_constants::error_escape, L"a \\ that escapes nothing valid, or a \\ at the end"},
    {std::regex_constants::error_backref, L"a back reference to a group that does not exist"},
    {std::regex_constants::error_brack, L"a [ without its ], or something in [ ] that is not valid"},
    {std::regex_constants::error_paren, ParenOrRepeat},
    {std::regex_constants::error_brace, BadCount},
    {std::regex_constants::error_badbrace, BadCount},
    {std::regex_constants::error_range, L"a range in [ ] whose end comes before its start"},
    {std::regex_constants::error_space, TooComplex},
    {std::regex_constants::error_badrepeat, ParenOrRepeat},
    {std::regex_constants::error_complexity, TooComplex},
    {std::regex_constants::error_stack, TooComplex},
};

std::wstring NotValid(const wchar_t* reason)
{
    return std::wstring(L"Not a valid regular expression: ") + reason + L".";
}

std::wstring RegexErrorMessage(std::regex_constants::error_type code)
{
    for (const TRegexErrorText& entry : RegexErrorTexts) {
        if (entry.Code == code)
            return NotValid(entry.Text);
    }
    return NotValid(L"it cannot be read");
}

} // namespace

TBoundedRegex::TBoundedRegex(std::wstring_view pattern)
{
    try {
        FRegex.assign(pattern.begin(), pattern.end(), std::regex_constants::ECMAScript | std::regex_constants::icase);
    } catch (const std::regex_error& failure) {
        throw TPatternError(RegexErrorMessage(failure.code()));
    } catch (const std::length_error&) {
        throw TPatternError(NotValid(TooComplex));
    }
}

TSearchOutcome TBoundedRegex::Search(std::wstring_view line) const
{
    const std::wstring_view tested = line.substr(0, MaxTestedLineChars);
    const std::uintptr_t stackTop = StackAddress();
    TSearchBudget budget{StepBudget, stackTop > StackBudget ? stackTop - StackBudget : 0};
    try {
        const TBudgetedIterator first(tested.data(), &budget);
        const TBudgetedIterator last(tested.data() + tested.size(), &budget);
        return std::regex_search(first, last, FRegex) ? TSearchOutcome::Match : TSearchOutcome::NoMatch;
    } catch (const TBudgetSpent&) {
        return TSearchOutcome::OutOfBudget;
    } catch (const std::regex_error&) {
        // Some libraries bound the work themselves (error_complexity, error_stack).
        return TSearchOutcome::OutOfBudget;
    }
}
