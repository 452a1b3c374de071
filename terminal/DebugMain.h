// The terminal's main window TMainFrame: its fields, components, handlers and the
// process-wide values it shares with the program entry.
//
// Files: DebugMain.cpp (window procedure, dispatch, creation and destruction),
// MainFrameIntake.cpp (taking entries and appending lines), MainFrameLayout.cpp (component
// tree, menu, fonts and colours), MainFrameOptions.cpp (option handlers and dialogs).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "Component.h"
#include "DisplayList.h"
#include "LineFormat.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "WinHandles.h"

// Private messages, posted (never sent) so they act after the current handler returns.
inline constexpr UINT WM_DELETEOVERHEAD = WM_USER + 3;
inline constexpr UINT WM_STARTMINIMIZED = WM_USER + 4;

inline constexpr wchar_t MainFrameCaption[] = L"Vellumtrace64   V15.0";
inline constexpr wchar_t IniFileTitle[] = L"Vellumtrace64.INI";

// Registered "DebugEntry" message id, obtained before the window exists.
extern UINT DebugEntryMsg;
// Lines the list keeps after a trim; 0 until the settings are loaded.
extern std::int32_t DisplayLines;
// The mapped exchange area, set by the program entry once the window exists.
extern TShmArea* ShmArea;

class TMainFrame;
// The application's main window.
extern TMainFrame* MainFrame;

// Menu commands; WM_COMMAND dispatch is one line per id.
enum TCommand : UINT {
    cmPrint1 = 101,
    cmSaveas1,
    cmExit1,
    cmEdit1, // "Copy selected lines "
    cmDeletealllines1,
    cmCopyselectedlines1, // "Delete selected lines"
    cmSearch1,
    cmAutoScrollWin,
    cmDisplayChannel,
    cmDisplayDate,
    cmDisplayTime,
    cmOnTop,
    cmStartminimized,
    cmFont1,
    cmWindowcolor1,
};

// Control ids of the window's components.
enum TControlId : int {
    idPnlDisplayArea = 1001,
    idPanel1,
    idDbDisplay,
    idLabel1,
    idBevel1,
    idNoOfEdit,
    idCheckBox11,                 // "M"
    idCheckBox1,                  // "1"; "2" to "9" follow
};

// A font as the window keeps it: face, height in pixels (negative: character height),
// colour value (negative: system colour).
struct TFontSpec {
    std::wstring Face;
    std::int32_t Height = 0;
    std::int32_t Color = 0;
};

class TMainFrame : public TComponent {
public:
    // Creates and shows the window; FormCreate runs during the creation.
    TMainFrame();
    // Destroys the window; FormDestroy runs first.
    ~TMainFrame() override;

    HWND Handle() const noexcept { return FHandle; }

    // ---- handlers (the names of the window's design) --------------------------------
    void FormCreate();
    void FormDestroy();
    void ExitClick();
    void DrainEntries();
    void AddLine(const std::string& line);
    void ComputeOverhead();

    void ChannelOnOff(HWND sender);
    void ScrollOnOff();
    void AktChannel();
    void DateAkt();
    void TimeAkt();
    void OnTopClick();
    void MinimizeIt();
    void Minimieren();
    void FontDialog();
    void SetWinColor();
    void EnableExtendedChannels();

    // ---- window state the handlers share -------------------------------------------
    bool Checked(TCommand item) const;
    void SetChecked(TCommand item, bool checked);
    // Sets a channel box's state; like a click, a change runs ChannelOnOff.
    void SetChannelBox(int channel, bool checked);
    bool ChannelBoxChecked(int channel) const;
    TLineOptions LineOptions() const;
    // Width in pixels of a line drawn in the window's font.
    std::int32_t TextWidth(const std::string& line) const;

    TSharedData* SharedMem = nullptr;

private:
    friend struct TMainFrameProbe; // tests read the private state through it

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);
    void Command(UINT id, HWND control, UINT code);

    // ---- fields, in the order of the design -----------------------------------------
    bool AutoScroll = false;
    std::int32_t WinWidth = 0;
    std::string MaxLine;
    std::int32_t Order = 0;
    TUniqueHandle HMutex;
    std::int32_t SearchIndex = 0;
    std::int32_t Overhead = 0;
    std::wstring LastSearchString;
    std::wstring IniFileName;

    HWND FHandle = nullptr;

    // ---- components (MainFrameLayout.cpp builds them) -------------------------------
    void CreateComponents();
    HWND pnlDisplayArea = nullptr;
    HWND Panel1 = nullptr;
    HWND dbDisplayWnd = nullptr;
    TDisplayList dbDisplay;
    std::array<HWND, Shm::ChannelCount> ChannelBoxes{}; // [0] = CheckBox11 "M", [k] = CheckBoxk
    HWND Label1 = nullptr;
    HWND Bevel1 = nullptr;
    HWND NoOfEdit = nullptr;
    HMENU MainMenu1 = nullptr;
    TFontSpec WindowFont;
    TFontSpec ListFont;
    std::int32_t ListColor = 0;

    // ---- layout helpers: MainFrameLayout.cpp adds its private members here ----------

    // ---- intake helpers: MainFrameIntake.cpp adds its private members here ----------

    // ---- options helpers: MainFrameOptions.cpp adds its private members here --------
};
