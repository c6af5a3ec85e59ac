// SetupAPI by its full path in the system folder, loaded once and never unloaded: the entries
// of the device queries and of the driver store, for the installer and the 64-bit updater.
#pragma once

#include <windows.h>

#include <setupapi.h>

struct SetupApiEntries {
    decltype(&SetupDiGetClassDevsA) getClassDevs = nullptr;
    decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo = nullptr;
    decltype(&SetupDiGetDeviceRegistryPropertyA) getProperty = nullptr;
    decltype(&SetupDiOpenDevRegKey) openDevRegKey = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) destroyList = nullptr;
    decltype(&SetupCopyOEMInfA) copyOemInf = nullptr;

    // Whether every entry of the device queries resolved.
    bool HasQueries() const {
        return getClassDevs != nullptr && enumDeviceInfo != nullptr && getProperty != nullptr &&
               openDevRegKey != nullptr && destroyList != nullptr;
    }
};

// The entries, loaded on first use from any thread; an entry is null when the library does
// not load or lacks it.
const SetupApiEntries& SetupApi();
