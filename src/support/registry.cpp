// Registry reads by key path text and special folders through shell32, loaded at run time
// from the system folder.
#include "registry.h"

#include <cstring>
#include <vector>

#include "paths.h"
#include "xc_handle.h"

namespace {

struct RootName {
    const char* name;
    HKEY key;
};

const RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKUS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {"HKCC", HKEY_CURRENT_CONFIG},
};

bool QueryInfo(HKEY key, DWORD* subKeys, DWORD* longestName) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, subKeys, longestName, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

HKEY RegOpenPath(const char* path) {
    if (path == nullptr) return nullptr;
    const char* slash = strchr(path, '\\');
    if (slash == nullptr) return nullptr;
    const size_t rootLength = static_cast<size_t>(slash - path);
    // An empty root text would be a leading part of every name; it names no root.
    if (rootLength == 0) return nullptr;
    HKEY root = nullptr;
    for (const RootName& entry : kRoots) {
        if (_strnicmp(path, entry.name, rootLength) == 0) root = entry.key;
    }
    if (root == nullptr) return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyA(root, slash + 1, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

bool RegReadValue(const char* path, const char* valueName, void* buffer, DWORD* type, DWORD* size) {
    if (valueName == nullptr || type == nullptr) return false;
    if (buffer != nullptr && (*type == 0 || size == nullptr || *size == 0)) return false;
    XC_RegKey key(RegOpenPath(path));
    if (!key.IsOpen()) return false;
    return RegQueryValueExA(key.Get(), valueName, nullptr, type, static_cast<BYTE*>(buffer), size) == ERROR_SUCCESS;
}

std::string RegReadString(const char* path, const char* valueName) {
    DWORD type = 0;
    DWORD size = 0;
    if (!RegReadValue(path, valueName, nullptr, &type, &size) || size == 0) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::string();
    // One zero byte beyond the value ends the last string even when the stored value lacks it.
    std::vector<char> buffer(size + 1, '\0');
    if (!RegReadValue(path, valueName, buffer.data(), &type, &size)) return std::string();
    std::string text(buffer.data());
    if (type == REG_MULTI_SZ) {
        size_t next = text.size() + 1;
        while (next < size && buffer[next] != '\0') {
            const char* item = buffer.data() + next;
            text += '\n';
            text += item;
            next += strlen(item) + 1;
        }
    }
    return text;
}

DWORD RegReadDword(const char* path, const char* valueName) {
    DWORD value = 0;
    DWORD type = REG_DWORD;
    DWORD size = sizeof(value);
    // A short text or binary value fits the four bytes too; only a real number counts.
    if (!RegReadValue(path, valueName, &value, &type, &size) || type != REG_DWORD || size != sizeof(value)) return 0;
    return value;
}

DWORD RegSubKeyCount(const char* path) {
    XC_RegKey key(RegOpenPath(path));
    DWORD count = 0;
    if (!key.IsOpen() || !QueryInfo(key.Get(), &count, nullptr)) return 0;
    return count;
}

std::string RegSubKeyName(const char* path, DWORD index) {
    XC_RegKey key(RegOpenPath(path));
    DWORD count = 0;
    DWORD longest = 0;
    if (!key.IsOpen() || !QueryInfo(key.Get(), &count, &longest) || index >= count) return std::string();
    std::vector<char> name(longest + 1, '\0');
    if (RegEnumKeyA(key.Get(), index, name.data(), longest + 1) != ERROR_SUCCESS) return std::string();
    return std::string(name.data());
}

std::string SpecialFolderPath(int folderId) {
    typedef HRESULT(WINAPI * GetFolderPathFn)(HWND, int, HANDLE, DWORD, LPSTR);
    XC_Module shell(LoadSystemLibrary("Shell32.dll"));
    if (!shell.IsOpen()) return std::string();
    const auto getFolderPath = LibraryEntry<GetFolderPathFn>(shell.Get(), "SHGetFolderPathA");
    if (getFolderPath == nullptr) return std::string();
    char path[MAX_PATH] = {};
    if (getFolderPath(nullptr, folderId, nullptr, 0, path) < 0) return std::string();
    return std::string(path);
}
