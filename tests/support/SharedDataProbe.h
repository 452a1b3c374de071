// A TSharedData that opens its protected operations to tests and counts InitializeData calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ShDat.h"

class TSharedDataProbe : public TSharedData {
public:
    using TSharedData::TSharedData;
    using TSharedData::GetMappingProtection;
    using TSharedData::GetViewAccess;
    using TSharedData::SetOnInitialize;

    void InitializeData() override
    {
        ++InitializeCalls;
        TSharedData::InitializeData();
    }

    int InitializeCalls = 0;
};

// FNV-1a over a block: lets two processes compare section contents through one number.
inline std::uint32_t BlockHash(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 16777619u;
    }
    return hash;
}
