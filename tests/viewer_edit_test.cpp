// Editing in the window: replace, add, remove and rename with undo and redo,
// saving, and the question before unsaved changes go away.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "dictionary/dictionary.h"
#include "export/image_writers.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/fake_ui.h"
#include "viewer/KelmoraU.h"
#include "viewer/edit_commands.h"
#include "viewer/export_controller.h"
#include "viewer/picture_box.h"
#include "viewer/texture_list_panel.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class EditTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("vedit");
        ui_ = std::make_shared<FakeUi>();
        texs_ = {RealTexture("wheel", 32, 32, 8, 1, 1), RealTexture("body", 64, 64, 4, 4, 2)};
        for (TextureSpec& t : texs_)
            for (PaletteEntry& e : t.Palette)
                e.A = static_cast<std::uint8_t>(e.A % 129);
        file_ = dir_ + "/car.txd";
        WriteFile(file_, BuildDictionary(texs_));
        original_ = ReadFile(file_);
    }
    void TearDown() override {
        if (form_)
            ui_->saveChoices.assign(4, TUiServices::SaveChoice::Discard); // the fixture closes without asking
        form_.reset();
        fs::remove_all(dir_);
    }
    TForm1& Start() {
        form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(file_)}, ui_);
        return *form_;
    }
    // The first texture with a stripe of index 7, as an edited PNG.
    std::string EditedPng() {
        DecodeState s = Dictionary::OpenFile(file_).Decode(0).State;
        for (std::uint32_t x = 0; x < 32; ++x)
            s.Pixels[3 * 32 + x] = 7;
        WritePng(dir_ + "/wheel.png", s, true);
        edited_ = s.Pixels;
        return dir_ + "/wheel.png";
    }
    std::string dir_, file_;
    std::vector<std::uint8_t> original_, edited_;
    std::vector<TextureSpec> texs_;
    std::shared_ptr<FakeUi> ui_;
    std::unique_ptr<TForm1> form_;
};

} // namespace

TEST_F(EditTest, ReplaceUndoRedoAndSave) {
    TForm1& f = Start();
    ui_->imageFile = QString::fromStdString(EditedPng());
    f.Action(TAct::ReplaceTexture1)->trigger();
    EXPECT_TRUE(ui_->errors.empty()) << (ui_->errors.empty() ? "" : ui_->errors[0].toStdString());
    EXPECT_EQ(ui_->colourQuestions, 0); // a palettised picture within the depth needs no choice
    EXPECT_EQ(f.View().State().Pixels, edited_);
    EXPECT_TRUE(f.Session().Modified());
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - car.txd* - 2 texture(s)");
    EXPECT_EQ(ReadFile(file_), original_); // nothing written yet

    f.Action(TAct::Undo1)->trigger();
    EXPECT_EQ(f.View().State().Pixels, texs_[0].Pixels);
    EXPECT_FALSE(f.Session().Modified());
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - car.txd - 2 texture(s)");
    f.Action(TAct::Redo1)->trigger();
    EXPECT_EQ(f.View().State().Pixels, edited_);
    EXPECT_TRUE(f.Session().Modified());

    f.Action(TAct::Save1)->trigger();
    EXPECT_FALSE(f.Session().Modified());
    EXPECT_EQ(Dictionary::OpenFile(file_).Decode(0).State.Pixels, edited_);
    EXPECT_EQ(Dictionary::OpenFile(file_).Decode(1).State.Pixels, texs_[1].Pixels);
    // Undo after a save is an unsaved change again.
    f.Action(TAct::Undo1)->trigger();
    EXPECT_TRUE(f.Session().Modified());

    // Save As writes elsewhere and goes on there.
    ui_->dictionaryFile = QString::fromStdString(dir_ + "/copy.txd");
    f.Action(TAct::SaveAs1)->trigger();
    EXPECT_EQ(f.Session().File(), dir_ + "/copy.txd");
    EXPECT_EQ(ReadFile(dir_ + "/copy.txd"), original_);
    EXPECT_FALSE(f.Session().Modified());
}

TEST_F(EditTest, AddRemoveRenameAndColourChoices) {
    TForm1& f = Start();
    // A true-colour picture of other colours asks how to fit it into the palette.
    DecodeState rgba;
    rgba.TexWidth = rgba.TexHeight = 16;
    rgba.TexDepth = 32;
    rgba.TrueColour = true;
    for (int i = 0; i < 256; ++i)
        rgba.Texels.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 40, 128});
    WritePng(dir_ + "/new.png", rgba, true);
    ui_->imageFile = QString::fromStdString(dir_ + "/new.png");
    // Add asks name, mask name, depth and levels in one go, the name proposed from the file.
    ui_->newTextures = {{"decal", "decal_a", 8, 2}};
    f.Action(TAct::AddTexture1)->trigger();
    ASSERT_EQ(ui_->proposedTextures.size(), 1u);
    EXPECT_EQ(ui_->proposedTextures[0].Name, "new");
    EXPECT_EQ(ui_->levelLimits, (std::vector<int>{2, 2, 1, 1})); // true colour holds one level
    EXPECT_EQ(ui_->colourQuestions, 1);
    EXPECT_EQ(ui_->colourCanKeep, std::vector<bool>{false}); // a new texture has no palette to keep
    ASSERT_EQ(f.Layout().lb->count(), 3);
    EXPECT_EQ(f.Layout().lb->item(2)->text(), "3. decal / decal_a  |  16 x 16 (8bit)");
    EXPECT_EQ(f.List().SelectedEntry(), 2);
    EXPECT_EQ(f.View().LevelCount(), 2u);
    f.Action(TAct::Undo1)->trigger();
    // True colour: no question about colours.
    ui_->newTextures = {{"decal", "", 32, 1}};
    f.Action(TAct::AddTexture1)->trigger();
    EXPECT_EQ(ui_->colourQuestions, 1);
    EXPECT_EQ(f.Layout().lb->item(2)->text(), "3. decal  |  16 x 16 (32bit)");
    f.Action(TAct::Undo1)->trigger();
    ui_->newTextures = {{"decal", "", 8, 1}};
    f.Action(TAct::AddTexture1)->trigger();
    EXPECT_EQ(f.Layout().lb->item(2)->text(), "3. decal  |  16 x 16 (8bit)");

    ui_->texts = {"tyre"};
    f.Layout().lb->setCurrentRow(0);
    f.Action(TAct::RenameTexture1)->trigger();
    EXPECT_EQ(f.Layout().lb->item(0)->text(), "1. tyre  |  32 x 32 (8bit)");
    f.Layout().lb->setCurrentRow(1);
    f.Action(TAct::RemoveTexture1)->trigger();
    EXPECT_EQ(f.Layout().lb->count(), 2);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - car.txd* - 2 texture(s)");
    f.Action(TAct::Undo1)->trigger();
    f.Action(TAct::Undo1)->trigger();
    f.Action(TAct::Undo1)->trigger();
    EXPECT_EQ(f.Layout().lb->count(), 2);
    EXPECT_EQ(f.Layout().lb->item(0)->text(), "1. wheel  |  32 x 32 (8bit)");
    EXPECT_FALSE(f.Session().Modified());

    // A name too long for the format is said, and the dialog comes back with what
    // was typed until it fits or is cancelled.
    const std::size_t before = ui_->messages.size();
    ui_->texts = {QString(40, 'x'), "short"};
    f.Action(TAct::RenameTexture1)->trigger();
    EXPECT_TRUE(ui_->errors.empty());
    ASSERT_EQ(ui_->messages.size(), before + 1);
    EXPECT_TRUE(ui_->messages.back().contains("at most 31 fit")) << ui_->messages.back().toStdString();
    ASSERT_GE(ui_->typedTexts.size(), 2u);
    EXPECT_EQ(ui_->typedTexts[ui_->typedTexts.size() - 2], "body");
    EXPECT_EQ(ui_->typedTexts.back(), QString(40, 'x'));
    EXPECT_TRUE(f.Session().Modified());
    EXPECT_EQ(f.Action(TAct::Undo1)->text(), "&Undo Rename body");
    f.Action(TAct::Undo1)->trigger();
    EXPECT_FALSE(f.Session().Modified());
    EXPECT_FALSE(f.Action(TAct::Undo1)->isEnabled());
    EXPECT_TRUE(f.Action(TAct::Redo1)->isEnabled());
    EXPECT_EQ(f.Action(TAct::Redo1)->text(), "&Redo Rename body");
}

TEST_F(EditTest, UnsavedChangesAreAskedForAndDropsReplace) {
    const std::string other = dir_ + "/other.txd";
    WriteFile(other, BuildDictionary({RealTexture("other", 16, 16, 8, 1, 3)}));
    TForm1& f = Start();
    f.showNormal(); // drops reach a window on screen
    QApplication::processEvents();
    // A dropped image replaces the shown texture after a question.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(EditedPng()))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    ui_->answers = {true};
    QApplication::sendEvent(&f, &drop);
    ASSERT_EQ(ui_->questions.size(), 1u);
    EXPECT_EQ(ui_->questions[0].text.toStdString(), "Replace texture 1 (wheel) by " + dir_ + "/wheel.png?");
    EXPECT_TRUE(f.Session().Modified());

    ui_->openFile = QString::fromStdString(other);
    ui_->saveChoices = {TUiServices::SaveChoice::Cancel};
    f.Action(TAct::Open1)->trigger();
    EXPECT_EQ(ui_->openCalls, 0); // cancelled before the open dialog
    EXPECT_EQ(f.Session().File(), file_);
    ui_->saveChoices = {TUiServices::SaveChoice::Discard};
    f.Action(TAct::NextDictionary1)->trigger();
    EXPECT_EQ(f.Session().File(), other);
    EXPECT_EQ(ReadFile(file_), original_);

    // Closing with changes: Save writes them.
    f.OpenFile(file_);
    ui_->answers = {true};
    QApplication::sendEvent(&f, &enter);
    QApplication::sendEvent(&f, &drop);
    ui_->saveChoices = {TUiServices::SaveChoice::Save};
    f.close();
    EXPECT_EQ(Dictionary::OpenFile(file_).Decode(0).State.Pixels, edited_);
    EXPECT_EQ(ui_->saveQuestions.back(), "car.txd");
}

// A dictionary inside a game archive is edited like a file: Save writes it back
// into the archive, whose other entries stay as they were; leaving it unsaved asks.
TEST_F(EditTest, ArchivesAreEditedInPlace) {
    const std::vector<std::uint8_t> other = BuildDictionary({RealTexture("hud", 16, 16, 8, 1, 9)});
    WriteFile(dir_ + "/game.img", BuildArchiveV2({{"car.txd", original_}, {"hud.txd", other}}));
    TForm1& f = *(form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(dir_ + "/game.img")}, ui_));
    ui_->imageFile = QString::fromStdString(EditedPng());
    f.Action(TAct::ReplaceTexture1)->trigger();
    ASSERT_TRUE(f.Session().Modified());
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - game.img/car.txd* - 2 texture(s)");
    // Another dictionary of the archive: asked first; Cancel keeps the edit shown.
    f.Layout().lbArchive->setCurrentRow(1);
    ASSERT_EQ(ui_->saveQuestions.size(), 1u);
    EXPECT_EQ(ui_->saveQuestions[0], "game.img/car.txd");
    EXPECT_EQ(f.Layout().lbArchive->currentRow(), 0);
    EXPECT_TRUE(f.Session().Modified());

    f.Action(TAct::Save1)->trigger();
    EXPECT_FALSE(f.Session().Modified());
    EXPECT_EQ(f.Layout().StatusText->text(), "Saved game.img/car.txd.");
    const std::vector<ArchiveFile> back = ReadBack(ReadFile(dir_ + "/game.img"));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Name, "car.txd");
    const Dictionary saved(std::make_shared<MemorySource>(back[0].Bytes.data(), back[0].Bytes.size()));
    EXPECT_EQ(saved.Decode(0).State.Pixels, edited_);
    std::vector<std::uint8_t> hud = other;
    hud.resize((hud.size() + 2047) / 2048 * 2048, 0);
    EXPECT_EQ(back[1].Bytes, hud);
    // The window shows what the archive holds now.
    f.Layout().lbArchive->setCurrentRow(1);
    f.Layout().lbArchive->setCurrentRow(0);
    EXPECT_EQ(f.View().State().Pixels, edited_);
}

// Reducing a 1024 x 1024 picture's colours takes a while: the window keeps
// taking events meanwhile (a key is answered within half a second), shows that
// it is busy, starts no other command, and shows the result once it is done.
TEST_F(EditTest, TheWindowTakesKeysWhileColoursAreReduced) {
    file_ = dir_ + "/big.txd";
    WriteFile(file_, BuildDictionary({RealTexture("big", 1024, 1024, 8, 1, 3)}));
    TForm1& f = Start();
    f.showNormal();
    WritePng(dir_ + "/many.png", ManyColourPicture(1024), false); // many colours: it has to be quantised

    // A key posted once the work runs: how long the window takes to handle it,
    // and whether the work was still running then.
    struct KeyWatch : QObject {
        QElapsedTimer sent;
        qint64 answeredAfter = -1;
        bool busy = false, sampled = false, menus = true;
        TForm1* form = nullptr;
        QElapsedTimer whole; // from the start of the replace
        qint64 answeredAt = -1;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::KeyPress && answeredAfter < 0) {
                answeredAfter = sent.elapsed();
                answeredAt = whole.elapsed();
                busy = form->Edits().Busy();
            }
            return false;
        }
    } watch;
    watch.form = &f;
    f.Layout().Image1->installEventFilter(&watch);
    const int before = f.Layout().lb->count();
    // Timers run only while the window takes events: this one first runs once
    // the work has started (everything before it runs on the window's thread).
    QTimer::singleShot(0, &f, [&] {
        watch.sent.start();
        QApplication::postEvent(f.Layout().Image1, new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier));
        f.RunCommand([&] { f.Action(TAct::RemoveTexture1)->trigger(); }); // refused while busy: no second command
        QTimer::singleShot(400, &f, [&] {
            if (f.Edits().Busy()) { // the busy state shows once the work takes a moment
                watch.sampled = true;
                watch.menus = f.menuBar()->isEnabled();
            }
        });
    });
    watch.whole.start();
    f.Edits().ReplaceShownTexture(dir_ + "/many.png");
    const qint64 took = watch.whole.elapsed();
    ASSERT_GE(watch.answeredAfter, 0) << "the key was never handled";
    EXPECT_LT(watch.answeredAfter, 500);
    EXPECT_TRUE(watch.busy);
    // Handled while the reduction still ran (it takes about half a second and
    // more), not once it was over.
    EXPECT_GT(took - watch.answeredAt, 100) << "the key waited " << watch.answeredAt << " ms of " << took;
    if (watch.sampled) {
        EXPECT_FALSE(watch.menus);
    }
    EXPECT_TRUE(f.menuBar()->isEnabled());
    EXPECT_FALSE(f.Edits().Busy());
    EXPECT_EQ(f.Layout().lb->count(), before); // Remove did not run inside Replace
    EXPECT_TRUE(f.Session().Modified());
    EXPECT_EQ(f.Action(TAct::Undo1)->text(), "&Undo Replace big");
    EXPECT_TRUE(ui_->errors.empty()) << (ui_->errors.empty() ? "" : ui_->errors[0].toStdString());
}

// A dictionary that cannot grow (the fixed layout) is said at once: no dialog first.
TEST_F(EditTest, AddIsRefusedBeforeItsDialogWhereNothingCanBeAdded) {
    file_ = dir_ + "/fixed.txd";
    WriteFile(file_, BuildDictionary({RandomTexture("a", 16, 16, 8, true, 1)}));
    TForm1& f = Start();
    ui_->imageFile = QString::fromStdString(EditedPng());
    ui_->newTextures = {{"decal", "", 8, 1}};
    f.Action(TAct::AddTexture1)->trigger();
    EXPECT_TRUE(ui_->proposedTextures.empty()); // the dialog never opened
    ASSERT_EQ(ui_->errors.size(), 1u);
    EXPECT_NE(ui_->errors[0].indexOf("cannot grow"), -1) << ui_->errors[0].toStdString();
    EXPECT_FALSE(f.Session().Modified());
}
