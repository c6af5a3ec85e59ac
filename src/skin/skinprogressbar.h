// TSkinProgressBar: a flat bar without text, the filled part in the blue of the link, the rest
// in the panel's own background, inside a grey frame one pixel wide at 96 DPI. Screen readers
// read its percentage as its value (PBM_GETPOS within PBM_GETRANGE), told of each new one.
#pragma once

#include "skincontrol.h"
#include "skinurllabel.h"

class TSkinProgressBar : public TSkinStaticControl {
public:
    static constexpr const char* ClassName = "TSkinProgressBar";
    static constexpr COLORREF FillColor = TSkinURLLabel::NormalColor;
    static constexpr COLORREF FrameColor = RGB(160, 160, 160);
    static bool Register(HINSTANCE instance);
    static TSkinProgressBar* FromHandle(HWND window) { return From<TSkinProgressBar>(window); }

    // The bar is full at Max; positions are clamped to 0..Max.
    void SetMax(int max);
    void SetPosition(int position);
    int Position() const { return position_; }
    int Max() const { return max_; }

private:
    friend class TSkinControl;
    using TSkinStaticControl::TSkinStaticControl;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint() override;
    AccessibleRole Role() const override { return AccessibleRole::ProgressBar; }
    // The width of the frame's line and of the room inside it, in pixels.
    int FrameLine() const;
    int InnerWidth() const;
    // The width of the filled part inside the frame, in pixels.
    int FilledWidth(int inner) const;

    int max_ = 100;
    int position_ = 0;
};
