// The builder: fixed entries from the executable's folder, the application folder through the
// file list document, and the finished installer at its fixed development path.
#include "builder.h"

#include <windows.h>

#include "apptree.h"
#include "paths.h"
#include "xc_exetailhelper.h"
#include "xc_filelist.h"
#include "xc_log.h"

namespace {

// The development paths, ANSI text of a Simplified Chinese system: "\xBC\xA4\xB9\xE2" is the
// folder name "laser" (two characters) in GBK, kept as bytes so no conversion can touch it.
const char kApplicationFolder[] = "E:\\Orvanet\\\xBC\xA4\xB9\xE2\\Run";
const char kInstallerPath[] = "E:\\Orvanet\\\xBC\xA4\xB9\xE2\\MyTarvik\\SetupTarvik.exe";

bool ListFolder(const std::string& folder, std::vector<AppTreeEntry>* entries) {
    XC_FileList list;
    if (!list.Scan(folder.c_str(), "*.*", 0, 0)) return false;
    const int count = list.GetCount();
    for (int i = 0; i < count; ++i)
        entries->push_back(
            {list.GetName(i), list.GetFullPath(i), (list.GetAttributes(i) & FILE_ATTRIBUTE_DIRECTORY) != 0});
    return true;
}

[[noreturn]] void Fail(const std::string& reason) {
    ProgramLog.AppendFormat("Builder: %s; no installer written", reason.c_str());
    ExitProcess(1);
}

}  // namespace

bool PackApplicationFolder(XC_ExeTailHelper* payload, std::string* failure) {
    return PackApplicationTree(payload, kApplicationFolder, ListFolder, failure);
}

void RunBuilder(XC_ExeTailHelper* payload) {
    // An installer without drivers or language archive is allowed: note the gap and go on.
    for (const std::string& source : AddFixedEntries(payload, [](const char* name) { return ModulePath(name); }))
        ProgramLog.AppendFormat("Builder: %s not found beside the builder, left out", source.c_str());

    std::string failure;
    if (!PackApplicationFolder(payload, &failure)) Fail(failure);
    if (!payload->SaveToExe(kInstallerPath)) Fail(std::string("cannot write ") + kInstallerPath);
    ProgramLog.AppendFormat("Builder: installer written to %s", kInstallerPath);
    ExitProcess(0);
}
