// Simulated USB adapters for the device tests under Wine: instance keys under
// HKLM\System\CurrentControlSet\Enum\USB, which SetupAPI lists as present devices once they
// carry a ClassGUID. A fixture plugs them for one test and removes them afterwards.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "machine_lock.h"
#include "scratch_folder.h"
#include "test_support.h"

extern const char* const kPl2303Id;
extern const char* const kCh341Id;
extern const char* const kPortsClassGuid;

struct SimulatedAdapter {
    std::string device;                    // key under Enum\USB, such as "VID_067B&PID_2303"
    std::vector<std::string> hardwareIds;  // REG_MULTI_SZ, in this order
    std::string deviceDesc;
    std::string friendlyName;
    std::string service;   // empty: no value, as before a driver is installed
    std::string driver;    // empty: no value
    std::string portName;  // empty: no "Device Parameters" key
};

// The registry key of one plugged adapter; removed with everything below it on destruction.
class SimulatedDevice {
public:
    SimulatedDevice(const SimulatedAdapter& adapter, const std::string& instance);
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    bool IsPlugged() const { return plugged_; }
    // Value of the instance key, empty when missing.
    std::string ReadValue(const char* name) const;

private:
    std::string deviceKey_;
    std::string instanceKey_;
    bool plugged_ = false;
};

// The device tree is shared by every process of a Wine prefix: tests in parallel processes
// take turns through a named mutex, and each test starts from a tree without our adapters.
class SimulatedDevicesTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Plugs an adapter for the rest of the test; null when the registry refused it.
    SimulatedDevice* Plug(const SimulatedAdapter& adapter);

private:
    std::unique_ptr<MachineLock> lock_;
    std::vector<std::unique_ptr<SimulatedDevice>> devices_;
};

// A PL2303 or CH341 adapter without a driver, registered under the given first id.
SimulatedAdapter Adapter(const char* device, const char* hardwareId);

// Copies every file of a sample driver package (a folder under sample/drivers, such as
// "win7\\2303") into folder; false when one of them cannot be copied.
bool CopySamplePackage(const char* package, const std::string& folder);

// Removes what a driver installation left behind: the service key, the device's driver key
// under the class key, and the driver file in the drivers folder.
void RemoveInstalledDriver(const std::string& service, const std::string& driverKey, const std::string& driverFile);

// The copies in the system's INF folder whose bytes are infBytes (none for empty bytes).
std::vector<std::string> StoreCopies(const std::string& infBytes);
// Removes those copies with their precompiled files; true when every copy went.
bool RemoveStoreCopies(const std::string& infBytes);
