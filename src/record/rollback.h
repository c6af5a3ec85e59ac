// The way back of an install over an older one: while an install writes, the older install's
// files it replaces or drops wait in the kept folder inside the install folder; if the install
// does not end whole, RollBack puts them back from the journal and removes what the install
// added, so the older install stands as it was (its files byte for byte, its record, its
// entry). Once the new install is whole, the kept files go. Every step is safe to repeat: a
// rollback cut off in turn is finished by the next run.
#pragma once

#include <windows.h>

#include <string>

#include "installjournal.h"

class XC_Log;

// Makes the kept folder new, open to administrators and the system only, so that no other user
// changes what waits there. False, logged, when it cannot be made or a link stands there.
bool MakeKeptFolder(const std::string& installFolder, XC_Log* log);

// Before the copy: the older install's files that newer no longer has go into the kept folder
// (KeptKind::Dropped), then its folders that newer no longer has, once empty, so that a folder
// of newer may stand where older had a file. False, logged, when a file could not be moved
// (held open, say, or behind a link); what was moved stays there for RollBack.
bool SetAsideDropped(const std::string& installFolder, const InstallRecord& older, const InstallRecord& newer,
                     XC_Log* log);

// Before newer's file number is written to path, in folder (its folder's held handle): whatever
// stands there goes into the kept folder (keptFolder, its held handle; KeptKind::Replaced). True
// when it was moved or nothing was there; false, logged, otherwise (held open, or a link, which
// is never moved).
bool SetAsideReplaced(HANDLE folder, const std::string& path, HANDLE keptFolder, size_t number, XC_Log* log);

// Puts the older install that journal describes back and removes what the newer one added:
// its files and part files, the folders it made, its shortcuts, its record, entry and language
// file; the older record, entry and files come back. False, logged, when something could not
// be put back or removed (nothing is followed through a link); it may be run again.
bool RollBack(const std::string& uninstallFolder, const InstallJournal& journal, XC_Log* log);

// After the new install is whole: the kept files and the kept folder. False, logged, when some
// stay (held open).
bool RemoveKeptFiles(const std::string& installFolder, XC_Log* log);

// At the start of the installer and the uninstaller, before they do anything else: a journal
// beside the install record means an install was cut off, which is rolled back and logged; kept
// files without a journal (an install cut off after it was whole) are removed. A damaged journal
// is logged and left alone.
void RecoverInterruptedInstall(const std::string& uninstallFolder, XC_Log* log);
