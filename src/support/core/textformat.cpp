// printf-style formatting through the system's C library; see textformat.h.
#include "textformat.h"

#include <cstdio>
#include <vector>

namespace {

// Moves *at past up to two decimal digits; false when more follow.
bool SkipShortNumber(const std::string& text, size_t* at) {
    size_t digits = 0;
    for (; *at < text.size() && text[*at] >= '0' && text[*at] <= '9'; ++*at) ++digits;
    return digits <= 2;
}

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '0'; }

// The conversions of format in order, "d" for each "%[flags][width][.precision]d" or "i" and
// "s" for each such "s", skipping "%%"; "!" for any other or a width of three digits or more.
std::string Conversions(const std::string& format) {
    std::string conversions;
    for (size_t at = 0; at < format.size(); ++at) {
        if (format[at] != '%') continue;
        ++at;
        if (at < format.size() && format[at] == '%') continue;
        while (at < format.size() && IsFlag(format[at])) ++at;
        if (!SkipShortNumber(format, &at)) return "!";
        if (at < format.size() && format[at] == '.') {
            ++at;
            if (!SkipShortNumber(format, &at)) return "!";
        }
        if (at >= format.size()) return "!";
        if (format[at] == 'd' || format[at] == 'i')
            conversions += 'd';
        else if (format[at] == 's')
            conversions += 's';
        else
            return "!";
    }
    return conversions;
}

}  // namespace

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

std::string SafeFormat(const std::string& translation, const char* english) {
    return Conversions(translation) == Conversions(english) ? translation : std::string(english);
}
