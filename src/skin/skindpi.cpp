// The screen's DPI, and lengths and bitmaps scaled to it.
#include "skindpi.h"

#include <algorithm>

#include "xc_handle.h"

namespace {

using XC_MemoryDc = XC_Handle<HDC, DeleteDC>;

}  // namespace

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kDesignDpi;
}

int ScaleToScreen(int designPixels) { return MulDiv(designPixels, ScreenDpi(), kDesignDpi); }

HBITMAP ScaleBitmapToScreen(HBITMAP bitmap) {
    BITMAP source = {};
    if (GetObjectA(bitmap, sizeof(source), &source) == 0) return nullptr;
    const int width = std::max(ScaleToScreen(source.bmWidth), 1);
    const int height = std::max(ScaleToScreen(source.bmHeight), 1);
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return nullptr;
    XC_MemoryDc from(CreateCompatibleDC(screen));
    XC_MemoryDc to(CreateCompatibleDC(screen));
    HBITMAP scaled = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (!from.IsOpen() || !to.IsOpen() || scaled == nullptr) {
        if (scaled != nullptr) DeleteObject(scaled);
        return nullptr;
    }
    HGDIOBJ oldFrom = SelectObject(from.Get(), bitmap);
    HGDIOBJ oldTo = SelectObject(to.Get(), scaled);
    // HALFTONE averages the source pixels each target pixel covers; it wants the brush origin
    // set again after it is chosen.
    SetStretchBltMode(to.Get(), HALFTONE);
    SetBrushOrgEx(to.Get(), 0, 0, nullptr);
    const bool drawn =
        StretchBlt(to.Get(), 0, 0, width, height, from.Get(), 0, 0, source.bmWidth, source.bmHeight, SRCCOPY) != FALSE;
    SelectObject(to.Get(), oldTo);
    SelectObject(from.Get(), oldFrom);
    if (!drawn) {
        DeleteObject(scaled);
        return nullptr;
    }
    return scaled;
}
