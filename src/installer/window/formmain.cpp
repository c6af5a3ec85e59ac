// TForm_Main: the window's creation and layout, its states from waiting for the adapter to
// the final launch, and the language set-up.
#include "formmain.h"

#include "adapters.h"
#include "builder.h"
#include "deployment.h"
#include "driverinstall.h"
#include "formmain.rh"
#include "installsteps.h"
#include "installtexts.h"
#include "label.h"
#include "paths.h"
#include "payloadkeys.h"
#include "rollback.h"
#include "skinbitmaps.h"
#include "skinbutton.h"
#include "skindpi.h"
#include "skinimagepanel.h"
#include "skinprogressbar.h"
#include "skinurllabel.h"
#include "uninstallentry.h"
#include "userlaunch.h"
#include "windowtext.h"
#include "xc_installhardware.h"
#include "xc_language.h"
#include "xc_log.h"
#include "xc_osversion.h"

namespace {

// Posted to the window: the first show has happened; the worker has ended (wParam: result).
constexpr UINT WM_FORM_SHOWN = WM_APP + 1;
constexpr UINT WM_INSTALL_FINISHED = WM_APP + 2;
// Sent by the worker: new progress to show; a question to ask (lParam: the text), answered by
// the result (nonzero: Retry).
constexpr UINT WM_INSTALL_PROGRESS = WM_APP + 3;
constexpr UINT WM_ASK_RETRY = WM_APP + 4;
// Posted by the payload's loader: the load behind the window has ended.
constexpr UINT WM_PAYLOAD_LOADED = WM_APP + 5;

// The one message of a payload that cannot be read or is damaged, and its caption.
const char* const kLoadFailure = "Oh, MG! LoadExeFile fail!";
const char* const kLoadFailureCaption = "Install Mini Tarvik";

// The shortest time between two progress messages from the worker.
constexpr DWORD kProgressPostInterval = 50;

constexpr int kClientWidth = 376;
constexpr int kClientHeight = 244;

struct ControlPlace {
    int id;
    int holder;  // the panel the control sits on, or 0 for the window
    int x, y, width, height;
};

// Pixel places at 96 DPI, relative to the holder; in component order, which also becomes the
// order of the child lists (and so of the Tab key and of translation).
const ControlPlace kLayout[] = {
    {IDC_SKINIMAGEPANEL2, 0, 0, 0, 2, 174},
    {IDC_SKINIMAGEPANEL4, 0, 374, 0, 2, 174},
    {IDC_SKINIMAGEPANEL1, 0, 2, 0, 372, 174},
    {IDC_SKINIMAGEPANEL3, 0, 0, 174, 376, 70},
    {IDC_BUTTON_INSTALL, IDC_SKINIMAGEPANEL3, 41, 16, 297, 33},
    {IDC_LABEL_STATUS, IDC_SKINIMAGEPANEL1, 8, 72, 321, 41},
    {IDC_LABEL_SKEEP, IDC_SKINIMAGEPANEL1, 264, 152, 97, 13},
    {IDC_PROGRESS_INSTALL, IDC_SKINIMAGEPANEL1, 8, 122, 321, 10},
};

constexpr int kWorkerInterval = 80;

}  // namespace

void TWindowTimer::Start() {
    if (window_ != nullptr && SetTimer(window_, id_, interval_, nullptr) != 0) enabled_ = true;
}

void TWindowTimer::Stop() {
    if (window_ != nullptr) KillTimer(window_, id_);
    enabled_ = false;
}

TForm_Main::TForm_Main(HINSTANCE module) : Timer_CheckDev(1, 1000), Timer_Finish(2, 100), Timer_Draw(3, 500) {
    if (!RegisterSkinClasses(module)) return;
    handle_ = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_FORM_MAIN), nullptr, &DialogProcedure,
                                 reinterpret_cast<LPARAM>(this));
    if (handle_ == nullptr) return;
    Timer_CheckDev.Attach(handle_);
    Timer_Finish.Attach(handle_);
    Timer_Draw.Attach(handle_);
    SkinImagePanel2 = TSkinImagePanel::FromHandle(GetDlgItem(handle_, IDC_SKINIMAGEPANEL2));
    SkinImagePanel4 = TSkinImagePanel::FromHandle(GetDlgItem(handle_, IDC_SKINIMAGEPANEL4));
    SkinImagePanel1 = TSkinImagePanel::FromHandle(GetDlgItem(handle_, IDC_SKINIMAGEPANEL1));
    SkinImagePanel3 = TSkinImagePanel::FromHandle(GetDlgItem(handle_, IDC_SKINIMAGEPANEL3));
    Button_Install = TSkinButton::FromHandle(GetDlgItem(handle_, IDC_BUTTON_INSTALL));
    Label_Status = TLabel::FromHandle(GetDlgItem(handle_, IDC_LABEL_STATUS));
    Label_Skeep = TSkinURLLabel::FromHandle(GetDlgItem(handle_, IDC_LABEL_SKEEP));
    ProgressBar_Install = TSkinProgressBar::FromHandle(GetDlgItem(handle_, IDC_PROGRESS_INSTALL));
    if (!SkinImagePanel2 || !SkinImagePanel4 || !SkinImagePanel1 || !SkinImagePanel3 || !Button_Install ||
        !Label_Status || !Label_Skeep || !ProgressBar_Install) {
        DestroyWindow(handle_);
        handle_ = nullptr;
        return;
    }
    SkinImagePanel2->SetBitmap(module, SKIN_BITMAP_LEFT_BORDER);
    SkinImagePanel4->SetBitmap(module, SKIN_BITMAP_RIGHT_BORDER);
    SkinImagePanel3->SetBitmap(module, SKIN_BITMAP_BAND);
    ProgressBar_Install->SetMax(kProgressFull);
    Button_Install->OnClick = [this] { Button_InstallClick(); };
    Label_Skeep->OnClick = [this] { Label_SkeepClick(); };
    LayOut();
}

TForm_Main::~TForm_Main() {
    // The worker and the loader may still report to this window: end them before it goes.
    Timer_Install.Stop();
    EndPayloadLoad();
    if (handle_ != nullptr) DestroyWindow(handle_);
}

void TForm_Main::LayOut() {
    for (const ControlPlace& place : kLayout) {
        // Every control is still the window's own child here: only those before it have moved.
        HWND control = GetDlgItem(handle_, place.id);
        if (place.holder != 0) SetParent(control, GetDlgItem(handle_, place.holder));
        // Edges are scaled rather than sizes, so panels that meet at 96 DPI meet at any DPI.
        const int left = ScaleToScreen(place.x);
        const int top = ScaleToScreen(place.y);
        const int right = ScaleToScreen(place.x + place.width);
        const int bottom = ScaleToScreen(place.y + place.height);
        // Each goes to the bottom in turn, so every child list ends up in table order.
        SetWindowPos(control, HWND_BOTTOM, left, top, right - left, bottom - top, SWP_NOACTIVATE);
    }

    // The frame around the client area follows the DPI through the system's own metrics.
    const DWORD style = static_cast<DWORD>(GetWindowLongA(handle_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(handle_, GWL_EXSTYLE));
    RECT frame = {0, 0, ScaleToScreen(kClientWidth), ScaleToScreen(kClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(handle_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm_Main::Show() {
    if (handle_ == nullptr) return;
    ShowWindow(handle_, SW_SHOWNORMAL);
    UpdateWindow(handle_);
}

void TForm_Main::Run() {
    if (handle_ == nullptr) ExitProcess(0);  // no window to wait in
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(handle_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ExitProcess(0);
}

INT_PTR CALLBACK TForm_Main::DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        return FALSE;  // the focus is placed once the window is laid out and shown
    }
    auto* form = reinterpret_cast<TForm_Main*>(GetWindowLongPtrA(window, DWLP_USER));
    if (form == nullptr || form->handle_ != window) return FALSE;
    return form->HandleMessage(message, wParam, lParam);
}

INT_PTR TForm_Main::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SHOWWINDOW:
            if (wParam && !shown_) {
                shown_ = true;
                PostMessageA(handle_, WM_FORM_SHOWN, 0, 0);
            }
            return FALSE;
        case WM_FORM_SHOWN:
            FormShow();
            return TRUE;
        case WM_TIMER:
            if (wParam == Timer_CheckDev.Id() && Timer_CheckDev.Enabled()) Timer_CheckDevTimer();
            if (wParam == Timer_Draw.Id() && Timer_Draw.Enabled()) Timer_DrawTimer();
            if (wParam == Timer_Finish.Id() && Timer_Finish.Enabled()) Timer_FinishTimer();
            return TRUE;
        case WM_INSTALL_PROGRESS:
            // The status with it, so the two never tell different stories for half a second.
            if (Timer_Draw.Enabled()) Timer_DrawTimer();
            return TRUE;
        case WM_ASK_RETRY: {
            const auto* question = reinterpret_cast<const std::string*>(lParam);
            const int answer =
                MessageBoxA(handle_, question->c_str(), WindowText(handle_).c_str(), MB_RETRYCANCEL | MB_ICONWARNING);
            SetWindowLongPtrA(handle_, DWLP_MSGRESULT, answer == IDRETRY);
            return TRUE;
        }
        case WM_PAYLOAD_LOADED:
            PayloadLoaded();
            return TRUE;
        case WM_INSTALL_FINISHED:
            finishResult_ = static_cast<InstallResult>(wParam);
            Timer_Finish.Start();
            return TRUE;
        case WM_COMMAND:
            // Enter on the dialog presses the default button; Escape (IDCANCEL) does nothing,
            // so a stray key never cuts an installation short.
            if (LOWORD(wParam) == IDC_BUTTON_INSTALL) Button_Install->Click();
            return TRUE;
        case WM_CLOSE:
            FormCloseQuery();
            return TRUE;
    }
    return FALSE;
}

void TForm_Main::FormCreate(const std::string& ownPath) {
    loader_.reset(new TPayloadLoader(&Payload, ownPath, [this] { PayloadWindowPartLoaded(); }));
    switch (loader_->WaitForWindow()) {
        case StartMode::Failed:
            MessageBoxA(nullptr, kLoadFailure, kLoadFailureCaption, MB_OK);
            ExitProcess(0);
        case StartMode::Builder:
            RunBuilder(&Payload);
        case StartMode::Installer:
            payloadState_ = PayloadState::Loading;
            loader_->PostWhenDone(handle_, WM_PAYLOAD_LOADED);
            RecoverInterruptedInstall(UninstallFolderPath(), &ProgramLog);
            return;
    }
}

void TForm_Main::EndPayloadLoad() {
    if (loader_) loader_->Finish();
}

void TForm_Main::PayloadLoaded() {
    if (loader_->Finish() != StartMode::Installer) {
        // Nothing has been installed: the install waits for the whole payload.
        MessageBoxA(handle_, kLoadFailure, kLoadFailureCaption, MB_OK);
        ExitProcess(0);
    }
    payloadState_ = PayloadState::Loaded;
    if (installWaiting_) StartInstall();
}

void TForm_Main::SetupLanguage() {
    LoadInstallerLanguage(loader_ ? loader_->Language() : Payload.FindEntry(PayloadKey::Language));
    ProgramLanguage.ApplyToWindow(handle_);
    TranslateInstallTexts(*this);
}

void TForm_Main::FormShow() {
    SetupLanguage();
    const XC_OSVersion version;
    if (!IsSupportedWindowsVersion(version.VersionInfo.dwMajorVersion, version.VersionInfo.dwMinorVersion)) {
        char caption[256] = {};
        GetWindowTextA(handle_, caption, sizeof(caption));
        MessageBoxA(handle_, Text_NotSupportedOS.c_str(), caption, MB_OK);
        ExitProcess(0);
    }
    Timer_CheckDev.Start();
}

void TForm_Main::Timer_CheckDevTimer() {
    if (Flag_SkipDriver) return;
    XC_InstallHardware hardware;
    if (!hardware.FindDevice(kPl2303HardwareId) && !hardware.FindDevice(kCh341HardwareId)) return;
    Timer_CheckDev.Stop();
    EnableInstallButton();
    ShowWindow(Label_Skeep->Handle(), SW_HIDE);
    SetStatusCaption(Text_Ready);
}

void TForm_Main::Button_InstallClick() {
    if (Button_Install->Text() == Text_LoadNow) {
        if (!LaunchInstalledApplication())
            MessageBoxA(handle_, Text_StartFromShortcut.c_str(), Text_Notice.c_str(), MB_OK | MB_ICONINFORMATION);
        ExitProcess(0);
    }
    EnableWindow(Button_Install->Handle(), FALSE);
    ShowWindow(Label_Skeep->Handle(), SW_HIDE);
    if (payloadState_ == PayloadState::Loading) {
        installWaiting_ = true;
        SetStatusCaption(Text_PreparingFiles);
        return;
    }
    StartInstall();
}

void TForm_Main::StartInstall() {
    SetStatusCaption(Text_Installing);
    ProgressBar_Install->SetPosition(0);
    ShowWindow(ProgressBar_Install->Handle(), SW_SHOW);
    if (!StartInstallWorker()) {
        // Nothing will ever report: end in the error state rather than show work for ever.
        LogStepFailure("Starting the install worker", "its thread", GetLastError());
        finishResult_ = InstallResult::FinishedWithErrors;
        Timer_Finish.Start();
        return;
    }
    Timer_Draw.Start();
}

void TForm_Main::Label_SkeepClick() {
    Flag_SkipDriver = true;
    MessageBoxA(handle_, Text_MakeSureDriver.c_str(), Text_Notice.c_str(), MB_OK);
    Timer_CheckDev.Stop();
    EnableInstallButton();
    Button_InstallClick();
}

void TForm_Main::Timer_DrawTimer() {
    SetStatusCaption(Status());
    ProgressBar_Install->SetPosition(Progress());
}

void TForm_Main::Timer_FinishTimer() {
    Timer_Draw.Stop();
    ProgressBar_Install->SetPosition(kProgressFull);
    ShowWindow(ProgressBar_Install->Handle(), SW_HIDE);
    SetStatusCaption(finishResult_ == InstallResult::Success ? Text_Installed : Text_FinishedWithErrors);
    EnableInstallButton();
    if (Button_Install->Text() != Text_LoadNow) SetWindowTextA(Button_Install->Handle(), Text_LoadNow.c_str());
}

void TForm_Main::FormCloseQuery() {
    // Timer_Draw runs exactly while the worker does.
    if (!Timer_Draw.Enabled()) ExitProcess(0);
    // Cut off midway the install would leave a mix of versions: the close box asks, and Yes
    // has the worker put back what stood before. A second close while that runs waits for it.
    if (CancelRequested()) return;
    const int answer =
        MessageBoxA(handle_, Text_CancelInstall.c_str(), WindowText(handle_).c_str(), MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) return;
    if (!Timer_Draw.Enabled()) ExitProcess(0);  // it ended while the question was open
    RequestCancel();
}

void TForm_Main::SetProgress(int position) {
    TInstallOwner::SetProgress(position);
    const DWORD now = GetTickCount();
    if (now - progressPostedAt_ < kProgressPostInterval && position < kProgressFull) return;
    progressPostedAt_ = now;
    PostMessageA(handle_, WM_INSTALL_PROGRESS, 0, 0);
}

bool TForm_Main::AskRetry(const std::string& question) {
    return SendMessageA(handle_, WM_ASK_RETRY, 0, reinterpret_cast<LPARAM>(&question)) != 0;
}

void TForm_Main::StartFinishTimer(InstallResult result) {
    PostMessageA(handle_, WM_INSTALL_FINISHED, static_cast<WPARAM>(result), 0);
}

bool TForm_Main::StartInstallWorker() {
    Timer_Install.Owner = this;
    Timer_Install.Interval = kWorkerInterval;
    return Timer_Install.Start();
}

void TForm_Main::EnableInstallButton() {
    HWND button = Button_Install->Handle();
    if (IsWindowEnabled(button)) return;
    EnableWindow(button, TRUE);
    SendMessageA(handle_, DM_SETDEFID, IDC_BUTTON_INSTALL, 0);
    SendMessageA(handle_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
}

void TForm_Main::SetStatusCaption(const std::string& text) { SetWindowTextA(Label_Status->Handle(), text.c_str()); }

bool IsSupportedWindowsVersion(DWORD major, DWORD minor) { return DriverSetFor(major, minor) != DriverSet::None; }

std::string InstalledApplicationCommand() { return "\"" + InstalledApplicationPath() + "\""; }

bool LaunchInstalledApplication() { return LaunchAsDesktopUser(InstalledApplicationCommand().c_str()); }
