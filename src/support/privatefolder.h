// Folders that only administrators and the system may change, for an elevated process that
// writes into them and starts programs from them in places where every user may make folders
// first: the temporary folder of a process run as the system (C:\Windows\Temp under a
// deployment tool) and the common application data folder. A folder another user made there
// could carry an entry that lets them change what is written before it is used.
#pragma once

#include <string>

// Owner Administrators; SYSTEM and Administrators full control, Users read and execute; a
// protected list, so nothing is inherited from the folder above; inherited by what the folder
// holds.
constexpr const char* kPrivateFolderAccess = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Makes path a new folder (never one that is there: that fails with ERROR_ALREADY_EXISTS) whose
// access list is access, a descriptor string. False with the system's last error.
bool CreateFolderWithAccess(const std::string& path, const char* access);

// How MakeFolderAnew ended.
enum class FolderAnew {
    Failed,    // *failure says why
    Made,      // nothing stood there
    Replaced,  // a folder or file stood there; it and what it held were removed first
};

// Makes path a new folder with kPrivateFolderAccess. Whatever stands there is removed first
// (a link inside it as a link, never entered), so that nothing of another user's is used; a
// link standing at path itself is refused ("is a link"), and so is anything that cannot be
// removed.
FolderAnew MakeFolderAnew(const std::string& path, std::string* failure);

// One level that must stay (it holds other folders of the install): made where missing, then
// checked to be a folder and no link, then given kPrivateFolderAccess. False with *failure
// otherwise.
bool ProtectFolder(const std::string& path, std::string* failure);
