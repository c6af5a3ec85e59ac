// Applying the language pack to a window: which texts each kind of control has, found by the
// component class name its window class stands for, and the walk over the window's controls.
#include "xc_language.h"

#include <commctrl.h>

#include <vector>

#include "windowtext.h"

namespace {

enum class TextKind {
    Caption,  // the window text
    Columns,  // the caption of every column of a list view
    Tabs,     // the text of every tab
};

struct TranslatedClass {
    const char* name;
    TextKind kind;
};

// The component classes whose texts are translated, by exact name. Our own controls register
// their window classes under these names; standard controls are mapped in kStandardClasses.
const TranslatedClass kTranslatedClasses[] = {
    {"TLabel", TextKind::Caption},           {"TSkinURLLabel", TextKind::Caption},
    {"TButton", TextKind::Caption},          {"TBitBtn", TextKind::Caption},
    {"TSkinButton", TextKind::Caption},      {"TRadioButton", TextKind::Caption},
    {"TSkinRadioButton", TextKind::Caption}, {"TSkinImageButton", TextKind::Caption},
    {"TCheckBox", TextKind::Caption},        {"TSkinCheckBox", TextKind::Caption},
    {"TGroupBox", TextKind::Caption},        {"TRadioGroup", TextKind::Caption},
    {"TSkinRadioGroup", TextKind::Caption},  {"TSkinGroupBox", TextKind::Caption},
    {"TSkinCheckGroup", TextKind::Caption},  {"TListView", TextKind::Columns},
    {"TSkinListView", TextKind::Columns},    {"TTabControl", TextKind::Tabs},
    {"TPageControl", TextKind::Tabs},        {"TSkinTabControl", TextKind::Tabs},
    {"TSkinForm", TextKind::Caption},        {"TMenuItem", TextKind::Caption},
    {"TBoundLabel", TextKind::Caption},      {"TToolButton", TextKind::Caption},
};

constexpr LONG kAnyStyle = -1;

struct StandardClass {
    const char* windowClass;  // system class names ignore letter case
    LONG buttonType;          // BS_TYPEMASK part of the style, or kAnyStyle
    const char* component;
};

// The standard controls under the component class names of the same kind. Menu items are
// "TMenuItem" and are reached through the window's menu, not its child list.
const StandardClass kStandardClasses[] = {
    {WC_BUTTONA, BS_PUSHBUTTON, "TButton"},       {WC_BUTTONA, BS_DEFPUSHBUTTON, "TButton"},
    {WC_BUTTONA, BS_CHECKBOX, "TCheckBox"},       {WC_BUTTONA, BS_AUTOCHECKBOX, "TCheckBox"},
    {WC_BUTTONA, BS_3STATE, "TCheckBox"},         {WC_BUTTONA, BS_AUTO3STATE, "TCheckBox"},
    {WC_BUTTONA, BS_RADIOBUTTON, "TRadioButton"}, {WC_BUTTONA, BS_AUTORADIOBUTTON, "TRadioButton"},
    {WC_BUTTONA, BS_GROUPBOX, "TGroupBox"},       {WC_LISTVIEWA, kAnyStyle, "TListView"},
    {WC_TABCONTROLA, kAnyStyle, "TTabControl"},
};

// Longest list entry read back; the language file cannot hold longer texts anyway.
constexpr int kEntryCapacity = 4096;

std::string ComponentClass(HWND window) {
    char name[256] = {};
    if (GetClassNameA(window, name, sizeof(name)) == 0) return std::string();
    const LONG buttonType = GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
    for (const StandardClass& standard : kStandardClasses) {
        if (lstrcmpiA(name, standard.windowClass) == 0 &&
            (standard.buttonType == kAnyStyle || standard.buttonType == buttonType))
            return standard.component;
    }
    return name;
}

const TranslatedClass* FindTranslatedClass(const std::string& name) {
    for (const TranslatedClass& entry : kTranslatedClasses) {
        if (name == entry.name) return &entry;
    }
    return nullptr;
}

}  // namespace

void XC_Language::ApplyToWindow(HWND window) {
    if (!IsWindow(window)) return;
    const std::string caption = WindowText(window);
    if (!caption.empty()) SetWindowTextA(window, Translate(caption.c_str()).c_str());
    if (HMENU menu = GetMenu(window)) {
        ApplyToMenu(menu);
        DrawMenuBar(window);
    }
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        ApplyToComponent(child);
}

void XC_Language::ApplyToComponent(HWND component) {
    if (!IsWindow(component)) return;
    for (HWND child = GetWindow(component, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        ApplyToComponent(child);

    const TranslatedClass* translated = FindTranslatedClass(ComponentClass(component));
    if (translated == nullptr) return;
    std::vector<char> entry(kEntryCapacity);
    switch (translated->kind) {
        case TextKind::Caption: {
            const std::string text = WindowText(component);
            if (!text.empty()) SetWindowTextA(component, Translate(text.c_str()).c_str());
            break;
        }
        case TextKind::Columns: {
            HWND header = reinterpret_cast<HWND>(SendMessageA(component, LVM_GETHEADER, 0, 0));
            for (int i = 0; header != nullptr && i < SendMessageA(header, HDM_GETITEMCOUNT, 0, 0); ++i) {
                LVCOLUMNA column = {};
                column.mask = LVCF_TEXT;
                column.pszText = entry.data();
                column.cchTextMax = kEntryCapacity;
                entry[0] = '\0';
                if (!SendMessageA(component, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column))) continue;
                std::string translation = Translate(column.pszText);
                column.pszText = &translation[0];
                SendMessageA(component, LVM_SETCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
            }
            break;
        }
        case TextKind::Tabs: {
            for (int i = 0; i < SendMessageA(component, TCM_GETITEMCOUNT, 0, 0); ++i) {
                TCITEMA tab = {};
                tab.mask = TCIF_TEXT;
                tab.pszText = entry.data();
                tab.cchTextMax = kEntryCapacity;
                entry[0] = '\0';
                if (!SendMessageA(component, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&tab))) continue;
                std::string translation = Translate(tab.pszText);
                tab.pszText = &translation[0];
                SendMessageA(component, TCM_SETITEMA, i, reinterpret_cast<LPARAM>(&tab));
            }
            break;
        }
    }
}

void XC_Language::ApplyToMenu(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    std::vector<char> entry(kEntryCapacity);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOA item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = entry.data();
        item.cch = kEntryCapacity;
        entry[0] = '\0';
        if (!GetMenuItemInfoA(menu, i, TRUE, &item)) continue;
        // The items of a submenu belong to its item and are translated before it.
        if (item.hSubMenu != nullptr) ApplyToMenu(item.hSubMenu);
        if (item.fType & MFT_SEPARATOR) {
            // A separator's caption is "-": looked up like any other, but it stays a line.
            Translate("-");
            continue;
        }
        if (item.fType & (MFT_BITMAP | MFT_OWNERDRAW)) continue;
        const std::string text = item.dwTypeData;
        if (text.empty()) continue;
        std::string translation = Translate(text.c_str());
        MENUITEMINFOA update = {};
        update.cbSize = sizeof(update);
        update.fMask = MIIM_STRING;
        update.dwTypeData = &translation[0];
        SetMenuItemInfoA(menu, i, TRUE, &update);
    }
}
