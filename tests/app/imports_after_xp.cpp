// A program that imports GetTickCount64, which Windows XP's kernel32 lacks: the XP import
// check must refuse it. The build targets XP, so the declaration needs Vista's headers here.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

int main() { return GetTickCount64() == 0; }
