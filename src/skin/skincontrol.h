// The base of the skinned controls: each control is a window class of its own whose window
// procedure owns one C++ object per window, made at creation and deleted with the window, so
// controls placed by a dialog template work like any other.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "skinaccessible.h"

class TSkinControl {
public:
    TSkinControl(const TSkinControl&) = delete;
    TSkinControl& operator=(const TSkinControl&) = delete;

    HWND Handle() const { return handle_; }
    // The window's text (its caption); empty when it has none.
    std::string Text() const;

protected:
    explicit TSkinControl(HWND handle) : handle_(handle) {}
    virtual ~TSkinControl() = default;

    // The default: DefWindowProc, and when the text changes a repaint without erasing and the
    // announcement of the new name.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Registers Control's window class under className; true when it is (or already was)
    // registered.
    template <class Control>
    static bool Register(HINSTANCE instance, const char* className, LPCSTR cursor);

    // The control object of window, or null when window is not of Control's class.
    template <class Control>
    static Control* From(HWND window) {
        if (window == nullptr ||
            GetWindowLongPtrA(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&Procedure<Control>))
            return nullptr;
        return static_cast<Control*>(reinterpret_cast<TSkinControl*>(GetWindowLongPtrA(window, GWLP_USERDATA)));
    }

    // Fills rect with what the parent shows beneath this control: the brush the parent gives
    // for static controls, aligned to the parent's origin, so tiled bitmaps continue.
    void PaintParentBackground(HDC dc, const RECT& rect) const;

private:
    template <class Control>
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* control = reinterpret_cast<TSkinControl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (control == nullptr) {
            if (message != WM_NCCREATE) return DefWindowProcA(window, message, wParam, lParam);
            control = new Control(window);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
        }
        const LRESULT result = control->HandleMessage(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            delete control;
        }
        return result;
    }

    HWND handle_;
};

template <class Control>
bool TSkinControl::Register(HINSTANCE instance, const char* className, LPCSTR cursor) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExA(instance, className, &windowClass)) return true;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &Procedure<Control>;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, cursor);
    windowClass.lpszClassName = className;
    return RegisterClassExA(&windowClass) != 0;
}

// A control that only shows something (a text, a bar): painted in one piece, never focused,
// and transparent to the mouse, so clicks reach the panel beneath.
class TSkinStaticControl : public TSkinControl {
protected:
    using TSkinControl::TSkinControl;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual void Paint() = 0;
    // What a screen reader is told the control is.
    virtual AccessibleRole Role() const = 0;
};

// A control that the user can press, with the mouse or the keyboard, or a screen reader
// (BM_CLICK).
class TSkinClickControl : public TSkinControl {
public:
    // Runs OnClick when the control is enabled.
    void Click();

    std::function<void()> OnClick;

    // Whether the pointer is over the control.
    bool IsHot() const { return hot_; }

protected:
    using TSkinControl::TSkinControl;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // What a screen reader is told the control is.
    virtual AccessibleRole Role() const = 0;

    // Marks the pointer as over the control (tracked until it leaves) or not, and repaints.
    void SetHot(bool hot);

    // True when the focus cue is to be drawn: the control has the focus and the window shows
    // keyboard cues (they stay hidden until the keyboard is used).
    bool ShowsFocusCue() const;

private:
    bool hot_ = false;
};

// The fonts of the skinned controls, made once and kept for the life of the process.
enum class SkinFont {
    Label,   // Tahoma 8 pt bold
    Link,    // Tahoma 8 pt underlined
    Button,  // MS Sans Serif 8 pt
};
HFONT GetSkinFont(SkinFont font);

// Paints through an off-screen bitmap, so a control never shows half-drawn states. Draw on
// Dc() inside Client(); the result is copied to the window at the end of the scope.
class TBufferedPaint {
public:
    explicit TBufferedPaint(HWND window);
    ~TBufferedPaint();
    TBufferedPaint(const TBufferedPaint&) = delete;
    TBufferedPaint& operator=(const TBufferedPaint&) = delete;

    HDC Dc() const { return memory_ != nullptr ? memory_ : paint_.hdc; }
    const RECT& Client() const { return client_; }

private:
    HWND window_;
    PAINTSTRUCT paint_;
    RECT client_;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
};

// Registers the five skinned control classes ("TSkinImagePanel", "TSkinButton",
// "TSkinURLLabel", "TLabel", "TSkinProgressBar") for the module's dialogs.
bool RegisterSkinClasses(HINSTANCE instance);
