// Keeps one Wine GUI process alive while the suite runs: later Wine processes start faster
// and clipboard contents outlive the process that set them. Ended by `wineserver -k`.
// `vt_winekeeper.exe --wait` returns once the keeper's window exists, so that Wine's desktop
// process is started before any caller (such as ctest) whose pipes it would inherit.
#include <windows.h>

#include <cwchar>

namespace {

constexpr wchar_t ReadyEventName[] = L"VellumtraceWineKeeperReady";
constexpr DWORD WaitReadyMs = 30000;
constexpr DWORD PollMs = 50;

int WaitUntilReady()
{
    for (DWORD waited = 0; waited < WaitReadyMs; waited += PollMs) {
        const HANDLE ready = OpenEventW(SYNCHRONIZE, FALSE, ReadyEventName);
        if (ready) {
            const DWORD result = WaitForSingleObject(ready, WaitReadyMs);
            CloseHandle(ready);
            return result == WAIT_OBJECT_0 ? 0 : 1;
        }
        Sleep(PollMs);
    }
    return 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    if (std::wcsstr(commandLine, L"--wait"))
        return WaitUntilReady();

    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, ReadyEventName);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"VellumtraceWineKeeper";
    RegisterClassW(&windowClass);
    CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    SetEvent(ready);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
