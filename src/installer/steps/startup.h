// Start-up mode: the executable's own payload decides whether it installs or builds; the
// window's load reads it behind the open window.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "platform.h"
#include "xc_handle.h"
#include "xc_memspace.h"
#include "xc_timerbase.h"

class XC_ExeTailHelper;

enum class StartMode {
    Failed,     // the own file's payload is damaged, or neither file could be read
    Builder,    // loaded, no payload: pack a new installer
    Installer,  // loaded with a payload: show the installer window
};

// Loads `payload` from `own_path`. Only when that file cannot be opened or read does it load
// "SetupTarvik.exe" from the current folder instead: a damaged own payload (a truncated
// download, say) fails, so that an older installer or a plain stub lying beside it in a
// download folder never runs in its place.
StartMode LoadPayload(XC_ExeTailHelper* payload, const char* own_path);

// LoadPayload on a thread of its own, so that the window can open as soon as the part it needs,
// the language archive (the payload's first record), is unpacked; the rest is unpacked and
// checked behind the open window.
class TPayloadLoader {
public:
    // Starts loading `payload`, which must outlive the loader. `windowPartLoaded`, when given,
    // runs on the loading thread once the language archive is in, before the rest.
    TPayloadLoader(XC_ExeTailHelper* payload, std::string own_path, std::function<void()> windowPartLoaded);
    TPayloadLoader(const TPayloadLoader&) = delete;
    TPayloadLoader& operator=(const TPayloadLoader&) = delete;

    // Waits until the window may open: Installer once the language archive is in, while the
    // rest may still be loading (an installer whose first record is something else is loaded
    // whole first); Failed or Builder once the whole load has ended so.
    StartMode WaitForWindow();
    // After WaitForWindow gave Installer: the language archive, unchanged for the loader's
    // lifetime; null when the payload has none.
    const XC_MemSpace* Language() const { return language_; }
    // Posts `message` to `window` once the load has ended, at once when it has.
    void PostWhenDone(HWND window, UINT message);
    // Waits for the end of the load and gives its mode; from then on the payload is the
    // caller's alone.
    StartMode Finish();

private:
    void Load();

    XC_ExeTailHelper* payload_;
    std::string own_path_;
    std::function<void()> window_part_loaded_;
    XC_CriticalSection lock_;
    // Set once the language archive is in or the load has ended.
    XC_KernelHandle window_may_open_;
    // Under lock_:
    bool ended_ = false;
    StartMode mode_ = StartMode::Failed;
    XC_MemSpace language_copy_;
    const XC_MemSpace* language_ = nullptr;
    HWND notify_ = nullptr;
    UINT message_ = 0;
    // Last, so that it starts once everything above is made and is waited for before it goes.
    std::unique_ptr<platform::BackgroundJob> job_;
};
