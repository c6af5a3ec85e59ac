// The progress line: redrawn in place with a carriage return at most ten times a second.
#include "progressline.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

constexpr double kMiB = 1024.0 * 1024.0;
constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

ProgressLine::ProgressLine(XC_ExeTailHelper* archive, const char* what)
    : archive_(archive), what_(what), start_(std::chrono::steady_clock::now()), shown_(start_) {
    if (!IsTerminal(stderr)) return;
    archive_->SetProgress([this](uint64_t done, uint64_t total) { Show(done, total, false); });
}

ProgressLine::~ProgressLine() {
    archive_->SetProgress(nullptr);
    // The last figures stay on screen, on a line of their own.
    if (width_ > 0) {
        Show(done_, total_, true);
        std::fputc('\n', stderr);
    }
}

void ProgressLine::Show(uint64_t done, uint64_t total, bool force) {
    const auto now = std::chrono::steady_clock::now();
    // Sealing that started over (with fewer workers, memory being short): the rate counts anew.
    if (done < done_) start_ = now;
    done_ = done;
    total_ = total;
    if (!force && now - shown_ < kRedraw && done < total) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    const long left = rate > 0 ? long((total - done) / rate + 0.5) : 0;
    char line[160];
    const int length = std::snprintf(line, sizeof line, "%s %.1f of %.1f MiB, %.1f MiB/s, %ld:%02ld left",
                                     what_.c_str(), done / kMiB, total / kMiB, rate / kMiB, left / 60, left % 60);
    if (length <= 0) return;
    const size_t width = size_t(length) < sizeof line ? size_t(length) : sizeof line - 1;
    std::fprintf(stderr, "\r%s%*s", line, int(width_ > width ? width_ - width : 0), "");
    std::fflush(stderr);
    width_ = width;
}
