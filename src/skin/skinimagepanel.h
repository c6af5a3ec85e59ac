// TSkinImagePanel: a panel that is white, or shows a bitmap tiled over its whole area. It holds
// other controls and gives them its background, so they blend into it.
#pragma once

#include "skincontrol.h"
#include "xc_handle.h"

class TSkinImagePanel : public TSkinControl {
public:
    static constexpr const char* ClassName = "TSkinImagePanel";
    static bool Register(HINSTANCE instance);
    static TSkinImagePanel* FromHandle(HWND window) { return From<TSkinImagePanel>(window); }

    // Tiles the bitmap resource, scaled to the screen's DPI, over the panel; false (and white)
    // when it cannot be loaded.
    bool SetBitmap(HINSTANCE instance, int resourceId);

private:
    friend class TSkinControl;
    using TSkinControl::TSkinControl;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    HBRUSH Background() const;

    XC_Handle<HBRUSH, DeleteObject> tile_;
};
