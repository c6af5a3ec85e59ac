// Links on the installer's way, found through attributes and a handle that does not follow them.
#include "linkcheck.h"

#include <windows.h>

#include "xc_handle.h"

PathKind InspectPath(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing : PathKind::Unknown;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::Link;
    // No access rights asked for: reading the attributes needs none, and a file held open by a
    // running program can still be inspected.
    XC_KernelHandle object(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                       nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!object.IsOpen() || !GetFileInformationByHandle(object.Get(), &information)) return PathKind::Unknown;
    return information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? PathKind::Link : PathKind::Plain;
}

std::string FirstLinkOnTheWay(const std::string& base, const std::string& relative) {
    std::string path = base;
    size_t start = 0;
    for (;;) {
        switch (InspectPath(path)) {
            case PathKind::Missing:
                return std::string();
            case PathKind::Link:
            case PathKind::Unknown:
                return path;
            case PathKind::Plain:
                break;
        }
        while (start < relative.size() && (relative[start] == '\\' || relative[start] == '/')) ++start;
        if (start >= relative.size()) return std::string();
        size_t end = relative.find_first_of("\\/", start);
        if (end == std::string::npos) end = relative.size();
        path += "\\" + relative.substr(start, end - start);
        start = end;
    }
}
