// TSharedData: opens a named shared-memory section, or creates it, and maps a view of it.
// It knows nothing of what the section holds. Every failure raises ESharedDataError.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "Component.h"
#include "Exception.h"

enum TSharedDataProtection : std::uint8_t { sdReadOnly, sdReadWrite, sdWriteCopy };
enum TSharedDataAccess : std::uint8_t { acc_Read, acc_Write, acc_Copy, acc_AllAccess };
enum TSharedDataOption : std::uint8_t { sdImage, sdNoCache };

// A set of TSharedDataOption: bit n holds the option with ordinal n.
class TSharedDataOptions {
public:
    constexpr TSharedDataOptions() noexcept = default;
    constexpr TSharedDataOptions(TSharedDataOption option) noexcept : FBits(Bit(option)) {}

    constexpr bool Contains(TSharedDataOption option) const noexcept { return (FBits & Bit(option)) != 0; }
    constexpr TSharedDataOptions operator|(TSharedDataOptions other) const noexcept
    {
        return FromBits(static_cast<std::uint8_t>(FBits | other.FBits));
    }
    constexpr bool operator==(const TSharedDataOptions&) const noexcept = default;
    constexpr std::uint8_t Bits() const noexcept { return FBits; }
    static constexpr TSharedDataOptions FromBits(std::uint8_t bits) noexcept
    {
        TSharedDataOptions options;
        options.FBits = bits;
        return options;
    }

private:
    static constexpr std::uint8_t Bit(TSharedDataOption option) noexcept
    {
        return static_cast<std::uint8_t>(1u << option);
    }
    std::uint8_t FBits = 0;
};
static_assert(sizeof(TSharedDataOptions) == 1);

class TSharedData;
// Fired after a newly created section was zero-filled: (Sender, pData).
using TSharedDataEvent = std::function<void(TSharedData* Sender, void* pData)>;

class ESharedDataError : public Exception {
public:
    explicit ESharedDataError(std::wstring message);
    // The system's text for an OS error code, or "API Error: 0x0000ABCD" when it has none.
    static ESharedDataError CreateFromApiError(std::int32_t aErrorCode);
};

class TSharedData : public TComponent {
public:
    explicit TSharedData(TComponent* aOwner);
    // Closes the section when open. A failure to unmap cannot leave a destructor; Destroy()
    // is the way to free the object and still see that failure.
    ~TSharedData() override;

    // Closes the section when open (a failure propagates and the object stays alive),
    // then frees the object.
    void Destroy();

    void Open();
    void Close();

    std::uint32_t DataSize() const noexcept { return FDataSize; }
    void SetDataSize(std::uint32_t Value);
    const std::string& SectionName() const noexcept { return FSectionName; }
    void SetSectionName(const std::string& Value);
    TSharedDataAccess DesiredAccess() const noexcept { return FDesiredAccess; }
    void SetDesiredAccess(TSharedDataAccess Value) noexcept { FDesiredAccess = Value; }
    TSharedDataProtection Protection() const noexcept { return FProtection; }
    void SetProtection(TSharedDataProtection Value) noexcept { FProtection = Value; }
    TSharedDataOptions Options() const noexcept { return FOptions; }
    void SetOptions(TSharedDataOptions Value) noexcept { FOptions = Value; }

    HANDLE Handle() const noexcept { return FHandle; }
    void* Data() const noexcept { return FData; }

protected:
    // Called by Open only, always virtually, so a descendant's override takes effect there.
    virtual DWORD GetMappingProtection();
    // The rights the section is opened with when it exists; FILE_MAP_ALL_ACCESS here.
    virtual DWORD GetOpenAccess();
    virtual DWORD GetViewAccess();
    virtual LPSECURITY_ATTRIBUTES GetSecurityAttributes();
    virtual void InitializeData();
    // The section could neither be opened nor made: raises ESharedDataError for the code.
    [[noreturn]] virtual void RaiseOpenError(DWORD errorCode);

    // Not a property: nothing in the terminal assigns it; descendants may.
    void SetOnInitialize(TSharedDataEvent handler) { FOnInitialize = std::move(handler); }

private:
    bool IsOpen() const noexcept { return FData != nullptr; }
    // Sets FHandle; true when this call made the section.
    bool OpenOrCreateSection(const std::wstring& name);

    std::string FSectionName;
    TSharedDataProtection FProtection;
    TSharedDataOptions FOptions;
    TSharedDataAccess FDesiredAccess;
    void* FData;
    std::uint32_t FDataSize;
    HANDLE FHandle;
    TSharedDataEvent FOnInitialize;
};
