// Resource ids of the installer window's panel bitmaps, generated at build time by
// make_bitmaps.cmake.
#pragma once

#define SKIN_BITMAP_LEFT_BORDER 201   // 2 x 31: the client area's left edge
#define SKIN_BITMAP_RIGHT_BORDER 202  // 2 x 51: the client area's right edge
#define SKIN_BITMAP_BAND 203          // 30 x 70: the bottom band under the button
