// TSkinButton: a push button with a drawn face: normal, hover, pressed, focused, default and
// disabled looks, its caption in MS Sans Serif 8 pt black. Clicked by mouse, Space, or Enter
// when it is the dialog's default button.
#pragma once

#include "skincontrol.h"

class TSkinButton : public TSkinClickControl {
public:
    static constexpr const char* ClassName = "TSkinButton";
    static bool Register(HINSTANCE instance);
    static TSkinButton* FromHandle(HWND window) { return From<TSkinButton>(window); }

    // The face the button shows now.
    enum class Look { Normal, Hover, Pressed, Disabled };
    Look CurrentLook() const;
    bool IsDefault() const { return default_; }

private:
    friend class TSkinControl;
    using TSkinClickControl::TSkinClickControl;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    AccessibleRole Role() const override { return AccessibleRole::PushButton; }
    void Paint();
    void SetPressed(bool pressed);

    bool pressed_ = false;
    bool default_ = false;
};
