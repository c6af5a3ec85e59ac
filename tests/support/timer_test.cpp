// Worker timer loop and lock, on real threads.
#include "xc_timerbase.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Counts ticks; a tick can be made slow, can pause its own timer, and keeps a handle to the
// thread it ran on.
class CountingTimer : public XC_TimerBase {
public:
    CountingTimer() : tickEntered(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~CountingTimer() {
        Stop();
        CloseHandle(tickEntered);
        if (tickThread != nullptr) CloseHandle(tickThread);
    }

    void OnTimer() override {
        ++started;
        if (tickThread == nullptr) {
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &tickThread, SYNCHRONIZE,
                            FALSE, 0);
        }
        lastThreadId = GetCurrentThreadId();
        SetEvent(tickEntered);
        if (tickSleep > 0) Sleep(tickSleep);
        if (pauseInTick) Pause();
        ++finished;
    }

    HANDLE tickEntered;
    HANDLE tickThread = nullptr;
    std::atomic<DWORD> lastThreadId{0};
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    DWORD tickSleep = 0;
    bool pauseInTick = false;
};

TEST(XC_TimerBase, StopWithoutStartReturns) {
    CountingTimer timer;
    timer.Stop();
    EXPECT_EQ(0, timer.started);
}

TEST(XC_TimerBase, StartThenStopRunsAtMostOneWholeTick) {
    for (int round = 0; round < 20; ++round) {
        CountingTimer timer;
        timer.Interval = 10000;
        timer.tickSleep = 20;
        ASSERT_TRUE(timer.Start());
        timer.Stop();
        EXPECT_LE(timer.started, 1);
        EXPECT_EQ(timer.started.load(), timer.finished.load());
    }
}

TEST(XC_TimerBase, StopWaitsForTheTickInProgress) {
    CountingTimer timer;
    timer.Interval = 80;
    timer.tickSleep = 300;
    ASSERT_TRUE(timer.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.tickEntered, 10000));
    timer.Stop();
    EXPECT_EQ(1, timer.finished);
}

TEST(XC_TimerBase, FirstTickRunsAtOnceWithoutWaitingTheInterval) {
    CountingTimer timer;
    timer.Interval = 600000;
    ASSERT_TRUE(timer.Start());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.tickEntered, 10000));
    timer.Stop();
    EXPECT_EQ(1, timer.started);
}

TEST(XC_TimerBase, PausedTickIsNotCalledAgainUntilStart) {
    CountingTimer timer;
    timer.Interval = 0;
    timer.pauseInTick = true;
    ASSERT_TRUE(timer.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.tickEntered, 10000));
    // Several paused polls pass; none may call the tick.
    Sleep(400);
    EXPECT_EQ(1, timer.started);
    ASSERT_NE(nullptr, timer.tickThread);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(timer.tickThread, 0));

    const DWORD firstThread = timer.lastThreadId;
    ResetEvent(timer.tickEntered);
    ASSERT_TRUE(timer.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.tickEntered, 10000));
    timer.Stop();
    EXPECT_EQ(2, timer.started);
    EXPECT_EQ(firstThread, timer.lastThreadId.load());
}

TEST(XC_TimerBase, StartAfterStopTicksOnANewThread) {
    CountingTimer timer;
    timer.Interval = 50;
    ASSERT_TRUE(timer.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.tickEntered, 10000));
    timer.Stop();
    ASSERT_NE(nullptr, timer.tickThread);
    // The first thread has ended; its open handle keeps its id from being reused.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.tickThread, 0));
    const DWORD firstThread = timer.lastThreadId;
    const int ticksBefore = timer.started;

    ResetEvent(timer.tickEntered);
    ASSERT_TRUE(timer.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(timer.tickEntered, 10000));
    timer.Stop();
    EXPECT_GT(timer.started, ticksBefore);
    EXPECT_NE(firstThread, timer.lastThreadId.load());
}

struct LockedCounter {
    XC_CriticalSection lock;
    long value = 0;
};

DWORD WINAPI AddUnderLock(void* parameter) {
    LockedCounter* counter = static_cast<LockedCounter*>(parameter);
    for (int i = 0; i < 200000; ++i) {
        XC_AutoLock hold(counter->lock);
        // Recursive entry by the holder must not block.
        XC_AutoLock again(counter->lock);
        const long read = counter->value;
        counter->value = read + 1;
    }
    return 0;
}

TEST(XC_CriticalSection, SerialisesTwoThreads) {
    LockedCounter counter;
    HANDLE threads[2];
    for (HANDLE& thread : threads) {
        thread = CreateThread(nullptr, 0, AddUnderLock, &counter, 0, nullptr);
        ASSERT_NE(nullptr, thread);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, threads, TRUE, 60000));
    for (HANDLE thread : threads) CloseHandle(thread);
    EXPECT_EQ(400000, counter.value);
}

}  // namespace
