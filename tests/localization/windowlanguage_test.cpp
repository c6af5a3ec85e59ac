// Applying the language pack to a real dialog: which controls are translated, in which order
// the texts are looked up, and that nothing else changes.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "label.h"
#include "scratch_folder.h"
#include "skincontrol.h"
#include "test_support.h"
#include "windowlanguage_test.rh"
#include "xc_language.h"

namespace {

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::string TextOf(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

// Every text the test dialog shows, in the order the translator must look them up: the
// caption, the menu (a submenu's items before its own item), then the child list depth first
// (the label placed on the panel comes before the panel, which itself has no text).
const char* const kLookups[] = {
    "Test Window", "Open",  "-",     "Exit",  "File", "Help", "Status text", "Visit us", "Skinned button",
    "Push",        "Check", "Radio", "Group", "Name", "Size", "First",       "Second",   "On panel",
};

class WindowLanguageTest : public testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&controls));
        HINSTANCE module = GetModuleHandleA(nullptr);
        ASSERT_TRUE(RegisterSkinClasses(module));
        // A class derived from the label: the label's behaviour under a name of its own.
        WNDCLASSEXA derived = {};
        derived.cbSize = sizeof(derived);
        ASSERT_TRUE(GetClassInfoExA(module, "TLabel", &derived));
        derived.lpszClassName = "TStatusLabel";
        derived.hInstance = module;
        RegisterClassExA(&derived);

        dialog_ = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_TRANSLATED), nullptr, &IgnoreAll, 0);
        ASSERT_NE(dialog_, nullptr);
        // The panel holds a label, as the installer window's panels hold theirs.
        SetParent(Item(IDC_PANEL_LABEL), Item(IDC_PANEL));

        HWND list = Item(IDC_LIST_VIEW);
        const char* columns[] = {"Name", "Size"};
        for (int i = 0; i < 2; ++i) {
            LVCOLUMNA column = {};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.cx = 60;
            column.pszText = const_cast<char*>(columns[i]);
            ASSERT_EQ(i, SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column)));
        }
        const char* tabs[] = {"First", "Second"};
        for (int i = 0; i < 2; ++i) {
            TCITEMA tab = {};
            tab.mask = TCIF_TEXT;
            tab.pszText = const_cast<char*>(tabs[i]);
            ASSERT_EQ(i, SendMessageA(Item(IDC_TAB_CONTROL), TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&tab)));
        }
        ASSERT_TRUE(folder_.Ready());
    }
    void TearDown() override {
        if (dialog_ != nullptr) DestroyWindow(dialog_);
    }

    HWND Item(int id) const {
        HWND item = GetDlgItem(dialog_, id);
        return item != nullptr ? item : GetDlgItem(GetDlgItem(dialog_, IDC_PANEL), id);
    }
    std::string LanguageFile(const XC_Language& language) const {
        return folder_.Child("Language_" + std::to_string(language.LanguageId) + ".txt");
    }
    std::string ColumnText(int index) const {
        char text[256] = {};
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        column.cchTextMax = sizeof(text);
        SendMessageA(Item(IDC_LIST_VIEW), LVM_GETCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
        return text;
    }
    std::string TabText(int index) const {
        char text[256] = {};
        TCITEMA tab = {};
        tab.mask = TCIF_TEXT;
        tab.pszText = text;
        tab.cchTextMax = sizeof(text);
        SendMessageA(Item(IDC_TAB_CONTROL), TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&tab));
        return text;
    }
    std::string MenuText(HMENU menu, int position) const {
        char text[256] = {};
        GetMenuStringA(menu, position, text, sizeof(text), MF_BYPOSITION);
        return text;
    }

    HWND dialog_ = nullptr;
    ScratchFolder folder_{"window language"};
};

// Without a language file every text is looked up once, in order, and recorded mapped to
// itself: the file that is left is the template, in the order of the lookups.
TEST_F(WindowLanguageTest, MissingFileRecordsExactlyTheMappedTextsInOrder) {
    XC_Language language;
    language.Load(folder_.Path().c_str());
    language.ApplyToWindow(dialog_);

    std::string expected = "[Strings]\r\n";
    for (const char* text : kLookups) expected += std::string("{") + text + "}=" + text + "\r\n";
    const std::string file = FileContents(LanguageFile(language));
    const size_t strings = file.find("[Strings]\r\n");
    ASSERT_NE(std::string::npos, strings) << file;
    EXPECT_EQ(expected, file.substr(strings));
    EXPECT_EQ("Test Window", TextOf(dialog_));
}

TEST_F(WindowLanguageTest, TranslationsReplaceOnlyTheMappedTexts) {
    XC_Language language;
    std::string contents = "[Setting]\r\nFontName=Tahoma\r\nFontSize=8\r\n[Strings]\r\n";
    for (const char* text : kLookups) contents += std::string("{") + text + "}=<" + text + ">\r\n";
    // The derived label's and the edit box's texts have translations too, which must not be used.
    contents += "{Derived label}=<Derived label>\r\n{Edit text}=<Edit text>\r\n";
    HANDLE file = CreateFileA(LanguageFile(language).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);

    language.Load(folder_.Path().c_str());
    language.ApplyToWindow(dialog_);

    EXPECT_EQ("<Test Window>", TextOf(dialog_));
    struct Expected {
        int id;
        const char* text;
    };
    const Expected controls[] = {
        {IDC_LABEL, "<Status text>"},
        {IDC_EMPTY_LABEL, ""},
        {IDC_LINK, "<Visit us>"},
        {IDC_SKIN_BUTTON, "<Skinned button>"},
        {IDC_PUSH_BUTTON, "<Push>"},
        {IDC_CHECK_BOX, "<Check>"},
        {IDC_RADIO_BUTTON, "<Radio>"},
        {IDC_GROUP_BOX, "<Group>"},
        {IDC_EDIT, "Edit text"},
        {IDC_DERIVED_LABEL, "Derived label"},
        {IDC_PANEL, ""},
        {IDC_PANEL_LABEL, "<On panel>"},
    };
    for (const Expected& control : controls) EXPECT_EQ(control.text, TextOf(Item(control.id))) << control.id;
    EXPECT_EQ("<Name>", ColumnText(0));
    EXPECT_EQ("<Size>", ColumnText(1));
    EXPECT_EQ("<First>", TabText(0));
    EXPECT_EQ("<Second>", TabText(1));
    EXPECT_EQ(0, SendMessageA(Item(IDC_EMPTY_LIST_VIEW), HDM_GETITEMCOUNT, 0, 0));

    HMENU menu = GetMenu(dialog_);
    EXPECT_EQ("<File>", MenuText(menu, 0));
    EXPECT_EQ("<Help>", MenuText(menu, 1));
    HMENU file_menu = GetSubMenu(menu, 0);
    EXPECT_EQ("<Open>", MenuText(file_menu, 0));
    EXPECT_EQ("<Exit>", MenuText(file_menu, 2));
    MENUITEMINFOA separator = {};
    separator.cbSize = sizeof(separator);
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoA(file_menu, 1, TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR) << "the separator stays a line";
}

TEST_F(WindowLanguageTest, NoWindowIsNoHarm) {
    XC_Language language;
    language.Load(folder_.Path().c_str());
    language.ApplyToWindow(nullptr);
    language.ApplyToComponent(nullptr);
    EXPECT_EQ(std::string::npos, FileContents(LanguageFile(language)).find("[Strings]"));
}

}  // namespace
