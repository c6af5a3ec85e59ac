// Deploys the application: folders and files from the payload's file list, the grant to
// everyone, progress texts and the three shortcuts.
#include "deployment.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>
#include <vector>

#include "asciicase.h"
#include "installrecord.h"
#include "installremoval.h"
#include "installsteps.h"
#include "installtexts.h"
#include "linkcheck.h"
#include "paths.h"
#include "payloadkeys.h"
#include "permissions.h"
#include "registry.h"
#include "safepath.h"
#include "textformat.h"
#include "uninstallentry.h"
#include "wholefile.h"
#include "xc_language.h"
#include "xc_log.h"
#include "xc_memspace.h"
#include "xc_xml.h"

namespace {

// The drivers' part of the progress, before the application's bytes.
constexpr int kDriverShare = kProgressFull / 20;
const char kOutputFolder[] = "C:\\output";
const char kInstallFolderName[] = "MiniTarvik";
const char kApplication[] = "Emberlin.exe";
const char kInkscape[] = "inkscape\\inkscape.exe";

// The install folder joined with the value name of list; empty, logged, when the value is
// missing or is no safe relative path (it could leave the install folder or open a device).
std::string ListedPath(XC_Xml& list, const std::string& installFolder, const std::string& name) {
    const std::string relative = list.GetValue(name.c_str());
    if (IsSafeRelativePath(relative, PathStart::OneBackslash)) return JoinPath(installFolder.c_str(), relative.c_str());
    LogStepFailure("Reading the file list", name, relative.empty() ? "missing" : "unsafe path " + relative);
    return std::string();
}

// Loads the file list; false, logged, when the payload lacks it or it does not parse.
bool LoadFileList(const XC_ExeTailHelper& payload, XC_Xml* list) {
    XC_MemSpace block;
    if (!payload.GetEntry(PayloadKey::FilesInfo, &block)) {
        LogStepFailure("Reading the file list", PayloadKey::FilesInfo, "the payload has no such entry");
        return false;
    }
    const char* text = reinterpret_cast<const char*>(block.data);
    const std::string loaded(text, block.data != nullptr ? strnlen(text, block.size) : 0);
    if (list->LoadText(loaded.c_str())) return true;
    LogStepFailure("Reading the file list", PayloadKey::FilesInfo, "not a well-formed document");
    return false;
}

// The install folder is open to every user, so any of them may have replaced a folder in it by
// a link (a junction, a symbolic link) to, say, the system folder. Each folder on the way to
// what is written is inspected once, however many files it holds; nothing goes through a link.
class LinkFreeFolders {
public:
    explicit LinkFreeFolders(const std::string& installFolder) : installFolder_(installFolder) {}

    // True when no link lies on the way from the install folder to its subfolder relative
    // (with a leading backslash, or empty for the install folder itself); otherwise logs the
    // step what on target with the link it found.
    bool Clear(const std::string& relative, const char* what, const std::string& target) {
        const std::string key = AsciiUpper(relative);
        if (clear_.count(key) != 0) return true;
        const std::string link = FirstLinkOnTheWay(installFolder_, relative);
        if (link.empty()) {
            clear_.insert(key);
            return true;
        }
        LogStepFailure(what, target, link + " is a link");
        return false;
    }

private:
    std::string installFolder_;
    std::set<std::string> clear_;
};

// Folders in list order, one level each: a folder's parent comes before it in the list.
bool CreateListedFolders(XC_Xml& list, const std::string& installFolder, LinkFreeFolders& linkFree,
                         InstallRecord* record) {
    bool ok = true;
    const int count = list.GetValueInt(PayloadKey::PathCount);
    for (int i = 0; i < count; ++i) {
        const std::string name = PayloadKey::PathName(i);
        const std::string folder = ListedPath(list, installFolder, name);
        // A gap ends the list: the count of a damaged list may be anything.
        if (folder.empty()) return false;
        const std::string relative = list.GetValue(name.c_str());
        // Every listed folder belongs to this install, one an older install made too.
        record->AddFolder(relative);
        if (linkFree.Clear(ParentFolder(relative), "Creating a folder", folder) && CreateFolder(folder) &&
            linkFree.Clear(relative, "Creating a folder", folder))
            GrantToEveryone(folder);
        else
            ok = false;
    }
    return ok;
}

// The progress from bytes written: the drivers' share first, then the application's bytes.
class ByteProgress {
public:
    ByteProgress(TInstallOwner& owner, uint64_t total) : owner_(owner), total_(total) { Report(); }

    uint64_t Done() const { return done_; }
    void Add(uint64_t bytes) { MoveTo(done_ + bytes); }
    // Forward only: a file that failed half-way counts as done.
    void MoveTo(uint64_t done) {
        done_ = std::max(done_, std::min(done, total_));
        Report();
    }
    // Full, whatever was written: the work is over.
    void Finish() { MoveTo(total_); }

private:
    void Report() {
        const int position =
            total_ == 0 ? kProgressFull : kDriverShare + int((kProgressFull - kDriverShare) * done_ / total_);
        if (position <= reported_) return;
        reported_ = position;
        owner_.SetProgress(position);
    }

    TInstallOwner& owner_;
    const uint64_t total_;
    uint64_t done_ = 0;
    int reported_ = -1;
};

// The payload entry of each listed file in order, up to the first gap in the list.
std::vector<const XC_MemSpace*> ListedEntries(XC_Xml& list, const XC_ExeTailHelper& payload) {
    std::vector<const XC_MemSpace*> entries;
    const int count = list.GetValueInt(PayloadKey::FileCount);
    for (int i = 0; i < count; ++i) {
        const std::string name = PayloadKey::FileName(i);
        if (list.GetValue(name.c_str()).empty()) break;
        entries.push_back(payload.FindEntry(name.c_str()));
    }
    return entries;
}

uint64_t TotalBytes(const std::vector<const XC_MemSpace*>& entries) {
    uint64_t total = 0;
    for (const XC_MemSpace* entry : entries)
        if (entry != nullptr) total += entry->size;
    return total;
}

bool WriteListedFiles(TInstallOwner& owner, XC_Xml& list, const std::string& installFolder,
                      const std::vector<const XC_MemSpace*>& entries, ByteProgress& progress, LinkFreeFolders& linkFree,
                      InstallRecord* record) {
    bool ok = true;
    const int count = list.GetValueInt(PayloadKey::FileCount);
    for (int i = 0; i < count; ++i) {
        const std::string name = PayloadKey::FileName(i);
        const std::string file = ListedPath(list, installFolder, name);
        // entries reaches up to the first gap in the list, which ends the loop here.
        if (file.empty()) return false;
        // Written straight from the payload's own block, without a copy.
        const XC_MemSpace* entry = entries[size_t(i)];
        // Listed whether or not this write succeeds: a file held open keeps its older bytes and
        // still belongs to the install, so an upgrade must not take it for a leftover.
        record->AddFile(list.GetValue(name.c_str()), entry != nullptr ? entry->size : 0);
        const uint64_t end = progress.Done() + (entry != nullptr ? entry->size : 0);
        if (!linkFree.Clear(ParentFolder(list.GetValue(name.c_str())), "Writing a file", file) ||
            !WriteEntryFile(name.c_str(), entry, file, FileGrant::Everyone,
                            [&progress](DWORD bytes) { progress.Add(bytes); }))
            ok = false;
        progress.MoveTo(end);
        owner.SetStatus(CopyingFilesText(owner.Text_CopyingFiles, int(int64_t(i) * 100 / count)));
    }
    return ok;
}

int WholeMegabytes(uint64_t bytes, bool roundUp) {
    const uint64_t megabytes = (bytes + (roundUp ? 0xFFFFF : 0)) >> 20;
    return int(std::min<uint64_t>(megabytes, INT_MAX));
}

// The root of the volume folder is on ("C:\"); the folder itself when that is unknown.
std::string VolumeOf(const std::string& folder) {
    char volume[MAX_PATH] = {};
    if (GetVolumePathNameA(folder.c_str(), volume, MAX_PATH)) return volume;
    return folder;
}

// Asks the owner to free space until the volume of folder has needed bytes free for this user;
// false when the owner gives up. A volume whose free space cannot be read is not held up.
bool EnsureSpace(TInstallOwner& owner, const std::string& folder, uint64_t needed) {
    for (;;) {
        ULARGE_INTEGER available = {};
        if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) {
            LogStepFailure("Reading the free disk space", folder, GetLastError());
            return true;
        }
        if (available.QuadPart >= needed) return true;
        const int neededMegabytes = WholeMegabytes(needed, true);
        const int freeMegabytes = WholeMegabytes(available.QuadPart, false);
        const std::string volume = VolumeOf(folder);
        LogStepFailure("Checking the free disk space", volume,
                       NotEnoughSpaceText(std::string(), neededMegabytes, freeMegabytes, volume));
        if (!owner.AskRetry(NotEnoughSpaceText(owner.Text_NotEnoughSpace, neededMegabytes, freeMegabytes, volume)))
            return false;
    }
}

// Saves root\folder\name.lnk (folder may be empty). The desktop is the user's own and the Start
// menu folders may have been changed: a shortcut is never written through a link on its way,
// which would let this elevated process drop it anywhere (a Startup folder, say).
// True when the shortcut was saved.
bool CreateShortcutLogged(const std::string& target, const std::string& root, const std::string& folder,
                          const std::string& name, const std::string& workingFolder) {
    const std::string fullFolder = folder.empty() ? root : JoinPath(root.c_str(), folder.c_str());
    const std::string shortcut = JoinPath(fullFolder.c_str(), name.c_str());
    const std::string link = FirstLinkOnTheWay(root, (folder.empty() ? "" : folder + "\\") + name + ".lnk");
    if (!link.empty()) {
        LogStepFailure("Creating a shortcut", shortcut, link + " is a link");
        return false;
    }
    const HRESULT result =
        CreateShortcut(target.c_str(), fullFolder.c_str(), name.c_str(), workingFolder.c_str(), "", target.c_str(), 0);
    if (SUCCEEDED(result)) return true;
    LogStepFailure("Creating a shortcut", shortcut, DWORD(result));
    return false;
}

// A translated text used as a file or folder name: only when it is one safe name part, since
// a language file may lie beside the installer; otherwise the English text, logged.
std::string NameFromTranslation(const std::string& translation, const char* english) {
    if (IsSafePathPart(translation)) return translation;
    LogStepFailure("Naming a shortcut", translation, std::string("not a plain name; \"") + english + "\" is used");
    return english;
}

// The group's shortcut comes first: it creates the group folder that the tools folder is in.
// Each saved shortcut and its Start-menu folder go into the record.
void CreateShortcuts(TInstallOwner& owner, const std::string& installFolder, InstallRecord* record) {
    const std::string application = JoinPath(installFolder.c_str(), kApplication);
    const std::string inkscape = JoinPath(installFolder.c_str(), kInkscape);
    const std::string programs = SpecialFolderPath(kCommonProgramsFolder);
    const std::string desktop = SpecialFolderPath(kDesktopFolder);
    if (programs.empty() || desktop.empty()) {
        LogStepFailure("Creating the shortcuts", "the Start menu or desktop folder", "unknown folder");
        return;
    }
    const std::string group = NameFromTranslation(owner.Text_GroupName, kGroupName);
    const std::string tools = JoinPath(group.c_str(), NameFromTranslation(owner.Text_OtherTools, kOtherTools).c_str());
    const std::string appShortcut = NameFromTranslation(owner.Text_AppShortcut, kAppShortcut);
    const std::string inkscapeShortcut = NameFromTranslation(owner.Text_InkscapeShortcut, kInkscapeShortcut);
    const std::string groupFolder = JoinPath(programs.c_str(), group.c_str());
    const std::string toolsFolder = JoinPath(programs.c_str(), tools.c_str());
    if (CreateShortcutLogged(application, programs, group, appShortcut, installFolder)) {
        record->AddShortcutFolder(groupFolder);
        record->AddShortcut(JoinPath(groupFolder.c_str(), (appShortcut + ".lnk").c_str()));
    }
    if (CreateShortcutLogged(application, desktop, "", appShortcut, installFolder))
        record->AddShortcut(JoinPath(desktop.c_str(), (appShortcut + ".lnk").c_str()));
    if (CreateShortcutLogged(inkscape, programs, tools, inkscapeShortcut, installFolder)) {
        record->AddShortcutFolder(toolsFolder);
        record->AddShortcut(JoinPath(toolsFolder.c_str(), (inkscapeShortcut + ".lnk").c_str()));
    }
}

// The language file of this install into the uninstaller's folder, so the uninstaller asks in
// the install's language. False, logged, on a failure.
bool WriteUninstallerLanguage(const std::string& folder, InstallRecord* record) {
    const std::string languageName = LanguageFileName(ProgramLanguage.LanguageId);
    const std::string languageFolder = InstallerLanguageFolder();
    const std::string source = JoinPath(languageFolder.c_str(), languageName.c_str());
    // No language file (an installer without translations): the uninstaller speaks English.
    if (languageFolder.empty() || GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    XC_MemSpace language;
    if (!ReadWholeFile(source.c_str(), &language)) {
        LogStepFailure("Reading the language file", source, GetLastError());
        return false;
    }
    record->SetLanguage(ProgramLanguage.LanguageId);
    return WriteEntryFile(languageName.c_str(), &language, JoinPath(folder.c_str(), languageName.c_str()));
}

// After the last file: what an older install left that this one no longer has, then the new
// record beside the uninstaller, then the Programs and Features entry, only when the uninstaller
// it names was written. False, logged, when a step failed.
bool FinishRecord(const std::string& installFolder, const std::string& uninstallFolder, const InstallRecord& older,
                  const InstallRecord& record, bool uninstallerWritten) {
    bool ok = true;
    // Relative to this install's folder, whatever the older record names: it removes nothing
    // outside the folder being installed.
    const RemovalOutcome leftovers = RemoveUpgradeLeftovers(installFolder, older, record, &ProgramLog);
    if (leftovers.failed > 0) {
        LogStepFailure("Removing the older install's leftovers", installFolder,
                       std::to_string(leftovers.failed) + " not removed");
        ok = false;
    }
    // An older install in another language left its language file: the uninstaller no longer
    // knows it, and it would keep the uninstaller's folder from going.
    if (older.Language() != 0 && older.Language() != record.Language()) {
        const std::string stale = JoinPath(uninstallFolder.c_str(), LanguageFileName(older.Language()).c_str());
        if (!DeleteFileA(stale.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            LogStepFailure("Removing the older install's language file", stale, GetLastError());
            ok = false;
        }
    }
    const std::string recordFile = JoinPath(uninstallFolder.c_str(), InstallRecord::kFileName);
    if (!record.Save(recordFile)) {
        LogStepFailure("Saving the install record", recordFile, GetLastError());
        ok = false;
    }
    const std::string uninstaller = JoinPath(uninstallFolder.c_str(), kUninstallerFileName);
    if (!uninstallerWritten) {
        LogStepFailure("Writing the Programs and Features entry", kUninstallKey, "the uninstaller was not written");
        ok = false;
    } else if (!WriteUninstallEntry(installFolder, uninstaller, record.TotalSize())) {
        LogStepFailure("Writing the Programs and Features entry", kUninstallKey, GetLastError());
        ok = false;
    }
    return ok;
}

}  // namespace

std::string InstalledApplicationPath() {
    const std::string programFiles = SpecialFolderPath(kProgramFilesFolder);
    return JoinPath(JoinPath(programFiles.c_str(), kInstallFolderName).c_str(), kApplication);
}

std::string CopyingFilesText(const std::string& translation, int percent) {
    const std::string format = SafeFormat(translation, kCopyingFiles);
    return FormatText(format.c_str(), percent);
}

std::string NotEnoughSpaceText(const std::string& translation, int neededMegabytes, int freeMegabytes,
                               const std::string& volume) {
    const std::string format = SafeFormat(translation, kNotEnoughSpace);
    return FormatText(format.c_str(), neededMegabytes, freeMegabytes, volume.c_str());
}

bool DeployApplication(TInstallOwner& owner) {
    XC_Xml list;
    const bool listed = LoadFileList(owner.Payload, &list);
    const std::vector<const XC_MemSpace*> entries =
        listed ? ListedEntries(list, owner.Payload) : std::vector<const XC_MemSpace*>();
    const std::string programFiles = SpecialFolderPath(kProgramFilesFolder);
    const uint64_t total = TotalBytes(entries);
    // Before anything is written: a user who gives up keeps the disk as it was.
    if (!programFiles.empty() && !EnsureSpace(owner, programFiles, total)) return false;
    // A running program holds its files open: nothing is written until it is closed, and no
    // process is ended for it.
    const std::string installFolder = JoinPath(programFiles.c_str(), kInstallFolderName);
    if (!programFiles.empty()) {
        const std::string question = owner.Text_ProgramRunning.empty() ? kRunningQuestion : owner.Text_ProgramRunning;
        if (!NoProgramRunsFrom(
                installFolder, [&] { return owner.AskRetry(question); }, &ProgramLog)) {
            LogStepFailure("Installing", installFolder, "a program running from it was not closed");
            return false;
        }
    }
    ByteProgress progress(owner, total);

    if (CreateFolder(kOutputFolder)) GrantToEveryone(kOutputFolder);
    if (programFiles.empty()) {
        LogStepFailure("Finding the Program Files folder", "CSIDL 38", "unknown folder");
        return false;
    }
    bool ok = CreateFolder(installFolder);
    if (ok) GrantToEveryone(installFolder);

    // The uninstaller's own folder, which only administrators may change, and in it the older
    // install's record, if any: what it listed and this one does not goes afterwards.
    const std::string uninstallFolder = UninstallFolderPath();
    std::string failure;
    const bool uninstallReady = PrepareUninstallFolder(&failure);
    if (!uninstallReady) LogStepFailure("Preparing the uninstaller's folder", uninstallFolder, failure);
    InstallRecord older;
    if (uninstallReady) older.Load(JoinPath(uninstallFolder.c_str(), InstallRecord::kFileName));
    InstallRecord record;
    record.SetInstallFolder(installFolder);
    if (listed) {
        LinkFreeFolders linkFree(installFolder);
        ok = CreateListedFolders(list, installFolder, linkFree, &record) && ok;
        ok = WriteListedFiles(owner, list, installFolder, entries, progress, linkFree, &record) && ok;
    } else {
        ok = false;
    }
    progress.Finish();
    CreateShortcuts(owner, installFolder, &record);
    // A damaged file list leaves no record to act on: the older one stays as it is.
    if (!listed || !uninstallReady) return false;
    // An installer packed without the uninstaller installs the application, but no entry that
    // would lead to nothing.
    const bool uninstaller = WriteEntryFile(PayloadKey::Uninstaller, owner.Payload.FindEntry(PayloadKey::Uninstaller),
                                            JoinPath(uninstallFolder.c_str(), kUninstallerFileName));
    ok = WriteUninstallerLanguage(uninstallFolder, &record) && ok;
    return FinishRecord(installFolder, uninstallFolder, older, record, uninstaller) && uninstaller && ok;
}
