// The terminal's main window TMainFrame: its fields, components, handlers and the
// process-wide values it shares with the program entry.
//
// Files: DebugMain.cpp (window procedure, dispatch, creation and destruction),
// MainFrameIntake.cpp (taking entries and appending lines), MainFrameLayout.cpp (component
// tree, menu, fonts and colours), MainFrameOptions.cpp (option handlers and dialogs),
// MainFrameLineLimit.cpp (trim and the line-limit field), MainFrameSettings.cpp (settings file),
// MainFrameCommands.cpp (copy, save, delete), MainFramePrint.cpp (printing), MainFrameSearch.cpp
// (find dialog and search), MainFrameFilters.cpp (filter and highlight rules, the list's drawing),
// MainFrameCapture.cpp (the Capture menu: capture of OutputDebugString), MainFrameLog.cpp (the
// Capture menu: log to file), MainFrameSyslog.cpp (the Capture menu: receive syslog),
// MainFrameForward.cpp (the Capture menu: forward every line to syslog).
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ClipboardGuards.h"
#include "Component.h"
#include "DisplayList.h"
#include "Gdi.h"
#include "IniFile.h"
#include "LineFormat.h"
#include "RuleSet.h"
#include "Settings.h"
#include "ShDat.h"
#include "ShmDefs.h"
#include "SyslogDialogs.h"
#include "WinHandles.h"

// Private messages, posted (never sent) so they act after the current handler returns.
inline constexpr UINT WM_DELETEOVERHEAD = WM_USER + 3;
inline constexpr UINT WM_STARTMINIMIZED = WM_USER + 4;
// Captured messages wait where none waited before (posted by the capture's thread).
inline constexpr UINT WM_CAPTUREDATA = WM_USER + 20;
// The log to file has failed (posted by the log's thread).
inline constexpr UINT WM_LOGFAILED = WM_USER + 21;
// The log to file has something to tell in the list (posted by the log's thread).
inline constexpr UINT WM_LOGNOTICE = WM_USER + 40;
// Received syslog lines wait where none waited before (posted by the receiver's thread).
inline constexpr UINT WM_SYSLOGDATA = WM_USER + 22;
// Forwarding has resumed after lines were dropped (posted by the forwarder's thread).
inline constexpr UINT WM_FORWARDGAP = WM_USER + 23;

inline constexpr wchar_t MainFrameCaption[] = L"Vellumtrace64   V15.0";
inline constexpr wchar_t IniFileTitle[] = L"Vellumtrace64.INI";
inline constexpr wchar_t CaptureOdsCaption[] = L"Capture OutputDebugString";
inline constexpr wchar_t CaptureGlobalCaption[] = L"Capture global OutputDebugString";

// Registered "DebugEntry" message id, obtained before the window exists.
extern UINT DebugEntryMsg;
// Lines the list keeps after a trim; 0 until the settings are loaded.
extern std::int32_t DisplayLines;
// The mapped exchange area, set by the program entry once the window exists.
extern TShmArea* ShmArea;

class TDebugOutputCapture;
struct TDebugOutputMessage;
class TLogWriter;
class TSyslogReceiver;
class TSyslogForwarder;
struct TForwardLine;
struct TSlotEntry;
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
    cmFilters, // "Filters and highlights..." in the menu "Capture"
    // The Capture menu, beyond the design.
    cmCaptureOds = 201,
    cmCaptureChannel0, // "M"; channels 1 to 9 follow
    cmLogToFile = cmCaptureChannel0 + Shm::ChannelCount,
    cmCaptureGlobal = 240, // the services' output, through the global objects
    cmReceiveSyslog,
    cmForwardSyslog,
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

// A font's size in points from its height in pixels at the screen's dpi, and back; each
// rounded as the other is derived from it.
std::int32_t PointsFromHeight(std::int32_t height, int dpi);
std::int32_t HeightFromPoints(std::int32_t points, int dpi);

class TMainFrame : public TComponent {
public:
    // Creates and shows the window; FormCreate runs during the creation.
    TMainFrame();
    // Destroys the window; FormDestroy runs first.
    ~TMainFrame() override;

    HWND Handle() const noexcept { return FHandle; }
    // The exchange's mutex; null when FormCreate could not open it.
    HANDLE ExchangeMutex() const noexcept { return HMutex.Get(); }

    // ---- handlers (the names of the window's design) --------------------------------
    void FormCreate();
    void FormDestroy();
    void ExitClick();
    void DrainEntries();
    // `origin`: the line as it is forwarded to syslog, when it is; null: it is not.
    void AddLine(const std::string& line, const TForwardLine* origin = nullptr);
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
    void OverheadLoeschen();
    void NoOfLinesChange();

    // ---- window state the handlers share -------------------------------------------
    bool Checked(TCommand item) const;
    void SetChecked(TCommand item, bool checked);
    // Sets a channel box's state; like a click, a change runs ChannelOnOff.
    void SetChannelBox(int channel, bool checked);
    bool ChannelBoxChecked(int channel) const;
    TLineOptions LineOptions() const;
    // Width in pixels of a line drawn in the window's font.
    std::int32_t TextWidth(const std::string& line) const;
    std::int32_t TextWidth(const std::wstring& line) const;
    // Ctrl+D and Ctrl+F, for TranslateAcceleratorW in the message loop.
    HACCEL Accelerators() const noexcept { return AcceleratorTable.Get(); }

    TSharedData* SharedMem = nullptr;

private:
    friend struct TMainFrameProbe; // tests read the private state through it
    friend bool PublishMainFrame(TMainFrame& frame); // sets where reading starts

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);
    void Command(UINT id, HWND control, UINT code);

    // ---- fields ----------------------------------------------------------------------
    bool AutoScroll = false;
    std::int32_t WinWidth = 0;
    std::string MaxLine;
    std::int32_t Order = 0;
    TUniqueHandle HMutex;
    TUniqueHandle RoomEvent; // set after each pass that took entries, for senders waiting on a full ring
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
    // Colours, sizes and notifications of the components; true when it answered the message.
    bool HandleLayoutMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void CreateMainMenu();
    void LayoutComponents();
    bool ColorControl(HDC dc, HWND control, LRESULT& result);
    void SetWindowFont(const TFontSpec& font);
    void SetListFont(const TFontSpec& font);
    void SetListColor(std::int32_t color);
    void SetPanelFont(const TFontSpec& font);
    // WinWidth := MaxLine's width in the window's font plus the margin, posted to the list.
    void RemeasureMaxLine();
    // LB_SETHORIZONTALEXTENT := WinWidth, posted (sent when the queue takes no more).
    void PostHorizontalExtent();
    // WM_DPICHANGED: fonts, strip and list scaled to the new dpi, the window to the bounds
    // the system suggests.
    void ChangeDpi(int dpi, const RECT& suggested);
    // The list draws its own lines (for the highlights), so it is told their height: the
    // height a list box gives its lines in the list font.
    void SetListLineHeight();
    static constexpr std::int32_t LineWidthMargin = 8; // WinWidth is a line's width plus this
    // The window's dpi: its monitor's at creation, then each new one that WM_DPICHANGED brings.
    // The layout's lengths and the fonts' heights in pixels are scaled to it; font sizes in
    // points are converted at it.
    int ScreenDpi = 0;
    TFontSpec PanelFont;
    TUniqueFont WindowFontHandle;
    TUniqueFont ListFontHandle;
    TUniqueFont PanelFontHandle;
    // Lines are measured here, with the window font kept selected: a DC compatible with the
    // window's screen gives the same widths without fetching the window's DC for every line.
    TUniqueMemoryDC MeasureDC;
    TUniqueBrush ListBrush;
    TUniqueBrush EditBrush;
    TUniqueAccelerators AcceleratorTable;
    TUniqueWindow Tooltips; // not owned by the window: Wine keeps an owner with popups from staying on top

    // ---- intake helpers: MainFrameIntake.cpp adds its private members here ----------
    void RunIntakePass();
    void DeliverEntry(const TEntryAction& action, const TForwardLine* origin);
    bool QueueLookDue() noexcept;
    bool LookAtQueue();
    void DiscardQueuedNotifications();
    // The intake's redraw suspension, which may last over several passes and capture batches.
    void AddUnderHeldRedraw(const std::function<void()>& add);
    void ShowLastLineWhenScrolling();
    void HoldRedraw();
    void ReleaseRedraw();
    void ReleaseRedrawAfterPause();
    void RedrawPauseTimer();
    void PaintIfDue();
    // After a pass or a batch of lines from any source: the suspension's pause, the paint when
    // due, and what the log has to say.
    void EndBatch();
    void ContinueIntakeLater(UINT delayMs);
    bool ContinuationPending() const noexcept;
    void CancelContinuation();
    bool HandleIntakeTimer(WPARAM timer);
    static constexpr ULONGLONG DefaultPassTimeMs = 50;
    ULONGLONG PassTimeMs = DefaultPassTimeMs; // how long one pass may go on taking entries
    ULONGLONG ContinuationDue = 0;            // when the continuation's timer is due; 0: none set
    ULONGLONG LastPaint = 0;                  // when a pass last painted the window
    bool RedrawHeld = false;                  // the intake holds a redraw suspension
    bool RedrawReleaseDue = false;            // the timer that ends it is set
    ULONGLONG LastQueueLook = 0;              // when a pass last looked at the queue
    bool PassCutShort = false;                // the last pass posted its continuation
    ULONGLONG LastHeldPassEnd = 0;            // when the last pass or batch under it ended
    bool TrimQueued = false;                  // a WM_DELETEOVERHEAD of AddLine's waits in the queue

    // ---- line limit and settings: MainFrameLineLimit.cpp, MainFrameSettings.cpp ------
    // NoOfEdit's key-released event (WM_KEYUP and WM_SYSKEYUP) runs NoOfLinesChange.
    static LRESULT CALLBACK NoOfEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    void LoadSettings();
    // The Capture menu's part of LoadSettings: its last step.
    void LoadCaptureMenuSettings(const TSettings& settings);
    void LoadSyslogSettings(const TSettings& settings);
    void SaveSettings();
    // Outer bounds as they are stored: restored while minimized, maximized while maximized.
    RECT BoundsToSave() const;
    // The stored outer bounds, brought into view, at their stored size whatever the dpi of the
    // monitor they land on.
    void PlaceWindow(const RECT& stored);

    // ---- options helpers: MainFrameOptions.cpp adds its private members here --------
    // The exchange area, or null when it could not be opened.
    TShmArea* ExchangeArea() const noexcept;
    COLORREF ColorDialogColor = 0;       // ColorDialog1's own colour: black until one is confirmed
    std::array<COLORREF, 16> CustomColors{};
    // Topmost or ordinary, without moving, sizing or activating the window.
    void ApplyOnTopStyle(bool onTop);

    // ---- capture of OutputDebugString, the session's and the services': MainFrameCapture.cpp
public:
    void CaptureChannelClick(int channel);
    // Captured messages to the list: a bounded batch; a timer continues with the rest.
    void TakeCaptured();

private:
    // One reader of debug output, the session's or the global one, and its menu item.
    struct TCaptureReader {
        bool Global; // the services' objects, else the session's
        TCommand Command;
        const wchar_t* Caption;
        std::unique_ptr<TDebugOutputCapture> Capture;
        bool Wanted = false; // as stored: on, even while it could not start
        bool InUse = false;  // another reader held the objects at the last attempt
    };

    // WM_CAPTUREDATA and the continuation timer; true when it answered the message.
    bool HandleCaptureMessage(UINT message, WPARAM wParam, LRESULT& result);
    // The Capture menu's commands; other ids do nothing.
    void CaptureMenuCommand(UINT id);
    void CaptureOnOff(TCaptureReader& reader);
    // Starts the reader; `asked`: the user switched it on, so a box says why it cannot be.
    void StartCapture(TCaptureReader& reader, bool asked);
    // Ends the reader and shows what it had taken.
    void StopCapture(TCaptureReader& reader);
    void ShowCaptureState();
    // Up to `count` waiting messages of the readers that run, the session's first.
    std::vector<TDebugOutputMessage> TakeFromReaders(std::size_t count);
    // Arms every running reader's wake; true when none had messages waiting.
    bool ArmCaptureWakes();
    void StopCaptureTimer();
    TCaptureReader OdsReader{false, cmCaptureOds, CaptureOdsCaption, nullptr, false, false};
    TCaptureReader GlobalReader{true, cmCaptureGlobal, CaptureGlobalCaption, nullptr, false, false};
    std::uint8_t CaptureChannel = 0;
    bool CaptureTimerRuns = false; // the batches' timer, left running while messages come

    // ---- log to file: MainFrameLog.cpp ----------------------------------------------
public:
    void LogToFileClick();

private:
    // WM_LOGFAILED and WM_LOGNOTICE; true when it answered the message.
    bool HandleLogMessage(UINT message, LRESULT& result);
    void StartLog();
    // Ends the log; what waits is still written, on the log's thread.
    void StopLog();
    // Every line appended to the list, and a marker where the list is cleared.
    void LogLine(const std::wstring& line);
    void LogListCleared();
    // One error box naming the file and the reason; the log is off.
    void LogFailed();
    // What the log tells without stopping (an unattended log must not wait for a box): lines
    // in the list, and so in the log itself.
    void LogNoticed();
    // What the writer's posts announce, looked for with each batch of lines as well: a post
    // can be lost in a full queue.
    void CatchUpOnLog();
    std::unique_ptr<TLogWriter> Log;
    std::unique_ptr<TLogWriter> FinishingLog; // switched off, maybe still writing; waited for at the end
    std::wstring LogFileName; // the last file logged to; proposed by the dialog
    std::int32_t LogMaxMb = 0;
    std::int32_t LogKeep = DefaultLogKeep;

    // ---- receive syslog: MainFrameSyslog.cpp ----------------------------------------
public:
    void ReceiveSyslogClick();
    // Received lines to the list: a bounded batch; a timer continues with the rest.
    void TakeReceived();
    // Applies receive settings as the dialog's OK does: false, after one message box naming
    // the port and the reason, when they cannot be put in force (nothing changes then).
    bool ApplyReceiveSettings(const TReceiveSettings& settings, bool asked);

private:
    // WM_SYSLOGDATA and the batch and idle timers; true when it answered the message.
    bool HandleSyslogMessage(UINT message, WPARAM wParam, LRESULT& result);
    void StartReceiver(const TReceiveSettings& settings);
    void StopReceiver();
    std::unique_ptr<TSyslogReceiver> Receiver;
    TReceiveSettings ReceiveSettings;

    // ---- forward to syslog: MainFrameForward.cpp -------------------------------------
public:
    void ForwardSyslogClick();
    void ApplyForwardSettings(const TForwardSettings& settings);
    // The forwarder, or null when lines are not forwarded (for tests and the benchmark).
    const TSyslogForwarder* Forwarding() const noexcept { return Forwarder.get(); }

private:
    // WM_FORWARDGAP; true when it answered the message.
    bool HandleForwardMessage(UINT message, LRESULT& result);
    // The line of an exchange entry as it is forwarded; nothing when lines are not forwarded.
    std::optional<TForwardLine> EntryOrigin(const TSlotEntry& entry) const;
    // The line of a captured message's part, of a received line and of the terminal's own.
    std::optional<TForwardLine> CapturedOrigin(std::string_view part, const TDebugOutputMessage& message) const;
    std::optional<TForwardLine> ReceivedOrigin(std::string_view text, const SYSTEMTIME& time) const;
    std::optional<TForwardLine> OwnOrigin(std::string_view text, std::uint8_t channel, const SYSTEMTIME& time) const;
    void ForwardLine(const TForwardLine& line);
    // One line for every report of lines dropped while the collector was away.
    void ShowForwardGaps();
    std::unique_ptr<TSyslogForwarder> Forwarder;
    TForwardSettings ForwardSettings;

    // ---- line commands and search: MainFrameCommands/Print/Search.cpp ----
public:
    void CopyToClipboardClick();
    void PrintSelected();
    void SaveAs();
    void DeleteSelected();
    void ClearClick();
    void StartSearch();
    void SeekIt();
    // Tests line index against the upper-cased find text; a hit is selected and recorded.
    bool MatchLine(std::wstring_view text, std::int32_t index);
    // The open find dialog, for IsDialogMessageW in the message loop; null when closed.
    HWND FindDialogWindow() const noexcept { return FindDialog1; }

private:
    // Registered FINDMSGSTRING: the find dialog's Find Next and close events.
    static const UINT FindDialogMessage;
    void FindDialogEvent(const FINDREPLACEW& record);
    // PrintDialog1; false when cancelled. The chosen printer becomes the current one.
    bool RunPrintDialog();
    // A DC of the current printer, its orientation set to portrait first.
    HDC CreatePortraitPrinterDC();
    std::wstring SaveFileName;    // SaveFileDia's last chosen path
    TGlobalMemory PrinterDevMode;  // the current printer: its settings and names
    TGlobalMemory PrinterDevNames;
    bool Printing = false;         // a printout is being handed to the printer
    FINDREPLACEW FindRecord{};     // FindDialog1: its direction and text stay between openings
    static constexpr std::size_t FindTextChars = 256; // at most 255 characters and the NUL
    std::array<wchar_t, FindTextChars> FindWhat{};
    HWND FindDialog1 = nullptr;

    // ---- filters and highlights: MainFrameFilters.cpp ----
public:
    void FiltersClick();
    const std::vector<TFilterRule>& FilterRules() const noexcept { return Filters.Rules(); }
    // Puts rules in force: include and exclude for the lines that arrive from now on,
    // highlights for every line in the list. Throws TPatternError for a refused pattern.
    void SetFilterRules(std::vector<TFilterRule> rules);

private:
    void DrawListItem(const DRAWITEMSTRUCT& item);
    // Index of the highlight rule of the line an item shows, found once per line and rules.
    std::optional<std::size_t> HighlightOfItem(const DRAWITEMSTRUCT& item, std::wstring_view line);
    void LoadFilterSettings(const TIniFile& file);
    void SaveFilterSettings(TIniFile& file) const;
    TRuleSet Filters;
    // Counts the changes of the rules; a line's item data remembers under which its highlight was found.
    std::uint32_t RulesGeneration = 1;
};
