// Worker timer thread and lock.
#include "xc_timerbase.h"

namespace {

// Poll period of a paused timer.
const DWORD kPausedWait = 80;

}  // namespace

XC_TimerBase::XC_TimerBase() : Interval(0), WakeEvent(nullptr), Thread(nullptr), Running(false) {}

XC_TimerBase::~XC_TimerBase() { Stop(); }

bool XC_TimerBase::Start() {
    Running = true;
    if (WakeEvent == nullptr) WakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (WakeEvent == nullptr) {
        Running = false;
        return false;
    }
    if (Thread == nullptr) Thread = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (Thread == nullptr) {
        Running = false;
        return false;
    }
    return true;
}

void XC_TimerBase::Pause() { Running = false; }

void XC_TimerBase::Stop() {
    if (Thread != nullptr) {
        Running = false;
        SetEvent(WakeEvent);
        WaitForSingleObject(Thread, INFINITE);
        CloseHandle(Thread);
        Thread = nullptr;
    }
    if (WakeEvent != nullptr) {
        CloseHandle(WakeEvent);
        WakeEvent = nullptr;
    }
    Running = false;
}

DWORD WINAPI XC_TimerBase::ThreadMain(void* self) {
    static_cast<XC_TimerBase*>(self)->Loop();
    return 0;
}

void XC_TimerBase::Loop() {
    for (;;) {
        DWORD wait = static_cast<DWORD>(Interval);
        if (Running)
            OnTimer();
        else
            wait = kPausedWait;
        if (WaitForSingleObject(WakeEvent, wait) != WAIT_TIMEOUT) return;
    }
}

XC_CriticalSection::XC_CriticalSection() { InitializeCriticalSection(&Section); }

XC_CriticalSection::~XC_CriticalSection() { DeleteCriticalSection(&Section); }

void XC_CriticalSection::Lock() { EnterCriticalSection(&Section); }

void XC_CriticalSection::Unlock() { LeaveCriticalSection(&Section); }
