// The Capture menu's log to file: switching it on (the file chosen in a save dialog) and off,
// the lines and markers the list's changes hand to the log's thread, and its failure.
#include "DebugMain.h"

#include <optional>

#include "DialogHook.h"
#include "ErrorBox.h"
#include "LogFileCheck.h"
#include "LogWriter.h"
#include "ModulePath.h"
#include "TextCodec.h"
#include "WindowPost.h"

namespace {

constexpr wchar_t LogDialogTitle[] = L"Log to file";
// Written where the list lost all its lines: the log keeps them.
constexpr wchar_t ListClearedMarker[] = L"---- list cleared ----";
constexpr std::uint64_t BytesPerMegabyte = 1024 * 1024;

} // namespace

bool TMainFrame::HandleLogMessage(UINT message, LRESULT& result)
{
    if (message == WM_LOGFAILED)
        LogFailed();
    else if (message == WM_LOGNOTICE)
        LogNoticed();
    else
        return false;
    result = 0;
    return true;
}

void TMainFrame::LogToFileClick()
{
    if (Log) {
        StopLog();
        return;
    }
    // Proposes the file logged to last time; an existing file is appended to.
    const std::optional<std::wstring> path = RunSaveFileDialog(FHandle, LogFileName, LogDialogTitle);
    if (!path)
        return;
    LogFileName = *path;
    StartLog();
}

void TMainFrame::StartLog()
{
    if (const auto refusal = LogFileRefusal(LogFileName, TIniFile::ReadLimit, {IniFileName, ExecutablePath()}))
        throw Exception(*refusal);
    const HWND window = FHandle;
    TLogOptions options{LogFileName, static_cast<std::uint64_t>(LogMaxMb) * BytesPerMegabyte, LogKeep};
    Log = std::make_unique<TLogWriter>(
        std::move(options), [window] { PostToWindow(window, WM_LOGFAILED); }, std::move(FinishingLog),
        [window] { PostToWindow(window, WM_LOGNOTICE); });
    SetChecked(cmLogToFile, true);
}

void TMainFrame::StopLog()
{
    // What waits is written without the window waiting for the disk; a log started later
    // lets this one end first.
    Log->Finish();
    FinishingLog = std::move(Log);
    SetChecked(cmLogToFile, false);
}

void TMainFrame::LogLine(const std::wstring& line)
{
    if (Log)
        Log->Append(line);
}

void TMainFrame::LogListCleared() { LogLine(ListClearedMarker); }

void TMainFrame::LogNoticed()
{
    if (!Log)
        return;
    for (const std::wstring& notice : Log->TakeNotices())
        AddLine(WideToAnsi(notice));
}

void TMainFrame::CatchUpOnLog()
{
    LogNoticed();
    LogFailed();
}

void TMainFrame::LogFailed()
{
    // A log switched off or restarted since its failure was posted has nothing to report.
    if (!Log)
        return;
    const std::wstring failure = Log->Failure();
    if (failure.empty())
        return;
    StopLog();
    ShowErrorBox(FHandle, failure);
}
