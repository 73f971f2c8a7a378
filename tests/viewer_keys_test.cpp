// The window used from the keyboard from start-up, and what it tells: archives
// opened by either file, failed opens that keep what was open, a question before
// a texture changes size, a palette that goes with its picture, whole values.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "dictionary/dictionary.h"
#include "export/image_writers.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/fake_ui.h"
#include "viewer/KelmoraU.h"
#include "viewer/archive_panel.h"
#include "viewer/edit_commands.h"
#include "viewer/export_controller.h"
#include "viewer/texture_list_panel.h"
#include "viewer/palette_view.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class KeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("keys");
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
    // The window on screen and active, as after a start from the desktop.
    TForm1& Show(const std::string& path) {
        form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(path)}, ui_);
        form_->showNormal();
        form_->activateWindow();
        QApplication::setActiveWindow(form_.get());
        QApplication::processEvents();
        return *form_;
    }
    // A key as the user types it, to whatever has the focus.
    void Type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, static_cast<Qt::Key>(key), modifiers);
        QApplication::processEvents();
    }
    std::string dir_;
    std::shared_ptr<FakeUi> ui_;
    std::unique_ptr<TForm1> form_;
};

} // namespace

// From start-up the list has the focus: the arrows move through it, and the
// menu's shortcuts work from the find field too, which hands Down to the list.
TEST_F(KeysTest, TheKeyboardWorksFromStartUp) {
    TForm1& f = Show(Write("d.txd", BuildDictionary({RandomTexture("alpha", 16, 16, 8, true, 1),
                                                     RandomTexture("beta", 16, 16, 8, true, 2),
                                                     RandomTexture("gamma", 16, 16, 8, true, 3)})));
    EXPECT_EQ(QApplication::focusWidget(), f.Layout().lb);
    Type(Qt::Key_Down);
    EXPECT_EQ(f.List().SelectedEntry(), 1);
    EXPECT_TRUE(f.Layout().StatusText->text().startsWith("Texture 2 loaded")) << f.Layout().StatusText->text().toStdString();

    f.Action(TAct::Find1)->trigger();
    ASSERT_EQ(QApplication::focusWidget(), f.Layout().edtFind);
    int dialogs = 0;
    ui_->onModal = [&](QDialog*) {
        ++dialogs;
        return int(QDialog::Rejected);
    };
    Type(Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(dialogs, 1);
    Type(Qt::Key_F, Qt::ControlModifier);
    EXPECT_FALSE(f.Action(TAct::EnableFilter1)->isChecked());

    QTest::keyClicks(f.Layout().edtFind, "gam");
    Type(Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), f.Layout().lb);
    EXPECT_EQ(f.List().SelectedEntry(), 2);

    f.Action(TAct::Find1)->trigger();
    Type(Qt::Key_X, Qt::ControlModifier);
    EXPECT_FALSE(f.isVisible());
}

// An archive opens by its .dir as by its .img; what cannot be opened leaves the
// open file as it was.
TEST_F(KeysTest, ArchivesByEitherFileAndFailedOpens) {
    const std::vector<std::uint8_t> dict = BuildDictionary({RandomTexture("inside", 16, 16, 8, true, 4)});
    const ArchiveV1 v1 = BuildArchiveV1({{"one.txd", dict}, {"two.txd", dict}});
    Write("v1.img", v1.Img);
    TForm1& f = Show(Write("v1.dir", v1.Dir));
    EXPECT_TRUE(ui_->messages.empty()) << ui_->messages[0].toStdString();
    ASSERT_EQ(f.Layout().lbArchive->count(), 2);
    ASSERT_EQ(f.Layout().lb->count(), 1);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - v1.dir/one.txd - 1 texture(s)");
    f.Layout().lbArchive->setCurrentRow(1);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - v1.dir/two.txd - 1 texture(s)");
    // The filter's Down and Return go to its list, to the first line it leaves;
    // Escape clears it.
    QLineEdit* filter = f.Layout().pnlArchive->FindField();
    filter->setFocus();
    QTest::keyClicks(filter, "one");
    QTest::keyClick(filter, Qt::Key_Down);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - v1.dir/one.txd - 1 texture(s)");
    EXPECT_TRUE(f.Layout().lbArchive->hasFocus() || QApplication::focusWidget() == f.Layout().lbArchive);
    filter->setFocus();
    QTest::keyClick(filter, Qt::Key_Escape);
    EXPECT_TRUE(filter->text().isEmpty());
    QTest::keyClicks(filter, "two");
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - v1.dir/two.txd - 1 texture(s)");

    const std::string lonely = Write("lonely.dir", v1.Dir);
    f.RunCommand([&] { f.OpenFile(lonely); }); // its .img is missing
    ASSERT_EQ(ui_->errors.size(), 1u);
    EXPECT_EQ(ui_->errors[0], QString::fromStdString(lonely + " has no data file: lonely.img is missing."));
    EXPECT_EQ(f.Session().File(), dir_ + "/v1.dir");
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - v1.dir/two.txd - 1 texture(s)");
    EXPECT_EQ(f.Layout().lb->count(), 1);
}

// A picture of another size is asked about before the texture takes it; a
// failed display leaves no palette of the texture before; every Properties value
// can be read whole.
TEST_F(KeysTest, QuestionsAndWholeValues) {
    TextureSpec odd = RandomTexture("odd", 16, 16, 8, true, 5);
    odd.Depth = 24; // written as an 8-bit body with a depth the decoder refuses
    TForm1& f = Show(Write("d.txd", BuildDictionary({RealTexture("wheel", 32, 32, 8, 1, 6), odd})));
    ASSERT_EQ(f.Layout().palView->Colours().size(), 256u);
    f.Layout().lb->setCurrentRow(1);
    EXPECT_TRUE(f.Layout().palView->Colours().empty());
    EXPECT_TRUE(f.Layout().Image1 != nullptr);

    f.Layout().lb->setCurrentRow(0);
    DecodeState big = Dictionary::OpenFile(dir_ + "/d.txd").Decode(0).State;
    big.TexWidth = big.TexHeight = 64;
    big.Pixels.assign(64 * 64, 9);
    WritePng(dir_ + "/big.png", big, true);
    f.Edits().ReplaceShownTexture(dir_ + "/big.png"); // cancelled
    ASSERT_EQ(ui_->sizeQuestions.size(), 1u);
    EXPECT_EQ(ui_->sizeQuestions[0].text,
              "big.png is 64 x 64; texture 1 (wheel) is 32 x 32. The texture can take the picture's size (1 level(s)), "
              "or the picture can be scaled to the texture's.");
    EXPECT_TRUE(ui_->sizeQuestions[0].pictureSizeAllowed);
    EXPECT_FALSE(f.Session().Modified());
    // Scaled: the texture keeps its size and takes the picture.
    ui_->sizeChoices = {TUiServices::SizeChoice::ScaleToTexture};
    f.Edits().ReplaceShownTexture(dir_ + "/big.png");
    EXPECT_TRUE(f.Session().Modified());
    EXPECT_TRUE(f.Layout().lb->item(0)->text().endsWith("32 x 32 (8bit)"));
    EXPECT_EQ(f.View().State().Pixels, std::vector<std::uint8_t>(32 * 32, f.View().State().Pixels[0]));
    ui_->sizeChoices = {TUiServices::SizeChoice::TakePictureSize};
    f.Edits().ReplaceShownTexture(dir_ + "/big.png");
    EXPECT_TRUE(f.Layout().lb->item(0)->text().endsWith("64 x 64 (8bit)"));

    // Sides no texture can have: only scaling is offered, and it is asked before
    // anything about colours.
    DecodeState many; // 100 x 60 of many colours, as an RGBA PNG
    many.TexWidth = 100;
    many.TexHeight = 60;
    many.TexDepth = 32;
    many.TrueColour = many.FullAlpha = true;
    for (std::uint32_t i = 0; i < 100 * 60; ++i)
        many.Texels.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 7), static_cast<std::uint8_t>(i / 13), 255});
    WritePng(dir_ + "/odd.png", many, false);
    const std::size_t colours = static_cast<std::size_t>(ui_->colourQuestions);
    f.Edits().ReplaceShownTexture(dir_ + "/odd.png");
    ASSERT_EQ(ui_->sizeQuestions.size(), 4u);
    EXPECT_FALSE(ui_->sizeQuestions.back().pictureSizeAllowed);
    EXPECT_NE(ui_->sizeQuestions.back().text.indexOf("can only be scaled"), -1);
    EXPECT_EQ(static_cast<std::size_t>(ui_->colourQuestions), colours); // cancelled before
    ui_->sizeChoices = {TUiServices::SizeChoice::ScaleToTexture};
    f.Edits().ReplaceShownTexture(dir_ + "/odd.png");
    EXPECT_EQ(static_cast<std::size_t>(ui_->colourQuestions), colours + 1);
    EXPECT_TRUE(ui_->colourCanKeep.back()); // the texture has a palette to keep
    EXPECT_TRUE(f.Layout().lb->item(0)->text().endsWith("64 x 64 (8bit)"));

    f.Action(TAct::Properties1)->trigger();
    ASSERT_GT(f.Layout().tvProperties->topLevelItemCount(), 3);
    for (int i = 0; i < f.Layout().tvProperties->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = f.Layout().tvProperties->topLevelItem(i);
        EXPECT_EQ(item->toolTip(1), item->text(1)) << item->text(0).toStdString();
    }
}

// In the grid the selected thumbnail keeps its colours: a frame marks it.
TEST_F(KeysTest, SelectedThumbnailIsFramedNotTinted) {
    TextureSpec plain = RandomTexture("plain", 32, 32, 8, false, 7);
    for (std::uint8_t& p : plain.Pixels)
        p = 3;
    plain.Palette[3] = {200, 40, 40, 128};
    TForm1& f = Show(Write("d.txd", BuildDictionary({plain, plain})));
    f.resize(900, 600);
    f.Action(TAct::Thumbnails1)->trigger();
    QElapsedTimer waited;
    waited.start();
    while (f.List().ThumbnailsReady() < 2 && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(f.List().ThumbnailsReady(), 2u);
    f.Layout().lb->setCurrentRow(0);
    QApplication::processEvents();
    const QImage shot = f.Layout().lb->viewport()->grab().toImage();
    // Inside each 32 x 32 thumbnail, at the top of its cell, selected and not.
    auto middle = [&](int row) {
        const QRect r = f.Layout().lb->visualItemRect(f.Layout().lb->item(row));
        return QColor(shot.pixel(r.center().x(), r.top() + 12));
    };
    EXPECT_EQ(middle(0), middle(1));
    EXPECT_EQ(middle(1), QColor(200, 40, 40));
}

// The archive panel: its own find field and order, and whole dictionaries taken
// out, put in, renamed and removed, each read back by the tests' own reader.
TEST_F(KeysTest, TheArchivePanelFindsSortsAndChangesDictionaries) {
    auto dict = [](std::uint32_t w, std::uint32_t seed) { return BuildDictionary({RandomTexture("t", w, 16, 8, true, seed)}); };
    const ArchiveV1 v1 = BuildArchiveV1({{"b.txd", dict(16, 1)}, {"a.txd", dict(64, 2)}, {"c.txd", dict(512, 3)}});
    Write("game.img", v1.Img);
    TForm1& f = Show(Write("game.dir", v1.Dir));
    ASSERT_EQ(f.Layout().lbArchive->count(), 3);
    auto order = [&] {
        std::vector<std::string> names;
        for (int row = 0; row < f.Layout().lbArchive->count(); ++row)
            if (!f.Layout().lbArchive->item(row)->isHidden())
                names.push_back(f.Layout().lbArchive->item(row)->text().section(' ', 0, 0).toStdString());
        return names;
    };
    EXPECT_EQ(order(), (std::vector<std::string>{"b.txd", "a.txd", "c.txd"}));
    f.Layout().pnlArchive->Order()->setCurrentIndex(1);
    EXPECT_EQ(order(), (std::vector<std::string>{"a.txd", "b.txd", "c.txd"}));
    f.Layout().pnlArchive->Order()->setCurrentIndex(2);
    EXPECT_EQ(order(), (std::vector<std::string>{"c.txd", "a.txd", "b.txd"}));
    f.Layout().pnlArchive->FindField()->setText("A.T");
    EXPECT_EQ(order(), (std::vector<std::string>{"a.txd"}));
    f.Layout().pnlArchive->FindField()->clear();
    f.Layout().pnlArchive->Order()->setCurrentIndex(0);

    // Rename: a name the table cannot hold is said, and the dialog comes back.
    f.Layout().lbArchive->setCurrentRow(0);
    ui_->texts = {"bad/name.txd", "z.txd"};
    f.Action(TAct::RenameDictionary1)->trigger();
    ASSERT_FALSE(ui_->messages.empty());
    EXPECT_TRUE(ui_->messages.back().contains("path separator")) << ui_->messages.back().toStdString();
    std::vector<ArchiveFile> back = ReadBack(ReadFile(dir_ + "/game.img"), ReadFile(dir_ + "/game.dir"));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].Name, "z.txd");
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - game.dir/z.txd - 1 texture(s)");

    // Add and replace from loose files, extract to one.
    const std::string loose = Write("loose.txd", dict(32, 4));
    ui_->openFile = QString::fromStdString(loose);
    ui_->texts = {"new.txd"};
    f.Action(TAct::AddDictionary1)->trigger();
    back = ReadBack(ReadFile(dir_ + "/game.img"), ReadFile(dir_ + "/game.dir"));
    ASSERT_EQ(back.size(), 4u);
    EXPECT_EQ(back[3].Name, "new.txd");
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - game.dir/new.txd - 1 texture(s)");
    f.Layout().lbArchive->setCurrentRow(1);
    f.Action(TAct::ReplaceDictionary1)->trigger();
    back = ReadBack(ReadFile(dir_ + "/game.img"), ReadFile(dir_ + "/game.dir"));
    std::vector<std::uint8_t> padded = ReadFile(loose);
    padded.resize((padded.size() + 2047) / 2048 * 2048, 0);
    EXPECT_EQ(back[1].Name, "a.txd");
    EXPECT_EQ(back[1].Bytes, padded);
    ui_->dictionaryFile = QString::fromStdString(dir_ + "/out.txd");
    f.Action(TAct::ExtractDictionary1)->trigger();
    std::vector<std::uint8_t> out = ReadFile(dir_ + "/out.txd");
    out.resize(padded.size(), 0);
    EXPECT_EQ(out, padded);

    // Remove, after a question.
    ui_->answers = {true};
    f.Action(TAct::RemoveDictionary1)->trigger();
    back = ReadBack(ReadFile(dir_ + "/game.img"), ReadFile(dir_ + "/game.dir"));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1].Name, "c.txd");
    EXPECT_EQ(f.Layout().lbArchive->count(), 3);
}

// The list column is as wide as the user left it when the window last closed.
TEST_F(KeysTest, TheListColumnKeepsItsWidth) {
    const std::string file = Write("w.txd", BuildDictionary({RandomTexture("a", 8, 8, 8, true, 1)}));
    {
        TForm1& f = Show(file);
        f.Layout().Splitter2->setSizes({333, 500});
        ASSERT_EQ(f.Layout().Splitter2->sizes().value(0), 333);
        f.close();
    }
    TForm1& again = Show(file);
    EXPECT_EQ(again.Layout().Splitter2->sizes().value(0), 333);
}
