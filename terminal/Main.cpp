// Program entry: creates the main window, publishes it to the senders, runs the message loop.
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "Application.h"
#include "DebugMain.h"
#include "ErrorBox.h"

namespace {

// The main window itself could not be created.
constexpr int ExitNoWindow = 2;

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);

    std::unique_ptr<TMainFrame> frame;
    try {
        frame = std::make_unique<TMainFrame>();
    } catch (const Exception& failure) {
        ShowErrorBox(nullptr, failure.Message());
        return ExitNoWindow;
    }
    // Without its area the terminal can neither be found nor take entries: it ends after
    // the error box that FormCreate showed.
    if (!PublishMainFrame(*frame))
        return ExitAreaUnavailable;

    const int status = RunMessageLoop(*frame);
    frame.reset(); // FormDestroy runs here
    ShmArea = nullptr;
    return status;
}
