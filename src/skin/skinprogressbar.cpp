// TSkinProgressBar: painting of the frame and the filled part.
#include "skinprogressbar.h"

#include <commctrl.h>

#include <algorithm>

#include "skindpi.h"

bool TSkinProgressBar::Register(HINSTANCE instance) {
    return TSkinControl::Register<TSkinProgressBar>(instance, ClassName, IDC_ARROW);
}

void TSkinProgressBar::SetMax(int max) {
    max_ = std::max(max, 1);
    SetPosition(position_);
}

void TSkinProgressBar::SetPosition(int position) {
    position = std::min(std::max(position, 0), max_);
    if (position == position_) return;
    const int inner = InnerWidth();
    // Repainted and announced only when a pixel or the percentage changes: the position may
    // move thousands of times.
    const bool moves = FilledWidth(inner) != int(int64_t(inner) * position / max_);
    const bool newPercent = ProgressPercent(position_, max_) != ProgressPercent(position, max_);
    position_ = position;
    if (moves) InvalidateRect(Handle(), nullptr, FALSE);
    if (newPercent) AnnounceValueChange(Handle());
}

LRESULT TSkinProgressBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case PBM_GETPOS:
            return position_;
        case PBM_GETRANGE:
            if (lParam != 0) *reinterpret_cast<PBRANGE*>(lParam) = {0, max_};
            return wParam ? 0 : max_;
    }
    return TSkinStaticControl::HandleMessage(message, wParam, lParam);
}

int TSkinProgressBar::FrameLine() const { return ScaleToScreen(1); }

int TSkinProgressBar::InnerWidth() const {
    RECT client;
    GetClientRect(Handle(), &client);
    return client.right - 2 * FrameLine();
}

int TSkinProgressBar::FilledWidth(int inner) const { return inner <= 0 ? 0 : int(int64_t(inner) * position_ / max_); }

void TSkinProgressBar::Paint() {
    TBufferedPaint paint(Handle());
    HDC dc = paint.Dc();
    const RECT& client = paint.Client();
    PaintParentBackground(dc, client);
    const int line = FrameLine();
    HBRUSH frame = CreateSolidBrush(FrameColor);
    RECT ring = client;
    for (int drawn = 0; drawn < line; ++drawn) {
        FrameRect(dc, &ring, frame);
        InflateRect(&ring, -1, -1);
    }
    DeleteObject(frame);
    RECT filled = {client.left + line, client.top + line, 0, client.bottom - line};
    filled.right = filled.left + FilledWidth(InnerWidth());
    if (filled.right > filled.left && filled.bottom > filled.top) {
        HBRUSH fill = CreateSolidBrush(FillColor);
        FillRect(dc, &filled, fill);
        DeleteObject(fill);
    }
}
