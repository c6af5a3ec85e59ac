// The language pack's folder and the install's texts, by their English keys.
#include "installtexts.h"

#include "deployment.h"
#include "installremoval.h"
#include "paths.h"
#include "wholefile.h"
#include "xc_language.h"
#include "xc_zipfile.h"

namespace {
std::string languageFolder;
}

void LoadInstallerLanguage(const XC_MemSpace* archive) {
    std::string folder = ModulePath("Language");
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Unpacked afresh on every start; failures leave whatever the folder holds.
        const std::string archiveFile = TempDirPath("MyLanguage.zip");
        if (archive != nullptr) WriteWholeFile(archiveFile.c_str(), archive, 0);
        folder = TempDirPath("MyLanguage");
        ProgramZipFile.UnzipToFolder(archiveFile.c_str(), folder.c_str());
        DeleteFileA(archiveFile.c_str());
    }
    ProgramLanguage.Load(folder.c_str());
    languageFolder = folder;
}

std::string InstallerLanguageFolder() { return languageFolder; }

void TranslateInstallTexts(TInstallOwner& owner) {
    struct TextSource {
        std::string* field;
        const char* english;
    };
    const TextSource texts[] = {
        {&owner.Text_LoadNow, "Load Mini Tarvik now!"},
        {&owner.Text_InstallingDriver, "Installing driver for Mini Tarvik..."},
        {&owner.Text_Ready, "Ready to install"},
        {&owner.Text_Installed, "Installed success!"},
        {&owner.Text_AppShortcut, kAppShortcut},
        {&owner.Text_GroupName, kGroupName},
        {&owner.Text_OtherTools, kOtherTools},
        {&owner.Text_InkscapeShortcut, kInkscapeShortcut},
        {&owner.Text_CopyingFiles, kCopyingFiles},
        {&owner.Text_NotSupportedOS, "Not supported OS! We support WinXP or Win7 only!"},
        {&owner.Text_Notice, "Notice"},
        {&owner.Text_MakeSureDriver, "Make sure you have installed driver for your Tarvik Device."},
        {&owner.Text_Installing, "Installing..."},
        {&owner.Text_PreparingFiles, "Preparing files..."},
        {&owner.Text_FinishedWithErrors, "Installation finished with errors. See the log file."},
        {&owner.Text_NotEnoughSpace, kNotEnoughSpace},
        {&owner.Text_ProgramRunning, kRunningQuestion},
        {&owner.Text_CancelInstall, "Cancel the installation?"},
        {&owner.Text_StartFromShortcut, "Mini Tarvik is installed. Start it with its shortcut on the desktop."},
    };
    for (const TextSource& text : texts) *text.field = ProgramLanguage.Translate(text.english);
}
