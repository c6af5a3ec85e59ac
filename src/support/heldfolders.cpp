// File work relative to held folder handles, through ntdll's calls (Windows XP has them all).
#include "heldfolders.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "asciicase.h"
#include "paths.h"
#include "permissions.h"
#include "systemerror.h"
#include "xc_handle.h"

namespace {

using NtCreateFileFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG,
                                    ULONG, ULONG, ULONG, void*, ULONG);
using NtInformationFileFn = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);
using RtlEqualUnicodeStringFn = BOOLEAN(NTAPI*)(const UNICODE_STRING*, const UNICODE_STRING*, BOOLEAN);
using NtQueryDirectoryFileFn = LONG(NTAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*, ULONG, int, BOOLEAN,
                                            UNICODE_STRING*, BOOLEAN);

// The calls, looked up once: the installer imports nothing from ntdll by name.
struct NtCalls {
    NtCreateFileFn createFile = nullptr;
    NtInformationFileFn queryInformation = nullptr;
    NtInformationFileFn setInformation = nullptr;
    RtlNtStatusToDosErrorFn toError = nullptr;
    RtlEqualUnicodeStringFn equalNames = nullptr;
    NtQueryDirectoryFileFn queryDirectory = nullptr;

    NtCalls() {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        if (ntdll == nullptr) return;
        createFile = LibraryEntry<NtCreateFileFn>(ntdll, "NtCreateFile");
        queryInformation = LibraryEntry<NtInformationFileFn>(ntdll, "NtQueryInformationFile");
        setInformation = LibraryEntry<NtInformationFileFn>(ntdll, "NtSetInformationFile");
        toError = LibraryEntry<RtlNtStatusToDosErrorFn>(ntdll, "RtlNtStatusToDosError");
        equalNames = LibraryEntry<RtlEqualUnicodeStringFn>(ntdll, "RtlEqualUnicodeString");
        queryDirectory = LibraryEntry<NtQueryDirectoryFileFn>(ntdll, "NtQueryDirectoryFile");
    }
    bool Loaded() const {
        return createFile != nullptr && queryInformation != nullptr && setInformation != nullptr &&
               toError != nullptr && equalNames != nullptr && queryDirectory != nullptr;
    }
};

NtCalls MakeNtCalls() { return NtCalls(); }

// Every thread that works on held folders (the install worker, the uninstaller) asks here.
const NtCalls& Nt() {
    static std::atomic<const NtCalls*> calls{nullptr};
    return MadeOnce(&calls, MakeNtCalls);
}

constexpr int kFileDirectoryInformation = 1;
constexpr int kFileBasicInformation = 4;
constexpr int kFileStandardInformation = 5;
constexpr int kFileInternalInformation = 6;
constexpr int kFileNameInformation = 9;
constexpr int kFileRenameInformation = 10;
constexpr int kFileDispositionInformation = 13;

constexpr LONG kStatusObjectNameNotFound = LONG(0xC0000034);
constexpr LONG kStatusObjectPathNotFound = LONG(0xC000003A);
constexpr LONG kStatusObjectNameCollision = LONG(0xC0000035);
constexpr LONG kStatusDirectoryNotEmpty = LONG(0xC0000101);
constexpr LONG kStatusBufferOverflow = LONG(0x80000005);
constexpr LONG kStatusNoMoreFiles = LONG(0x80000006);
constexpr LONG kStatusNotADirectory = LONG(0xC0000103);

// Held folders: listed, entered, added to and their access list changed; never DELETE, which
// would collide with a program that has the folder open without delete sharing (its current
// folder, say). Others may read and write in them, but not rename or remove them.
constexpr ACCESS_MASK kHeldAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY |
                                    FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC | SYNCHRONIZE;
constexpr ULONG kHeldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kAllSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct BasicInformation {
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    ULONG attributes;
};

struct StandardInformation {
    LARGE_INTEGER allocationSize;
    LARGE_INTEGER endOfFile;
    ULONG numberOfLinks;
    BOOLEAN deletePending;
    BOOLEAN directory;
};

struct DirectoryInformation {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    LARGE_INTEGER endOfFile;
    LARGE_INTEGER allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;
    WCHAR fileName[1];
};

struct InternalInformation {
    LARGE_INTEGER indexNumber;
};

struct RenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};

// Sets the last error from status; false.
bool Fail(LONG status) {
    SetLastError(Nt().Loaded() ? Nt().toError(status) : ERROR_PROC_NOT_FOUND);
    return false;
}

// A name in the ANSI code page as UTF-16, without a terminating zero. A vector, not a wide
// string: the runtime's wide string would bring its exception machinery into the installer.
std::vector<WCHAR> Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0) return std::vector<WCHAR>();
    std::vector<WCHAR> wide(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

UNICODE_STRING Counted(const std::vector<WCHAR>& name) {
    UNICODE_STRING counted;
    counted.Buffer = const_cast<WCHAR*>(name.data());
    counted.Length = USHORT(name.size() * sizeof(WCHAR));
    counted.MaximumLength = counted.Length;
    return counted;
}

// Opens name under folder (a full NT path when folder is null), never following a link.
LONG OpenIn(HANDLE folder, const std::vector<WCHAR>& name, ACCESS_MASK access, ULONG sharing, ULONG disposition,
            ULONG options, HANDLE* object) {
    *object = nullptr;
    if (!Nt().Loaded()) return LONG(0xC0000002);  // not implemented
    if (name.empty() || name.size() * sizeof(WCHAR) > 0xFFFF) return kStatusObjectNameNotFound;
    UNICODE_STRING counted = Counted(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &counted, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status = {};
    return Nt().createFile(object, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, sharing,
                           disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
}

LONG Query(HANDLE object, void* information, ULONG size, int kind) {
    IO_STATUS_BLOCK status = {};
    return Nt().queryInformation(object, &status, information, size, kind);
}

LONG Set(HANDLE object, void* information, ULONG size, int kind) {
    IO_STATUS_BLOCK status = {};
    return Nt().setInformation(object, &status, information, size, kind);
}

// The name the system gives the open object (the path on its volume); empty when unknown.
// Most names fit the first buffer; a longer one is asked for again at its size.
std::vector<WCHAR> SystemName(HANDLE object) {
    std::vector<BYTE> buffer(sizeof(ULONG) + MAX_PATH * sizeof(WCHAR));
    LONG status = Query(object, buffer.data(), ULONG(buffer.size()), kFileNameInformation);
    ULONG bytes = 0;
    memcpy(&bytes, buffer.data(), sizeof(bytes));
    if (status == kStatusBufferOverflow && bytes <= 0xFFFF) {
        buffer.resize(sizeof(ULONG) + bytes);
        status = Query(object, buffer.data(), ULONG(buffer.size()), kFileNameInformation);
        memcpy(&bytes, buffer.data(), sizeof(bytes));
    }
    if (status < 0 || bytes > buffer.size() - sizeof(ULONG)) return std::vector<WCHAR>();
    std::vector<WCHAR> name(bytes / sizeof(WCHAR));
    if (!name.empty()) memcpy(name.data(), buffer.data() + sizeof(ULONG), name.size() * sizeof(WCHAR));
    return name;
}

std::vector<WCHAR> ChildName(const std::vector<WCHAR>& folder, const std::vector<WCHAR>& leaf) {
    std::vector<WCHAR> name = folder;
    if (name.empty() || name.back() != L'\\') name.push_back(L'\\');
    name.insert(name.end(), leaf.begin(), leaf.end());
    return name;
}

bool SameName(const std::vector<WCHAR>& first, const std::vector<WCHAR>& second) {
    if (first.empty() || first.size() != second.size()) return false;
    const UNICODE_STRING a = Counted(first), b = Counted(second);
    return Nt().equalNames(&a, &b, TRUE) != FALSE;
}

// Whether the open object is the one at its name and no link: on Windows a link opened as
// itself shows the reparse attribute; Wine opens what a link leads to instead, which then
// has another name than the one it was opened by.
bool IsPlainAt(HANDLE object, const std::vector<WCHAR>& expectedName) {
    BasicInformation basic = {};
    if (Query(object, &basic, sizeof(basic), kFileBasicInformation) < 0) return false;
    return !(basic.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && SameName(SystemName(object), expectedName);
}

// "error <code>: <message>"; the last error stays error.
std::string ErrorReason(DWORD error) {
    std::string reason = "error " + std::to_string(error);
    const std::string message = SystemErrorText(error);
    SetLastError(error);
    return message.empty() ? reason : reason + ": " + message;
}

bool IsMissing(LONG status) { return status == kStatusObjectNameNotFound || status == kStatusObjectPathNotFound; }

}  // namespace

HANDLE CreateNewFileIn(HANDLE folder, const std::string& name, DWORD access) {
    HANDLE file = nullptr;
    const LONG status = OpenIn(folder, Wide(name), access, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, &file);
    if (status >= 0) return file;
    if (status == kStatusObjectNameCollision)
        SetLastError(ERROR_FILE_EXISTS);
    else
        Fail(status);
    return INVALID_HANDLE_VALUE;
}

bool RenameOpenFile(HANDLE file, HANDLE folder, const std::string& name, ExistingTarget existing) {
    if (!Nt().Loaded()) return Fail(0);
    const std::vector<WCHAR> wide = Wide(name);
    if (wide.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const ULONG nameBytes = ULONG(wide.size() * sizeof(WCHAR));
    std::vector<BYTE> buffer(
        std::max<size_t>(sizeof(RenameInformation), offsetof(RenameInformation, fileName) + nameBytes));
    auto* information = reinterpret_cast<RenameInformation*>(buffer.data());
    information->replaceIfExists = existing == ExistingTarget::Replace;
    information->rootDirectory = folder;
    information->fileNameLength = nameBytes;
    memcpy(information->fileName, wide.data(), nameBytes);
    const LONG status = Set(file, information, ULONG(buffer.size()), kFileRenameInformation);
    if (status >= 0) return true;
    if (status == kStatusObjectNameCollision) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    return Fail(status);
}

PathKind InspectIn(HANDLE folder, const std::string& name) {
    const std::vector<WCHAR> leaf = Wide(name);
    HANDLE object = nullptr;
    const LONG status = OpenIn(folder, leaf, FILE_READ_ATTRIBUTES, kAllSharing, FILE_OPEN, 0, &object);
    if (IsMissing(status)) return PathKind::Missing;
    if (status < 0) return PathKind::Unknown;
    const bool plain = IsPlainAt(object, ChildName(SystemName(folder), leaf));
    CloseHandle(object);
    return plain ? PathKind::Plain : PathKind::Link;
}

Removal RemoveFileIn(HANDLE folder, const std::string& name, std::string* failure) {
    const std::vector<WCHAR> leaf = Wide(name);
    HANDLE file = nullptr;
    const LONG status =
        OpenIn(folder, leaf, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kAllSharing, FILE_OPEN, 0, &file);
    if (IsMissing(status)) return Removal::Removed;
    if (status < 0) {
        Fail(status);
        *failure = ErrorReason(GetLastError());
        return Removal::Failed;
    }
    XC_KernelHandle owned(file);
    // A link opened as itself goes as itself; one that was followed is left alone.
    BasicInformation basic = {};
    LONG result = Query(file, &basic, sizeof(basic), kFileBasicInformation);
    if (result < 0 || !SameName(SystemName(file), ChildName(SystemName(folder), leaf))) {
        SetLastError(kLinkFoundError);
        *failure = "a link stands there";
        return Removal::Refused;
    }
    const bool link = (basic.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((basic.attributes & FILE_ATTRIBUTE_DIRECTORY) && !link) {
        SetLastError(ERROR_DIRECTORY);
        *failure = "a folder stands there";
        return Removal::Refused;
    }
    if (!link && (basic.attributes & FILE_ATTRIBUTE_READONLY)) {
        StandardInformation standard = {};
        result = Query(file, &standard, sizeof(standard), kFileStandardInformation);
        if (result >= 0 && standard.numberOfLinks > 1) {
            SetLastError(ERROR_ACCESS_DENIED);
            *failure = "read-only, with other names that would lose that too";
            return Removal::Refused;
        }
        BasicInformation writable = {};  // zero times: left as they are
        writable.attributes = basic.attributes & ~ULONG(FILE_ATTRIBUTE_READONLY);
        if (writable.attributes == 0) writable.attributes = FILE_ATTRIBUTE_NORMAL;
        if (result >= 0) result = Set(file, &writable, sizeof(writable), kFileBasicInformation);
    }
    BOOLEAN remove = TRUE;
    if (result >= 0) result = Set(file, &remove, sizeof(remove), kFileDispositionInformation);
    if (result >= 0) return Removal::Removed;
    Fail(result);
    *failure = ErrorReason(GetLastError());
    return Removal::Failed;
}

bool MoveAsideIn(HANDLE folder, const std::string& name, HANDLE toFolder, const std::string& newName,
                 std::string* failure) {
    const std::vector<WCHAR> leaf = Wide(name);
    HANDLE object = nullptr;
    const LONG status = OpenIn(folder, leaf, DELETE | FILE_READ_ATTRIBUTES, kAllSharing, FILE_OPEN, 0, &object);
    if (IsMissing(status)) return true;
    if (status < 0) {
        Fail(status);
        *failure = ErrorReason(GetLastError());
        return false;
    }
    const XC_KernelHandle owned(object);
    if (!IsPlainAt(object, ChildName(SystemName(folder), leaf))) {
        SetLastError(kLinkFoundError);
        *failure = "a link stands there";
        return false;
    }
    if (RenameOpenFile(object, toFolder, newName, ExistingTarget::Keep)) return true;
    *failure = ErrorReason(GetLastError());
    return false;
}

HeldFolders::Level::~Level() {
    if (handle != nullptr) CloseHandle(handle);
}

std::vector<WCHAR> HeldFolders::Level::ExpectedName() const {
    return parent != nullptr ? ChildName(parent->systemName, leaf) : systemName;
}

void HeldFolders::Close() {
    // Children before the root: each level points at its parent.
    levels_.clear();
    root_.reset();
}

HANDLE OpenFolderNotFollowing(const std::string& path, ACCESS_MASK access, std::string* failure) {
    // Only a drive path: its name on the volume is what follows the drive.
    if (path.size() < 4 || path[1] != ':' || path[2] != '\\') {
        SetLastError(ERROR_BAD_PATHNAME);
        *failure = path + " is no full path";
        return nullptr;
    }
    HANDLE folder = nullptr;
    const LONG status =
        OpenIn(nullptr, Wide("\\??\\" + path), access, kHeldSharing, FILE_OPEN, FILE_DIRECTORY_FILE, &folder);
    if (status < 0) {
        Fail(status);
        *failure = status == kStatusNotADirectory ? path + " is no folder" : ErrorReason(GetLastError());
        return nullptr;
    }
    if (!IsPlainAt(folder, Wide(path.substr(2)))) {
        CloseHandle(folder);
        SetLastError(kLinkFoundError);
        *failure = path + " is a link";
        return nullptr;
    }
    return folder;
}

bool HeldFolders::Open(const std::string& root, std::string* failure) {
    Close();
    rootPath_ = root;
    const HANDLE folder = OpenFolderNotFollowing(root, kHeldAccess, failure);
    if (folder == nullptr) return false;
    root_.reset(new Level);
    root_->handle = folder;
    root_->path = root;
    root_->leaf = Wide("\\??\\" + root);
    root_->systemName = SystemName(folder);
    return true;
}

std::unique_ptr<HeldFolders::Level> HeldFolders::OpenLevel(const Level& parent, const std::string& name,
                                                           MissingFolder missing, std::string* failure) const {
    std::unique_ptr<Level> level(new Level);
    level->parent = &parent;
    level->path = JoinPath(parent.path.c_str(), name.c_str());
    level->leaf = Wide(name);
    // An existing folder is opened; a missing one is made new, never through a link that may
    // dangle where it was looked for.
    LONG status =
        OpenIn(parent.handle, level->leaf, kHeldAccess, kHeldSharing, FILE_OPEN, FILE_DIRECTORY_FILE, &level->handle);
    if (IsMissing(status) && missing == MissingFolder::Create) {
        status = OpenIn(parent.handle, level->leaf, kHeldAccess, kHeldSharing, FILE_CREATE, FILE_DIRECTORY_FILE,
                        &level->handle);
        if (status == kStatusObjectNameCollision)
            status = OpenIn(parent.handle, level->leaf, kHeldAccess, kHeldSharing, FILE_OPEN, FILE_DIRECTORY_FILE,
                            &level->handle);
    }
    if (status < 0) {
        level->handle = nullptr;
        if (IsMissing(status)) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            *failure = ErrorReason(ERROR_PATH_NOT_FOUND);
        } else {
            Fail(status);
            *failure = status == kStatusNotADirectory ? level->path + " is no folder" : ErrorReason(GetLastError());
        }
        return nullptr;
    }
    if (!IsPlainAt(level->handle, level->ExpectedName())) {
        SetLastError(kLinkFoundError);
        *failure = level->path + " is a link";
        return nullptr;
    }
    level->systemName = SystemName(level->handle);
    return level;
}

HeldFolders::Level* HeldFolders::Held(const std::string& relative, MissingFolder missing, std::string* failure) {
    if (!root_) {
        SetLastError(ERROR_INVALID_HANDLE);
        *failure = rootPath_ + " is not open";
        return nullptr;
    }
    std::vector<std::string> names;
    for (size_t start = 0; start < relative.size();) {
        size_t end = relative.find('\\', start);
        if (end == std::string::npos) end = relative.size();
        if (end > start) names.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    Level* level = root_.get();
    std::string key;
    for (size_t i = 0; i < names.size(); ++i) {
        key += (key.empty() ? "" : "\\") + AsciiUpper(names[i]);
        const auto held = levels_.find(key);
        if (held != levels_.end()) {
            level = held->second.get();
            continue;
        }
        const MissingFolder levelMissing = i + 1 == names.size() ? missing : MissingFolder::Fail;
        std::unique_ptr<Level> child = OpenLevel(*level, names[i], levelMissing, failure);
        if (!child) return nullptr;
        child->key = key;
        level = child.get();
        levels_.emplace(key, std::move(child));
    }
    return level;
}

HANDLE HeldFolders::Folder(const std::string& relative, MissingFolder missing, std::string* failure) {
    const Level* level = Held(relative, missing, failure);
    return level != nullptr ? level->handle : nullptr;
}

// What a folder that could not be held means for a removal below it.
Removal HeldFolders::Unreachable() {
    const DWORD error = GetLastError();
    if (IsMissingPathError(error)) return Removal::Removed;
    return error == kLinkFoundError || error == ERROR_DIRECTORY ? Removal::Refused : Removal::Failed;
}

Removal HeldFolders::RemoveFile(const std::string& relative, std::string* failure) {
    const HANDLE folder = Folder(ParentFolder(relative), MissingFolder::Fail, failure);
    // A file where a folder on the way was holds no file either.
    if (folder == nullptr) return GetLastError() == ERROR_DIRECTORY ? Removal::Removed : Unreachable();
    return RemoveFileIn(folder, LastPathPart(relative), failure);
}

Removal HeldFolders::RemoveFolder(const std::string& relative, std::string* failure) {
    Level* level = Held(relative, MissingFolder::Fail, failure);
    if (level == nullptr) return Unreachable();
    // The held handle lacks DELETE access: the folder is let go and opened again for it, and
    // whatever stands at its name then is checked as before.
    const std::vector<WCHAR> expected = level->ExpectedName();
    const std::vector<WCHAR> leaf = level->leaf;
    const Level* parent = level->parent;
    if (level == root_.get()) {
        levels_.clear();
        root_.reset();
    } else {
        levels_.erase(level->key);
    }
    HANDLE object = nullptr;
    LONG status = OpenIn(parent != nullptr ? parent->handle : nullptr, leaf, DELETE | FILE_READ_ATTRIBUTES, kAllSharing,
                         FILE_OPEN, FILE_DIRECTORY_FILE, &object);
    if (IsMissing(status)) return Removal::Removed;
    if (status < 0) {
        Fail(status);
        *failure = ErrorReason(GetLastError());
        return Removal::Failed;
    }
    const XC_KernelHandle owned(object);
    if (!IsPlainAt(object, expected)) {
        *failure = "a link stands there";
        return Removal::Refused;
    }
    BOOLEAN remove = TRUE;
    status = Set(object, &remove, sizeof(remove), kFileDispositionInformation);
    if (status >= 0) return Removal::Removed;
    if (status == kStatusDirectoryNotEmpty) return Removal::NotEmpty;
    Fail(status);
    *failure = ErrorReason(GetLastError());
    return Removal::Failed;
}

bool HeldFolders::List(const std::string& relative, std::vector<FolderEntry>* entries, std::string* failure) {
    entries->clear();
    const HANDLE folder = Folder(relative, MissingFolder::Fail, failure);
    if (folder == nullptr) return false;
    std::vector<BYTE> buffer(0x10000);
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        IO_STATUS_BLOCK io = {};
        const LONG status =
            Nt().queryDirectory(folder, nullptr, nullptr, nullptr, &io, buffer.data(), ULONG(buffer.size()),
                                kFileDirectoryInformation, FALSE, nullptr, restart);
        if (status == kStatusNoMoreFiles) return true;
        if (status < 0) {
            Fail(status);
            *failure = ErrorReason(GetLastError());
            return false;
        }
        const size_t filled = std::min<size_t>(io.Information, buffer.size());
        for (size_t offset = 0; offset + offsetof(DirectoryInformation, fileName) <= filled;) {
            DirectoryInformation entry;
            memcpy(&entry, buffer.data() + offset, offsetof(DirectoryInformation, fileName));
            const size_t nameAt = offset + offsetof(DirectoryInformation, fileName);
            if (entry.fileNameLength > filled - nameAt) break;
            const int length = int(entry.fileNameLength / sizeof(WCHAR));
            std::vector<WCHAR> wide(size_t(length) + 1, 0);
            if (length > 0) memcpy(wide.data(), buffer.data() + nameAt, size_t(length) * sizeof(WCHAR));
            // A name the code page cannot spell would come out as another name: it is left empty.
            char name[MAX_PATH * 2] = {};
            BOOL substituted = FALSE;
            const bool converted = length > 0 &&
                                   WideCharToMultiByte(CP_ACP, 0, wide.data(), length, name, sizeof(name) - 1, nullptr,
                                                       &substituted) > 0 &&
                                   !substituted;
            const std::string text = converted ? name : std::string();
            if (text != "." && text != "..")
                entries->push_back({text, (entry.fileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                              !(entry.fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)});
            if (entry.nextEntryOffset == 0) break;
            offset += entry.nextEntryOffset;
        }
    }
}

bool HeldFolders::GrantToAll(PSID sid, DWORD mask, std::string* failure) {
    if (!root_) {
        *failure = rootPath_ + " is not open";
        return false;
    }
    bool ok = true;
    const auto grant = [&](const Level& level) {
        if (GrantHandleAccess(level.handle, sid, mask)) return;
        if (ok) *failure = level.path + ": " + ErrorReason(GetLastError());
        ok = false;
    };
    grant(*root_);
    for (const auto& level : levels_) grant(*level.second);
    return ok;
}

bool HeldFolders::StillInPlace(std::string* failure) const {
    if (!root_) {
        *failure = rootPath_ + " is not open";
        return false;
    }
    const auto inPlace = [&](const Level& level) {
        HANDLE object = nullptr;
        if (OpenIn(level.parent != nullptr ? level.parent->handle : nullptr, level.leaf, FILE_READ_ATTRIBUTES,
                   kAllSharing, FILE_OPEN, FILE_DIRECTORY_FILE, &object) < 0) {
            *failure = level.path + " is gone";
            return false;
        }
        const XC_KernelHandle owned(object);
        InternalInformation held = {}, there = {};
        if (!IsPlainAt(object, level.ExpectedName()) ||
            Query(level.handle, &held, sizeof(held), kFileInternalInformation) < 0 ||
            Query(object, &there, sizeof(there), kFileInternalInformation) < 0 ||
            held.indexNumber.QuadPart != there.indexNumber.QuadPart) {
            *failure = level.path + " is no longer the folder written to (a link or another folder stands there)";
            return false;
        }
        return true;
    };
    if (!inPlace(*root_)) return false;
    for (const auto& level : levels_)
        if (!inPlace(*level.second)) return false;
    return true;
}
