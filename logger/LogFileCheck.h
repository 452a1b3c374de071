// Which files the log must not write to: one whose name the settings file could not keep
// whole, and the files the terminal itself uses (its settings file, its program), which the
// log's lines would spoil.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Whether two names stand for one file: the same full path (letter case aside), or, where
// both exist, the same file on the same volume (short names, links).
bool SameFile(const std::wstring& first, const std::wstring& second);

// Why `logFile` cannot be the log's file, as a sentence for the error box; nothing when it can.
std::optional<std::wstring> LogFileRefusal(const std::wstring& logFile, std::size_t longestName,
                                           const std::vector<std::wstring>& ownFiles);
