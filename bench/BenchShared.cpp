#include "BenchShared.h"

#include <cstdio>
#include <cwchar>

#include "Exception.h"
#include "TextCodec.h"

namespace Bench {

namespace {

constexpr char Filler[] = "the quick brown fox jumps over the lazy dog 0123456789 ";

template <class Char>
bool ReadNumber(std::basic_string_view<Char> text, std::size_t& position, unsigned long& value)
{
    const std::size_t start = position;
    value = 0;
    while (position < text.size() && text[position] >= Char('0') && text[position] <= Char('9') &&
           position - start < 10) {
        value = value * 10 + static_cast<unsigned long>(text[position] - Char('0'));
        ++position;
    }
    return position > start;
}

template <class Char>
bool ReadLiteral(std::basic_string_view<Char> text, std::size_t& position, const char* literal)
{
    for (; *literal != '\0'; ++literal, ++position)
        if (position >= text.size() || text[position] != static_cast<Char>(*literal))
            return false;
    return true;
}

template <class Char>
void SkipBlank(std::basic_string_view<Char> text, std::size_t& position)
{
    if (position < text.size() && text[position] == Char(' '))
        ++position;
}

// "#0000017" from the bench senders, "# 17" from vtsend --count.
template <class Char>
std::optional<TEntryTag> FindTag(std::basic_string_view<Char> text)
{
    for (std::size_t start = text.find(Char('R')); start != text.npos; start = text.find(Char('R'), start + 1)) {
        std::size_t position = start + 1;
        unsigned long run = 0;
        unsigned long sender = 0;
        unsigned long seq = 0;
        if (ReadNumber(text, position, run) && ReadLiteral(text, position, " S") &&
            ReadNumber(text, position, sender) && ReadLiteral(text, position, " #") &&
            (SkipBlank(text, position), ReadNumber(text, position, seq)))
            return TEntryTag{static_cast<unsigned>(run), static_cast<unsigned>(sender), seq};
    }
    return std::nullopt;
}

LARGE_INTEGER Frequency() noexcept
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency;
}

} // namespace

const wchar_t* RouteName(TRoute route) noexcept
{
    switch (route) {
    case TRoute::Lines:
        return L"lines";
    case TRoute::CApi:
        return L"capi";
    case TRoute::Naive:
        return L"naive";
    case TRoute::DebugOutput:
        return L"ods";
    case TRoute::Exchange:
        break;
    }
    return L"shm";
}

bool UsesSenderLibrary(TRoute route) noexcept
{
    return route == TRoute::Exchange || route == TRoute::Lines || route == TRoute::CApi;
}

std::string MakeEntryText(const TEntryTag& tag, std::size_t size)
{
    char number[16];
    std::snprintf(number, sizeof number, "%07lu ", tag.Seq);
    std::string text = WideToAnsi(TagHead(tag.Run, tag.Sender)) + number;
    for (std::size_t i = 0; text.size() < size; ++i)
        text.push_back(Filler[(tag.Seq + i) % (sizeof Filler - 1)]);
    return text;
}

std::wstring TagHead(unsigned run, unsigned sender)
{
    return L"R" + std::to_wstring(run) + L" S" + std::to_wstring(sender) + L" #";
}

std::optional<TEntryTag> FindEntryTag(std::string_view text) { return FindTag(text); }
std::optional<TEntryTag> FindEntryTag(std::wstring_view text) { return FindTag(text); }

std::int64_t NowTicks() noexcept
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double TicksToSeconds(std::int64_t ticks) noexcept
{
    static const LARGE_INTEGER frequency = Frequency();
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

TStatsView::TStatsView(TMode mode)
{
    constexpr DWORD size = sizeof(TBenchStats);
    if (mode == TMode::Create)
        FMapping.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, StatsName));
    else
        FMapping.Reset(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, StatsName));
    if (!FMapping)
        throw Exception(L"The benchmark's statistics area could not be opened");
    FView.Reset(MapViewOfFile(FMapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
    if (!FView)
        throw Exception(L"The benchmark's statistics area could not be mapped");
    FStats = static_cast<TBenchStats*>(FView.Get());
}

TExchange::TExchange() : FShared(nullptr)
{
    FShared.SetSectionName(Shm::SectionName);
    FShared.SetDataSize(Shm::AreaSize);
    FShared.Open();
    FArea = static_cast<TShmArea*>(FShared.Data());
    FMutex.Reset(CreateMutexW(nullptr, FALSE, Shm::MutexName));
    if (!FMutex)
        throw Exception(L"The exchange mutex could not be opened");
}

void CountDelivered(TConsumerReport& report, const std::optional<TEntryTag>& tag) noexcept
{
    report.LastTicks = NowTicks();
    if (!tag || tag->Run != static_cast<unsigned>(report.Run) || tag->Sender == 0 || tag->Sender > MaxSenders) {
        report.Foreign = report.Foreign + 1;
        return;
    }
    const auto seq = static_cast<std::int64_t>(tag->Seq);
    const std::int64_t last = report.LastSeq[tag->Sender];
    if (seq <= last) {
        report.Duplicates = report.Duplicates + 1;
    } else {
        report.Gaps = report.Gaps + (seq - last - 1);
        report.LastSeq[tag->Sender] = seq;
    }
    report.Received = report.Received + 1;
}

TArguments::TArguments(int argc, wchar_t** argv, std::initializer_list<std::wstring_view> known)
{
    for (int i = 1; i < argc; i += 2) {
        const std::wstring name = argv[i];
        bool isKnown = false;
        for (const std::wstring_view option : known)
            isKnown = isKnown || name == L"--" + std::wstring(option);
        if (!isKnown || i + 1 >= argc)
            throw Exception(L"Unknown option or missing value: \"" + name + L"\"");
        FPairs.emplace_back(name.substr(2), argv[i + 1]);
    }
}

unsigned long TArguments::Number(std::wstring_view name, unsigned long fallback) const
{
    for (const auto& [key, value] : FPairs) {
        if (key != name)
            continue;
        wchar_t* end = nullptr;
        const unsigned long number = std::wcstoul(value.c_str(), &end, 0);
        if (value.empty() || end == nullptr || *end != L'\0')
            throw Exception(L"--" + key + L" needs a number, got \"" + value + L"\"");
        return number;
    }
    return fallback;
}

std::wstring TArguments::Text(std::wstring_view name, std::wstring_view fallback) const
{
    for (const auto& [key, value] : FPairs)
        if (key == name)
            return value;
    return std::wstring(fallback);
}

} // namespace Bench
