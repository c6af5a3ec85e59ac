// The builder: fixed entries from the executable's folder, the application folder through the
// file list document, and the finished installer at its fixed development path.
#include "builder.h"

#include <windows.h>

#include <cstdlib>

#include "apptree.h"
#include "paths.h"
#include "xc_exetailhelper.h"
#include "xc_filelist.h"
#include "xc_handle.h"
#include "xc_log.h"

namespace {

// The development paths, ANSI text of a Simplified Chinese system: "\xBC\xA4\xB9\xE2" is the
// folder name "laser" (two characters) in GBK, kept as bytes so no conversion can touch it.
const char kApplicationFolder[] = "E:\\Orvanet\\\xBC\xA4\xB9\xE2\\Run";
const char kInstallerPath[] = "E:\\Orvanet\\\xBC\xA4\xB9\xE2\\MyTarvik\\SetupTarvik.exe";

// A pipe or a device listed among files shows as an empty file: what an empty one really is
// only its open handle tells.
bool IsDiskFile(const std::string& path) {
    XC_File file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.IsOpen() || GetFileType(file.Get()) == FILE_TYPE_DISK;
}

AppEntryKind KindOf(DWORD attributes, bool empty, const std::string& path) {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A link to a folder could lead back into the tree; a device is no file to pack.
    if (folder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return AppEntryKind::kLink;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) || (!folder && empty && !IsDiskFile(path))) return AppEntryKind::kSpecial;
    return folder ? AppEntryKind::kFolder : AppEntryKind::kFile;
}

// The scan's records are read in one pass over the document: looking each one up by its
// record name would search from the first record every time.
bool ListFolder(const std::string& folder, std::vector<AppTreeEntry>* entries) {
    XC_FileList list;
    if (!list.Scan(folder.c_str(), "*.*", 0, 0)) return false;
    XC_Xml& document = list.Document();
    document.Rewind();
    if (!document.FindNext(nullptr) || !document.Descend() || !document.FindNext("ExFastInfo")) return false;
    while (document.FindNextChild(nullptr)) {
        const int32_t record = document.ChildPosition();
        const std::string name = document.GetAttribute(record, "Name");
        const DWORD attributes = DWORD(std::strtol(document.GetAttribute(record, "Attribute").c_str(), nullptr, 10));
        const bool empty = document.GetAttribute(record, "Size") == "0";
        const std::string path = JoinPath(folder.c_str(), name.c_str());
        entries->push_back({name, path, KindOf(attributes, empty, path)});
    }
    return true;
}

// A fixed source is missing only when nothing at all is at its path; anything else that is
// there must be read.
FixedSource SourceBeside(const char* name) {
    FixedSource source;
    source.path = ModulePath(name);
    SetLastError(0);
    source.present = GetFileAttributesA(source.path.c_str()) != INVALID_FILE_ATTRIBUTES ||
                     (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND);
    return source;
}

[[noreturn]] void Fail(const std::string& reason) {
    ProgramLog.AppendFormat("Builder: %s; no installer written", reason.c_str());
    ExitProcess(1);
}

}  // namespace

bool PackApplicationFolder(XC_ExeTailHelper* payload, std::string* failure, std::vector<std::string>* notes) {
    return PackApplicationTree(payload, kApplicationFolder, ListFolder, failure, notes);
}

void RunBuilder(XC_ExeTailHelper* payload) {
    // An installer without drivers or language archive is allowed: note the gap and go on.
    std::vector<std::string> missing, notes;
    std::string failure;
    if (!AddFixedEntries(payload, SourceBeside, &missing, &failure)) Fail(failure);
    for (const std::string& source : missing)
        ProgramLog.AppendFormat("Builder: %s not found beside the builder, left out", source.c_str());

    if (!PackApplicationFolder(payload, &failure, &notes)) Fail(failure);
    for (const std::string& note : notes) ProgramLog.AppendFormat("Builder: %s", note.c_str());
    // The application's files are read only now, each when its turn comes.
    if (!payload->SaveToExe(kInstallerPath)) {
        if (payload->LastFailure() == XC_ExeTailHelper::Failure::kCannotRead)
            Fail("cannot read " + payload->FailedSource() + " (gone or changed since the walk)");
        Fail(std::string("cannot write ") + kInstallerPath);
    }
    ProgramLog.AppendFormat("Builder: installer written to %s", kInstallerPath);
    ExitProcess(0);
}
