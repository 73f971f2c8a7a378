#include "viewer/KelmoraU.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <new>

#include "base/os_file.h"
#include "base/paths.h"
#include "base/version.h"
#include "shell/file_type_registration.h"
#include "viewer/archive_commands.h"
#include "viewer/archive_panel.h"
#include "viewer/background_work.h"
#include "viewer/desktop_ui.h"
#include "viewer/disk_watch.h"
#include "viewer/edit_commands.h"
#include "viewer/export_controller.h"
#include "viewer/find_all_dialog.h"
#include "viewer/main_menu.h"
#include "viewer/messages.h"
#include "viewer/picture_box.h"
#include "viewer/qt_text.h"
#include "viewer/status_panel.h"
#include "viewer/texture_list_panel.h"
#include "viewer/window_layout.h"

using namespace kelmora;

TForm1* Form1 = nullptr;

namespace {
const QString kTitle = QString("Kelmora ") + kelmora::kVersion;
} // namespace

TForm1::TForm1(const QStringList& args, std::shared_ptr<TUiServices> ui, std::function<std::uint32_t()> ticks)
    : ui_(ui ? std::move(ui) : std::make_shared<TDesktopUi>()), ticks_(ticks ? std::move(ticks) : SteadyTicks) {
    Form1 = this;
#ifdef _WIN32
    setFont(QFont("MS Sans Serif", 8));
#endif
    BuildLayout();
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QString(":/kelmora-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    resize(405, 204);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate(args);
}

TForm1::~TForm1() {
    delete findAll_; // its search ends before the window's parts go
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::BuildLayout() {
    layout_.BuildLayout(*this, *ui_, ticks_);
    actions_ = std::make_unique<TActionRegistry>(*this, [this](const std::function<void()>& f) { RunCommand(f); });
    BuildMenuBar(*menuBar(), *actions_);
    for (auto changed : {&TDictionarySession::FileChanged, &TDictionarySession::DictionaryChanged,
                         &TDictionarySession::HistoryChanged})
        connect(&session_, changed, this, &TForm1::FollowDocument);
    // View > Properties shows the dock, and closing the dock clears its check mark.
    connect(Action(TAct::Properties1), &QAction::toggled, layout_.dockProperties, &QWidget::setVisible);
    connect(layout_.dockProperties->toggleViewAction(), &QAction::toggled, Action(TAct::Properties1), &QAction::setChecked);
    for (TAct a : {TAct::ExtractDictionary1, TAct::ReplaceDictionary1, TAct::AddDictionary1, TAct::RemoveDictionary1,
                   TAct::RenameDictionary1, TAct::ImportFolder1})
        layout_.lbArchive->addAction(Action(a));
    list_ = layout_.TextureList;
    view_ = layout_.TextureView;
    setAcceptDrops(true);
    list_->Chosen = [this] { RunCommand([this] { lbClick(); }); };
    list_->Source = [this] { return session_.Source(); };
    list_->Unswizzle = [this] { return Action(TAct::EnableFilter1)->isChecked(); };
    list_->IsMenuShortcut = [this](const QKeySequence& keys) { return actions_->IsMenuShortcut(keys); };
    layout_.pnlArchive->Chosen = [this] { RunCommand([this] { lbArchiveClick(); }); };
    view_->Options = [this] { return ViewOptions(); };
    view_->Run = [this](const std::function<void()>& f) { RunCommand(f); };
    connect(layout_.cbxAlpha, &QCheckBox::toggled, this, [this](bool) { RunCommand([this] { cbxAlphaClick(); }); });

    work_ = std::make_unique<TBackgroundWork>(*this, *layout_.status,
                                              std::initializer_list<QWidget*>{list_, layout_.pnlArchive});
    export_ = new TExportController(*this, session_, *list_, *view_, *layout_.status, *ui_, ticks_);
    export_->Finished = [this] { ShowTexture(); };
    edits_ = std::make_unique<TEditCommands>(*this, session_, *list_, *view_, *layout_.pnlArchive, *layout_.status,
                                             *ui_, *work_);
    edits_->Relist = [this](int entry) { ListDictionary(entry); };
    archiveCommands_ =
        std::make_unique<TArchiveCommands>(*this, session_, *layout_.pnlArchive, *layout_.status, *ui_, *work_);
    archiveCommands_->MayLeaveDictionary = [this] { return MayLeaveDictionary(); };
    archiveCommands_->LoadDictionary = [this] { LoadDictionary(); };
    archiveCommands_->PutOptions = [this] { return PutBackOptions{ViewOptions().Unswizzle, {ViewOptions().Brighten}}; };
    archiveCommands_->Cleared = [this](const QString& caption) {
        SetCaption(caption);
        diskWatch_->WatchOpenFile();
    };
    diskWatch_ = new TDiskWatch(*this, session_, *ui_, *layout_.status);
    diskWatch_->Busy = [this] { return export_->Busy() || work_->Busy(); };
    diskWatch_->Run = [this](const std::function<void()>& command) { RunCommand(command); };
    diskWatch_->Reload = [this] {
        session_.ClearHistory(); // its steps were made on the file as it was
        ReadAgain(list_->SelectedEntry());
    };
}

void TForm1::SetCaption(const QString& text) {
    const bool readOnly = !session_.File().empty() && session_.ReadOnly();
    setWindowTitle(kTitle + " - " + text + (readOnly ? " [read-only]" : ""));
}

TViewOptions TForm1::ViewOptions() const {
    auto on = [this](TAct a) { return Action(a)->isChecked(); };
    return {on(TAct::EnableFilter1), on(TAct::ba1), on(TAct::ShowPalette1), on(TAct::ShowTransparency1),
            !layout_.dockProperties->isHidden()};
}

void TForm1::RunCommand(const std::function<void()>& command) {
    // During an export run only its Cancel button is taken; during an edit's work nothing.
    if ((export_ && export_->Busy()) || (work_ && work_->Busy()))
        return;
    try {
        command();
    } catch (const std::exception& e) {
        ui_->ShowError(this, ErrorBoxText(e));
    }
}

void TForm1::FormCreate(const QStringList& args) {
    layout_.status->SetStatus("Kelmora started and ready...");
    std::string file;
    for (qsizetype i = args.size(); i-- > 0;)
        if (FileExists(S(args[i])))
            file = S(args[i]);
    session_.SetFile(file);
    // A folder is no file to open; the user is told rather than shown nothing.
    if (session_.File().empty())
        for (const QString& a : args)
            if (DirectoryExists(S(a))) {
                ui_->ShowMessage(this, a + " is a folder, not a texture dictionary.");
                break;
            }
    if (!session_.File().empty()) {
        SetCaption(Q(FileNameOf(session_.File())));
        ui_->SetOpenDirectory(Q(DirectoryWithSeparator(AbsolutePath(session_.File()))));
        try {
            LoadCurrentFile();
        } catch (const std::exception& e) {
            // Shown before the window; the window then opens at its designed size.
            ui_->ShowError(this, ErrorBoxText(e));
            return;
        }
    } else {
        setWindowTitle(kTitle);
        layout_.lb->setFocus();
    }
    maximisePosted_ = true;
    QMetaObject::invokeMethod(this, [this] { showMaximized(); }, Qt::QueuedConnection);
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (export_->Busy() || work_->Busy()) { // the window closes when the work has ended
        e->ignore();
        return;
    }
    bool leave = true;
    RunCommand([&] { leave = MayLeaveDictionary(); });
    if (!leave) {
        e->ignore();
        return;
    }
    layout_.SaveListWidth();
    QMainWindow::closeEvent(e);
}

void TForm1::LoadCurrentFile() {
    // The keys of the list (arrows, type-to-find, the menu's shortcuts) work at once.
    layout_.lb->setFocus();
    // A ".txd" is a dictionary whatever it holds; other files may be game archives.
    // An ".img" or ".dir" is an archive's part, never read as a dictionary: without
    // its other part, the archive's reader says which is missing.
    const bool txd = Q(FileNameOf(session_.File())).toLower().endsWith(".txd");
    const bool archivePart = HasExtension(session_.File(), ".img") || HasExtension(session_.File(), ".dir");
    if (!txd && (archivePart || IsGameArchive(session_.File()))) {
        LoadArchive();
        return;
    }
    layout_.pnlArchive->SetDictionaries({});
    layout_.pnlArchive->hide();
    LoadDictionary();
}

void TForm1::LoadArchive(const std::string& select) {
    list_->SetEntries({}, 0);
    view_->Clear();
    export_->Marks.clear();
    archiveCommands_->Open(select);
}

void TForm1::lbArchiveClick() { archiveCommands_->ShowSelected(); }

void TForm1::LoadDictionary(int selectEntry) {
    list_->SetEntries({}, 0);
    view_->Clear();
    export_->Marks.clear();
    session_.Unload();
    // A large file is read off the window's thread, and the user may stop it.
    std::optional<TDictionarySession::ReadBytes> read;
    const QString name = Q(session_.ShownFileName());
    work_->Run("Reading " + name, [&](TBackgroundWork::Progress& p) {
        read = TDictionarySession::Read(session_.Location(), [&p](std::uint64_t done, std::uint64_t total) {
            p.Done = done, p.Count = total;
            return !p.Stop;
        });
    }, true);
    if (!read) { // nothing is shown
        setWindowTitle(kTitle);
        layout_.status->SetStatus("Reading " + name + " was cancelled.");
        return;
    }
    session_.Take(std::move(*read));
    ListDictionary(selectEntry);
}

void TForm1::ListDictionary(int selectEntry) {
    view_->Clear();
    if (!session_.Archive()) {
        layout_.pnlArchive->SetDictionaries({});
        layout_.pnlArchive->hide();
    }
    const QString fileName = Q(session_.ShownFileName());
    const Dictionary& dictionary = session_.Current();
    if (!dictionary.IsDictionary()) {
        // Another kind of file: one clear message, and nothing listed.
        list_->SetEntries({}, 0);
        export_->Marks.clear();
        SetCaption(fileName);
        diskWatch_->WatchOpenFile();
        ui_->ShowMessage(this, fileName + " is not a texture dictionary.");
        return;
    }
    const WalkResult& walk = dictionary.Walk();
    export_->Marks.assign(walk.Entries.size(), false);
    // An asterisk says there are unsaved changes; a walk that stopped counts the
    // lines it listed, not what the header claims.
    const std::size_t counted = walk.End == WalkEnd::Stopped ? walk.Listed : walk.Count;
    SetCaption(fileName + (session_.Modified() ? "*" : "") + " - " + QString::number(counted) + " texture(s)");
    diskWatch_->WatchOpenFile();
    list_->SetEntries(walk.Entries, walk.Listed);
    if (walk.End == WalkEnd::Stopped) {
        layout_.status->SetStatus("ERROR!");
        ui_->ShowMessage(this, fileName + "\r\n\r\n" + WalkStoppedText(walk.Report));
        return;
    }
    if (walk.Count == 0) {
        layout_.status->SetStatus(fileName + " is empty!");
        return;
    }
    // The texture asked for, or the first line as sorted that the find text leaves.
    if (selectEntry < 0 || !list_->SelectEntry(selectEntry))
        list_->SelectLine(list_->FirstShownRow());
    ShowTexture();
}

void TForm1::ShowTexture() { ShowLevel(0); }

void TForm1::ShowLevel(int level) {
    const int n = list_->SelectedEntry();
    if (layout_.lb->count() == 0 || n < 0 || !session_.Loaded()) {
        view_->Clear();
        return;
    }
    view_->Show(session_.Shared(), n, level);
}

void TForm1::Open1Click() {
    if (!MayLeaveDictionary())
        return;
    const QString path = ui_->ChooseOpenFile(this);
    if (!path.isEmpty())
        OpenFile(S(path));
}

bool TForm1::MayOpen(const std::string& path) {
    const QString name = Q(FileNameOf(path));
    if (DirectoryExists(path)) {
        ui_->ShowMessage(this, Q(path) + " is a folder, not a texture dictionary.");
        return false;
    }
    if (!name.toLower().endsWith(".txd") && IsGameArchive(path)) {
        OpenGameArchive(path); // throws what the archive's files say
        return true;
    }
    if (!Dictionary::OpenFile(path).IsDictionary()) {
        ui_->ShowMessage(this, name + " is not a texture dictionary.");
        return false;
    }
    return true;
}

void TForm1::OpenFile(const std::string& path) {
    if (!MayLeaveDictionary())
        return;
    // What cannot be opened leaves what is open as it was.
    if (!MayOpen(path))
        return;
    session_.ForgetEdits();
    session_.ClearHistory();
    session_.SetFile(path);
    SetCaption(Q(FileNameOf(path)));
    LoadCurrentFile();
}

void TForm1::OpenMatch(const TextureMatch& match) {
    const bool archiveOpen = session_.Archive() && AbsolutePath(session_.File()) == AbsolutePath(match.File);
    if (match.Entry.empty()) {
        if (session_.Archive() || AbsolutePath(session_.File()) != AbsolutePath(match.File))
            OpenFile(match.File);
    } else {
        if (!archiveOpen)
            OpenFile(match.File);
        const std::optional<ArchiveEntry> shown = session_.ShownEntry();
        if (!shown || shown->Name != match.Entry)
            archiveCommands_->ShowNamed(match.Entry);
    }
    const std::optional<ArchiveEntry> shown = session_.ShownEntry();
    if (AbsolutePath(session_.File()) != AbsolutePath(match.File) || (shown ? shown->Name : "") != match.Entry)
        return; // the user kept the dictionary open before
    // A find text that hides the texture gives way.
    if (list_->SelectEntry(static_cast<int>(match.Index)) && layout_.lb->currentItem()->isHidden()) {
        layout_.edtFind->clear();
        list_->SelectEntry(static_cast<int>(match.Index));
    }
    ShowTexture();
    activateWindow();
    layout_.lb->setFocus();
}

bool TForm1::MayLeaveDictionary() { return edits_->MayLeaveDictionary(); }

// Zoom and stretch exclude each other: a zoom command ends the stretch.
void TForm1::Unstretch() {
    if (Action(TAct::Stretch1)->isChecked()) {
        Action(TAct::Stretch1)->setChecked(false);
        Stretch1Click();
    }
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    if (!export_->Busy() && e->mimeData()->hasUrls() && !e->mimeData()->urls().isEmpty() &&
        e->mimeData()->urls().first().isLocalFile())
        e->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* e) {
    const std::string path = S(QDir::toNativeSeparators(e->mimeData()->urls().first().toLocalFile()));
    e->acceptProposedAction();
    // An image dropped on a shown texture replaces it, after a question; anything else is opened.
    RunCommand([this, path] {
        if (!edits_->ReplaceByDrop(path))
            OpenFile(path);
    });
}

void TForm1::lbClick() { ShowTexture(); }
// The toggles draw the decoded picture again; only a texture not shown is decoded.
void TForm1::cbxAlphaClick() { view_->Shown() ? view_->Repaint() : ShowTexture(); }
void TForm1::ba1Click() { view_->Shown() ? view_->Repaint() : ShowTexture(); }
void TForm1::ShowTransparency1Click() { view_->Shown() ? view_->Repaint() : ShowTexture(); }
void TForm1::EnableFilter1Click() {
    list_->RestartThumbnails(); // they were made with the other filter
    ShowTexture();
}
void TForm1::Reload1Click() {
    // Reload reads the file and walks it again; edits go only when the user lets them.
    const int selected = list_->SelectedEntry();
    if (selected < 0 && !session_.Modified()) {
        view_->Clear();
        return;
    }
    if (MayLeaveDictionary())
        ReadAgain(selected);
}

void TForm1::ReadAgain(int selectEntry) {
    if (!session_.Archive())
        return LoadDictionary(selectEntry);
    // An archive's table is read again too: its rows may name other bytes by now.
    const std::optional<ArchiveEntry> shown = session_.ShownEntry();
    LoadArchive(shown ? shown->Name : std::string());
    if (selectEntry >= 0 && list_->SelectEntry(selectEntry))
        ShowTexture();
}
void TForm1::Stretch1Click() {
    layout_.Image1->SetStretch(Action(TAct::Stretch1)->isChecked());
    view_->ShowZoom();
}
void TForm1::ZoomIn1Click() { Unstretch(), layout_.Image1->ZoomIn(); }
void TForm1::ZoomOut1Click() { Unstretch(), layout_.Image1->ZoomOut(); }
void TForm1::ActualSize1Click() { Unstretch(), layout_.Image1->SetZoomMode(TPictureBox::ZoomMode::Actual); }
void TForm1::FitInWindow1Click() { Unstretch(), layout_.Image1->SetZoomMode(TPictureBox::ZoomMode::Fit); }
void TForm1::NextLevel1Click() {
    if (view_->Shown() && static_cast<std::size_t>(view_->Level()) + 1 < view_->LevelCount())
        ShowLevel(view_->Level() + 1);
}
void TForm1::PreviousLevel1Click() {
    if (view_->Shown() && view_->Level() > 0)
        ShowLevel(view_->Level() - 1);
}
void TForm1::ShowPalette1Click() { layout_.Panel2->setVisible(Action(TAct::ShowPalette1)->isChecked()); }
void TForm1::DarkCheckerboard1Click() { layout_.Image1->SetDarkCheckerboard(Action(TAct::DarkCheckerboard1)->isChecked()); }
void TForm1::Thumbnails1Click() { list_->SetGrid(Action(TAct::Thumbnails1)->isChecked()); }
void TForm1::Properties1Click() {
    if (view_->Shown())
        view_->FillProperties();
}
void TForm1::Exit1Click() { close(); }
void TForm1::Find1Click() { list_->Find(); }
void TForm1::SaveImage1Click() { export_->SaveImage(); }
void TForm1::AllTexturesinfile1Click() { export_->ExportSeveral(); }
void TForm1::Undo1Click() { session_.NextUndoneArchiveStep() ? archiveCommands_->UndoStep(true) : edits_->Undo(); }
void TForm1::Redo1Click() { session_.NextRedoneArchiveStep() ? archiveCommands_->UndoStep(false) : edits_->Redo(); }
void TForm1::ReplaceTexture1Click() { edits_->ReplaceTexture(); }
void TForm1::AddTexture1Click() { edits_->AddTexture(); }
void TForm1::RemoveTexture1Click() { edits_->RemoveTexture(); }
void TForm1::RenameTexture1Click() { edits_->RenameTexture(); }
void TForm1::Save1Click() { edits_->Save(); }
void TForm1::SaveAs1Click() { edits_->SaveAs(); }
void TForm1::ConvertDictionary1Click() { edits_->ConvertDictionary(); }
void TForm1::ExtractDictionary1Click() { archiveCommands_->ExtractDictionary(); }
void TForm1::ReplaceDictionary1Click() { archiveCommands_->ReplaceDictionary(); }
void TForm1::AddDictionary1Click() { archiveCommands_->AddDictionary(); }
void TForm1::RemoveDictionary1Click() { archiveCommands_->RemoveDictionary(); }
void TForm1::RenameDictionary1Click() { archiveCommands_->RenameDictionary(); }
void TForm1::ImportFolder1Click() { archiveCommands_->ImportFolder(); }
void TForm1::NextDictionary1Click() { StepDictionary(1); }
void TForm1::PreviousDictionary1Click() { StepDictionary(-1); }

void TForm1::CopyImage1Click() {
    if (!view_->Shown())
        return;
    // The picture as shown, with each texel's alpha (the grey alpha view has none).
    QGuiApplication::clipboard()->setImage(view_->ClipboardPicture());
    layout_.status->SetStatus("Copied " + QString::number(view_->State().TexWidth) + " x " +
                      QString::number(view_->State().TexHeight) + " texels to the clipboard.");
}

void TForm1::FindAll1Click() {
    if (!findAll_) {
        findAll_ = new TFindAllDialog(this);
        findAll_->Open = [this](const TextureMatch& match) { RunCommand([this, match] { OpenMatch(match); }); };
    }
    // The open archive, or the folder of the open dictionary; without either, one chosen.
    std::string scope = session_.SearchScope();
    if (scope.empty())
        scope = S(ui_->ChooseFolder(this, "Find in All Dictionaries", QString()));
    if (!scope.empty())
        findAll_->Present(scope);
}

void TForm1::About1Click() { ui_->ShowMessage(this, AboutText()); }

void TForm1::RegisterFileType1Click() {
    if (ui_->AskYesNo(this, "Register File Type", "Do you want to associate Kelmora with the file extension .txd?"))
        RegisterFileType();
}

void TForm1::StepDictionary(int step) {
    if (session_.File().empty())
        return;
    if (session_.Archive() && layout_.lbArchive->count() > 0) {
        if (!archiveCommands_->Step(step))
            layout_.status->SetStatus(step > 0 ? "This is the last dictionary of the archive."
                                       : "This is the first dictionary of the archive.");
        return;
    }
    const std::string next = NeighbourDictionary(session_.File(), step);
    if (next.empty())
        layout_.status->SetStatus(step > 0 ? "This is the last dictionary of its folder."
                                   : "This is the first dictionary of its folder.");
    else
        OpenFile(next);
}

void TForm1::FollowDocument() { actions_->Follow(TActionState::Of(session_)); }
