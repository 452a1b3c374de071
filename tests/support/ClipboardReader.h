// Reading the real clipboard's CF_TEXT block from a test, and putting a known text there first.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ClipboardGuards.h"

namespace ClipboardReader {

inline constexpr int OpenAttempts = 200;
inline constexpr DWORD RetryMs = 10;

struct TClipboardContent {
    bool Present = false;
    SIZE_T BlockSize = 0;
    std::string Bytes; // the whole block
};

// Opens the clipboard for reading; another process may hold it for a moment.
inline TClipboardContent ReadClipboardText()
{
    TClipboardContent content;
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        const TClipboardSession clipboard(nullptr);
        if (!clipboard.IsOpen()) {
            Sleep(RetryMs);
            continue;
        }
        const HANDLE data = GetClipboardData(CF_TEXT);
        if (!data)
            return content;
        content.Present = true;
        content.BlockSize = GlobalSize(data);
        const TGlobalLockGuard lock(data);
        if (lock.Data())
            content.Bytes.assign(static_cast<const char*>(lock.Data()), content.BlockSize);
        return content;
    }
    ADD_FAILURE() << "the clipboard could not be opened";
    return content;
}

// Replaces the clipboard's contents with text and its NUL, as CF_TEXT owned by no window.
inline bool PutClipboardText(const std::string& text)
{
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        const TClipboardSession clipboard(nullptr);
        if (!clipboard.IsOpen()) {
            Sleep(RetryMs);
            continue;
        }
        EmptyClipboard();
        TGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
        if (!block)
            return false;
        {
            const TGlobalLockGuard lock(block.Get());
            if (!lock.Data())
                return false;
            std::memcpy(lock.Data(), text.c_str(), text.size() + 1);
        }
        if (!SetClipboardData(CF_TEXT, block.Get()))
            return false;
        block.Release();
        return true;
    }
    return false;
}

} // namespace ClipboardReader
