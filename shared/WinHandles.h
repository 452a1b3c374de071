// Move-only owners of Windows handles: each closes its handle exactly once.
#pragma once

#include <windows.h>

template <class Traits>
class TUniqueResource {
public:
    using Type = typename Traits::Type;

    TUniqueResource() noexcept = default;
    explicit TUniqueResource(Type value) noexcept : FValue(value) {}
    ~TUniqueResource() { Reset(); }

    TUniqueResource(const TUniqueResource&) = delete;
    TUniqueResource& operator=(const TUniqueResource&) = delete;
    TUniqueResource(TUniqueResource&& other) noexcept : FValue(other.Release()) {}
    TUniqueResource& operator=(TUniqueResource&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const noexcept { return FValue; }
    explicit operator bool() const noexcept { return FValue != Traits::Invalid(); }

    Type Release() noexcept
    {
        const Type value = FValue;
        FValue = Traits::Invalid();
        return value;
    }

    void Reset(Type value = Traits::Invalid()) noexcept
    {
        if (FValue != Traits::Invalid())
            Traits::Close(FValue);
        FValue = value;
    }

private:
    Type FValue = Traits::Invalid();
};

// Kernel objects whose "no handle" value is null (mutexes, events, mappings, processes).
struct THandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { CloseHandle(handle); }
};
using TUniqueHandle = TUniqueResource<THandleTraits>;

// Files, whose "no handle" value is INVALID_HANDLE_VALUE.
struct TFileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { CloseHandle(handle); }
};
using TUniqueFileHandle = TUniqueResource<TFileHandleTraits>;

// A mapped view of a file mapping.
struct TMappedViewTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type view) noexcept { UnmapViewOfFile(view); }
};
using TMappedView = TUniqueResource<TMappedViewTraits>;
