#include "Panel.h"

#include <memory>

#include "Exception.h"
#include "Gdi.h"

namespace {

constexpr wchar_t PanelClassName[] = L"VellumtracePanel";

struct TPanelState {
    TUniqueBrush Brush;
    TBevel Bevel;
};

struct TPanelParams {
    COLORREF Color;
    TBevel Bevel;
};

TPanelState* State(HWND panel) noexcept
{
    return reinterpret_cast<TPanelState*>(GetWindowLongPtrW(panel, GWLP_USERDATA));
}

void PaintBevel(HWND panel, const TPanelState& state)
{
    TPaintDC dc(panel);
    RECT bounds;
    GetClientRect(panel, &bounds);
    DrawEdge(dc.Get(), &bounds, state.Bevel == TBevel::Raised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
}

bool IsChildNotification(UINT message) noexcept
{
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* params = static_cast<const TPanelParams*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        auto state = std::make_unique<TPanelState>(TPanelState{TUniqueBrush(CreateSolidBrush(params->Color)), params->Bevel});
        if (!state->Brush)
            return FALSE;
        SetWindowLongPtrW(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.release()));
    }
    TPanelState* state = State(panel);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(panel, GWLP_USERDATA, 0);
        delete state;
        return DefWindowProcW(panel, message, wParam, lParam);
    }
    if (state != nullptr) {
        if (IsChildNotification(message))
            return SendMessageW(GetParent(panel), message, wParam, lParam);
        switch (message) {
        case WM_ERASEBKGND: {
            RECT bounds;
            GetClientRect(panel, &bounds);
            FillRect(reinterpret_cast<HDC>(wParam), &bounds, state->Brush.Get());
            return 1;
        }
        case WM_PAINT:
            PaintBevel(panel, *state);
            return 0;
        default:
            break;
        }
    }
    return DefWindowProcW(panel, message, wParam, lParam);
}

void RegisterPanelClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, PanelClassName, &windowClass))
        return;
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW; // the bevel follows the size
    windowClass.lpfnWndProc = PanelProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = PanelClassName;
    if (RegisterClassExW(&windowClass) == 0)
        throw Exception(L"The panel window class cannot be registered.");
}

} // namespace

COLORREF ColorToRGB(std::int32_t color) noexcept
{
    if (color < 0)
        return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color);
}

HWND CreatePanel(HWND parent, int id, const RECT& bounds, std::int32_t color, TBevel bevel)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterPanelClass(instance);
    TPanelParams params{ColorToRGB(color), bevel};
    const HWND panel = CreateWindowExW(0, PanelClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                       bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                                       parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, &params);
    if (panel == nullptr)
        throw Exception(L"A panel window cannot be created.");
    return panel;
}

HBRUSH PanelBrush(HWND panel) noexcept
{
    const TPanelState* state = State(panel);
    return state != nullptr ? state->Brush.Get() : nullptr;
}
