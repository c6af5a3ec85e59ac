// Simulated USB adapters and the files of a driver installation, for the device tests.
#include "simulated_devices.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstring>

const char* const kPl2303Id = "USB\\Vid_067b&Pid_2303";
const char* const kCh341Id = "USB\\VID_1A86&PID_7523";
const char* const kPortsClassGuid = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

namespace {

const char* const kUsbEnumKey = "System\\CurrentControlSet\\Enum\\USB";
// Instances we make start with this text, so that leftovers of an interrupted run are found.
const char* const kInstancePrefix = "TARVIKTEST&";

class RegKey {
public:
    RegKey() = default;
    ~RegKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    bool Create(HKEY parent, const std::string& path) {
        return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) ==
               ERROR_SUCCESS;
    }
    bool Open(HKEY parent, const std::string& path) {
        return RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS;
    }
    bool SetText(const char* name, const std::string& text, DWORD type = REG_SZ) {
        return RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                              DWORD(text.size() + 1)) == ERROR_SUCCESS;
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::vector<std::string> SubKeys(HKEY parent, const std::string& path) {
    std::vector<std::string> names;
    RegKey key;
    if (!key.Open(parent, path)) return names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    return names;
}

// Removes our instances left by a test that did not finish.
void RemoveLeftoverAdapters() {
    for (const std::string& device : SubKeys(HKEY_LOCAL_MACHINE, kUsbEnumKey)) {
        const std::string deviceKey = std::string(kUsbEnumKey) + "\\" + device;
        for (const std::string& instance : SubKeys(HKEY_LOCAL_MACHINE, deviceKey))
            if (instance.compare(0, strlen(kInstancePrefix), kInstancePrefix) == 0)
                SHDeleteKeyA(HKEY_LOCAL_MACHINE, (deviceKey + "\\" + instance).c_str());
    }
}

std::string SamplePackagePath(const char* package) {
    std::string path = TARVIK_SAMPLE_DRIVERS;
    path += "\\";
    path += package;
    return path;
}

}  // namespace

SimulatedDevice::SimulatedDevice(const SimulatedAdapter& adapter, const std::string& instance)
    : deviceKey_(std::string(kUsbEnumKey) + "\\" + adapter.device), instanceKey_(deviceKey_ + "\\" + instance) {
    RegKey key;
    if (!key.Create(HKEY_LOCAL_MACHINE, instanceKey_)) return;
    std::string ids;
    for (const std::string& id : adapter.hardwareIds) ids += id + '\0';
    bool ok = key.SetText("HardwareID", ids, REG_MULTI_SZ);
    ok = ok && key.SetText("DeviceDesc", adapter.deviceDesc);
    ok = ok && key.SetText("FriendlyName", adapter.friendlyName);
    if (!adapter.service.empty()) ok = ok && key.SetText("Service", adapter.service);
    if (!adapter.driver.empty()) ok = ok && key.SetText("Driver", adapter.driver);
    if (!adapter.portName.empty()) {
        RegKey parameters;
        ok =
            ok && parameters.Create(key.Get(), "Device Parameters") && parameters.SetText("PortName", adapter.portName);
    }
    // SetupAPI lists the device only once it has a class, so the class comes last.
    plugged_ = ok && key.SetText("ClassGUID", kPortsClassGuid);
}

SimulatedDevice::~SimulatedDevice() {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, instanceKey_.c_str());
    // Fails while other instances of the device remain, as it should.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, deviceKey_.c_str());
}

std::string SimulatedDevice::ReadValue(const char* name) const {
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, instanceKey_)) return std::string();
    char value[512] = {};
    DWORD size = sizeof(value) - 1;
    if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        return std::string();
    return value;
}

void SimulatedDevicesTest::SetUp() {
    lock_ = std::make_unique<MachineLock>();
    ASSERT_TRUE(lock_->Held());
    RemoveLeftoverAdapters();
}

void SimulatedDevicesTest::TearDown() {
    devices_.clear();
    lock_.reset();
}

SimulatedDevice* SimulatedDevicesTest::Plug(const SimulatedAdapter& adapter) {
    const std::string instance = kInstancePrefix + std::to_string(devices_.size() + 1);
    devices_.push_back(std::make_unique<SimulatedDevice>(adapter, instance));
    return devices_.back()->IsPlugged() ? devices_.back().get() : nullptr;
}

SimulatedAdapter Adapter(const char* device, const char* hardwareId) {
    SimulatedAdapter adapter;
    adapter.device = device;
    adapter.hardwareIds = {hardwareId};
    adapter.deviceDesc = "USB-Serial Controller";
    adapter.friendlyName = "USB-Serial Controller (simulated)";
    return adapter;
}

bool CopySamplePackage(const char* package, const std::string& folder) {
    const std::string source = SamplePackagePath(package);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((source + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    int copied = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ok = ok &&
             CopyFileA((source + "\\" + found.cFileName).c_str(), (folder + "\\" + found.cFileName).c_str(), FALSE);
        ++copied;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return ok && copied > 0;
}

void RemoveInstalledDriver(const std::string& service, const std::string& driverKey, const std::string& driverFile) {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, ("System\\CurrentControlSet\\Services\\" + service).c_str());
    if (!driverKey.empty())
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, ("System\\CurrentControlSet\\Control\\Class\\" + driverKey).c_str());
    DeleteFileA(driverFile.c_str());
}

std::vector<std::string> StoreCopies(const std::string& infBytes) {
    std::vector<std::string> copies;
    if (infBytes.empty()) return copies;
    char windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string folder = std::string(windows, length) + "\\inf";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.inf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return copies;
    do {
        const std::string path = folder + "\\" + found.cFileName;
        if (FileContents(path) == infBytes) copies.push_back(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return copies;
}

bool RemoveStoreCopies(const std::string& infBytes) {
    bool removed = true;
    for (const std::string& copy : StoreCopies(infBytes)) {
        removed = DeleteFileA(copy.c_str()) && removed;
        DeleteFileA((copy.substr(0, copy.size() - 3) + "pnf").c_str());
    }
    return removed;
}
