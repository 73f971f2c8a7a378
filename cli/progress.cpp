#include "cli/progress.h"

#include <cstdlib>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace kelmora::cli {

namespace {

// The one progress a command shows; commands run one at a time, on the main thread.
TerminalProgress* active = nullptr;

} // namespace

TerminalProgress::TerminalProgress(bool wanted) : on_(wanted && isatty(2) != 0) {
    start_ = last_ = std::chrono::steady_clock::now();
    // The tests make a short run show its progress.
    if (const char* ms = std::getenv("KELMORA_PROGRESS_AFTER_MS"))
        after_ = std::chrono::milliseconds(std::atol(ms));
    if (on_)
        active = this;
}

TerminalProgress::~TerminalProgress() {
    Clear();
    if (active == this)
        active = nullptr;
}

void TerminalProgress::Show(const std::string& text) {
    if (!on_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < after_ || (shown_ > 0 && now - last_ < std::chrono::milliseconds(100)))
        return;
    last_ = now;
    std::string line = "\r" + text;
    if (text.size() < shown_)
        line += std::string(shown_ - text.size(), ' ') + "\r" + text;
    std::cerr << line << std::flush;
    shown_ = text.size();
}

void TerminalProgress::Clear() {
    if (shown_ == 0)
        return;
    std::cerr << "\r" << std::string(shown_, ' ') << "\r" << std::flush;
    shown_ = 0;
}

void ClearProgressLine() {
    if (active)
        active->Clear();
}

void ClearProgressForOutput() {
    if (active && isatty(1) != 0)
        active->Clear();
}

} // namespace kelmora::cli
