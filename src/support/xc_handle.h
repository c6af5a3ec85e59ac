// Owners of Win32 handles: each closes its handle with the matching function when it goes.
// Header-only, so that every layer, the payload's platform file included, can use it.
#pragma once

#include <windows.h>

template <typename Handle, auto Close>
class XC_Handle {
public:
    explicit XC_Handle(Handle handle = nullptr) : handle_(handle) {}
    ~XC_Handle() { Reset(nullptr); }
    XC_Handle(const XC_Handle&) = delete;
    XC_Handle& operator=(const XC_Handle&) = delete;

    // Null and INVALID_HANDLE_VALUE are the two failure results of the opening functions.
    bool IsOpen() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    Handle Get() const { return handle_; }
    // For functions that hand the handle back through a pointer.
    Handle* Receive() {
        Reset(nullptr);
        return &handle_;
    }
    void Reset(Handle handle) {
        if (IsOpen()) Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_;
};

using XC_KernelHandle = XC_Handle<HANDLE, CloseHandle>;
using XC_FindHandle = XC_Handle<HANDLE, FindClose>;
using XC_RegKey = XC_Handle<HKEY, RegCloseKey>;
using XC_Module = XC_Handle<HMODULE, FreeLibrary>;

// A file handle that writes whole buffers.
class XC_File : public XC_KernelHandle {
public:
    using XC_KernelHandle::XC_KernelHandle;
    bool Write(const void* bytes, DWORD count) {
        DWORD written = 0;
        return WriteFile(Get(), bytes, count, &written, nullptr) && written == count;
    }
};
