// The driver store through SetupAPI's SetupCopyOEMInfA.
#include "driverstore.h"

#include "setupapilibrary.h"

bool StageDriverPackage(const char* infPath, std::string* storedInf) {
    const SetupApiEntries& api = SetupApi();
    if (api.copyOemInf == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    if (infPath == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    char stored[MAX_PATH] = {};
    // The media root is the INF's own folder; no flags: an identical package already in the
    // store is answered with its name instead of a second copy.
    if (!api.copyOemInf(infPath, nullptr, SPOST_PATH, 0, stored, sizeof(stored), nullptr, nullptr)) return false;
    if (storedInf != nullptr) *storedInf = stored;
    return true;
}
