// Owners for COM: an interface pointer released when it goes, and COM initialised on the
// calling thread for a scope. Header-only, for the few places that talk to the shell.
#pragma once

#include <objbase.h>

template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    // For the calls that hand the interface back typed, and for those that take void**.
    Interface** Receive() { return &pointer_; }
    void** ReceiveAny() { return reinterpret_cast<void**>(&pointer_); }
    Interface* operator->() const { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

// Keeps COM initialised on this thread for its lifetime. Only a successful CoInitialize is
// balanced: uninitialising after a failed one would tear down the caller's COM.
class ComScope {
public:
    ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};
