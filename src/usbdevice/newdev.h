// The plug-and-play driver update entry of the system's NewDev.dll, for the installer and for
// the 64-bit updater alike.
#pragma once

#include <windows.h>

typedef BOOL(WINAPI* UpdateDriverForPlugAndPlayDevicesProc)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

// The name of the entry, as the library exports it.
extern const char* const kUpdateDriverEntryName;

// Loads NewDev.dll from the system folder, never unloaded, and resolves the update entry;
// null when the library does not load or lacks the entry.
UpdateDriverForPlugAndPlayDevicesProc LoadUpdateDriverEntry();
