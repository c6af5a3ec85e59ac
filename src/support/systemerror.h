// The system's message for an error code, as the log and the 64-bit updater report it.
#pragma once

#include <windows.h>

#include <string>

// The message for error, without its line end; empty when the system has none.
std::string SystemErrorText(DWORD error);
