// Pixels as the screen shows them, read back from the screen's DC (what Xvfb shows under Wine)
// or a window's, and written to a .bmp file for a person to look at.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Gdi.h"

class TScreenImage {
public:
    TScreenImage() = default;

    // The pixels of a rectangle of the screen, in screen coordinates.
    static TScreenImage Capture(const RECT& area) { return Capture(TWindowDC(nullptr).Get(), area); }

    // The pixels of a rectangle of a DC, in its coordinates.
    static TScreenImage Capture(HDC source, const RECT& area)
    {
        TScreenImage image;
        image.FWidth = area.right - area.left;
        image.FHeight = area.bottom - area.top;
        if (image.FWidth <= 0 || image.FHeight <= 0)
            return TScreenImage();
        BITMAPINFO info = image.Info();
        void* bits = nullptr;
        const TUniqueMemoryDC memory(CreateCompatibleDC(source));
        const TUniqueBitmap bitmap(CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap)
            return TScreenImage();
        {
            const TSelectObject selection(memory.Get(), bitmap.Get());
            BitBlt(memory.Get(), 0, 0, image.FWidth, image.FHeight, source, area.left, area.top, SRCCOPY);
        }
        GdiFlush();
        const auto* pixels = static_cast<const std::uint32_t*>(bits);
        image.FPixels.assign(pixels, pixels + static_cast<std::size_t>(image.FWidth) * image.FHeight);
        return image;
    }

    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }
    bool Empty() const noexcept { return FPixels.empty(); }

    COLORREF At(int x, int y) const noexcept
    {
        const std::uint32_t pixel = FPixels[static_cast<std::size_t>(y) * FWidth + x]; // 0x00RRGGBB
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    }

    bool operator==(const TScreenImage&) const = default;

    // A 32-bit top-down .bmp.
    bool SaveBmp(const std::wstring& path) const
    {
        const BITMAPINFO info = Info();
        const auto size = static_cast<DWORD>(FPixels.size() * sizeof(std::uint32_t));
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42; // "BM"
        header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
        header.bfSize = header.bfOffBits + size;
        std::ofstream file(std::filesystem::path(path), std::ios::binary);
        file.write(reinterpret_cast<const char*>(&header), sizeof(header));
        file.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
        file.write(reinterpret_cast<const char*>(FPixels.data()), size);
        return static_cast<bool>(file);
    }

private:
    BITMAPINFO Info() const noexcept
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = FWidth;
        info.bmiHeader.biHeight = -FHeight; // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        return info;
    }

    int FWidth = 0;
    int FHeight = 0;
    std::vector<std::uint32_t> FPixels;
};
