// Letter case of ASCII letters only. Names and ids here are ANSI bytes of any code page: folding
// nothing but A-Z keeps the bytes of a double-byte character exactly as they are.
#pragma once

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
