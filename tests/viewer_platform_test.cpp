// The window over PC and Xbox dictionaries: the list and caption, the picture,
// alpha as grey without brightening, Brighten Alphas disabled, the 32-entry
// palette strip, the properties, and edits put back and saved.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTreeWidget>
#include <filesystem>

#include "dictionary/dictionary.h"
#include "export/image_writers.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/fake_ui.h"
#include "tests/support/native_builder.h"
#include "tests/support/viewer_wait.h"
#include "viewer/KelmoraU.h"
#include "viewer/edit_commands.h"
#include "viewer/palette_view.h"
#include "viewer/texture_list_panel.h"
#include "viewer/texture_view.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class ViewerPlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("viewpc");
        ui_ = std::make_shared<FakeUi>();
    }
    void TearDown() override {
        form_.reset();
        fs::remove_all(dir_);
    }
    TForm1& Start(const std::string& path) {
        form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(path)}, ui_);
        form_->showNormal();
        form_->resize(900, 600);
        QApplication::processEvents();
        WaitForDisplay(*form_);
        return *form_;
    }
    void Select(TForm1& f, int row) {
        f.Layout().lb->setCurrentRow(row);
        QApplication::processEvents();
        WaitForDisplay(f);
    }
    std::string dir_;
    std::shared_ptr<FakeUi> ui_;
    std::unique_ptr<TForm1> form_;
};

// The grey of each texel's alpha in the shown picture.
std::vector<std::uint8_t> ShownGrey(TForm1& f) {
    const auto& img = std::get<IndexedImage>(f.View().Picture());
    std::vector<std::uint8_t> grey;
    for (std::uint8_t i : img.Rows)
        grey.push_back(img.Colours[i].Red);
    return grey;
}

} // namespace

TEST_F(ViewerPlatformTest, ShowsPcTexturesAsStoredWithoutBrightening) {
    TForm1& f = Start(KELMORA_D3D8);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - d3d8.txd - 6 texture(s)");
    EXPECT_EQ(f.Layout().lb->item(0)->text(), "1. sky  |  128 x 64 (DXT1)");
    // Brightening means nothing for 0..255 alpha: disabled, and the tooltip says why.
    EXPECT_FALSE(f.Action(TAct::ba1)->isEnabled());
    EXPECT_NE(f.Action(TAct::ba1)->toolTip().indexOf("PC and Xbox"), -1);

    // The glass: its picture is the decode, its alpha shown as grey exactly as stored.
    const Dictionary d = Dictionary::OpenFile(KELMORA_D3D8);
    const DecodedTexture glass = d.Decode(1);
    Select(f, 1);
    EXPECT_EQ(f.View().State().Texels, glass.State.Texels);
    f.Layout().cbxAlpha->setChecked(true);
    QApplication::processEvents();
    WaitForDisplay(f);
    std::vector<std::uint8_t> alpha;
    for (const PaletteEntry& e : glass.State.Texels)
        alpha.push_back(e.A);
    EXPECT_EQ(ShownGrey(f), alpha);
    f.Layout().cbxAlpha->setChecked(false);

    // The 4-bit lamp: 32 palette cells, as its palette holds.
    Select(f, 5);
    EXPECT_EQ(f.View().palView->Colours().size(), 32u);
    EXPECT_EQ(f.View().State().Pixels, d.Decode(5).State.Pixels);

    // Back to a console dictionary: brightening applies again.
    f.OpenFile(KELMORA_DEMO);
    WaitForDisplay(f);
    EXPECT_TRUE(f.Action(TAct::ba1)->isEnabled());
}

TEST_F(ViewerPlatformTest, PropertiesNameThePlatformAndItsFields) {
    TForm1& f = Start(KELMORA_D3D9);
    f.Action(TAct::Properties1)->trigger();
    QApplication::processEvents();
    WaitForDisplay(f);
    QTreeWidget* tree = f.View().tvProperties;
    const auto value = [&](const QString& label) {
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            if (tree->topLevelItem(i)->text(0) == label)
                return tree->topLevelItem(i)->text(1);
        return QString("(missing)");
    };
    EXPECT_EQ(value("Platform"), "Direct3D 9");
    EXPECT_EQ(value("Format"), "DXT1, compressed");
    EXPECT_EQ(value("Levels"), "7: 64 x 64, 32 x 32, 16 x 16, 8 x 8, 4 x 4, 2 x 2, 1 x 1");
    EXPECT_EQ(value("Filter"), "6 (linear-mip-linear)");
    EXPECT_EQ(value("Addressing"), "U wrap, V wrap");
}

TEST_F(ViewerPlatformTest, PcTexturesAreEditedAndSavedAsOnTheConsole) {
    const std::string file = dir_ + "/pc.txd";
    WriteFile(file, ReadFile(KELMORA_D3D9));
    TForm1& f = Start(file);
    ui_->texts = {"renamed"};
    f.Layout().lb->setCurrentRow(2);
    f.Action(TAct::RenameTexture1)->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(ui_->errors.empty()) << (ui_->errors.empty() ? "" : ui_->errors.back().toStdString());
    EXPECT_TRUE(f.Session().Modified());
    EXPECT_EQ(f.Layout().lb->item(2)->text(), "3. renamed  |  32 x 32 (888)");
    // A picture with alpha into opaque DXT1: it becomes DXT5, and the status line says so.
    const std::string glass = dir_ + "/glass.png";
    WritePng(glass, Dictionary::OpenFile(file).Decode(1).State, true);
    f.Layout().lb->setCurrentRow(0);
    QApplication::processEvents();
    ui_->imageFile = QString::fromStdString(glass);
    f.Action(TAct::ReplaceTexture1)->trigger();
    EXPECT_TRUE(ui_->errors.empty()) << (ui_->errors.empty() ? "" : ui_->errors.back().toStdString());
    EXPECT_EQ(f.Layout().lb->item(0)->text(), "1. bricks  |  64 x 64 (DXT5)");
    EXPECT_EQ(f.Layout().StatusText->text(), "glass.png has alpha that DXT1 does not hold; texture 1 is now DXT5.");
    // New textures take the dictionary's platform: 32 bits is 8888, 16 bits DXT (DXT5 with alpha).
    ui_->newTextures = {{"pane", "", 32, 1}, {"pane_dxt", "", 16, 7}};
    f.Action(TAct::AddTexture1)->trigger();
    f.Action(TAct::AddTexture1)->trigger();
    EXPECT_TRUE(ui_->errors.empty()) << (ui_->errors.empty() ? "" : ui_->errors.back().toStdString());
    ASSERT_EQ(f.Layout().lb->count(), 9);
    EXPECT_EQ(f.Layout().lb->item(7)->text(), "8. pane  |  64 x 64 (8888)");
    EXPECT_EQ(f.Layout().lb->item(8)->text(), "9. pane_dxt  |  64 x 64 (DXT5)");
    EXPECT_EQ(ui_->levelLimits, (std::vector<int>{7, 7, 7, 7})); // a full chain at any depth
    f.Action(TAct::Save1)->trigger();
    const Dictionary saved = Dictionary::OpenFile(file);
    EXPECT_EQ(saved.Entries()[0].Format, "DXT5");
    EXPECT_EQ(saved.Entries()[2].Name, "renamed");
}

// File > Convert Dictionary: the shown dictionary into a new file of another
// platform, what changed said in a box; a texture the console cannot hold
// refuses it all, and the open file is never the output.
TEST_F(ViewerPlatformTest, ConvertDictionaryWritesANewFileAndSaysWhatChanged) {
    TForm1& f = Start(KELMORA_D3D9);
    ui_->conversion = TUiServices::Conversion{"ps2", false, 1, 0, false};
    ui_->dictionaryFile = QString::fromStdString(dir_ + "/walls-ps2.txd");
    f.Action(TAct::ConvertDictionary1)->trigger();
    EXPECT_TRUE(ui_->errors.empty()) << (ui_->errors.empty() ? "" : ui_->errors.back().toStdString());
    const Dictionary out = Dictionary::OpenFile(dir_ + "/walls-ps2.txd");
    ASSERT_EQ(out.Entries().size(), 7u);
    EXPECT_EQ(out.Entries()[0].Platform, TexturePlatform::Ps2);
    EXPECT_EQ(f.Layout().StatusText->text(), "Converted 7 texture(s) to PlayStation 2 in walls-ps2.txd.");
    ASSERT_FALSE(ui_->messages.empty());
    EXPECT_NE(ui_->messages.back().indexOf("texture 1 (bricks): DXT1 -> 8bit, 3 of 7 levels dropped"), -1)
        << ui_->messages.back().toStdString();
    EXPECT_FALSE(f.Session().Modified()); // the open dictionary stays as it was

    NativeSpec odd = RandomNative(9, "8888", 24, 20, 1, 4);
    odd.Name = "odd";
    const std::string file = dir_ + "/odd.txd";
    WriteFile(file, BuildNativeDictionary({odd}));
    TForm1& g = Start(file);
    ui_->dictionaryFile = QString::fromStdString(dir_ + "/odd-ps2.txd");
    g.Action(TAct::ConvertDictionary1)->trigger();
    ASSERT_FALSE(ui_->errors.empty());
    EXPECT_NE(ui_->errors.back().indexOf("texture 1 (odd): 24 x 20: the console's sides"), -1)
        << ui_->errors.back().toStdString();
    EXPECT_FALSE(fs::exists(dir_ + "/odd-ps2.txd"));
    ui_->conversion = TUiServices::Conversion{"d3d8", false, 1, 0, false};
    ui_->dictionaryFile = QString::fromStdString(file);
    const auto before = ReadFile(file);
    g.Action(TAct::ConvertDictionary1)->trigger();
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_NE(ui_->errors.back().indexOf("exists already"), -1) << ui_->errors.back().toStdString();
}

// The list's thumbnails are made for PC textures too.
TEST_F(ViewerPlatformTest, ThumbnailsShowPcTextures) {
    NativeSpec s = RandomNative(5, "DXT1", 16, 16, 1, 3);
    const std::string file = dir_ + "/xbox.txd";
    WriteFile(file, BuildNativeDictionary({s}, 0x00000350));
    TForm1& f = Start(file);
    f.Action(TAct::Thumbnails1)->trigger();
    QElapsedTimer waited;
    waited.start();
    while (f.List().ThumbnailsReady() < 1 && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(f.List().ThumbnailsReady(), 1u);
    EXPECT_EQ(f.Layout().lb->item(0)->icon().availableSizes().first(), QSize(16, 16));
}
