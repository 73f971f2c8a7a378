#pragma once
// How far a long run is: one line on standard error, redrawn in place, as build
// and copy tools do. Only when standard error is a terminal, only for a command
// that says more than errors (no -q, no --json), and only once the run has taken
// about a second: short runs and pipes see nothing extra.
#include <chrono>
#include <cstddef>
#include <string>

namespace kelmora::cli {

class TerminalProgress {
public:
    // wanted: the command prints more than errors and no JSON.
    explicit TerminalProgress(bool wanted);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // The state of the run now; drawn at most ten times a second.
    void Show(const std::string& text);
    // Takes the line away (before other output goes to the terminal).
    void Clear();

private:
    bool on_ = false;
    std::chrono::steady_clock::time_point start_, last_;
    std::chrono::milliseconds after_{1000};
    std::size_t shown_ = 0; // characters on the line now
};

// Clears the line of the progress being shown, if any: every other line written
// to standard error goes through here first.
void ClearProgressLine();
// The same before a line to standard output, where that is the terminal too.
void ClearProgressForOutput();

} // namespace kelmora::cli
