// How a captured OutputDebugString message becomes display lines: plain functions that need
// no window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "DebugOutputBuffer.h"
#include "LineFormat.h"

// The parts of a message that become lines: one trailing line break (CR LF, LF or CR) is
// dropped, every other one starts a new line. An empty text is one empty part.
std::vector<std::string_view> MessageLines(std::string_view text);

// "[pid name.exe] part" for every part ("[pid] part" when the process's name is unknown), with the prefixes the options ask for: the given channel and
// the moment the message was taken. Nothing is cut.
std::vector<std::string> CapturedLines(const TDebugOutputMessage& message, std::uint8_t channel, TLineOptions options);
