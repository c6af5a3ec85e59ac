// The four driver sets (PL2303 and CH341, each for Windows XP and Windows 7), the choice
// between them by system version and by the 64-bit marker of the Program Files path, and the
// staging of both adapters' packages in the driver store.
#include "driverinstall.h"

#include <cstddef>
#include <string>

#include "adapters.h"
#include "driverstore.h"
#include "installsteps.h"
#include "paths.h"
#include "payloadkeys.h"
#include "privatefolder.h"
#include "registry.h"
#include "xc_installhardware.h"
#include "xc_log.h"
#include "xc_osversion.h"
#include "xc_xml.h"

namespace {

// The window redraws its status every 500 ms: this pause puts the driver status on screen
// before the driver installation blocks the worker.
const DWORD kStatusPauseMs = 600;

struct PackageFile {
    const char* key;
    const char* name;  // exactly as the INF names it
};

struct Package {
    const PackageFile* files;
    size_t count;
};

template <size_t N>
constexpr Package PackageOf(const PackageFile (&files)[N]) {
    return {files, N};
}

const PackageFile kPl2303Xp[] = {
    {PayloadKey::XpPl2303Cat, "ser2pl.cat"},
    {PayloadKey::XpPl2303Inf, "ser2pl.inf"},
    {PayloadKey::XpPl2303Sys, "ser2pl.sys"},
};
const PackageFile kPl2303Win7[] = {
    {PayloadKey::Win7Pl2303Cat, "ser2pl.cat"}, {PayloadKey::Win7Pl2303Inf, "ser2pl.inf"},
    {PayloadKey::Win7Pl2303Sys, "ser2pl.sys"}, {PayloadKey::Win7Pl2303Sys64, "ser2pl64.sys"},
    {PayloadKey::Win7Upd64Exe, "upd64.exe"},
};
const PackageFile kCh341Xp[] = {
    {PayloadKey::Ch341Inf, "CH341SER.INF"},
    {PayloadKey::Ch341Cat, "ch341SER.CAT"},
    {PayloadKey::Ch341Sys, "CH341SER.SYS"},
    {PayloadKey::Ch341PtDll, "CH341PT.DLL"},
};
const PackageFile kCh341Win7[] = {
    {PayloadKey::Ch341PtDll, "CH341PT.DLL"},  {PayloadKey::Ch341Inf, "CH341SER.INF"},
    {PayloadKey::Ch341Cat, "ch341SER.CAT"},   {PayloadKey::Ch341Sys, "CH341SER.SYS"},
    {PayloadKey::Ch341Sys64, "CH341S64.SYS"}, {PayloadKey::Win7Upd64Exe, "upd64.exe"},
};
const char kUpdaterName[] = "upd64.exe";

// The permanent copies of the packages, below the common application data folder: Windows
// reads the driver files from the folder a package was staged from whenever its device
// arrives, so this folder outlives the temporary one and stays when the application goes.
const char* const kPackageHome[] = {"MiniTarvik", "Drivers"};
const char kStaging[] = "Staging a driver package";
// Staging takes the updater a second or so; one that hangs must not hold the install.
const DWORD kStagingWaitMs = 60000;

struct AdapterDriver {
    const char* hardwareId;
    const char* folder;  // its folder's name, in the temporary folder and among the permanent packages
    const char* inf;
    Package xp;
    Package win7;
};

const AdapterDriver kAdapters[] = {
    {kPl2303HardwareId, "2303", "ser2pl.inf", PackageOf(kPl2303Xp), PackageOf(kPl2303Win7)},
    {kCh341HardwareId, "ch341", "CH341SER.INF", PackageOf(kCh341Xp), PackageOf(kCh341Win7)},
};

// System files the serial drivers need, supplied only where they are missing.
struct FixFile {
    const char* key;
    std::string (*folder)(const char*);
    const char* name;
};

const FixFile kXpFixes[] = {
    {PayloadKey::XpFixMdmcpqInf, WindowsDirPath, "inf\\mdmcpq.inf"},
    {PayloadKey::XpFixUsbserSys, SystemDirPath, "drivers\\usbser.sys"},
};
const FixFile kWin7Fixes[] = {
    {PayloadKey::Win7FixMdmcpqInf, WindowsDirPath, "inf\\mdmcpq.inf"},
    {PayloadKey::Win7FixUsbserSys, SystemDirPath, "drivers\\usbser.sys"},
    {PayloadKey::Win7FixSerenumSys, SystemDirPath, "drivers\\serenum.sys"},
};

DriverSet SetForThisSystem() {
    const XC_OSVersion version;
    return DriverSetFor(version.VersionInfo.dwMajorVersion, version.VersionInfo.dwMinorVersion);
}

// A 32-bit program on 64-bit Windows is shown the Program Files folder for 32-bit programs. A
// 64-bit build (made to test this code where 32-bit programs cannot run) runs only there, and
// takes the same road as the 32-bit installer does.
bool Is64BitWindows() {
    return sizeof(void*) == 8 || SpecialFolderPath(kProgramFilesFolder).find("(x86)") != std::string::npos;
}

bool WritePayloadEntry(const XC_ExeTailHelper& payload, const char* key, const std::string& path) {
    return WriteEntryFile(key, payload.FindEntry(key), path);
}

// An existing file, or one whose presence cannot be told, is never replaced.
template <size_t N>
void SupplyMissingFixFiles(const XC_ExeTailHelper& payload, const FixFile (&fixes)[N]) {
    for (const FixFile& fix : fixes) {
        const std::string path = fix.folder(fix.name);
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            LogStepFailure("Looking for a system file", path, error);
            continue;
        }
        WritePayloadEntry(payload, fix.key, path);
    }
}

// A folder only administrators and the system may change, made new: one that stood there
// (another user may have made it first, with an entry that lets them swap what is written
// and then started) is removed with what it held, and the log says so. Empty, logged, when it
// cannot be made, a link put in its place included.
std::string NewFolder(const std::string& folder) {
    std::string failure;
    switch (MakeFolderAnew(folder, &failure)) {
        case FolderAnew::Made:
            return folder;
        case FolderAnew::Replaced: {
            const std::string entry = "Made new, the folder that was there removed with what it held: " + folder;
            ProgramLog.Append(entry.data(), int(entry.size()));
            return folder;
        }
        case FolderAnew::Failed:
            break;
    }
    LogStepFailure("Creating a folder", folder, failure);
    return std::string();
}

// The adapter's working folder in the temporary folder, made new; the one place it is made.
std::string WorkingFolder(const AdapterDriver& adapter) { return NewFolder(TempDirPath(adapter.folder)); }

// The adapter's permanent package folder: its levels (which hold other folders of the install)
// protected, the package's own folder made new. Empty when that cannot be done (logged).
std::string PermanentFolder(const AdapterDriver& adapter) {
    std::string folder = SpecialFolderPath(kCommonAppDataFolder);
    if (folder.empty()) {
        LogStepFailure(kStaging, adapter.inf, "the common application data folder is unknown");
        return std::string();
    }
    for (const char* level : kPackageHome) {
        folder = JoinPath(folder.c_str(), level);
        std::string failure;
        if (!ProtectFolder(folder, &failure)) {
            LogStepFailure("Creating a folder", folder, failure);
            return std::string();
        }
    }
    return NewFolder(JoinPath(folder.c_str(), adapter.folder));
}

// False when a file could not be written (logged).
bool WritePackage(const XC_ExeTailHelper& payload, const Package& package, const std::string& folder) {
    bool ok = true;
    for (size_t i = 0; i < package.count; ++i)
        ok = WritePayloadEntry(payload, package.files[i].key, JoinPath(folder.c_str(), package.files[i].name)) && ok;
    return ok;
}

bool UpdateDriver(XC_InstallHardware& hardware, const char* hardwareId, const std::string& inf) {
    return CheckStep(hardware.UpdateDriver(hardwareId, inf.c_str()), "Driver update",
                     std::string(hardwareId) + " " + inf);
}

// The updater's path is quoted: the temporary folder may hold a blank.
std::string UpdaterPath(const std::string& folder) { return "\"" + JoinPath(folder.c_str(), kUpdaterName) + "\""; }

// False when the updater could not be started. Its console shows only to a person watching.
bool StartUpdater64(const std::string& folder, const char* hardwareId, const std::string& inf, bool show) {
    const std::string line = UpdaterPath(folder) + " \"" + hardwareId + "\" \"" + inf + "\"";
    ProgramLog.Append(line.data(), int(line.size()));
    return CheckStep(RunProcess(line.c_str(), show), "Starting the 64-bit driver updater", line);
}

void LogStaged(const std::string& how) {
    const std::string entry = "Driver package staged" + how;
    ProgramLog.Append(entry.data(), int(entry.size()));
}

// On 64-bit Windows through the updater's staging form, awaited: a 32-bit caller is refused
// there. Its window stays hidden: nothing here needs a person.
void StageWithUpdater64(const std::string& folder, const std::string& inf) {
    const std::string line = UpdaterPath(folder) + " /stage \"" + inf + "\"";
    ProgramLog.Append(line.data(), int(line.size()));
    DWORD code = 0;
    if (!CheckStep(RunProcess(line.c_str(), false, &code, kStagingWaitMs), "Starting the 64-bit driver updater", line))
        return;
    if (code == 0)
        LogStaged(" by the 64-bit driver updater: " + inf);
    else if (code == STILL_ACTIVE)
        LogStepFailure(kStaging, inf,
                       "the 64-bit driver updater did not end within " + std::to_string(kStagingWaitMs / 1000) + " s");
    else
        LogStepFailure(kStaging, inf, "the 64-bit driver updater ended with exit code " + std::to_string(code));
}

// Writes the adapter's package of set into its permanent folder and stages it from there;
// every outcome is logged, none is an install error: the adapter may never come.
void StagePackage(const XC_ExeTailHelper& payload, const AdapterDriver& adapter, DriverSet set) {
    const Package& package = set == DriverSet::WindowsXp ? adapter.xp : adapter.win7;
    // A payload without the package (its builder lacked the files) gives one note, not one per file.
    for (size_t i = 0; i < package.count; ++i) {
        if (payload.HasEntry(package.files[i].key)) continue;
        LogStepFailure(kStaging, adapter.inf, std::string("the payload has no entry ") + package.files[i].key);
        return;
    }
    const std::string folder = PermanentFolder(adapter);
    if (folder.empty()) return;
    const std::string inf = JoinPath(folder.c_str(), adapter.inf);
    if (!WritePackage(payload, package, folder)) {
        LogStepFailure(kStaging, inf, "its files could not all be written");
        return;
    }
    if (set == DriverSet::Windows7 && Is64BitWindows()) {
        StageWithUpdater64(folder, inf);
        return;
    }
    std::string stored;
    if (CheckStep(StageDriverPackage(inf.c_str(), &stored), kStaging, inf)) LogStaged(": " + inf + " as " + stored);
}

// Writes and installs the adapter's package for set; false when the driver update failed or
// the updater could not be started. show: the updater's console may show.
bool RunDriverSet(const XC_ExeTailHelper& payload, XC_InstallHardware& hardware, const AdapterDriver& adapter,
                  DriverSet set, bool show) {
    const std::string folder = WorkingFolder(adapter);
    if (folder.empty()) return false;
    const std::string inf = JoinPath(folder.c_str(), adapter.inf);
    if (set == DriverSet::WindowsXp) {
        SupplyMissingFixFiles(payload, kXpFixes);
        WritePackage(payload, adapter.xp, folder);
        return UpdateDriver(hardware, adapter.hardwareId, inf);
    }
    SupplyMissingFixFiles(payload, kWin7Fixes);
    WritePackage(payload, adapter.win7, folder);
    if (!Is64BitWindows()) return UpdateDriver(hardware, adapter.hardwareId, inf);
    return StartUpdater64(folder, adapter.hardwareId, inf, show);
}

}  // namespace

DriverSet DriverSetFor(DWORD major, DWORD minor) {
    if (major == 5 && minor == 1) return DriverSet::WindowsXp;
    if (major == 6 && (minor == 1 || minor == 2)) return DriverSet::Windows7;
    return DriverSet::None;
}

bool InstallAdapterDrivers(TInstallOwner& owner) {
    XC_InstallHardware hardware;
    XC_Xml report;
    bool ok = true;
    for (const AdapterDriver& adapter : kAdapters) {
        // An adapter with a service already has its driver.
        if (!hardware.FindDevice(adapter.hardwareId, &report) || !report.GetValue("Service").empty()) continue;
        owner.SetStatus(owner.Text_InstallingDriver);
        Sleep(kStatusPauseMs);
        const DriverSet set = SetForThisSystem();
        if (set == DriverSet::None) continue;
        if (!RunDriverSet(owner.Payload, hardware, adapter, set, owner.Watched())) ok = false;
    }
    StageAdapterPackages(owner.Payload);
    return ok;
}

void StageAdapterPackages(const XC_ExeTailHelper& payload) {
    const DriverSet set = SetForThisSystem();
    if (set == DriverSet::None) return;
    for (const AdapterDriver& adapter : kAdapters) StagePackage(payload, adapter, set);
}
