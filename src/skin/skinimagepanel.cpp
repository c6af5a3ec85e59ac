// TSkinImagePanel: background painting for itself and the controls it holds.
#include "skinimagepanel.h"

#include "skindpi.h"

bool TSkinImagePanel::Register(HINSTANCE instance) {
    return TSkinControl::Register<TSkinImagePanel>(instance, ClassName, IDC_ARROW);
}

bool TSkinImagePanel::SetBitmap(HINSTANCE instance, int resourceId) {
    XC_Handle<HBITMAP, DeleteObject> bitmap(
        static_cast<HBITMAP>(LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_BITMAP, 0, 0, 0)));
    // The bitmaps are drawn for 96 DPI; on a denser screen the pattern grows with the layout.
    if (bitmap.IsOpen() && ScreenDpi() != kDesignDpi) bitmap.Reset(ScaleBitmapToScreen(bitmap.Get()));
    // The brush keeps its own copy of the pattern.
    tile_.Reset(bitmap.IsOpen() ? CreatePatternBrush(bitmap.Get()) : nullptr);
    InvalidateRect(Handle(), nullptr, TRUE);
    return tile_.IsOpen();
}

HBRUSH TSkinImagePanel::Background() const {
    return tile_.IsOpen() ? tile_.Get() : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

LRESULT TSkinImagePanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
        case WM_PRINTCLIENT: {
            RECT client;
            GetClientRect(Handle(), &client);
            HDC dc = reinterpret_cast<HDC>(wParam);
            POINT old;
            SetBrushOrgEx(dc, 0, 0, &old);
            FillRect(dc, &client, Background());
            SetBrushOrgEx(dc, old.x, old.y, nullptr);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(Handle(), &paint);
            EndPaint(Handle(), &paint);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(Background());
        case WM_COMMAND:
        case WM_NOTIFY:
            // The controls on the panel talk to the window, as if they sat on it directly.
            return SendMessageA(GetParent(Handle()), message, wParam, lParam);
    }
    return TSkinControl::HandleMessage(message, wParam, lParam);
}
