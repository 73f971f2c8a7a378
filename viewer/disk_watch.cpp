#include "viewer/disk_watch.h"

#include <QApplication>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QWidget>

#include "base/paths.h"
#include "base/rollback_journal.h"
#include "viewer/dialog_services.h"
#include "viewer/dictionary_session.h"
#include "viewer/qt_text.h"
#include "viewer/status_panel.h"
#include "words/engine_words.h"

using namespace kelmora;

TDiskWatch::TDiskWatch(QWidget& window, TDictionarySession& session, TUiServices& ui, TStatusPanel& status)
    : QObject(&window), window_(window), session_(session), ui_(ui), status_(status),
      watcher_(new QFileSystemWatcher(this)), settle_(new QTimer(this)) {
    settle_->setSingleShot(true);
    settle_->setInterval(300);
    // An archive's interrupted edit undone as it was opened (by any thread): said once.
    SetRecoveryNotice([this](const std::string& file) {
        QMetaObject::invokeMethod(
            this, [this, file] { ui_.ShowMessage(&window_, Q(RecoveryText(file)) + "."); }, Qt::QueuedConnection);
    });
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this](const QString&) { settle_->start(); });
    connect(settle_, &QTimer::timeout, this, [this] {
        WatchOpenFile(); // a replaced file is watched under its name again
        if (!Look())
            settle_->start();
    });
}

TDiskWatch::~TDiskWatch() { SetRecoveryNotice(nullptr); }

void TDiskWatch::WatchOpenFile() {
    QStringList files;
    if (session_.Archive())
        files << Q(session_.Archive()->DataFile) << Q(session_.Archive()->TableFile);
    else if (!session_.File().empty())
        files << Q(session_.File());
    files.removeDuplicates();
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    files_ = files;
    for (const QString& f : files)
        watcher_->addPath(f);
}

bool TDiskWatch::Look() {
    // Not in the middle of a command or a question: looked at again a moment later.
    if ((Busy && Busy()) || QApplication::activeModalWidget())
        return false;
    if (session_.File().empty() || session_.ChangedOnDisk() || !session_.ChangedSinceRead())
        return true; // not changed after all (a save of ours), or the user knows
    const QString name = Q(FileNameOf(session_.File()));
    Run([&] {
        if (session_.Modified() && !ui_.AskReloadChanged(&window_, name)) {
            session_.KeepEditsOfChangedFile();
            status_.SetStatus(name + " changed on disk; your edits are kept.");
            return;
        }
        session_.ForgetEdits();
        Reload();
        status_.SetStatus(name + " changed on disk and was read again.");
    });
    return true;
}
