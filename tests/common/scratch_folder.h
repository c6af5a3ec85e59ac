// A fresh folder under the temporary folder for one test, removed with everything in it.
#pragma once

#include <windows.h>

#include <string>

class ScratchFolder {
public:
    // The folder's name starts with `prefix` (spaces allowed, to try paths with spaces).
    explicit ScratchFolder(const std::string& prefix = "tarvik") {
        char temp[MAX_PATH];
        const DWORD length = GetTempPathA(MAX_PATH, temp);
        if (length == 0 || length >= MAX_PATH) return;
        // Names are never reused within a run: Wine's profile cache outlives a deleted file.
        static unsigned next = 0;
        const std::string base = std::string(temp) + prefix + "-" + std::to_string(GetCurrentProcessId()) + "-";
        for (unsigned attempt = 0; attempt < 1000; ++attempt) {
            const std::string candidate = base + std::to_string(next++);
            if (CreateDirectoryA(candidate.c_str(), nullptr)) {
                path_ = candidate;
                return;
            }
        }
    }
    ~ScratchFolder() {
        if (!path_.empty()) RemoveTree(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ready() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    std::string Child(const std::string& name) const { return path_ + "\\" + name; }

    // A link, the folder itself included, is never entered: what it leads to stays. (A test that
    // makes one removes it; see unix_link.h.)
    static void RemoveTree(const std::string& folder) {
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name == "." || name == "..") continue;
                const std::string child = folder + "\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(child);
                else
                    DeleteFileA(child.c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }

private:
    std::string path_;
};
