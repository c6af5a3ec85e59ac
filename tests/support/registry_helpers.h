// Registry set-up for tests: values written, keys removed, and values put back afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Removes a key with its direct subkeys (test keys are two levels deep at most).
inline void DeleteKeyTree(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyA(root, path.c_str(), &key) == ERROR_SUCCESS) {
        char name[256];
        while (RegEnumKeyA(key, 0, name, sizeof(name)) == ERROR_SUCCESS) {
            if (RegDeleteKeyA(key, name) != ERROR_SUCCESS) break;
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(root, path.c_str());
}

inline bool SetRegValue(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
                        DWORD size) {
    HKEY key;
    LONG created = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                   &key, nullptr);
    // Below HKLM\HARDWARE only volatile keys can be made.
    if (created == ERROR_CHILD_MUST_BE_VOLATILE)
        created = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr);
    if (created != ERROR_SUCCESS) return false;
    const bool ok = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

inline bool SetRegText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    return SetRegValue(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline bool DeleteRegValue(HKEY root, const std::string& path, const char* name) {
    HKEY key;
    if (RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return false;
    const bool ok = RegDeleteValueA(key, name) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// Remembers a value (or its absence) and puts it back on scope exit.
class SavedRegValue {
public:
    SavedRegValue(HKEY root, const std::string& path, const char* name) : root_(root), path_(path), name_(name) {
        HKEY key;
        if (RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return;
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.resize(size + 1);
            existed_ = RegQueryValueExA(key, name, nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
            data_.resize(size);
        }
        RegCloseKey(key);
    }
    ~SavedRegValue() {
        if (existed_)
            SetRegValue(root_, path_, name_.c_str(), type_, data_.data(), static_cast<DWORD>(data_.size()));
        else
            DeleteRegValue(root_, path_, name_.c_str());
    }
    SavedRegValue(const SavedRegValue&) = delete;
    SavedRegValue& operator=(const SavedRegValue&) = delete;

private:
    HKEY root_;
    std::string path_;
    std::string name_;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
    bool existed_ = false;
};

// Held by every test that changes, or compares records of, the machine description: test
// cases run as parallel processes in one prefix, and this named mutex keeps them apart.
class MachineInfoLock {
public:
    MachineInfoLock() : mutex_(CreateMutexA(nullptr, FALSE, "TarvikMachineInfoTest")) {
        if (mutex_ != nullptr) WaitForSingleObject(mutex_, INFINITE);
    }
    ~MachineInfoLock() {
        if (mutex_ != nullptr) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }
    MachineInfoLock(const MachineInfoLock&) = delete;
    MachineInfoLock& operator=(const MachineInfoLock&) = delete;

private:
    HANDLE mutex_;
};
