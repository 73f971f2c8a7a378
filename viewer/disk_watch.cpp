#include "viewer/disk_watch.h"

#include <QFileSystemWatcher>
#include <QTimer>

TDiskWatch::TDiskWatch(QObject* parent)
    : QObject(parent), watcher_(new QFileSystemWatcher(this)), settle_(new QTimer(this)) {
    settle_->setSingleShot(true);
    settle_->setInterval(300);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this](const QString&) { settle_->start(); });
    connect(settle_, &QTimer::timeout, this, [this] {
        Watch(files_); // a replaced file is watched under its name again
        if (Changed && !Changed())
            settle_->start();
    });
}

void TDiskWatch::Watch(const QStringList& files) {
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    files_ = files;
    for (const QString& f : files)
        if (!f.isEmpty())
            watcher_->addPath(f);
}
