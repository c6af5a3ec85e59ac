// The application's deployment: the files packed from the application folder are written
// into "MiniTarvik" under Program Files, opened to everyone, with progress after each file,
// and the Start-menu and desktop shortcuts are created.
#pragma once

#include <string>

#include "installowner.h"

// The English names of the shortcuts and their folders: the keys of their translations, and the
// names used when a translation is not a plain file name.
constexpr const char kGroupName[] = "My Mini Tarvik";
constexpr const char kOtherTools[] = "Other Tools";
constexpr const char kAppShortcut[] = "Load Mini Tarvik";
constexpr const char kInkscapeShortcut[] = "Inkscape (Vektrel)";

// Deploys the application for owner. False when a file or folder of the application could
// not be written (or the payload's file list is missing or damaged); every failed step is
// logged and the others still run.
bool DeployApplication(TInstallOwner& owner);

// The installed application's path: "MiniTarvik\Emberlin.exe" under Program Files.
std::string InstalledApplicationPath();

// The progress text for percent. A translation is used only when it holds exactly one integer
// conversion ("%d" or "%i", with flags and at most two digits of width and of precision)
// besides any "%%"; otherwise the English text is.
std::string CopyingFilesText(const std::string& translation, int percent);
