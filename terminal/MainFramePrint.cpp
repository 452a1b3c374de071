// Printing the selected lines: the print dialog, the current printer (kept between runs,
// always portrait), and the printout laid out top-down on pages.
//
// Layout: half an inch of margin inside the printable area on every side; one printed line
// per list line, spaced by the font's height plus its external leading; a line wider than the
// page is cut at the page's edge; tabs and other control bytes are drawn as the font draws
// them. A page is full when the next line would reach into the bottom margin; every page
// takes at least one line.
#include "DebugMain.h"

#include <cderr.h>
#include <commdlg.h>

#include <optional>
#include <string_view>

#include "DialogHook.h"
#include "LineExport.h"
#include "TextCodec.h"
#include "WindowPost.h"

namespace {

// The platform's defaults: all pages, no selection or page range, no print to file; the
// number of copies goes into the device settings.
constexpr DWORD PrintDialogFlags =
    PD_ALLPAGES | PD_NOPAGENUMS | PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_USEDEVMODECOPIESANDCOLLATE | PD_ENABLEPRINTHOOK;
constexpr std::string_view LineIndent = "    ";
constexpr int MarginsPerInch = 2; // half an inch

std::wstring ErrorSuffix(DWORD error) { return L" (error " + std::to_wstring(error) + L")"; }

[[noreturn]] void ThrowPrintError(const wchar_t* what)
{
    throw Exception(std::wstring(what) + ErrorSuffix(GetLastError()));
}

struct TPrinterDCTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type dc) noexcept { DeleteDC(dc); }
};
using TUniquePrinterDC = TUniqueResource<TPrinterDCTraits>;

// Raises a flag for a scope.
class TFlagGuard {
public:
    explicit TFlagGuard(bool& flag) noexcept : FFlag(flag) { FFlag = true; }
    ~TFlagGuard() { FFlag = false; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
    bool& FFlag;
};

// While the job is handed to the printer the window goes on handling its messages.
BOOL CALLBACK PumpMessagesWhilePrinting(HDC, int)
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (PutBackQuit(message))
            break; // for the message loop, once the printout is done
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return TRUE;
}

// The user cancelled a dialog of the printer's own driver (one that asks for a file name, as
// "Microsoft Print to PDF" does): a cancel, not a failure.
struct TPrintCancelled {};

// One print job on a printer DC, open on a page from the start; aborted unless ended.
class TPrintJob {
public:
    explicit TPrintJob(HDC dc) : FDC(dc)
    {
        DOCINFOW document{};
        document.cbSize = sizeof document;
        document.lpszDocName = L""; // no document name
        if (StartDocW(FDC, &document) <= 0) {
            if (GetLastError() == ERROR_CANCELLED)
                throw TPrintCancelled{};
            ThrowPrintError(L"The print job could not be started");
        }
        FOpen = true;
        StartNewPage();
    }
    ~TPrintJob()
    {
        if (FOpen)
            AbortDoc(FDC);
    }
    TPrintJob(const TPrintJob&) = delete;
    TPrintJob& operator=(const TPrintJob&) = delete;

    void NextPage()
    {
        if (EndPage(FDC) <= 0)
            ThrowPrintError(L"A page could not be printed");
        StartNewPage();
    }

    // Ends the last page and hands the job to the printer.
    void End()
    {
        if (EndPage(FDC) <= 0)
            ThrowPrintError(L"A page could not be printed");
        FOpen = false;
        if (EndDoc(FDC) <= 0)
            ThrowPrintError(L"The printout could not be handed to the printer");
    }

private:
    void StartNewPage()
    {
        if (StartPage(FDC) <= 0)
            ThrowPrintError(L"A new page could not be started");
    }

    HDC FDC;
    bool FOpen = false;
};

// Selects the printer font for a scope and puts the DC's own font back.
class TPrinterFontSelection {
public:
    TPrinterFontSelection(HDC dc, HFONT font) : FDC(dc), FFont(font), FPrevious(SelectObject(dc, font))
    {
        if (FPrevious == nullptr || FPrevious == HGDI_ERROR)
            ThrowPrintError(L"The printer font could not be selected");
    }
    ~TPrinterFontSelection() { SelectObject(FDC, FPrevious); }
    TPrinterFontSelection(const TPrinterFontSelection&) = delete;
    TPrinterFontSelection& operator=(const TPrinterFontSelection&) = delete;

    // A new page may come with the DC's defaults.
    void Reselect() const
    {
        const HGDIOBJ previous = SelectObject(FDC, FFont);
        if (previous == nullptr || previous == HGDI_ERROR)
            ThrowPrintError(L"The printer font could not be selected");
    }

private:
    HDC FDC;
    HFONT FFont;
    HGDIOBJ FPrevious;
};

int DeviceCaps(HDC dc, int index)
{
    const int value = GetDeviceCaps(dc, index);
    if (value <= 0)
        throw Exception(L"The printer reports no page size or resolution (capability " + std::to_wstring(index) + L")");
    return value;
}

// Writes 8-bit lines top-down, moving to a new page when the next one would not fit.
class TPageWriter {
public:
    TPageWriter(HDC dc, TPrintJob& job, const TPrinterFontSelection& font) : FDC(dc), FJob(job), FFont(font)
    {
        TEXTMETRICW metrics{};
        if (!GetTextMetricsW(FDC, &metrics))
            ThrowPrintError(L"The printer font could not be measured");
        FLineHeight = metrics.tmHeight + metrics.tmExternalLeading;
        FLeft = DeviceCaps(FDC, LOGPIXELSX) / MarginsPerInch;
        FTop = DeviceCaps(FDC, LOGPIXELSY) / MarginsPerInch;
        FBottom = DeviceCaps(FDC, VERTRES) - FTop;
        FY = FTop;
    }

    void WriteLine(const std::string& text)
    {
        if (FY > FTop && FY + FLineHeight > FBottom) {
            FJob.NextPage();
            FFont.Reselect();
            FY = FTop;
        }
        if (!TextOutA(FDC, FLeft, FY, text.data(), static_cast<int>(text.size())))
            ThrowPrintError(L"A line could not be printed");
        FY += FLineHeight;
    }

private:
    HDC FDC;
    TPrintJob& FJob;
    const TPrinterFontSelection& FFont;
    int FLineHeight = 0;
    int FLeft = 0;
    int FTop = 0;
    int FBottom = 0;
    int FY = 0;
};

// The wide strings of a DEVNAMES block.
const wchar_t* DevNamesString(const DEVNAMES& names, WORD offset)
{
    return reinterpret_cast<const wchar_t*>(&names) + offset;
}

} // namespace

bool TMainFrame::RunPrintDialog()
{
    PRINTDLGW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = FHandle;
    dialog.hDevMode = PrinterDevMode.Get();
    dialog.hDevNames = PrinterDevNames.Get();
    dialog.nCopies = 1;
    dialog.Flags = PrintDialogFlags;
    dialog.lpfnPrintHook = CommonDialogHook;
    const BOOL confirmed = PrintDlgW(&dialog);
    // The dialog may have reallocated the blocks it was given: keep what it returns.
    if (dialog.hDevMode != PrinterDevMode.Get()) {
        PrinterDevMode.Release();
        PrinterDevMode.Reset(dialog.hDevMode);
    }
    if (dialog.hDevNames != PrinterDevNames.Get()) {
        PrinterDevNames.Release();
        PrinterDevNames.Reset(dialog.hDevNames);
    }
    if (!confirmed) {
        // Without any printer the platform has told the user already.
        const DWORD error = CommDlgExtendedError();
        if (error != 0 && error != PDERR_NODEFAULTPRN)
            throw Exception(L"The print dialog failed" + ErrorSuffix(error));
    }
    return confirmed != FALSE;
}

HDC TMainFrame::CreatePortraitPrinterDC()
{
    if (!PrinterDevMode || !PrinterDevNames)
        throw Exception(L"The printer has no device settings");
    const TGlobalLockGuard devMode(PrinterDevMode.Get());
    const TGlobalLockGuard devNames(PrinterDevNames.Get());
    auto* settings = static_cast<DEVMODEW*>(devMode.Data());
    const auto* names = static_cast<const DEVNAMES*>(devNames.Data());
    if (settings == nullptr || names == nullptr)
        throw Exception(L"The printer has no device settings");
    // Portrait, whatever the dialog chose; it stays so for the next printout.
    settings->dmOrientation = DMORIENT_PORTRAIT;
    settings->dmFields |= DM_ORIENTATION;
    const HDC dc = CreateDCW(DevNamesString(*names, names->wDriverOffset), DevNamesString(*names, names->wDeviceOffset),
                             DevNamesString(*names, names->wOutputOffset), settings);
    if (dc == nullptr)
        ThrowPrintError(L"The printer could not be opened for output");
    return dc;
}

void TMainFrame::PrintSelected()
{
    const int n = dbDisplay.Count();
    if (n == 0)
        return;
    int k = dbDisplay.SelectedCount();
    if (k <= 0)
        return;
    if (!RunPrintDialog())
        return;
    if (Printing)
        throw Exception(L"An earlier printout is still being handed to the printer; try again when it is done");

    const TUniquePrinterDC printer(CreatePortraitPrinterDC());
    const HDC dc = printer.Get();
    const TFlagGuard printing(Printing);
    if (SetAbortProc(dc, PumpMessagesWhilePrinting) <= 0)
        ThrowPrintError(L"The printout could not be prepared");

    std::optional<TPrintJob> job;
    try {
        job.emplace(dc);
    } catch (const TPrintCancelled&) {
        return;
    }
    {
        const std::int32_t points = PointsFromHeight(ListFont.Height, ScreenDpi);
        const TUniqueFont font(CreateFontW(PrinterFontHeight(points, DeviceCaps(dc, LOGPIXELSY)), 0, 0, 0, FW_NORMAL,
                                           FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, ListFont.Face.c_str()));
        if (!font)
            ThrowPrintError(L"The printer font could not be created");
        const TPrinterFontSelection selection(dc, font.Get());
        TPageWriter writer(dc, *job, selection);
        // By index: lines removed while the job is handed over are not read past the end.
        for (int i = 0; i < n && k > 0 && i < dbDisplay.Count(); ++i) {
            if (dbDisplay.Selected(i)) {
                writer.WriteLine(std::string(LineIndent) + WideToAnsi(dbDisplay.Line(i)));
                --k;
            }
        }
    } // the DC's own font is back before the job ends
    job->End();
}
