// TSkinProgressBar: painting of the frame and the filled part.
#include "skinprogressbar.h"

#include <commctrl.h>

#include <algorithm>

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
    RECT client;
    GetClientRect(Handle(), &client);
    const int inner = client.right - 2;
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

int TSkinProgressBar::FilledWidth(int inner) const { return inner <= 0 ? 0 : int(int64_t(inner) * position_ / max_); }

void TSkinProgressBar::Paint() {
    TBufferedPaint paint(Handle());
    HDC dc = paint.Dc();
    const RECT& client = paint.Client();
    PaintParentBackground(dc, client);
    HBRUSH frame = CreateSolidBrush(FrameColor);
    FrameRect(dc, &client, frame);
    DeleteObject(frame);
    RECT filled = {client.left + 1, client.top + 1, 0, client.bottom - 1};
    filled.right = filled.left + FilledWidth(client.right - client.left - 2);
    if (filled.right > filled.left && filled.bottom > filled.top) {
        HBRUSH fill = CreateSolidBrush(FillColor);
        FillRect(dc, &filled, fill);
        DeleteObject(fill);
    }
}
