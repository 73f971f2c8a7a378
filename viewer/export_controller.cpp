#include "viewer/export_controller.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QCheckBox>
#include <QComboBox>
#include <exception>
#include <thread>

#include "base/atomic_output.h"
#include "base/file_identity.h"
#include "base/ordered_pool.h"
#include "base/os_file.h"
#include "base/paths.h"
#include "export/destination.h"
#include "export/image_writers.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "viewer/KelmoraU2.h"
#include "viewer/dialog_services.h"
#include "viewer/dictionary_session.h"
#include "viewer/messages.h"
#include "viewer/qt_text.h"
#include "viewer/status_panel.h"
#include "viewer/texture_list_panel.h"
#include "viewer/texture_view.h"

using namespace kelmora;

TExportController::TExportController(QMainWindow& window, TDictionarySession& session, TTextureListPanel& list,
                                     TTextureView& view, TStatusPanel& status, TUiServices& ui,
                                     std::function<std::uint32_t()> ticks)
    : QObject(&window), window_(window), session_(session), list_(list), view_(view), status_(status), ui_(ui),
      ticks_(std::move(ticks)) {
    status_.Cancelled = [this] { cancel_ = true; };
}

void TExportController::SaveImage() {
    const int n = list_.SelectedEntry();
    const auto& entries = list_.Entries();
    if (list_.lb->count() == 0 || n < 0 || static_cast<std::size_t>(n) >= entries.size())
        return;
    // Without a picture on screen there is nothing to save, and the user is told.
    if (!view_.Shown()) {
        status_.SetStatus("Nothing to save: no texture is shown.");
        return;
    }
    const TTexEntry& e = entries[static_cast<std::size_t>(n)];
    const QString proposed = Q(SafeFileName(Cp1252ToUtf8(view_.cbxAlpha->isChecked() ? e.AlphaName : e.Name)));
    QString path;
    int filter = 1;
    const QString dictionaryDir = Q(DirectoryWithSeparator(AbsolutePath(session_.File())));
    if (!ui_.ChooseSaveFile(&window_, proposed, dictionaryDir, path, filter))
        return;
    // The save dialog's filters are the formats' table in its order, from 1. An
    // extension of ours typed by the user chooses the format, so that a file named
    // x.png holds a PNG; any other name gets the chosen filter's extension.
    const OutputFormat* format = FindFormat(static_cast<std::uint8_t>(filter - 1));
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (const OutputFormat* typed = suffix.isEmpty() ? nullptr : FindFormatByName(S(suffix == "jpeg" ? "jpg" : suffix)))
        format = typed;
    else if (format) {
        path += "." + Q(std::string(format->Extension).substr(1));
        // The dialog asked about the name as typed, not this one.
        if (FileExists(S(path)) && !ui_.AskYesNo(&window_, kOverwriteCaption, OverwriteText(S(path))))
            return;
    }
    if (format) {
        RemoveStaleTemporariesBeside(S(path));
        format->Write(S(path), view_.State(), view_.Picture(), view_.Options().Brighten);
        SyncFileSystemOf(S(path));
        status_.SetStatus("Saved " + QFileInfo(path).fileName());
    }
}

void TExportController::ExportSeveral() {
    if (list_.lb->count() == 0 || list_.SelectedRow() < 0)
        return;
    bool confirmed = false;
    {
        // Inside an archive the dictionary's own name stands beside the archive.
        const std::string dictionaryPath = session_.LoosePath();
        TForm2 dialog(&window_, ui_, Settings.DestDir, dictionaryPath);
        SubDirName = SubDirNameOf(dictionaryPath);
        dialog.Fill(list_.Entries(), SubDirName);
        dialog.FitTexts();
        if (ui_.RunModal(&dialog) == QDialog::Accepted) {
            const std::vector<bool> marks = dialog.Marks();
            for (std::size_t i = 0; i < Marks.size() && i < marks.size(); ++i)
                Marks[i] = marks[i];
            Settings = dialog.Settings(Settings);
            confirmed = true;
        }
    }
    if (confirmed)
        ExportMarked();
}

void TExportController::OnWindowThread(const std::function<void()>& f) {
    // What f throws goes back to the run's thread, which ends with it: thrown on
    // the window's thread it would leave the run's thread unjoined.
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        this,
        [&] {
            try {
                f();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}

void TExportController::ExportMarked() {
    view_.Clear();
    // The run keeps the window painted and its progress visible, but takes no
    // other command until it ends.
    struct BusyScope {
        TExportController& c;
        explicit BusyScope(TExportController& controller) : c(controller) {
            c.busy_ = true;
            c.cancel_ = false;
            c.window_.menuBar()->setEnabled(false);
            c.window_.centralWidget()->setEnabled(false);
            c.status_.BeginProgress();
        }
        ~BusyScope() {
            c.status_.EndProgress();
            c.window_.centralWidget()->setEnabled(true);
            c.window_.menuBar()->setEnabled(true);
            c.busy_ = false;
        }
    } busy(*this);

    ExportCallbacks cb;
    cb.Ticks = ticks_;
    cb.AskOverwrite = [this](const OverwriteQuestion& q) {
        bool yes = false;
        OnWindowThread([&] { yes = ui_.AskYesNo(&window_, kOverwriteCaption, OverwriteText(q.Path)); });
        return yes;
    };
    // The progress waits for the window, so that what the user did before it
    // (Cancel) is seen before the next texture, as the user saw it.
    cb.Progress = [this](std::size_t done, std::size_t marked, std::size_t) {
        OnWindowThread([&] { status_.ShowProgress(done, marked); });
    };
    cb.Cancelled = [this] { return cancel_.load(); };
    cb.Refused = [this](std::size_t, const KelmoraError& error) {
        OnWindowThread([&] { ui_.ShowMessage(&window_, ErrorMessage(error)); });
    };
    auto inputs = std::make_shared<InputSet>();
    inputs->Add(session_.File());
    if (session_.Archive()) {
        inputs->Add(session_.Archive()->TableFile);
        inputs->Add(session_.Archive()->DataFile);
    }
    Settings.Inputs = inputs;
    Settings.Jobs = CoreCount(); // the run's files and questions are the same for any number

    const std::shared_ptr<const Dictionary> dictionary = session_.Shared();
    const std::vector<TTexEntry> entries = list_.Entries();
    const ExportSettings settings = Settings;
    const std::vector<bool> marks = Marks;
    ExportOutcome r;
    std::exception_ptr error;
    QEventLoop loop;
    std::thread run([&] {
        try {
            r = RunExport(dictionary->Source(), entries, marks, settings, cb);
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    run.join();
    if (error)
        std::rethrow_exception(error);
    SyncFileSystemOf(Settings.DestDir); // what the run wrote, in one step
    if (!r.Completed) {
        ui_.ShowMessage(&window_, DecodeMessage(r.Failure));
        return;
    }
    if (Finished)
        Finished();
    status_.SetStatus(ExportSummaryMessage(r, static_cast<std::size_t>(list_.lb->count()), Settings.DestDir));
}
