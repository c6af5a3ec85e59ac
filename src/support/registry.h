// Registry reads by one key path text ("HKLM\SOFTWARE\..."), and the shell's special folders.
#pragma once

#include <windows.h>

#include <string>

// Opens the key named by path: a root name (full or short, any letter case, or a leading
// part of one: the last matching name of the root table decides), "\", and the subkey path.
// The caller closes the key; null when the path names no key.
HKEY RegOpenPath(const char* path);

// Queries valueName into buffer (or, with no buffer, only its type and size).
bool RegReadValue(const char* path, const char* valueName, void* buffer, DWORD* type, DWORD* size);

// A REG_SZ, REG_EXPAND_SZ (unexpanded) or REG_MULTI_SZ value (its strings joined by "\n");
// empty for any other type or when the value cannot be read.
std::string RegReadString(const char* path, const char* valueName);

// A REG_DWORD value, or 0.
DWORD RegReadDword(const char* path, const char* valueName);

DWORD RegSubKeyCount(const char* path);

// Name of the subkey at index, or empty.
std::string RegSubKeyName(const char* path, DWORD index);

// The special folders the installer uses, by their CSIDL values.
constexpr int kProgramFilesFolder = 38;    // CSIDL_PROGRAM_FILES
constexpr int kCommonProgramsFolder = 23;  // CSIDL_COMMON_PROGRAMS: all users' Start-menu programs
constexpr int kCommonDesktopFolder = 25;   // CSIDL_COMMON_DESKTOPDIRECTORY: all users' desktop
constexpr int kCommonAppDataFolder = 35;   // CSIDL_COMMON_APPDATA: all users' application data

// Folder path for a CSIDL value, without a trailing backslash; empty when unknown.
std::string SpecialFolderPath(int folderId);
