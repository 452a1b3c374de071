#include "DebugOutputBuffer.h"

#include <algorithm>
#include <cstring>

TDebugOutputMessage ReadDebugOutputBuffer(const void* buffer, std::size_t size)
{
    TDebugOutputMessage message;
    if (size < DebugOutput::ProcessIdSize)
        return message;
    const auto* bytes = static_cast<const char*>(buffer);
    std::memcpy(&message.ProcessId, bytes, DebugOutput::ProcessIdSize);
    const char* text = bytes + DebugOutput::ProcessIdSize;
    const char* end = text + std::min(size - DebugOutput::ProcessIdSize, DebugOutput::MaxTextSize);
    message.Text.assign(text, std::find(text, end, '\0'));
    return message;
}
