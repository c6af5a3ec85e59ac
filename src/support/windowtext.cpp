// A window's text, read into a string of its own length.
#include "windowtext.h"

#include <vector>

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length <= 0) return std::string();
    std::vector<char> text(length + 1);
    const int copied = GetWindowTextA(window, text.data(), length + 1);
    return std::string(text.data(), copied > 0 ? copied : 0);
}
