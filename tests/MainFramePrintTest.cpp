// Printing through the real window, the real print dialog (confirmed or cancelled from its
// hook) and a real printer of this Wine prefix: Wine's PostScript driver writing to a file,
// which the test reads back. The driver draws text glyph by glyph ("/H glyphshow") after a
// "x y moveto" in device units from the page's top left, declares "%%Orientation:" and names
// the font it downloads ("/FontName /Tahoma def") with its size ("[41 0 0 -41 0 0]" on the
// line before "makefont").
#include <windows.h>

#include <commdlg.h>
#include <winspool.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LineExport.h"
#include "support/MainFrameFixture.h"

namespace {

using namespace MainFrameFixture;

constexpr wchar_t PrinterName[] = L"Vellumtrace Test Printer";
constexpr wchar_t DriverName[] = L"Vellumtrace Test PostScript";
constexpr wchar_t PrinterDriver[] = L"wineps.drv";
constexpr wchar_t OutputFile[] = L"C:\\vellumtrace-printout.ps";
constexpr wchar_t GhostscriptFolder[] = L"Z:\\usr\\share\\ghostscript\\";
constexpr wchar_t Ppd[] = L"\\lib\\ghostpdf.ppd";
constexpr DWORD OutputWaitMs = 10000;
constexpr DWORD OutputPollMs = 20;
constexpr UINT WindowsLatin1 = 1252;
constexpr int PointsPerInch = 72;

// Ghostscript's PDF printer description, as a Windows path with backslashes.
std::wstring FindPpd()
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((std::wstring(GhostscriptFolder) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    std::wstring result;
    do {
        const std::wstring candidate = GhostscriptFolder + std::wstring(found.cFileName) + Ppd;
        if (found.cFileName[0] != L'.' && GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES)
            result = candidate;
    } while (result.empty() && FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

struct TPrinterHandle {
    HANDLE Handle = nullptr;
    ~TPrinterHandle()
    {
        if (Handle != nullptr)
            ClosePrinter(Handle);
    }
};

// The test printer: created in this prefix when absent, the default printer, and set up with
// landscape as its default orientation, as if the user chose landscape in the dialog.
testing::AssertionResult EnsureTestPrinter()
{
    TPrinterHandle printer;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<wchar_t*>(PrinterName), &printer.Handle, &access)) {
        std::wstring ppd = FindPpd();
        if (ppd.empty())
            return testing::AssertionFailure() << "no ghostpdf.ppd under /usr/share/ghostscript";
        DRIVER_INFO_3W driver{};
        driver.cVersion = 3;
        driver.pName = const_cast<wchar_t*>(DriverName);
        driver.pDriverPath = const_cast<wchar_t*>(PrinterDriver);
        driver.pConfigFile = const_cast<wchar_t*>(PrinterDriver);
        driver.pDataFile = ppd.data();
        if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY))
            return testing::AssertionFailure() << "AddPrinterDriverExW: " << GetLastError();
        PRINTER_INFO_2W info{};
        info.pPrinterName = const_cast<wchar_t*>(PrinterName);
        info.pDriverName = const_cast<wchar_t*>(DriverName);
        info.pPortName = const_cast<wchar_t*>(OutputFile);
        info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
        info.pDatatype = const_cast<wchar_t*>(L"RAW");
        printer.Handle = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
        if (printer.Handle == nullptr)
            return testing::AssertionFailure() << "AddPrinterW: " << GetLastError();
    }
    if (!SetDefaultPrinterW(PrinterName))
        return testing::AssertionFailure() << "SetDefaultPrinterW: " << GetLastError();

    DWORD needed = 0;
    GetPrinterW(printer.Handle, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterW(printer.Handle, 2, buffer.data(), needed, &needed))
        return testing::AssertionFailure() << "GetPrinterW: " << GetLastError();
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    if (info->pDevMode == nullptr)
        return testing::AssertionFailure() << "the printer has no default settings";
    if (info->pDevMode->dmOrientation != DMORIENT_LANDSCAPE) {
        info->pDevMode->dmOrientation = DMORIENT_LANDSCAPE;
        info->pDevMode->dmFields |= DM_ORIENTATION;
        info->pSecurityDescriptor = nullptr;
        if (!SetPrinterW(printer.Handle, 2, buffer.data(), 0))
            return testing::AssertionFailure() << "SetPrinterW: " << GetLastError();
    }
    return testing::AssertionSuccess();
}

int PrinterDpiY()
{
    const HDC info = CreateICW(nullptr, PrinterName, nullptr, nullptr);
    const int dpi = info != nullptr ? GetDeviceCaps(info, LOGPIXELSY) : 0;
    if (info != nullptr)
        DeleteDC(info);
    return dpi;
}

// ---- the printout as the driver wrote it ----------------------------------------------------

struct TPrintedLine {
    int Page = 0;
    int Y = 0;
    std::wstring Text;
};

struct TPrintout {
    bool Complete = false;
    std::string Raw;
    std::vector<std::string> Orientations; // "%%Orientation:" values
    std::vector<std::string> FontNames;
    std::vector<int> FontSizes;           // from the makefont matrices
    int Pages = 0;
    std::vector<TPrintedLine> Lines;

    std::vector<std::wstring> Texts() const
    {
        std::vector<std::wstring> texts;
        for (const TPrintedLine& line : Lines)
            texts.push_back(line.Text);
        return texts;
    }
};

// The character a glyph name stands for; unknown names come back in braces.
std::wstring GlyphText(const std::string& name)
{
    static const std::map<std::string, wchar_t> named = {
        {"space", L' '},      {"uni00A0", L' '},   {"nbspace", L' '},    {"question", L'?'},
        {"zero", L'0'},       {"one", L'1'},       {"two", L'2'},        {"three", L'3'},
        {"four", L'4'},       {"five", L'5'},      {"six", L'6'},        {"seven", L'7'},
        {"eight", L'8'},      {"nine", L'9'},      {"udieresis", L'\u00fc'}, {"germandbls", L'\u00df'},
        {"period", L'.'},     {"comma", L','},     {"colon", L':'},
    };
    if (name.size() == 1)
        return std::wstring(1, static_cast<wchar_t>(name[0]));
    if (const auto found = named.find(name); found != named.end())
        return std::wstring(1, found->second);
    if (name.size() == 7 && name.compare(0, 3, "uni") == 0)
        return std::wstring(1, static_cast<wchar_t>(std::strtoul(name.c_str() + 3, nullptr, 16)));
    return L"{" + std::wstring(name.begin(), name.end()) + L"}";
}

TPrintout ParsePrintout(const std::string& raw)
{
    TPrintout printout;
    printout.Raw = raw;
    printout.Complete = raw.find("%%EOF") != std::string::npos;
    std::istringstream lines(raw);
    std::string line;
    int y = 0;
    bool newRun = false;
    int matrixSize = 0; // "[size 0 0 -size 0 0]" on the line before "makefont"
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
        if (line.rfind("%%Orientation:", 0) == 0 && w.size() == 2) {
            printout.Orientations.push_back(w[1]);
        } else if (line.rfind("%%Page:", 0) == 0) {
            ++printout.Pages;
        } else if (w.size() == 3 && w[0] == "/FontName" && w[2] == "def") {
            printout.FontNames.push_back(w[1].substr(1));
        } else if (w.size() == 6 && w[0].size() > 1 && w[0][0] == '[' && w[5].back() == ']') {
            matrixSize = std::atoi(w[0].c_str() + 1);
        } else if (!w.empty() && w[0] == "makefont") {
            printout.FontSizes.push_back(matrixSize);
        } else if (w.size() == 3 && w[2] == "moveto") {
            // A run at the same height continues the printed line.
            const int runY = std::atoi(w[1].c_str());
            newRun = printout.Lines.empty() || printout.Lines.back().Page != printout.Pages || runY != y;
            y = runY;
        } else if (w.size() == 2 && w[1] == "glyphshow" && w[0].size() > 1 && w[0][0] == '/') {
            if (newRun)
                printout.Lines.push_back({printout.Pages, y, L""});
            newRun = false;
            printout.Lines.back().Text += GlyphText(w[0].substr(1));
        }
    }
    return printout;
}

std::string ReadFileBytes(const wchar_t* path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The printout once the driver has finished it; incomplete when the time ran out.
TPrintout WaitForPrintout()
{
    const ULONGLONG deadline = GetTickCount64() + OutputWaitMs;
    for (;;) {
        TPrintout printout = ParsePrintout(ReadFileBytes(OutputFile));
        if (printout.Complete || GetTickCount64() >= deadline)
            return printout;
        Sleep(OutputPollMs);
    }
}

bool OutputExists() { return GetFileAttributesW(OutputFile) != INVALID_FILE_ATTRIBUTES; }

// ---- the print dialog -----------------------------------------------------------------------

struct TPrintDialogRun {
    int Opened = 0;
    std::wstring Device;       // the printer the dialog opened on ("" without one)
    short Orientation = 0;     // of the settings it opened on, 0 without any
    DWORD Flags = 0;
};

// Confirms (or cancels) the real print dialog.
void DrivePrintDialog(TPrintDialogRun& run, bool confirm)
{
    SetDialogInitHandler([&run, confirm](HWND dialog, LPARAM record) {
        const auto* print = reinterpret_cast<const PRINTDLGW*>(record);
        ++run.Opened;
        run.Flags = print->Flags;
        run.Device.clear();
        run.Orientation = 0;
        if (print->hDevNames != nullptr) {
            const auto* names = static_cast<const DEVNAMES*>(GlobalLock(print->hDevNames));
            run.Device = reinterpret_cast<const wchar_t*>(names) + names->wDeviceOffset;
            GlobalUnlock(print->hDevNames);
        }
        if (print->hDevMode != nullptr) {
            run.Orientation = static_cast<const DEVMODEW*>(GlobalLock(print->hDevMode))->dmOrientation;
            GlobalUnlock(print->hDevMode);
        }
        PostMessageW(dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
    });
}

short KeptOrientation(const TMainFrame& frame)
{
    const HGLOBAL block = TMainFrameProbe::PrinterDevMode(frame);
    if (block == nullptr)
        return 0;
    const short orientation = static_cast<const DEVMODEW*>(GlobalLock(block))->dmOrientation;
    GlobalUnlock(block);
    return orientation;
}

class Print : public TMainFrameTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), WindowsLatin1) << "the expected glyphs are those of code page 1252";
        ASSERT_TRUE(EnsureTestPrinter());
        DeleteFileW(OutputFile);
        TMainFrameTest::SetUp();
    }
    void TearDown() override
    {
        TMainFrameTest::TearDown();
        DeleteFileW(OutputFile);
    }

    void SetListFont(const wchar_t* face, int points)
    {
        const int dpi = Probe::ScreenDpi(*Frame);
        Probe::SetListFont(*Frame, TFontSpec{face, -MulDiv(points, dpi, PointsPerInch), 0});
    }
};

TEST_F(Print, SelectedLinesComeOutIndentedInOrderInPortraitInTheListFont)
{
    const int dpi = PrinterDpiY();
    ASSERT_GT(dpi, 0);
    // Wine's own Tahoma goes by "WineTahoma" in PostScript.
    const struct {
        const wchar_t* Face;
        const char* PostScriptName;
        int Points;
    } fonts[] = {{L"Tahoma", "WineTahoma", 10}, {L"Liberation Mono", "LiberationMono", 12}};
    AddLines({"line 0", "line 1", "Gr\xFC\xDF" "e 2", "line 3", "line 4", "line 5"});
    AddWideLine(std::wstring(L"Zhe \u0416 6"));
    Select({1, 2, 4, 6});
    const std::vector<std::wstring> expected = {L"    line 1", L"    Gr\u00fc\u00dfe 2", L"    line 4", L"    Zhe ? 6"};

    for (const auto& font : fonts) {
        SCOPED_TRACE(font.PostScriptName);
        DeleteFileW(OutputFile);
        SetListFont(font.Face, font.Points);
        TPrintDialogRun run;
        DrivePrintDialog(run, true);
        Command(cmPrint1);
        ASSERT_EQ(run.Opened, 1);
        EXPECT_TRUE(Boxes.empty());

        const TPrintout printout = WaitForPrintout();
        ASSERT_TRUE(printout.Complete);
        EXPECT_EQ(printout.Texts(), expected);
        EXPECT_EQ(printout.Pages, 1);
        EXPECT_EQ(printout.Orientations, std::vector<std::string>{"Portrait"});
        EXPECT_EQ(printout.Raw.find("-90 rotate"), std::string::npos);
        EXPECT_EQ(printout.FontNames, std::vector<std::string>{font.PostScriptName});
        ASSERT_FALSE(printout.FontSizes.empty());
        for (const int size : printout.FontSizes)
            EXPECT_EQ(size, -PrinterFontHeight(font.Points, dpi));
        for (std::size_t i = 1; i < printout.Lines.size(); ++i)
            EXPECT_GT(printout.Lines[i].Y, printout.Lines[i - 1].Y); // from the top down
        EXPECT_EQ(KeptOrientation(*Frame), DMORIENT_PORTRAIT);
        EXPECT_EQ(SelectedLines(), (std::set<int>{1, 2, 4, 6}));
        SetDialogInitHandler({});
    }
}

TEST_F(Print, TheDialogOpensOnTheCurrentPrinterWhichStaysPortrait)
{
    AddLines({"only"});
    Select({0});
    TPrintDialogRun run;
    DrivePrintDialog(run, true);
    Command(cmPrint1);
    ASSERT_EQ(run.Opened, 1);
    // The first time the dialog takes the default printer, set up for landscape.
    EXPECT_EQ(run.Device, L"");
    ASSERT_TRUE(WaitForPrintout().Complete);
    const HGLOBAL kept = Probe::PrinterDevMode(*Frame);
    ASSERT_NE(kept, nullptr);
    ASSERT_NE(Probe::PrinterDevNames(*Frame), nullptr);

    DeleteFileW(OutputFile);
    DrivePrintDialog(run, false);
    Command(cmPrint1);
    ASSERT_EQ(run.Opened, 2);
    EXPECT_EQ(run.Device, PrinterName);
    EXPECT_EQ(run.Orientation, DMORIENT_PORTRAIT);
    // Cancelled: no job, and the current printer is the one it was.
    EXPECT_FALSE(OutputExists());
    EXPECT_EQ(Probe::PrinterDevMode(*Frame), kept);
    EXPECT_EQ(KeptOrientation(*Frame), DMORIENT_PORTRAIT);

    DrivePrintDialog(run, true);
    Command(cmPrint1);
    ASSERT_EQ(run.Opened, 3);
    const TPrintout printout = WaitForPrintout();
    EXPECT_EQ(printout.Texts(), std::vector<std::wstring>{L"    only"});
    EXPECT_EQ(printout.Orientations, std::vector<std::string>{"Portrait"});
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Print, ACancelledDialogStartsNoJob)
{
    AddLines({"one", "two"});
    Select({0, 1});
    TPrintDialogRun run;
    DrivePrintDialog(run, false);
    Command(cmPrint1);
    ASSERT_EQ(run.Opened, 1);
    EXPECT_FALSE(OutputExists());
    EXPECT_EQ(Probe::PrinterDevMode(*Frame), nullptr);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Print, NothingSelectedOrAnEmptyListShowsNoDialog)
{
    TPrintDialogRun run;
    DrivePrintDialog(run, true);
    Command(cmPrint1);
    AddLines({"one", "two"});
    Command(cmPrint1);
    EXPECT_EQ(run.Opened, 0);
    EXPECT_FALSE(OutputExists());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Print, ManyLinesRunOverSeveralPagesEachFromTheTop)
{
    std::vector<std::string> lines;
    std::vector<std::wstring> expected;
    for (int i = 0; i < 150; ++i) {
        lines.push_back("line " + std::to_string(i));
        expected.push_back(L"    line " + std::to_wstring(i));
    }
    AddLines(lines);
    SendMessageW(List(), LB_SELITEMRANGEEX, 0, 149);
    SetListFont(L"Tahoma", 14);
    TPrintDialogRun run;
    DrivePrintDialog(run, true);
    Command(cmPrint1);
    ASSERT_EQ(run.Opened, 1);

    const TPrintout printout = WaitForPrintout();
    ASSERT_TRUE(printout.Complete);
    EXPECT_EQ(printout.Texts(), expected);
    EXPECT_GE(printout.Pages, 2);
    ASSERT_EQ(printout.Lines.back().Page, printout.Pages);
    const int top = printout.Lines.front().Y;
    for (std::size_t i = 1; i < printout.Lines.size(); ++i) {
        const TPrintedLine& previous = printout.Lines[i - 1];
        const TPrintedLine& line = printout.Lines[i];
        if (line.Page == previous.Page)
            EXPECT_GT(line.Y, previous.Y) << i;
        else
            EXPECT_EQ(line.Y, top) << i; // a new page starts at the top again
    }
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Print, ASecondPrintWhileOneIsHandedOverIsRefusedAndTheFirstGoesOn)
{
    AddLines({"first", "second"});
    Select({0, 1});
    int opened = 0;
    // The user chooses "Print" again as soon as the first dialog is confirmed; the second
    // dialog is confirmed too.
    SetDialogInitHandler([this, &opened](HWND dialog, LPARAM) {
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        if (++opened == 1)
            PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(cmPrint1, 0), 0);
    });
    Command(cmPrint1);
    EXPECT_EQ(opened, 2);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find(L"still being handed to the printer"), std::wstring::npos) << WideToUtf8(Boxes[0].Text);
    EXPECT_EQ(Boxes[0].Type, static_cast<UINT>(MB_OK | MB_ICONSTOP));

    const TPrintout printout = WaitForPrintout();
    EXPECT_EQ(printout.Texts(), (std::vector<std::wstring>{L"    first", L"    second"}));
    EXPECT_EQ(printout.Pages, 1);
}

} // namespace
