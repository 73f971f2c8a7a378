// The window and other writers of its file: a change on disk is noticed and
// offered as Reload or keeping the edits, a save never overwrites what another
// window or program wrote since the file was read, an archive's table is read
// again before a row read earlier is trusted, read-only files are said and saved
// elsewhere, and an ".img" without its ".dir" is never read as a dictionary.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "archive/archive_edit.h"
#include "base/rollback_journal.h"
#include "dictionary/dictionary.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/fake_ui.h"
#include "tests/support/process.h"
#include "export/image_writers.h"
#include "base/byte_source.h"
#include "viewer/KelmoraU.h"
#include "viewer/texture_list_panel.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class DiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("vdisk");
        ui_ = std::make_shared<FakeUi>();
        file_ = dir_ + "/car.txd";
        WriteFile(file_, BuildDictionary({RealTexture("wheel", 32, 32, 8, 1, 1), RealTexture("body", 16, 16, 4, 1, 2)}));
    }
    void TearDown() override {
        ui_->saveChoices.assign(8, TUiServices::SaveChoice::Discard);
        windows_.clear();
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    TForm1& Open(const std::string& path) {
        windows_.push_back(std::make_unique<TForm1>(QStringList{QString::fromStdString(path)}, ui_));
        return *windows_.back();
    }
    // Renames the selected texture as the user would.
    void Rename(TForm1& f, const QString& name) {
        ui_->texts = {name};
        f.Action(TAct::RenameTexture1)->trigger();
    }
    // Lets the window's events run until pred holds (5 s at most).
    static bool WaitFor(const std::function<bool()>& pred) {
        QElapsedTimer t;
        t.start();
        while (!pred() && t.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        return pred();
    }
    std::vector<std::string> Names(const std::string& path) {
        std::vector<std::string> names;
        const Dictionary d = Dictionary::OpenFile(path);
        for (const TTexEntry& e : d.Entries())
            names.push_back(e.Name);
        return names;
    }
    std::string dir_, file_;
    std::shared_ptr<FakeUi> ui_;
    std::vector<std::unique_ptr<TForm1>> windows_;
};

} // namespace

// Two windows on one dictionary: the second Save would drop the first one's
// edit; it is refused with the change message and keeps its own edit.
TEST_F(DiskTest, TheSecondWindowsSaveIsRefusedAndKeepsItsEdits) {
    TForm1& first = Open(file_);
    TForm1& second = Open(file_);
    Rename(first, "tyre");
    first.Action(TAct::Save1)->trigger();
    ASSERT_FALSE(first.Session().Modified());
    Rename(second, "rim");
    second.Action(TAct::Save1)->trigger();
    ASSERT_EQ(ui_->errors.size(), 1u);
    EXPECT_EQ(ui_->errors[0].toStdString(), file_ + " changed on disk since it was read; nothing was written.");
    EXPECT_TRUE(second.Session().Modified());
    EXPECT_EQ(Names(file_), (std::vector<std::string>{"tyre", "body"}));
    // The first window goes on saving over its own save.
    Rename(first, "tyre2");
    first.Action(TAct::Save1)->trigger();
    EXPECT_EQ(Names(file_), (std::vector<std::string>{"tyre2", "body"}));
}

TEST_F(DiskTest, AChangeOnDiskIsReadAgainOrTheEditsAreKeptForSaveAs) {
    TForm1& f = Open(file_);
    // Without edits: read again at once, and said.
    WriteFile(file_, BuildDictionary({RealTexture("new", 16, 16, 8, 1, 5)}));
    ASSERT_TRUE(WaitFor([&] { return f.List().Entries().size() == 1; }));
    EXPECT_TRUE(ui_->reloadQuestions.empty());
    EXPECT_EQ(f.Layout().StatusText->text(), "car.txd changed on disk and was read again.");

    // With edits: asked; keeping them leaves the file to the other program.
    Rename(f, "mine");
    const std::vector<std::uint8_t> theirs = BuildDictionary({RealTexture("theirs", 16, 16, 8, 1, 6)});
    WriteFile(file_, theirs);
    ASSERT_TRUE(WaitFor([&] { return !ui_->reloadQuestions.empty(); }));
    EXPECT_EQ(ui_->reloadQuestions[0], "car.txd");
    EXPECT_TRUE(f.Session().Modified());
    EXPECT_EQ(f.List().Entries()[0].Name, "mine");
    // Save offers Save As, and writes there.
    ui_->answers = {true};
    ui_->dictionaryFile = QString::fromStdString(dir_ + "/mine.txd");
    f.Action(TAct::Save1)->trigger();
    ASSERT_FALSE(ui_->questions.empty());
    EXPECT_EQ(ui_->questions.back().text.toStdString(),
              "car.txd changed on disk since it was read. Save the dictionary under another name?");
    EXPECT_EQ(ReadFile(file_), theirs);
    EXPECT_EQ(Names(dir_ + "/mine.txd"), std::vector<std::string>{"mine"});
    EXPECT_EQ(f.Session().File(), dir_ + "/mine.txd");

    // Reload: the edits go and the file is shown as it is now.
    f.OpenFile(file_);
    Rename(f, "again");
    ui_->reloadAnswers = {true};
    WriteFile(file_, BuildDictionary({RealTexture("later", 16, 16, 8, 1, 7)}));
    ASSERT_TRUE(WaitFor([&] { return ui_->reloadQuestions.size() == 2; }));
    ASSERT_TRUE(WaitFor([&] { return f.List().Entries()[0].Name == "later"; }));
    EXPECT_FALSE(f.Session().Modified());
}

// An archive changed by another program after the window read its table: the
// rows read then name other bytes now. Choosing a dictionary reads the table
// again; a save depends only on its own entry's row.
TEST_F(DiskTest, AnArchiveChangedUnderneathIsReadAgainBeforeARowIsTrusted) {
    const std::vector<std::uint8_t> car = ReadFile(file_);
    const std::vector<std::uint8_t> hud = BuildDictionary({RealTexture("radar", 16, 16, 8, 1, 9)});
    const std::vector<std::uint8_t> map = BuildDictionary({RealTexture("map", 16, 16, 8, 1, 8)});
    const std::string img = dir_ + "/game.img";
    WriteFile(img, BuildArchiveV2({{"car.txd", car}, {"hud.txd", hud}, {"map.txd", map}}));
    TForm1& f = Open(img);
    {
        // Another program: car.txd goes, and map.txd moves to where hud.txd was.
        ArchiveEdit other(img);
        other.Remove("car.txd");
        other.Remove("hud.txd");
        other.Put("hud.txd", map);
        other.Commit();
    }
    f.Layout().lbArchive->setCurrentRow(1); // "hud.txd" in the table read at open
    ASSERT_TRUE(f.Session().Loaded());
    EXPECT_EQ(f.List().Entries()[0].Name, "map");
    EXPECT_EQ(f.Session().ShownEntry()->Name, "hud.txd");
    // Reload reads the table again too, and shows the same dictionary by its name.
    {
        ArchiveEdit other(img);
        other.Put("hud.txd", BuildDictionary({RealTexture("moved", 64, 64, 8, 1, 4)}));
        other.Commit();
    }
    f.Action(TAct::Reload1)->trigger();
    EXPECT_EQ(f.Session().ShownEntry()->Name, "hud.txd");
    EXPECT_EQ(f.List().Entries()[0].Name, "moved");

    // An edit saved while another program added an entry: its own row is the same.
    Rename(f, "chart");
    {
        ArchiveEdit other(img);
        other.Put("new.txd", hud);
        other.Commit();
    }
    f.Action(TAct::Save1)->trigger();
    EXPECT_TRUE(ui_->errors.empty()) << ui_->errors.front().toStdString();
    EXPECT_FALSE(f.Session().Modified());
    // One saved after its own entry moved is refused; the edit stays.
    Rename(f, "plan");
    {
        ArchiveEdit other(img);
        other.Put("hud.txd", std::vector<std::uint8_t>(hud.size() + 5000, 1));
        other.Commit();
    }
    f.Action(TAct::Save1)->trigger();
    ASSERT_EQ(ui_->errors.size(), 1u);
    EXPECT_EQ(ui_->errors[0].toStdString(), img + " changed on disk since it was read; nothing was written.");
    EXPECT_TRUE(f.Session().Modified());
}

TEST_F(DiskTest, ReadOnlyFilesAreSaidAndSavedElsewhere) {
    fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read);
    TForm1& f = Open(file_);
    EXPECT_NE(f.windowTitle().toStdString().find("[read-only]"), std::string::npos) << f.windowTitle().toStdString();
    Rename(f, "tyre");
    ui_->answers = {true};
    ui_->dictionaryFile = QString::fromStdString(dir_ + "/copy.txd");
    f.Action(TAct::Save1)->trigger();
    ASSERT_FALSE(ui_->questions.empty());
    EXPECT_EQ(ui_->questions.back().text.toStdString(), "car.txd is read-only. Save the dictionary under another name?");
    EXPECT_EQ(Names(file_), (std::vector<std::string>{"wheel", "body"}));
    EXPECT_EQ(Names(dir_ + "/copy.txd"), (std::vector<std::string>{"tyre", "body"}));
    EXPECT_EQ(f.windowTitle().toStdString().find("[read-only]"), std::string::npos);
}

TEST_F(DiskTest, AnImgWithoutItsDirIsNeverADictionary) {
    // A dictionary's bytes under an archive's name: the window does not list them.
    fs::copy_file(file_, dir_ + "/old.img");
    TForm1& f = Open(dir_ + "/old.img");
    EXPECT_FALSE(f.Session().Loaded());
    ASSERT_EQ(ui_->errors.size(), 1u);
    EXPECT_NE(ui_->errors[0].toStdString().find("has no old.dir beside it"), std::string::npos)
        << ui_->errors[0].toStdString();
    // With its ".dir" beside it, it opens as the archive it is.
    const ArchiveV1 a = BuildArchiveV1({{"car.txd", ReadFile(file_)}});
    WriteFile(dir_ + "/old.img", a.Img);
    WriteFile(dir_ + "/old.dir", a.Dir);
    f.OpenFile(dir_ + "/old.img");
    EXPECT_TRUE(f.Session().Archive().has_value());
    EXPECT_EQ(f.List().Entries()[0].Name, "wheel");
}

TEST_F(DiskTest, RenameDictionaryKeepsTheTxdEnding) {
    const std::string img = dir_ + "/game.img";
    WriteFile(img, BuildArchiveV2({{"car.txd", ReadFile(file_)}}));
    TForm1& f = Open(img);
    ui_->texts = {"bike"};
    f.Action(TAct::RenameDictionary1)->trigger();
    ASSERT_TRUE(ui_->errors.empty()) << ui_->errors[0].toStdString();
    EXPECT_EQ(ReadBack(ReadFile(img))[0].Name, "bike.txd");
    EXPECT_EQ(f.Layout().StatusText->text(), "Renamed car.txd to bike.txd.");
}

// An edit of the archive that a crash cut off is undone as the window opens it, and said once.
TEST_F(DiskTest, OpeningAnArchiveUndoesAnInterruptedEditAndSaysSo) {
    const std::string img = dir_ + "/game.img";
    WriteFile(img, BuildArchiveV2({{"car.txd", ReadFile(file_)}}));
    const std::vector<std::uint8_t> before = ReadFile(img);
    std::vector<std::uint8_t> journal;
    {
        RollbackJournal j({img});
        j.KeepWhole(0);
        j.Begin();
        journal = ReadFile(img + ".kelmora-journal");
        j.Commit();
    }
    // What the crash left: the journal, and the archive half written.
    WriteFile(img + ".kelmora-journal", journal);
    std::vector<std::uint8_t> torn = before;
    torn[16] = 'x';
    WriteFile(img, torn);
    TForm1& f = Open(img);
    ASSERT_TRUE(WaitFor([&] { return !ui_->messages.empty(); }));
    EXPECT_EQ(ui_->messages.size(), 1u);
    EXPECT_EQ(ui_->messages[0].toStdString(), "finished undoing an interrupted edit of " + img + ".");
    EXPECT_EQ(ReadFile(img), before);
    EXPECT_EQ(f.Session().ShownEntry()->Name, "car.txd");
}

// The archive commands join Undo and Redo as their inverse edits; Remove puts the
// bytes back at the row's place, and its question defaults to No.
TEST_F(DiskTest, ArchiveCommandsAreUndoneAndDoneAgain) {
    const std::string img = dir_ + "/game.img";
    const std::vector<ArchiveFile> start = {{"car.txd", ReadFile(file_)},
                                            {"hud.txd", BuildDictionary({RealTexture("radar", 16, 16, 8, 1, 9)})},
                                            {"map.txd", BuildDictionary({RealTexture("map", 16, 16, 8, 1, 8)})}};
    WriteFile(img, BuildArchiveV2(start));
    const std::vector<ArchiveFile> original = ReadBack(ReadFile(img));
    TForm1& f = Open(img);

    f.Layout().lbArchive->setCurrentRow(1);
    ui_->answers = {true};
    f.Action(TAct::RemoveDictionary1)->trigger();
    ASSERT_EQ(ui_->destructive.size(), ui_->questions.size());
    EXPECT_TRUE(ui_->destructive.back()) << "the question's default is No";
    const std::vector<ArchiveFile> removed = ReadBack(ReadFile(img));
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(f.Action(TAct::Undo1)->text().toStdString(), "&Undo Remove hud.txd");
    f.Action(TAct::Undo1)->trigger();
    EXPECT_EQ(ReadBack(ReadFile(img)), original);
    EXPECT_EQ(f.Layout().StatusText->text(), "Undid Remove hud.txd.");
    EXPECT_EQ(f.Session().ShownEntry()->Name, "hud.txd");
    f.Action(TAct::Redo1)->trigger();
    EXPECT_EQ(ReadBack(ReadFile(img)), removed);
    f.Action(TAct::Undo1)->trigger();

    // Rename, and a dictionary edit on top: each undone in its turn.
    f.Layout().lbArchive->setCurrentRow(2);
    ui_->texts = {"atlas"};
    f.Action(TAct::RenameDictionary1)->trigger();
    ASSERT_EQ(ReadBack(ReadFile(img))[2].Name, "atlas.txd");
    Rename(f, "chart");
    EXPECT_EQ(f.Action(TAct::Undo1)->text().toStdString(), "&Undo Rename map");
    f.Action(TAct::Undo1)->trigger(); // the texture's name
    EXPECT_FALSE(f.Session().Modified());
    EXPECT_EQ(f.Action(TAct::Undo1)->text().toStdString(), "&Undo Rename map.txd");
    f.Action(TAct::Undo1)->trigger();
    EXPECT_EQ(ReadBack(ReadFile(img)), original);

    // Replace from a file, undone.
    WriteFile(dir_ + "/new.txd", BuildDictionary({RealTexture("new", 16, 16, 8, 1, 3)}));
    ui_->openFile = QString::fromStdString(dir_ + "/new.txd");
    f.Layout().lbArchive->setCurrentRow(0);
    f.Action(TAct::ReplaceDictionary1)->trigger();
    EXPECT_EQ(f.List().Entries()[0].Name, "new");
    f.Action(TAct::Undo1)->trigger();
    EXPECT_EQ(ReadBack(ReadFile(img)), original);
    EXPECT_EQ(f.List().Entries()[0].Name, "wheel");
    // Opening another file ends the history.
    f.OpenFile(file_);
    EXPECT_FALSE(f.Action(TAct::Undo1)->isEnabled());
}

// Archive > Import Folder: the folder an extract of the archive wrote, edited,
// goes back in one edit of the archive, undone and done again as one.
TEST_F(DiskTest, AnExtractedArchiveFolderIsImportedAndUndoneAsOne) {
    const std::vector<std::uint8_t> car = ReadFile(file_);
    const std::vector<std::uint8_t> hud = BuildDictionary({RealTexture("radar", 16, 16, 8, 1, 9)});
    const std::string img = dir_ + "/game.img", out = dir_ + "/out";
    WriteFile(img, BuildArchiveV2({{"car.txd", car}, {"hud.txd", hud}}));
    ASSERT_EQ(RunCommand(std::string(KELMORA_CLI) + " extract -q -f png " + Quote(img) + " -o " + Quote(out)).code, 0);
    TForm1& f = Open(img);
    ASSERT_TRUE(f.Action(TAct::ImportFolder1)->isEnabled());
    f.Layout().lbArchive->setCurrentRow(1); // hud.txd is shown
    const std::vector<std::uint8_t> hudShown = f.Session().CurrentBytes();

    // Nothing edited: nothing written, and said so.
    ui_->folder = QString::fromStdString(out);
    const auto before = fs::last_write_time(img);
    f.Action(TAct::ImportFolder1)->trigger();
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_TRUE(ui_->messages[0].startsWith("Nothing was imported")) << ui_->messages[0].toStdString();
    EXPECT_EQ(fs::last_write_time(img), before);
    EXPECT_FALSE(f.Action(TAct::Undo1)->isEnabled());

    // The wheel edited, and an image that matches nothing.
    const std::string wheel = out + "/game/car/wheel.png";
    ASSERT_TRUE(fs::exists(wheel));
    DecodeState edited = Dictionary(std::make_shared<BufferSource>(car)).Decode(0).State;
    for (std::uint32_t x = 0; x < 32; ++x)
        edited.Pixels[5 * 32 + x] = 3;
    WritePng(wheel, edited, true);
    fs::copy_file(wheel, out + "/game/car/stray.png");
    ui_->folder = QString::fromStdString(out + "/game"); // the archive's own folder, given itself
    f.Action(TAct::ImportFolder1)->trigger();
    EXPECT_TRUE(ui_->errors.empty()) << ui_->errors.front().toStdString();
    EXPECT_EQ(f.Layout().StatusText->text(), "Imported 1 texture(s) of 1 dictionary into game.img.");
    ASSERT_EQ(ui_->messages.size(), 2u);
    EXPECT_TRUE(ui_->messages[1].contains("stray.png")) << ui_->messages[1].toStdString();
    auto entry = [&](const std::string& name) {
        const GameArchive a = OpenGameArchive(img);
        for (const ArchiveEntry& e : a.Entries)
            if (e.Name == name)
                return ReadAllBytes(*OpenLocation(a.Location(e)));
        return std::vector<std::uint8_t>();
    };
    // An entry holds whole sectors: the dictionary, then zeros.
    auto holds = [](std::vector<std::uint8_t> stored, const std::vector<std::uint8_t>& bytes) {
        if (stored.size() < bytes.size() || std::any_of(stored.begin() + static_cast<std::ptrdiff_t>(bytes.size()),
                                                        stored.end(), [](std::uint8_t b) { return b != 0; }))
            return false;
        stored.resize(bytes.size());
        return stored == bytes;
    };
    EXPECT_EQ(Dictionary(std::make_shared<BufferSource>(entry("car.txd"))).Decode(0).State.Pixels, edited.Pixels);
    EXPECT_TRUE(holds(entry("hud.txd"), hud)); // untouched
    EXPECT_EQ(f.Session().ShownEntry()->Name, "hud.txd"); // the dictionary shown stays
    EXPECT_EQ(f.Session().CurrentBytes(), hudShown);

    f.Action(TAct::Undo1)->trigger();
    EXPECT_TRUE(holds(entry("car.txd"), car));
    f.Action(TAct::Redo1)->trigger();
    EXPECT_EQ(Dictionary(std::make_shared<BufferSource>(entry("car.txd"))).Decode(0).State.Pixels, edited.Pixels);

    // A folder that is not the archive's is refused by name; nothing is written.
    ui_->folder = QString::fromStdString(dir_);
    f.Action(TAct::ImportFolder1)->trigger();
    ASSERT_EQ(ui_->errors.size(), 1u);
    EXPECT_TRUE(ui_->errors[0].contains("game")) << ui_->errors[0].toStdString();
}

// Choosing another dictionary of the archive with edits unsaved: saving them
// writes the archive and reads its table again, and the dictionary chosen is the
// one shown after, found again by its row and name.
TEST_F(DiskTest, SavingOnTheWayToAnotherDictionaryShowsTheOneChosen) {
    const std::vector<std::uint8_t> car = ReadFile(file_);
    const std::vector<std::uint8_t> hud = BuildDictionary({RealTexture("radar", 16, 16, 8, 1, 9)});
    const std::string img = dir_ + "/game.img";
    // Two dictionaries of one name: the row chosen tells them apart.
    WriteFile(img, BuildArchiveV2({{"car.txd", car}, {"hud.txd", hud}, {"hud.txd", car}}));
    TForm1& f = Open(img);
    Rename(f, "tyre");
    ui_->saveChoices = {TUiServices::SaveChoice::Save};
    f.Layout().lbArchive->setCurrentRow(2);
    EXPECT_TRUE(ui_->errors.empty()) << ui_->errors.front().toStdString();
    ASSERT_TRUE(f.Session().ShownEntry());
    EXPECT_EQ(f.Session().ShownEntry()->Name, "hud.txd");
    EXPECT_EQ(f.List().Entries()[0].Name, "wheel"); // the second hud.txd, a copy of car.txd
    EXPECT_EQ(f.Layout().lbArchive->currentRow(), 2);
    EXPECT_FALSE(f.Session().Modified());
    f.Layout().lbArchive->setCurrentRow(0);
    EXPECT_EQ(f.List().Entries()[0].Name, "tyre"); // saved into the archive
}

// Import Folder stopped by Cancel while its pictures are reduced: nothing is written.
TEST_F(DiskTest, AnImportStoppedByCancelWritesNothing) {
    const std::string img = dir_ + "/game.img", out = dir_ + "/out";
    // Four dictionaries, each a picture to quantise: the run is stopped between them
    // however fast the machine.
    std::vector<ArchiveFile> files;
    for (int i = 1; i <= 4; ++i)
        files.push_back({"big" + std::to_string(i) + ".txd", BuildDictionary({RealTexture("big", 1024, 1024, 8, 1, i)})});
    WriteFile(img, BuildArchiveV2(files));
    ASSERT_EQ(RunCommand(std::string(KELMORA_CLI) + " extract -q -f png " + Quote(img) + " -o " + Quote(out)).code, 0);
    for (int i = 1; i <= 4; ++i)
        WritePng(out + "/game/big" + std::to_string(i) + "/big.png", ManyColourPicture(1024), false);
    const std::vector<std::uint8_t> before = ReadFile(img);
    TForm1& f = Open(img);
    f.showNormal();
    bool cancelShown = false;
    QTimer poll; // Cancel is pressed as soon as it shows
    QObject::connect(&poll, &QTimer::timeout, &f, [&] {
        if (cancelShown || !f.Layout().CancelExport->isVisible())
            return;
        cancelShown = true;
        f.Layout().CancelExport->click();
    });
    poll.start(10);
    ui_->folder = QString::fromStdString(out);
    f.Action(TAct::ImportFolder1)->trigger();
    EXPECT_TRUE(cancelShown);
    EXPECT_EQ(f.Layout().StatusText->text(), "Import into game.img stopped; nothing was written.");
    EXPECT_EQ(ReadFile(img), before);
    EXPECT_FALSE(f.Action(TAct::Undo1)->isEnabled());
    EXPECT_TRUE(f.menuBar()->isEnabled());
}
