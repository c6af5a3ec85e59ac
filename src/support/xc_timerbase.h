// A background thread that calls OnTimer at a fixed interval while running, and the lock
// shared between that thread and the window.
#pragma once

#include <windows.h>

#include <atomic>

class XC_TimerBase {
public:
    XC_TimerBase();
    // Stops the thread. A derived timer calls Stop in its own destructor, so that no tick
    // runs on a half-destroyed object.
    ~XC_TimerBase();
    XC_TimerBase(const XC_TimerBase&) = delete;
    XC_TimerBase& operator=(const XC_TimerBase&) = delete;

    // Runs ticks: the first at once on a new thread, then every Interval ms. False when the
    // event or the thread cannot be made.
    bool Start();
    // Stops ticking; the thread idles. May be called from inside OnTimer.
    void Pause();
    // Ends the thread after the current tick. Never from inside OnTimer.
    void Stop();

    virtual void OnTimer() = 0;

    int Interval;

protected:
    static DWORD WINAPI ThreadMain(void* self);
    void Loop();

    HANDLE WakeEvent;
    HANDLE Thread;
    std::atomic<bool> Running;
};

// A recursive mutual-exclusion lock over a Win32 critical section.
class XC_CriticalSection {
public:
    XC_CriticalSection();
    ~XC_CriticalSection();
    XC_CriticalSection(const XC_CriticalSection&) = delete;
    XC_CriticalSection& operator=(const XC_CriticalSection&) = delete;

    void Lock();
    void Unlock();

private:
    CRITICAL_SECTION Section;
};

// Holds an XC_CriticalSection for the lifetime of a scope.
class XC_AutoLock {
public:
    explicit XC_AutoLock(XC_CriticalSection& lock) : lock_(lock) { lock_.Lock(); }
    ~XC_AutoLock() { lock_.Unlock(); }
    XC_AutoLock(const XC_AutoLock&) = delete;
    XC_AutoLock& operator=(const XC_AutoLock&) = delete;

private:
    XC_CriticalSection& lock_;
};
