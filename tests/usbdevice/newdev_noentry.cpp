// A NewDev.dll without the driver update entry, for the test of a system that lacks it.
#include <windows.h>

extern "C" __declspec(dllexport) BOOL WINAPI TarvikNoUpdateEntry() { return FALSE; }
