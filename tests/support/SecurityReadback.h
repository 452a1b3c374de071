// The security of a descriptor or of a real object, read back as a test compares it: the
// DACL's allow entries and the mandatory label, each as SID text and mask. The label is
// read in a call of its own and its ACEs walked here: Wine's SDDL writer leaves labels out.
#pragma once

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace SecurityReadback {

struct TAce {
    std::wstring Sid;
    DWORD Mask = 0;
    bool operator==(const TAce&) const = default;
};

// For test failures: "S-1-5-4:0x00120007".
inline void PrintTo(const TAce& ace, std::ostream* out)
{
    char mask[16];
    std::snprintf(mask, sizeof mask, "0x%08lX", static_cast<unsigned long>(ace.Mask));
    *out << std::string(ace.Sid.begin(), ace.Sid.end()) << ':' << mask;
}

inline std::wstring SidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return L"(bad SID)";
    std::wstring result(text);
    LocalFree(text);
    return result;
}

// The entries of `acl` of the given ACE type (allow or mandatory label), in order; an entry of
// another type shows as its type number, so that a test sees it.
inline std::vector<TAce> AcesOfType(const ACL* acl, BYTE type)
{
    std::vector<TAce> aces;
    if (acl == nullptr)
        return aces;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), i, &entry))
            break;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != type) {
            aces.push_back({L"(ACE type " + std::to_wstring(header->AceType) + L")", 0});
            continue;
        }
        // Allow and label entries share one layout: header, mask, SID.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        aces.push_back({SidText(&allowed->SidStart), allowed->Mask});
    }
    return aces;
}

inline std::vector<TAce> DaclOf(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    return AcesOfType(present ? dacl : nullptr, ACCESS_ALLOWED_ACE_TYPE);
}

inline std::vector<TAce> LabelOf(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL sacl = nullptr;
    GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted);
    return AcesOfType(present ? sacl : nullptr, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
}

// One GetSecurityInfo call for the object's DACL.
inline std::vector<TAce> ObjectDacl(HANDLE object)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return {{L"(GetSecurityInfo failed)", 0}};
    std::vector<TAce> aces = AcesOfType(dacl, ACCESS_ALLOWED_ACE_TYPE);
    LocalFree(descriptor);
    return aces;
}

// Another call for its label.
inline std::vector<TAce> ObjectLabel(HANDLE object)
{
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, &sacl,
                        &descriptor) != ERROR_SUCCESS)
        return {{L"(GetSecurityInfo failed)", 0}};
    std::vector<TAce> aces = AcesOfType(sacl, SYSTEM_MANDATORY_LABEL_ACE_TYPE);
    LocalFree(descriptor);
    return aces;
}

} // namespace SecurityReadback
