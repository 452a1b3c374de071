// Owners of GDI objects, device contexts, selections, accelerator tables, menus and windows:
// each releases what it holds exactly once and remembers everything the release call needs.
#pragma once

#include <windows.h>

#include "WinHandles.h"

template <class Handle>
struct TGdiObjectTraits {
    using Type = Handle;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type object) noexcept { DeleteObject(object); }
};
using TUniqueFont = TUniqueResource<TGdiObjectTraits<HFONT>>;
using TUniqueBrush = TUniqueResource<TGdiObjectTraits<HBRUSH>>;
using TUniqueBitmap = TUniqueResource<TGdiObjectTraits<HBITMAP>>;

// A memory DC from CreateCompatibleDC.
struct TMemoryDCTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type dc) noexcept { DeleteDC(dc); }
};
using TUniqueMemoryDC = TUniqueResource<TMemoryDCTraits>;

struct TAcceleratorTraits {
    using Type = HACCEL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type table) noexcept { DestroyAcceleratorTable(table); }
};
using TUniqueAccelerators = TUniqueResource<TAcceleratorTraits>;

// A menu not (yet) owned by a window; Release() it once SetMenu has handed it over.
struct TMenuTraits {
    using Type = HMENU;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type menu) noexcept { DestroyMenu(menu); }
};
using TUniqueMenu = TUniqueResource<TMenuTraits>;

struct TWindowTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type window) noexcept { DestroyWindow(window); }
};
using TUniqueWindow = TUniqueResource<TWindowTraits>;

// The common DC of a window's client area (or, with Whole, of the whole window), from GetDC
// or GetWindowDC to ReleaseDC.
class TWindowDC {
public:
    enum TArea { Client, Whole };
    explicit TWindowDC(HWND window, TArea area = Client) noexcept
        : FWindow(window), FDC(area == Client ? GetDC(window) : GetWindowDC(window))
    {
    }
    ~TWindowDC()
    {
        if (FDC)
            ReleaseDC(FWindow, FDC);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;

    HDC Get() const noexcept { return FDC; }

private:
    HWND FWindow;
    HDC FDC;
};

// Selects an object into a DC for a scope and puts the previous one back.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ object) noexcept : FDC(dc), FPrevious(SelectObject(dc, object)) {}
    ~TSelectObject()
    {
        if (FPrevious && FPrevious != HGDI_ERROR)
            SelectObject(FDC, FPrevious);
    }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC FDC;
    HGDIOBJ FPrevious;
};

// BeginPaint to EndPaint.
class TPaintDC {
public:
    explicit TPaintDC(HWND window) noexcept : FWindow(window), FDC(BeginPaint(window, &FPaint)) {}
    ~TPaintDC() { EndPaint(FWindow, &FPaint); }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;

    HDC Get() const noexcept { return FDC; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint{};
    HDC FDC;
};
