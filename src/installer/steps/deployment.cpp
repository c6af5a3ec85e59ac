// Deploys the application: folders and files from the payload's file list, the grant to
// everyone, progress texts and the three shortcuts.
#include "deployment.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "asciicase.h"
#include "installjournal.h"
#include "installrecord.h"
#include "installremoval.h"
#include "installsteps.h"
#include "heldfolders.h"
#include "installtexts.h"
#include "linkcheck.h"
#include "paths.h"
#include "payloadkeys.h"
#include "permissions.h"
#include "registry.h"
#include "rollback.h"
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

// What this install writes, from the payload's file list: its folders and files in list order,
// relative, up to the first gap (a missing value or an unsafe path, logged), which ends a list
// whose counts may be anything.
struct Plan {
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::vector<const XC_MemSpace*> entries;  // each file's payload block, null when missing
    bool whole = true;

    uint64_t TotalBytes() const {
        uint64_t total = 0;
        for (const XC_MemSpace* entry : entries)
            if (entry != nullptr) total += entry->size;
        return total;
    }
};

// Whether reading the file list logs what is wrong with it: the look before the install only
// sizes it, and the install itself logs.
enum class LoadNote { Quiet, Logged };

// The relative path under the value name of list; empty, logged as asked, when the value is
// missing or is no safe relative path (it could leave the install folder or open a device).
std::string ListedPath(XC_Xml& list, const std::string& name, LoadNote note) {
    const std::string relative = list.GetValue(name.c_str());
    if (IsSafeRelativePath(relative, PathStart::OneBackslash)) return relative;
    if (note == LoadNote::Logged)
        LogStepFailure("Reading the file list", name, relative.empty() ? "missing" : "unsafe path " + relative);
    return std::string();
}

// Loads the file list; false, logged as asked, when the payload lacks it or it does not parse.
bool LoadFileList(const XC_ExeTailHelper& payload, XC_Xml* list, LoadNote note) {
    XC_MemSpace block;
    const char* failure = "the payload has no such entry";
    if (payload.GetEntry(PayloadKey::FilesInfo, &block)) {
        const char* text = reinterpret_cast<const char*>(block.data);
        const std::string loaded(text, block.data != nullptr ? strnlen(text, block.size) : 0);
        if (list->LoadText(loaded.c_str())) return true;
        failure = "not a well-formed document";
    }
    if (note == LoadNote::Logged) LogStepFailure("Reading the file list", PayloadKey::FilesInfo, failure);
    return false;
}

Plan ReadPlan(XC_Xml& list, const XC_ExeTailHelper& payload, LoadNote note) {
    Plan plan;
    const int folders = list.GetValueInt(PayloadKey::PathCount);
    for (int i = 0; i < folders; ++i) {
        const std::string relative = ListedPath(list, PayloadKey::PathName(i), note);
        if (relative.empty()) {
            plan.whole = false;
            break;
        }
        plan.folders.push_back(relative);
    }
    const int files = list.GetValueInt(PayloadKey::FileCount);
    for (int i = 0; i < files; ++i) {
        const std::string name = PayloadKey::FileName(i);
        const std::string relative = ListedPath(list, name, note);
        if (relative.empty()) {
            plan.whole = false;
            break;
        }
        plan.files.push_back(relative);
        plan.entries.push_back(payload.FindEntry(name.c_str()));
    }
    return plan;
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

// One shortcut: root\folder\name.lnk (folder may be empty), leading to target.
struct Shortcut {
    std::string target;
    std::string root;
    std::string folder;
    std::string name;

    std::string FullFolder() const { return folder.empty() ? root : JoinPath(root.c_str(), folder.c_str()); }
    std::string Path() const { return JoinPath(FullFolder().c_str(), (name + ".lnk").c_str()); }
};

// Saves the shortcut. The desktop is the user's own and the Start menu folders may have been
// changed: a shortcut is never written through a link on its way, which would let this elevated
// process drop it anywhere (a Startup folder, say). True when the shortcut was saved.
bool CreateShortcutLogged(const Shortcut& shortcut, const std::string& workingFolder) {
    const std::string fullFolder = shortcut.FullFolder();
    const std::string logged = JoinPath(fullFolder.c_str(), shortcut.name.c_str());
    const std::string link = FirstLinkOnTheWay(
        shortcut.root, (shortcut.folder.empty() ? "" : shortcut.folder + "\\") + shortcut.name + ".lnk");
    if (!link.empty()) {
        LogStepFailure("Creating a shortcut", logged, link + " is a link");
        return false;
    }
    const HRESULT result = CreateShortcut(shortcut.target.c_str(), fullFolder.c_str(), shortcut.name.c_str(),
                                          workingFolder.c_str(), "", shortcut.target.c_str(), 0);
    if (SUCCEEDED(result)) return true;
    LogStepFailure("Creating a shortcut", logged, DWORD(result));
    return false;
}

// A translated text used as a file or folder name: only when it is one safe name part, since
// a language file may lie beside the installer; otherwise the English text, logged.
std::string NameFromTranslation(const std::string& translation, const char* english) {
    if (IsSafePathPart(translation)) return translation;
    LogStepFailure("Naming a shortcut", translation, std::string("not a plain name; \"") + english + "\" is used");
    return english;
}

// The three shortcuts in the order they are made (the group's comes first: it creates the group
// folder that the tools folder is in); none when the Start menu or desktop folder is unknown.
std::vector<Shortcut> PlanShortcuts(TInstallOwner& owner, const std::string& installFolder) {
    const std::string application = JoinPath(installFolder.c_str(), kApplication);
    const std::string inkscape = JoinPath(installFolder.c_str(), kInkscape);
    const std::string programs = SpecialFolderPath(kCommonProgramsFolder);
    // The install is per machine: its desktop shortcut goes on every user's desktop, as its
    // Start-menu shortcuts do, not on the desktop of the account the installer runs as (an
    // administrator's, or the system's under a deployment tool).
    const std::string desktop = SpecialFolderPath(kCommonDesktopFolder);
    if (programs.empty() || desktop.empty()) {
        LogStepFailure("Creating the shortcuts", "the Start menu or desktop folder", "unknown folder");
        return std::vector<Shortcut>();
    }
    const std::string group = NameFromTranslation(owner.Text_GroupName, kGroupName);
    const std::string tools = JoinPath(group.c_str(), NameFromTranslation(owner.Text_OtherTools, kOtherTools).c_str());
    const std::string appShortcut = NameFromTranslation(owner.Text_AppShortcut, kAppShortcut);
    const std::string inkscapeShortcut = NameFromTranslation(owner.Text_InkscapeShortcut, kInkscapeShortcut);
    return {{application, programs, group, appShortcut},
            {application, desktop, "", appShortcut},
            {inkscape, programs, tools, inkscapeShortcut}};
}

// Each shortcut and its Start-menu folder, as the record lists them once made.
void AddShortcut(const Shortcut& shortcut, InstallRecord* record) {
    if (!shortcut.folder.empty()) record->AddShortcutFolder(shortcut.FullFolder());
    record->AddShortcut(shortcut.Path());
}

void CreateShortcuts(const std::vector<Shortcut>& shortcuts, const std::string& installFolder, InstallRecord* record) {
    for (const Shortcut& shortcut : shortcuts)
        if (CreateShortcutLogged(shortcut, installFolder)) AddShortcut(shortcut, record);
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

// The files of the application fresh from the payload, under the journal: a failure of an
// install over an older one, or a cancel, puts the older install back; a first install that
// fails keeps what it wrote, all of it in its record.
class Deployment {
public:
    Deployment(TInstallOwner& owner, const Plan& plan, const std::string& installFolder)
        : owner_(owner),
          plan_(plan),
          installFolder_(installFolder),
          uninstallFolder_(UninstallFolderPath()),
          journalFile_(JoinPath(uninstallFolder_.c_str(), InstallJournal::kFileName)),
          shortcuts_(PlanShortcuts(owner, installFolder)) {}

    InstallResult Run() {
        // The uninstaller's own folder, which only administrators may change, holds the older
        // install's record and this install's journal: without it nothing is written.
        std::string failure;
        if (!PrepareUninstallFolder(&failure)) {
            LogStepFailure("Preparing the uninstaller's folder", uninstallFolder_, failure);
            return InstallResult::NotInstalled;
        }
        hasOlder_ = older_.Load(JoinPath(uninstallFolder_.c_str(), InstallRecord::kFileName));
        // The kept folder is made new: one that is already there (another user may have put
        // files in it) is never rolled back from.
        if (!MakeKeptFolder(installFolder_, &ProgramLog)) return InstallResult::NotInstalled;
        if (!SaveJournal()) {
            RemoveKeptFiles(installFolder_, &ProgramLog);
            return InstallResult::NotInstalled;
        }
        if (hasOlder_ && !SetAsideDropped(installFolder_, older_, journal_.Newer(), &ProgramLog)) return Stop();

        bool ok = plan_.whole;
        ByteProgress progress(owner_, plan_.TotalBytes());
        record_.SetInstallFolder(installFolder_);
        if (!tree_.Open(installFolder_, &failure)) {
            LogStepFailure("Installing", installFolder_, failure);
            return Stop();
        }
        ok = CreateFolders() && ok;
        if (Stopping(ok)) return Stop();
        for (size_t i = 0; i < plan_.files.size(); ++i) {
            ok = WriteFile(i, progress) && ok;
            owner_.SetStatus(CopyingFilesText(owner_.Text_CopyingFiles, int(int64_t(i) * 100 / plan_.files.size())));
            if (Stopping(ok)) return Stop();
        }
        progress.Finish();
        ok = OpenToEveryone() && ok;
        tree_.Close();
        if (Stopping(ok)) return Stop();
        CreateShortcuts(shortcuts_, installFolder_, &record_);
        ok = WriteUninstallerFiles() && ok;
        if (Stopping(ok)) return Stop();
        ok = SaveRecordAndEntry() && ok;
        if (Stopping(ok)) return Stop();
        // The install is whole once the journal is gone; until then a rollback undoes it.
        if (!DeleteFileA(journalFile_.c_str())) {
            LogStepFailure("Removing the install journal", journalFile_, GetLastError());
            return Stop();
        }
        ok = RemoveOlderRemains() && ok;
        return ok ? InstallResult::Success : InstallResult::FinishedWithErrors;
    }

private:
    // Before the first write: what stood before and what this install writes.
    bool SaveJournal() {
        InstallRecord planned;
        planned.SetInstallFolder(installFolder_);
        planned.SetLanguage(ProgramLanguage.LanguageId);
        std::vector<bool> foldersThere, filesThere;
        for (const std::string& folder : plan_.folders) {
            planned.AddFolder(folder);
            const DWORD attributes = Attributes(folder);
            foldersThere.push_back(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
        }
        for (size_t i = 0; i < plan_.files.size(); ++i) {
            planned.AddFile(plan_.files[i], plan_.entries[i] != nullptr ? plan_.entries[i]->size : 0);
            const DWORD attributes = Attributes(plan_.files[i]);
            filesThere.push_back(attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY));
        }
        for (const Shortcut& shortcut : shortcuts_) AddShortcut(shortcut, &planned);
        const OlderEntry olderEntry = UninstallEntryExists() ? OlderEntry::Present : OlderEntry::Absent;
        journal_ = InstallJournal(hasOlder_ ? &older_ : nullptr, olderEntry, planned, filesThere, foldersThere);
        if (journal_.Save(journalFile_)) return true;
        LogStepFailure("Saving the install journal", journalFile_, GetLastError());
        return false;
    }

    DWORD Attributes(const std::string& relative) const {
        return GetFileAttributesA(JoinPath(installFolder_.c_str(), relative.c_str()).c_str());
    }

    // Whether to stop here and put back what stood before: a cancel always, a failure when an
    // older install would otherwise be left half replaced.
    bool Stopping(bool ok) const { return owner_.CancelRequested() || (!ok && hasOlder_); }

    InstallResult Stop() {
        // A failed write may come from a folder moved behind the handle: say so. Then let go,
        // since the rollback removes folders this install made.
        std::string failure;
        if (tree_.IsOpen() && !tree_.StillInPlace(&failure))
            LogStepFailure("Checking the installed folders", installFolder_, failure);
        tree_.Close();
        LogStepFailure("Installing", installFolder_,
                       owner_.CancelRequested() ? "cancelled" : "a step failed; the earlier state is put back");
        if (RollBack(uninstallFolder_, journal_, &ProgramLog) && !DeleteFileA(journalFile_.c_str()))
            LogStepFailure("Removing the install journal", journalFile_, GetLastError());
        return InstallResult::NotInstalled;
    }

    // Folders in list order, each level opened under its parent and held until the copy is
    // done. They are made with the install folder's own access; the grant to everyone comes
    // after the last file (OpenToEveryone), so that no other user can rename a folder and put
    // a link in its place while files are written into it.
    bool CreateFolders() {
        bool ok = true;
        for (const std::string& relative : plan_.folders) {
            // Every listed folder belongs to this install, one an older install made too.
            record_.AddFolder(relative);
            std::string failure;
            if (tree_.Folder(relative, MissingFolder::Create, &failure) == nullptr) {
                LogStepFailure("Creating a folder", JoinPath(installFolder_.c_str(), relative.c_str()), failure);
                ok = false;
            }
        }
        return ok;
    }

    // What stands at the file's path is set aside first, so that a rollback has it back. The
    // file carries its grant from its own write handle: a file open to everyone steers no write.
    bool WriteFile(size_t i, ByteProgress& progress) {
        const std::string& relative = plan_.files[i];
        const std::string file = JoinPath(installFolder_.c_str(), relative.c_str());
        // Written straight from the payload's own block, without a copy.
        const XC_MemSpace* entry = plan_.entries[i];
        // Listed whether or not this write succeeds: a first install that fails keeps what it
        // wrote, and its uninstaller removes all of it.
        record_.AddFile(relative, entry != nullptr ? entry->size : 0);
        const uint64_t end = progress.Done() + (entry != nullptr ? entry->size : 0);
        const std::string key = PayloadKey::FileName(int(i));
        std::string failure;
        const HANDLE folder = tree_.Folder(ParentFolder(relative), MissingFolder::Fail, &failure);
        const HANDLE kept = folder != nullptr ? tree_.Folder(kKeptFolderName, MissingFolder::Fail, &failure) : nullptr;
        if (kept == nullptr) LogStepFailure("Writing a file", file, failure);
        const bool ok = kept != nullptr && SetAsideReplaced(folder, file, kept, i, &ProgramLog) &&
                        WriteEntryFile(key.c_str(), entry, folder, file, FileGrant::Everyone,
                                       [&progress](DWORD bytes) { progress.Add(bytes); });
        progress.MoveTo(end);
        return ok;
    }

    // The final state: the install folder and its folders open to everyone, through the
    // handles they were written through, once each still stands where it was written (a
    // program outside Windows' own calls could have moved one despite the handle).
    bool OpenToEveryone() {
        std::string failure;
        if (!tree_.StillInPlace(&failure)) {
            LogStepFailure("Checking the installed folders", installFolder_, failure);
            return false;
        }
        XC_WorldSid world;
        if (tree_.GrantToAll(world.Get(), GENERIC_ALL, &failure)) return true;
        LogStepFailure("Opening to everyone", installFolder_, failure);
        return false;
    }

    // The uninstaller and its language file. An installer packed without the uninstaller
    // installs the application, but no entry that would lead to nothing.
    bool WriteUninstallerFiles() {
        uninstallerWritten_ = WriteEntryFile(PayloadKey::Uninstaller, owner_.Payload.FindEntry(PayloadKey::Uninstaller),
                                             JoinPath(uninstallFolder_.c_str(), kUninstallerFileName));
        return WriteUninstallerLanguage(uninstallFolder_, &record_) && uninstallerWritten_;
    }

    // The record beside the uninstaller, then the Programs and Features entry, only when the
    // uninstaller it names was written.
    bool SaveRecordAndEntry() {
        bool ok = true;
        const std::string recordFile = JoinPath(uninstallFolder_.c_str(), InstallRecord::kFileName);
        if (!record_.Save(recordFile)) {
            LogStepFailure("Saving the install record", recordFile, GetLastError());
            ok = false;
        }
        const std::string uninstaller = JoinPath(uninstallFolder_.c_str(), kUninstallerFileName);
        if (!uninstallerWritten_) {
            LogStepFailure("Writing the Programs and Features entry", kUninstallKey, "the uninstaller was not written");
            ok = false;
        } else if (!WriteUninstallEntry(installFolder_, uninstaller, record_.TotalSize())) {
            LogStepFailure("Writing the Programs and Features entry", kUninstallKey, GetLastError());
            ok = false;
        }
        return ok;
    }

    // Once the install is whole: the older install's files set aside, and its language file
    // when it spoke another language (the uninstaller no longer knows it, and it would keep
    // the uninstaller's folder from going).
    bool RemoveOlderRemains() {
        bool ok = true;
        if (!RemoveKeptFiles(installFolder_, &ProgramLog)) {
            LogStepFailure("Removing the older install's files", installFolder_, "some are held");
            ok = false;
        }
        if (older_.Language() != 0 && older_.Language() != record_.Language()) {
            const std::string stale = JoinPath(uninstallFolder_.c_str(), LanguageFileName(older_.Language()).c_str());
            if (!DeleteFileA(stale.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
                LogStepFailure("Removing the older install's language file", stale, GetLastError());
                ok = false;
            }
        }
        return ok;
    }

    TInstallOwner& owner_;
    const Plan& plan_;
    const std::string installFolder_;
    const std::string uninstallFolder_;
    const std::string journalFile_;
    const std::vector<Shortcut> shortcuts_;
    InstallRecord older_;
    bool hasOlder_ = false;
    InstallJournal journal_;
    InstallRecord record_;
    HeldFolders tree_;
    bool uninstallerWritten_ = false;
};

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

bool ReadyToDeploy(TInstallOwner& owner) {
    XC_Xml list;
    const std::string programFiles = SpecialFolderPath(kProgramFilesFolder);
    if (programFiles.empty() || !LoadFileList(owner.Payload, &list, LoadNote::Quiet)) return true;
    const uint64_t total = ReadPlan(list, owner.Payload, LoadNote::Quiet).TotalBytes();
    if (!EnsureSpace(owner, programFiles, total)) return false;
    // A running program holds its files open: nothing is written until it is closed, and no
    // process is ended for it.
    const std::string installFolder = JoinPath(programFiles.c_str(), kInstallFolderName);
    const std::string question = owner.Text_ProgramRunning.empty() ? kRunningQuestion : owner.Text_ProgramRunning;
    if (NoProgramRunsFrom(
            installFolder, [&] { return owner.AskRetry(question); }, &ProgramLog))
        return true;
    LogStepFailure("Installing", installFolder, "a program running from it was not closed");
    return false;
}

InstallResult DeployApplication(TInstallOwner& owner) {
    if (owner.CancelRequested()) {
        LogStepFailure("Installing", "the application", "cancelled before the copy");
        return InstallResult::NotInstalled;
    }
    XC_Xml list;
    const bool listed = LoadFileList(owner.Payload, &list, LoadNote::Logged);
    const Plan plan = listed ? ReadPlan(list, owner.Payload, LoadNote::Logged) : Plan();
    const std::string programFiles = SpecialFolderPath(kProgramFilesFolder);
    if (CreateFolder(kOutputFolder)) GrantToEveryone(kOutputFolder);
    if (programFiles.empty()) {
        LogStepFailure("Finding the Program Files folder", "CSIDL 38", "unknown folder");
        return InstallResult::FinishedWithErrors;
    }
    const std::string installFolder = JoinPath(programFiles.c_str(), kInstallFolderName);
    const bool made = CreateFolder(installFolder);
    if (listed) return Deployment(owner, plan, installFolder).Run();
    // A damaged file list leaves nothing to copy and no record to act on: the older one stays
    // as it is, and the shortcuts are made all the same.
    if (made) GrantToEveryone(installFolder);
    ByteProgress(owner, 0).Finish();
    InstallRecord unrecorded;
    CreateShortcuts(PlanShortcuts(owner, installFolder), installFolder, &unrecorded);
    return InstallResult::FinishedWithErrors;
}
