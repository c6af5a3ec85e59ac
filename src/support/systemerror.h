// The system's message for an error code, as the log and the 64-bit updater report it, and the
// errors of a missing path.
#pragma once

#include <windows.h>

#include <string>

// The message for error, without its line end; empty when the system has none.
std::string SystemErrorText(DWORD error);

// Whether error says that a path names nothing (the file, or a folder on its way, is missing).
inline bool IsMissingPathError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
