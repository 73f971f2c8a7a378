#include "viewer/KelmoraU.h"
#include "base/paths.h"

#include "base/version.h"

#include <QApplication>
#include <QClipboard>
#include <QListView>
#include <QScrollBar>
#include <QDockWidget>
#include <QTreeWidget>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QFileInfo>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QMimeData>
#include <cmath>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <cstring>
#include <new>

#include "archive/archive_edit.h"
#include "dictionary/colour_rules.h"
#include "dictionary/dictionary.h"
#include "dictionary/texture_properties.h"
#include "dictionary/dictionary_walk.h"
#include "base/atomic_output.h"
#include "base/errors.h"
#include "base/ordered_pool.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "base/text.h"
#include "viewer/KelmoraU2.h"
#include "export/destination.h"
#include "viewer/dialog_services.h"
#include "export/image_writers.h"
#include "editing/put_back.h"
#include "export/output_formats.h"
#include "images/image_input.h"
#include "export/safe_name.h"
#include "shell/file_type_registration.h"
#include "viewer/desktop_ui.h"
#include "viewer/archive_panel.h"
#include "viewer/palette_view.h"
#include "viewer/picture_box.h"
#include "viewer/thumbnails.h"

using namespace kelmora;

TForm1* Form1 = nullptr;

namespace {

const QString kTitle = QString("Kelmora ") + kelmora::kVersion;

QString Q(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
// Texts from the dictionary are Windows-1252.
QString FromFile(const std::string& cp1252) { return Q(Cp1252ToUtf8(cp1252)); }
std::string S(const QString& q) { return q.toUtf8().toStdString(); }

// List lines are 13 pixels high as designed, or as high as the font needs.
class LineHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // In the grid the selected thumbnail gets a frame: the style's selection
    // colour over the picture would change the very colours it shows.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* view = qobject_cast<const QListView*>(parent());
        if (!view || view->viewMode() != QListView::IconMode || !(option.state & QStyle::State_Selected)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_Selected;
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::Highlight), 3));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5));
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        // The grid of thumbnails has cells of its own.
        if (const auto* view = qobject_cast<const QListView*>(parent()); view && view->viewMode() == QListView::IconMode)
            return view->gridSize().isValid() ? view->gridSize() - QSize(4, 4) : s;
        s.setHeight(std::max(13, option.fontMetrics.height()));
        return s;
    }
};

QImage ToQImage(const IndexedImage& img) {
    if (img.Width == 0 || img.Height == 0)
        return {};
    QImage q(static_cast<int>(img.Width), static_cast<int>(img.Height), QImage::Format_Indexed8);
    QList<QRgb> table;
    table.reserve(256);
    for (const Rgb& c : img.Colours)
        table.append(qRgb(c.Red, c.Green, c.Blue));
    // Qt gives a null image when the memory for it cannot be had.
    if (q.isNull())
        throw std::bad_alloc();
    q.setColorTable(table);
    for (std::uint32_t y = 0; y < img.Height; ++y)
        std::memcpy(q.scanLine(static_cast<int>(y)), img.Row(y), img.Width);
    return q;
}

QImage ToQImage(const RgbImage& img) {
    if (img.Width == 0 || img.Height == 0)
        return {};
    QImage q(static_cast<int>(img.Width), static_cast<int>(img.Height), QImage::Format_RGB888);
    if (q.isNull())
        throw std::bad_alloc();
    for (std::uint32_t y = 0; y < img.Height; ++y)
        std::memcpy(q.scanLine(static_cast<int>(y)), img.Row(y), 3 * static_cast<std::size_t>(img.Width));
    return q;
}

QImage ToQImage(const Picture& p) {
    return std::visit([](const auto& img) { return ToQImage(img); }, p);
}

// The texture list: type-to-find goes by the textures' names, not by the
// numbers every caption starts with.
class TTextureList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<QString(int row)> NameOf;

    void keyboardSearch(const QString& search) override {
        if (!NameOf || search.isEmpty())
            return;
        // Keys typed in quick succession make one search text, as in any list.
        if (typed_.isValid() && typed_.elapsed() < QApplication::keyboardInputInterval())
            text_ += search;
        else
            text_ = search;
        typed_.restart();
        const int n = count();
        const int from = std::max(0, currentRow());
        // A new first key looks from the next line on, so that repeating it steps.
        const int first = text_.size() == 1 ? from + 1 : from;
        for (int k = 0; k < n; ++k) {
            const int row = (first + k) % n;
            if (!item(row)->isHidden() && NameOf(row).startsWith(text_, Qt::CaseInsensitive)) {
                setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
                return;
            }
        }
    }

private:
    QString text_;
    QElapsedTimer typed_;
};

QFrame* Panel(QWidget* parent, QFrame::Shadow shadow) {
    auto* f = new QFrame(parent);
    f->setFrameShape(shadow == QFrame::Plain ? QFrame::NoFrame : QFrame::Panel);
    f->setFrameShadow(shadow);
    return f;
}

} // namespace

TForm1::TForm1(const QStringList& args, std::shared_ptr<TUiServices> ui, std::function<std::uint32_t()> ticks)
    : ui_(ui ? std::move(ui) : std::make_shared<TDesktopUi>()), ticks_(ticks ? std::move(ticks) : SteadyTicks) {
    Form1 = this;
#ifdef _WIN32
    setFont(QFont("MS Sans Serif", 8));
#endif
    BuildLayout();
    BuildMenu();
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
    thumbnailer_.reset(); // the worker stops before anything it reports to goes
    // Closing hides the dock, whose action would call into what is no TForm1 by then.
    disconnect(Properties1, nullptr, this, nullptr);
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::BuildLayout() {
    Splitter2 = new QSplitter(Qt::Horizontal, this);
    Splitter2->setChildrenCollapsible(false);
    setCentralWidget(Splitter2);

    Panel1 = Panel(Splitter2, QFrame::Plain);
    auto* left = new QVBoxLayout(Panel1);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    // The archive's dictionaries above the texture list, sized against it by the user.
    splArchive = new QSplitter(Qt::Vertical, Panel1);
    splArchive->setChildrenCollapsible(false);
    pnlArchive = new TArchivePanel(splArchive);
    lbArchive = pnlArchive->List();
    lbArchive->setItemDelegate(new LineHeightDelegate(lbArchive));
    pnlArchive->hide();
    auto* textures = new QWidget(splArchive);
    auto* texturesLayout = new QVBoxLayout(textures);
    texturesLayout->setContentsMargins(0, 0, 0, 0);
    texturesLayout->setSpacing(0);
    splArchive->addWidget(pnlArchive);
    splArchive->addWidget(textures);
    splArchive->setStretchFactor(1, 2);
    left->addWidget(splArchive, 1);
    auto* findRow = new QHBoxLayout();
    findRow->setContentsMargins(0, 2, 0, 2);
    edtFind = new QLineEdit(Panel1);
    edtFind->setPlaceholderText("Find (Ctrl+K)");
    edtFind->setClearButtonEnabled(true);
    edtFind->installEventFilter(this);
    cmbxSort = new QComboBox(Panel1);
    cmbxSort->addItems({"Number", "Name", "Size", "Depth"});
    cmbxSort->setToolTip("Sort the textures by");
    findRow->addWidget(edtFind, 1);
    findRow->addWidget(cmbxSort);
    texturesLayout->addLayout(findRow);
    auto* list = new TTextureList(textures);
    list->NameOf = [this](int row) {
        const QListWidgetItem* item = lb->item(row);
        const int entry = item ? item->data(Qt::UserRole).toInt() : -1;
        return entry >= 0 && static_cast<std::size_t>(entry) < Entries.size() ? FromFile(Entries[entry].Name) : QString();
    };
    lb = list;
    lb->installEventFilter(this);
    // A caption too long for the list loses its middle, never its size and depth.
    lb->setTextElideMode(Qt::ElideMiddle);
    lb->setItemDelegate(new LineHeightDelegate(lb));
    lb->setUniformItemSizes(true);
    texturesLayout->addWidget(lb, 1);

    Panel2 = Panel(Panel1, QFrame::Sunken);
    auto* pal = new QHBoxLayout(Panel2);
    pal->setContentsMargins(1, 1, 1, 1);
    ImgPal = new TPictureBox(Panel2);
    ImgPal->setFixedSize(256, 10);
    ImgPal->hide();
    palView = new TPaletteView(Panel2);
    palView->Hovered = [this](int entry) {
        if (entry < 0 || Decoded.TrueColour) {
            ReadoutText->clear();
            return;
        }
        const PaletteEntry& e = Decoded.Palette[static_cast<std::size_t>(entry)];
        ReadoutText->setText(QString("entry %1: %2 %3 %4 %5").arg(entry).arg(e.R).arg(e.G).arg(e.B).arg(e.A));
    };
    palView->Clicked = [this](int entry) { RunCommand([this, entry] { MarkEntry(entry == markedEntry_ ? -1 : entry); }); };
    pal->addWidget(palView);
    pal->addStretch(1);
    left->addWidget(Panel2);

    Panel3 = Panel(Panel1, QFrame::Sunken);
    Panel3->setMinimumHeight(21);
    auto* bottom = new QHBoxLayout(Panel3);
    bottom->setContentsMargins(4, 1, 4, 1);
    cbxAlpha = new QCheckBox("Draw &Alpha Channel", Panel3);
    bottom->addWidget(cbxAlpha);
    left->addWidget(Panel3);

    sbx = Panel(Splitter2, QFrame::Sunken);
    auto* right = new QVBoxLayout(sbx);
    right->setContentsMargins(0, 0, 0, 0);
    Image1 = new TPictureBox(sbx);
    right->addWidget(Image1);

    Splitter2->addWidget(Panel1);
    Splitter2->addWidget(sbx);
    Splitter2->setStretchFactor(1, 1);
    Panel1->setMinimumWidth(ImgPal->width() + 2);
    Splitter2->setSizes({258, 400});

    dockProperties = new QDockWidget("Properties", this);
    dockProperties->setObjectName("Properties");
    tvProperties = new QTreeWidget(dockProperties);
    tvProperties->setColumnCount(2);
    tvProperties->setHeaderLabels({"Property", "Value"});
    tvProperties->setRootIsDecorated(false);
    dockProperties->setWidget(tvProperties);
    addDockWidget(Qt::RightDockWidgetArea, dockProperties);
    dockProperties->hide();

    status = new QStatusBar(this);
    setStatusBar(status);
    StatusText = new QLabel(status);
    status->addWidget(StatusText, 1);
    ReadoutText = new QLabel(status);
    status->addPermanentWidget(ReadoutText);
    LevelText = new QLabel(status);
    status->addPermanentWidget(LevelText);
    ZoomText = new QLabel("100%", status);
    status->addPermanentWidget(ZoomText);
    Image1->ZoomChanged = [this] { ShowZoom(); };
    Image1->Hovered = [this](QPoint texel) { ShowReadout(texel); };
    setAcceptDrops(true);
    Progress = new QProgressBar(status);
    // The progress text in one line, however many textures.
    Progress->setMinimumWidth(Progress->fontMetrics().horizontalAdvance("Texture 00000 of 00000") + 40);
    Progress->hide();
    status->addPermanentWidget(Progress);
    CancelExport = new QPushButton("Cancel", status);
    CancelExport->hide();
    CancelExport->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(CancelExport, &QPushButton::clicked, this, [this] { cancelRequested_ = true; });
    status->addPermanentWidget(CancelExport);

    // A selection by the user runs lbClick; the list's own focus handling may move
    // its current line without selecting it, which shows nothing.
    connect(lb, &QListWidget::itemSelectionChanged, this, [this] {
        if (!settingSelection_ && SelectedRow() >= 0)
            RunCommand([this] { lbClick(); });
    });
    pnlArchive->Chosen = [this] {
        if (!settingSelection_)
            RunCommand([this] { lbArchiveClick(); });
    };
    connect(edtFind, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    // Thumbnails come from a worker thread; the grid asks for those in view first.
    thumbnailer_ = std::make_unique<TThumbnailWorker>(this, [this](std::uint64_t generation, int entry, const QImage& image) {
        if (generation != generation_ || image.isNull())
            return;
        thumbnails_[entry] = QIcon(QPixmap::fromImage(image));
        for (int row = 0; row < lb->count(); ++row)
            if (lb->item(row)->data(Qt::UserRole).toInt() == entry && Thumbnails1->isChecked())
                lb->item(row)->setIcon(thumbnails_[entry]);
    });
    connect(lb->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (Thumbnails1->isChecked())
            RequestThumbnails();
    });
    connect(cmbxSort, &QComboBox::currentIndexChanged, this, [this] { ApplySort(); });
    connect(cbxAlpha, &QCheckBox::toggled, this, [this](bool) { RunCommand([this] { cbxAlphaClick(); }); });
}

void TForm1::BuildMenu() {
    auto action = [this](QMenu* menu, const QString& text, void (TForm1::*handler)(), const QKeySequence& key = {}) {
        QAction* a = menu->addAction(text);
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); });
        return a;
    };
    auto checkable = [](QAction* a, bool on) {
        a->setCheckable(true);
        a->setChecked(on);
        return a;
    };

    QMenu* file = menuBar()->addMenu("&File");
    Open1 = action(file, "&Open...", &TForm1::Open1Click, QKeySequence("Ctrl+O"));
    file->setDefaultAction(Open1);
    Save1 = action(file, "Sa&ve", &TForm1::Save1Click, QKeySequence("Ctrl+Shift+S"));
    SaveAs1 = action(file, "Save &As...", &TForm1::SaveAs1Click);
    QMenu* extract = file->addMenu("E&xtract");
    SaveImage1 = action(extract, "&Actual Image...", &TForm1::SaveImage1Click, QKeySequence("Ctrl+S"));
    AllTexturesinfile1 = action(extract, "&Several Textures...", &TForm1::AllTexturesinfile1Click, QKeySequence("Ctrl+E"));
    file->addSeparator();
    NextDictionary1 = action(file, "&Next Dictionary", &TForm1::NextDictionary1Click, QKeySequence("Alt+Right"));
    PreviousDictionary1 =
        action(file, "Pre&vious Dictionary", &TForm1::PreviousDictionary1Click, QKeySequence("Alt+Left"));
    file->addSeparator();
    Exit1 = action(file, "&Exit", &TForm1::Exit1Click, QKeySequence("Ctrl+X"));

    QMenu* edit = menuBar()->addMenu("&Edit");
    CopyImage1 = action(edit, "&Copy Image", &TForm1::CopyImage1Click, QKeySequence("Ctrl+C"));
    Find1 = action(edit, "&Find Texture", &TForm1::Find1Click, QKeySequence("Ctrl+K"));
    edit->addSeparator();
    Undo1 = action(edit, "&Undo", &TForm1::Undo1Click, QKeySequence("Ctrl+Z"));
    Redo1 = action(edit, "&Redo", &TForm1::Redo1Click, QKeySequence("Ctrl+Y"));
    edit->addSeparator();
    ReplaceTexture1 = action(edit, "Re&place Texture...", &TForm1::ReplaceTexture1Click, QKeySequence("Ctrl+Shift+R"));
    AddTexture1 = action(edit, "&Add Texture...", &TForm1::AddTexture1Click, QKeySequence("Ctrl+Shift+A"));
    RemoveTexture1 = action(edit, "Re&move Texture", &TForm1::RemoveTexture1Click, QKeySequence("Ctrl+Del"));
    RenameTexture1 = action(edit, "Re&name Texture...", &TForm1::RenameTexture1Click, QKeySequence("F2"));

    QMenu* options = menuBar()->addMenu("&Options");
    Reload1 = action(options, "&Reload", &TForm1::Reload1Click, QKeySequence("Ctrl+R"));
    options->setDefaultAction(Reload1);
    options->addSeparator();
    // Toggling items change their own check mark before the handler runs.
    Stretch1 = checkable(action(options, "&Stretch Image", &TForm1::Stretch1Click), false);
    EnableFilter1 = checkable(action(options, "&Enable Filter", &TForm1::EnableFilter1Click, QKeySequence("Ctrl+F")), true);
    ba1 = checkable(action(options, "&Brighten Alphas", &TForm1::ba1Click), true);
    options->addSeparator();
    ShowPalette1 = checkable(action(options, "Show &Palette", &TForm1::ShowPalette1Click), true);
    ShowTransparency1 = checkable(action(options, "Show &Transparency", &TForm1::ShowTransparency1Click), false);
    options->addSeparator();
    RegisterFileType1 = action(options, "&Register &File Type", &TForm1::RegisterFileType1Click);

    QMenu* view = menuBar()->addMenu("&View");
    ZoomIn1 = action(view, "Zoom &In", &TForm1::ZoomIn1Click);
    ZoomIn1->setShortcuts({QKeySequence("Ctrl++"), QKeySequence("Ctrl+=")});
    ZoomOut1 = action(view, "Zoom &Out", &TForm1::ZoomOut1Click, QKeySequence("Ctrl+-"));
    ActualSize1 = action(view, "&Actual Size", &TForm1::ActualSize1Click, QKeySequence("Ctrl+0"));
    FitInWindow1 = action(view, "&Fit in Window", &TForm1::FitInWindow1Click, QKeySequence("Ctrl+9"));
    DarkCheckerboard1 = checkable(action(view, "&Dark Checkerboard", &TForm1::DarkCheckerboard1Click), false);
    Thumbnails1 = checkable(action(view, "&Thumbnails", &TForm1::Thumbnails1Click, QKeySequence("Ctrl+T")), false);
    Properties1 = dockProperties->toggleViewAction();
    connect(Properties1, &QAction::toggled, this, [this](bool shown) {
        if (!shown)
            return;
        const int n = SelectedEntry();
        if (displayOk_ && n >= 0)
            RunCommand([this, n] { FillProperties(*OpenShown(), Entries[static_cast<std::size_t>(n)], &Decoded); });
    });
    Properties1->setText("P&roperties");
    Properties1->setShortcut(QKeySequence("Ctrl+I"));
    view->addAction(Properties1);
    view->addSeparator();
    NextLevel1 = action(view, "Next &Level", &TForm1::NextLevel1Click, QKeySequence("Ctrl+PgDown"));
    PreviousLevel1 = action(view, "&Previous Level", &TForm1::PreviousLevel1Click, QKeySequence("Ctrl+PgUp"));

    // What the archive panel does with whole dictionaries; also its context menu.
    QMenu* archive = menuBar()->addMenu("&Archive");
    ExtractDictionary1 = action(archive, "E&xtract Dictionary File...", &TForm1::ExtractDictionary1Click);
    ReplaceDictionary1 = action(archive, "&Replace Dictionary From File...", &TForm1::ReplaceDictionary1Click);
    AddDictionary1 = action(archive, "&Add Dictionary...", &TForm1::AddDictionary1Click);
    RemoveDictionary1 = action(archive, "Re&move Dictionary", &TForm1::RemoveDictionary1Click);
    RenameDictionary1 = action(archive, "Re&name Dictionary...", &TForm1::RenameDictionary1Click);
    for (QAction* a : {ExtractDictionary1, ReplaceDictionary1, AddDictionary1, RemoveDictionary1, RenameDictionary1})
        lbArchive->addAction(a);
    UpdateArchiveActions();

    QMenu* help = menuBar()->addMenu("&Help");
    About1 = action(help, "&About...", &TForm1::About1Click);
    help->setDefaultAction(About1);
}

QString TForm1::ErrorBoxText(const std::string& what) { return Q(DefaultErrorText(what)); }

void TForm1::RunCommand(const std::function<void()>& command) {
    // During an export run only its Cancel button is taken.
    if (busy_)
        return;
    try {
        command();
    } catch (const std::bad_alloc&) {
        ui_->ShowError(this, ErrorBoxText("Out of memory"));
    } catch (const std::exception& e) {
        ui_->ShowError(this, ErrorBoxText(e.what()));
    }
}

void TForm1::FormCreate(const QStringList& args) {
    SetStatus("Kelmora started and ready...");
    CurrentFile.clear();
    for (qsizetype i = args.size(); i-- > 0;)
        if (FileExists(S(args[i])))
            CurrentFile = S(args[i]);
    // A folder is no file to open; the user is told rather than shown nothing.
    if (CurrentFile.empty())
        for (const QString& a : args)
            if (DirectoryExists(S(a))) {
                ui_->ShowMessage(this, a + " is a folder, not a texture dictionary.");
                break;
            }
    if (!CurrentFile.empty()) {
        setWindowTitle(QString(kTitle) + " - " + Q(FileNameOf(CurrentFile)));
        const std::string full = AbsolutePath(CurrentFile);
        ui_->SetOpenDirectory(Q(full.substr(0, full.size() - FileNameOf(full).size())));
        try {
            LoadCurrentFile();
        } catch (const std::exception& e) {
            // Shown before the window; the window then opens at its designed size.
            const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
            ui_->ShowError(this, ErrorBoxText(memory ? "Out of memory" : e.what()));
            return;
        }
    } else {
        setWindowTitle(kTitle);
        lb->setFocus();
    }
    maximisePosted_ = true;
    QMetaObject::invokeMethod(this, [this] { showMaximized(); }, Qt::QueuedConnection);
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (busy_) { // an export run has no cancel; the window closes when it ends
        e->ignore();
        return;
    }
    bool leave = true;
    RunCommand([&] { leave = MayLeaveDictionary(); });
    if (!leave) {
        e->ignore();
        return;
    }
    QMainWindow::closeEvent(e);
}

void TForm1::SetStatus(const QString& text) { StatusText->setText(text); }

std::string TForm1::DecimalSeparator() const { return S(QLocale().decimalPoint()); }

void TForm1::SelectLine(int row) {
    settingSelection_ = true;
    lb->setCurrentRow(row);
    settingSelection_ = false;
}

void TForm1::ClearDisplay() {
    tvProperties->clear();
    Image1->ClearPicture();
    ImgPal->ClearPicture();
    palView->SetColours({});
    SetStatus(QString());
    ReadoutText->clear();
    LevelText->clear();
    displayOk_ = false;
}

int TForm1::SelectedRow() const {
    const QListWidgetItem* item = lb->currentItem();
    return item && item->isSelected() ? lb->currentRow() : -1;
}

int TForm1::SelectedEntry() const {
    const QListWidgetItem* item = lb->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toInt() : -1;
}

void TForm1::Find1Click() {
    edtFind->setFocus();
    edtFind->selectAll();
}

void TForm1::ApplyFilter() {
    const QString text = edtFind->text().trimmed();
    for (int row = 0; row < lb->count(); ++row) {
        QListWidgetItem* item = lb->item(row);
        const int entry = item->data(Qt::UserRole).toInt();
        const TTexEntry& e = Entries[static_cast<std::size_t>(entry)];
        item->setHidden(!text.isEmpty() && !FromFile(e.Name).contains(text, Qt::CaseInsensitive) &&
                        !FromFile(e.Mask).contains(text, Qt::CaseInsensitive));
    }
}

void TForm1::ApplySort() {
    if (lb->count() == 0)
        return;
    const int selected = SelectedEntry();
    std::vector<QListWidgetItem*> items;
    settingSelection_ = true;
    while (lb->count() > 0)
        items.push_back(lb->takeItem(0));
    auto entry = [this](const QListWidgetItem* i) { return Entries[static_cast<std::size_t>(i->data(Qt::UserRole).toInt())]; };
    auto number = [](const QListWidgetItem* i) { return i->data(Qt::UserRole).toInt(); };
    std::stable_sort(items.begin(), items.end(), [&](const QListWidgetItem* a, const QListWidgetItem* b) {
        const TTexEntry ea = entry(a), eb = entry(b);
        switch (cmbxSort->currentIndex()) {
        case 1: {
            const int c = FromFile(ea.Name).compare(FromFile(eb.Name), Qt::CaseInsensitive);
            return c != 0 ? c < 0 : number(a) < number(b);
        }
        case 2: {
            const std::uint64_t sa = std::uint64_t{ea.Width} * ea.Height, sb = std::uint64_t{eb.Width} * eb.Height;
            return sa != sb ? sa > sb : number(a) < number(b); // largest first
        }
        case 3: return ea.Depth != eb.Depth ? ea.Depth > eb.Depth : number(a) < number(b);
        default: return number(a) < number(b);
        }
    });
    for (QListWidgetItem* item : items)
        lb->addItem(item);
    for (int row = 0; row < lb->count(); ++row)
        if (lb->item(row)->data(Qt::UserRole).toInt() == selected)
            lb->setCurrentRow(row);
    settingSelection_ = false;
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    // The menu's shortcuts work whichever widget has the focus: the find field
    // would take Ctrl+E as "end of line" and Ctrl+X as "cut".
    if (watched == edtFind && e->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(e);
        const QKeySequence typed(key->keyCombination());
        for (const QAction* a : {Open1, Reload1, EnableFilter1, SaveImage1, AllTexturesinfile1, Exit1})
            if (a->shortcut() == typed) {
                e->ignore();
                return true;
            }
    }
    if (e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        // "/" in the list starts a find, as in many viewers; Escape in the find field clears it.
        if (watched == lb && key->text() == "/") {
            Find1Click();
            return true;
        }
        if (watched == edtFind && key->key() == Qt::Key_Escape) {
            edtFind->clear();
            lb->setFocus();
            return true;
        }
        // Down and Return go from the find field to the first line it leaves.
        if (watched == edtFind && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return ||
                                   key->key() == Qt::Key_Enter)) {
            lb->setFocus();
            for (int row = 0; row < lb->count(); ++row)
                if (!lb->item(row)->isHidden()) {
                    if (row != SelectedRow())
                        lb->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
                    break;
                }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TForm1::LoadCurrentFile() {
    // The keys of the list (arrows, type-to-find, the menu's shortcuts) work at once.
    lb->setFocus();
    // A ".txd" is a dictionary whatever it holds; other files may be game archives.
    const bool txd = QString::fromStdString(FileNameOf(CurrentFile)).toLower().endsWith(".txd");
    if (!txd && IsGameArchive(CurrentFile)) {
        LoadArchive();
        return;
    }
    CurrentArchive.reset();
    CurrentSource = {CurrentFile};
    pnlArchive->SetDictionaries({});
    pnlArchive->hide();
    UpdateArchiveActions();
    LoadDictionary();
}

const ArchiveEntry* TForm1::ShownArchiveEntry() const {
    if (CurrentSource.Whole || !CurrentArchive)
        return nullptr;
    for (const ArchiveEntry& e : CurrentArchive->Entries)
        if (e.Offset == CurrentSource.Offset && e.Size == CurrentSource.Size)
            return &e;
    return nullptr;
}

QString TForm1::ShownFileName() const {
    QString name = Q(FileNameOf(CurrentFile));
    if (const ArchiveEntry* e = ShownArchiveEntry())
        name += "/" + Q(ShownText(e->Name));
    return name;
}

void TForm1::LoadArchive(const std::string& select) {
    settingSelection_ = true;
    lb->clear();
    settingSelection_ = false;
    pnlArchive->SetDictionaries({});
    ClearDisplay();
    ++generation_;
    Entries.clear();
    ExportMarks.clear();
    CurrentArchive.reset();
    CurrentSource = {CurrentFile};

    CurrentArchive = OpenGameArchive(CurrentFile);
    const std::vector<const ArchiveEntry*> dicts = CurrentArchive->Dictionaries();
    setWindowTitle(QString(kTitle) + " - " + Q(FileNameOf(CurrentFile)) + " - " + QString::number(dicts.size()) +
                   " dictionaries");
    pnlArchive->SetDictionaries(dicts);
    pnlArchive->show();
    UpdateArchiveActions();
    if (!CurrentArchive->Problems.empty()) {
        // One box for all of them: a damaged table can have thousands.
        // The reader names a few damaged entries in full and counts the rest.
        QString text = Q(FileNameOf(CurrentFile)) + ": some entries cannot be read as they are:";
        for (const std::string& problem : CurrentArchive->Problems)
            text += "\r\n" + Q(EscapeControls(problem));
        ui_->ShowMessage(this, text);
    }
    if (dicts.empty()) {
        SetStatus(Q(FileNameOf(CurrentFile)) + " holds no texture dictionary!");
        return;
    }
    int index = 0;
    for (std::size_t i = 0; i < dicts.size(); ++i)
        if (!select.empty() && SameNameIgnoringCase(dicts[i]->Name, select))
            index = static_cast<int>(i);
    pnlArchive->Select(index);
    lbArchiveClick();
}

void TForm1::lbArchiveClick() {
    const int row = pnlArchive->Selected();
    if (!CurrentArchive || row < 0)
        return;
    // Unsaved edits of the dictionary shown are asked about first; kept, the
    // archive's list goes back to it.
    if (modified_ && !MayLeaveDictionary()) {
        if (const ArchiveEntry* shown = ShownArchiveEntry()) {
            const std::vector<const ArchiveEntry*> dicts = CurrentArchive->Dictionaries();
            for (std::size_t i = 0; i < dicts.size(); ++i)
                if (dicts[i]->Name == shown->Name)
                    pnlArchive->Select(static_cast<int>(i));
        }
        return;
    }
    ForgetEdits();
    const std::vector<const ArchiveEntry*> dicts = CurrentArchive->Dictionaries();
    if (static_cast<std::size_t>(row) >= dicts.size())
        return;
    CurrentSource = CurrentArchive->Location(*dicts[static_cast<std::size_t>(row)]);
    LoadDictionary();
}

void TForm1::LoadDictionary() {
    settingSelection_ = true;
    lb->clear();
    settingSelection_ = false;
    ClearDisplay();
    ++generation_;
    Entries.clear();
    ExportMarks.clear();

    // CurrentFile names what is walked unless it is the open archive.
    const bool inArchive = CurrentArchive &&
                           (CurrentArchive->DataFile == CurrentFile || CurrentArchive->TableFile == CurrentFile) &&
                           CurrentSource.File == CurrentArchive->DataFile;
    if (!inArchive) {
        CurrentArchive.reset();
        CurrentSource = {CurrentFile};
        pnlArchive->hide();
        UpdateArchiveActions();
    }
    const Dictionary dictionary(OpenShown());
    if (!dictionary.IsDictionary()) {
        // Another kind of file: one clear message, and nothing listed.
        setWindowTitle(QString(kTitle) + " - " + ShownFileName());
        ui_->ShowMessage(this, ShownFileName() + " is not a texture dictionary.");
        return;
    }
    WalkResult walk = dictionary.Walk();
    Entries = std::move(walk.Entries);
    ExportMarks.assign(Entries.size(), false);
    const QString fileName = ShownFileName();
    // An asterisk says there are unsaved changes; a walk that stopped counts the
    // lines it listed, not what the header claims.
    const std::size_t counted = walk.End == WalkEnd::Stopped ? walk.Listed : walk.Count;
    setWindowTitle(QString(kTitle) + " - " + fileName + (modified_ ? "*" : "") + " - " + QString::number(counted) +
                   " texture(s)");
    settingSelection_ = true;
    for (std::size_t i = 0; i < walk.Listed; ++i) {
        const QString caption = Q(ShownText(Entries[i].Caption));
        auto* item = new QListWidgetItem(caption);
        item->setToolTip(caption); // the whole caption, however narrow the list
        item->setData(Qt::UserRole, static_cast<int>(i));
        lb->addItem(item);
    }
    lb->setCurrentRow(-1);
    settingSelection_ = false;
    thumbnails_.clear();
    ApplySort();
    ApplyFilter();
    if (Thumbnails1->isChecked())
        Thumbnails1Click(); // names and thumbnails for the new dictionary

    if (walk.End == WalkEnd::Stopped) {
        SetStatus("ERROR!");
        ui_->ShowMessage(this, fileName + "\r\n\r\n" + FromFile(walk.Report.Message()));
        return;
    }
    if (walk.Count > 0) {
        // The first line as sorted that the find text leaves.
        int first = 0;
        while (first < lb->count() && lb->item(first)->isHidden())
            ++first;
        SelectLine(first < lb->count() ? first : 0);
        ShowTexture();
    } else {
        SetStatus(fileName + " is empty!");
    }
}

void TForm1::ShowTexture() { ShowLevel(0); }

void TForm1::ShowLevel(int level) {
    ClearDisplay();
    const int n = SelectedEntry();
    if (lb->count() == 0 || n < 0 || static_cast<std::size_t>(n) >= Entries.size())
        return;
    // Everything this display needs is taken now: input run below may open
    // another dictionary, and a display of the old one must not go on then.
    const TTexEntry entry = Entries[static_cast<std::size_t>(n)];
    const SourceLocation location = CurrentSource;
    const std::uint64_t generation = generation_;
    // Before the window is first shown there is nothing to repaint and no input
    // yet; handling events then would map the window before its state is final.
    if (isVisible())
        QCoreApplication::processEvents();
    if (AfterPendingInput)
        AfterPendingInput();
    // Input run above may have opened another dictionary or selected another
    // line; the display it ran then shows what is current, this one would not.
    if (generation != generation_ || SelectedEntry() != n)
        return;
    const std::uint32_t start = ticks_();

    // Every display reads the file anew: a file changed on disk shows what it holds now.
    const std::shared_ptr<const ByteSource> source = edited_ ? OpenShown() : OpenLocation(location);
    cbxAlpha->setEnabled(false);
    // The old grid goes first, so that a large texture never needs room for two.
    std::vector<std::uint8_t>().swap(Decoded.Pixels);
    std::vector<PaletteEntry>().swap(Decoded.Texels);
    DecodedTexture decoded =
        DecodeTexture(*source, entry, {EnableFilter1->isChecked(), static_cast<std::uint32_t>(level)});
    const DecodeResult r = decoded.Result;
    ApplyDecoded(Decoded, std::move(decoded));
    // The panel is filled only while it is shown: it reads the whole picture.
    if (!dockProperties->isHidden())
        FillProperties(*source, entry, r.Ok() ? &Decoded : nullptr);
    if (!r.Ok()) {
        ui_->ShowMessage(this, Q(r.Message));
        return;
    }
    levelShown_ = level;
    levelCount_ = r.LevelCount;
    if (levelCount_ > 1)
        LevelText->setText(QString("level %1 of %2 (%3 x %4)")
                               .arg(level + 1)
                               .arg(levelCount_)
                               .arg(Decoded.TexWidth)
                               .arg(Decoded.TexHeight));

    const bool alpha = cbxAlpha->isChecked(), brighten = ba1->isChecked();
    // A true-colour texture has no palette: its strip stays empty.
    if (ShowPalette1->isChecked() && !Decoded.TrueColour) {
        QImage strip(256, 10, QImage::Format_RGB32);
        strip.fill(Qt::white);
        QPainter p(&strip);
        const bool four = Decoded.TexDepth == 4;
        for (int i = 0; i < (four ? 16 : 256); ++i) {
            Rgb c = ViewColour(Decoded.Palette[static_cast<std::size_t>(i)], alpha, brighten);
            p.fillRect(four ? QRect(16 * i, 0, 16, 9) : QRect(i, 0, 1, 9), QColor(c.Red, c.Green, c.Blue));
        }
        p.end();
        ImgPal->SetPicture(strip);
        std::vector<QColor> cells;
        for (int i = 0; i < (four ? 16 : 256); ++i) {
            const Rgb c = ViewColour(Decoded.Palette[static_cast<std::size_t>(i)], alpha, brighten);
            cells.emplace_back(c.Red, c.Green, c.Blue);
        }
        palView->SetColours(cells);
    }

    shown_ = MakePicture(Decoded, alpha, brighten);
    // Every level is shown at the size of level 0; the status bar says its own.
    shownSize_ = QSize(static_cast<int>(r.Width), static_cast<int>(r.Height));
    markedEntry_ = -1;
    ShowPicture(false);
    cbxAlpha->setEnabled(true);
    displayOk_ = true;
    ShowZoom(); // the readout of a level says its own texels' scale
    const std::uint32_t elapsed = ticks_() - start;
    SetStatus("Texture " + QString::number(SelectedEntry() + 1) + " loaded within " +
              Q(FormatSeconds(elapsed, DecimalSeparator())) +
              " seconds. Palette offset: " + QString::number(r.PaletteOffset) +
              "; Image offset: " + QString::number(r.ImageOffset));
}

void TForm1::Open1Click() {
    if (!MayLeaveDictionary())
        return;
    QString path = ui_->ChooseOpenFile(this);
    if (path.isEmpty())
        return;
    OpenFile(S(path));
}

bool TForm1::MayOpen(const std::string& path) {
    const QString name = Q(FileNameOf(path));
    if (DirectoryExists(path)) {
        ui_->ShowMessage(this, Q(path) + " is a folder, not a texture dictionary.");
        return false;
    }
    const bool txd = name.toLower().endsWith(".txd");
    if (!txd && IsGameArchive(path)) {
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
    ForgetEdits();
    CurrentFile = path;
    CurrentSource = {CurrentFile};
    setWindowTitle(QString(kTitle) + " - " + Q(FileNameOf(CurrentFile)));
    LoadCurrentFile();
}

// The colours with each texel's alpha (brightened as the menu says), to be
// drawn over the checkerboard.
QImage TForm1::TransparencyPicture() const {
    const std::uint32_t w = Decoded.TexWidth, h = Decoded.TexHeight;
    QImage q(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32);
    if (q.isNull())
        throw std::bad_alloc();
    const bool brighten = ba1->isChecked();
    for (std::uint32_t y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(q.scanLine(static_cast<int>(y)));
        for (std::uint32_t x = 0; x < w; ++x) {
            const PaletteEntry e = Decoded.Colour(x, y);
            line[x] = qRgba(e.R, e.G, e.B, brighten ? BrightenAlpha(e.A) : e.A);
        }
    }
    return q;
}

void TForm1::ShowReadout(QPoint texel) {
    if (!displayOk_ || texel.x() < 0) {
        ReadoutText->clear();
        return;
    }
    const auto x = static_cast<std::uint32_t>(texel.x()), y = static_cast<std::uint32_t>(texel.y());
    if (x >= Decoded.TexWidth || y >= Decoded.TexHeight) {
        ReadoutText->clear();
        return;
    }
    const PaletteEntry e = Decoded.Colour(x, y);
    QString text = QString("%1, %2: ").arg(x).arg(y);
    if (!Decoded.TrueColour)
        text += QString("index %1, ").arg(Decoded.Pixel(x, y));
    ReadoutText->setText(text + QString("%1 %2 %3 %4").arg(e.R).arg(e.G).arg(e.B).arg(e.A));
}

void TForm1::ShowPicture(bool keepView) {
    const bool transparency = ShowTransparency1->isChecked() && !cbxAlpha->isChecked();
    Image1->SetCheckerboard(transparency);
    QImage picture = transparency ? TransparencyPicture() : ToQImage(shown_);
    if (markedEntry_ >= 0 && !Decoded.TrueColour) {
        // The texels of the marked entry as they are, every other one faded to grey.
        picture = picture.convertToFormat(QImage::Format_ARGB32);
        for (std::uint32_t y = 0; y < Decoded.TexHeight; ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(static_cast<int>(y)));
            for (std::uint32_t x = 0; x < Decoded.TexWidth; ++x)
                if (Decoded.Pixel(x, y) != markedEntry_) {
                    const QRgb c = line[x];
                    line[x] = qRgba((qRed(c) + 2 * 128) / 3, (qGreen(c) + 2 * 128) / 3, (qBlue(c) + 2 * 128) / 3, qAlpha(c));
                }
        }
    }
    // The same texture marked anew stays where the user moved it.
    const QPointF pan = Image1->Pan();
    Image1->SetPicture(picture, shownSize_);
    if (keepView)
        Image1->SetPan(pan);
}

void TForm1::MarkEntry(int entry) {
    if (!displayOk_ || Decoded.TrueColour)
        return;
    markedEntry_ = entry;
    palView->SetMarked(entry);
    ShowPicture(true);
    if (entry >= 0) {
        std::size_t count = 0;
        for (std::uint8_t i : Decoded.Pixels)
            count += i == entry;
        SetStatus(QString("Entry %1 is used by %2 texel(s).").arg(entry).arg(count));
    }
}

void TForm1::ShowTransparency1Click() { ShowTexture(); }
// Zoom and stretch exclude each other: a zoom command ends the stretch.
void TForm1::Unstretch() {
    if (Stretch1->isChecked()) {
        Stretch1->setChecked(false);
        Stretch1Click();
    }
}
void TForm1::ZoomIn1Click() {
    Unstretch();
    Image1->ZoomIn();
}
void TForm1::ZoomOut1Click() {
    Unstretch();
    Image1->ZoomOut();
}
void TForm1::ActualSize1Click() {
    Unstretch();
    Image1->SetZoomMode(TPictureBox::ZoomMode::Actual);
}
void TForm1::FitInWindow1Click() {
    Unstretch();
    Image1->SetZoomMode(TPictureBox::ZoomMode::Fit);
}

void TForm1::ShowZoom() {
    if (Image1->Stretch()) {
        ZoomText->setText("Stretched");
        return;
    }
    // Levels are drawn at level 0's size: a texel of level n is larger by that much.
    const double levelScale =
        levelShown_ > 0 && displayOk_ && Decoded.TexWidth > 0 ? double(shownSize_.width()) / Decoded.TexWidth : 1;
    const double percent = Image1->Zoom() * levelScale * 100;
    const QString value = std::abs(percent - std::round(percent)) < 0.01 ? QString::number(std::lround(percent)) + "%"
                                                                         : QString::number(percent, 'f', 1) + "%";
    ZoomText->setText(Image1->Mode() == TPictureBox::ZoomMode::Fit ? "Fit " + value : value);
}

void TForm1::NextLevel1Click() {
    if (displayOk_ && static_cast<std::size_t>(levelShown_) + 1 < levelCount_)
        ShowLevel(levelShown_ + 1);
}

void TForm1::PreviousLevel1Click() {
    if (displayOk_ && levelShown_ > 0)
        ShowLevel(levelShown_ - 1);
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    if (!busy_ && e->mimeData()->hasUrls() && !e->mimeData()->urls().isEmpty() &&
        e->mimeData()->urls().first().isLocalFile())
        e->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* e) {
    const QString path = QDir::toNativeSeparators(e->mimeData()->urls().first().toLocalFile());
    e->acceptProposedAction();
    // An image dropped while a texture is shown replaces it, after a question.
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool image = suffix == "png" || suffix == "tga" || suffix == "bmp" || suffix == "jpg" || suffix == "jpeg";
    const int n = SelectedEntry();
    if (image && displayOk_ && n >= 0) {
        RunCommand([this, path, n] {
            if (ui_->AskYesNo(this, "Replace Texture",
                              "Replace texture " + QString::number(n + 1) + " (" +
                                  FromFile(Entries[static_cast<std::size_t>(n)].Name) + ") by " + path + "?"))
                ReplaceShownTexture(S(path));
        });
        return;
    }
    RunCommand([this, path] { OpenFile(S(path)); });
}

void TForm1::lbClick() { ShowTexture(); }
void TForm1::cbxAlphaClick() { ShowTexture(); }
void TForm1::Reload1Click() {
    // Reload reads the file: edits go only when the user lets them.
    if (modified_) {
        if (!MayLeaveDictionary())
            return;
        LoadDictionary();
        return;
    }
    ShowTexture();
}
void TForm1::EnableFilter1Click() {
    // Thumbnails were made with the other filter.
    thumbnails_.clear();
    ++generation_;
    if (Thumbnails1->isChecked())
        Thumbnails1Click();
    ShowTexture();
}
void TForm1::ba1Click() { ShowTexture(); }
void TForm1::Stretch1Click() {
    Image1->SetStretch(Stretch1->isChecked());
    ShowZoom();
}
void TForm1::ShowPalette1Click() { Panel2->setVisible(ShowPalette1->isChecked()); }
void TForm1::Exit1Click() { close(); }

void TForm1::About1Click() {
    ui_->ShowMessage(this, QString("Kelmora\r\n") + "Version " + kelmora::kVersion + "\r\n" + "Released " +
                               kelmora::kReleaseDate + "\r\n" +
                           "\r\n"
                           "Written by the Kelmora developers\r\n"
                           "Manual: man kelmora and man kelmora-cli\r\n"
                           "Free software under the GNU GPL, version 3 or later (LICENSE)\r\n"
                           "\r\n"
                           "JPEG images are compressed using\r\n"
                           "maximum quality.\r\n"
                           "\r\n"
                           "Many thanks to the fellow modder whose hint\r\n"
                           "about the reordered palette solved the colour\r\n"
                           "problem of 8-bit textures!");
}

void TForm1::SaveImage1Click() {
    const int n = SelectedEntry();
    if (lb->count() == 0 || n < 0 || static_cast<std::size_t>(n) >= Entries.size())
        return;
    // Without a picture on screen there is nothing to save, and the user is told.
    if (!displayOk_) {
        SetStatus("Nothing to save: no texture is shown.");
        return;
    }
    const TTexEntry& e = Entries[static_cast<std::size_t>(n)];
    const QString proposed = Q(SafeFileName(Cp1252ToUtf8(cbxAlpha->isChecked() ? e.AlphaName : e.Name)));
    QString path;
    int filter = 1;
    const std::string full = AbsolutePath(CurrentFile);
    const QString dictionaryDir = Q(full.substr(0, full.size() - FileNameOf(full).size()));
    if (!ui_->ChooseSaveFile(this, proposed, dictionaryDir, path, filter))
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
        if (FileExists(S(path)) &&
            !ui_->AskYesNo(this, "Overwrite existing file?", path + "\r\nalready exists! Overwrite?"))
            return;
    }
    if (format) {
        RemoveStaleTemporariesBeside(S(path));
        format->Write(S(path), Decoded, shown_, ba1->isChecked());
    }
}

void TForm1::AllTexturesinfile1Click() {
    if (lb->count() == 0 || SelectedRow() < 0)
        return;
    bool confirmed = false;
    {
        // Inside an archive the dictionary's own name stands beside the archive.
        std::string dictionaryPath = CurrentFile;
        if (const ArchiveEntry* e = ShownArchiveEntry())
            dictionaryPath = CurrentFile.substr(0, CurrentFile.size() - FileNameOf(CurrentFile).size()) +
                             SafeFileName(Cp1252ToUtf8(e->Name));
        TForm2 dialog(this, *ui_, Export.DestDir, dictionaryPath);
        SubDirName = SubDirNameOf(dictionaryPath);
        dialog.Fill(Entries, SubDirName);
        dialog.FitTexts();
        if (ui_->RunModal(&dialog) == QDialog::Accepted) {
            std::vector<bool> marks = dialog.Marks();
            for (std::size_t i = 0; i < ExportMarks.size() && i < marks.size(); ++i)
                ExportMarks[i] = marks[i];
            Export.ExpAlphas = dialog.cbx2->isChecked();
            Export.ExpOverwrite = dialog.cbx3->isChecked();
            Export.ExpFilter = dialog.cbx4->isChecked();
            Export.ExpBrighten = dialog.cbx5->isChecked();
            Export.ExpFormat = static_cast<std::uint8_t>(dialog.cmbx->currentIndex());
            confirmed = true;
        }
    }
    if (confirmed)
        ExportSelected();
}

void TForm1::ExportSelected() {
    ClearDisplay();
    // The run keeps the window painted and its progress visible, but takes no
    // other command until it ends.
    struct BusyScope {
        TForm1* f;
        explicit BusyScope(TForm1* form) : f(form) {
            f->busy_ = true;
            f->menuBar()->setEnabled(false);
            f->centralWidget()->setEnabled(false);
            f->Progress->setValue(0);
            f->Progress->show();
            f->CancelExport->show();
            f->cancelRequested_ = false;
        }
        ~BusyScope() {
            f->Progress->hide();
            f->CancelExport->hide();
            f->centralWidget()->setEnabled(true);
            f->menuBar()->setEnabled(true);
            f->busy_ = false;
        }
    } busy(this);

    ExportCallbacks cb;
    cb.Ticks = ticks_;
    cb.AskOverwrite = [this](const OverwriteQuestion& q) { return ui_->AskYesNo(this, Q(q.Caption), Q(q.Text)); };
    cb.Progress = [this](std::size_t done, std::size_t marked, std::size_t) {
        Progress->setMaximum(static_cast<int>(marked));
        Progress->setValue(static_cast<int>(done));
        Progress->setFormat(QString("Texture %1 of %2").arg(done + 1).arg(marked));
        // Input is taken too, for the Cancel button; every command waits while busy.
        QCoreApplication::processEvents();
    };
    cb.Cancelled = [this] { return cancelRequested_; };
    cb.Refused = [this](std::size_t, const std::string& message) { ui_->ShowMessage(this, Q(message)); };
    auto inputs = std::make_shared<InputSet>();
    inputs->Add(CurrentFile);
    if (CurrentArchive) {
        inputs->Add(CurrentArchive->TableFile);
        inputs->Add(CurrentArchive->DataFile);
    }
    Export.Inputs = inputs;
    Export.Jobs = CoreCount(); // the run's files and questions are the same for any number
    const std::shared_ptr<const ByteSource> source = OpenShown();
    ExportOutcome r = RunExport(*source, Entries, ExportMarks, Export, Decoded, cb);
    if (!r.Completed) {
        ui_->ShowMessage(this, Q(r.Message));
        return;
    }
    ShowTexture();
    SetStatus(Q(ExportSummary(r.Exported, static_cast<std::size_t>(lb->count()), r.ElapsedMs, Export.DestDir,
                              DecimalSeparator(), r.Renamed, r.Cancelled)));
}

void TForm1::FillProperties(const ByteSource& source, const TTexEntry& entry, const DecodeState* picture) {
    tvProperties->clear();
    for (const auto& [label, value] : DescribeTexture(source, entry, picture)) {
        auto* item = new QTreeWidgetItem({Q(label), Q(value)});
        item->setToolTip(1, Q(value)); // long values are cut in a narrow panel
        tvProperties->addTopLevelItem(item);
    }
    tvProperties->resizeColumnToContents(0);
}

void TForm1::CopyImage1Click() {
    if (!displayOk_)
        return;
    // The picture as shown, with each texel's alpha (the grey alpha view has none).
    const bool alpha = cbxAlpha->isChecked();
    QGuiApplication::clipboard()->setImage(alpha ? ToQImage(shown_) : TransparencyPicture());
    SetStatus("Copied " + QString::number(Decoded.TexWidth) + " x " + QString::number(Decoded.TexHeight) +
              " texels to the clipboard.");
}

void TForm1::Thumbnails1Click() {
    const bool grid = Thumbnails1->isChecked();
    lb->setViewMode(grid ? QListView::IconMode : QListView::ListMode);
    // Thumbnails differ in shape and arrive one by one; list lines are alike.
    lb->setUniformItemSizes(!grid);
    if (grid) {
        lb->setIconSize(QSize(TThumbnailWorker::kSize, TThumbnailWorker::kSize));
        lb->setGridSize(QSize(TThumbnailWorker::kSize + 40, TThumbnailWorker::kSize + 36));
        lb->setResizeMode(QListView::Adjust);
        lb->setMovement(QListView::Static);
        lb->setWordWrap(true);
    } else {
        lb->setGridSize(QSize());
        lb->setWordWrap(false);
    }
    // In the grid each thumbnail has its name below; in the list, the caption.
    for (int row = 0; row < lb->count(); ++row) {
        QListWidgetItem* item = lb->item(row);
        const int entry = item->data(Qt::UserRole).toInt();
        const TTexEntry& e = Entries[static_cast<std::size_t>(entry)];
        item->setText(grid ? FromFile(e.Name) : Q(ShownText(e.Caption)));
        const auto thumb = thumbnails_.find(entry);
        item->setIcon(grid && thumb != thumbnails_.end() ? thumb->second : QIcon());
    }
    if (grid)
        RequestThumbnails();
    else
        thumbnailer_->Cancel();
    if (lb->currentItem())
        lb->scrollToItem(lb->currentItem());
}

void TForm1::RequestThumbnails() {
    if (!Thumbnails1->isChecked() || lb->count() == 0)
        return;
    std::deque<TThumbnailWorker::Job> visible, rest;
    const QRect view = lb->viewport()->rect();
    for (int row = 0; row < lb->count(); ++row) {
        const QListWidgetItem* item = lb->item(row);
        const int entry = item->data(Qt::UserRole).toInt();
        if (item->isHidden() || thumbnails_.count(entry))
            continue;
        TThumbnailWorker::Job job{entry, Entries[static_cast<std::size_t>(entry)]};
        (lb->visualItemRect(item).intersects(view) ? visible : rest).push_back(std::move(job));
    }
    for (auto& job : rest)
        visible.push_back(std::move(job));
    if (!visible.empty())
        thumbnailer_->Request(generation_, OpenShown(), std::move(visible), EnableFilter1->isChecked());
}

void TForm1::DarkCheckerboard1Click() { Image1->SetDarkCheckerboard(DarkCheckerboard1->isChecked()); }
void TForm1::NextDictionary1Click() { StepDictionary(1); }
void TForm1::PreviousDictionary1Click() { StepDictionary(-1); }

void TForm1::StepDictionary(int step) {
    if (CurrentFile.empty())
        return;
    if (CurrentArchive && lbArchive->count() > 0) {
        const int next = pnlArchive->Neighbour(step);
        if (next < 0) {
            SetStatus(step > 0 ? "This is the last dictionary of the archive." : "This is the first dictionary of the archive.");
            return;
        }
        pnlArchive->Select(next);
        lbArchiveClick();
        return;
    }
    // The .txd files beside the open one, in name order.
    const QFileInfo here(Q(CurrentFile));
    QStringList names = here.absoluteDir().entryList({"*.txd", "*.TXD", "*.Txd"}, QDir::Files, QDir::Name);
    names.removeDuplicates();
    std::sort(names.begin(), names.end());
    const qsizetype at = names.indexOf(here.fileName());
    const qsizetype next = at + step;
    if (at < 0 || next < 0 || next >= names.size()) {
        SetStatus(step > 0 ? "This is the last dictionary of its folder." : "This is the first dictionary of its folder.");
        return;
    }
    OpenFile(S(QDir::toNativeSeparators(here.absoluteDir().filePath(names[next]))));
}

std::shared_ptr<const ByteSource> TForm1::OpenShown() const {
    if (edited_)
        return std::make_shared<SharedBufferSource>(edited_);
    return OpenLocation(CurrentSource);
}

void TForm1::ForgetEdits() {
    edited_.reset();
    saved_.reset();
    undo_.clear();
    redo_.clear();
    undoLabels_.clear();
    redoLabels_.clear();
    modified_ = false;
    UpdateUndoActions();
}

void TForm1::UpdateUndoActions() {
    // Enabled only with something to take back, and naming it.
    Undo1->setEnabled(!undo_.empty());
    Undo1->setText(undo_.empty() ? "&Undo" : "&Undo " + undoLabels_.back());
    Redo1->setEnabled(!redo_.empty() && redo_.back());
    Redo1->setText(redo_.empty() ? "&Redo" : "&Redo " + redoLabels_.back());
}

bool TForm1::MayLeaveDictionary() {
    if (!modified_)
        return true;
    switch (ui_->AskSaveChanges(this, ShownFileName())) {
    case TUiServices::SaveChoice::Save:
        Save1Click();
        return !modified_;
    case TUiServices::SaveChoice::Discard:
        ForgetEdits();
        return true;
    default:
        return false;
    }
}

void TForm1::SetBytes(std::shared_ptr<const std::vector<std::uint8_t>> bytes, bool modified, int selectEntry) {
    edited_ = std::move(bytes);
    modified_ = modified;
    UpdateUndoActions();
    LoadDictionary();
    // The texture the edit was about stays selected where it still exists.
    for (int row = 0; row < lb->count(); ++row) {
        if (lb->item(row)->data(Qt::UserRole).toInt() == selectEntry && row != SelectedRow()) {
            SelectLine(row);
            ShowTexture();
            break;
        }
    }
}

void TForm1::ApplyEdit(const std::function<void(DictionaryEdit&)>& change, int selectEntry, const QString& label) {
    std::shared_ptr<const std::vector<std::uint8_t>> before = edited_;
    if (!before) {
        before = std::make_shared<const std::vector<std::uint8_t>>(ReadAllBytes(*OpenLocation(CurrentSource)));
        saved_ = before;
    }
    CheckEditable(*before, FileNameOf(CurrentFile));
    DictionaryEdit edit(*before, EnableFilter1->isChecked());
    change(edit);
    if (!edit.Changed())
        return;
    edit.Verify();
    undo_.push_back(before);
    undoLabels_.push_back(label);
    redo_.clear();
    redoLabels_.clear();
    SetBytes(std::make_shared<const std::vector<std::uint8_t>>(edit.Bytes()), true, selectEntry);
}

void TForm1::Undo1Click() {
    if (undo_.empty())
        return;
    redo_.push_back(edited_ ? edited_ : nullptr);
    redoLabels_.push_back(undoLabels_.back());
    undoLabels_.pop_back();
    auto bytes = undo_.back();
    undo_.pop_back();
    const bool modified = bytes != saved_;
    SetBytes(bytes, modified, SelectedEntry());
}

void TForm1::Redo1Click() {
    if (redo_.empty() || !redo_.back())
        return;
    undo_.push_back(edited_);
    undoLabels_.push_back(redoLabels_.back());
    redoLabels_.pop_back();
    auto bytes = redo_.back();
    redo_.pop_back();
    const bool modified = bytes != saved_;
    SetBytes(bytes, modified, SelectedEntry());
}

void TForm1::ReplaceTexture1Click() {
    if (SelectedEntry() < 0)
        return;
    const QString path = ui_->ChooseImageFile(this, "Replace Texture");
    if (!path.isEmpty())
        ReplaceShownTexture(S(path));
}

void TForm1::ReplaceShownTexture(const std::string& imagePath) {
    const int n = SelectedEntry();
    if (n < 0)
        return;
    const InputImage image = ReadImage(imagePath);
    PutBackOptions options;
    options.Unswizzle = EnableFilter1->isChecked();
    options.Import.Brighten = ba1->isChecked();
    const QString name = FromFile(Entries[static_cast<std::size_t>(n)].Name);
    // A picture of another size changes the texture's: the user says so first.
    {
        const Dictionary now(OpenShown());
        const PutOutcome plan = PlanPut(now, static_cast<std::size_t>(n), image, options);
        if (plan.Reshaped() &&
            !ui_->AskYesNo(this, "Replace Texture",
                           Q(FileNameOf(imagePath)) + " is " + QString::number(plan.After.Width) + " x " +
                               QString::number(plan.After.Height) + "; texture " + QString::number(n + 1) + " (" +
                               name + ") is " + QString::number(plan.Before.Width) + " x " +
                               QString::number(plan.Before.Height) +
                               ". Give the texture the picture's size (" + QString::number(plan.After.Levels) +
                               " level(s))?"))
            return;
    }
    // The colour choices only where the picture does not fit the palette as it is.
    if (NeedsColourChoice(image, Decoded) &&
        !ui_->ChooseColours(this, options.Import.KeepPalette, options.Import.Dither))
        return;
    PutOutcome done;
    ApplyEdit([&](DictionaryEdit& edit) { done = PutImage(edit, static_cast<std::size_t>(n), image, imagePath, options); },
              n, "Replace " + name);
    if (done.Changed && done.Alpha == AlphaSource::Kept)
        SetStatus(Q(FileNameOf(imagePath)) + " has no alpha; texture " + QString::number(n + 1) +
                  " keeps its present alpha.");
    else if (done.Changed && done.Alpha == AlphaSource::Opaque)
        SetStatus(Q(FileNameOf(imagePath)) + " has no alpha; texture " + QString::number(n + 1) +
                  " of its new size is opaque.");
}

void TForm1::AddTexture1Click() {
    if (lb->count() == 0 && Entries.empty() && CurrentFile.empty())
        return;
    const QString path = ui_->ChooseImageFile(this, "Add Texture");
    if (path.isEmpty())
        return;
    QString name = QFileInfo(path).completeBaseName();
    const InputImage image = ReadImage(S(path));
    CheckSides(S(path), image.Width, image.Height); // before the name is asked for
    PutBackOptions options;
    options.Unswizzle = EnableFilter1->isChecked();
    options.Import.Brighten = ba1->isChecked();
    bool asked = false;
    // A refused name keeps the dialog coming back with what was typed.
    while (ui_->AskText(this, "Add Texture", "Name of the new texture:", name) && !name.trimmed().isEmpty()) {
        if (!asked && NeedsColourChoice(image, DecodeState{}) &&
            !ui_->ChooseColours(this, options.Import.KeepPalette, options.Import.Dither))
            return;
        asked = true;
        const int entry = static_cast<int>(Entries.size());
        const QString typed = name.trimmed();
        if (RefusedEdit([&] {
                ApplyEdit([&](DictionaryEdit& edit) { AddImage(edit, image, S(path), Utf8ToCp1252(S(typed)), "", 1, options); },
                          entry, "Add " + typed);
            }))
            continue;
        return;
    }
}

void TForm1::RemoveTexture1Click() {
    const int n = SelectedEntry();
    if (n < 0)
        return;
    ApplyEdit([&](DictionaryEdit& edit) { edit.Remove(static_cast<std::size_t>(n)); }, n,
              "Remove " + FromFile(Entries[static_cast<std::size_t>(n)].Name));
}

void TForm1::RenameTexture1Click() {
    const int n = SelectedEntry();
    if (n < 0)
        return;
    const QString old = FromFile(Entries[static_cast<std::size_t>(n)].Name);
    QString name = old;
    const std::string mask = Entries[static_cast<std::size_t>(n)].Mask;
    while (ui_->AskText(this, "Rename Texture", "New name:", name) && !name.trimmed().isEmpty()) {
        const QString typed = name.trimmed();
        if (RefusedEdit([&] {
                ApplyEdit([&](DictionaryEdit& edit) { edit.Rename(static_cast<std::size_t>(n), Utf8ToCp1252(S(typed)), mask); },
                          n, "Rename " + old);
            }))
            continue;
        return;
    }
}

bool TForm1::RefusedEdit(const std::function<void()>& edit) {
    try {
        edit();
        return false;
    } catch (const KelmoraError& e) {
        // The name's refusal is said, and the dialog opens again with the typed text.
        ui_->ShowMessage(this, Q(e.what()));
        return true;
    }
}

void TForm1::Save1Click() {
    if (!modified_ || !edited_)
        return;
    const QString shown = ShownFileName();
    if (const ArchiveEntry* entry = CurrentArchive ? ShownArchiveEntry() : nullptr) {
        // Into the archive, in the order of writes that keeps every entry whole.
        const std::string name = entry->Name;
        ArchiveEdit archive(CurrentFile);
        archive.Put(name, *edited_);
        archive.Commit();
        // The entry may have moved: the table is read again and the list follows.
        CurrentArchive = OpenGameArchive(CurrentFile);
        const std::vector<const ArchiveEntry*> dicts = CurrentArchive->Dictionaries();
        pnlArchive->SetDictionaries(dicts);
        for (std::size_t i = 0; i < dicts.size(); ++i) {
            if (dicts[i]->Name != name)
                continue;
            CurrentSource = CurrentArchive->Location(*dicts[i]);
            pnlArchive->Select(static_cast<int>(i));
        }
    } else {
        SaveDictionary(CurrentFile, *edited_);
    }
    saved_ = edited_;
    SetBytes(edited_, false, SelectedEntry());
    SetStatus("Saved " + shown + ".");
}

void TForm1::SaveAs1Click() {
    if (CurrentFile.empty())
        return;
    // A dictionary of an archive is saved as a loose file beside it.
    std::string proposed = CurrentFile;
    if (const ArchiveEntry* e = CurrentArchive ? ShownArchiveEntry() : nullptr)
        proposed = CurrentFile.substr(0, CurrentFile.size() - FileNameOf(CurrentFile).size()) +
                   SafeFileName(Cp1252ToUtf8(e->Name));
    const QString path = ui_->ChooseDictionaryFile(this, Q(proposed));
    if (path.isEmpty())
        return;
    std::shared_ptr<const std::vector<std::uint8_t>> bytes = edited_;
    if (!bytes)
        bytes = std::make_shared<const std::vector<std::uint8_t>>(ReadAllBytes(*OpenLocation(CurrentSource)));
    SaveDictionary(S(path), *bytes);
    CurrentFile = S(path);
    CurrentSource = {CurrentFile};
    saved_ = bytes;
    SetBytes(bytes, false, SelectedEntry());
    SetStatus("Saved " + Q(FileNameOf(CurrentFile)) + ".");
}

void TForm1::UpdateArchiveActions() {
    const bool open = CurrentArchive.has_value();
    for (QAction* a : {ExtractDictionary1, ReplaceDictionary1, AddDictionary1, RemoveDictionary1, RenameDictionary1})
        if (a)
            a->setEnabled(open);
}

const ArchiveEntry* TForm1::SelectedArchiveEntry() const {
    const int index = pnlArchive->Selected();
    if (!CurrentArchive || index < 0)
        return nullptr;
    const std::vector<const ArchiveEntry*> dicts = CurrentArchive->Dictionaries();
    return static_cast<std::size_t>(index) < dicts.size() ? dicts[static_cast<std::size_t>(index)] : nullptr;
}

void TForm1::ReloadArchive(const std::string& select) {
    ForgetEdits();
    LoadArchive(select);
}

void TForm1::ExtractDictionary1Click() {
    const ArchiveEntry* e = SelectedArchiveEntry();
    if (!e)
        return;
    const std::string dir = CurrentFile.substr(0, CurrentFile.size() - FileNameOf(CurrentFile).size());
    const QString path = ui_->ChooseDictionaryFile(this, Q(dir + SafeFileName(Cp1252ToUtf8(e->Name))));
    if (path.isEmpty())
        return;
    const std::vector<std::uint8_t> bytes = ReadAllBytes(*OpenLocation(CurrentArchive->Location(*e)));
    SaveDictionary(S(path), bytes);
    SetStatus("Extracted " + Q(ShownText(e->Name)) + " to " + path + ".");
}

void TForm1::ReplaceDictionary1Click() {
    const ArchiveEntry* e = SelectedArchiveEntry();
    if (!e || !MayLeaveDictionary())
        return;
    const std::string name = e->Name;
    const QString path = ui_->ChooseOpenFile(this);
    if (path.isEmpty())
        return;
    const std::vector<std::uint8_t> bytes = ReadAllBytes(FileSource(S(path)));
    CheckEditable(bytes, FileNameOf(S(path))); // only a whole dictionary goes in
    ArchiveEdit archive(CurrentFile);
    archive.Put(name, bytes);
    archive.Commit();
    ReloadArchive(name);
    SetStatus("Replaced " + Q(ShownText(name)) + " in " + Q(FileNameOf(CurrentFile)) + ".");
}

void TForm1::AddDictionary1Click() {
    if (!CurrentArchive || !MayLeaveDictionary())
        return;
    const QString path = ui_->ChooseOpenFile(this);
    if (path.isEmpty())
        return;
    const std::vector<std::uint8_t> bytes = ReadAllBytes(FileSource(S(path)));
    CheckEditable(bytes, FileNameOf(S(path)));
    QString name = Q(FileNameOf(S(path)));
    // A name the table cannot hold, or one it has, brings the dialog back.
    while (ui_->AskText(this, "Add Dictionary", "Name in the archive:", name)) {
        const std::string wanted = S(name.trimmed());
        std::string why;
        ArchiveEdit archive(CurrentFile);
        if (!IsValidEntryName(wanted, &why)) {
            ui_->ShowMessage(this, Q(why));
            continue;
        }
        if (archive.Has(wanted)) {
            ui_->ShowMessage(this, Q(FileNameOf(CurrentFile)) + " has an entry named " + Q(wanted) + " already.");
            continue;
        }
        archive.Put(wanted, bytes);
        archive.Commit();
        ReloadArchive(wanted);
        SetStatus("Added " + Q(wanted) + " to " + Q(FileNameOf(CurrentFile)) + ".");
        return;
    }
}

void TForm1::RemoveDictionary1Click() {
    const ArchiveEntry* e = SelectedArchiveEntry();
    if (!e)
        return;
    const std::string name = e->Name;
    if (!ui_->AskYesNo(this, "Remove Dictionary",
                       "Remove " + Q(ShownText(name)) + " from " + Q(FileNameOf(CurrentFile)) + "?"))
        return;
    if (!MayLeaveDictionary())
        return;
    const int next = std::max(pnlArchive->Neighbour(1), pnlArchive->Neighbour(-1));
    const std::vector<const ArchiveEntry*> dicts = CurrentArchive->Dictionaries();
    const std::string nextName = next >= 0 ? dicts[static_cast<std::size_t>(next)]->Name : std::string();
    ArchiveEdit archive(CurrentFile);
    archive.Remove(name);
    archive.Commit();
    ReloadArchive(nextName);
    SetStatus("Removed " + Q(ShownText(name)) + " from " + Q(FileNameOf(CurrentFile)) + ".");
}

void TForm1::RenameDictionary1Click() {
    const ArchiveEntry* e = SelectedArchiveEntry();
    if (!e || !MayLeaveDictionary())
        return;
    const std::string old = e->Name;
    QString name = Q(ShownText(old));
    while (ui_->AskText(this, "Rename Dictionary", "New name:", name)) {
        const std::string wanted = S(name.trimmed());
        try {
            ArchiveEdit archive(CurrentFile);
            archive.Rename(old, wanted);
            archive.Commit();
        } catch (const KelmoraError& error) {
            ui_->ShowMessage(this, Q(error.what()));
            continue;
        }
        ReloadArchive(wanted);
        SetStatus("Renamed " + Q(ShownText(old)) + " to " + Q(wanted) + ".");
        return;
    }
}

void TForm1::RegisterFileType1Click() {
    if (!ui_->AskYesNo(this, "Register File Type", "Do you want to associate Kelmora with the file extension .txd?"))
        return;
    RegisterFileType();
}
