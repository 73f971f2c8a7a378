#include "viewer/desktop_ui.h"

#include <QDialog>
#include <algorithm>
#include <QFileDialog>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "export/output_formats.h"

namespace {

// Message texts use CR LF line breaks; the boxes want plain LF.
QString Lines(QString text) { return text.replace("\r\n", "\n"); }

// The save dialog's filters, in the order of the formats' table.
QStringList SaveFilters() {
    QStringList filters;
    for (const kelmora::OutputFormat& f : kelmora::OutputFormats())
        filters << QString::fromUtf8(f.DialogFilter.data(), static_cast<qsizetype>(f.DialogFilter.size()));
    return filters;
}
QString SaveSuffix(qsizetype filter) {
    const std::string_view ext = kelmora::OutputFormats()[static_cast<std::size_t>(filter)].Extension.substr(1);
    return QString::fromUtf8(ext.data(), static_cast<qsizetype>(ext.size()));
}

} // namespace

TDesktopUi::~TDesktopUi() {
    delete open_;
    delete save_;
}

void TDesktopUi::ShowMessage(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, "Kelmora", Lines(text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool TDesktopUi::AskYesNo(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, Lines(text), QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

bool TDesktopUi::AskDestructive(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, Lines(text), QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TDesktopUi::ShowError(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Critical, "Kelmora", Lines(text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString TDesktopUi::ChooseOpenFile(QWidget* owner) {
    if (!open_) {
        open_ = new QFileDialog(owner, "Open", openDir_);
        open_->setNameFilters({"Halvard Texture Dictionaries (*.txd)", "Game Archives (*.img *.dir)"});
        open_->setFileMode(QFileDialog::ExistingFile);
        open_->setAcceptMode(QFileDialog::AcceptOpen);
        open_->setDefaultSuffix("txd");
    }
    const bool accepted = open_->exec() == QDialog::Accepted;
    // The file name completer's list would stay on screen over the window: it is a
    // window of its own, owned by the completer, not by the dialog.
    for (QCompleter* completer : open_->findChildren<QCompleter*>())
        if (completer->popup())
            completer->popup()->hide();
    for (QWidget* popup : open_->findChildren<QWidget*>())
        if (popup->isWindow() && popup->isVisible())
            popup->hide();
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    if (!accepted || open_->selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(open_->selectedFiles().first());
}

void TDesktopUi::SetOpenDirectory(const QString& dir) {
    openDir_ = dir;
    if (open_)
        open_->setDirectory(dir);
}

bool TDesktopUi::ChooseSaveFile(QWidget* owner, const QString& proposedName, const QString& firstDir, QString& path,
                                int& filterIndex) {
    if (!save_) {
        save_ = new QFileDialog(owner, "Save As", firstDir);
        save_->setAcceptMode(QFileDialog::AcceptSave);
        save_->setFileMode(QFileDialog::AnyFile);
        save_->setNameFilters(SaveFilters());
        save_->setDefaultSuffix(SaveSuffix(0));
        // A name typed without extension gets the one of the chosen format.
        QObject::connect(save_, &QFileDialog::filterSelected, save_, [d = save_.data()](const QString& f) {
            d->setDefaultSuffix(SaveSuffix(std::max<qsizetype>(0, SaveFilters().indexOf(f))));
        });
    }
    save_->selectFile(proposedName);
    if (save_->exec() != QDialog::Accepted || save_->selectedFiles().isEmpty())
        return false;
    path = QDir::toNativeSeparators(save_->selectedFiles().first());
    filterIndex = static_cast<int>(SaveFilters().indexOf(save_->selectedNameFilter())) + 1;
    if (filterIndex <= 0)
        filterIndex = 1;
    return true;
}

QString TDesktopUi::ChooseFolder(QWidget* owner, const QString& title, const QString& initialDir) {
    QString dir = QFileDialog::getExistingDirectory(owner, title, initialDir, QFileDialog::ShowDirsOnly);
    return dir.isEmpty() ? dir : QDir::toNativeSeparators(dir);
}

int TDesktopUi::RunModal(QDialog* dialog) { return dialog->exec(); }

QString TDesktopUi::ChooseImageFile(QWidget* owner, const QString& title) {
    const QString path = QFileDialog::getOpenFileName(owner, title, openDir_,
                                                      "Images (*.png *.tga *.bmp *.jpg *.jpeg);;All files (*)");
    return path.isEmpty() ? path : QDir::toNativeSeparators(path);
}

QString TDesktopUi::ChooseDictionaryFile(QWidget* owner, const QString& proposed) {
    const QString path =
        QFileDialog::getSaveFileName(owner, "Save Dictionary As", proposed, "Halvard Texture Dictionaries (*.txd)");
    return path.isEmpty() ? path : QDir::toNativeSeparators(path);
}

// A dialog wide enough for its whole title, which window managers cut otherwise.
static void FitTitle(QDialog& d) {
    const int title = d.fontMetrics().horizontalAdvance(d.windowTitle());
    // Room for the frame's buttons beside the title.
    d.setMinimumWidth(std::max(d.minimumSizeHint().width(), title + 160));
}

bool TDesktopUi::AskText(QWidget* owner, const QString& title, const QString& label, QString& text) {
    QDialog d(owner);
    d.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&d);
    layout->addWidget(new QLabel(label));
    auto* edit = new QLineEdit(text);
    edit->selectAll();
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    layout->addWidget(buttons);
    FitTitle(d);
    const bool ok = d.exec() == QDialog::Accepted;
    // What was typed stays, for a dialog asked again after a refusal.
    text = edit->text();
    return ok;
}

bool TDesktopUi::ChooseColours(QWidget* owner, bool canKeep, bool& keepPalette, bool& dither) {
    QDialog d(owner);
    d.setWindowTitle("Colours of the Picture");
    FitTitle(d);
    auto* layout = new QVBoxLayout(&d);
    layout->addWidget(new QLabel(canKeep ? "The picture has colours the texture's palette does not hold."
                                         : "The picture has more colours than the texture's palette holds."));
    auto* quantise = new QRadioButton("&Make a new palette for it");
    auto* keep = new QRadioButton("&Keep the present palette (nearest colours)");
    auto* dithered = new QCheckBox("&Dither");
    (keepPalette ? keep : quantise)->setChecked(true);
    dithered->setChecked(dither);
    QObject::connect(keep, &QRadioButton::toggled, dithered, [dithered](bool on) { dithered->setEnabled(!on); });
    dithered->setEnabled(!keepPalette);
    layout->addWidget(quantise);
    layout->addWidget(dithered);
    layout->addWidget(keep);
    // Without a palette there is none to keep.
    keep->setVisible(canKeep);
    if (!canKeep)
        quantise->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    layout->addWidget(buttons);
    if (d.exec() != QDialog::Accepted)
        return false;
    keepPalette = keep->isChecked();
    dither = dithered->isChecked();
    return true;
}

TUiServices::SizeChoice TDesktopUi::AskPictureSize(QWidget* owner, const QString& text, bool pictureSizeAllowed) {
    QMessageBox box(QMessageBox::Question, "Replace Texture", text, QMessageBox::NoButton, owner);
    QPushButton* take = pictureSizeAllowed ? box.addButton("&Take the Picture's Size", QMessageBox::AcceptRole) : nullptr;
    QPushButton* scale = box.addButton("&Scale the Picture", QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    // Scaling changes only the picture: the safer default.
    box.setDefaultButton(scale);
    box.exec();
    if (take && box.clickedButton() == take)
        return SizeChoice::TakePictureSize;
    return box.clickedButton() == scale ? SizeChoice::ScaleToTexture : SizeChoice::Cancel;
}

bool TDesktopUi::AskNewTexture(QWidget* owner, NewTexture& texture, const std::function<int(int depth)>& mostLevels) {
    QDialog d(owner);
    d.setWindowTitle("Add Texture");
    FitTitle(d);
    auto* form = new QFormLayout(&d);
    auto* name = new QLineEdit(texture.Name);
    auto* mask = new QLineEdit(texture.Mask);
    mask->setPlaceholderText("none");
    auto* depth = new QComboBox();
    for (int bits : {4, 8, 16, 32})
        depth->addItem(QString("%1 bits").arg(bits) + (bits <= 8 ? ", palettised" : ""), bits);
    depth->setCurrentIndex(std::max(0, depth->findData(texture.Depth)));
    auto* levels = new QSpinBox();
    // As many levels as the depth chosen allows.
    const auto limit = [&] { levels->setRange(1, std::max(1, mostLevels(depth->currentData().toInt()))); };
    limit();
    levels->setValue(texture.Levels);
    QObject::connect(depth, &QComboBox::currentIndexChanged, levels, limit);
    form->addRow("&Name:", name);
    form->addRow("&Mask name:", mask);
    form->addRow("&Depth:", depth);
    form->addRow("&Levels:", levels);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    form->addRow(buttons);
    name->selectAll();
    if (d.exec() != QDialog::Accepted)
        return false;
    texture = {name->text(), mask->text(), depth->currentData().toInt(), levels->value()};
    return true;
}

bool TDesktopUi::AskConversion(QWidget* owner, Conversion& c) {
    QDialog d(owner);
    d.setWindowTitle("Convert Dictionary");
    FitTitle(d);
    auto* form = new QFormLayout(&d);
    auto* to = new QComboBox();
    for (const auto& [key, text] : {std::pair{"ps2", "PlayStation 2"}, {"d3d8", "PC, Direct3D 8"},
                                    {"d3d9", "PC, Direct3D 9"}, {"xbox", "Xbox"}})
        to->addItem(text, QString(key));
    to->setCurrentIndex(std::max(0, to->findData(c.To)));
    auto* compress = new QCheckBox("Compress as &DXT (DXT1, or DXT5 with alpha)");
    compress->setChecked(c.Compress);
    auto* quality = new QComboBox();
    quality->addItems({"Fast", "Normal", "Best"});
    quality->setCurrentIndex(c.Quality);
    auto* depth = new QComboBox();
    depth->addItem("A palettised texture's own, else 8 bits", 0);
    for (int bits : {4, 8, 16, 32})
        depth->addItem(QString("%1 bits").arg(bits) + (bits <= 8 ? ", palettised" : ""), bits);
    depth->setCurrentIndex(std::max(0, depth->findData(c.Depth)));
    auto* resize = new QCheckBox("&Scale sides the console does not hold to powers of two");
    resize->setChecked(c.Resize);
    // The choices of the other side are shown but not taken.
    const auto follow = [=] {
        const bool console = to->currentData().toString() == "ps2";
        compress->setEnabled(!console);
        quality->setEnabled(!console && compress->isChecked());
        depth->setEnabled(console);
        resize->setEnabled(console);
    };
    follow();
    QObject::connect(to, &QComboBox::currentIndexChanged, &d, follow);
    QObject::connect(compress, &QCheckBox::toggled, &d, follow);
    form->addRow("&Platform:", to);
    form->addRow(compress);
    form->addRow("DXT &quality:", quality);
    form->addRow("&Console depth:", depth);
    form->addRow(resize);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    form->addRow(buttons);
    if (d.exec() != QDialog::Accepted)
        return false;
    c = {to->currentData().toString(), compress->isChecked(), quality->currentIndex(), depth->currentData().toInt(),
         resize->isChecked()};
    return true;
}

bool TDesktopUi::AskReloadChanged(QWidget* owner, const QString& file) {
    QMessageBox box(QMessageBox::Warning, "Kelmora", file + " changed on disk.", QMessageBox::NoButton, owner);
    box.setInformativeText("Read it again and lose your edits, or keep your edits and save them with Save As?");
    QPushButton* reload = box.addButton("&Reload", QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton("&Keep My Edits", QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == reload;
}

TUiServices::SaveChoice TDesktopUi::AskSaveChanges(QWidget* owner, const QString& file) {
    QMessageBox box(QMessageBox::Warning, "Kelmora", file + " has unsaved changes.",
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
    box.setInformativeText("Save them before going on?");
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save: return SaveChoice::Save;
    case QMessageBox::Discard: return SaveChoice::Discard;
    default: return SaveChoice::Cancel;
    }
}
