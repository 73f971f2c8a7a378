#include "export/KelmoraU2.h"

#include "export/output_formats.h"

#include <QCheckBox>
#include <QComboBox>
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
#include "dictionary/text.h"
#include "export/destination.h"
#include "export/dialog_services.h"

namespace {

QString Q(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
std::string S(const QString& q) { return q.toUtf8().toStdString(); }

} // namespace

void TForm2::FitTexts() {
    double fx = 1, fy = 1;
    const QWidget* texts[] = {Label1, Label2, Label3, cbx1, cbx2, cbx3, cbx4, cbx5, cmbx};
    for (const auto& [w, r] : designed_) {
        if (std::find(std::begin(texts), std::end(texts), w) == std::end(texts))
            continue;
        const QSize need = w->sizeHint();
        fx = std::max(fx, need.width() / double(r.width()));
        fy = std::max(fy, need.height() / double(r.height()));
    }
    // Never wider than the screen, however long a sub directory name is.
    if (const QScreen* screen = this->screen())
        fx = std::min(fx, std::max(1.0, screen->availableGeometry().width() / 434.0));
    for (const auto& [w, r] : designed_)
        w->setGeometry(static_cast<int>(std::lround(r.x() * fx)), static_cast<int>(std::lround(r.y() * fy)),
                       static_cast<int>(std::lround(r.width() * fx)), static_cast<int>(std::lround(r.height() * fy)));
    setFixedSize(static_cast<int>(std::lround(434 * fx)), static_cast<int>(std::lround(212 * fy)));
}

TForm2::TForm2(QWidget* owner, TUiServices& ui, std::string& destDir, const std::string& currentFile)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      ui_(ui), destDir_(destDir), currentFile_(currentFile) {
    setFixedSize(434, 212);
    // The layout is designed for an 8-point font; larger system fonts would cut the labels.
#ifdef _WIN32
    setFont(QFont("MS Sans Serif", 8));
#else
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
#endif
    auto place = [this](QWidget* w, int x, int y, int width, int height) {
        w->setParent(this);
        w->setGeometry(x, y, width, height);
        designed_.push_back({w, QRect(x, y, width, height)});
        return w;
    };
    Label1 = new QLabel("Choose the textures you want to extract:");
    place(Label1, 0, 0, 190, 13);
    clb = new QListWidget;
    place(clb, 0, 16, 201, 177);
    Button1 = new QPushButton("&All");
    place(Button1, 0, 195, 65, 17);
    Button2 = new QPushButton("&None");
    place(Button2, 68, 195, 65, 17);
    Button3 = new QPushButton("&Invert");
    place(Button3, 136, 195, 65, 17);
    Label2 = new QLabel("Destination directory:");
    place(Label2, 208, 0, 99, 13);
    edtPath = new QLineEdit;
    place(edtPath, 208, 16, 193, 21);
    Button4 = new QPushButton("...");
    place(Button4, 408, 16, 25, 21);
    Button5 = new QPushButton("&Export");
    place(Button5, 358, 187, 75, 25);
    Button6 = new QPushButton("&Cancel");
    place(Button6, 280, 187, 75, 25);
    cbx1 = new QCheckBox("Create sub directory");
    place(cbx1, 208, 40, 225, 17);
    cbx2 = new QCheckBox("Export alphas if available");
    place(cbx2, 208, 64, 225, 17);
    cbx3 = new QCheckBox("Overwrite existing files");
    place(cbx3, 208, 88, 225, 17);
    cbx4 = new QCheckBox("Enable texture filter");
    place(cbx4, 208, 112, 225, 17);
    cbx5 = new QCheckBox("Enable alpha brightening");
    place(cbx5, 208, 136, 225, 17);
    Label3 = new QLabel("Export as...");
    place(Label3, 208, 163, 53, 13);
    cmbx = new QComboBox;
    for (const kelmora::OutputFormat& f : kelmora::OutputFormats())
        cmbx->addItem(QString::fromUtf8(f.DialogFilter.data(), static_cast<qsizetype>(f.DialogFilter.size())));
    place(cmbx, 272, 160, 161, 21);
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
        ui_.ShowError(this, Q(DefaultErrorText(e.what())));
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
    destDir_ = kelmora::ComposeDestDir(kelmora::ResolveAgainst(text, FileDirectory()), cbx1->isChecked(), subDirName_);
    if (!kelmora::DirectoryExists(destDir_)) {
        const QString question = Q(destDir_) + "\r\ndoes not exist.\r\nDo you want to create it?";
        std::string reason;
        if (ui_.AskYesNo(this, "Create Directory", question) && !kelmora::CreateDirectoryChain(destDir_, &reason))
            ui_.ShowMessage(this, Q(kelmora::DirectoryFailure(reason)));
    }
    if (kelmora::DirectoryExists(destDir_))
        accept();
}
