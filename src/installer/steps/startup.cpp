// Start-up mode selection from the payload load.
#include "startup.h"

#include "xc_exetailhelper.h"

StartMode LoadPayload(XC_ExeTailHelper* payload, const char* own_path) {
    if (!payload->LoadFromExe(own_path)) {
        if (payload->LastFailure() != XC_ExeTailHelper::Failure::kCannotRead) return StartMode::Failed;
        // The fallback name is relative on purpose: it resolves against the current folder.
        if (!payload->LoadFromExe("SetupTarvik.exe")) return StartMode::Failed;
    }
    return payload->IsEmpty() ? StartMode::Builder : StartMode::Installer;
}
