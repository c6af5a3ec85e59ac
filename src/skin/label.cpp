// TLabel: painting of the centred text.
#include "label.h"

bool TLabel::Register(HINSTANCE instance) { return TSkinControl::Register<TLabel>(instance, ClassName, IDC_ARROW); }

void TLabel::Paint() {
    TBufferedPaint paint(Handle());
    HDC dc = paint.Dc();
    PaintParentBackground(dc, paint.Client());
    const std::string text = Text();
    HGDIOBJ oldFont = SelectObject(dc, GetSkinFont(SkinFont::Label));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    // Centred both ways: measure the wrapped text first, then place it in the middle.
    const UINT format = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;
    RECT measured = paint.Client();
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &measured, format | DT_CALCRECT);
    RECT target = paint.Client();
    const int spare = (target.bottom - target.top) - (measured.bottom - measured.top);
    if (spare > 0) target.top += spare / 2;
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &target, format);
    SelectObject(dc, oldFont);
}
