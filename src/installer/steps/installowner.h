// What the install worker uses of the installer window: the payload, the translated texts, the
// status text under its lock, and the signal that the work is done. The window is one such
// owner; tests drive the same worker with an owner of their own.
#pragma once

#include <atomic>
#include <string>

#include "xc_exetailhelper.h"
#include "xc_timerbase.h"

// The progress of the whole installation runs from 0 to this.
constexpr int kProgressFull = 10000;

// How the installation ended, as the window reports it in its final state.
enum class InstallResult {
    Success,
    FinishedWithErrors,  // some application file or folder, or a 32-bit driver update, failed
    // The application was not installed and whatever stood before stands unchanged: no space,
    // a program running from the install folder, or a failure or cancel that was rolled back.
    NotInstalled,
};

class TInstallOwner {
public:
    TInstallOwner() = default;
    TInstallOwner(const TInstallOwner&) = delete;
    TInstallOwner& operator=(const TInstallOwner&) = delete;

    // Loaded at start-up; read only once the worker runs.
    XC_ExeTailHelper Payload;

    // Translations of the fixed English texts, filled before the worker starts and only read by it.
    std::string Text_LoadNow;
    std::string Text_InstallingDriver;
    std::string Text_Ready;
    std::string Text_Installed;
    std::string Text_GroupName;
    std::string Text_OtherTools;
    std::string Text_AppShortcut;
    std::string Text_InkscapeShortcut;
    std::string Text_CopyingFiles;
    std::string Text_NotSupportedOS;
    std::string Text_Notice;
    std::string Text_MakeSureDriver;
    std::string Text_Installing;
    // "Preparing files...": the install was asked for while the payload was still loading.
    std::string Text_PreparingFiles;
    // "Installation finished with errors. See the log file."
    std::string Text_FinishedWithErrors;
    // "Not enough free disk space: %d MB needed, %d MB free on %s. Free some space and press Retry."
    std::string Text_NotEnoughSpace;
    // "Mini Tarvik is running. Close it, then press Retry."
    std::string Text_ProgramRunning;
    // "Cancel the installation?", asked by the window's close box while the worker runs.
    std::string Text_CancelInstall;
    // Shown when the installed application could not be started for the user.
    std::string Text_StartFromShortcut;

    // Worker side: replaces the status text under Lock_Status.
    virtual void SetStatus(const std::string& text) {
        XC_AutoLock hold(Lock_Status);
        Text_Status = text;
    }
    // Window side: the status text as last written, read under Lock_Status.
    std::string Status() {
        XC_AutoLock hold(Lock_Status);
        return Text_Status;
    }
    // Worker side: the progress of the whole installation, 0 to kProgressFull, under Lock_Status.
    virtual void SetProgress(int position) {
        XC_AutoLock hold(Lock_Status);
        Progress_ = position;
    }
    // Window side: the progress as last written, read under Lock_Status.
    int Progress() {
        XC_AutoLock hold(Lock_Status);
        return Progress_;
    }
    // Worker side: the install volume is short of space; true to look again (Retry), false to
    // give up (Cancel). With no one to answer, the installation does not go on.
    virtual bool AskRetry(const std::string& question) {
        (void)question;
        return false;
    }
    // Window side: the person asked to stop; the worker puts back what stood before.
    void RequestCancel() { cancel_ = true; }
    // Worker side: whether a cancel was asked for.
    bool CancelRequested() const { return cancel_; }
    // Whether a person watches the installation (the window's does): only then is the 64-bit
    // driver updater's console shown. An unattended install shows no window at all.
    virtual bool Watched() const { return false; }
    // Worker side, once, as its last act, on the worker thread: the owner starts Timer_Finish
    // (the window posts itself a message, so no window code runs on the worker thread).
    virtual void StartFinishTimer(InstallResult result) = 0;

protected:
    ~TInstallOwner() = default;

private:
    std::string Text_Status;
    int Progress_ = 0;
    XC_CriticalSection Lock_Status;
    std::atomic<bool> cancel_{false};
};
