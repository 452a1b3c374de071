// Renaming the log's files away at its size limit: name.log becomes name.1.log, name.1.log
// becomes name.2.log, and so on. Other programs (scanners, indexers, viewers) may hold a file
// open for a moment; a rename they refuse is tried again.
#pragma once

#include <windows.h>

#include <string>

// The name of the old file `number` (from 1): the number before the file name's extension
// ("trace.log" gives "trace.1.log", "trace" gives "trace.1").
std::wstring RotatedName(const std::wstring& path, int number);

// How many old files stand from name.1 on without a gap, at most `keep`: the rotation's work
// is bounded by the files there are, not by the number the settings allow.
int CountOldFiles(const std::wstring& path, int keep);

// Whether an error means that another program holds the file for now.
bool RefusedForNow(DWORD error) noexcept;

// How long a refused rename or delete is tried again, with back-off, before it is given up.
inline constexpr DWORD RetryForMs = 1000;

// Moves `from` to `to` (replacing it), or deletes `from` when `to` is empty, trying again while
// RefusedForNow says so, for about RetryForMs. ERROR_SUCCESS, else the last error.
DWORD MoveOrDeleteWithRetry(const std::wstring& from, const std::wstring& to);
