#include "viewer/KelmoraU2.h"
#include "base/paths.h"

#include "export/output_formats.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "base/errors.h"
#include "base/os_file.h"
#include "base/text.h"
#include "export/destination.h"
#include "viewer/dialog_services.h"
#include "viewer/messages.h"

namespace {

QString Q(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
std::string S(const QString& q) { return q.toUtf8().toStdString(); }

} // namespace

void TForm2::FitTexts() {
    // The layouts give every text its room; the dialog opens at its designed
    // size or larger, and the texture list takes what the user adds by resizing.
    for (QWidget* text : std::initializer_list<QWidget*>{Label1, Label2, Label3, cbx1, cbx2, cbx3, cbx4, cbx5, cmbx})
        text->setMinimumSize(text->sizeHint());
    layout()->invalidate();
    int w = std::max(434, sizeHint().width()), h = std::max(212, sizeHint().height());
    // Wide enough for the longest caption, within the screen.
    w = std::max(w, clb->sizeHintForColumn(0) + 40 + (sizeHint().width() - clb->sizeHint().width()));
    h = std::max(h, 320);
    if (const QScreen* screen = this->screen()) {
        w = std::min(w, screen->availableGeometry().width() * 9 / 10);
        h = std::min(h, screen->availableGeometry().height() * 9 / 10);
    }
    resize(w, h);
    layout()->setGeometry(QRect(0, 0, w, h)); // place the widgets now, not only when shown
}

TForm2::TForm2(QWidget* owner, TUiServices& ui, std::string& destDir, const std::string& currentFile)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui_(ui), destDir_(destDir), currentFile_(currentFile) {
    setMinimumSize(434, 212);
    setSizeGripEnabled(true);
    // The layout is designed for an 8-point font; larger system fonts would cut the labels.
#ifdef _WIN32
    setFont(QFont("MS Sans Serif", 8));
#else
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
#endif
    // The designed arrangement, in layouts: the texture list with its three buttons
    // on the left, growing with the dialog; the destination and options on the right.
    Label1 = new QLabel("Choose the textures you want to extract:");
    clb = new QListWidget;
    Button1 = new QPushButton("&All");
    Button2 = new QPushButton("&None");
    Button3 = new QPushButton("&Invert");
    Label2 = new QLabel("Destination directory:");
    edtPath = new QLineEdit;
    Button4 = new QPushButton("...");
    Button5 = new QPushButton("&Export");
    Button6 = new QPushButton("&Cancel");
    cbx1 = new QCheckBox("Create sub directory");
    cbx2 = new QCheckBox("Export alphas if available");
    cbx3 = new QCheckBox("Overwrite existing files");
    cbx4 = new QCheckBox("Enable texture filter");
    cbx5 = new QCheckBox("Enable alpha brightening");
    cbx5->setToolTip(kBrightenTip);
    Label3 = new QLabel("Export as...");
    cmbx = new QComboBox;
    for (const kelmora::OutputFormat& f : kelmora::OutputFormats())
        cmbx->addItem(QString::fromUtf8(f.DialogFilter.data(), static_cast<qsizetype>(f.DialogFilter.size())));
    cmbx->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* left = new QVBoxLayout;
    left->setSpacing(3);
    left->addWidget(Label1);
    left->addWidget(clb, 1);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* b : {Button1, Button2, Button3})
        listButtons->addWidget(b);
    left->addLayout(listButtons);

    auto* right = new QVBoxLayout;
    right->setSpacing(6);
    right->addWidget(Label2);
    auto* path = new QHBoxLayout;
    path->addWidget(edtPath, 1);
    Button4->setFixedWidth(std::max(25, Button4->fontMetrics().horizontalAdvance("...") + 12));
    path->addWidget(Button4);
    right->addLayout(path);
    for (QCheckBox* c : {cbx1, cbx2, cbx3, cbx4, cbx5})
        right->addWidget(c);
    auto* format = new QHBoxLayout;
    format->addWidget(Label3);
    format->addWidget(cmbx, 1);
    right->addLayout(format);
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button6);
    buttons->addWidget(Button5);
    right->addLayout(buttons);

    auto* all = new QHBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0); // as designed: Export in the very corner
    all->addLayout(left, 1);
    all->addLayout(right, 0);
    Label3->setBuddy(cmbx);
    Label2->setBuddy(edtPath);

    for (QCheckBox* c : {cbx1, cbx2, cbx3, cbx4, cbx5})
        c->setChecked(true);
    QWidget* order[] = {clb, Button1, Button2, Button3, edtPath, Button4, Button5, Button6,
                        cbx1, cbx2, cbx3, cbx4, cbx5, cmbx};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    Button5->setDefault(true);
    Button5->setAutoDefault(true);
    for (QPushButton* b : {Button1, Button2, Button3, Button4, Button6})
        b->setAutoDefault(false);

    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { Guarded([this] { Button3Click(); }); });
    connect(Button4, &QPushButton::clicked, this, [this] { Guarded([this] { Button4Click(); }); });
    connect(Button5, &QPushButton::clicked, this, [this] { Guarded([this] { Button5Click(); }); });
    connect(Button6, &QPushButton::clicked, this, &QDialog::reject);
    clb->setFocus();
}

template <class F> void TForm2::Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ui_.ShowError(this, ErrorBoxText(e));
    }
}

void TForm2::Fill(const std::vector<kelmora::TTexEntry>& entries, const std::string& subDirName) {
    setWindowTitle("Kelmora - Mass Extract");
    for (const kelmora::TTexEntry& e : entries) {
        auto* item = new QListWidgetItem(Q(kelmora::ShownText(e.Caption)), clb);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    if (clb->count() > 0)
        clb->setCurrentRow(0);
    cmbx->setCurrentIndex(0);
    // The directory is shown absolute: a relative one would be read against the
    // dictionary's directory once more when the user confirms it.
    edtPath->setText(Q(FileDirectory()));
    subDirName_ = subDirName;
    const QString sep(QChar(kelmora::kPathSeparator));
    cbx1->setText("Create sub directory \"" + sep + Q(subDirName) + sep + "\"");
    clb->setFocus();
}

std::string TForm2::FileDirectory() const { return kelmora::DirectoryPartOf(kelmora::AbsolutePath(currentFile_)); }

std::vector<bool> TForm2::Marks() const {
    std::vector<bool> marks;
    for (int i = 0; i < clb->count(); ++i)
        marks.push_back(clb->item(i)->checkState() == Qt::Checked);
    return marks;
}

kelmora::ExportSettings TForm2::Settings(kelmora::ExportSettings base) const {
    base.ExpAlphas = cbx2->isChecked();
    base.ExpOverwrite = cbx3->isChecked();
    base.ExpFilter = cbx4->isChecked();
    base.ExpBrighten = cbx5->isChecked();
    base.ExpFormat = static_cast<std::uint8_t>(cmbx->currentIndex());
    return base;
}

void TForm2::SetAllMarks(int how) {
    for (int i = 0; i < clb->count(); ++i) {
        QListWidgetItem* item = clb->item(i);
        bool on = how > 0 || (how < 0 && item->checkState() != Qt::Checked);
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
}

void TForm2::Button1Click() { SetAllMarks(1); }
void TForm2::Button2Click() { SetAllMarks(0); }
void TForm2::Button3Click() { SetAllMarks(-1); }

QString TForm2::BrowseForFolder(const QString& title, const QString& initialDir) {
    return ui_.ChooseFolder(this, title, initialDir);
}

void TForm2::Button4Click() {
    const std::string typed = S(edtPath->text()); // the untrimmed text is tested
    const std::string initial = kelmora::DirectoryExists(typed) ? typed : FileDirectory();
    QString path = BrowseForFolder("Choose destination directory:", Q(initial));
    if (!path.isEmpty())
        edtPath->setText(QDir::toNativeSeparators(path));
}

void TForm2::Button5Click() {
    const std::string text = kelmora::Trim(S(edtPath->text()));
    if (text.empty())
        return; // nowhere to go: the user has to name a destination
    // A relative destination is taken relative to the dictionary's directory.
    const std::string chosen = kelmora::ResolveAgainst(text, FileDirectory());
    destDir_ = kelmora::ComposeDestDir(chosen, cbx1->isChecked(), subDirName_);
    if (!kelmora::DirectoryExists(destDir_)) {
        // The sub directory of a folder that exists is what the check box asked
        // for: it is made without a question. A folder typed that is not there is asked about.
        const bool onlySubDir = cbx1->isChecked() && kelmora::DirectoryExists(chosen);
        const QString question = Q(destDir_) + "\r\ndoes not exist.\r\nDo you want to create it?";
        if (onlySubDir || ui_.AskYesNo(this, "Create Directory", question)) {
            try {
                kelmora::CreateDirectoryChain(destDir_);
            } catch (const kelmora::KelmoraError& e) {
                ui_.ShowMessage(this, ErrorMessage(e));
            }
        }
    }
    if (kelmora::DirectoryExists(destDir_))
        accept();
}
