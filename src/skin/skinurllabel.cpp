// TSkinURLLabel: link painting, pointer tracking and clicks.
#include "skinurllabel.h"

bool TSkinURLLabel::Register(HINSTANCE instance) {
    return TSkinControl::Register<TSkinURLLabel>(instance, ClassName, IDC_HAND);
}

void TSkinURLLabel::Paint() {
    TBufferedPaint paint(Handle());
    HDC dc = paint.Dc();
    PaintParentBackground(dc, paint.Client());
    const std::string text = Text();
    HGDIOBJ oldFont = SelectObject(dc, GetSkinFont(SkinFont::Link));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsHot() ? HoverColor : NormalColor);
    RECT area = paint.Client();
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (ShowsFocusCue()) {
        RECT cue = paint.Client();
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &cue,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        cue.top = paint.Client().top;
        cue.bottom = paint.Client().bottom;
        cue.right = cue.right + 1 < paint.Client().right ? cue.right + 1 : paint.Client().right;
        DrawFocusRect(dc, &cue);
    }
    SelectObject(dc, oldFont);
}

LRESULT TSkinURLLabel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ENABLE: {
            const LRESULT result = TSkinClickControl::HandleMessage(message, wParam, lParam);
            InvalidateRect(Handle(), nullptr, FALSE);
            return result;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_MOUSEMOVE:
            SetHot(true);
            return 0;
        case WM_MOUSELEAVE:
            SetHot(false);
            return 0;
        case WM_LBUTTONDOWN:
            SetFocus(Handle());
            SetCapture(Handle());
            return 0;
        case WM_LBUTTONUP: {
            if (GetCapture() != Handle()) return 0;
            ReleaseCapture();
            POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            RECT client;
            GetClientRect(Handle(), &client);
            SetHot(false);
            if (PtInRect(&client, point)) Click();
            return 0;
        }
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_SPACE) Click();
            return 0;
        case WM_GETDLGCODE: {
            // Enter belongs to the link while it has the focus, not to the default button.
            const MSG* pending = reinterpret_cast<const MSG*>(lParam);
            if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN)
                return DLGC_WANTMESSAGE;
            return DLGC_WANTCHARS;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_UPDATEUISTATE:
            InvalidateRect(Handle(), nullptr, FALSE);
            break;
    }
    return TSkinClickControl::HandleMessage(message, wParam, lParam);
}
