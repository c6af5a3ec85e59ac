// printf-style formatting through the system's C library; see textformat.h.
#include "textformat.h"

#include <cstdio>
#include <vector>

std::string FormatTextList(const char* format, va_list arguments) {
    if (!format) return std::string();
    va_list measure;
    va_copy(measure, arguments);
#ifdef _WIN32
    const int length = _vscprintf(format, measure);
#else
    const int length = std::vsnprintf(nullptr, 0, format, measure);
#endif
    va_end(measure);
    if (length <= 0) return std::string();
    std::vector<char> text(size_t(length) + 1);
#ifdef _WIN32
    const int written = _vsnprintf(text.data(), text.size(), format, arguments);
#else
    const int written = std::vsnprintf(text.data(), text.size(), format, arguments);
#endif
    if (written != length) return std::string();
    return std::string(text.data(), size_t(length));
}

std::string FormatText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = FormatTextList(format, arguments);
    va_end(arguments);
    return text;
}
