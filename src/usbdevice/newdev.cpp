// NewDev.dll by its full path in the system folder: the installer runs with administrator
// rights from a download folder, where a planted "newdev.dll" must never be loaded.
#include "newdev.h"

#include "paths.h"

const char* const kUpdateDriverEntryName = "UpdateDriverForPlugAndPlayDevicesA";

UpdateDriverForPlugAndPlayDevicesProc LoadUpdateDriverEntry() {
    const HMODULE library = LoadSystemLibrary("NewDev.dll");
    if (library == nullptr) return nullptr;
    return LibraryEntry<UpdateDriverForPlugAndPlayDevicesProc>(library, kUpdateDriverEntryName);
}
