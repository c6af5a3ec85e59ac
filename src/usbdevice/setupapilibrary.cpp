// SetupAPI loaded at run time: it is no known system library on XP, so a static import would
// be looked for beside the executable first.
#include "setupapilibrary.h"

#include "paths.h"

namespace {

template <typename Function>
void Resolve(HMODULE library, const char* name, Function* entry) {
    *entry = LibraryEntry<Function>(library, name);
}

SetupApiEntries LoadSetupApi() {
    SetupApiEntries api;
    const HMODULE library = LoadSystemLibrary("setupapi.dll");
    if (library == nullptr) return api;
    Resolve(library, "SetupDiGetClassDevsA", &api.getClassDevs);
    Resolve(library, "SetupDiEnumDeviceInfo", &api.enumDeviceInfo);
    Resolve(library, "SetupDiGetDeviceRegistryPropertyA", &api.getProperty);
    Resolve(library, "SetupDiOpenDevRegKey", &api.openDevRegKey);
    Resolve(library, "SetupDiDestroyDeviceInfoList", &api.destroyList);
    Resolve(library, "SetupCopyOEMInfA", &api.copyOemInf);
    return api;
}

}  // namespace

// The window's poll and the install worker may ask first at the same time.
const SetupApiEntries& SetupApi() {
    static std::atomic<const SetupApiEntries*> loaded{nullptr};
    return MadeOnce(&loaded, LoadSetupApi);
}
