// The names of the processes that write debug output: the executable's file name for a
// process id, kept while the process runs.
//
// Each kept name holds its process open. Windows gives an id to another process only once
// every handle to the old one is closed, so a kept name is never another process's, and a
// message of a known process costs no call into the system. The entries of processes that
// have ended are dropped whenever a process not seen before is asked, which frees their ids.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "WinHandles.h"

// A process held open, with its executable's file name in the ANSI code page.
struct TNamedProcess {
    TUniqueHandle Handle;
    std::string Name;
};

// How a process id is turned into a process and its name.
class TProcessLookup {
public:
    virtual ~TProcessLookup() = default;
    // The process with this id; nullopt when it is gone or may not be asked.
    virtual std::optional<TNamedProcess> Open(std::uint32_t processId) = 0;
    // True once the process has ended.
    virtual bool Ended(const TNamedProcess& process) = 0;
};

// The system's processes: QueryFullProcessImageNameW with PROCESS_QUERY_LIMITED_INFORMATION,
// the least access Windows grants for it, even for elevated processes.
class TSystemProcessLookup final : public TProcessLookup {
public:
    std::optional<TNamedProcess> Open(std::uint32_t processId) override;
    bool Ended(const TNamedProcess& process) override;
};

// The file name at the end of a path ("C:\dir\app.exe" gives "app.exe").
std::wstring PathFileName(const std::wstring& path);

class TProcessNames {
public:
    explicit TProcessNames(std::unique_ptr<TProcessLookup> lookup = std::make_unique<TSystemProcessLookup>())
        : FLookup(std::move(lookup))
    {
    }

    // The file name of the process with this id; empty when it cannot be asked.
    std::string Name(std::uint32_t processId);

private:
    void DropEnded();

    std::unique_ptr<TProcessLookup> FLookup;
    std::unordered_map<std::uint32_t, TNamedProcess> FKnown;
};
