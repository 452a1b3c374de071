#include "DisplayList.h"
