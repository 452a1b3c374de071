#include "LineFormat.h"
