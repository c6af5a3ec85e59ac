// The Programs and Features entry of the install (Apps & features on later Windows): written
// after the deployment, removed by the uninstaller. It lives in the 32-bit view of the registry,
// where every 32-bit program's entry lives on 64-bit Windows.
#pragma once

#include <cstdint>
#include <string>

// Below HKEY_LOCAL_MACHINE.
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MiniTarvik";

// The version of the file's version resource as "major.minor.build.revision"; empty when it
// has none or the version library cannot be loaded.
std::string FileVersionText(const std::string& path);

// Writes the entry in place (a missing key is made; the key is never removed first, so a cut
// off write leaves an entry): the display name and publisher "Mini Tarvik", the icon and version of
// installFolder\Emberlin.exe (no DisplayVersion when it has no version), InstallLocation,
// EstimatedSize in KB rounded up from installedBytes, the quoted uninstaller with and without
// "/S", and neither modify nor repair; a DisplayVersion of an older install goes when this one
// has none. False when the key or a value cannot be written.
bool WriteUninstallEntry(const std::string& installFolder, const std::string& uninstaller, uint64_t installedBytes);

// Whether the entry exists (false also when it cannot be read).
bool UninstallEntryExists();

// True when the entry is gone (also when there was none).
bool RemoveUninstallEntry();

// The uninstaller, the install record and the uninstaller's language file live apart from the
// install folder, which every user may change: "<common application data>\MiniTarvik\Uninstall",
// which only administrators and the system may change, since an administrator runs what lies
// there elevated. Empty when the common application data folder is unknown.
std::string UninstallFolderPath();

// Makes UninstallFolderPath and its parent (each where missing) and gives both the protected
// access list: owner Administrators; SYSTEM and Administrators full control, Users read and
// execute, inherited by what they hold. False when a level is a link (a junction, a symbolic
// link) or cannot be made or protected; *failure then says which and why.
bool PrepareUninstallFolder(std::string* failure);
