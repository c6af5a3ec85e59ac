// Time and memory of a call for the benchmarks: CPU time where the process's clock ticks finely
// enough (POSIX), else wall time, and the peak of memory above what the process held before.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <thread>
#else
#include <ctime>
#include <fstream>
#endif

inline constexpr double kMiB = 1024.0 * 1024.0;

#ifdef _WIN32
// Wall time: the process times of Windows, and of Wine, tick too coarsely for these calls.
inline double CpuSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Private commit, sampled every millisecond while the call runs: Windows keeps a peak but
// cannot reset it.
class PeakMeter {
public:
    void Start() {
        base_ = peak_ = Commit();
        running_ = true;
        sampler_ = std::thread([this] {
            while (running_) {
                peak_ = std::max<uint64_t>(peak_, Commit());
                Sleep(1);
            }
        });
    }
    uint64_t Stop() {
        running_ = false;
        sampler_.join();
        return std::max<uint64_t>(peak_, Commit()) - base_;
    }

private:
    static uint64_t Commit() {
        PROCESS_MEMORY_COUNTERS counters{};
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return counters.PagefileUsage;
    }
    std::thread sampler_;
    std::atomic<bool> running_{false};
    std::atomic<uint64_t> peak_{0};
    uint64_t base_ = 0;
};
#else
inline double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

// Resident memory: the kernel resets the peak on request and keeps it exactly.
class PeakMeter {
public:
    void Start() {
        std::ofstream("/proc/self/clear_refs") << "5";
        base_ = Status("VmRSS:");
    }
    uint64_t Stop() { return Status("VmHWM:") - base_; }

private:
    static uint64_t Status(const std::string& field) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.compare(0, field.size(), field) == 0)
                return std::strtoull(line.c_str() + field.size(), nullptr, 10) * 1024;
        return 0;
    }
    uint64_t base_ = 0;
};
#endif

// Best of three in CPU time: the figure least disturbed by the rest of the machine.
inline double BestSeconds(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const double start = CpuSeconds();
        run();
        best = std::min(best, std::max(CpuSeconds() - start, 1e-9));
    }
    return best;
}

// Best of three in wall time, for work spread over threads (CPU time would add theirs up).
inline double BestWallSeconds(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(
            best, std::max(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1e-9));
    }
    return best;
}

// Memory held at the peak of one more run, above what the process held before it.
inline double PeakMiB(const std::function<void()>& run) {
    PeakMeter meter;
    meter.Start();
    run();
    return meter.Stop() / kMiB;
}

