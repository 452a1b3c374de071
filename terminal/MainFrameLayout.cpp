#include "DebugMain.h"
