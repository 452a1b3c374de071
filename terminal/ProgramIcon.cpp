#include "ProgramIcon.h"

#include "res/Resource.h"

HICON ProgramIcon(int widthMetric, int heightMetric)
{
    if (const HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VELLUMTRACE64), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_SHARED))
        return static_cast<HICON>(icon);
    return LoadIconW(nullptr, IDI_APPLICATION);
}
