// The application's deployment: the files packed from the application folder are written
// into "MiniTarvik" under Program Files, opened to everyone, once the volume has room for
// them, with the progress by bytes and a status after each file, and the Start-menu and
// desktop shortcuts are created.
#pragma once

#include <string>

#include "installowner.h"

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

// The question asked when the install volume is short of space. The translation is used only
// when it converts two integers, then one text, as the English text does.
std::string NotEnoughSpaceText(const std::string& translation, int neededMegabytes, int freeMegabytes,
                               const std::string& volume);
