#include "ObjectSecurity.h"

#include <sddl.h>

#include <cwchar>
#include <span>

#include "SystemError.h"

namespace {

constexpr wchar_t FullControl[] = L"GA";
constexpr wchar_t LocalSystem[] = L"SY";
constexpr wchar_t Administrators[] = L"BA";
constexpr wchar_t InteractiveUsers[] = L"IU";
constexpr wchar_t Everyone[] = L"WD";
constexpr wchar_t RestrictedTokens[] = L"RC";
// Processes at Low integrity and above may write; only those below Low (Untrusted) may not.
constexpr wchar_t LowLabelNoWriteUp[] = L"S:(ML;;NW;;;LW)";

std::wstring Allow(const std::wstring& rights, const wchar_t* trustee)
{
    return L"(A;;" + rights + L";;;" + trustee + L")";
}

std::wstring HexRights(DWORD rights)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(rights));
    return text;
}

// Who gets the use rights besides app packages.
std::span<const wchar_t* const> UsersOf(TObjectSecurityKind kind)
{
    static constexpr const wchar_t* exchangeUsers[] = {InteractiveUsers};
    static constexpr const wchar_t* sessionProcesses[] = {Everyone, RestrictedTokens};
    if (kind == TObjectSecurityKind::Exchange)
        return exchangeUsers;
    return sessionProcesses;
}

} // namespace

std::wstring ObjectSecurity::Sddl(TObjectSecurityKind kind)
{
    const std::wstring use = HexRights(UseRights);
    std::wstring text = L"D:" + Allow(FullControl, LocalSystem) + Allow(FullControl, Administrators);
    for (const wchar_t* users : UsersOf(kind))
        text += Allow(use, users);
    return text + Allow(use, AllAppPackagesSid) + LowLabelNoWriteUp;
}

TObjectSecurity::TObjectSecurity(TObjectSecurityKind kind)
{
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(ObjectSecurity::Sddl(kind).c_str(), SDDL_REVISION_1,
                                                              &FDescriptor, nullptr))
        throw EObjectSecurityError(L"The security for the shared objects could not be built: " +
                                   SystemErrorText(GetLastError()));
    FAttributes.nLength = sizeof FAttributes;
    FAttributes.lpSecurityDescriptor = FDescriptor;
    FAttributes.bInheritHandle = FALSE;
}

TObjectSecurity::~TObjectSecurity() { LocalFree(FDescriptor); }
