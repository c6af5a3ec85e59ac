// The installer's main window, TForm_Main: a dialog that selects the mode at creation, then
// localizes itself, waits for the engraver's USB-serial adapter, runs the install worker and
// finally starts the installed application.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "installowner.h"
#include "installworker.h"
#include "startup.h"

class TLabel;
class TSkinButton;
class TSkinImagePanel;
class TSkinProgressBar;
class TSkinURLLabel;

// A timer of the window: WM_TIMER with its id every interval while it is enabled.
class TWindowTimer {
public:
    TWindowTimer(UINT id, UINT interval) : id_(id), interval_(interval) {}
    TWindowTimer(const TWindowTimer&) = delete;
    TWindowTimer& operator=(const TWindowTimer&) = delete;

    void Attach(HWND window) { window_ = window; }
    void Start();
    void Stop();
    bool Enabled() const { return enabled_; }
    UINT Id() const { return id_; }
    UINT Interval() const { return interval_; }

private:
    HWND window_ = nullptr;
    UINT id_;
    UINT interval_;
    bool enabled_ = false;
};

class TForm_Main : public TInstallOwner {
public:
    using MC_TimerInstall = ::MC_TimerInstall;

    // Creates the window, hidden, from its dialog resource in module; Handle() is null when
    // that fails.
    explicit TForm_Main(HINSTANCE module = GetModuleHandleA(nullptr));
    virtual ~TForm_Main();

    HWND Handle() const { return handle_; }
    // Shows the window; FormShow runs once it is on screen.
    void Show();
    // Dispatches the window's messages with dialog keyboard handling. Every ending of the
    // installer leaves through the process exit, so this does not return.
    void Run();

    // The controls and window timers, in the window's component order.
    TSkinImagePanel* SkinImagePanel2 = nullptr;
    TSkinImagePanel* SkinImagePanel4 = nullptr;
    TSkinImagePanel* SkinImagePanel1 = nullptr;
    TSkinImagePanel* SkinImagePanel3 = nullptr;
    TSkinButton* Button_Install = nullptr;
    TLabel* Label_Status = nullptr;
    TWindowTimer Timer_CheckDev;
    TWindowTimer Timer_Finish;
    TSkinURLLabel* Label_Skeep = nullptr;
    TWindowTimer Timer_Draw;
    // Under the status label; shown only while installing.
    TSkinProgressBar* ProgressBar_Install = nullptr;

    // Loads the payload of the file at ownPath (the running executable's) and selects the mode;
    // returns only in installer mode, as soon as the window's part of the payload is in. The
    // rest loads behind the window: the install waits for it, and a payload that turns out
    // damaged ends the process with the load's message over the window.
    void FormCreate(const std::string& ownPath);
    void FormShow();
    void Timer_CheckDevTimer();
    void Button_InstallClick();
    void Label_SkeepClick();
    void Timer_DrawTimer();
    void Timer_FinishTimer();
    // Ends the process with exit code 0, except while the worker runs: then asks
    // Text_CancelInstall, and Yes has the worker stop and put back what stood before.
    void FormCloseQuery();

    // Worker thread: stores the progress and, at most every 50 ms, tells the window's thread.
    void SetProgress(int position) override;
    // Worker thread: the window's thread asks the user Retry or Cancel; waits for the answer.
    bool AskRetry(const std::string& question) override;
    bool Watched() const override { return true; }
    // Worker thread: posts the end of the installation to the window's thread.
    void StartFinishTimer(InstallResult result) override;

protected:
    // Starts the install worker on its own thread; false when it cannot be started. Tests
    // drive the window with a worker of their own here.
    virtual bool StartInstallWorker();
    // Loader thread: the window's part of the payload is in, the rest not yet. Tests hold the
    // load here.
    virtual void PayloadWindowPartLoaded() {}
    // Waits until the payload's load has ended: a test's window does so before its own parts go.
    void EndPayloadLoad();

private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void LayOut();
    void SetupLanguage();
    // Enables the install button and makes it the default button with the focus.
    void EnableInstallButton();
    void SetStatusCaption(const std::string& text);
    // The install proper, from "Installing..." on.
    void StartInstall();
    // The load behind the window has ended: the install may start, or the payload is refused.
    void PayloadLoaded();

    HWND handle_ = nullptr;
    bool shown_ = false;
    bool Flag_SkipDriver = false;
    InstallResult finishResult_ = InstallResult::Success;
    DWORD progressPostedAt_ = 0;  // worker thread only
    MC_TimerInstall Timer_Install;
    // The load of the payload, which goes on behind the window; null when no load was started.
    std::unique_ptr<TPayloadLoader> loader_;
    // Whether the install may start: not while the payload is still loading.
    enum class PayloadState { Loaded, Loading };
    PayloadState payloadState_ = PayloadState::Loaded;
    // The install button was pressed while the payload was loading: it starts once loaded.
    bool installWaiting_ = false;
};

// True for the Windows versions the installer supports: those it has a driver set for (XP 5.1,
// 7 6.1, and 6.2, which is also what Windows 8 and later report; see DriverSetFor).
bool IsSupportedWindowsVersion(DWORD major, DWORD minor);

// The command line of the installed application: its path in Program Files, quoted so that
// Windows never tries "C:\Program.exe" first.
std::string InstalledApplicationCommand();

// Starts the installed application as a normal window, as the signed-in user where UAC
// elevated the installer; true when it was started.
bool LaunchInstalledApplication();
