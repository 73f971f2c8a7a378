#pragma once
// Textures out of the window: the shown one as the user names it, and the
// marked ones of the dictionary into a folder. The mass export runs on a worker
// thread with its progress in the status bar and a Cancel button; its questions
// are asked here, in its order.
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/export_run.h"

class QMainWindow;
class TDictionarySession;
class TStatusPanel;
class TTextureListPanel;
class TTextureView;
class TUiServices;

class TExportController : public QObject {
public:
    TExportController(QMainWindow& window, TDictionarySession& session, TTextureListPanel& list, TTextureView& view,
                      TStatusPanel& status, TUiServices& ui, std::function<std::uint32_t()> ticks);

    kelmora::ExportSettings Settings; // ExpAlphas ... ExpFormat, DestDir
    std::vector<bool> Marks;          // the textures the run exports, by entry
    std::string SubDirName;

    // Extract > Actual Image...: the shown texture into one file.
    void SaveImage();
    // Extract > Several Textures...: the dialog, then the run.
    void ExportSeveral();
    // The run over the marked textures, with Settings.
    void ExportMarked();
    // While a run is under way the window takes no other command.
    bool Busy() const { return busy_; }
    // After a run: the texture is shown again.
    std::function<void()> Finished;

private:
    // Runs f on the window's thread and waits for it.
    void OnWindowThread(const std::function<void()>& f);

    QMainWindow& window_;
    TDictionarySession& session_;
    TTextureListPanel& list_;
    TTextureView& view_;
    TStatusPanel& status_;
    TUiServices& ui_;
    std::function<std::uint32_t()> ticks_;
    bool busy_ = false;
    std::atomic<bool> cancel_{false};
};
