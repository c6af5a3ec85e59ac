// Opening installed files to an account (an explicit allow entry in their access list) and
// writing shell shortcuts.
#pragma once

#include <windows.h>

#include <vector>

// The descriptor a grant writes, built in memory: absolute, with its own access list
// holding the old explicit entries (less any of the account's), one allow entry for the
// account, then the old inherited entries; the old inheritance control is carried over.
class XC_GrantDescriptor {
public:
    XC_GrantDescriptor() = default;
    XC_GrantDescriptor(const XC_GrantDescriptor&) = delete;
    XC_GrantDescriptor& operator=(const XC_GrantDescriptor&) = delete;

    // oldDescriptor may be absolute or self-relative, with a DACL, a null DACL or none.
    bool Build(PSECURITY_DESCRIPTOR oldDescriptor, PSID sid, DWORD mask);
    PSECURITY_DESCRIPTOR Descriptor() { return &descriptor_; }
    PACL Acl() { return reinterpret_cast<PACL>(acl_.data()); }

private:
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_ = {};
};

// The world group S-1-1-0 ("Everyone"), whatever its name in the system's language.
// Constant: a static one needs no run-time initialisation, so any thread may use it first.
class XC_WorldSid {
public:
    constexpr XC_WorldSid() : sid_{SID_REVISION, 1, SECURITY_WORLD_SID_AUTHORITY, {SECURITY_WORLD_RID}} {}
    PSID Get() { return &sid_; }

private:
    SID sid_;  // one sub-authority, as the structure itself holds
};

// Adds an allow entry with mask for the account sid to the access list of the file or folder
// at path, inherited by objects created in it later. True only when the new list was written;
// on false the object's security is unchanged.
bool GrantSidAccess(const char* path, PSID sid, DWORD mask);
// The same on a file already open with READ_CONTROL and WRITE_DAC: no further opening of the
// file, which is most of a grant's cost when thousands of files are written.
bool GrantHandleAccess(HANDLE file, PSID sid, DWORD mask);

// Saves a shortcut folder\name.lnk to target, creating folder (one level) when missing. The
// working folder and arguments are set only when given. Returns the save's result, or that
// of the first COM step that failed.
HRESULT CreateShortcut(const char* target, const char* folder, const char* name, const char* workingFolder,
                       const char* arguments, const char* iconPath, int iconIndex);
