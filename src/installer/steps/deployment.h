// The application's deployment: the files packed from the application folder are written
// into "MiniTarvik" under Program Files, opened to everyone, once the volume has room for
// them, with the progress by bytes and a status after each file, and the Start-menu and
// desktop shortcuts are created.
#pragma once

#include <string>

#include "installowner.h"

// The English names of the shortcuts and their folders: the keys of their translations, and the
// names used when a translation is not a plain file name.
constexpr const char kGroupName[] = "My Mini Tarvik";
constexpr const char kOtherTools[] = "Other Tools";
constexpr const char kAppShortcut[] = "Load Mini Tarvik";
constexpr const char kInkscapeShortcut[] = "Inkscape (Vektrel)";
// The English formats of the progress text and of the free-space question, likewise.
constexpr const char kCopyingFiles[] = "Copying files %d%%";
constexpr const char kNotEnoughSpace[] =
    "Not enough free disk space: %d MB needed, %d MB free on %s. Free some space and press Retry.";

// Before anything of the install is done: asks the owner to free space until the install
// volume has room for the application, and to close the programs running from the install
// folder. False, logged, when the owner gives up: then nothing is to be installed.
bool ReadyToDeploy(TInstallOwner& owner);

// Deploys the application for owner. Before the first write a journal records what stood
// before; an install over an older one that fails, and any install that is cancelled
// (TInstallOwner::CancelRequested), puts that back and gives NotInstalled. A first install
// that fails goes on with the other steps and gives FinishedWithErrors, its record listing
// every file it wrote; so does a missing or damaged file list, which copies nothing. Every
// failed step is logged.
InstallResult DeployApplication(TInstallOwner& owner);

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
