// Staging a driver package in the system's driver store, so that Windows installs it by itself
// when a matching device arrives later.
#pragma once

#include <string>

// Copies the INF at infPath (a full path) into the system's INF folder with SetupCopyOEMInfA;
// the catalogue comes along, and the system reads the driver files from infPath's folder when
// a device arrives. A package already in the store is not copied again: that is success too.
// storedInf (when given) receives the path of the store's copy. False with the system's last
// error when it failed, ERROR_PROC_NOT_FOUND when SetupAPI lacks the entry.
bool StageDriverPackage(const char* infPath, std::string* storedInf = nullptr);
