#include "ProcessNames.h"

#include <utility>
#include <vector>

#include "TextCodec.h"

namespace {

// QueryFullProcessImageNameW takes long paths too.
constexpr DWORD LongestPath = 32768;

} // namespace

std::optional<TNamedProcess> TSystemProcessLookup::Open(std::uint32_t processId)
{
    // Exit codes need no more access than the name does.
    TUniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return std::nullopt;
    std::vector<wchar_t> path(LongestPath);
    DWORD length = LongestPath;
    if (!QueryFullProcessImageNameW(process.Get(), 0, path.data(), &length))
        return std::nullopt;
    return TNamedProcess{std::move(process), WideToAnsi(PathFileName(std::wstring(path.data(), length)))};
}

bool TSystemProcessLookup::Ended(const TNamedProcess& process)
{
    DWORD code = 0;
    // One that cannot be asked any more counts as ended. One that ended with the code that
    // means "still running" is kept while the capture runs: its name stays right all the same.
    return !GetExitCodeProcess(process.Handle.Get(), &code) || code != STILL_ACTIVE;
}

std::wstring PathFileName(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::string TProcessNames::Name(std::uint32_t processId)
{
    // A kept entry is asked nothing: its handle keeps the id from passing to another process.
    if (const auto known = FKnown.find(processId); known != FKnown.end())
        return known->second.Name;
    DropEnded();
    std::optional<TNamedProcess> process = FLookup->Open(processId);
    if (!process)
        return {};
    std::string name = process->Name;
    FKnown.emplace(processId, std::move(*process));
    return name;
}

void TProcessNames::DropEnded()
{
    for (auto entry = FKnown.begin(); entry != FKnown.end();)
        entry = FLookup->Ended(entry->second) ? FKnown.erase(entry) : std::next(entry);
}
