// File list document: one folder level described as records of a result document, for the
// builder's breadth-first walk of the application folder.
#include "xc_filelist.h"

#include "paths.h"
#include "textformat.h"
#include "xc_handle.h"

namespace {

const uint64_t kKiB = 1024;
const uint64_t kMiB = kKiB * 1024;
const uint64_t kGiB = kMiB * 1024;

std::string RecordName(int index) { return FormatText("F%02d", index); }

// UTC as the file system keeps it, without leading zeros: 2014-1-5 3:4:5.
std::string TimeText(const FILETIME& time) {
    SYSTEMTIME parts = {};
    FileTimeToSystemTime(&time, &parts);
    return FormatText("%d-%d-%d %d:%d:%d", parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute,
                      parts.wSecond);
}

}  // namespace

std::string FileSizeText(uint64_t size) {
    if (size > kGiB) return FormatText("%0.2f GB", double(size) / double(kGiB));
    if (size > kMiB) return FormatText("%0.2f MB", double(size) / double(kMiB));
    if (size > kKiB) return FormatText("%d KB", int(size / kKiB));
    return FormatText("%d KB", size == 0 ? 0 : 1);
}

bool XC_FileList::Scan(const char* folder, const char* pattern, DWORD required, DWORD excluded) {
    if (folder == nullptr || *folder == '\0' || pattern == nullptr) return false;
    // A fresh document, so that no record of an earlier scan outlives it.
    xml_.LoadText(XC_Xml::kTemplate);
    xml_.SetValue("Path", folder);
    xml_.SetValueInt("Count", 0);

    WIN32_FIND_DATAA found;
    XC_FindHandle search(FindFirstFileA(JoinPath(folder, pattern).c_str(), &found));
    if (!search.IsOpen()) return false;
    // Records are appended after the last one and filled by position: looking each new one up
    // by its name would search every record before it, quadratic in the folder's size.
    xml_.Rewind();
    if (!xml_.FindNext(nullptr) || !xml_.Descend() || !xml_.FindNext("ExFastInfo")) return false;
    int count = 0;
    do {
        const DWORD attributes = found.dwFileAttributes;
        if ((required != 0 && (attributes & required) == 0) || (excluded != 0 && (attributes & excluded) != 0))
            continue;
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // The size text is made from the whole size: its low half alone would call a
        // 4 GiB + 5 file "1 KB". "Size" keeps the low 32 bits.
        const uint64_t size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (!xml_.AppendChild(RecordName(count++).c_str())) return false;
        const int32_t record = xml_.ChildPosition();
        xml_.SetAttribute(record, "Attribute", int32_t(attributes));
        xml_.SetAttribute(record, "Name", name.c_str());
        xml_.SetAttribute(record, "Size", int32_t(found.nFileSizeLow));
        xml_.SetAttribute(record, "SizeStr", isFolder ? "" : FileSizeText(size).c_str());
        xml_.SetAttribute(record, "CreateTime", TimeText(found.ftCreationTime).c_str());
        xml_.SetAttribute(record, "WriteTime", TimeText(found.ftLastWriteTime).c_str());
    } while (FindNextFileA(search.Get(), &found));

    xml_.SetValueInt("Count", count);
    return true;
}

int XC_FileList::GetCount() { return xml_.GetValueInt("Count"); }

DWORD XC_FileList::GetAttributes(int index) {
    return DWORD(xml_.GetRecordValueInt(RecordName(index).c_str(), "Attribute"));
}

std::string XC_FileList::GetName(int index) { return xml_.GetRecordValue(RecordName(index).c_str(), "Name"); }

std::string XC_FileList::GetFullPath(int index) {
    return JoinPath(xml_.GetValue("Path").c_str(), GetName(index).c_str());
}
