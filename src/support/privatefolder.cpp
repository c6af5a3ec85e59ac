// Private folders: made new with their access list, or protected in place.
#include "privatefolder.h"

#include <windows.h>
// After windows.h: they build on its types.
#include <aclapi.h>
#include <sddl.h>

#include "linkcheck.h"
#include "paths.h"
#include "systemerror.h"

namespace {

std::string ErrorText(DWORD error) { return std::to_string(error) + " " + SystemErrorText(error); }

// Removes path and what it holds; a link is removed as a link and never entered. False with
// the last error when something stays.
bool RemoveNotFollowing(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return IsMissingPathError(GetLastError());
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(JoinPath(path.c_str(), "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            bool ok = true;
            do {
                const std::string name = found.cFileName;
                if (name != "." && name != "..") ok = RemoveNotFollowing(JoinPath(path.c_str(), name.c_str())) && ok;
            } while (ok && FindNextFileA(search, &found));
            FindClose(search);
            if (!ok) return false;
        }
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return folder ? RemoveDirectoryA(path.c_str()) != 0 : DeleteFileA(path.c_str()) != 0;
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
    if (!RemoveNotFollowing(path)) {
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
    if (InspectPath(path) != PathKind::Plain) {
        *failure = path + " is a link";
        return false;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *failure = path + " is no folder";
        return false;
    }
    const Descriptor descriptor(kPrivateFolderAccess);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    DWORD error = descriptor.Get() == nullptr ? GetLastError() : DWORD(ERROR_INVALID_SECURITY_DESCR);
    if (descriptor.Get() != nullptr && GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) &&
        GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted))
        error = SetNamedSecurityInfoA(
            const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, owner,
            nullptr, dacl, nullptr);
    if (error == ERROR_SUCCESS) return true;
    *failure = path + ": access list not set, " + ErrorText(error);
    return false;
}
