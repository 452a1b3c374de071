// The program's own icon, for the window class.
#pragma once

#include <windows.h>

// The icon of the running executable at the size of the given metric pair (SM_CXICON and
// SM_CYICON, or SM_CXSMICON and SM_CYSMICON); the system's application icon when the
// executable carries none. Shared: never destroyed.
HICON ProgramIcon(int widthMetric, int heightMetric);
