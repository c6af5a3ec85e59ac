// Log file with a computer-description header and one older generation.
#include "xc_log.h"

#include "xc_computerinfo.h"
#include "xc_handle.h"
#include "paths.h"
#include "textformat.h"

#include <cstdarg>
#include <cstring>

XC_Log ProgramLog;

namespace {

const size_t kMaxFormatted = 65534;

HANDLE OpenLog(const char* path, DWORD disposition) {
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Write(XC_File* file, const std::string& text) { return file->Write(text.data(), static_cast<DWORD>(text.size())); }

std::string Header() {
    const XC_ComputerInfo info;
    return FormatText(
        "Computer Name  : %s\r\nCPU            : %s %s X%d\r\nMemory         : %s\r\n"
        "Hard Disk      : %s\r\nOS Version     : %s\r\nComputer IDB   : %s\r\n"
        "Computer IDN   : %s\r\n",
        info.ComputerName, info.CpuVendor, info.CpuName, static_cast<int>(info.CpuCount), info.MemoryText,
        info.HardDisk, info.OsVersion, info.ComputerIdB, info.ComputerIdN);
}

std::string EntryPrefix() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return FormatText("\r\n%02d-%02d-%02d %02d:%02d:%02d >> ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                      now.wSecond);
}

}  // namespace

std::string LogPathFor(const std::string& modulePath) {
    const size_t dot = modulePath.rfind('.');
    const size_t slash = modulePath.rfind('\\');
    // A dot in a folder name is not the file's extension.
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return modulePath + ".log";
    return modulePath.substr(0, dot) + ".log";
}

XC_Log::XC_Log() : MaxSizeMB(8) { LogPath[0] = '\0'; }

bool XC_Log::Append(const void* bytes, int length) {
    XC_AutoLock hold(lock_);
    if (LogPath[0] == '\0') {
        const std::string module = ModulePath();
        if (module.empty()) return false;
        const std::string path = LogPathFor(module);
        if (path.size() >= sizeof(LogPath)) return false;
        memcpy(LogPath, path.c_str(), path.size() + 1);
    }

    XC_File file(OpenLog(LogPath, OPEN_EXISTING));
    if (file.IsOpen()) {
        // The size, its low 32 bits, from moving to the end where the entry goes.
        const DWORD size = SetFilePointer(file.Get(), 0, nullptr, FILE_END);
        const long long limit = static_cast<long long>(MaxSizeMB) * 1048576;
        if (size != INVALID_SET_FILE_POINTER && size > limit) {
            file.Reset(nullptr);
            const std::string older = std::string(LogPath) + ".more.log";
            DeleteFileA(older.c_str());
            MoveFileA(LogPath, older.c_str());
        }
    }
    if (!file.IsOpen()) {
        file.Reset(OpenLog(LogPath, CREATE_ALWAYS));
        if (!file.IsOpen()) return false;
        if (!Write(&file, Header())) return false;
    }
    if (bytes != nullptr && length > 0) {
        if (!Write(&file, EntryPrefix()) || !file.Write(bytes, static_cast<DWORD>(length))) return false;
    }
    return true;
}

bool XC_Log::AppendFormat(const char* format, ...) {
    if (format == nullptr) return false;
    va_list arguments;
    va_start(arguments, format);
    const std::string text = FormatTextList(format, arguments);
    va_end(arguments);
    if (text.empty()) return false;
    // A longer text is cut to what one entry holds.
    const int length = text.size() < kMaxFormatted ? int(text.size()) : int(kMaxFormatted);
    return Append(text.data(), length);
}
