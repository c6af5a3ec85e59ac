// File work of the elevated installer and uninstaller through handles, not names. The install
// folder is open to every user, so between a check by name and a write by name another user
// could rename a folder and put a link (a junction, a mount point) in its place, and steer the
// write or a removal anywhere. Here each folder is opened under its parent's handle, never
// through a link, and held open without delete sharing, so that no other process can rename it
// until it is let go; files are made, renamed, inspected and removed relative to those handles.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "linkcheck.h"

// The last error when a link was refused (ERROR_REPARSE_POINT_ENCOUNTERED, which the
// cross compiler's headers lack).
constexpr DWORD kLinkFoundError = 4395;

enum class MissingFolder { Fail, Create };
enum class ExistingTarget { Keep, Replace };

// What a removal found.
enum class Removal {
    Removed,   // it went, or nothing was there
    NotEmpty,  // a folder that still holds something: it stays
    Refused,   // a link, or a file of another kind than asked for: left alone
    Failed,    // the system refused; the last error says why
};

// A new file name in folder, opened for access with no sharing; never an existing object, so
// nothing is opened through a link put there. INVALID_HANDLE_VALUE with the last error
// otherwise (ERROR_FILE_EXISTS when the name is taken).
HANDLE CreateNewFileIn(HANDLE folder, const std::string& name, DWORD access);

// Renames file, open with DELETE access, to name in folder. With ExistingTarget::Keep it fails
// with ERROR_ALREADY_EXISTS when the name is taken. False with the last error.
bool RenameOpenFile(HANDLE file, HANDLE folder, const std::string& name, ExistingTarget existing);

// What stands at name in folder, seen without following a link.
PathKind InspectIn(HANDLE folder, const std::string& name);

// Removes the file name in folder, or a link standing there as a link, never what it leads to
// (a folder is refused); a read-only file
// is made writable first, through its own handle, unless it has other names (hard links) whose
// file that would change too. The reason in failure unless Removed.
Removal RemoveFileIn(HANDLE folder, const std::string& name, std::string* failure);

// Moves what stands at name in folder, a plain file or folder, to newName in toFolder, never
// over something there; a link is never moved. True when moved or when nothing was there; false
// with the reason in failure otherwise.
bool MoveAsideIn(HANDLE folder, const std::string& name, HANDLE toFolder, const std::string& newName,
                 std::string* failure);

// Opens the folder path (a full path like "C:\\ProgramData\\MiniTarvik") for access, not
// following a link, and with no delete sharing. Null with the reason in failure ("<path> is a
// link", "<path> is no folder", or the system's error) and the last error set.
HANDLE OpenFolderNotFollowing(const std::string& path, ACCESS_MASK access, std::string* failure);

// One name in a held folder, as listed through its handle.
struct FolderEntry {
    std::string name;  // empty when it has no form in the system's code page
    bool folder;       // a folder that is no link
};

// A folder tree opened from its root, each folder held while the object lives.
class HeldFolders {
public:
    HeldFolders() = default;
    HeldFolders(const HeldFolders&) = delete;
    HeldFolders& operator=(const HeldFolders&) = delete;

    // Opens root (a full path like "C:\Program Files\MiniTarvik"), which must be a folder and
    // no link. False with the reason in failure, as Folder gives it.
    bool Open(const std::string& root, std::string* failure);

    // The folder root\relative (relative empty: the root), each level opened under its parent's
    // handle and held; with MissingFolder::Create a missing last level is made, with the access
    // its parent passes on (the levels above it must be there: a tree is made one level at a
    // time). Null with the reason in failure ("<path> is a link", "<path> is no folder", or the
    // system's error, ERROR_PATH_NOT_FOUND for a missing level), and the last error set.
    HANDLE Folder(const std::string& relative, MissingFolder missing, std::string* failure);

    // Removes root\relative, a file, as RemoveFileIn does; a folder on its way that is missing
    // (or is a file) means the file is too. The reason in failure unless Removed.
    Removal RemoveFile(const std::string& relative, std::string* failure);
    // Removes the folder root\relative (the root itself when relative is empty) when it is
    // empty, and lets it go. The reason in failure when Refused or Failed.
    Removal RemoveFolder(const std::string& relative, std::string* failure);

    // The names in the folder root\relative, listed through its held handle: those of the
    // folder being worked in, whatever its name leads to meanwhile. False with the reason when
    // it cannot be held or read.
    bool List(const std::string& relative, std::vector<FolderEntry>* entries, std::string* failure);

    // Grants sid mask on every held folder through its handle, inherited by what is made in
    // them later. False with the reason when a folder refuses.
    bool GrantToAll(PSID sid, DWORD mask, std::string* failure);

    // Whether each held folder still stands under its name in its parent: a process that does
    // not honour the sharing (a program outside Windows' own file calls) could still have moved
    // one. False with the first that does not in failure.
    bool StillInPlace(std::string* failure) const;

    // Lets every folder go.
    void Close();
    bool IsOpen() const { return root_ != nullptr; }

    const std::string& RootPath() const { return rootPath_; }

private:
    struct Level {
        HANDLE handle = nullptr;
        const Level* parent = nullptr;  // null for the root
        std::string path;               // the full path, for the log
        std::string key;                // the relative path in levels_
        std::vector<WCHAR> leaf;        // the name in the parent folder; the root's full NT path
        std::vector<WCHAR> systemName;  // the name the system gives the open folder
        ~Level();
        // The name the system gives this folder when it is the one at its name.
        std::vector<WCHAR> ExpectedName() const;
    };

    Level* Held(const std::string& relative, MissingFolder missing, std::string* failure);
    static Removal Unreachable();
    std::unique_ptr<Level> OpenLevel(const Level& parent, const std::string& name, MissingFolder missing,
                                     std::string* failure) const;

    std::string rootPath_;
    std::unique_ptr<Level> root_;
    // By relative path in ASCII upper case.
    std::map<std::string, std::unique_ptr<Level>> levels_;
};
