// Grants an account access to installed files and writes shell shortcuts for them.
#include "permissions.h"

#include <objidl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "comref.h"

namespace {

const DWORD kPathCapacity = 4096;

// The identifier inside an allow, deny, audit or alarm entry, when it lies wholly within the
// entry; null for other kinds of entry.
PSID AceSid(const ACE_HEADER* header) {
    switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_DENIED_ACE_TYPE:
        case SYSTEM_AUDIT_ACE_TYPE:
        case SYSTEM_ALARM_ACE_TYPE:
            break;
        default:
            return nullptr;
    }
    const DWORD sidOffset = FIELD_OFFSET(ACCESS_ALLOWED_ACE, SidStart);
    const DWORD minimumSid = GetSidLengthRequired(0);
    if (header->AceSize < sidOffset + minimumSid) return nullptr;
    const BYTE* sid = reinterpret_cast<const BYTE*>(header) + sidOffset;
    const DWORD subAuthorities = sid[1];
    if (header->AceSize - sidOffset < GetSidLengthRequired(static_cast<UCHAR>(subAuthorities))) return nullptr;
    return const_cast<BYTE*>(sid);
}

bool IsAccountEntry(const ACE_HEADER* header, PSID sid) {
    const PSID entrySid = AceSid(header);
    return entrySid != nullptr && IsValidSid(entrySid) && EqualSid(entrySid, sid);
}

bool AppendEntry(PACL acl, const ACE_HEADER* header) {
    return AddAce(acl, ACL_REVISION, MAXDWORD, const_cast<ACE_HEADER*>(header), header->AceSize) != FALSE;
}

bool ReadHandleDacl(HANDLE handle, std::vector<BYTE>* descriptor) {
    DWORD needed = 0;
    if (GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    descriptor->assign(needed, 0);
    return GetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, descriptor->data(), needed, &needed) != FALSE;
}

bool ReadFileDacl(const char* path, std::vector<BYTE>* descriptor) {
    DWORD needed = 0;
    if (GetFileSecurityA(path, DACL_SECURITY_INFORMATION, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    descriptor->assign(needed, 0);
    return GetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor->data(), needed, &needed) != FALSE;
}

}  // namespace

bool XC_GrantDescriptor::Build(PSECURITY_DESCRIPTOR oldDescriptor, PSID sid, DWORD mask) {
    if (oldDescriptor == nullptr || sid == nullptr || !IsValidSid(sid)) return false;
    if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION)) return false;

    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL oldAcl = nullptr;
    if (!GetSecurityDescriptorDacl(oldDescriptor, &present, &oldAcl, &defaulted)) return false;
    // No DACL and a null DACL both count as an empty list.
    ACL_SIZE_INFORMATION oldSize = {0, sizeof(ACL), 0};
    if (present && oldAcl != nullptr && !GetAclInformation(oldAcl, &oldSize, sizeof(oldSize), AclSizeInformation))
        return false;

    const DWORD newSize = oldSize.AclBytesInUse + GetLengthSid(sid) + FIELD_OFFSET(ACCESS_ALLOWED_ACE, SidStart);
    acl_.assign(newSize, 0);
    if (!InitializeAcl(Acl(), newSize, ACL_REVISION)) return false;

    // Explicit entries come first in a canonical list: the new one goes after them and
    // before the first inherited entry; an older entry of the account's own is dropped.
    DWORD index = 0;
    for (; index < oldSize.AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(oldAcl, index, reinterpret_cast<void**>(&header))) return false;
        if (header->AceFlags & INHERITED_ACE) break;
        if (!IsAccountEntry(header, sid) && !AppendEntry(Acl(), header)) return false;
    }
    if (!AddAccessAllowedAceEx(Acl(), ACL_REVISION, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE, mask, sid))
        return false;
    for (; index < oldSize.AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(oldAcl, index, reinterpret_cast<void**>(&header)) || !AppendEntry(Acl(), header)) return false;
    }
    if (!SetSecurityDescriptorDacl(&descriptor_, TRUE, Acl(), FALSE)) return false;

    SECURITY_DESCRIPTOR_CONTROL oldControl = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(oldDescriptor, &oldControl, &revision)) return false;
    // Protection is kept also on an auto-inherited list: dropping it would let the parent's
    // entries flow into a list that was closed to them.
    SECURITY_DESCRIPTOR_CONTROL carried = 0;
    if (oldControl & SE_DACL_AUTO_INHERITED) carried |= SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
    if (oldControl & SE_DACL_PROTECTED) carried |= SE_DACL_PROTECTED;
    return carried == 0 || SetSecurityDescriptorControl(&descriptor_, carried, carried) != FALSE;
}

bool GrantSidAccess(const char* path, PSID sid, DWORD mask) {
    if (path == nullptr || sid == nullptr) return false;
    std::vector<BYTE> oldDescriptor;
    if (!ReadFileDacl(path, &oldDescriptor)) return false;
    XC_GrantDescriptor granted;
    if (!granted.Build(oldDescriptor.data(), sid, mask)) return false;
    return SetFileSecurityA(path, DACL_SECURITY_INFORMATION, granted.Descriptor()) != FALSE;
}

bool GrantHandleAccess(HANDLE file, PSID sid, DWORD mask) {
    if (file == nullptr || file == INVALID_HANDLE_VALUE || sid == nullptr) return false;
    std::vector<BYTE> oldDescriptor;
    if (!ReadHandleDacl(file, &oldDescriptor)) return false;
    XC_GrantDescriptor granted;
    if (!granted.Build(oldDescriptor.data(), sid, mask)) return false;
    return SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, granted.Descriptor()) != FALSE;
}

HRESULT CreateShortcut(const char* target, const char* folder, const char* name, const char* workingFolder,
                       const char* arguments, const char* iconPath, int iconIndex) {
    if (target == nullptr || folder == nullptr || name == nullptr || iconPath == nullptr) return E_INVALIDARG;
    const std::string file = std::string(folder) + "\\" + name + ".lnk";
    // A name cut to fit would save the shortcut somewhere else: refuse it instead.
    if (file.size() >= kPathCapacity) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

    CreateDirectoryA(folder, nullptr);
    ComScope com;
    ComRef<IShellLinkA> link;
    // The class and interface ids from the headers' own constants: the uuid library's
    // IID_/CLSID_ objects come as one block of every id it knows, some 40 KB.
    HRESULT result =
        CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkA), link.ReceiveAny());
    if (FAILED(result)) return result;
    link->SetPath(target);
    if (workingFolder != nullptr) link->SetWorkingDirectory(workingFolder);
    if (arguments != nullptr) link->SetArguments(arguments);
    link->SetIconLocation(iconPath, iconIndex);

    ComRef<IPersistFile> persist;
    result = link->QueryInterface(__uuidof(IPersistFile), persist.ReceiveAny());
    if (FAILED(result)) return result;
    WCHAR wideFile[kPathCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wideFile, kPathCapacity) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    return persist->Save(wideFile, TRUE);
}
