// Private folders: made new with their access list, or protected in place.
#include "privatefolder.h"

#include <windows.h>
// After windows.h: they build on its types.
#include <aclapi.h>
#include <sddl.h>

#include "heldfolders.h"
#include "linkcheck.h"
#include "paths.h"
#include "systemerror.h"
#include "xc_handle.h"

namespace {

std::string ErrorText(DWORD error) { return std::to_string(error) + " " + SystemErrorText(error); }

// Removes what tree holds under relative, then the folder itself; a link is never entered.
// Everything is listed and removed through the held folders' handles, so a folder swapped for a
// link meanwhile leads nowhere. False when something stays.
bool RemoveHeldTree(HeldFolders& tree, const std::string& relative) {
    std::vector<FolderEntry> entries;
    std::string failure;
    if (!tree.List(relative, &entries, &failure)) return false;
    for (const FolderEntry& entry : entries) {
        if (entry.name.empty()) return false;
        const std::string child = relative.empty() ? entry.name : JoinPath(relative.c_str(), entry.name.c_str());
        if (entry.folder ? !RemoveHeldTree(tree, child) : tree.RemoveFile(child, &failure) != Removal::Removed)
            return false;
    }
    return tree.RemoveFolder(relative, &failure) == Removal::Removed;
}

// The descriptor of a descriptor string, freed with the object; null when the string is none.
class Descriptor {
public:
    explicit Descriptor(const char* access) {
        ConvertStringSecurityDescriptorToSecurityDescriptorA(access, SDDL_REVISION_1, &descriptor_, nullptr);
    }
    ~Descriptor() {
        if (descriptor_ != nullptr) LocalFree(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    PSECURITY_DESCRIPTOR Get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

}  // namespace

bool CreateFolderWithAccess(const std::string& path, const char* access) {
    DWORD error = ERROR_SUCCESS;
    {
        const Descriptor descriptor(access);
        if (descriptor.Get() == nullptr) return false;
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
        if (CreateDirectoryA(path.c_str(), &attributes)) return true;
        error = GetLastError();
    }
    SetLastError(error);  // the descriptor's release may have changed it
    return false;
}

FolderAnew MakeFolderAnew(const std::string& path, std::string* failure) {
    if (CreateFolderWithAccess(path, kPrivateFolderAccess)) return FolderAnew::Made;
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        *failure = ErrorText(GetLastError());
        return FolderAnew::Failed;
    }
    const PathKind kind = InspectPath(path);
    if (kind != PathKind::Plain) {
        *failure = kind == PathKind::Link ? "is a link" : "cannot be inspected";
        return FolderAnew::Failed;
    }
    HeldFolders tree;
    bool removed = false;
    if (tree.Open(path, failure)) {
        removed = RemoveHeldTree(tree, "");
    } else if (GetLastError() == ERROR_DIRECTORY) {
        // A file stands there: it goes through its folder's handle.
        HeldFolders parent;
        removed = parent.Open(ParentFolder(path), failure) &&
                  parent.RemoveFile(LastPathPart(path), failure) == Removal::Removed;
    } else {
        return FolderAnew::Failed;
    }
    if (!removed) {
        *failure = "was there and cannot be removed, " + ErrorText(GetLastError());
        return FolderAnew::Failed;
    }
    if (CreateFolderWithAccess(path, kPrivateFolderAccess)) return FolderAnew::Replaced;
    *failure = ErrorText(GetLastError());
    return FolderAnew::Failed;
}

bool ProtectFolder(const std::string& path, std::string* failure) {
    if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *failure = path + ": " + ErrorText(GetLastError());
        return false;
    }
    // The access list goes through a handle that is the folder, no link, and cannot be renamed
    // while it is open: set by name, a link put there after the check would give another
    // folder (the system's own, say) this owner and list.
    std::string reason;
    XC_KernelHandle folder(OpenFolderNotFollowing(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER, &reason));
    if (!folder.IsOpen()) {
        *failure = reason.compare(0, path.size(), path) == 0 ? reason : path + ": " + reason;
        return false;
    }
    const Descriptor descriptor(kPrivateFolderAccess);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    DWORD error = descriptor.Get() == nullptr ? GetLastError() : DWORD(ERROR_INVALID_SECURITY_DESCR);
    if (descriptor.Get() != nullptr && GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) &&
        GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted))
        error = SetSecurityInfo(folder.Get(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                    PROTECTED_DACL_SECURITY_INFORMATION,
                                owner, nullptr, dacl, nullptr);
    if (error == ERROR_SUCCESS) return true;
    *failure = path + ": access list not set, " + ErrorText(error);
    return false;
}
