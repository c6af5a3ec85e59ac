// The desktop shell's own dispatch object starts a program in the shell's process, so the
// program gets the token of the user's desktop, not the installer's elevated one.
#include "userlaunch.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include <vector>

#include "comref.h"
#include "xc_log.h"

namespace {

// {4C96BE40-915C-11CF-99D3-00AA004AE837}: the shell browser that hosts the desktop's view.
constexpr GUID kTopLevelBrowser = {0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

// A VARIANT cleared when it goes.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& Get() { return value_; }
    void SetInteger(LONG number) {
        VariantClear(&value_);
        value_.vt = VT_I4;
        value_.lVal = number;
    }

private:
    VARIANT value_;
};

// text as a BSTR of the system's code page; null when it cannot be made. A vector, not a
// std::wstring: the wide string would link the C++ runtime's exception machinery into the stub.
BSTR AllocateText(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return nullptr;
    std::vector<wchar_t> wide(size_t(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length) != length) return nullptr;
    return SysAllocString(wide.data());
}

}  // namespace

LaunchWay LaunchWayFor(DWORD elevationType) { return elevationType == 2 ? LaunchWay::DesktopShell : LaunchWay::Direct; }

DWORD OwnElevationType() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
    // TokenElevationType (18) is asked by number: XP's headers and XP itself do not know it.
    DWORD type = 0;
    DWORD length = 0;
    const bool known =
        GetTokenInformation(token, static_cast<TOKEN_INFORMATION_CLASS>(18), &type, sizeof(type), &length);
    CloseHandle(token);
    return known ? type : 0;
}

// The desktop's view, reached from the shell windows' list: its background object leads to the
// shell's dispatch object, whose ShellExecute runs in the shell's own process.
HRESULT StartThroughDesktopShell(const char* commandLine) {
    const ComScope com;
    ComRef<IShellWindows> windows;
    HRESULT result = CoCreateInstance(__uuidof(ShellWindows), nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IShellWindows),
                                      windows.ReceiveAny());
    if (FAILED(result)) return result;
    Variant desktop;
    desktop.SetInteger(CSIDL_DESKTOP);
    Variant none;
    long window = 0;
    ComRef<IDispatch> found;
    result =
        windows->FindWindowSW(&desktop.Get(), &none.Get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, found.Receive());
    if (result != S_OK) return FAILED(result) ? result : E_FAIL;
    ComRef<IServiceProvider> services;
    if (FAILED(result = found->QueryInterface(__uuidof(IServiceProvider), services.ReceiveAny()))) return result;
    ComRef<IShellBrowser> browser;
    if (FAILED(result = services->QueryService(kTopLevelBrowser, __uuidof(IShellBrowser), browser.ReceiveAny())))
        return result;
    ComRef<IShellView> view;
    if (FAILED(result = browser->QueryActiveShellView(view.Receive()))) return result;
    ComRef<IDispatch> background;
    if (FAILED(result = view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.ReceiveAny())))
        return result;
    ComRef<IShellFolderViewDual> folderView;
    if (FAILED(result = background->QueryInterface(__uuidof(IShellFolderViewDual), folderView.ReceiveAny())))
        return result;
    ComRef<IDispatch> application;
    if (FAILED(result = folderView->get_Application(application.Receive()))) return result;
    ComRef<IShellDispatch2> shell;
    if (FAILED(result = application->QueryInterface(__uuidof(IShellDispatch2), shell.ReceiveAny()))) return result;

    // The file is the quoted path: the shell takes it as one name, quotes removed.
    BSTR fileText = AllocateText(commandLine);
    if (fileText == nullptr) return E_OUTOFMEMORY;
    Variant arguments, folder, operation, show;
    show.SetInteger(SW_SHOWNORMAL);
    result = shell->ShellExecute(fileText, arguments.Get(), folder.Get(), operation.Get(), show.Get());
    SysFreeString(fileText);
    return result;
}

bool LaunchAsDesktopUser(const char* commandLine, ShellStart throughShell) {
    if (LaunchWayFor(OwnElevationType()) == LaunchWay::Direct) return WinExec(commandLine, SW_SHOWNORMAL) > 31;
    const HRESULT result = throughShell(commandLine);
    if (SUCCEEDED(result)) return true;
    ProgramLog.AppendFormat(
        "Starting %s through the desktop's shell failed (0x%08lX); not started with administrator rights, the "
        "user starts it from its shortcut",
        commandLine, static_cast<unsigned long>(result));
    return false;
}
