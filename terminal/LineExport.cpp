#include "LineExport.h"

#include <cstring>
#include <string_view>

#include "ClipboardGuards.h"
#include "Exception.h"
#include "LongPath.h"
#include "SystemError.h"
#include "TextCodec.h"
#include "WinHandles.h"

namespace {

constexpr std::string_view LineEnd = "\r\n";
constexpr UINT ClipboardBlockFlags = GMEM_MOVEABLE | GMEM_DDESHARE;
// How long a clipboard that another program holds is tried again.
constexpr DWORD ClipboardRetryMs = 500;
constexpr std::size_t WriteChunkBytes = 64 * 1024;
constexpr std::int64_t PointsPerInch = 72;

[[noreturn]] void ThrowSaveError(const std::wstring& path, DWORD code)
{
    std::wstring reason = SystemErrorText(code);
    if (reason.empty())
        reason = L"I/O error";
    throw Exception(L"\"" + path + L"\": " + reason + L" (error " + std::to_wstring(code) + L")");
}

void WriteAll(HANDLE file, std::string_view bytes, const std::wstring& path)
{
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            ThrowSaveError(path, GetLastError());
        // A write that succeeds without taking anything would loop for ever.
        if (written == 0)
            ThrowSaveError(path, ERROR_WRITE_FAULT);
        bytes.remove_prefix(written);
    }
}

} // namespace

std::string ClipboardText(const std::vector<std::wstring>& selectedLinesInOrder)
{
    std::string text;
    for (const std::wstring& line : selectedLinesInOrder) {
        text += WideToAnsi(line);
        text += LineEnd;
    }
    return text;
}

void CopyTextToClipboard(HWND owner, const std::string& text)
{
    const TClipboardSession clipboard(owner, ClipboardRetryMs);
    if (!clipboard.IsOpen())
        throw Exception(L"The lines could not be copied: another program holds the clipboard. Try again.");
    EmptyClipboard();
    const SIZE_T size = text.size() + 1; // the text and its NUL
    TGlobalMemory block(GlobalAlloc(ClipboardBlockFlags, size));
    if (!block)
        return;
    bool taken = false;
    {
        const TGlobalLockGuard lock(block.Get());
        if (!lock.Data())
            return;
        std::memcpy(lock.Data(), text.c_str(), size);
        taken = SetClipboardData(CF_TEXT, block.Get()) != nullptr;
    } // unlocked after the hand-over and before the clipboard is closed
    if (taken)
        block.Release();
}

void SaveLines(const std::wstring& path, const TLineSource& lines, std::int32_t n)
{
    // CREATE_ALWAYS empties an existing file only when the creation succeeds.
    TUniqueFileHandle file(
        CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        ThrowSaveError(path, GetLastError());

    std::string chunk;
    // Lines deleted or trimmed since n was taken are gone: the walk ends at the list's
    // current end, so the file then holds fewer than n lines.
    for (std::int32_t i = 0; i < n && i < lines.Count(); ++i) {
        chunk += WideToAnsi(lines.Line(i));
        chunk += LineEnd;
        if (chunk.size() >= WriteChunkBytes) {
            WriteAll(file.Get(), chunk, path);
            chunk.clear();
        }
    }
    WriteAll(file.Get(), chunk, path);

    // Closed here rather than by the owner, because closing can still report a failure.
    if (!CloseHandle(file.Release()))
        ThrowSaveError(path, GetLastError());
}

std::int32_t PrinterFontHeight(int points, int dpiY) noexcept
{
    return static_cast<std::int32_t>(-std::int64_t{points} * dpiY / PointsPerInch);
}
