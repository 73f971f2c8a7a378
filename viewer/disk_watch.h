#pragma once
// Watches the open file (an archive's two files) for changes made by other
// programs. A burst of changes (a program writing in steps) is told once, a
// moment after its last step; the files are watched again after every change,
// since a save that replaces a file ends the watch on the old one.
#include <QObject>
#include <QStringList>
#include <functional>

class QFileSystemWatcher;
class QTimer;

class TDiskWatch : public QObject {
public:
    explicit TDiskWatch(QObject* parent);
    // Watches these files from now on, instead of the ones before.
    void Watch(const QStringList& files);
    // Told a moment after the watched files changed; returns false to be told
    // again a moment later (the window was busy).
    std::function<bool()> Changed;

private:
    QFileSystemWatcher* watcher_;
    QTimer* settle_;
    QStringList files_;
};
