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

// Replaces the entry: the display name and publisher "Mini Tarvik", the icon and version of
// installFolder\Emberlin.exe (no DisplayVersion when it has no version), InstallLocation,
// EstimatedSize in KB rounded up from installedBytes, the quoted uninstaller with and without
// "/S", and neither modify nor repair. False when the key or a value cannot be written.
bool WriteUninstallEntry(const std::string& installFolder, const std::string& uninstaller, uint64_t installedBytes);

// True when the entry is gone (also when there was none).
bool RemoveUninstallEntry();
