#pragma once
// Watches the open file (an archive's two files) for changes made by other
// programs. A burst of changes (a program writing in steps) is looked at once, a
// moment after its last step; the files are watched again after every change,
// since a save that replaces a file ends the watch on the old one. A change is
// read again at once when there are no edits, and otherwise as the user chooses:
// Reload, or keep the edits (which Save then writes only under another name).
#include <QObject>
#include <QStringList>
#include <functional>

class QFileSystemWatcher;
class QTimer;
class QWidget;
class TDictionarySession;
class TStatusPanel;
class TUiServices;

class TDiskWatch : public QObject {
public:
    // It also tells the user when opening an archive finished undoing an
    // interrupted edit of it.
    TDiskWatch(QWidget& window, TDictionarySession& session, TUiServices& ui, TStatusPanel& status);
    ~TDiskWatch() override;
    // Watches the session's file, or its archive's files, from now on.
    void WatchOpenFile();

    // Whether the window is in the middle of something: the change is looked at later.
    std::function<bool()> Busy;
    // The session's file is read again, its edits gone (the archive's table too,
    // with the same dictionary shown).
    std::function<void()> Reload;
    // Runs a command as the window's menu does.
    std::function<void(const std::function<void()>&)> Run;

private:
    // False when the window could not be asked now.
    bool Look();

    QWidget& window_;
    TDictionarySession& session_;
    TUiServices& ui_;
    TStatusPanel& status_;
    QFileSystemWatcher* watcher_;
    QTimer* settle_;
    QStringList files_;
};
