#include "ShDat.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "ModulePath.h"
#include "TextCodec.h"

namespace {

// Page protections (indexed by TSharedDataProtection), then view accesses (3 + TSharedDataAccess).
constexpr std::array<DWORD, 7> FlagTable = {
    PAGE_READONLY, PAGE_READWRITE, PAGE_WRITECOPY,
    FILE_MAP_READ, FILE_MAP_WRITE, FILE_MAP_COPY, FILE_MAP_ALL_ACCESS,
};
constexpr int ViewAccessBase = 3;
// The Windows values the section and its views are created with, whatever the SDK.
static_assert(FlagTable[0] == 2 && FlagTable[1] == 4 && FlagTable[2] == 8);
static_assert(FlagTable[3] == 4 && FlagTable[4] == 2 && FlagTable[5] == 1 && FlagTable[6] == 0xF001F);
static_assert(SEC_IMAGE == 0x1000000 && SEC_NOCACHE == 0x10000000);

constexpr std::uint32_t DefaultDataSize = 4096;
constexpr wchar_t SectionNameSuffix[] = L".data";

constexpr DWORD FormatFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;
static_assert(FormatFlags == 0x3000);
constexpr DWORD MessageBufferChars = 1024;
constexpr DWORD MessageCutAt = 1022;

std::string DefaultSectionName()
{
    std::wstring file = ExecutablePath();
    const auto slash = file.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        file.erase(0, slash + 1);
    return WideToAnsi(file + SectionNameSuffix);
}

[[noreturn]] void RaiseLastError()
{
    throw ESharedDataError::CreateFromApiError(static_cast<std::int32_t>(GetLastError()));
}

} // namespace

ESharedDataError::ESharedDataError(std::wstring message) : Exception(std::move(message)) {}

ESharedDataError ESharedDataError::CreateFromApiError(std::int32_t aErrorCode)
{
    wchar_t buffer[MessageBufferChars] = {};
    const DWORD length = FormatMessageW(FormatFlags, nullptr, static_cast<DWORD>(aErrorCode), 0, buffer,
                                        MessageBufferChars, nullptr);
    if (length != 0) {
        buffer[MessageCutAt] = L'\0';
        return ESharedDataError(buffer);
    }
    wchar_t text[32];
    std::swprintf(text, 32, L"API Error: 0x%08X", static_cast<unsigned>(aErrorCode));
    return ESharedDataError(text);
}

TSharedData::TSharedData(TComponent* aOwner)
    : TComponent(aOwner),
      FSectionName(DefaultSectionName()),
      FProtection(sdReadWrite),
      FOptions(),
      FDesiredAccess(acc_AllAccess),
      FData(nullptr),
      FDataSize(DefaultDataSize),
      FHandle(nullptr)
{
}

TSharedData::~TSharedData()
{
    if (!IsOpen())
        return;
    UnmapViewOfFile(FData);
    CloseHandle(FHandle);
}

void TSharedData::Destroy()
{
    if (IsOpen())
        Close();
    delete this;
}

void TSharedData::SetDataSize(std::uint32_t Value)
{
    if (Value == FDataSize)
        return;
    if (Value == 0)
        throw ESharedDataError(std::to_wstring(static_cast<std::int32_t>(Value)) + L" is not a valid size");
    if (IsOpen())
        throw ESharedDataError(L"The shared data section is currently opened and cannot be resized.");
    FDataSize = Value;
}

void TSharedData::SetSectionName(const std::string& Value)
{
    if (Value == FSectionName)
        return;
    if (Value.empty() || AnsiToWide(Value).find(L'\\') != std::wstring::npos)
        throw ESharedDataError(L"\"" + AnsiToWide(Value) + L"\" is not a valid memory object name");
    if (IsOpen())
        throw ESharedDataError(L"The shared data section is currently open and cannot be renamed.");
    FSectionName = Value;
}

DWORD TSharedData::GetMappingProtection()
{
    DWORD flags = FlagTable[FProtection];
    if (FOptions.Contains(sdImage))
        flags += SEC_IMAGE;
    if (FOptions.Contains(sdNoCache))
        flags += SEC_NOCACHE;
    return flags;
}

DWORD TSharedData::GetOpenAccess() { return FILE_MAP_ALL_ACCESS; }

DWORD TSharedData::GetViewAccess() { return FlagTable[ViewAccessBase + FDesiredAccess]; }

LPSECURITY_ATTRIBUTES TSharedData::GetSecurityAttributes() { return nullptr; }

void TSharedData::InitializeData()
{
    std::memset(FData, 0, FDataSize);
    if (FOnInitialize)
        FOnInitialize(this, FData);
}

void TSharedData::RaiseOpenError(DWORD errorCode)
{
    throw ESharedDataError::CreateFromApiError(static_cast<std::int32_t>(errorCode));
}

bool TSharedData::OpenOrCreateSection(const std::wstring& name)
{
    FHandle = OpenFileMappingW(GetOpenAccess(), FALSE, name.c_str());
    if (FHandle != nullptr)
        return false;
    // Made only where none exists: a section that this process may not open stays refused.
    if (GetLastError() != ERROR_FILE_NOT_FOUND)
        RaiseOpenError(GetLastError());
    FHandle = CreateFileMappingW(INVALID_HANDLE_VALUE, GetSecurityAttributes(), GetMappingProtection(), 0, FDataSize,
                                 name.c_str());
    if (FHandle != nullptr) // another process may have made it since: its contents stay
        return GetLastError() != ERROR_ALREADY_EXISTS;
    // Made since by another process with security that refuses the creator's full rights.
    if (GetLastError() != ERROR_ACCESS_DENIED)
        RaiseOpenError(GetLastError());
    FHandle = OpenFileMappingW(GetOpenAccess(), FALSE, name.c_str());
    if (FHandle == nullptr)
        RaiseOpenError(GetLastError());
    return false;
}

void TSharedData::Open()
{
    if (IsOpen())
        throw ESharedDataError(L"Shared data section is already open.");
    const bool created = OpenOrCreateSection(AnsiToWide(FSectionName));

    try {
        FData = MapViewOfFile(FHandle, GetViewAccess(), 0, 0, FDataSize);
        if (FData == nullptr)
            RaiseLastError();
        if (created)
            InitializeData();
    } catch (...) {
        CloseHandle(FHandle);
        FHandle = nullptr;
        throw;
    }
}

void TSharedData::Close()
{
    if (!IsOpen())
        throw ESharedDataError(L"Shared data section is already closed.");
    if (!UnmapViewOfFile(FData))
        RaiseLastError();
    FData = nullptr;
    CloseHandle(FHandle);
    FHandle = nullptr;
}
