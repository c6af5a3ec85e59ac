// The skinned controls on the real Win32 API: their classes, what they paint (read back from
// the screen), and how they answer the mouse and the keyboard.
#include <gtest/gtest.h>

#include <string>

#include "label.h"
#include "skinbitmaps.h"
#include "skinbutton.h"
#include "skinimagepanel.h"
#include "skinprogressbar.h"
#include "skinurllabel.h"

namespace {

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// A white panel as a top-level window, holding the control under test.
class SkinTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RegisterSkinClasses(GetModuleHandleA(nullptr)));
        host_ = CreateWindowExA(0, TSkinImagePanel::ClassName, "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100,
                                400, 120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
    }
    void TearDown() override { DestroyWindow(host_); }

    HWND Make(const char* className, const char* text, int x, int y, int width, int height, DWORD style = 0) {
        HWND control = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, width,
                                       height, host_, nullptr, GetModuleHandleA(nullptr), nullptr);
        Redraw();
        return control;
    }
    void Redraw() {
        RedrawWindow(host_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump();
    }
    // How many pixels of the window have exactly this colour.
    static int CountColour(HWND window, COLORREF colour) {
        RECT client;
        GetClientRect(window, &client);
        HDC dc = GetDC(window);
        int count = 0;
        for (int y = 0; y < client.bottom; ++y)
            for (int x = 0; x < client.right; ++x) count += GetPixel(dc, x, y) == colour;
        ReleaseDC(window, dc);
        return count;
    }
    // The longest run of one colour along any row.
    static int LongestRow(HWND window, COLORREF colour) {
        RECT client;
        GetClientRect(window, &client);
        HDC dc = GetDC(window);
        int longest = 0;
        for (int y = 0; y < client.bottom; ++y) {
            int run = 0;
            for (int x = 0; x < client.right; ++x) {
                run = GetPixel(dc, x, y) == colour ? run + 1 : 0;
                if (run > longest) longest = run;
            }
        }
        ReleaseDC(window, dc);
        return longest;
    }

    HWND host_ = nullptr;
};

TEST_F(SkinTest, ClassesAreRegisteredUnderTheirComponentNames) {
    for (const char* name : {"TSkinImagePanel", "TSkinButton", "TSkinURLLabel", "TLabel", "TSkinProgressBar"}) {
        WNDCLASSEXA found = {};
        found.cbSize = sizeof(found);
        EXPECT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), name, &found)) << name;
    }
    // The control objects are found only behind their own classes.
    HWND label = Make(TLabel::ClassName, "x", 0, 0, 50, 13);
    EXPECT_NE(nullptr, TLabel::FromHandle(label));
    EXPECT_EQ(nullptr, TSkinButton::FromHandle(label));
    EXPECT_EQ(nullptr, TLabel::FromHandle(nullptr));
}

TEST_F(SkinTest, PanelIsWhiteOrTilesItsBitmap) {
    HDC dc = GetDC(host_);
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 10, 10));
    ReleaseDC(host_, dc);

    HWND band = Make(TSkinImagePanel::ClassName, "", 0, 0, 376, 70);
    ASSERT_TRUE(TSkinImagePanel::FromHandle(band)->SetBitmap(GetModuleHandleA(nullptr), SKIN_BITMAP_BAND));
    Redraw();
    dc = GetDC(band);
    // Row 0 is the separator line, row 1 the highlight, in every 30-pixel tile.
    for (int x : {0, 29, 30, 200, 375}) {
        EXPECT_EQ(RGB(169, 181, 200), GetPixel(dc, x, 0)) << x;
        EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, x, 1)) << x;
    }
    EXPECT_NE(GetPixel(dc, 5, 2), GetPixel(dc, 5, 69)) << "a gradient from top to bottom";
    ReleaseDC(band, dc);
    EXPECT_FALSE(TSkinImagePanel::FromHandle(band)->SetBitmap(GetModuleHandleA(nullptr), 9999));
}

TEST_F(SkinTest, LinkIsBlueUnderlinedAndRedUnderThePointer) {
    HWND link = Make(TSkinURLLabel::ClassName, "Skip Driver Install", 10, 10, 97, 13);
    EXPECT_GT(CountColour(link, TSkinURLLabel::NormalColor), 20);
    EXPECT_EQ(0, CountColour(link, TSkinURLLabel::HoverColor));
    EXPECT_GT(LongestRow(link, TSkinURLLabel::NormalColor), 40) << "no underline";

    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    Redraw();
    EXPECT_TRUE(TSkinURLLabel::FromHandle(link)->IsHot());
    EXPECT_GT(CountColour(link, TSkinURLLabel::HoverColor), 20);
    EXPECT_EQ(0, CountColour(link, TSkinURLLabel::NormalColor));

    SendMessageA(link, WM_MOUSELEAVE, 0, 0);
    Redraw();
    EXPECT_FALSE(TSkinURLLabel::FromHandle(link)->IsHot());
    EXPECT_GT(CountColour(link, TSkinURLLabel::NormalColor), 20);

    WNDCLASSEXA found = {};
    found.cbSize = sizeof(found);
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), TSkinURLLabel::ClassName, &found));
    EXPECT_EQ(LoadCursor(nullptr, IDC_HAND), found.hCursor);
}

// A grey frame all round, blue from the left as far as the position, the panel's white after.
TEST_F(SkinTest, ProgressBarFillsFromTheLeftInsideAGreyFrame) {
    HWND bar = Make(TSkinProgressBar::ClassName, "", 10, 10, 321, 10);
    TSkinProgressBar* control = TSkinProgressBar::FromHandle(bar);
    ASSERT_NE(nullptr, control);
    control->SetMax(10000);
    const struct {
        int position;
        int filled;  // of the 319 pixels inside the frame
    } cases[] = {{0, 0}, {5000, 159}, {2500, 79}, {10000, 319}, {20000, 319}, {-5, 0}};
    for (const auto& step : cases) {
        SCOPED_TRACE(step.position);
        control->SetPosition(step.position);
        Redraw();
        EXPECT_EQ(step.filled, LongestRow(bar, TSkinProgressBar::FillColor));
        EXPECT_EQ(step.filled * 8, CountColour(bar, TSkinProgressBar::FillColor));
        EXPECT_EQ(2 * 321 + 2 * 8, CountColour(bar, TSkinProgressBar::FrameColor));
        EXPECT_EQ((319 - step.filled) * 8, CountColour(bar, RGB(255, 255, 255)));
        HDC dc = GetDC(bar);
        EXPECT_EQ(step.filled > 0 ? TSkinProgressBar::FillColor : RGB(255, 255, 255), GetPixel(dc, 1, 5));
        EXPECT_EQ(TSkinProgressBar::FrameColor, GetPixel(dc, 0, 5));
        EXPECT_EQ(TSkinProgressBar::FrameColor, GetPixel(dc, 320, 9));
        ReleaseDC(bar, dc);
    }
    EXPECT_EQ(0, control->Position());
    EXPECT_EQ("", std::string(control->Text()));
}

// Mouse and keyboard clicks of the link and the button, and none while disabled.
TEST_F(SkinTest, ClicksComeFromMouseAndKeysOnlyWhenEnabled) {
    struct Click {
        const char* what;
        UINT message;
        WPARAM wParam;
        bool expected;
    };
    const Click buttonClicks[] = {
        {"space", WM_KEYUP, VK_SPACE, true},
        {"BM_CLICK", BM_CLICK, 0, true},
    };
    HWND button = Make(TSkinButton::ClassName, "Install", 10, 40, 297, 33);
    HWND link = Make(TSkinURLLabel::ClassName, "Skip", 10, 10, 97, 13);
    int buttonClicked = 0, linkClicked = 0;
    TSkinButton::FromHandle(button)->OnClick = [&] { ++buttonClicked; };
    TSkinURLLabel::FromHandle(link)->OnClick = [&] { ++linkClicked; };

    // Pressed inside and released inside: a click; released outside: none.
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    EXPECT_EQ(TSkinButton::Look::Pressed, TSkinButton::FromHandle(button)->CurrentLook());
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
    EXPECT_EQ(1, buttonClicked);
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    SendMessageA(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(500, 10));
    SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(500, 10));
    EXPECT_EQ(1, buttonClicked);

    for (const Click& click : buttonClicks) {
        buttonClicked = 0;
        if (click.message == WM_KEYUP) SendMessageA(button, WM_KEYDOWN, VK_SPACE, 0);
        SendMessageA(button, click.message, click.wParam, 0);
        EXPECT_EQ(1, buttonClicked) << click.what;
        EnableWindow(button, FALSE);
        if (click.message == WM_KEYUP) SendMessageA(button, WM_KEYDOWN, VK_SPACE, 0);
        SendMessageA(button, click.message, click.wParam, 0);
        EXPECT_EQ(1, buttonClicked) << click.what << " while disabled";
        EnableWindow(button, TRUE);
    }

    SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageA(link, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageA(link, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(3, linkClicked);
}

TEST_F(SkinTest, ButtonLooksFollowItsState) {
    HWND button = Make(TSkinButton::ClassName, "Install Driver and Applications", 10, 40, 297, 33);
    TSkinButton* skin = TSkinButton::FromHandle(button);
    EXPECT_EQ(TSkinButton::Look::Normal, skin->CurrentLook());
    EXPECT_GT(CountColour(button, RGB(0, 0, 0)), 20) << "a black caption";
    SendMessageA(button, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(TSkinButton::Look::Hover, skin->CurrentLook());
    SendMessageA(button, WM_MOUSELEAVE, 0, 0);
    EnableWindow(button, FALSE);
    Redraw();
    EXPECT_EQ(TSkinButton::Look::Disabled, skin->CurrentLook());
    EXPECT_EQ(0, CountColour(button, RGB(0, 0, 0))) << "a disabled caption is grey";

    // The dialog manager makes it the default button through BM_SETSTYLE.
    EXPECT_EQ(DLGC_UNDEFPUSHBUTTON, SendMessageA(button, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON);
    SendMessageA(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_TRUE(skin->IsDefault());
    EXPECT_EQ(DLGC_DEFPUSHBUTTON, SendMessageA(button, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);

    LOGFONTA font = {};
    ASSERT_NE(0, GetObjectA(GetSkinFont(SkinFont::Button), sizeof(font), &font));
    EXPECT_STREQ("MS Sans Serif", font.lfFaceName);
}

TEST_F(SkinTest, LabelCentresItsTextAndNeverBlanksOnErase) {
    HWND label = Make(TLabel::ClassName, "Ready to install", 8, 20, 321, 41);
    RECT client;
    GetClientRect(label, &client);
    HDC dc = GetDC(label);
    int left = client.right, right = -1, top = client.bottom, bottom = -1;
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) {
            if (GetPixel(dc, x, y) != RGB(0, 0, 0)) continue;
            if (x < left) left = x;
            if (x > right) right = x;
            if (y < top) top = y;
            if (y > bottom) bottom = y;
        }
    }
    ReleaseDC(label, dc);
    ASSERT_GE(right, 0) << "no text drawn";
    EXPECT_NEAR(client.right, left + right + 1, 4) << "centred across";
    EXPECT_NEAR(client.bottom, top + bottom + 1, 6) << "centred down";

    LOGFONTA font = {};
    ASSERT_NE(0, GetObjectA(GetSkinFont(SkinFont::Label), sizeof(font), &font));
    EXPECT_STREQ("Tahoma", font.lfFaceName);
    EXPECT_EQ(FW_BOLD, font.lfWeight);

    // Erasing paints nothing: the text is drawn with its background in one piece.
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SetPixel(memory, 1, 1, RGB(1, 2, 3));
    EXPECT_NE(0, SendMessageA(label, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0));
    EXPECT_EQ(RGB(1, 2, 3), GetPixel(memory, 1, 1));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);

    // A new text invalidates without asking for an erase.
    ValidateRect(label, nullptr);
    SetWindowTextA(label, "Copying files 10%");
    RECT update;
    EXPECT_TRUE(GetUpdateRect(label, &update, FALSE));
}

}  // namespace
