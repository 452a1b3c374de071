// The real main window in-process, for tests that drive it as a user would: a probe into its
// private state, the program's own message loop run until the queue is empty, key presses,
// recorded message boxes, and a watchdog that closes a dialog a test left open.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "DebugMain.h"
#include "DialogHook.h"
#include "ErrorBox.h"
#include "TextCodec.h"

struct TMainFrameProbe {
    static HWND List(const TMainFrame& frame) { return frame.dbDisplayWnd; }
    static std::int32_t& WinWidth(TMainFrame& frame) { return frame.WinWidth; }
    static std::int32_t& SearchIndex(TMainFrame& frame) { return frame.SearchIndex; }
    static const std::wstring& LastSearchString(const TMainFrame& frame) { return frame.LastSearchString; }
    static const TFontSpec& ListFont(const TMainFrame& frame) { return frame.ListFont; }
    static std::int32_t ListColor(const TMainFrame& frame) { return frame.ListColor; }
    static void SetListFont(TMainFrame& frame, const TFontSpec& font) { frame.SetListFont(font); }
    static int ScreenDpi(const TMainFrame& frame) { return frame.ScreenDpi; }
    static HGLOBAL PrinterDevMode(const TMainFrame& frame) { return frame.PrinterDevMode.Get(); }
    static HGLOBAL PrinterDevNames(const TMainFrame& frame) { return frame.PrinterDevNames.Get(); }
};

namespace MainFrameFixture {

inline constexpr int MessagePumpLimit = 100000;
// A dialog still open after this long was left open by a failing test.
inline constexpr UINT DialogWatchdogMs = 20000;

// Dispatches what is waiting, without the program's loop.
inline void Pump()
{
    MSG message;
    for (int count = 0; count < MessagePumpLimit && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++count) {
        if (message.message == WM_QUIT)
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Runs the program's own message loop (find dialog keys, shortcuts) until the queue is empty.
inline void RunProgramLoop(const TMainFrame& frame)
{
    PostQuitMessage(0);
    RunMessageLoop(frame);
}

// Posts a key press to `target` as the keyboard would while Ctrl is held (or not), then runs
// the program's loop.
inline void PressKey(const TMainFrame& frame, HWND target, BYTE key, bool control)
{
    std::array<BYTE, 256> saved{};
    GetKeyboardState(saved.data());
    std::array<BYTE, 256> keys = saved;
    keys[VK_CONTROL] = keys[VK_LCONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys.data());
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, key, scan | 1);
    PostMessageW(target, WM_KEYUP, key, scan | 1 | (LPARAM{3} << 30));
    RunProgramLoop(frame);
    SetKeyboardState(saved.data());
}

struct TRecordedBox {
    std::wstring Text;
    UINT Type = 0;
};

// Closes, with IDCANCEL, any dialog of this thread but `spared` that is still open when the
// time is up, and fails the test: a wait on a dialog is then bounded.
class TDialogWatchdog {
public:
    TDialogWatchdog() : FTimer(SetTimer(nullptr, 0, DialogWatchdogMs, &TDialogWatchdog::Fire)) {}
    ~TDialogWatchdog() { KillTimer(nullptr, FTimer); }
    TDialogWatchdog(const TDialogWatchdog&) = delete;
    TDialogWatchdog& operator=(const TDialogWatchdog&) = delete;

    static HWND& Spared()
    {
        static HWND spared = nullptr;
        return spared;
    }

private:
    static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD)
    {
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM) -> BOOL {
                wchar_t name[16] = {};
                GetClassNameW(window, name, 16);
                if (std::wstring(name) == L"#32770" && window != Spared() && IsWindowVisible(window)) {
                    ADD_FAILURE() << "a dialog was left open";
                    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                }
                return TRUE;
            },
            0);
    }

    UINT_PTR FTimer;
};

// A test on the real window, created afresh for each test case.
class TMainFrameTest : public testing::Test {
protected:
    using Probe = TMainFrameProbe;

    void SetUp() override
    {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        SetMessageBoxHandler([this](HWND, const std::wstring& text, const std::wstring&, UINT type) {
            Boxes.push_back({text, type});
            return IDOK;
        });
        Frame = std::make_unique<TMainFrame>();
        ASSERT_NE(Frame->Handle(), nullptr);
        Pump();
    }

    void TearDown() override
    {
        SetDialogInitHandler({});
        Frame.reset();
        Pump();
        SetMessageBoxHandler({});
    }

    HWND Window() const { return Frame->Handle(); }
    HWND List() const { return Probe::List(*Frame); }

    // Through the intake's own append: ANSI text, extent kept up to date.
    void AddLines(const std::vector<std::string>& lines)
    {
        for (const std::string& line : lines)
            Frame->AddLine(line);
        Pump();
    }
    // A wide line as it stands, also one the ANSI code page cannot carry.
    void AddWideLine(const std::wstring& line)
    {
        SendMessageW(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }

    std::vector<std::wstring> Lines() const
    {
        std::vector<std::wstring> lines;
        const auto count = static_cast<int>(SendMessageW(List(), LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring line(static_cast<std::size_t>(SendMessageW(List(), LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            line.resize(static_cast<std::size_t>(SendMessageW(List(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
            lines.push_back(line);
        }
        return lines;
    }

    std::set<int> SelectedLines() const
    {
        std::set<int> selected;
        const auto count = static_cast<int>(SendMessageW(List(), LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i)
            if (SendMessageW(List(), LB_GETSEL, i, 0) > 0)
                selected.insert(i);
        return selected;
    }

    // Selects lines as the user would with Ctrl+click, the others keep their state.
    void Select(const std::set<int>& lines)
    {
        for (const int line : lines)
            SendMessageW(List(), LB_SETSEL, TRUE, line);
    }

    // A menu command, as the menu sends it.
    void Command(TCommand command) { SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(command, 0), 0); }

    LRESULT Extent() const { return SendMessageW(List(), LB_GETHORIZONTALEXTENT, 0, 0); }

    std::unique_ptr<TMainFrame> Frame;
    std::vector<TRecordedBox> Boxes;
    TDialogWatchdog Watchdog;
};

} // namespace MainFrameFixture
