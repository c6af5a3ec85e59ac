// The skinned controls' base: message routing, shared fonts and flicker-free painting.
#include "skincontrol.h"

#include "label.h"
#include "skinbutton.h"
#include "skindpi.h"
#include "skinimagepanel.h"
#include "skinprogressbar.h"
#include "skinurllabel.h"
#include "windowtext.h"

LRESULT TSkinControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The installer sets the status twice a second, mostly to the text it already shows.
    if (message == WM_SETTEXT && lParam != 0 && Text() == reinterpret_cast<const char*>(lParam)) return TRUE;
    const LRESULT result = DefWindowProcA(handle_, message, wParam, lParam);
    if (message == WM_SETTEXT) {
        InvalidateRect(handle_, nullptr, FALSE);
        AnnounceNameChange(handle_);
    }
    return result;
}

void TSkinControl::PaintParentBackground(HDC dc, const RECT& rect) const {
    HWND parent = GetParent(handle_);
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(handle_)));
    if (brush == nullptr) brush = GetSysColorBrush(COLOR_BTNFACE);
    POINT origin = {0, 0};
    MapWindowPoints(handle_, parent, &origin, 1);
    POINT old;
    SetBrushOrgEx(dc, -origin.x, -origin.y, &old);
    FillRect(dc, &rect, brush);
    SetBrushOrgEx(dc, old.x, old.y, nullptr);
}

std::string TSkinControl::Text() const { return WindowText(handle_); }

LRESULT TSkinStaticControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // painted in one piece
        case WM_PAINT:
            Paint();
            return 0;
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_GETOBJECT:
            return AnswerGetObject(Handle(), Role(), wParam, lParam);
    }
    return TSkinControl::HandleMessage(message, wParam, lParam);
}

LRESULT TSkinClickControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case BM_CLICK:
            Click();
            return 0;
        case WM_GETOBJECT:
            return AnswerGetObject(Handle(), Role(), wParam, lParam);
    }
    return TSkinControl::HandleMessage(message, wParam, lParam);
}

void TSkinClickControl::Click() {
    if (IsWindowEnabled(Handle()) && OnClick) OnClick();
}

void TSkinClickControl::SetHot(bool hot) {
    if (hot == hot_) return;
    hot_ = hot;
    if (hot_) {
        TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, Handle(), 0};
        TrackMouseEvent(&track);
    }
    InvalidateRect(Handle(), nullptr, FALSE);
}

bool TSkinClickControl::ShowsFocusCue() const {
    // The dialog holds the state; controls on panels do not always receive its updates.
    HWND root = GetAncestor(Handle(), GA_ROOT);
    return GetFocus() == Handle() && (SendMessageA(root, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0;
}

HFONT GetSkinFont(SkinFont font) {
    static HFONT fonts[3] = {};
    HFONT& made = fonts[static_cast<int>(font)];
    if (made == nullptr) {
        const int height = -MulDiv(8, ScreenDpi(), 72);
        const bool bold = font == SkinFont::Label;
        const bool underline = font == SkinFont::Link;
        const char* face = font == SkinFont::Button ? "MS Sans Serif" : "Tahoma";
        // The character set of the system's code page, which is what DEFAULT_CHARSET stands
        // for: on a Chinese system the mapper then takes a face that has the Chinese glyphs
        // where the named one has none, on every system alike.
        CHARSETINFO charset = {};
        const UINT_PTR codePage = GetACP();
        if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(codePage), &charset, TCI_SRCCODEPAGE))
            charset.ciCharset = DEFAULT_CHARSET;
        made = CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE, charset.ciCharset,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
    }
    return made;
}

TBufferedPaint::TBufferedPaint(HWND window) : window_(window) {
    BeginPaint(window_, &paint_);
    GetClientRect(window_, &client_);
    memory_ = CreateCompatibleDC(paint_.hdc);
    bitmap_ = CreateCompatibleBitmap(paint_.hdc, client_.right, client_.bottom);
    if (memory_ == nullptr || bitmap_ == nullptr) {
        // Short of GDI resources: draw straight to the window rather than not at all.
        if (memory_ != nullptr) DeleteDC(memory_);
        if (bitmap_ != nullptr) DeleteObject(bitmap_);
        memory_ = nullptr;
        bitmap_ = nullptr;
        return;
    }
    oldBitmap_ = SelectObject(memory_, bitmap_);
}

TBufferedPaint::~TBufferedPaint() {
    if (memory_ != nullptr) {
        BitBlt(paint_.hdc, 0, 0, client_.right, client_.bottom, memory_, 0, 0, SRCCOPY);
        SelectObject(memory_, oldBitmap_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
    }
    EndPaint(window_, &paint_);
}

bool RegisterSkinClasses(HINSTANCE instance) {
    return TSkinImagePanel::Register(instance) && TSkinButton::Register(instance) &&
           TSkinURLLabel::Register(instance) && TLabel::Register(instance) && TSkinProgressBar::Register(instance);
}
