// Programs running from a folder: before the installer overwrites or the uninstaller removes
// the files of an install, it finds the processes whose executable lies in the install folder,
// so the user can close them first. Nothing here ends a process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RunningProgram {
    DWORD id;
    std::string path;  // the executable's full path
};

// True when path lies inside folder: the folder's whole parts, letters compared without regard
// to ASCII case ("C:\MiniTarvik2\x.exe" is not inside "C:\MiniTarvik"). A trailing backslash of
// folder does not count.
bool IsPathInFolder(const std::string& path, const std::string& folder);

// How each process's executable path is read.
enum class ImagePathSource {
    FullImageName,  // QueryFullProcessImageNameA (Vista on): any process, 64-bit ones included
    ModuleList,     // the process's first module (XP): 32-bit processes only
};

// The path through one source; empty when that source cannot read it.
std::string ProcessImagePath(DWORD processId, ImagePathSource source);

// Every process other than this one whose executable lies in folder, with its id and path;
// each path read through the best source the system has. Processes whose path cannot be read
// (other users' services without the rights) are not listed.
std::vector<RunningProgram> ProgramsRunningFrom(const std::string& folder);
