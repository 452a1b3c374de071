// The security descriptors of the shared objects: as built, and on real objects read back.
#include <windows.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ObjectSecurity.h"
#include "WinHandles.h"
#include "support/SecurityReadback.h"

using SecurityReadback::TAce;

namespace {

constexpr wchar_t LocalSystem[] = L"S-1-5-18";
constexpr wchar_t Administrators[] = L"S-1-5-32-544";
constexpr wchar_t Interactive[] = L"S-1-5-4";
constexpr wchar_t Everyone[] = L"S-1-1-0";
constexpr wchar_t Restricted[] = L"S-1-5-12";
constexpr wchar_t AppPackages[] = L"S-1-15-2-1";
constexpr wchar_t LowIntegrity[] = L"S-1-16-4096";
constexpr DWORD Use = SYNCHRONIZE | READ_CONTROL | FILE_MAP_READ | FILE_MAP_WRITE | SECTION_QUERY;
constexpr DWORD ForbiddenToUsers = WRITE_DAC | WRITE_OWNER | DELETE | GENERIC_ALL;

struct TKindCase {
    const char* Name;
    TObjectSecurityKind Kind;
    std::vector<TAce> Dacl;
};

const TKindCase KindCases[] = {
    {"Exchange", TObjectSecurityKind::Exchange,
     {{LocalSystem, GENERIC_ALL}, {Administrators, GENERIC_ALL}, {Interactive, Use}, {AppPackages, Use}}},
    {"DebugOutput", TObjectSecurityKind::DebugOutput,
     {{LocalSystem, GENERIC_ALL}, {Administrators, GENERIC_ALL}, {Everyone, Use}, {Restricted, Use}, {AppPackages, Use}}},
};

const std::vector<TAce> LowNoWriteUp = {{LowIntegrity, SYSTEM_MANDATORY_LABEL_NO_WRITE_UP}};

void PrintTo(const TKindCase& kindCase, std::ostream* out) { *out << kindCase.Name; }

std::string CaseName(const testing::TestParamInfo<TKindCase>& info) { return info.param.Name; }

std::wstring UniqueName(const char* tag)
{
    return L"vt_security_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::wstring(tag, tag + std::strlen(tag));
}

class ObjectSecurityKinds : public testing::TestWithParam<TKindCase> {};

} // namespace

TEST(ObjectSecurity, UseRightsAreReadWriteAndSynchronizeOnSectionsMutexesAndEvents)
{
    EXPECT_EQ(ObjectSecurity::UseRights, Use);
    EXPECT_EQ(ObjectSecurity::UseRights & (SYNCHRONIZE | MUTEX_MODIFY_STATE), SYNCHRONIZE | MUTEX_MODIFY_STATE);
    EXPECT_EQ(ObjectSecurity::UseRights & (SYNCHRONIZE | EVENT_MODIFY_STATE), SYNCHRONIZE | EVENT_MODIFY_STATE);
    EXPECT_EQ(ObjectSecurity::UseRights & ForbiddenToUsers, 0u);
}

TEST_P(ObjectSecurityKinds, DescriptorGrantsFullControlToSystemAndAdministratorsAndUseToTheOthers)
{
    const TObjectSecurity security(GetParam().Kind);
    EXPECT_EQ(SecurityReadback::DaclOf(security.Descriptor()), GetParam().Dacl);
    EXPECT_EQ(SecurityReadback::LabelOf(security.Descriptor()), LowNoWriteUp);
}

TEST_P(ObjectSecurityKinds, AttributesPointAtTheDescriptorAndAreNotInherited)
{
    TObjectSecurity security(GetParam().Kind);
    const SECURITY_ATTRIBUTES* attributes = security.Attributes();
    EXPECT_EQ(attributes->nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_EQ(attributes->lpSecurityDescriptor, security.Descriptor());
    EXPECT_FALSE(attributes->bInheritHandle);
    EXPECT_TRUE(IsValidSecurityDescriptor(security.Descriptor()));
}

TEST_P(ObjectSecurityKinds, SddlTextMakesTheSameDescriptor)
{
    PSECURITY_DESCRIPTOR converted = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(ObjectSecurity::Sddl(GetParam().Kind).c_str(),
                                                                     SDDL_REVISION_1, &converted, nullptr));
    EXPECT_EQ(SecurityReadback::DaclOf(converted), GetParam().Dacl);
    EXPECT_EQ(SecurityReadback::LabelOf(converted), LowNoWriteUp);
    LocalFree(converted);
}

TEST_P(ObjectSecurityKinds, RealObjectsReadBackTheDaclAndTheLabel)
{
    TObjectSecurity security(GetParam().Kind);
    const std::wstring name = UniqueName(GetParam().Name);
    struct TObject {
        const char* Type;
        TUniqueHandle Handle;
        DWORD AllAccess;
    };
    TObject objects[] = {
        {"section", TUniqueHandle(CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE, 0,
                                                     4096, (name + L"_section").c_str())),
         SECTION_ALL_ACCESS},
        {"mutex", TUniqueHandle(CreateMutexW(security.Attributes(), FALSE, (name + L"_mutex").c_str())), MUTEX_ALL_ACCESS},
        {"event", TUniqueHandle(CreateEventW(security.Attributes(), FALSE, FALSE, (name + L"_event").c_str())),
         EVENT_ALL_ACCESS},
    };
    for (const TObject& object : objects) {
        SCOPED_TRACE(object.Type);
        ASSERT_TRUE(object.Handle);
        EXPECT_EQ(SecurityReadback::WithFullRightsAsGeneric(SecurityReadback::ObjectDacl(object.Handle.Get()), object.AllAccess),
                  GetParam().Dacl);
        EXPECT_EQ(SecurityReadback::ObjectLabel(object.Handle.Get()), LowNoWriteUp);
    }
}

INSTANTIATE_TEST_SUITE_P(ObjectSecurity, ObjectSecurityKinds, testing::ValuesIn(KindCases), CaseName);
