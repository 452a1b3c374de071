// Explicit security for the named objects that processes of other users, integrity levels
// and sandboxes must reach. Without it an object gets its creator's default DACL (an
// elevated creator's shuts normal processes out) and no label (Low writers are refused).
#pragma once

#include <windows.h>

#include <string>

#include "Exception.h"

// Which processes may use the objects made with a descriptor.
enum class TObjectSecurityKind {
    // The exchange area and its mutex: full control for SYSTEM and Administrators; read, write
    // and synchronize, but not changing permissions or owner, for interactive users (elevated
    // or not) and app packages; a Low mandatory label with no-write-up.
    Exchange,
    // The debug-output buffer and its events: the same, with the use rights for every process
    // of the session (Everyone, restricted tokens, app packages) instead of interactive users.
    DebugOutput,
};

namespace ObjectSecurity {

// Read, write and synchronize on sections, mutexes and events alike: SYNCHRONIZE, READ_CONTROL
// and the three lowest specific rights (SECTION_QUERY, SECTION_MAP_WRITE, SECTION_MAP_READ;
// MUTANT_QUERY_STATE; EVENT_QUERY_STATE, EVENT_MODIFY_STATE).
inline constexpr DWORD UseRights = SYNCHRONIZE | READ_CONTROL | 0x7;
static_assert(UseRights == 0x00120007);

// ALL APPLICATION PACKAGES, given as a SID string: older SDDL parsers lack its alias "AC".
inline constexpr wchar_t AllAppPackagesSid[] = L"S-1-15-2-1";

// The descriptor of a kind in SDDL, as third-party programs can pass it to
// ConvertStringSecurityDescriptorToSecurityDescriptorW.
std::wstring Sddl(TObjectSecurityKind kind);

} // namespace ObjectSecurity

class EObjectSecurityError : public Exception {
public:
    using Exception::Exception;
};

// Owns one security descriptor of a kind and the SECURITY_ATTRIBUTES (handles not inherited)
// that point at it, for the Create* calls. Throws EObjectSecurityError when the system
// cannot build it.
class TObjectSecurity {
public:
    explicit TObjectSecurity(TObjectSecurityKind kind);
    ~TObjectSecurity();

    TObjectSecurity(const TObjectSecurity&) = delete;
    TObjectSecurity& operator=(const TObjectSecurity&) = delete;

    SECURITY_ATTRIBUTES* Attributes() noexcept { return &FAttributes; }
    PSECURITY_DESCRIPTOR Descriptor() const noexcept { return FDescriptor; }

private:
    PSECURITY_DESCRIPTOR FDescriptor = nullptr; // LocalAlloc'ed by the SDDL conversion
    SECURITY_ATTRIBUTES FAttributes{};
};
