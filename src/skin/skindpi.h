// The screen's DPI and the scaling of the window's 96-DPI pixel design to it. The installer
// declares itself system-DPI-aware, so the DPI of the screen's device context is the one its
// windows get, for their whole life; at 96 every size stays what it was designed as.
#pragma once

#include <windows.h>

constexpr int kDesignDpi = 96;

// The DPI of the screen: its logical pixels per inch.
int ScreenDpi();

// A length of the 96-DPI design in pixels of the screen, rounded to the nearest.
int ScaleToScreen(int designPixels);

// A copy of bitmap drawn at the screen's DPI with a smoothing filter (each side scaled, at
// least 1 pixel), for a skin that has no larger bitmap. Null when it cannot be made; the
// caller deletes it.
HBITMAP ScaleBitmapToScreen(HBITMAP bitmap);
