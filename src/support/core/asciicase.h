// Letter case of ASCII letters only. Names and ids here are ANSI bytes of any code page: folding
// nothing but A-Z keeps the bytes of a double-byte character exactly as they are.
#pragma once

#include <string>

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The whole text with its ASCII letters in upper case, as Windows compares names.
inline std::string AsciiUpper(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}
