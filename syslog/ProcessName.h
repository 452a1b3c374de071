// The name a captured line's process is forwarded under.
#pragma once

#include <cstdint>
#include <string>

// The file name of a running process's program ("tool.exe"), in UTF-8; empty when the process
// has gone or cannot be looked at.
std::string ProcessFileName(std::uint32_t processId);
