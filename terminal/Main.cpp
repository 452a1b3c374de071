// Placeholder entry until the main window exists: maps the area and runs a message loop.
#include <windows.h>

#include "ShDat.h"
#include "ShmDefs.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    TSharedData area(nullptr);
    area.SetSectionName(Shm::SectionName);
    area.SetDataSize(Shm::AreaSize);
    area.Open();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
