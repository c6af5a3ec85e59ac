// Time-stamped log beside the executable. A new file begins with a description of the
// computer; a file above the size limit is moved to a single older generation (".more.log").
#pragma once

#include "textformat.h"
#include "xc_timerbase.h"

#include <windows.h>

#include <string>

class XC_Log {
public:
    XC_Log();

    // Writes one entry of length bytes; with no bytes, only makes sure the file exists.
    bool Append(const void* bytes, int length);
    // Formats by printf rules (cut to 65534 bytes) and appends the text as one entry;
    // false, touching nothing, when the text is empty.
    bool AppendFormat(const char* format, ...) TEXT_FORMAT_CHECK(2, 3);

    // Full path of the log file; filled from the executable's path by the first write
    // unless set before it.
    char LogPath[1024];
    int MaxSizeMB;

private:
    XC_CriticalSection lock_;
};

// The log path for an executable: its path with the extension replaced by ".log", or
// with ".log" appended when the file name has no extension.
std::string LogPathFor(const std::string& modulePath);

// The process-wide log.
extern XC_Log ProgramLog;
