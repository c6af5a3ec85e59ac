// A window's text, for the skinned controls that paint it and the language pack that
// translates it.
#pragma once

#include <windows.h>

#include <string>

// The window's text (a control's caption); empty when it has none.
std::string WindowText(HWND window);
