// The installer's language pack and the translated texts of the install, shared by the window
// and the unattended install, so that both name the shortcuts alike.
#pragma once

#include "installowner.h"

// Loads the language pack: the "Language" folder beside the executable when it exists,
// otherwise the payload's language archive (null: none) unpacked afresh into "MyLanguage" in
// the temporary folder.
void LoadInstallerLanguage(const XC_MemSpace* archive);
// The folder the language pack was loaded from; empty before LoadInstallerLanguage.
std::string InstallerLanguageFolder();

// Fills owner's texts from the loaded language pack (English where it has no translation).
void TranslateInstallTexts(TInstallOwner& owner);
