// printf-style formatting of the product's texts through the C library the system already has:
// msvcrt's on Windows, since the mingw-w64 printf that libstdc++ turns on would add some 27 KB to
// the installer. Formats are checked at compile time by that library's rules (no %lld, %zu).
#pragma once

#include <cstdarg>
#include <string>

#ifdef _WIN32
#define TEXT_FORMAT_CHECK(format_index, first_argument) __attribute__((format(ms_printf, format_index, first_argument)))
#else
#define TEXT_FORMAT_CHECK(format_index, first_argument) __attribute__((format(printf, format_index, first_argument)))
#endif

// The whole formatted text, however long; empty when the format cannot be applied.
std::string FormatText(const char* format, ...) TEXT_FORMAT_CHECK(1, 2);
std::string FormatTextList(const char* format, va_list arguments) TEXT_FORMAT_CHECK(1, 0);

// A translated format where it converts exactly what its English original does (the same %d,
// %i and %s, in order, with flags, a width and a precision of at most two digits, and %%),
// otherwise the English: a translation can never make the formatter read an argument that is
// not there, or of another type.
std::string SafeFormat(const std::string& translation, const char* english);
