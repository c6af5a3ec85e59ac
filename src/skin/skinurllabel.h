// TSkinURLLabel: a link: blue underlined text, red while the pointer is over it, a hand
// cursor, and a click by mouse, Enter or Space.
#pragma once

#include "skincontrol.h"

class TSkinURLLabel : public TSkinClickControl {
public:
    static constexpr const char* ClassName = "TSkinURLLabel";
    static constexpr COLORREF NormalColor = RGB(0, 0, 255);
    static constexpr COLORREF HoverColor = RGB(255, 0, 0);
    static bool Register(HINSTANCE instance);
    static TSkinURLLabel* FromHandle(HWND window) { return From<TSkinURLLabel>(window); }

private:
    friend class TSkinControl;
    using TSkinClickControl::TSkinClickControl;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    AccessibleRole Role() const override { return AccessibleRole::Link; }
    void Paint();
};
