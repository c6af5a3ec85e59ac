// TLabel: a plain text label of fixed size, its text centred in Tahoma 8 pt bold. It repaints
// without flicker, because the installer rewrites its text twice a second.
#pragma once

#include "skincontrol.h"

class TLabel : public TSkinStaticControl {
public:
    static constexpr const char* ClassName = "TLabel";
    static bool Register(HINSTANCE instance);
    static TLabel* FromHandle(HWND window) { return From<TLabel>(window); }

private:
    friend class TSkinControl;
    using TSkinStaticControl::TSkinStaticControl;

    void Paint() override;
    AccessibleRole Role() const override { return AccessibleRole::StaticText; }
};
