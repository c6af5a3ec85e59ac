// Start-up mode selection from the payload load, and that load behind the window.
#include "startup.h"

#include <cstring>

#include "payloadkeys.h"
#include "xc_exetailhelper.h"

StartMode LoadPayload(XC_ExeTailHelper* payload, const char* own_path) {
    if (!payload->LoadFromExe(own_path)) {
        if (payload->LastFailure() != XC_ExeTailHelper::Failure::kCannotRead) return StartMode::Failed;
        // The fallback name is relative on purpose: it resolves against the current folder.
        if (!payload->LoadFromExe("SetupTarvik.exe")) return StartMode::Failed;
    }
    return payload->IsEmpty() ? StartMode::Builder : StartMode::Installer;
}

TPayloadLoader::TPayloadLoader(XC_ExeTailHelper* payload, std::string own_path, std::function<void()> windowPartLoaded)
    : payload_(payload),
      own_path_(std::move(own_path)),
      window_part_loaded_(std::move(windowPartLoaded)),
      window_may_open_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      job_(new platform::BackgroundJob([this] { Load(); })) {}

void TPayloadLoader::Load() {
    payload_->SetFirstRecord([this](const std::string& key, const uint8_t* data, uint32_t size) {
        if (key != PayloadKey::Language) return;
        {
            // A copy of its own: the body it lies in goes if the rest turns out damaged.
            XC_AutoLock hold(lock_);
            if (size > 0 && !language_copy_.Allocate(size, XC_MemSpace::kHeap)) return;
            if (size > 0) std::memcpy(language_copy_.data, data, size);
            language_ = &language_copy_;
        }
        SetEvent(window_may_open_.Get());
        if (window_part_loaded_) window_part_loaded_();
    });
    const StartMode mode = LoadPayload(payload_, own_path_.c_str());
    payload_->SetFirstRecord(nullptr);
    HWND notify = nullptr;
    UINT message = 0;
    {
        XC_AutoLock hold(lock_);
        ended_ = true;
        mode_ = mode;
        notify = notify_;
        message = message_;
    }
    SetEvent(window_may_open_.Get());
    if (notify != nullptr) PostMessageA(notify, message, 0, 0);
}

StartMode TPayloadLoader::WaitForWindow() {
    // Without the event, the whole load is waited for.
    if (!window_may_open_.IsOpen() || WaitForSingleObject(window_may_open_.Get(), INFINITE) != WAIT_OBJECT_0)
        job_->Wait();
    XC_AutoLock hold(lock_);
    // A load known to have failed opens no window.
    if (ended_ && mode_ != StartMode::Installer) return mode_;
    if (language_ == nullptr && ended_) language_ = payload_->FindEntry(PayloadKey::Language);
    return StartMode::Installer;
}

void TPayloadLoader::PostWhenDone(HWND window, UINT message) {
    bool ended = false;
    {
        XC_AutoLock hold(lock_);
        notify_ = window;
        message_ = message;
        ended = ended_;
    }
    if (ended) PostMessageA(window, message, 0, 0);
}

StartMode TPayloadLoader::Finish() {
    job_->Wait();
    XC_AutoLock hold(lock_);
    return mode_;
}
