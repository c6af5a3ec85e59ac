// What a screen reader is told of a skinned control: WM_GETOBJECT's answer, an accessible
// object with the control's real role, its text as the name, its state, value and default
// action, over the system's standard object of a window's client area (place, visibility,
// focus, neighbours). The standard proxies of the system classes are not used: Wine's oleacc
// aborts the process in CreateStdAccessibleProxy, and its standard object knows no class.
// Everything is asked of the window by messages, so an object a client still holds after the
// window has gone does no harm.
#pragma once

#include <windows.h>

enum class AccessibleRole {
    PushButton,   // name: its text; default action "Press" (BM_CLICK, posted)
    Link,         // name: its text; default action "Jump" (BM_CLICK, posted)
    StaticText,   // name: its text; read-only
    ProgressBar,  // value: the percentage of PBM_GETPOS within PBM_GETRANGE, "40%"; read-only
};

// WM_GETOBJECT for a control of role: for OBJID_CLIENT its accessible object; otherwise, or
// when oleacc cannot be loaded, what DefWindowProc answers.
LRESULT AnswerGetObject(HWND window, AccessibleRole role, WPARAM wParam, LPARAM lParam);

// The whole percent a progress bar at position of 0..max shows, as its accessible value.
int ProgressPercent(int position, int max);

// Tells screen readers that the control's name (its text) or its value has changed.
void AnnounceNameChange(HWND window);
void AnnounceValueChange(HWND window);
