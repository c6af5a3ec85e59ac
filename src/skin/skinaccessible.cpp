// The skinned controls' accessible object over the standard client object of oleacc, which is
// loaded at run time (it is no known system library, so a static import would be looked for
// beside the executable first).
#include "skinaccessible.h"

#include <commctrl.h>
#include <oleacc.h>

#include <atomic>
#include <string>

#include "paths.h"
#include "windowtext.h"

namespace {

using CreateStdAccessibleObjectFunction = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using LresultFromObjectFunction = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

// Loaded on first use by the thread of a window; a second thread that loads it too only adds a
// reference. (Constant-initialised: a guarded static would bring in the threading library.)
HMODULE OleAcc() {
    static std::atomic<HMODULE> loaded{nullptr};
    HMODULE library = loaded.load();
    if (library == nullptr) {
        library = LoadSystemLibrary("oleacc.dll");
        loaded.store(library);
    }
    return library;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// An ANSI text of the system's code page as a BSTR; S_FALSE (no such property) when empty.
HRESULT ToBstr(const std::string& text, BSTR* result) {
    *result = nullptr;
    if (text.empty()) return S_FALSE;
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    *result = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (*result == nullptr) return E_OUTOFMEMORY;
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), *result, length);
    return S_OK;
}

class TSkinAccessible final : public IAccessible, public IOleWindow {
public:
    TSkinAccessible(HWND window, AccessibleRole role, IAccessible* standard)
        : window_(window), role_(role), standard_(standard) {}
    TSkinAccessible(const TSkinAccessible&) = delete;
    TSkinAccessible& operator=(const TSkinAccessible&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID id, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
        } else if (id == __uuidof(IOleWindow)) {
            *object = static_cast<IOleWindow*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch: not offered; clients call IAccessible directly.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IOleWindow: which window the object belongs to (WindowFromAccessibleObject).
    STDMETHODIMP GetWindow(HWND* window) override {
        if (window == nullptr) return E_POINTER;
        *window = window_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IAccessible: what the control itself knows.
    STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
        if (!IsSelf(child)) return standard_->get_accName(child, name);
        if (name == nullptr) return E_POINTER;
        return ToBstr(WindowText(window_), name);
    }
    STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override {
        if (!IsSelf(child) || role_ != AccessibleRole::ProgressBar) return standard_->get_accValue(child, value);
        if (value == nullptr) return E_POINTER;
        const int position = static_cast<int>(SendMessageA(window_, PBM_GETPOS, 0, 0));
        const int max = static_cast<int>(SendMessageA(window_, PBM_GETRANGE, FALSE, 0));
        return ToBstr(std::to_string(ProgressPercent(position, max)) + "%", value);
    }
    STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override {
        if (!IsSelf(child)) return standard_->get_accRole(child, role);
        if (role == nullptr) return E_POINTER;
        static const LONG kRoles[] = {ROLE_SYSTEM_PUSHBUTTON, ROLE_SYSTEM_LINK, ROLE_SYSTEM_STATICTEXT,
                                      ROLE_SYSTEM_PROGRESSBAR};
        role->vt = VT_I4;
        role->lVal = kRoles[static_cast<int>(role_)];
        return S_OK;
    }
    STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override {
        const HRESULT result = standard_->get_accState(child, state);
        if (FAILED(result) || !IsSelf(child) || state->vt != VT_I4) return result;
        switch (role_) {
            case AccessibleRole::PushButton:
                if (SendMessageA(window_, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)
                    state->lVal |= STATE_SYSTEM_DEFAULT;
                break;
            case AccessibleRole::Link:
                state->lVal |= STATE_SYSTEM_LINKED;
                break;
            case AccessibleRole::StaticText:
            case AccessibleRole::ProgressBar:
                state->lVal = (state->lVal & ~STATE_SYSTEM_FOCUSABLE) | STATE_SYSTEM_READONLY;
                break;
        }
        return result;
    }
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!IsSelf(child) || !Clickable()) return standard_->get_accDefaultAction(child, action);
        if (action == nullptr) return E_POINTER;
        return ToBstr(role_ == AccessibleRole::PushButton ? "Press" : "Jump", action);
    }
    // Posted, as the system's controls do it, so that a client is never held up by what the
    // click opens (a message box, the install).
    STDMETHODIMP accDoDefaultAction(VARIANT child) override {
        if (!IsSelf(child) || !Clickable()) return standard_->accDoDefaultAction(child);
        if (!IsWindowEnabled(window_) || !IsWindowVisible(window_)) return E_FAIL;
        return PostMessageA(window_, BM_CLICK, 0, 0) ? S_OK : E_FAIL;
    }

    // IAccessible: what the standard object knows of any window.
    STDMETHODIMP get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    STDMETHODIMP get_accChildCount(LONG* count) override { return standard_->get_accChildCount(count); }
    STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override {
        return standard_->get_accChild(child, object);
    }
    STDMETHODIMP get_accDescription(VARIANT child, BSTR* text) override {
        return standard_->get_accDescription(child, text);
    }
    STDMETHODIMP get_accHelp(VARIANT child, BSTR* text) override { return standard_->get_accHelp(child, text); }
    STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return standard_->get_accKeyboardShortcut(child, text);
    }
    STDMETHODIMP get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    STDMETHODIMP get_accSelection(VARIANT* children) override { return standard_->get_accSelection(children); }
    STDMETHODIMP accSelect(LONG flags, VARIANT child) override { return standard_->accSelect(flags, child); }
    STDMETHODIMP accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        return standard_->accLocation(left, top, width, height, child);
    }
    STDMETHODIMP accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    STDMETHODIMP accHitTest(LONG x, LONG y, VARIANT* child) override { return standard_->accHitTest(x, y, child); }
    // Names and values are the control's own texts, not set from outside.
    STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~TSkinAccessible() { standard_->Release(); }

    bool Clickable() const { return role_ == AccessibleRole::PushButton || role_ == AccessibleRole::Link; }

    HWND window_;
    AccessibleRole role_;
    IAccessible* standard_;
    std::atomic<ULONG> references_{1};
};

}  // namespace

LRESULT AnswerGetObject(HWND window, AccessibleRole role, WPARAM wParam, LPARAM lParam) {
    // The object id arrives as a DWORD in lParam.
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT))
        return DefWindowProcA(window, WM_GETOBJECT, wParam, lParam);
    const HMODULE library = OleAcc();
    if (library == nullptr) return DefWindowProcA(window, WM_GETOBJECT, wParam, lParam);
    const auto createStandard = LibraryEntry<CreateStdAccessibleObjectFunction>(library, "CreateStdAccessibleObject");
    const auto toResult = LibraryEntry<LresultFromObjectFunction>(library, "LresultFromObject");
    IAccessible* standard = nullptr;
    if (createStandard == nullptr || toResult == nullptr ||
        FAILED(createStandard(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&standard))))
        return DefWindowProcA(window, WM_GETOBJECT, wParam, lParam);
    auto* accessible = new TSkinAccessible(window, role, standard);
    // The result holds its own reference until the client takes the object.
    const LRESULT result = toResult(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(accessible));
    accessible->Release();
    return result;
}

int ProgressPercent(int position, int max) {
    if (max <= 0) return 0;
    return static_cast<int>(static_cast<int64_t>(position) * 100 / max);
}

void AnnounceNameChange(HWND window) { NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, CHILDID_SELF); }

void AnnounceValueChange(HWND window) { NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF); }
