// One lock per Wine prefix for the tests that change what a machine has once (the device tree,
// Program Files, the Programs and Features entry): ctest runs the executables of one prefix side
// by side, and those tests take turns under it.
#pragma once

#include <windows.h>

class MachineLock {
public:
    MachineLock() : mutex_(CreateMutexA(nullptr, FALSE, "TarvikSimulatedUsbDevices")) {
        // An abandoned lock (a test process that died) is owned all the same.
        const DWORD wait = mutex_ != nullptr ? WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
        held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~MachineLock() {
        if (held_) ReleaseMutex(mutex_);
        if (mutex_ != nullptr) CloseHandle(mutex_);
    }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    bool Held() const { return held_; }

private:
    HANDLE mutex_;
    bool held_ = false;
};
