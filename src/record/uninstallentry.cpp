// The uninstall entry's key and values, and the version read from the application's resource.
#include "uninstallentry.h"

#include <windows.h>

#include <vector>

#include "paths.h"
#include "privatefolder.h"
#include "registry.h"
#include "textformat.h"
#include "xc_handle.h"

namespace {

// The parent of the entry's key: the entry is made and removed through it, in the 32-bit view.
constexpr const char* kUninstallParent = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kEntryName = "MiniTarvik";
constexpr const char* kProductName = "Mini Tarvik";
constexpr const char* kCompanyFolder = "MiniTarvik";
constexpr const char* kUninstallFolderName = "Uninstall";
bool SetText(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1)) ==
           ERROR_SUCCESS;
}

bool SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

}  // namespace

std::string FileVersionText(const std::string& path) {
    using SizeFunction = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFunction = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    XC_Module library(LoadSystemLibrary("version.dll"));
    if (!library.IsOpen()) return std::string();
    const auto size = LibraryEntry<SizeFunction>(library.Get(), "GetFileVersionInfoSizeA");
    const auto info = LibraryEntry<InfoFunction>(library.Get(), "GetFileVersionInfoA");
    const auto query = LibraryEntry<QueryFunction>(library.Get(), "VerQueryValueA");
    if (size == nullptr || info == nullptr || query == nullptr) return std::string();
    DWORD ignored = 0;
    const DWORD bytes = size(path.c_str(), &ignored);
    if (bytes == 0) return std::string();
    std::vector<char> block(bytes);
    if (!info(path.c_str(), 0, bytes, block.data())) return std::string();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!query(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE)
        return std::string();
    return FormatText("%u.%u.%u.%u", unsigned(HIWORD(fixed->dwFileVersionMS)), unsigned(LOWORD(fixed->dwFileVersionMS)),
                      unsigned(HIWORD(fixed->dwFileVersionLS)), unsigned(LOWORD(fixed->dwFileVersionLS)));
}

bool WriteUninstallEntry(const std::string& installFolder, const std::string& uninstaller, uint64_t installedBytes) {
    XC_RegKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS)
        return false;
    const std::string application = JoinPath(installFolder.c_str(), "Emberlin.exe");
    const std::string version = FileVersionText(application);
    const uint64_t kilobytes = (installedBytes + 1023) / 1024;
    bool ok = SetText(key.Get(), "DisplayName", kProductName) && SetText(key.Get(), "DisplayIcon", application) &&
              SetText(key.Get(), "Publisher", kProductName) && SetText(key.Get(), "InstallLocation", installFolder) &&
              SetDword(key.Get(), "EstimatedSize", kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : DWORD(kilobytes)) &&
              SetText(key.Get(), "UninstallString", "\"" + uninstaller + "\"") &&
              SetText(key.Get(), "QuietUninstallString", "\"" + uninstaller + "\" /S") &&
              SetDword(key.Get(), "NoModify", 1) && SetDword(key.Get(), "NoRepair", 1);
    if (!ok) return false;
    if (!version.empty()) return SetText(key.Get(), "DisplayVersion", version);
    const LONG removed = RegDeleteValueA(key.Get(), "DisplayVersion");
    return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
}

bool UninstallEntryExists() {
    XC_RegKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY, key.Receive()) ==
           ERROR_SUCCESS;
}

std::string UninstallFolderPath() {
    const std::string data = SpecialFolderPath(kCommonAppDataFolder);
    return data.empty() ? std::string() : JoinPath(data.c_str(), kCompanyFolder, kUninstallFolderName);
}

bool PrepareUninstallFolder(std::string* failure) {
    const std::string data = SpecialFolderPath(kCommonAppDataFolder);
    if (data.empty()) {
        *failure = "the common application data folder is unknown";
        return false;
    }
    return ProtectFolder(JoinPath(data.c_str(), kCompanyFolder), failure) &&
           ProtectFolder(UninstallFolderPath(), failure);
}

bool RemoveUninstallEntry() {
    XC_RegKey parent;
    const LONG opened =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallParent, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, parent.Receive());
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    const LONG deleted = RegDeleteKeyA(parent.Get(), kEntryName);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}
