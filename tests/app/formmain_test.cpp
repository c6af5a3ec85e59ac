// The installer window on the real Win32 API: its layout read back from the live window (at the
// DPI of the run, TARVIK_TEST_DPI, which tests/skin/gui_prefix.sh gives the prefix), its states
// from waiting to installed with simulated adapters and a scripted worker, what a screen reader
// reads of it in each state, its message boxes, the keyboard, the supported versions and the
// final launch.
#include "formmain.h"
#include "userlaunch.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <functional>
#include <thread>

#include "comref.h"
#include "import_patch.h"
#include "label.h"
#include "paths.h"
#include "registry.h"
#include "scratch_folder.h"
#include "simulated_devices.h"
#include "skinbutton.h"
#include "skinimagepanel.h"
#include "skinprogressbar.h"
#include "skinurllabel.h"
#include "test_installer.h"
#include "test_support.h"
#include "xc_language.h"
#include "xc_log.h"

namespace {

const char* const kConnectText = "Please connect Mini Tarvik Device to this PC...";
const char* const kInstallCaption = "Install Driver and Applications";

// Dispatches the thread's messages, as the installer's loop does, until done() or timeout;
// true when done() became true.
bool PumpUntil(HWND dialog, const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (IsDialogMessageA(dialog, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(HWND dialog, DWORD ms) {
    PumpUntil(
        dialog, [] { return false; }, ms);
}

std::string TextOf(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

// The DPI the window gets: the screen's.
int ScreenDpiNow() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// A length of the 96-DPI layout at the screen's DPI.
int Scaled(int designPixels) { return MulDiv(designPixels, ScreenDpiNow(), 96); }

// The rectangle of a control in its holder's client coordinates.
RECT PlaceIn(HWND control, HWND holder) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, holder, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HANDLE WINAPI CreateNoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// The window with a worker whose steps the test decides: it writes its statuses, then waits
// for Finish and reports the given result, or for a cancel, which it reports as NotInstalled.
class ScriptedForm : public TForm_Main {
public:
    ~ScriptedForm() override {
        Finish(InstallResult::Success);
        if (worker_.joinable()) worker_.join();
        loadGate.Release();
        EndPayloadLoad();
    }

    std::vector<std::string> statuses = {"Copying files 50%"};
    int progress = kProgressFull / 2;
    // Starts the window's own worker instead of the scripted one.
    bool realWorker = false;
    std::atomic<int> starts{0};
    // Holds the payload's load once the window's part is in, when holdLoad is set.
    std::atomic<bool> holdLoad{false};
    LoadGate loadGate;

    void Finish(InstallResult result) {
        result_ = result;
        release_ = true;
    }

protected:
    void PayloadWindowPartLoaded() override {
        if (holdLoad) loadGate.Hold();
    }
    bool StartInstallWorker() override {
        ++starts;
        if (realWorker) return TForm_Main::StartInstallWorker();
        worker_ = std::thread([this] {
            for (const std::string& status : statuses) SetStatus(status);
            SetProgress(progress);
            while (!release_ && !CancelRequested()) Sleep(5);
            StartFinishTimer(CancelRequested() ? InstallResult::NotInstalled : result_.load());
        });
        return true;
    }

private:
    std::thread worker_;
    std::atomic<bool> release_{false};
    std::atomic<InstallResult> result_{InstallResult::Success};
};

// A message box the window opens on this thread: found from another thread, read, and
// answered with the given button.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(HWND owner, int answer = IDOK)
        : owner_(owner), answer_(answer), thread_([this] { Watch(); }) {}
    ~MessageBoxWatcher() {
        stop_ = true;
        thread_.join();
    }

    bool Seen() const { return seen_; }
    std::string caption;
    std::string text;
    bool hadAnswer = false;  // the box had the button answered with

private:
    static BOOL CALLBACK FindText(HWND child, LPARAM self) {
        auto* watcher = reinterpret_cast<MessageBoxWatcher*>(self);
        if (ClassOf(child) == "Static" && !TextOf(child).empty()) watcher->text = TextOf(child);
        return TRUE;
    }

    void Watch() {
        const DWORD start = GetTickCount();
        while (!stop_ && GetTickCount() - start < 10000) {
            HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr);
            for (; box != nullptr; box = FindWindowExA(nullptr, box, "#32770", nullptr)) {
                if (GetWindow(box, GW_OWNER) == owner_ && IsWindowVisible(box)) break;
            }
            if (box != nullptr) {
                caption = TextOf(box);
                EnumChildWindows(box, &FindText, reinterpret_cast<LPARAM>(this));
                hadAnswer = GetDlgItem(box, answer_) != nullptr;
                seen_ = true;
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
                return;
            }
            Sleep(20);
        }
    }

    HWND owner_;
    int answer_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    std::thread thread_;
};

// ---- Layout -------------------------------------------------------------------------------

class FormLayoutTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(form.Handle(), nullptr) << "the dialog resource did not load"; }
    TForm_Main form;
};

TEST_F(FormLayoutTest, ControlsSitOnTheirPanelsAtTheirPixelPlaces) {
    struct Place {
        const char* member;
        HWND control;
        const char* className;
        HWND holder;
        int x, y, width, height;
        bool enabled;
        const char* caption;
    };
    HWND window = form.Handle();
    const Place places[] = {
        {"SkinImagePanel2", form.SkinImagePanel2->Handle(), "TSkinImagePanel", window, 0, 0, 2, 174, true, ""},
        {"SkinImagePanel4", form.SkinImagePanel4->Handle(), "TSkinImagePanel", window, 374, 0, 2, 174, true, ""},
        {"SkinImagePanel1", form.SkinImagePanel1->Handle(), "TSkinImagePanel", window, 2, 0, 372, 174, true, ""},
        {"SkinImagePanel3", form.SkinImagePanel3->Handle(), "TSkinImagePanel", window, 0, 174, 376, 70, true, ""},
        {"Button_Install", form.Button_Install->Handle(), "TSkinButton", form.SkinImagePanel3->Handle(), 41, 16, 297,
         33, false, kInstallCaption},
        {"Label_Status", form.Label_Status->Handle(), "TLabel", form.SkinImagePanel1->Handle(), 8, 72, 321, 41, true,
         kConnectText},
        {"Label_Skeep", form.Label_Skeep->Handle(), "TSkinURLLabel", form.SkinImagePanel1->Handle(), 264, 152, 97, 13,
         true, "Skip Driver Install"},
    };
    // The places are those of 96 DPI; at another DPI each edge is scaled, so that the panels
    // still meet.
    for (const Place& place : places) {
        SCOPED_TRACE(place.member);
        EXPECT_EQ(place.className, ClassOf(place.control));
        EXPECT_EQ(place.holder, GetParent(place.control));
        const RECT rect = PlaceIn(place.control, place.holder);
        EXPECT_EQ(Scaled(place.x), rect.left);
        EXPECT_EQ(Scaled(place.y), rect.top);
        EXPECT_EQ(Scaled(place.x + place.width), rect.right);
        EXPECT_EQ(Scaled(place.y + place.height), rect.bottom);
        EXPECT_TRUE(GetWindowLongA(place.control, GWL_STYLE) & WS_VISIBLE);
        EXPECT_EQ(place.enabled, IsWindowEnabled(place.control) != FALSE);
        EXPECT_EQ(place.caption, TextOf(place.control));
    }
}

// The bar lies under the status label, with the label's left edge, hidden until installing.
TEST_F(FormLayoutTest, ProgressBarSitsUnderTheStatusLabelHidden) {
    HWND bar = form.ProgressBar_Install->Handle();
    EXPECT_EQ("TSkinProgressBar", ClassOf(bar));
    EXPECT_EQ(form.SkinImagePanel1->Handle(), GetParent(bar));
    const RECT rect = PlaceIn(bar, GetParent(bar));
    EXPECT_EQ(Scaled(8), rect.left);
    EXPECT_EQ(Scaled(122), rect.top);
    EXPECT_EQ(Scaled(8 + 321), rect.right);
    EXPECT_EQ(Scaled(122 + 10), rect.bottom);
    EXPECT_FALSE(GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ("", TextOf(bar));
    EXPECT_EQ(kProgressFull, form.ProgressBar_Install->Max());
}

TEST_F(FormLayoutTest, WindowIsAFixedCentredDialogInTahoma) {
    HWND window = form.Handle();
    EXPECT_EQ("Install Mini Tarvik", TextOf(window));
    // 376 x 244 at 96 DPI, scaled with the DPI.
    const struct {
        int dpi, width, height;
    } clients[] = {{96, 376, 244}, {120, 470, 305}, {144, 564, 366}, {192, 752, 488}};
    const int dpi = ScreenDpiNow();
    bool known = false;
    RECT client;
    GetClientRect(window, &client);
    for (const auto& expected : clients) {
        if (expected.dpi != dpi) continue;
        known = true;
        EXPECT_EQ(expected.width, client.right);
        EXPECT_EQ(expected.height, client.bottom);
    }
    EXPECT_TRUE(known) << "no client size known for " << dpi << " DPI";
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the window must not be resizable";
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU) << "the close box";
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_NEAR(GetSystemMetrics(SM_CXSCREEN) - frame.right, frame.left, 1);
    EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) - frame.bottom, frame.top, 1);

    auto font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    LOGFONTA logFont = {};
    ASSERT_NE(0, GetObjectA(font, sizeof(logFont), &logFont));
    EXPECT_STREQ("Tahoma", logFont.lfFaceName);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(-MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72), logFont.lfHeight);
    ReleaseDC(nullptr, screen);
}

// A run at another DPI than 96 is worth only as much as its DPI really being in effect.
TEST_F(FormLayoutTest, ScreenHasTheDpiOfTheRun) {
    const char* asked = getenv("TARVIK_TEST_DPI");
    if (asked == nullptr) GTEST_SKIP() << "TARVIK_TEST_DPI is not set: the run asked for no DPI";
    EXPECT_EQ(atoi(asked), ScreenDpiNow());
}

// Every text a control shows in any state is drawn whole within it, in the control's own font:
// on one line for the button and the link, wrapped on whole words for the status.
TEST_F(FormLayoutTest, EveryTextFitsItsControl) {
    const struct {
        const char* member;
        HWND control;
        SkinFont font;
        bool wraps;
        std::vector<std::string> texts;
    } controls[] = {
        {"Button_Install",
         form.Button_Install->Handle(),
         SkinFont::Button,
         false,
         {kInstallCaption, "Load Mini Tarvik now!"}},
        {"Label_Skeep", form.Label_Skeep->Handle(), SkinFont::Link, false, {"Skip Driver Install"}},
        {"Label_Status",
         form.Label_Status->Handle(),
         SkinFont::Label,
         true,
         {kConnectText, "Ready to install", "Installing...", "Preparing files...",
          "Installing driver for Mini Tarvik...", "Copying files 100%", "Installed success!",
          "Installation finished with errors. See the log file."}},
    };
    HDC dc = GetDC(form.Handle());
    for (const auto& control : controls) {
        SCOPED_TRACE(control.member);
        RECT client;
        GetClientRect(control.control, &client);
        HGDIOBJ old = SelectObject(dc, GetSkinFont(control.font));
        for (const std::string& text : control.texts) {
            SCOPED_TRACE(text);
            SIZE extent = {};
            ASSERT_TRUE(GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent));
            EXPECT_LE(extent.cy, client.bottom);
            if (!control.wraps) {
                EXPECT_LE(extent.cx, client.right);
                continue;
            }
            RECT wrapped = client;
            DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &wrapped,
                      DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_CALCRECT);
            EXPECT_LE(wrapped.right - wrapped.left, client.right);
            EXPECT_LE(wrapped.bottom - wrapped.top, client.bottom);
            for (size_t start = 0; start < text.size();) {
                const size_t end = std::min(text.find(' ', start), text.size());
                ASSERT_TRUE(GetTextExtentPoint32A(dc, text.c_str() + start, static_cast<int>(end - start), &extent));
                EXPECT_LE(extent.cx, client.right) << "a word wider than the label";
                start = end + 1;
            }
        }
        SelectObject(dc, old);
    }
    ReleaseDC(form.Handle(), dc);
}

// The panels' bitmaps are drawn for 96 DPI and tiled at the screen's: at 96 their own pixels;
// at 144 a 2-pixel border is 3 pixels, its middle one a blend of its two colours (smoothed,
// not repeated); the band's 70 rows fill the band from the separator to the gradient's end.
TEST_F(FormLayoutTest, PanelBitmapsGrowSmoothlyWithTheDpi) {
    form.Show();
    RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HWND left = form.SkinImagePanel2->Handle();
    RECT border;
    GetClientRect(left, &border);
    EXPECT_EQ(Scaled(2), border.right);
    HDC dc = GetDC(left);
    const COLORREF outer = GetPixel(dc, 0, 10);
    const COLORREF inner = GetPixel(dc, border.right - 1, 10);
    const COLORREF middle = GetPixel(dc, 1, 10);
    ReleaseDC(left, dc);
    EXPECT_EQ(RGB(142, 156, 180), outer);
    EXPECT_EQ(RGB(217, 223, 233), inner);
    if (ScreenDpiNow() == 144) {
        EXPECT_GT(GetRValue(middle), 142);
        EXPECT_LT(GetRValue(middle), 217);
    }

    HWND band = form.SkinImagePanel3->Handle();
    RECT area;
    GetClientRect(band, &area);
    EXPECT_EQ(Scaled(244) - Scaled(174), area.bottom);
    dc = GetDC(band);
    for (int x : {0, Scaled(30), int(area.right / 2), int(area.right - 1)}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(RGB(169, 181, 200), GetPixel(dc, x, 0)) << "the separator line";
        // The last row is the gradient's end, not the separator of a next tile.
        const COLORREF last = GetPixel(dc, x, area.bottom - 1);
        EXPECT_NEAR(211, GetRValue(last), 3);
        EXPECT_NEAR(230, GetBValue(last), 3);
    }
    ReleaseDC(band, dc);
}

TEST_F(FormLayoutTest, TimersStartStoppedWithTheirIntervals) {
    EXPECT_FALSE(form.Timer_CheckDev.Enabled());
    EXPECT_FALSE(form.Timer_Finish.Enabled());
    EXPECT_FALSE(form.Timer_Draw.Enabled());
    EXPECT_EQ(1000u, form.Timer_CheckDev.Interval());
    EXPECT_EQ(100u, form.Timer_Finish.Interval());
    EXPECT_EQ(500u, form.Timer_Draw.Interval());
}

// Exactly the window's caption and the captions of the status label, the link and the button
// are looked up, in the order of the child lists; a missing file becomes their template.
TEST_F(FormLayoutTest, TranslationLooksUpTheFourCaptionsOnly) {
    ScratchFolder folder("window language");
    ASSERT_TRUE(folder.Ready());
    XC_Language language;
    language.Load(folder.Path().c_str());
    language.ApplyToWindow(form.Handle());
    const std::string file = FileContents(folder.Child("Language_" + std::to_string(language.LanguageId) + ".txt"));
    const size_t strings = file.find("[Strings]\r\n");
    ASSERT_NE(std::string::npos, strings) << file;
    EXPECT_EQ(
        "[Strings]\r\n"
        "{Install Mini Tarvik}=Install Mini Tarvik\r\n"
        "{Please connect Mini Tarvik Device to this PC...}=Please connect Mini Tarvik Device to this PC...\r\n"
        "{Skip Driver Install}=Skip Driver Install\r\n"
        "{Install Driver and Applications}=Install Driver and Applications\r\n",
        file.substr(strings));
}

// ---- States --------------------------------------------------------------------------------

class FormStateTest : public SimulatedDevicesTest {
protected:
    void SetUp() override {
        SimulatedDevicesTest::SetUp();
        form = std::make_unique<ScriptedForm>();
        ASSERT_NE(form->Handle(), nullptr);
    }
    void TearDown() override {
        form.reset();
        SimulatedDevicesTest::TearDown();
    }

    HWND Dialog() const { return form->Handle(); }
    std::string Status() const { return TextOf(form->Label_Status->Handle()); }
    HWND Button() const { return form->Button_Install->Handle(); }
    HWND Link() const { return form->Label_Skeep->Handle(); }

    // Shows the window and waits until FormShow has started the device poll.
    void ShowAndWait() {
        form->Show();
        ASSERT_TRUE(PumpUntil(
            Dialog(), [&] { return form->Timer_CheckDev.Enabled(); }, 5000));
    }
    bool WaitForStatus(const std::string& text, DWORD ms = 3000) {
        return PumpUntil(
            Dialog(), [&] { return Status() == text; }, ms);
    }
    void PlugPl2303() { ASSERT_NE(Plug(Adapter("VID_067B&PID_2303", "USB\\VID_067B&PID_2303&REV_0300")), nullptr); }
    void PlugCh341() { ASSERT_NE(Plug(Adapter("VID_1A86&PID_7523", "USB\\VID_1A86&PID_7523&REV_0254")), nullptr); }

    // Waiting with a PL2303 plugged in until the window is Ready.
    void MakeReady() {
        PlugPl2303();
        ShowAndWait();
        ASSERT_TRUE(WaitForStatus(form->Text_Ready));
    }

    std::unique_ptr<ScriptedForm> form;
};

struct AdapterCase {
    const char* name;
    bool pl2303;
    bool ch341;
    bool ready;
};

class FormWaitingTest : public FormStateTest, public testing::WithParamInterface<AdapterCase> {};

TEST_P(FormWaitingTest, AdapterEndsTheWaitAtTheFirstPoll) {
    const AdapterCase& adapters = GetParam();
    if (adapters.pl2303) PlugPl2303();
    if (adapters.ch341) PlugCh341();
    const DWORD shown = GetTickCount();
    ShowAndWait();
    EXPECT_EQ("Ready to install", form->Text_Ready) << "SetupLanguage filled the texts";
    const bool ready = WaitForStatus(form->Text_Ready, 3000);
    EXPECT_EQ(adapters.ready, ready);
    if (ready) {
        // The first poll comes about a second after the window is shown.
        EXPECT_GE(GetTickCount() - shown, 900u);
        EXPECT_TRUE(IsWindowEnabled(Button()));
        EXPECT_FALSE(IsWindowVisible(Link()));
        EXPECT_FALSE(form->Timer_CheckDev.Enabled());
        EXPECT_EQ(kInstallCaption, TextOf(Button()));
        // The button is now the default button and has the focus: Enter presses it.
        EXPECT_EQ(Button(), GetFocus());
        EXPECT_TRUE(form->Button_Install->IsDefault());
    } else {
        EXPECT_EQ(kConnectText, Status());
        EXPECT_FALSE(IsWindowEnabled(Button()));
        EXPECT_TRUE(IsWindowVisible(Link()));
        EXPECT_TRUE(form->Timer_CheckDev.Enabled());
        // Tab reaches the link, the only enabled control.
        EXPECT_EQ(Link(), GetNextDlgTabItem(Dialog(), nullptr, FALSE));
    }
    EXPECT_EQ(0, form->starts);
}

const AdapterCase kAdapterCases[] = {
    {"None", false, false, false},
    {"Pl2303", true, false, true},
    {"Ch341", false, true, true},
    {"Both", true, true, true},
};
INSTANTIATE_TEST_SUITE_P(Adapters, FormWaitingTest, testing::ValuesIn(kAdapterCases),
                         [](const testing::TestParamInfo<AdapterCase>& info) { return info.param.name; });

TEST_F(FormStateTest, InstallShowsTheWorkersStatusThenTheFinalState) {
    MakeReady();
    form->statuses = {"Installing driver for Mini Tarvik...", "Copying files 40%"};
    form->Button_Install->Click();
    EXPECT_EQ(1, form->starts);
    EXPECT_EQ(form->Text_Installing, Status());
    EXPECT_FALSE(IsWindowEnabled(Button()));
    EXPECT_FALSE(IsWindowVisible(Link()));
    EXPECT_TRUE(form->Timer_Draw.Enabled());

    // Timer_Draw shows the status last written under the lock.
    EXPECT_TRUE(WaitForStatus("Copying files 40%", 2000));

    form->Finish(InstallResult::Success);
    ASSERT_TRUE(WaitForStatus(form->Text_Installed));
    EXPECT_EQ("Installed success!", Status());
    EXPECT_TRUE(IsWindowEnabled(Button()));
    EXPECT_EQ("Load Mini Tarvik now!", TextOf(Button()));
    EXPECT_FALSE(form->Timer_Draw.Enabled());
    EXPECT_TRUE(form->Timer_Finish.Enabled());

    // Timer_Finish keeps applying the final state.
    SetWindowTextA(form->Label_Status->Handle(), "something else");
    EXPECT_TRUE(WaitForStatus(form->Text_Installed, 1000));
    EXPECT_EQ(1, form->starts);
}

// Blue pixels of the bar as drawn on the screen.
int BluePixels(HWND bar) {
    RECT client;
    GetClientRect(bar, &client);
    HDC dc = GetDC(bar);
    int count = 0;
    for (int x = 0; x < client.right; ++x) count += GetPixel(dc, x, client.bottom / 2) == TSkinProgressBar::FillColor;
    ReleaseDC(bar, dc);
    return count;
}

TEST_F(FormStateTest, ProgressBarShowsOnlyWhileInstallingAndFollowsTheWorker) {
    HWND bar = form->ProgressBar_Install->Handle();
    ShowAndWait();
    EXPECT_FALSE(IsWindowVisible(bar)) << "waiting";
    PlugPl2303();
    ASSERT_TRUE(WaitForStatus(form->Text_Ready));
    EXPECT_FALSE(IsWindowVisible(bar)) << "ready";

    form->progress = kProgressFull / 2;
    form->Button_Install->Click();
    EXPECT_TRUE(IsWindowVisible(bar)) << "installing";
    ASSERT_TRUE(PumpUntil(
        Dialog(), [&] { return form->ProgressBar_Install->Position() == kProgressFull / 2; }, 3000));
    RedrawWindow(Dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(Dialog(), 50);
    // Half of the pixels inside the frame (319 at 96 DPI, its line 1 pixel), on the live window.
    RECT client;
    GetClientRect(bar, &client);
    const int line = Scaled(1);
    EXPECT_NEAR((client.right - 2 * line) / 2, BluePixels(bar), 1);
    HDC dc = GetDC(bar);
    EXPECT_EQ(TSkinProgressBar::FrameColor, GetPixel(dc, 0, client.bottom / 2));
    EXPECT_EQ(TSkinProgressBar::FrameColor, GetPixel(dc, line - 1, client.bottom / 2));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, client.right - line - 1, client.bottom / 2));
    ReleaseDC(bar, dc);

    form->Finish(InstallResult::Success);
    ASSERT_TRUE(WaitForStatus(form->Text_Installed));
    EXPECT_FALSE(IsWindowVisible(bar)) << "installed";
    EXPECT_EQ(kProgressFull, form->ProgressBar_Install->Position());
}

// A worker whose thread cannot be made: the window must not show "Installing..." for ever.
TEST_F(FormStateTest, WorkerThatDoesNotStartEndsInTheErrorState) {
    ScratchFolder folder("worker log");
    ASSERT_TRUE(folder.Ready());
    const std::string log = folder.Child("install.log");
    char savedLog[sizeof(ProgramLog.LogPath)];
    memcpy(savedLog, ProgramLog.LogPath, sizeof(savedLog));
    ASSERT_LT(log.size(), sizeof(ProgramLog.LogPath));
    strcpy(ProgramLog.LogPath, log.c_str());

    MakeReady();
    form->realWorker = true;
    {
        ImportPatch patch("kernel32.dll", "CreateThread", reinterpret_cast<void*>(&CreateNoThread));
        if (!patch.Applied()) GTEST_SKIP() << "this program does not import CreateThread";
        form->Button_Install->Click();
    }
    EXPECT_EQ(1, form->starts);
    EXPECT_TRUE(WaitForStatus(form->Text_FinishedWithErrors)) << Status();
    EXPECT_TRUE(IsWindowEnabled(Button()));
    EXPECT_EQ("Load Mini Tarvik now!", TextOf(Button()));
    EXPECT_FALSE(IsWindowVisible(form->ProgressBar_Install->Handle()));
    EXPECT_FALSE(form->Timer_Draw.Enabled());
    const std::string written = FileContents(log);
    EXPECT_NE(std::string::npos, written.find("Starting the install worker failed: its thread (error 8")) << written;
    memcpy(ProgramLog.LogPath, savedLog, sizeof(savedLog));
}

// The worker's question is shown by the window's own thread, which the worker waits for.
TEST_F(FormStateTest, SpaceQuestionOffersRetryAndCancel) {
    ShowAndWait();
    const std::string question =
        "Not enough free disk space: 300 MB needed, 12 MB free on C:\\. Free some space and press Retry.";
    for (int answer : {IDRETRY, IDCANCEL}) {
        SCOPED_TRACE(answer);
        MessageBoxWatcher watcher(Dialog(), answer);
        std::atomic<int> result{-1};
        std::thread worker([&] { result = form->AskRetry(question) ? 1 : 0; });
        EXPECT_TRUE(PumpUntil(
            Dialog(), [&] { return result != -1; }, 10000));
        worker.join();
        ASSERT_TRUE(watcher.Seen());
        EXPECT_EQ("Install Mini Tarvik", watcher.caption);
        EXPECT_EQ(question, watcher.text);
        EXPECT_TRUE(watcher.hadAnswer);
        EXPECT_EQ(answer == IDRETRY ? 1 : 0, result.load());
    }
}

TEST_F(FormStateTest, FailedInstallSaysSoInsteadOfSuccess) {
    MakeReady();
    form->Button_Install->Click();
    form->Finish(InstallResult::FinishedWithErrors);
    ASSERT_TRUE(WaitForStatus(form->Text_FinishedWithErrors));
    EXPECT_EQ("Installation finished with errors. See the log file.", Status());
    EXPECT_EQ("Load Mini Tarvik now!", TextOf(Button()));
}

// The close box while the worker runs asks first: No goes on; Yes has the worker stop and put
// back what stood before, and the window stays, in its error state.
TEST_F(FormStateTest, CloseWhileInstallingAsksAndYesCancels) {
    MakeReady();
    form->Button_Install->Click();
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer);
        MessageBoxWatcher watcher(Dialog(), answer);
        PostMessageA(Dialog(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(PumpUntil(
            Dialog(), [&] { return watcher.Seen(); }, 10000));
        PumpFor(Dialog(), 200);
        EXPECT_EQ("Install Mini Tarvik", watcher.caption);
        EXPECT_EQ("Cancel the installation?", watcher.text);
        EXPECT_TRUE(watcher.hadAnswer);
        EXPECT_TRUE(IsWindowVisible(Dialog()));
        EXPECT_EQ(answer == IDYES, form->CancelRequested());
    }
    ASSERT_TRUE(WaitForStatus(form->Text_FinishedWithErrors, 10000)) << Status();
    EXPECT_EQ("Load Mini Tarvik now!", TextOf(Button()));
}

TEST_F(FormStateTest, EnterPressesTheDefaultButton) {
    MakeReady();
    MSG enter = {GetFocus(), WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageA(Dialog(), &enter));
    EXPECT_EQ(1, form->starts);
    EXPECT_EQ(form->Text_Installing, Status());
}

TEST_F(FormStateTest, EscapeDoesNotCloseOrInstall) {
    MakeReady();
    MSG escape = {GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {0, 0}};
    IsDialogMessageA(Dialog(), &escape);
    PumpFor(Dialog(), 100);
    EXPECT_TRUE(IsWindowVisible(Dialog()));
    EXPECT_EQ(0, form->starts);
}

TEST_F(FormStateTest, SkipLinkAsksThenInstallsWithoutWaiting) {
    ShowAndWait();
    {
        MessageBoxWatcher watcher(Dialog());
        form->Label_Skeep->Click();
        ASSERT_TRUE(watcher.Seen()) << "no message box owned by the window";
        EXPECT_EQ("Notice", watcher.caption);
        EXPECT_EQ("Make sure you have installed driver for your Tarvik Device.", watcher.text);
    }
    EXPECT_EQ(1, form->starts);
    EXPECT_EQ(form->Text_Installing, Status());
    EXPECT_FALSE(IsWindowEnabled(Button()));
    EXPECT_FALSE(IsWindowVisible(Link()));
    EXPECT_FALSE(form->Timer_CheckDev.Enabled());

    // A poll after the skip does nothing, even with an adapter present.
    PlugPl2303();
    form->Timer_CheckDevTimer();
    EXPECT_EQ(form->Text_Installing, Status());
    EXPECT_FALSE(IsWindowEnabled(Button()));
}

// The window opens while the payload still loads. Pressed before the load has ended, the
// install button says "Preparing files..." and the install starts once the payload is in;
// pressed after, it starts at once. The skip link waits the same way.
TEST_F(FormStateTest, InstallWaitsForThePayloadLoadingBehindTheWindow) {
    ScratchFolder folder("loading installer");
    ASSERT_TRUE(folder.Ready());
    const std::string installer = folder.Child("SetupTarvik.exe");
    ASSERT_TRUE(WriteTestInstaller(installer, TestPayload::LanguageFirst, "not a ZIP: English"));
    const struct {
        const char* what;
        bool loadedFirst;
        bool skipLink;
    } cases[] = {
        {"button while loading", false, false},
        {"skip link while loading", false, true},
        {"button once loaded", true, false},
    };
    PlugPl2303();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        form = std::make_unique<ScriptedForm>();
        ASSERT_NE(form->Handle(), nullptr);
        form->holdLoad = !c.loadedFirst;
        form->FormCreate(installer);
        if (c.skipLink) {
            ShowAndWait();
            MessageBoxWatcher watcher(Dialog());
            form->Label_Skeep->Click();
            ASSERT_TRUE(watcher.Seen());
        } else {
            ShowAndWait();
            ASSERT_TRUE(WaitForStatus(form->Text_Ready));
            if (c.loadedFirst) PumpFor(Dialog(), 300);  // the end of the load arrives
            form->Button_Install->Click();
        }
        EXPECT_FALSE(IsWindowEnabled(Button()));
        EXPECT_FALSE(IsWindowVisible(Link()));
        if (!c.loadedFirst) {
            EXPECT_EQ("Preparing files...", form->Text_PreparingFiles);
            EXPECT_EQ(form->Text_PreparingFiles, Status());
            PumpFor(Dialog(), 300);
            EXPECT_EQ(0, form->starts) << "installing before the payload is in";
            EXPECT_TRUE(form->loadGate.Held());
            form->loadGate.Release();
            ASSERT_TRUE(PumpUntil(
                Dialog(), [&] { return form->starts == 1; }, 5000));
        }
        EXPECT_EQ(1, form->starts);
        EXPECT_TRUE(form->Payload.HasEntry("FILE0")) << "the worker gets the whole payload";
        ASSERT_TRUE(WaitForStatus("Copying files 50%", 2000));
        form->Finish(InstallResult::Success);
        ASSERT_TRUE(WaitForStatus(form->Text_Installed));
        EXPECT_EQ("Load Mini Tarvik now!", TextOf(Button()));
        form.reset();
    }
}

// ---- What a screen reader reads ------------------------------------------------------------

// A control as a screen reader reads it: through the object its window gives for its client
// area, as another program would ask for it.
struct AccessibleReading {
    LONG role = 0;
    std::string name;
    LONG state = 0;
    std::string value;   // empty: none
    std::string action;  // the default action; empty: none
};

std::string Narrow(BSTR text) {
    if (text == nullptr) return std::string();
    char narrow[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
    SysFreeString(text);
    return narrow;
}

VARIANT Self() {
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
}

// The control's accessible object; the result of AccessibleObjectFromWindow in *result.
void OpenAccessible(HWND control, ComRef<IAccessible>* object, HRESULT* result) {
    *result = AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible), object->ReceiveAny());
}

AccessibleReading ReadAccessible(HWND control) {
    AccessibleReading reading;
    ComRef<IAccessible> object;
    HRESULT found;
    OpenAccessible(control, &object, &found);
    EXPECT_EQ(S_OK, found);
    if (FAILED(found)) return reading;
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    if (SUCCEEDED(object->get_accRole(Self(), &role)) && role.vt == VT_I4) reading.role = role.lVal;
    if (SUCCEEDED(object->get_accState(Self(), &state)) && state.vt == VT_I4) reading.state = state.lVal;
    BSTR text = nullptr;
    if (object->get_accName(Self(), &text) == S_OK) reading.name = Narrow(text);
    text = nullptr;
    if (object->get_accValue(Self(), &text) == S_OK) reading.value = Narrow(text);
    text = nullptr;
    if (object->get_accDefaultAction(Self(), &text) == S_OK) reading.action = Narrow(text);
    return reading;
}

struct ExpectedReading {
    const char* member;
    HWND control;
    LONG role;
    std::string name;
    LONG set;    // state bits that are set
    LONG clear;  // state bits that are not
    std::string value;
    std::string action;
};

void ExpectReadings(const char* state, const std::vector<ExpectedReading>& controls) {
    SCOPED_TRACE(state);
    for (const ExpectedReading& expected : controls) {
        SCOPED_TRACE(expected.member);
        const AccessibleReading reading = ReadAccessible(expected.control);
        EXPECT_EQ(expected.role, reading.role);
        EXPECT_EQ(expected.name, reading.name);
        EXPECT_EQ(expected.set, reading.state & expected.set) << std::hex << reading.state;
        EXPECT_EQ(0, reading.state & expected.clear) << std::hex << reading.state;
        EXPECT_EQ(expected.value, reading.value);
        EXPECT_EQ(expected.action, reading.action);
    }
}

// The window's announcements to screen readers, as a hook outside the controls' code hears them.
struct Announcement {
    DWORD event;
    HWND window;
    LONG object;
};
std::vector<Announcement> announcements;

void CALLBACK HearAnnouncement(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (child == CHILDID_SELF) announcements.push_back({event, window, object});
}

bool Announced(DWORD event, HWND window) {
    for (const Announcement& heard : announcements)
        if (heard.event == event && heard.window == window && heard.object == OBJID_CLIENT) return true;
    return false;
}

class FormAccessibleTest : public FormStateTest {
protected:
    void SetUp() override {
        FormStateTest::SetUp();
        announcements.clear();
        hook_ = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, &HearAnnouncement,
                                GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    }
    void TearDown() override {
        if (hook_ != nullptr) UnhookWinEvent(hook_);
        FormStateTest::TearDown();
    }

    HWND Bar() const { return form->ProgressBar_Install->Handle(); }
    HWND StatusLabel() const { return form->Label_Status->Handle(); }

    HWINEVENTHOOK hook_ = nullptr;
};

// Roles, names, states, values and default actions in every state, the button pressed through
// its default action, and each new status and percentage announced.
TEST_F(FormAccessibleTest, ControlsTellWhatTheyAreInEveryState) {
    ASSERT_NE(nullptr, hook_) << "SetWinEventHook failed: " << GetLastError();
    const LONG unavailable = STATE_SYSTEM_UNAVAILABLE, invisible = STATE_SYSTEM_INVISIBLE;
    const LONG readonly = STATE_SYSTEM_READONLY, focusable = STATE_SYSTEM_FOCUSABLE;
    ShowAndWait();
    ExpectReadings(
        "waiting",
        {
            {"Button_Install", Button(), ROLE_SYSTEM_PUSHBUTTON, kInstallCaption, unavailable, 0, "", "Press"},
            {"Label_Skeep", Link(), ROLE_SYSTEM_LINK, "Skip Driver Install", STATE_SYSTEM_LINKED | focusable,
             unavailable | invisible, "", "Jump"},
            {"Label_Status", StatusLabel(), ROLE_SYSTEM_STATICTEXT, kConnectText, readonly, focusable | invisible, "",
             ""},
            {"ProgressBar_Install", Bar(), ROLE_SYSTEM_PROGRESSBAR, "", readonly | invisible, focusable, "0%", ""},
        });
    // A disabled button cannot be pressed this way either.
    ComRef<IAccessible> button;
    HRESULT found;
    OpenAccessible(Button(), &button, &found);
    ASSERT_EQ(S_OK, found);
    EXPECT_EQ(E_FAIL, button->accDoDefaultAction(Self()));
    PumpFor(Dialog(), 100);
    EXPECT_EQ(0, form->starts);

    PlugPl2303();
    ASSERT_TRUE(WaitForStatus(form->Text_Ready));
    EXPECT_TRUE(Announced(EVENT_OBJECT_NAMECHANGE, StatusLabel()));
    ExpectReadings(
        "ready",
        {
            {"Button_Install", Button(), ROLE_SYSTEM_PUSHBUTTON, kInstallCaption,
             STATE_SYSTEM_DEFAULT | STATE_SYSTEM_FOCUSED | focusable, unavailable, "", "Press"},
            {"Label_Skeep", Link(), ROLE_SYSTEM_LINK, "Skip Driver Install", invisible, 0, "", "Jump"},
            {"Label_Status", StatusLabel(), ROLE_SYSTEM_STATICTEXT, "Ready to install", readonly, invisible, "", ""},
            {"ProgressBar_Install", Bar(), ROLE_SYSTEM_PROGRESSBAR, "", invisible, 0, "0%", ""},
        });

    // Pressed by its default action, posted to the window's thread.
    form->statuses = {"Copying files 50%"};
    form->progress = kProgressFull / 2;
    announcements.clear();
    EXPECT_EQ(S_OK, button->accDoDefaultAction(Self()));
    ASSERT_TRUE(PumpUntil(
        Dialog(), [&] { return form->starts == 1; }, 3000));
    ASSERT_TRUE(WaitForStatus("Copying files 50%"));
    ASSERT_TRUE(PumpUntil(
        Dialog(), [&] { return form->ProgressBar_Install->Position() == kProgressFull / 2; }, 3000));
    EXPECT_TRUE(Announced(EVENT_OBJECT_NAMECHANGE, StatusLabel()));
    EXPECT_TRUE(Announced(EVENT_OBJECT_VALUECHANGE, Bar()));
    ExpectReadings(
        "installing",
        {
            {"Button_Install", Button(), ROLE_SYSTEM_PUSHBUTTON, kInstallCaption, unavailable, 0, "", "Press"},
            {"Label_Status", StatusLabel(), ROLE_SYSTEM_STATICTEXT, "Copying files 50%", readonly, invisible, "", ""},
            {"ProgressBar_Install", Bar(), ROLE_SYSTEM_PROGRESSBAR, "", readonly, invisible, "50%", ""},
        });

    form->Finish(InstallResult::Success);
    ASSERT_TRUE(WaitForStatus(form->Text_Installed));
    ASSERT_TRUE(PumpUntil(
        Dialog(), [&] { return IsWindowEnabled(Button()) != FALSE; }, 1000));
    ExpectReadings(
        "installed",
        {
            {"Button_Install", Button(), ROLE_SYSTEM_PUSHBUTTON, "Load Mini Tarvik now!", focusable, unavailable, "",
             "Press"},
            {"Label_Status", StatusLabel(), ROLE_SYSTEM_STATICTEXT, "Installed success!", readonly, invisible, "", ""},
            {"ProgressBar_Install", Bar(), ROLE_SYSTEM_PROGRESSBAR, "", invisible, 0, "100%", ""},
        });
    // The final state is applied every 100 ms, but announced once.
    announcements.clear();
    PumpFor(Dialog(), 350);
    EXPECT_FALSE(Announced(EVENT_OBJECT_NAMECHANGE, StatusLabel()));
}

// The skip link's default action asks first, as its click does, without holding up the client.
TEST_F(FormAccessibleTest, SkipLinkJumpsThroughItsDefaultAction) {
    ShowAndWait();
    ComRef<IAccessible> link;
    HRESULT found;
    OpenAccessible(Link(), &link, &found);
    ASSERT_EQ(S_OK, found);
    EXPECT_EQ(S_OK, link->accDoDefaultAction(Self()));
    EXPECT_EQ(0, form->starts) << "the message box comes later, on the window's own turn";
    {
        MessageBoxWatcher watcher(Dialog());
        PumpUntil(
            Dialog(), [&] { return form->starts == 1; }, 5000);
        EXPECT_TRUE(watcher.Seen());
    }
    EXPECT_EQ(1, form->starts);
    EXPECT_FALSE(IsWindowVisible(Link()));
}

// ---- Versions and the final launch -------------------------------------------------------

TEST(SupportedVersions, OnlyXpSevenAndSixTwo) {
    struct Version {
        DWORD major, minor;
        bool supported;
    };
    const Version versions[] = {
        {5, 0, false}, {5, 1, true}, {5, 2, false}, {6, 0, false},
        {6, 1, true},  {6, 2, true}, {6, 3, false}, {10, 0, false},
    };
    for (const Version& version : versions) {
        EXPECT_EQ(version.supported, IsSupportedWindowsVersion(version.major, version.minor))
            << version.major << "." << version.minor;
    }
}

bool WaitForFile(const std::string& path, DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= ms) return false;
        Sleep(20);
    }
    return true;
}

// Only the full token of a user whom UAC elevated goes through the desktop's shell: a default
// token (UAC off, a plain administrator) and XP (no answer) start the program directly.
TEST(FinalLaunch, WayFollowsTheElevation) {
    EXPECT_EQ(LaunchWay::DesktopShell, LaunchWayFor(2));
    for (DWORD type : {0ul, 1ul, 3ul}) EXPECT_EQ(LaunchWay::Direct, LaunchWayFor(type)) << type;
}

// Where the desktop's shell cannot start the program for a user whom UAC elevated, it is not
// started at all rather than with the administrator's token, and the log says so.
TEST(FinalLaunch, NotStartedElevatedWhenTheShellFails) {
    if (LaunchWayFor(OwnElevationType()) != LaunchWay::DesktopShell)
        GTEST_SKIP() << "no full token of an elevated user here";
    ScratchFolder folder;
    ASSERT_TRUE(folder.Ready());
    const std::string program = folder.Child("Emberlin.exe");
    ASSERT_TRUE(CopyFileA(TARVIK_LAUNCH_RECORDER, program.c_str(), FALSE));
    const std::string log = folder.Child("launch.log");
    strcpy(ProgramLog.LogPath, log.c_str());

    EXPECT_FALSE(LaunchAsDesktopUser(("\"" + program + "\"").c_str(), [](const char*) -> HRESULT { return E_FAIL; }));

    EXPECT_FALSE(WaitForFile(program + ".ran", 3000)) << "started with this process's token";
    EXPECT_NE(std::string::npos, FileContents(log).find("not started with administrator rights")) << FileContents(log);
    ProgramLog.LogPath[0] = '\0';
}

// "C:\Program.exe" is what Windows tries first for an unquoted "C:\Program Files\..." path.
TEST(FinalLaunch, StartsTheApplicationAndNeverProgramExe) {
    const std::string programFiles = SpecialFolderPath(38);
    ASSERT_FALSE(programFiles.empty());
    const std::string application = programFiles + "\\MiniTarvik\\Emberlin.exe";
    const std::string decoy = programFiles.substr(0, programFiles.find(' ')) + ".exe";
    if (programFiles.find(' ') == std::string::npos) GTEST_SKIP() << "Program Files has no space: " << programFiles;
    if (GetFileAttributesA(application.c_str()) != INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesA(decoy.c_str()) != INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "an application or " << decoy << " is already there";

    EXPECT_EQ("\"" + application + "\"", InstalledApplicationCommand());
    CreateDirectoryA((programFiles + "\\MiniTarvik").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(TARVIK_LAUNCH_RECORDER, application.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(TARVIK_LAUNCH_RECORDER, decoy.c_str(), FALSE));

    ScratchFolder logFolder;
    ASSERT_TRUE(logFolder.Ready());
    const std::string log = logFolder.Child("launch.log");
    strcpy(ProgramLog.LogPath, log.c_str());
    EXPECT_TRUE(LaunchInstalledApplication());
    EXPECT_TRUE(WaitForFile(application + ".ran", 10000)) << "the application did not start";
    Sleep(500);
    // Wine gives every process the full token, so the desktop shell's way is taken here, and it
    // must have started the program itself, without falling back. (Wine's shell runs the
    // program from this process, so the token change as such cannot be seen under Wine.)
    if (LaunchWayFor(OwnElevationType()) == LaunchWay::DesktopShell) {
        EXPECT_EQ(std::string::npos, FileContents(log).find("desktop's shell failed")) << FileContents(log);
    }
    ProgramLog.LogPath[0] = '\0';
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((decoy + ".ran").c_str())) << decoy << " ran";

    for (const std::string& file : {application, application + ".ran", decoy, decoy + ".ran"})
        DeleteFileA(file.c_str());
    RemoveDirectoryA((programFiles + "\\MiniTarvik").c_str());
}

}  // namespace
