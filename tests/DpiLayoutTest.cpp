// The terminal as it looks at 96, 144 and 192 dpi: the program runs with the system's dpi set
// as a user sets it, its window is read back from the screen, and the layout seen at 144 and
// 192 dpi is compared with the one seen at 96 dpi, scaled. The screenshots are kept in
// build/screenshots for a person to look at.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "DebugMain.h"
#include "Dpi.h"
#include "VtSender.h"
#include "support/ScreenImage.h"
#include "support/TerminalProcess.h"

namespace {

using namespace TerminalProcess;

constexpr wchar_t DesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t LogPixels[] = L"LogPixels";
constexpr int PaintSettleMs = 200;
const char* const Lines[] = {"Vellumtrace line 1 of the layout check", "Vellumtrace line 2 of the layout check",
                             "Vellumtrace line 3 of the layout check"};

// The system's dpi as the display settings set it, for programs started from now on; the
// previous setting comes back at the end.
class TSystemDpi {
public:
    explicit TSystemDpi(int dpi)
    {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, DesktopKey, LogPixels, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS)
            FPrevious = value;
        Set(static_cast<DWORD>(dpi));
    }
    ~TSystemDpi()
    {
        if (FPrevious)
            Set(*FPrevious);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, DesktopKey, LogPixels);
    }
    TSystemDpi(const TSystemDpi&) = delete;
    TSystemDpi& operator=(const TSystemDpi&) = delete;

private:
    static void Set(DWORD dpi)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, DesktopKey, LogPixels, REG_DWORD, &dpi, sizeof dpi);
    }
    std::optional<DWORD> FPrevious;
};

// This process reads other windows in physical pixels, whatever their dpi.
void ReadPhysicalPixels()
{
    using TSetContext = BOOL(WINAPI*)(HANDLE);
    const auto setContext = reinterpret_cast<TSetContext>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    const auto perMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    if (setContext == nullptr || !setContext(perMonitorAwareV2))
        SetProcessDPIAware();
}

// How the window's program handles dpi, as the system reports it to another process:
// 2 (DPI_AWARENESS_PER_MONITOR_AWARE) for a program that scales to each monitor itself.
int WindowDpiAwareness(HWND window)
{
    using TGetContext = HANDLE(WINAPI*)(HWND);
    using TGetAwareness = int(WINAPI*)(HANDLE);
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto getContext = reinterpret_cast<TGetContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
    const auto getAwareness = reinterpret_cast<TGetAwareness>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    if (getContext == nullptr || getAwareness == nullptr)
        return -1;
    return getAwareness(getContext(window));
}
constexpr int PerMonitorAware = 2;

// The terminal's client area at one dpi, with the check's lines in its list.
struct TShot {
    int Awareness = -1; // WindowDpiAwareness of the terminal's window
    TScreenImage Client;
};

TShot RunTerminalAt(int dpi)
{
    TShot shot;
    const TSystemDpi systemDpi(dpi);
    TTerminalCopy copy;
    EXPECT_TRUE(copy.Copied);
    // The window at the top left, with the design's size at this dpi: all of it on the screen.
    const std::wstring width = std::to_wstring(ScaleToDpi(525, dpi));
    const std::wstring height = std::to_wstring(ScaleToDpi(480, dpi));
    for (const auto& [key, value] : {std::pair<const wchar_t*, std::wstring>{L"LEFT", L"0"}, {L"TOP", L"0"},
                                     {L"WIDTH", width}, {L"HEIGHT", height}})
        WritePrivateProfileStringW(L"WINDOW", key, value.c_str(), copy.SettingsFile.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, copy.SettingsFile.c_str());

    const TAreaView exchange;
    TProcess terminal(copy.Exe, L"");
    EXPECT_TRUE(terminal.Started());
    const HWND window = exchange.WaitForTerminal();
    EXPECT_NE(window, nullptr);
    const HWND list = FindControl(window, idDbDisplay);
    EXPECT_NE(list, nullptr);
    shot.Awareness = WindowDpiAwareness(window);

    VtSender* sender = VtOpen();
    EXPECT_NE(sender, nullptr);
    for (const char* line : Lines)
        EXPECT_EQ(VtSend(sender, 0, line), VT_OK);
    VtClose(sender);
    EXPECT_TRUE(PollUntil([&] { return ListLines(list).size() == std::size(Lines); }));

    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    // Read until two readings agree: the window has painted everything.
    TScreenImage previous;
    PollUntil([&] {
        Sleep(PaintSettleMs);
        shot.Client = TScreenImage::Capture(client);
        const bool settled = !shot.Client.Empty() && shot.Client == previous;
        previous = shot.Client;
        return settled;
    });
    const std::wstring folder = BinDirectory() + L"..\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    shot.Client.SaveBmp(folder + L"\\dpi-" + std::to_wstring(dpi) + L".bmp");

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(terminal.Finish(), 0u);
    return shot;
}

// ---- what the pixels show --------------------------------------------------------------

enum class TShade { Teal, Navy, Gray, Yellow, Dark, Other };

TShade ShadeOf(COLORREF pixel)
{
    switch (pixel) {
    case RGB(0, 128, 128): return TShade::Teal;
    case RGB(0, 0, 128):   return TShade::Navy;
    case RGB(128, 128, 128): return TShade::Gray;
    case RGB(255, 255, 0): return TShade::Yellow;
    default: break;
    }
    return GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) < 3 * 64 ? TShade::Dark : TShade::Other;
}

// Lengths of the layout read from the pixels, in pixels of the image.
struct TLayout {
    int StripTop = -1;    // the teal strip, at the right end of the window
    int StripBottom = -1; // last teal row
    RECT Edit{-1, -1, -1, -1}; // the navy line-limit field, right and bottom exclusive
    int ListTop = -1;     // first grey row of the list
    int FirstLineTop = -1;  // first row with text in the list
    int SecondLineTop = -1; // first row of the next line of text
    int TextRight = -1;     // one past the last text column of the first line
};

TLayout MeasureLayout(const TScreenImage& image, int dpi)
{
    TLayout layout;
    const int stripColumn = image.Width() - ScaleToDpi(6, dpi);
    for (int y = 0; y < image.Height(); ++y) {
        const bool teal = ShadeOf(image.At(stripColumn, y)) == TShade::Teal;
        if (teal && layout.StripTop < 0)
            layout.StripTop = y;
        if (!teal && layout.StripTop >= 0) {
            layout.StripBottom = y - 1;
            break;
        }
    }
    layout.Edit = RECT{image.Width(), image.Height(), -1, -1};
    for (int y = 0; y < std::min(image.Height(), layout.StripBottom + 1); ++y)
        for (int x = 0; x < image.Width(); ++x)
            if (ShadeOf(image.At(x, y)) == TShade::Navy) {
                layout.Edit.left = std::min<LONG>(layout.Edit.left, x);
                layout.Edit.top = std::min<LONG>(layout.Edit.top, y);
                layout.Edit.right = std::max<LONG>(layout.Edit.right, x + 1);
                layout.Edit.bottom = std::max<LONG>(layout.Edit.bottom, y + 1);
            }
    const int listColumn = image.Width() / 2;
    for (int y = layout.StripBottom + 1; y < image.Height() && layout.ListTop < 0; ++y)
        if (ShadeOf(image.At(listColumn, y)) == TShade::Gray)
            layout.ListTop = y;
    // Rows of the list with text in them, inside the list's borders; a row that is dark over
    // half its width is a border line, not text.
    const int left = ScaleToDpi(6, dpi);
    const int right = image.Width() - ScaleToDpi(6, dpi);
    const auto textRight = [&](int y) {
        int last = -1;
        int dark = 0;
        for (int x = left; x < right; ++x)
            if (ShadeOf(image.At(x, y)) == TShade::Dark) {
                last = x + 1;
                ++dark;
            }
        return dark * 2 < right - left ? last : -1;
    };
    bool inLine = false;
    for (int y = std::max(layout.ListTop, 0); y < image.Height() && layout.SecondLineTop < 0; ++y) {
        const int rowRight = textRight(y);
        const bool text = rowRight >= 0;
        if (text && !inLine)
            (layout.FirstLineTop < 0 ? layout.FirstLineTop : layout.SecondLineTop) = y;
        if (text && layout.SecondLineTop < 0)
            layout.TextRight = std::max(layout.TextRight, rowRight);
        inLine = text;
    }
    return layout;
}

// The share of the 96-dpi picture's pixels whose shade the scaled picture shows at the
// scaled place, over the rows from `top` to `bottom` (exclusive) of the 96-dpi picture.
double ShadeAgreement(const TScreenImage& design, const TScreenImage& scaled, double scale, int top, int bottom)
{
    long agreeing = 0;
    long counted = 0;
    for (int y = top; y < bottom; ++y) {
        const int scaledY = static_cast<int>((y + 0.5) * scale);
        for (int x = 0; x < design.Width(); ++x) {
            const int scaledX = static_cast<int>((x + 0.5) * scale);
            if (scaledX >= scaled.Width() || scaledY >= scaled.Height())
                continue;
            ++counted;
            agreeing += ShadeOf(design.At(x, y)) == ShadeOf(scaled.At(scaledX, scaledY)) ? 1 : 0;
        }
    }
    return counted > 0 ? static_cast<double>(agreeing) / counted : 0.0;
}

class DpiLayout : public testing::Test {
protected:
    static void SetUpTestSuite() { ReadPhysicalPixels(); }
};

TEST_F(DpiLayout, LayoutAt144And192DpiIsThe96DpiLayoutScaled)
{
    const TShot design = RunTerminalAt(DesignDpi);
    ASSERT_FALSE(design.Client.Empty());
    EXPECT_EQ(design.Awareness, PerMonitorAware);
    const TLayout base = MeasureLayout(design.Client, DesignDpi);
    // The 96-dpi picture itself shows the design: strip inside the panel's bevels, the field,
    // the list below the strip, lines as high as the list font makes them.
    EXPECT_EQ(base.StripTop, 2);
    EXPECT_EQ(base.StripBottom, 24);
    EXPECT_EQ(base.Edit.left, 1 + 454);
    EXPECT_EQ(base.Edit.top, 1 + 5);
    EXPECT_EQ(base.Edit.right, 1 + 454 + 38);
    EXPECT_EQ(base.Edit.bottom, 1 + 3 + 18 - 2); // its last row lies under the frame's bottom lines
    EXPECT_GT(base.FirstLineTop, base.ListTop);
    EXPECT_GT(base.SecondLineTop, base.FirstLineTop);

    for (const int dpi : {144, 192}) {
        SCOPED_TRACE(dpi);
        const TShot shot = RunTerminalAt(dpi);
        ASSERT_FALSE(shot.Client.Empty());
        EXPECT_EQ(shot.Awareness, PerMonitorAware);
        const TLayout layout = MeasureLayout(shot.Client, dpi);
        const double scale = dpi / static_cast<double>(DesignDpi);
        // Offsets are rounded once per component: a pixel or two either way.
        const int slack = ScaleToDpi(1, dpi);
        const auto expectScaled = [&](const char* what, int measured, int designValue) {
            EXPECT_NEAR(measured, designValue * scale, slack) << what;
        };
        expectScaled("strip top", layout.StripTop, base.StripTop);
        expectScaled("strip bottom", layout.StripBottom + 1, base.StripBottom + 1);
        expectScaled("field left", layout.Edit.left, base.Edit.left);
        expectScaled("field top", layout.Edit.top, base.Edit.top);
        expectScaled("field right", layout.Edit.right, base.Edit.right);
        expectScaled("field bottom", layout.Edit.bottom, base.Edit.bottom);
        expectScaled("list top", layout.ListTop, base.ListTop);
        expectScaled("line pitch", layout.SecondLineTop - layout.FirstLineTop, base.SecondLineTop - base.FirstLineTop);
        // Text widths follow the font's hinted advances, which round per size.
        EXPECT_NEAR(layout.TextRight, base.TextRight * scale, base.TextRight * scale * 0.08) << "text width";

        const int stripRows = base.StripBottom + 2;
        const double strip = ShadeAgreement(design.Client, shot.Client, scale, 0, stripRows);
        const double whole = ShadeAgreement(design.Client, shot.Client, scale, 0, design.Client.Height());
        std::printf("%d dpi: shades agree with the 96-dpi picture scaled in %.1f %% of the strip, %.1f %% of the whole\n",
                    dpi, strip * 100, whole * 100);
        // Text and check marks are drawn anew at each size; the 96-dpi layout left unscaled
        // agrees in 41 % (144 dpi) and 27 % (192 dpi) of the strip, and 91 % and 87 % of the whole.
        EXPECT_GT(strip, 0.80);
        EXPECT_GT(whole, 0.95);
    }
}

} // namespace
