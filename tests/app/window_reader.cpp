// Writes what the installer window shows, as another program sees it, for the end-to-end test:
// the window found by its install button, then the message boxes it owns; one line per
// window, depth first:
//   class <TAB> visible <TAB> enabled <TAB> left,top,right,bottom (screen) <TAB> text <TAB> role
// Texts are the bytes of the system's code page; the role is the accessible role a screen
// reader is given for the window's client area (ROLE_SYSTEM_...), 0 when none can be read.
// Exit code 1 when no such window is open.
//   window_reader.exe OUTPUT_FILE
#include <windows.h>
#include <oleacc.h>

#include <cstdio>

namespace {

FILE* output = nullptr;

LONG AccessibleRole(HWND window) {
    IAccessible* object = nullptr;
    if (FAILED(
            AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object))))
        return 0;
    VARIANT self, role;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VariantInit(&role);
    const LONG result = SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4 ? role.lVal : 0;
    object->Release();
    return result;
}

void Describe(HWND window) {
    char className[256] = {};
    char text[1024] = {};
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextA(window, text, sizeof(text));
    RECT rect = {};
    if (GetParent(window) == nullptr) {
        GetClientRect(window, &rect);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    } else {
        GetWindowRect(window, &rect);
    }
    fprintf(output, "%s\t%d\t%d\t%ld,%ld,%ld,%ld\t%s\t%ld\n", className, IsWindowVisible(window) ? 1 : 0,
            IsWindowEnabled(window) ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom, text,
            AccessibleRole(window));
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        Describe(child);
}

BOOL CALLBACK HasInstallButton(HWND child, LPARAM found) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof(className));
    if (lstrcmpA(className, "TSkinButton") != 0) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

BOOL CALLBACK FindInstaller(HWND window, LPARAM result) {
    bool found = false;
    if (IsWindowVisible(window)) EnumChildWindows(window, &HasInstallButton, reinterpret_cast<LPARAM>(&found));
    if (!found) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

BOOL CALLBACK DescribeOwned(HWND window, LPARAM owner) {
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) && IsWindowVisible(window)) Describe(window);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    HWND installer = nullptr;
    EnumWindows(&FindInstaller, reinterpret_cast<LPARAM>(&installer));
    if (installer == nullptr) return 1;
    CoInitialize(nullptr);
    output = fopen(argv[1], "wb");
    if (output == nullptr) return 2;
    // The first line is the window itself, its rectangle that of its client area.
    Describe(installer);
    EnumWindows(&DescribeOwned, reinterpret_cast<LPARAM>(installer));
    return fclose(output) == 0 ? 0 : 2;
}
