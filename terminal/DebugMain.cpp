#include "DebugMain.h"

#include <cstddef>
#include <utility>

#include "Application.h"
#include "DebugOutputCapture.h"
#include "SyslogForwarder.h"
#include "SyslogReceiver.h"
#include "ErrorBox.h"
#include "ExchangeObjects.h"
#include "LogWriter.h"
#include "MessageFilter.h"
#include "ModulePath.h"
#include "ProgramIcon.h"
#include "Settings.h"
#include "SettingsLocation.h"
#include "ShmIntake.h"
#include "WindowPost.h"

// Registered before the window exists, so that the id is known to the first message.
UINT DebugEntryMsg = RegisterWindowMessageW(Shm::DebugEntryMessageName);
std::int32_t DisplayLines = 0;
TShmArea* ShmArea = nullptr;
TMainFrame* MainFrame = nullptr;

namespace {

constexpr const wchar_t* MainFrameClassName = Shm::TerminalWindowClass;

void RegisterMainFrameClass(WNDPROC windowProc)
{
    static const bool registered = [windowProc] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hIcon = ProgramIcon(SM_CXICON, SM_CYICON);
        windowClass.hIconSm = ProgramIcon(SM_CXSMICON, SM_CYSMICON);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)); // the window's grey
        windowClass.lpszClassName = MainFrameClassName;
        if (RegisterClassExW(&windowClass) == 0)
            throw Exception(L"The main window class could not be registered");
        return true;
    }();
    (void)registered;
}

} // namespace

// ---- creation and destruction --------------------------------------------------------

TMainFrame::TMainFrame() : TComponent(nullptr)
{
    // The first window created becomes the application's main window.
    if (MainFrame == nullptr)
        MainFrame = this;
    try {
        RegisterMainFrameClass(&TMainFrame::WindowProc);
        // Where a missing settings file puts it; LoadSettings places it during the creation.
        const TSettings defaults = DefaultSettings();
        CreateWindowExW(0, MainFrameClassName, MainFrameCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, defaults.Left,
                        defaults.Top, defaults.Width, defaults.Height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
        if (FHandle == nullptr)
            throw Exception(L"The main window could not be created");
        // Before the window is published: an elevated terminal also hears normal senders.
        RunHandler(FHandle, [this] { AcceptFromLowerIntegrity(FHandle, DebugEntryMsg); });
    } catch (...) {
        if (MainFrame == this)
            MainFrame = nullptr;
        throw;
    }
}

TMainFrame::~TMainFrame()
{
    RunHandler(FHandle, [this] { FormDestroy(); });
    if (FHandle != nullptr)
        DestroyWindow(FHandle);
    if (MainFrame == this)
        MainFrame = nullptr;
}

void TMainFrame::FormCreate()
{
    SharedMem = new TExchangeSection(this);
    SharedMem->Open();
    HMutex = Exchange::OpenAreaMutex();
    RoomEvent = Exchange::OpenRoomEvent(true);
    Order = 0;
    LastPaint = GetTickCount64(); // the window is painted as it appears
    WinWidth = 0;
    IniFileName = SettingsFilePath(ExecutableDirectory(), LocalAppDataFolder(), IniFileTitle);
    EnableExtendedChannels();
    LoadSettings();
}

void TMainFrame::FormDestroy()
{
    if (TShmArea* area = ExchangeArea()) {
        // Withdraw the handle even when the mutex stays busy: a single store, as publishing is.
        if (!ResetTerminalState(*area, HMutex.Get(), FHandle))
            WithdrawTerminalWnd(*area, FHandle);
    }
    HMutex.Reset();
    RoomEvent.Reset();
    if (SharedMem != nullptr)
        std::exchange(SharedMem, nullptr)->Destroy(); // closes the section, then frees it
    SaveSettings();
}

void TMainFrame::ExitClick()
{
    // The same as the title bar's close button.
    SendMessageW(MainFrame != nullptr ? MainFrame->Handle() : FHandle, WM_CLOSE, 0, 0);
}

// ---- messages ------------------------------------------------------------------------

LRESULT CALLBACK TMainFrame::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<TMainFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<TMainFrame*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->FHandle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);

    LRESULT result = 0;
    RunHandler(window, [&] { result = self->HandleMessage(message, wParam, lParam); });
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->FHandle = nullptr;
    }
    return result;
}

LRESULT TMainFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (HandleLayoutMessage(message, wParam, lParam, result) || HandleCaptureMessage(message, wParam, result) ||
        HandleLogMessage(message, result) || HandleSyslogMessage(message, wParam, result) ||
        HandleForwardMessage(message, result))
        return result;
    if (message == FindDialogMessage) {
        FindDialogEvent(*reinterpret_cast<const FINDREPLACEW*>(lParam));
        return 0;
    }

    switch (message) {
    case WM_CREATE:
        // A failure skips the rest of FormCreate and shows the error box; the window stays.
        RunHandler(FHandle, [this] {
            CreateComponents();
            FormCreate();
        });
        return 0;
    case WM_COMMAND:
        // What the user asked for shows at once, not when the entries pause.
        ReleaseRedraw();
        Command(LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        if (wParam == idDbDisplay) {
            DrawListItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_DELETEOVERHEAD:
        OverheadLoeschen();
        return 0;
    case WM_STARTMINIMIZED:
        Minimieren();
        return 0;
    case WM_TIMER:
        if (HandleIntakeTimer(wParam))
            return 0;
        break;
    case WM_CLOSE:
        // The application terminates; the window is destroyed at program end.
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefaultHandler(message, wParam, lParam);
}

void TMainFrame::Command(UINT id, HWND control, UINT code)
{
    if (id >= idCheckBox11 && id < idCheckBox1 + Shm::ChannelCount - 1) {
        if (code == BN_CLICKED)
            ChannelOnOff(control);
        return;
    }
    switch (id) {
    case cmPrint1:             PrintSelected(); return;
    case cmSaveas1:            SaveAs(); return;
    case cmExit1:              ExitClick(); return;
    case cmEdit1:              CopyToClipboardClick(); return;
    case cmDeletealllines1:    ClearClick(); return;
    case cmCopyselectedlines1: DeleteSelected(); return;
    case cmSearch1:            StartSearch(); return;
    case cmAutoScrollWin:      ScrollOnOff(); return;
    case cmDisplayChannel:     AktChannel(); return;
    case cmDisplayDate:        DateAkt(); return;
    case cmDisplayTime:        TimeAkt(); return;
    case cmOnTop:              OnTopClick(); return;
    case cmStartminimized:     MinimizeIt(); return;
    case cmFont1:              FontDialog(); return;
    case cmWindowcolor1:       SetWinColor(); return;
    case cmFilters:            FiltersClick(); return;
    case cmReceiveSyslog:      ReceiveSyslogClick(); return;
    case cmForwardSyslog:      ForwardSyslogClick(); return;
    default:                   CaptureMenuCommand(id); return;
    }
}

// ---- program entry steps ---------------------------------------------------------------

bool PublishMainFrame(TMainFrame& frame)
{
    auto* area = frame.SharedMem != nullptr ? static_cast<TShmArea*>(frame.SharedMem->Data()) : nullptr;
    if (area == nullptr || frame.ExchangeMutex() == nullptr)
        return false;
    ShmArea = area;
    // Under the lock, so that senders and this terminal start in step (see PublishTerminal).
    PublishTerminal(*ShmArea, frame.ExchangeMutex(), frame.Handle(), frame.Order);
    // Entries that senders left before the window existed come without waiting for the
    // next sender's notification.
    if (!PostToWindow(frame.Handle(), DebugEntryMsg))
        SendMessageW(frame.Handle(), DebugEntryMsg, 0, 0);
    return true;
}

int RunMessageLoop(const TMainFrame& frame)
{
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The modeless find dialog takes its own keys (Enter is Find Next, Tab moves on).
        if (const HWND findDialog = frame.FindDialogWindow(); findDialog != nullptr && IsDialogMessageW(findDialog, &message))
            continue;
        if (frame.Handle() != nullptr && TranslateAcceleratorW(frame.Handle(), frame.Accelerators(), &message) != 0)
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}
