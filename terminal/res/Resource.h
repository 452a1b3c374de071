// Ids of the terminal's resources, shared by Vellumtrace64.rc and the code.
#pragma once

#define IDI_VELLUMTRACE64 1
