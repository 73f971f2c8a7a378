#include "viewer/background_work.h"

#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <exception>
#include <thread>

#include "viewer/status_panel.h"

TBackgroundWork::TBackgroundWork(QMainWindow& window, TStatusPanel& status, std::initializer_list<QWidget*> rest)
    : window_(window), status_(status), rest_(rest) {}

bool TBackgroundWork::Run(const QString& label, const std::function<void(Progress&)>& work, bool stoppable) {
    Progress progress;
    // Before the window shows (the file named at start-up) there is nothing to
    // paint and no key to take: the work runs here, and the window's first
    // showing is not disturbed by an event loop inside its making.
    if (!window_.isVisible()) {
        busy_ = true;
        struct Done {
            bool& busy;
            ~Done() { busy = false; }
        } done{busy_};
        work(progress);
        return progress.Stop.load();
    }
    QEventLoop loop;
    QTimer slow; // quick work shows no busy state at all
    slow.setSingleShot(true);
    QTimer tick; // the progress, as the work counts it
    bool shown = false;
    const std::function<void()> cancelBefore = status_.Cancelled;
    auto showProgress = [&] {
        const std::uint64_t count = progress.Count.load();
        if (count > 0)
            status_.ShowProgress(progress.Done.load(), count, label);
    };
    QObject::connect(&slow, &QTimer::timeout, &loop, [&] {
        shown = true;
        QApplication::setOverrideCursor(Qt::BusyCursor);
        window_.menuBar()->setEnabled(false);
        for (QWidget* w : rest_)
            w->setEnabled(false);
        status_.SetStatus(label + "...");
        if (stoppable) {
            status_.Cancelled = [&progress] { progress.Stop = true; };
            status_.BeginProgress();
            showProgress();
            tick.start(100);
        }
    });
    QObject::connect(&tick, &QTimer::timeout, &loop, showProgress);
    busy_ = true;
    std::exception_ptr error;
    std::thread thread([&] {
        try {
            work(progress);
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    slow.start(150);
    loop.exec();
    thread.join();
    slow.stop();
    tick.stop();
    busy_ = false;
    if (shown) {
        if (stoppable) {
            status_.EndProgress();
            status_.Cancelled = cancelBefore;
        }
        for (QWidget* w : rest_)
            w->setEnabled(true);
        window_.menuBar()->setEnabled(true);
        QApplication::restoreOverrideCursor();
        status_.SetStatus(QString());
    }
    if (error)
        std::rethrow_exception(error);
    return progress.Stop.load();
}
