// One self-updating progress line on standard error while the payload is packed or unpacked:
// bytes done of the total, rate and time left. Only when standard error is a terminal;
// otherwise nothing, so that pipelines keep clean logs.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "xc_exetailhelper.h"

class ProgressLine {
public:
    // Reports the archive's loading or saving as `what` ("packing", "unpacking") while it lives.
    ProgressLine(XC_ExeTailHelper* archive, const char* what);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    void Show(uint64_t done, uint64_t total, bool force);

    XC_ExeTailHelper* archive_;
    std::string what_;
    std::chrono::steady_clock::time_point start_, shown_;
    uint64_t done_ = 0, total_ = 0;
    size_t width_ = 0;  // of the line on screen, to blank out what a shorter one leaves
};
