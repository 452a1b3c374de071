// A section named like the exchange area but smaller than it, filled with a pattern, as a
// broken sender could leave it: the terminal must fail to open it and never touch it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ShDat.h"
#include "ShmDefs.h"
#include "WinHandles.h"

class TSmallSection {
public:
    explicit TSmallSection(DWORD size)
        : FSize(size),
          FSection(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, Shm::SectionNameW)),
          FView(FSection ? MapViewOfFile(FSection.Get(), FILE_MAP_ALL_ACCESS, 0, 0, size) : nullptr)
    {
        if (!FView)
            return;
        auto* bytes = Bytes();
        for (DWORD i = 0; i < FSize; ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
        FBefore.assign(bytes, bytes + FSize);
    }

    bool Made() const { return static_cast<bool>(FView); }
    bool Untouched() const { return std::vector<std::uint8_t>(Bytes(), Bytes() + FSize) == FBefore; }

    // The system's message for opening it as the area, as the section object reports it;
    // empty when it could be opened after all.
    static std::wstring OpenFailureMessage()
    {
        try {
            TSharedData attempt(nullptr);
            attempt.SetSectionName(Shm::SectionName);
            attempt.SetDataSize(Shm::AreaSize);
            attempt.Open();
        } catch (const ESharedDataError& failure) {
            return failure.Message();
        }
        return {};
    }

private:
    std::uint8_t* Bytes() const { return static_cast<std::uint8_t*>(FView.Get()); }

    DWORD FSize;
    TUniqueHandle FSection;
    TMappedView FView;
    std::vector<std::uint8_t> FBefore;
};
