// Keeps one Wine GUI process alive while the suite runs: later Wine processes start faster
// and clipboard contents outlive the process that set them. Ended by `wineserver -k`.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"VellumtraceWineKeeper";
    RegisterClassW(&windowClass);
    CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
