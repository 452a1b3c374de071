#include "AdministratorRights.h"

#include <windows.h>

#include <utility>

namespace {

std::function<bool()>& RightsCheck()
{
    static std::function<bool()> check;
    return check;
}

} // namespace

bool SystemAdministratorRights()
{
    // A user's token without elevation carries Administrators for denying only: not counted.
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
           CheckTokenMembership(nullptr, sid, &member) && member;
}

void SetAdministratorRightsCheck(std::function<bool()> check) { RightsCheck() = std::move(check); }

bool HasAdministratorRights()
{
    const std::function<bool()>& check = RightsCheck();
    return check ? check() : SystemAdministratorRights();
}
