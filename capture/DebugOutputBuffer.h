// The system's debug-output buffer, through which OutputDebugStringA/W hand their text to
// whichever program reads it: its object names, its layout and the reading of one message.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace DebugOutput {

// Objects of the user's session, named without a namespace prefix; services (session 0) write
// to those of the same names under GlobalPrefix.
inline constexpr wchar_t GlobalPrefix[] = L"Global\\";
inline constexpr wchar_t BufferName[] = L"DBWIN_BUFFER";
inline constexpr wchar_t BufferReadyName[] = L"DBWIN_BUFFER_READY"; // set by the reader: a writer may write
inline constexpr wchar_t DataReadyName[] = L"DBWIN_DATA_READY";     // set by the writer: a message waits
// The writer's process id as a 32-bit value, then the text, which ends at a NUL or at the
// end of the buffer.
inline constexpr std::size_t BufferSize = 4096;
inline constexpr std::size_t ProcessIdSize = sizeof(std::uint32_t);
inline constexpr std::size_t MaxTextSize = BufferSize - ProcessIdSize;

} // namespace DebugOutput

// Whose debug output is read: the user's session's, or the services' through the global names.
enum class TDebugOutputScope { Session, Global };

// One message as it was taken out of the buffer.
struct TDebugOutputMessage {
    std::uint32_t ProcessId = 0;
    std::string Text;   // 8-bit text in the ANSI code page, as the writer left it
    std::string ProcessName; // the writer's executable file name, ANSI; empty when unknown
    SYSTEMTIME Time{};  // local time when it was taken
};

// The message that `size` bytes of a buffer hold, whatever they are: the process id from the
// first four bytes (0 when there are fewer), the text up to the first NUL or the end. Never
// reads beyond `size`.
TDebugOutputMessage ReadDebugOutputBuffer(const void* buffer, std::size_t size);
