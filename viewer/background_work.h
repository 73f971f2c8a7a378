#pragma once
// Long work off the window's thread: reading a large file, colour reduction,
// saving, an archive's commit. The window keeps painting and taking keys; after
// a moment the menus and the lists rest, the cursor says busy and the status bar
// names the work, with its progress and Cancel where the work measures itself
// and may stop. While it runs no other command starts (Busy).
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

class QMainWindow;
class QWidget;
class TStatusPanel;

class TBackgroundWork {
public:
    // What the work tells the window, and what the window tells the work.
    struct Progress {
        std::atomic<std::uint64_t> Done{0}, Count{0}; // Count 0: not measured
        std::atomic<bool> Stop{false};                 // the user pressed Cancel
    };

    // rest are the widgets that take no input while the work runs (besides the menus).
    TBackgroundWork(QMainWindow& window, TStatusPanel& status, std::initializer_list<QWidget*> rest);

    // Runs work on a thread of its own and returns when it ends; what it throws is
    // thrown here. With stoppable, Cancel is offered; the work looks at Stop and
    // returns early, and Run says whether it was stopped.
    bool Run(const QString& label, const std::function<void(Progress&)>& work, bool stoppable = false);
    bool Busy() const { return busy_; }

private:
    QMainWindow& window_;
    TStatusPanel& status_;
    std::vector<QWidget*> rest_;
    bool busy_ = false;
};
