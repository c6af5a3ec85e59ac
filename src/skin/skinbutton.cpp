// TSkinButton: face painting, pointer and keyboard handling.
#include "skinbutton.h"

#include "skindpi.h"
#include "xc_handle.h"

namespace {

struct Face {
    COLORREF top;
    COLORREF bottom;
    COLORREF border;
    COLORREF text;
};

// Indexed by TSkinButton::Look.
const Face kFaces[] = {
    {RGB(0xFF, 0xFF, 0xFF), RGB(0xD6, 0xDE, 0xEA), RGB(0x5F, 0x72, 0x91), RGB(0x00, 0x00, 0x00)},  // normal
    {RGB(0xF7, 0xFB, 0xFF), RGB(0xC2, 0xD9, 0xF4), RGB(0x3C, 0x7F, 0xB1), RGB(0x00, 0x00, 0x00)},  // hover
    {RGB(0xBF, 0xCF, 0xE4), RGB(0xE8, 0xEE, 0xF6), RGB(0x2C, 0x62, 0x8B), RGB(0x00, 0x00, 0x00)},  // pressed
    {RGB(0xF1, 0xF2, 0xF4), RGB(0xE4, 0xE6, 0xEA), RGB(0xAD, 0xB2, 0xBB), RGB(0x8D, 0x8D, 0x8D)},  // disabled
};

COLORREF Blend(COLORREF from, COLORREF to, int step, int steps) {
    auto mix = [&](int a, int b) { return a + (b - a) * step / (steps > 1 ? steps - 1 : 1); };
    return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
               mix(GetBValue(from), GetBValue(to)));
}

using XC_GdiRegion = XC_Handle<HRGN, DeleteObject>;
using XC_GdiBrush = XC_Handle<HBRUSH, DeleteObject>;

}  // namespace

bool TSkinButton::Register(HINSTANCE instance) {
    return TSkinControl::Register<TSkinButton>(instance, ClassName, IDC_ARROW);
}

TSkinButton::Look TSkinButton::CurrentLook() const {
    if (!IsWindowEnabled(Handle())) return Look::Disabled;
    if (pressed_) return Look::Pressed;
    return IsHot() ? Look::Hover : Look::Normal;
}

void TSkinButton::SetPressed(bool pressed) {
    if (pressed == pressed_) return;
    pressed_ = pressed;
    InvalidateRect(Handle(), nullptr, FALSE);
}

void TSkinButton::Paint() {
    TBufferedPaint paint(Handle());
    HDC dc = paint.Dc();
    const RECT& client = paint.Client();
    PaintParentBackground(dc, client);

    const Look look = CurrentLook();
    const Face& face = kFaces[static_cast<int>(look)];
    const int height = client.bottom - client.top;
    // The face is designed in pixels at 96 DPI: its lines and corners grow with the screen's DPI.
    const int stroke = ScaleToScreen(1);
    XC_GdiRegion shape(CreateRoundRectRgn(client.left, client.top, client.right + 1, client.bottom + 1,
                                          ScaleToScreen(5), ScaleToScreen(5)));
    SelectClipRgn(dc, shape.Get());
    for (int row = 0; row < height; ++row) {
        XC_GdiBrush line(CreateSolidBrush(Blend(face.top, face.bottom, row, height)));
        RECT band = {client.left, client.top + row, client.right, client.top + row + 1};
        FillRect(dc, &band, line.Get());
    }
    SelectClipRgn(dc, nullptr);
    XC_GdiBrush border(CreateSolidBrush(face.border));
    FrameRgn(dc, shape.Get(), border.Get(), stroke, stroke);
    if (default_ && look != Look::Disabled) {
        // The default button carries a second, inner frame.
        XC_GdiRegion inner(CreateRoundRectRgn(client.left + stroke, client.top + stroke, client.right + 1 - stroke,
                                              client.bottom + 1 - stroke, ScaleToScreen(4), ScaleToScreen(4)));
        XC_GdiBrush glow(CreateSolidBrush(RGB(0x8F, 0xB8, 0xE6)));
        FrameRgn(dc, inner.Get(), glow.Get(), stroke, stroke);
    }

    const std::string text = Text();
    HGDIOBJ oldFont = SelectObject(dc, GetSkinFont(SkinFont::Button));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, face.text);
    RECT area = client;
    if (look == Look::Pressed) OffsetRect(&area, stroke, stroke);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    if (ShowsFocusCue()) {
        RECT cue = client;
        InflateRect(&cue, -ScaleToScreen(4), -ScaleToScreen(4));
        SetTextColor(dc, RGB(0, 0, 0));
        DrawFocusRect(dc, &cue);
    }
}

LRESULT TSkinButton::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ENABLE:
            if (!wParam) {
                SetHot(false);
                pressed_ = false;
                if (GetCapture() == Handle()) ReleaseCapture();
            }
            InvalidateRect(Handle(), nullptr, FALSE);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_MOUSEMOVE: {
            SetHot(true);
            if (GetCapture() == Handle()) {
                POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                RECT client;
                GetClientRect(Handle(), &client);
                SetPressed(PtInRect(&client, point) != FALSE);
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            SetHot(false);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetFocus(Handle());
            SetCapture(Handle());
            SetPressed(true);
            return 0;
        case WM_LBUTTONUP: {
            if (GetCapture() != Handle()) return 0;
            const bool inside = pressed_;
            ReleaseCapture();
            SetPressed(false);
            if (inside) Click();
            return 0;
        }
        case WM_CAPTURECHANGED:
            SetPressed(false);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_SPACE) SetPressed(true);
            return 0;
        case WM_KEYUP:
            if (wParam == VK_SPACE && pressed_) {
                SetPressed(false);
                Click();
            }
            return 0;
        case WM_GETDLGCODE:
            return DLGC_BUTTON | (default_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        case BM_SETSTYLE:
            // The dialog manager moves the default look between buttons this way.
            default_ = (wParam & 0x0F) == BS_DEFPUSHBUTTON;
            if (lParam) InvalidateRect(Handle(), nullptr, FALSE);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            SetPressed(false);
            InvalidateRect(Handle(), nullptr, FALSE);
            break;
        case WM_UPDATEUISTATE:
            InvalidateRect(Handle(), nullptr, FALSE);
            break;
    }
    return TSkinClickControl::HandleMessage(message, wParam, lParam);
}
