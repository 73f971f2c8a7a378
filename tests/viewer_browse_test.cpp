// The window as a texture browser: files that are no dictionaries, copying the
// picture, stepping through the dictionaries of a folder or an archive, and the
// dark checkerboard.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QMouseEvent>
#include <QListWidget>
#include <filesystem>

#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/fake_ui.h"
#include "viewer/KelmoraU2.h"
#include "viewer/KelmoraU.h"
#include "viewer/edit_commands.h"
#include "viewer/export_controller.h"
#include "viewer/texture_list_panel.h"
#include "viewer/dictionary_session.h"
#include "viewer/find_all_dialog.h"
#include "viewer/palette_view.h"
#include "viewer/picture_box.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class BrowseTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("browse");
        ui_ = std::make_shared<FakeUi>();
    }
    void TearDown() override {
        form_.reset();
        fs::remove_all(dir_);
    }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        WriteFile(dir_ + "/" + name, bytes);
        return dir_ + "/" + name;
    }
    TForm1& Start(const std::string& path) {
        form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(path)}, ui_);
        return *form_;
    }
    QString Status() const { return form_->Layout().StatusText->text(); }
    std::string dir_;
    std::shared_ptr<FakeUi> ui_;
    std::unique_ptr<TForm1> form_;
};

} // namespace

// A PNG, a text file or a program renamed to .txd: one message, an empty list.
TEST_F(BrowseTest, FilesThatAreNoDictionaries) {
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {
        {"picture.txd", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}},
        {"notes.txd", std::vector<std::uint8_t>(24, 'a')},
        {"program.txd", [] {
             std::vector<std::uint8_t> elf = {0x7F, 'E', 'L', 'F', 2, 1, 1};
             elf.resize(4000, 0x16);
             return elf;
         }()},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        ui_->messages.clear();
        TForm1& f = Start(Write(name, bytes));
        ASSERT_EQ(ui_->messages.size(), 1u);
        EXPECT_EQ(ui_->messages[0], QString::fromStdString(name + " is not a texture dictionary."));
        EXPECT_EQ(f.Layout().lb->count(), 0);
        EXPECT_EQ(f.windowTitle(), QString::fromStdString("Kelmora 1.2 - " + name));
        EXPECT_TRUE(f.List().Entries().empty());
    }
    // An empty file is still an empty dictionary, as ever.
    ui_->messages.clear();
    Start(Write("empty.txd", {}));
    EXPECT_TRUE(ui_->messages.empty());
    EXPECT_EQ(Status(), "empty.txd is empty!");
}

TEST_F(BrowseTest, CopyImageCarriesTheAlpha) {
    TextureSpec t = RandomTexture("t", 16, 8, 8, true, 3);
    TForm1& f = Start(Write("a.txd", BuildDictionary({t})));
    f.Action(TAct::CopyImage1)->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(16, 8));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const PaletteEntry& e = t.Palette[t.Pixels[y * 16 + x]];
            const int a = e.A == 0 ? 0 : (2 * e.A - 1) & 255;
            ASSERT_EQ(qAlpha(copied.pixel(x, y)), a) << x << "," << y;
            if (a == 255) {
                ASSERT_EQ(qRed(copied.pixel(x, y)), e.R);
            }
        }
    EXPECT_EQ(Status(), "Copied 16 x 8 texels to the clipboard.");
    EXPECT_EQ(f.Action(TAct::CopyImage1)->shortcut(), QKeySequence("Ctrl+C"));
}

TEST_F(BrowseTest, NextAndPreviousDictionary) {
    const std::string a = Write("a.txd", BuildDictionary({RandomTexture("in_a", 16, 8, 8, true, 1)}));
    Write("b.TXD", BuildDictionary({RandomTexture("in_b", 16, 8, 8, true, 2)}));
    Write("c.txt", {1, 2, 3});
    Write("d.txd", BuildDictionary({RandomTexture("in_d", 16, 8, 8, true, 3)}));
    TForm1& f = Start(a);
    EXPECT_EQ(f.Action(TAct::NextDictionary1)->shortcut(), QKeySequence("Alt+Right"));
    f.Action(TAct::NextDictionary1)->trigger();
    EXPECT_EQ(f.List().Entries().at(0).Name, "in_b");
    f.Action(TAct::NextDictionary1)->trigger();
    EXPECT_EQ(f.List().Entries().at(0).Name, "in_d");
    f.Action(TAct::NextDictionary1)->trigger();
    EXPECT_EQ(Status(), "This is the last dictionary of its folder.");
    EXPECT_EQ(f.List().Entries().at(0).Name, "in_d");
    f.Action(TAct::PreviousDictionary1)->trigger();
    f.Action(TAct::PreviousDictionary1)->trigger();
    EXPECT_EQ(f.List().Entries().at(0).Name, "in_a");

    // Inside an archive: its dictionaries, in the order of its table.
    Write("game.img", BuildArchiveV2({{"one.txd", BuildDictionary({RandomTexture("first", 16, 8, 8, true, 4)})},
                                      {"two.txd", BuildDictionary({RandomTexture("second", 16, 8, 8, true, 5)})}}));
    f.OpenFile(dir_ + "/game.img");
    EXPECT_EQ(f.List().Entries().at(0).Name, "first");
    f.Action(TAct::NextDictionary1)->trigger();
    EXPECT_EQ(f.List().Entries().at(0).Name, "second");
    EXPECT_EQ(f.Layout().lbArchive->currentRow(), 1);
    f.Action(TAct::NextDictionary1)->trigger();
    EXPECT_EQ(Status(), "This is the last dictionary of the archive.");
}

TEST_F(BrowseTest, DarkCheckerboard) {
    TForm1& f = Start(Write("a.txd", BuildDictionary({RandomTexture("t", 16, 8, 8, true, 1)})));
    f.Action(TAct::ShowTransparency1)->trigger();
    f.resize(400, 300);
    f.Layout().Image1->resize(200, 200);
    f.Layout().Image1->SetZoom(4);
    const auto corner = [&] {
        // A fully transparent picture shows the board alone.
        QImage clear(16, 8, QImage::Format_ARGB32);
        clear.fill(Qt::transparent);
        f.Layout().Image1->SetPicture(clear);
        return f.Layout().Image1->grab().toImage().pixelColor(f.Layout().Image1->PictureRect().topLeft().toPoint() + QPoint(1, 1));
    };
    EXPECT_GT(corner().lightness(), 150);
    f.Action(TAct::DarkCheckerboard1)->trigger();
    EXPECT_TRUE(f.Layout().Image1->DarkCheckerboard());
    EXPECT_LT(corner().lightness(), 100);
}

// Find filters by name and mask name in any case, lines keep their numbers, sort
// reorders them, type-to-find goes by names.
TEST_F(BrowseTest, FindSortAndTypeToFind) {
    std::vector<TextureSpec> texs = {RandomTexture("wheel", 32, 16, 8, true, 1), RandomTexture("Body", 64, 64, 4, true, 2),
                                     RandomTexture("glass", 16, 16, 8, true, 3), RandomTexture("trim", 8, 8, 8, true, 4)};
    texs[2].Mask = "WHEEL_mask";
    TForm1& f = Start(Write("car.txd", BuildDictionary(texs)));
    auto visible = [&] {
        std::vector<std::string> lines;
        for (int row = 0; row < f.Layout().lb->count(); ++row)
            if (!f.Layout().lb->item(row)->isHidden())
                lines.push_back(f.Layout().lb->item(row)->text().toStdString().substr(0, f.Layout().lb->item(row)->text().indexOf(' ') + 3));
        return lines;
    };
    EXPECT_EQ(f.Action(TAct::Find1)->shortcut(), QKeySequence("Ctrl+K"));
    f.Layout().edtFind->setText("wHeEl");
    EXPECT_EQ(visible(), (std::vector<std::string>{"1. wh", "3. gl"}));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(f.Layout().edtFind, &escape);
    EXPECT_EQ(f.Layout().edtFind->text(), "");
    EXPECT_EQ(visible().size(), 4u);

    f.Layout().cmbxSort->setCurrentIndex(1); // name
    EXPECT_EQ(visible(), (std::vector<std::string>{"2. Bo", "3. gl", "4. tr", "1. wh"}));
    f.Layout().cmbxSort->setCurrentIndex(2); // size, largest first
    EXPECT_EQ(visible(), (std::vector<std::string>{"2. Bo", "1. wh", "3. gl", "4. tr"}));
    // A line shows its own texture, with its own number in the status.
    f.Layout().lb->setCurrentRow(1);
    EXPECT_EQ(f.View().State().Pixels, texs[0].Pixels);
    EXPECT_TRUE(Status().startsWith("Texture 1 loaded")) << Status().toStdString();
    f.Layout().cmbxSort->setCurrentIndex(0);
    EXPECT_EQ(f.List().SelectedEntry(), 0);

    // Type-to-find: "t" finds trim, not the lines whose number starts with... anything.
    f.Layout().lb->setFocus();
    QKeyEvent t(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, "t");
    QApplication::sendEvent(f.Layout().lb, &t);
    EXPECT_EQ(f.List().SelectedEntry(), 3);
    EXPECT_EQ(f.View().State().Pixels, texs[3].Pixels);
    // "/" in the list goes to the find field, its text selected for typing over.
    f.Layout().edtFind->setText("gl");
    f.Layout().edtFind->deselect();
    QKeyEvent slash(QEvent::KeyPress, Qt::Key_Slash, Qt::NoModifier, "/");
    QApplication::sendEvent(f.Layout().lb, &slash);
    EXPECT_EQ(f.Layout().edtFind->selectedText(), "gl");
}

// The properties panel: names, size, depth, levels, palette and alpha, offsets,
// format fields of the shown texture.
TEST_F(BrowseTest, PropertiesOfTheShownTexture) {
    TextureSpec mips = RealTexture("sign", 64, 32, 4, 3, 5);
    mips.Mask = "sign_a";
    for (PaletteEntry& e : mips.Palette)
        e.A = 128;
    mips.Palette[2].A = 10;
    std::fill(mips.Pixels.begin(), mips.Pixels.end(), 1);
    mips.Pixels[0] = 2;
    TForm1& f = Start(Write("p.txd", BuildDictionary({mips, RandomTexture("plain", 16, 8, 8, true, 1)})));
    EXPECT_FALSE(f.Action(TAct::Properties1)->isChecked());
    f.Action(TAct::Properties1)->trigger();
    EXPECT_TRUE(f.Action(TAct::Properties1)->isChecked());
    auto value = [&](const QString& label) {
        for (int i = 0; i < f.Layout().tvProperties->topLevelItemCount(); ++i)
            if (f.Layout().tvProperties->topLevelItem(i)->text(0) == label)
                return f.Layout().tvProperties->topLevelItem(i)->text(1);
        return QString("(missing)");
    };
    EXPECT_EQ(value("Name"), "sign");
    EXPECT_EQ(value("Mask"), "sign_a");
    EXPECT_EQ(value("Size"), "64 x 32");
    EXPECT_EQ(value("Depth"), "4 bits, palettised");
    EXPECT_EQ(value("Levels"), "3: 64 x 32, 32 x 16, 16 x 8");
    EXPECT_EQ(value("Palette entries used"), "2 of 16");
    EXPECT_EQ(value("Alpha"), "10 to 128 (128 is opaque)");
    EXPECT_EQ(value("Transparency"), "yes");
    EXPECT_EQ(value("Layout"), "the record's own headers");
    EXPECT_EQ(value("rasterFormat").left(2), "0x");
    EXPECT_EQ(value("Raster header at"), QString::number(f.List().Entries()[0].DataOffset));

    f.Layout().lb->setCurrentRow(1);
    EXPECT_EQ(value("Name"), "plain");
    EXPECT_EQ(value("Mask"), "(none)");
    EXPECT_EQ(value("Layout"), "the fixed offsets");
    EXPECT_EQ(value("rasterFormat"), "(missing)");
}

// The palette in cells large enough to see: hovering says the entry, a click
// marks its texels in the picture and says how many use it.
TEST_F(BrowseTest, PaletteCellsHoverAndMark) {
    TextureSpec t = RandomTexture("t", 16, 8, 8, true, 6);
    for (PaletteEntry& e : t.Palette)
        e.A = 128;
    std::fill(t.Pixels.begin(), t.Pixels.end(), 3);
    t.Pixels[5] = 40;
    t.Palette[40] = {250, 10, 20, 128};
    TForm1& f = Start(Write("p.txd", BuildDictionary({t, RandomTexture("four", 16, 8, 4, true, 7)})));
    TPaletteView* pal = f.Layout().palView;
    ASSERT_EQ(pal->Colours().size(), 256u);
    EXPECT_EQ(pal->size(), QSize(16 * 16, 16 * 10)); // 16 rows of 16 cells
    EXPECT_EQ(pal->Colours()[40], QColor(250, 10, 20));
    EXPECT_EQ(pal->EntryAt(pal->CellRect(40).center()), 40);

    const QPointF cell = pal->CellRect(40).center();
    QMouseEvent move(QEvent::MouseMove, cell, pal->mapToGlobal(cell), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(pal, &move);
    EXPECT_EQ(f.Layout().ReadoutText->text(), "entry 40: 250 10 20 128");

    QMouseEvent press(QEvent::MouseButtonPress, cell, pal->mapToGlobal(cell), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(pal, &press);
    EXPECT_EQ(pal->Marked(), 40);
    EXPECT_EQ(Status(), "Entry 40 is used by 1 texel(s).");
    const QImage marked = f.Layout().Image1->Picture();
    EXPECT_EQ(QColor(marked.pixel(5, 0)), QColor(250, 10, 20)); // as it is
    const PaletteEntry other = t.Palette[3];
    EXPECT_EQ(qRed(marked.pixel(0, 0)), (other.R + 256) / 3); // faded
    QApplication::sendEvent(pal, &press); // a second click ends the mark
    EXPECT_EQ(pal->Marked(), -1);
    EXPECT_EQ(QColor(f.Layout().Image1->Picture().pixel(0, 0)), QColor(other.R, other.G, other.B));

    f.Layout().lb->setCurrentRow(1);
    EXPECT_EQ(pal->Colours().size(), 16u);
    EXPECT_EQ(pal->height(), 10);
}

// The mass extract dialog opens at least at its designed size with every text
// whole, wide enough for long captions, and its list grows with the dialog.
TEST_F(BrowseTest, MassExtractDialogGrowsWithItsList) {
    std::vector<TextureSpec> texs;
    for (int i = 0; i < 165; ++i)
        texs.push_back(RandomTexture("a_rather_long_texture_name_" + std::to_string(i), 16, 8, 8, true, i));
    TForm1& f = Start(Write("many.txd", BuildDictionary(texs)));
    std::string dest;
    TForm2 d(&f, *ui_, dest, f.Session().File());
    d.Fill(f.List().Entries(), "many");
    d.FitTexts();
    EXPECT_GE(d.width(), 434);
    EXPECT_GE(d.height(), 212);
    EXPECT_GE(d.clb->width(), d.clb->sizeHintForColumn(0)); // captions whole
    const QSize list = d.clb->size();
    d.resize(d.width() + 200, d.height() + 300);
    d.layout()->setGeometry(QRect(QPoint(0, 0), d.size()));
    EXPECT_GE(d.clb->width(), list.width() + 150);
    EXPECT_GE(d.clb->height(), list.height() + 250);
    EXPECT_NEAR(d.Button5->geometry().right(), d.width() - 1, 2);
    EXPECT_GE(f.Layout().Progress->minimumWidth(), f.Layout().Progress->fontMetrics().horizontalAdvance("Texture 165 of 165"));
}

// View > Thumbnails: the list becomes a grid of thumbnails with names below,
// made off the user-interface thread; the selection is the list's.
TEST_F(BrowseTest, ThumbnailGrid) {
    std::vector<TextureSpec> texs;
    for (int i = 0; i < 40; ++i)
        texs.push_back(RandomTexture("tex" + std::to_string(i), i % 2 ? 512 : 16, i % 2 ? 128 : 32, i % 3 ? 8 : 4, true, i));
    TForm1& f = Start(Write("many.txd", BuildDictionary(texs)));
    f.showNormal();
    f.resize(900, 600);
    QApplication::processEvents();
    f.Layout().lb->setCurrentRow(5);
    // Switched on and off while the worker is busy: what waits is dropped, what it
    // is making still arrives, and nothing is shared without its lock.
    for (int i = 0; i < 6; ++i) {
        f.Action(TAct::Thumbnails1)->trigger();
        QApplication::processEvents();
        f.Action(TAct::Thumbnails1)->trigger();
    }
    f.Action(TAct::Thumbnails1)->trigger();
    EXPECT_EQ(f.Layout().lb->viewMode(), QListView::IconMode);
    EXPECT_EQ(f.Layout().lb->item(7)->text(), "tex7");
    // The worker makes them all in the background; the window keeps taking events.
    QElapsedTimer waited;
    waited.start();
    while (f.List().ThumbnailsReady() < texs.size() && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(f.List().ThumbnailsReady(), texs.size());
    for (int row = 0; row < f.Layout().lb->count(); ++row) {
        const QList<QSize> sizes = f.Layout().lb->item(row)->icon().availableSizes();
        ASSERT_FALSE(sizes.isEmpty()) << row;
        EXPECT_LE(sizes.first().width(), 64);
    }
    // A thumbnail is the texture: a 16 x 32 one stays at its size.
    EXPECT_EQ(f.Layout().lb->item(0)->icon().availableSizes().first(), QSize(16, 32));
    EXPECT_EQ(f.Layout().lb->item(1)->icon().availableSizes().first(), QSize(64, 16));
    // One selection for grid and list.
    EXPECT_EQ(f.List().SelectedEntry(), 5);
    f.Layout().lb->setCurrentRow(9);
    EXPECT_EQ(f.View().State().Pixels, texs[9].Pixels);
    f.Action(TAct::Thumbnails1)->trigger();
    EXPECT_EQ(f.Layout().lb->viewMode(), QListView::ListMode);
    EXPECT_EQ(f.List().SelectedEntry(), 9);
    EXPECT_TRUE(f.Layout().lb->item(9)->text().startsWith("10. tex9  |  512 x 128"));
    EXPECT_TRUE(f.Layout().lb->item(9)->icon().isNull());
    // Another dictionary while the grid is on: its own names and thumbnails.
    f.Action(TAct::Thumbnails1)->trigger();
    f.OpenFile(Write("two.txd", BuildDictionary({texs[0], texs[1]})));
    EXPECT_EQ(f.Layout().lb->item(1)->text(), "tex1");
    waited.restart();
    while (f.List().ThumbnailsReady() < 2 && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(f.List().ThumbnailsReady(), 2u);
}

// Ctrl+Shift+F searches the open file's folder, or the open archive: results come
// in as the search goes, and choosing one shows its texture wherever it is.
TEST_F(BrowseTest, FindInAllDictionaries) {
    const std::string a = Write("a.txd", BuildDictionary({RandomTexture("road", 16, 8, 8, true, 1)}));
    fs::create_directories(dir_ + "/sub");
    Write("sub/b.txd", BuildDictionary({RandomTexture("grass", 16, 8, 8, true, 2), RandomTexture("wheel_l", 32, 16, 4, true, 3)}));
    TForm1& f = Start(a);
    EXPECT_EQ(f.Action(TAct::FindAll1)->shortcut(), QKeySequence("Ctrl+Shift+F"));
    f.Action(TAct::FindAll1)->trigger();
    TFindAllDialog* d = f.FindAll();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->Scope(), fs::canonical(dir_).string());
    d->edtPattern->setText("WHEEL");
    QTest::keyClick(d->edtPattern, Qt::Key_Return);
    QElapsedTimer t;
    t.start();
    while (d->Searching() && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    QApplication::processEvents();
    ASSERT_EQ(d->tvResults->topLevelItemCount(), 1);
    EXPECT_EQ(d->tvResults->topLevelItem(0)->text(0), "b.txd");
    EXPECT_EQ(d->tvResults->topLevelItem(0)->text(1), "wheel_l");
    EXPECT_EQ(d->tvResults->topLevelItem(0)->text(2), "32 x 16");
    EXPECT_EQ(d->tvResults->topLevelItem(0)->text(3), "4bit");
    EXPECT_EQ(d->lblStatus->text(), "1 texture(s) found.");
    // Return on the result opens its dictionary with the texture shown, and the dialog goes.
    d->tvResults->setFocus();
    QTest::keyClick(d->tvResults, Qt::Key_Return);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(f.Session().File(), fs::canonical(dir_).string() + "/sub/b.txd");
    EXPECT_EQ(f.List().SelectedEntry(), 1);
    EXPECT_EQ(f.View().State().TexWidth, 32u);
    EXPECT_TRUE(Status().startsWith("Texture 2 loaded"));
    // Back again with what it found; Escape closes it.
    f.Action(TAct::FindAll1)->trigger();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->tvResults->topLevelItemCount(), 1);
    QTest::keyClick(d->edtPattern, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());

    // In an archive: the archive's dictionaries, the right one chosen in its panel.
    Write("game.img", BuildArchiveV2({{"one.txd", BuildDictionary({RandomTexture("x", 16, 8, 8, true, 4)})},
                                      {"two.txd", BuildDictionary({RandomTexture("y", 16, 8, 8, true, 5),
                                                                   RandomTexture("wheel_r", 8, 8, 8, true, 6)})}}));
    f.OpenFile(dir_ + "/game.img");
    f.Action(TAct::FindAll1)->trigger();
    EXPECT_EQ(d->Scope(), dir_ + "/game.img");
    d->Search();
    d->Stop(); // whatever was found stays, and the count says so
    d->Search();
    t.restart();
    while (d->Searching() && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    QApplication::processEvents();
    ASSERT_EQ(d->Results().size(), 1u);
    EXPECT_EQ(d->tvResults->topLevelItem(0)->text(0), "two.txd");
    d->Open(d->Results()[0]);
    EXPECT_EQ(f.Layout().lbArchive->currentItem()->text().left(7), "two.txd");
    EXPECT_EQ(f.List().SelectedEntry(), 1);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - game.img/two.txd - 2 texture(s)");
    EXPECT_TRUE(ui_->errors.empty());
}

// The open dictionary is read once: a file changed on disk is not mixed into the
// display; Reload reads it and walks it again, keeping the texture selected.
TEST_F(BrowseTest, TheDocumentIsReadOnceAndReloadWalksAgain) {
    const std::string p = Write("d.txd", BuildDictionary({RandomTexture("a", 16, 8, 8, true, 1),
                                                         RandomTexture("b", 16, 8, 8, true, 2)}));
    TForm1& f = Start(p);
    f.Layout().lb->setCurrentRow(1);
    const std::vector<std::uint8_t> pixels = f.View().State().Pixels;
    const TextureSpec wide = RandomTexture("wide", 64, 8, 8, true, 9);
    Write("d.txd", BuildDictionary({RandomTexture("new", 8, 8, 8, true, 3), wide, RandomTexture("c", 8, 8, 8, true, 4)}));
    f.Layout().lb->setCurrentRow(0);
    f.Layout().lb->setCurrentRow(1);
    EXPECT_EQ(f.View().State().Pixels, pixels); // the bytes read at the open
    EXPECT_EQ(f.Layout().lb->count(), 2);
    f.Action(TAct::Reload1)->trigger();
    EXPECT_EQ(f.Layout().lb->count(), 3);
    EXPECT_EQ(f.List().SelectedEntry(), 1);
    EXPECT_EQ(f.View().State().Pixels, wide.Pixels);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - d.txd - 3 texture(s)");
}

// The document: edits make new dictionaries, undo and redo step through them, and
// the file's own bytes are the unmodified state whichever way the user got there.
TEST(DictionarySession, EditsUndoRedoAndTheSavedBytes) {
    const std::string dir = MakeTempDir("session");
    const std::string file = dir + "/d.txd";
    const std::vector<std::uint8_t> original = BuildDictionary({RandomTexture("a", 16, 8, 8, true, 1)});
    WriteFile(file, original);
    TDictionarySession s;
    s.SetFile(file);
    EXPECT_FALSE(s.Loaded());
    s.Load();
    ASSERT_TRUE(s.Loaded());
    EXPECT_EQ(s.CurrentBytes(), original);
    EXPECT_FALSE(s.Modified());
    EXPECT_FALSE(s.CanUndo());
    const auto first = s.Shared();

    std::vector<std::uint8_t> one = original, two = original;
    one.back() ^= 1;
    two.back() ^= 2;
    s.Apply(one, "Replace a");
    s.Apply(two, "Rename a");
    EXPECT_TRUE(s.Modified());
    EXPECT_EQ(s.CurrentBytes(), two);
    EXPECT_EQ(s.UndoLabel(), "Rename a");
    EXPECT_NE(s.Shared(), first); // each edit is a new dictionary; the one before stays whole
    EXPECT_EQ(first->Walk().Count, 1u);
    s.Undo();
    EXPECT_EQ(s.CurrentBytes(), one);
    EXPECT_EQ(s.RedoLabel(), "Rename a");
    s.Undo();
    EXPECT_EQ(s.CurrentBytes(), original);
    EXPECT_FALSE(s.Modified()); // back to what the file holds
    EXPECT_FALSE(s.CanUndo());
    s.Redo();
    EXPECT_EQ(s.CurrentBytes(), one);
    EXPECT_TRUE(s.Modified());
    s.Apply(two, "Remove a"); // a new edit ends the redo history
    EXPECT_FALSE(s.CanRedo());
    s.MarkSaved();
    EXPECT_FALSE(s.Modified());
    s.Undo();
    EXPECT_TRUE(s.Modified()); // what was saved is no longer shown
    s.ForgetEdits();
    EXPECT_EQ(s.CurrentBytes(), two); // the saved bytes, and no history
    EXPECT_FALSE(s.CanUndo() || s.CanRedo() || s.Modified());

    // The file changed on disk is seen only when read again.
    WriteFile(file, one);
    EXPECT_EQ(s.CurrentBytes(), two);
    s.Load();
    EXPECT_EQ(s.CurrentBytes(), one);
    EXPECT_EQ(s.ShownFileName(), "d.txd");
    EXPECT_EQ(s.LoosePath(), file);
    EXPECT_EQ(s.SearchScope(), fs::canonical(dir).string());
    s.Unload();
    EXPECT_FALSE(s.Loaded());
    fs::remove_all(dir);
}

// The document says each change by a signal, so that the parts that listen
// (the menu's states, the caption, the disk watch) follow whoever made it.
TEST(DictionarySession, SaysEachChangeBySignals) {
    const std::string dir = MakeTempDir("session-signals");
    const std::vector<std::uint8_t> bytes = BuildDictionary({RandomTexture("a", 16, 8, 8, true, 1)});
    WriteFile(dir + "/g.img", BuildArchiveV2({{"one.txd", bytes}, {"two.txd", bytes}}));
    TDictionarySession s;
    std::string heard;
    QObject::connect(&s, &TDictionarySession::FileChanged, [&] { heard += 'F'; });
    QObject::connect(&s, &TDictionarySession::DictionaryChanged, [&] { heard += 'D'; });
    QObject::connect(&s, &TDictionarySession::HistoryChanged, [&] { heard += 'H'; });
    auto said = [&heard] { return std::exchange(heard, std::string()); };

    s.SetFile(dir + "/g.img");
    EXPECT_EQ(said(), "F");
    s.ReadTable();
    EXPECT_EQ(said(), "F");
    ASSERT_TRUE(s.Archive());
    EXPECT_FALSE(s.ShownEntry()); // none chosen yet
    EXPECT_EQ(s.ChooseDictionary("two.txd"), std::optional<std::size_t>(1));
    EXPECT_EQ(said(), "F");
    EXPECT_EQ(s.ShownEntry()->Name, "two.txd");
    EXPECT_FALSE(s.ChooseDictionary("three.txd"));
    EXPECT_FALSE(s.ChooseDictionary(2));
    EXPECT_EQ(said(), ""); // nothing chosen, nothing changed
    EXPECT_EQ(s.ShownEntry()->Name, "two.txd");
    s.Load();
    EXPECT_EQ(said(), "DH");
    std::vector<std::uint8_t> edited = bytes;
    edited.back() ^= 1;
    s.Apply(edited, "Replace a");
    EXPECT_EQ(said(), "DH");
    s.Undo();
    EXPECT_EQ(said(), "DH");
    s.Redo();
    EXPECT_EQ(said(), "DH");
    s.MarkSaved();
    EXPECT_EQ(said(), "H");
    s.ClearHistory();
    EXPECT_EQ(said(), "H");
    s.Unload();
    EXPECT_EQ(said(), "DH");

    // A table that cannot be read leaves no archive open, and says so.
    s.ReadTable();
    ASSERT_TRUE(s.Archive());
    fs::remove(dir + "/g.img");
    said();
    EXPECT_THROW(s.ReadTable(), std::exception);
    EXPECT_EQ(said(), "F");
    EXPECT_FALSE(s.Archive());
    fs::remove_all(dir);
}

// The menu's states follow the document whoever changes it.
TEST(DictionarySession, TheMenuFollowsTheDocument) {
    const std::string dir = MakeTempDir("session-menu");
    WriteFile(dir + "/d.txd", BuildDictionary({RandomTexture("a", 16, 8, 8, true, 1)}));
    TForm1 f({QString::fromStdString(dir + "/d.txd")}, std::make_shared<FakeUi>());
    QAction* undo = f.Action(TAct::Undo1);
    EXPECT_FALSE(undo->isEnabled());
    std::vector<std::uint8_t> edited = f.Session().CurrentBytes();
    edited.back() ^= 1;
    f.Session().Apply(edited, "Replace a");
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), "&Undo Replace a");
    f.Session().Undo();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(f.Action(TAct::Redo1)->isEnabled());
    EXPECT_FALSE(f.Action(TAct::RemoveDictionary1)->isEnabled());
    fs::remove_all(dir);
}

// Undo keeps what each edit changed, not the whole file, and its memory is
// bounded: past 100 steps or 256 MB the oldest go first.
TEST(DictionarySession, UndoKeepsTheChangeAndIsBounded) {
    const std::string dir = MakeTempDir("session-bound");
    const std::string file = dir + "/d.txd";
    std::vector<std::uint8_t> bytes = BuildDictionary({RandomTexture("a", 1024, 1024, 8, true, 1)});
    WriteFile(file, bytes);
    TDictionarySession s;
    s.SetFile(file);
    s.Load();
    std::vector<std::vector<std::uint8_t>> states{bytes};
    for (int i = 0; i < 150; ++i) {
        bytes[1000 + static_cast<std::size_t>(i)] ^= 0x5A; // one byte of the picture
        s.Apply(bytes, "Edit " + std::to_string(i));
        states.push_back(bytes);
    }
    EXPECT_LT(s.HistoryBytes(), 64u * 1024) << "each step keeps the bytes it changed";
    int undone = 0;
    while (s.CanUndo()) {
        s.Undo();
        ++undone;
        ASSERT_EQ(s.CurrentBytes(), states[states.size() - 1 - static_cast<std::size_t>(undone)]);
    }
    EXPECT_EQ(undone, 100);
    while (s.CanRedo())
        s.Redo();
    EXPECT_EQ(s.CurrentBytes(), states.back());
    s.ForgetEdits();
    EXPECT_EQ(s.CurrentBytes(), states.front());
    EXPECT_FALSE(s.Modified());
    // Edits that change a whole large picture (its first and last bytes and all
    // between): the bound in bytes holds, well before 100 steps.
    bytes = BuildDictionary({RandomTexture("b", 2048, 2048, 8, true, 2)});
    WriteFile(file, bytes);
    s.Load();
    for (int i = 0; i < 80; ++i) {
        bytes[300] ^= 1;
        bytes[bytes.size() - 20] ^= 1;
        s.Apply(bytes, "Everything");
    }
    EXPECT_LE(s.HistoryBytes(), TDictionarySession::kMostBytes);
    EXPECT_GT(s.HistoryBytes(), TDictionarySession::kMostBytes * 3 / 4);
    EXPECT_EQ(s.CurrentBytes(), bytes);
    s.Undo();
    bytes[300] ^= 1;
    bytes[bytes.size() - 20] ^= 1;
    EXPECT_EQ(s.CurrentBytes(), bytes);
    EXPECT_TRUE(s.Modified());
    fs::remove_all(dir);
}

// Every match is listed: a search over hundreds of dictionaries, whose last
// matches may come in as it ends, lists all it found, each time.
TEST_F(BrowseTest, FindInAllDictionariesListsEveryMatch) {
    const std::vector<std::uint8_t> dict =
        BuildDictionary({RandomTexture("wheel_a", 8, 8, 8, true, 1), RandomTexture("wheel_b", 8, 8, 4, true, 2)});
    for (int i = 0; i < 300; ++i)
        Write("d" + std::to_string(i) + ".txd", dict);
    TForm1& f = Start(dir_ + "/d0.txd");
    f.Action(TAct::FindAll1)->trigger();
    TFindAllDialog* d = f.FindAll();
    d->edtPattern->setText("wheel");
    for (int round = 0; round < 3; ++round) {
        d->Search();
        QElapsedTimer t;
        t.start();
        while (d->Searching() && t.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_FALSE(d->Searching());
        EXPECT_EQ(d->tvResults->topLevelItemCount(), 600);
        EXPECT_EQ(d->lblStatus->text(), "600 texture(s) found.");
    }
}
