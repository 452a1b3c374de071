// Whether this process has administrator rights: what reading the debug output of services
// needs (objects in the global namespace). Behind a seam, because under Wine every process
// has them.
#pragma once

#include <functional>

// True for an elevated administrator (a member of Administrators whose token counts it).
bool SystemAdministratorRights();

// Replaces the system's answer for HasAdministratorRights; an empty check restores it.
void SetAdministratorRightsCheck(std::function<bool()> check);
bool HasAdministratorRights();
