#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <filesystem>
#include <unistd.h>

#include "tests/support/engine_files.h"
#include "dictionary/dictionary_walk.h"
#include "viewer/KelmoraU2.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/fake_ui.h"
#include "tests/support/process.h"
#include "viewer/KelmoraU.h"
#include "viewer/edit_commands.h"
#include "viewer/export_controller.h"
#include "viewer/texture_list_panel.h"
#include "viewer/picture_box.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class ViewerExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("vexport");
        ui_ = std::make_shared<FakeUi>();
    }
    void TearDown() override {
        form_.reset();
        fs::remove_all(dir_);
    }
    TForm1& Open(const std::string& name, const std::vector<TextureSpec>& texs) {
        std::string p = dir_ + "/" + name;
        WriteFile(p, BuildDictionary(texs));
        form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(p)}, ui_);
        return *form_;
    }
    // Runs the mass extract command; `drive` works the dialog and returns its result.
    void MassExtract(const std::function<int(TForm2&)>& drive) {
        ui_->onModal = [drive](QDialog* d) { return drive(*static_cast<TForm2*>(d)); };
        form_->Action(TAct::AllTexturesinfile1)->trigger();
    }
    std::vector<std::string> Files(const std::string& sub) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_ + "/" + sub))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
    std::shared_ptr<FakeUi> ui_;
    std::unique_ptr<TForm1> form_;
};

TextureSpec Tex(const std::string& name, const std::string& mask, std::uint32_t depth = 8) {
    TextureSpec t = RandomTexture(name, 16, 8, depth, true, static_cast<std::uint32_t>(name.size() * 7));
    t.Mask = mask;
    for (auto& e : t.Palette)
        e.A = 128;
    return t;
}

// Clicks "&Export" and returns what the dialog ended with.
int ClickExport(TForm2& d) {
    d.Button5->click();
    return d.result();
}

} // namespace

TEST_F(ViewerExportTest, SingleExportProposesTheNameAndFollowsTheFilter) {
    TForm1& f = Open("s.txd", {Tex("wheel", ""), Tex("body", "body_mask")});
    ui_->saveConfirm = false;
    f.Action(TAct::SaveImage1)->trigger();
    f.Layout().cbxAlpha->setChecked(true);
    f.Action(TAct::SaveImage1)->trigger();
    f.Layout().lb->setCurrentRow(1);
    f.Action(TAct::SaveImage1)->trigger();
    EXPECT_EQ(ui_->proposedNames, (std::vector<QString>{"wheel", "wheel_alpha", "body_mask"}));

    // An extension of ours typed chooses the format; any other gets the filter's
    // added. With the alpha view on a BMP holds the grey picture.
    ui_->saveConfirm = true;
    ui_->savePath = QString::fromStdString(dir_ + "/typed.jpg");
    ui_->saveFilter = 1;
    f.Action(TAct::SaveImage1)->trigger();
    EXPECT_EQ(f.Layout().StatusText->text(), "Saved typed.jpg"); // said once written
    const auto jpeg = ReadFile(dir_ + "/typed.jpg");
    ASSERT_GT(jpeg.size(), 3u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    ui_->savePath = QString::fromStdString(dir_ + "/typed.v2");
    f.Action(TAct::SaveImage1)->trigger();
    EXPECT_FALSE(fs::exists(dir_ + "/typed.v2"));
    EXPECT_EQ(f.Layout().StatusText->text(), "Saved typed.v2.bmp");
    auto bmp = ReadFile(dir_ + "/typed.v2.bmp");
    ASSERT_GT(bmp.size(), 1078u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[54], 0xFF); // alpha 128 brightened: white
    EXPECT_EQ(bmp[55], 0xFF);

    ui_->saveFilter = 2;
    ui_->savePath = QString::fromStdString(dir_ + "/x.jpg");
    f.Action(TAct::SaveImage1)->trigger();
    auto jpg = ReadFile(dir_ + "/x.jpg");
    EXPECT_EQ(jpg[0], 0xFF);
    EXPECT_EQ(jpg[1], 0xD8);

    // TGA holds colour and alpha whatever the check box says; the alpha follows the menu.
    ui_->saveFilter = 3;
    ui_->savePath = QString::fromStdString(dir_ + "/b.tga");
    f.Action(TAct::SaveImage1)->trigger();
    EXPECT_EQ(ReadFile(dir_ + "/b.tga")[18 + 3], 255);
    f.Action(TAct::ba1)->trigger();
    ui_->savePath = QString::fromStdString(dir_ + "/d.tga");
    f.Action(TAct::SaveImage1)->trigger();
    auto dim = ReadFile(dir_ + "/d.tga");
    EXPECT_EQ(dim[18 + 3], 128);
    const PaletteEntry& e = f.View().State().Palette[f.View().State().Pixel(0, 0)];
    EXPECT_EQ(dim[18], e.B);
    EXPECT_EQ(dim[20], e.R);
}

TEST_F(ViewerExportTest, NothingIsSavedWithoutAPicture) {
    TextureSpec bad = Tex("bad", "");
    bad.Depth = 32;
    TForm1& f = Open("n.txd", {Tex("good", ""), bad});
    f.Layout().lb->setCurrentRow(1);
    ASSERT_TRUE(f.Layout().Image1->Picture().isNull());
    for (int filter : {1, 2, 3}) {
        ui_->saveFilter = filter;
        ui_->savePath = QString::fromStdString(dir_ + "/none" + std::to_string(filter));
        f.Action(TAct::SaveImage1)->trigger();
    }
    EXPECT_TRUE(ui_->proposedNames.empty());
    EXPECT_FALSE(fs::exists(dir_ + "/none1") || fs::exists(dir_ + "/none2") || fs::exists(dir_ + "/none3"));
}

TEST_F(ViewerExportTest, DialogIsFilledFromTheOpenFile) {
    TForm1& f = Open("cars.txd", {Tex("a", ""), Tex("b", "b_m")});
    bool ran = false;
    MassExtract([&](TForm2& d) {
        ran = true;
        EXPECT_EQ(d.windowTitle(), "Kelmora - Mass Extract");
        // At least the designed size, grown as far as the font needs: every text
        // shows whole, and the arrangement stays (Export at the bottom right, Cancel
        // left of it, the list beside the options).
        EXPECT_GE(d.width(), 434);
        EXPECT_GE(d.height(), 212);
        for (QWidget* w : std::initializer_list<QWidget*>{d.Label1, d.Label2, d.Label3, d.cbx1, d.cbx2, d.cbx3, d.cbx4,
                                                         d.cbx5, d.cmbx}) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << w->metaObject()->className();
            EXPECT_GE(w->height(), w->sizeHint().height()) << w->metaObject()->className();
        }
        EXPECT_NEAR(d.Button5->geometry().right(), d.width() - 1, 2);
        EXPECT_NEAR(d.Button5->geometry().bottom(), d.height() - 1, 2);
        EXPECT_LT(d.Button6->geometry().right(), d.Button5->geometry().left());
        EXPECT_LT(d.clb->geometry().right(), d.cbx1->geometry().left());
        EXPECT_EQ(d.clb->count(), 2);
        EXPECT_EQ(d.clb->item(1)->text(), "2. b / b_m  |  16 x 8 (8bit)");
        EXPECT_EQ(d.clb->item(1)->checkState(), Qt::Checked);
        EXPECT_EQ(d.edtPath->text(), QString::fromStdString(dir_));
        EXPECT_EQ(d.cbx1->text(), "Create sub directory \"/cars/\"");
        for (QCheckBox* c : {d.cbx1, d.cbx2, d.cbx3, d.cbx4, d.cbx5})
            EXPECT_TRUE(c->isChecked());
        EXPECT_EQ(d.cmbx->currentIndex(), 0);
        EXPECT_EQ(d.cmbx->count(), 4);
        EXPECT_EQ(d.cmbx->itemText(2), "32bit Targa Bitmap (*.tga)");
        EXPECT_EQ(d.cmbx->itemText(3), "PNG Image (*.png)");
        EXPECT_TRUE(d.Button5->isDefault());

        d.Button2Click();
        EXPECT_EQ(d.clb->item(0)->checkState(), Qt::Unchecked);
        d.clb->item(1)->setCheckState(Qt::Checked);
        d.Button3Click();
        EXPECT_EQ(d.clb->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(d.clb->item(1)->checkState(), Qt::Unchecked);
        d.Button1Click();
        EXPECT_EQ(d.clb->item(1)->checkState(), Qt::Checked);

        // "...": an existing typed directory is where the chooser opens, else the file's.
        ui_->folder = QString::fromStdString(dir_ + "/picked");
        d.Button4Click();
        EXPECT_EQ(ui_->folderTitle, "Choose destination directory:");
        EXPECT_EQ(ui_->folderInitial, QString::fromStdString(dir_));
        EXPECT_EQ(d.edtPath->text(), QString::fromStdString(dir_ + "/picked"));
        ui_->folder.clear(); // cancelled: unchanged
        d.Button4Click();
        EXPECT_EQ(ui_->folderInitial, QString::fromStdString(dir_)); // picked does not exist
        EXPECT_EQ(d.edtPath->text(), QString::fromStdString(dir_ + "/picked"));
        return int(QDialog::Rejected);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(f.Exporter().SubDirName, "cars");
}

TEST_F(ViewerExportTest, SubDirectoryNamesFollowTheFirstDot) {
    Open("a.b.txd", {Tex("a", "")});
    MassExtract([&](TForm2& d) {
        EXPECT_EQ(d.cbx1->text(), "Create sub directory \"/a/\"");
        return int(QDialog::Rejected);
    });
    Open("nodot", {Tex("a", "")});
    MassExtract([&](TForm2& d) {
        EXPECT_EQ(d.cbx1->text(), "Create sub directory \"//\"");
        d.edtPath->setText(QString::fromStdString(dir_));
        EXPECT_EQ(ClickExport(d), int(QDialog::Accepted)); // dir + "/" + "" + "/" exists
        return d.result();
    });
    EXPECT_EQ(form_->Exporter().Settings.DestDir, dir_ + "//");
    EXPECT_TRUE(fs::exists(dir_ + "/a.bmp"));
}

TEST_F(ViewerExportTest, DestinationQuestionsAndCancel) {
    TForm1& f = Open("cars.txd", {Tex("a", ""), Tex("b", "")});
    f.Exporter().Settings.ExpFormat = 2;
    f.Exporter().Settings.ExpAlphas = false;
    MassExtract([&](TForm2& d) {
        d.edtPath->setText(QString::fromStdString("  " + dir_ + "/new \t"));
        d.cbx1->setChecked(false);
        EXPECT_EQ(ClickExport(d), 0); // No to "Create Directory": the dialog stays
        EXPECT_EQ(ui_->questions.back().caption, "Create Directory");
        EXPECT_EQ(ui_->questions.back().text,
                  QString::fromStdString(dir_ + "/new/\r\ndoes not exist.\r\nDo you want to create it?"));
        EXPECT_FALSE(fs::exists(dir_ + "/new"));
        d.cbx2->setChecked(false);
        return int(QDialog::Rejected); // then Cancel
    });
    EXPECT_EQ(f.Exporter().Settings.DestDir, dir_ + "/new/");
    EXPECT_EQ(f.Exporter().Settings.ExpFormat, 2); // other settings untouched
    EXPECT_FALSE(f.Exporter().Settings.ExpAlphas);
    EXPECT_EQ(f.Exporter().Marks, (std::vector<bool>{false, false}));

    // Creation refused by the file system: the message, and the dialog stays.
    WriteFile(dir_ + "/blocker", {1});
    MassExtract([&](TForm2& d) {
        d.edtPath->setText(QString::fromStdString(dir_ + "/blocker/x"));
        ui_->answers = {true};
        EXPECT_EQ(ClickExport(d), 0);
        EXPECT_EQ(ui_->messages.back().toStdString(), "Directory cannot be created! \"" + dir_ + "/blocker\". Not a directory");
        return int(QDialog::Rejected);
    });

    // Yes creates every missing parent and exports at once.
    std::size_t questions = ui_->questions.size();
    MassExtract([&](TForm2& d) {
        EXPECT_TRUE(d.cbx2->isChecked()); // a new opening starts from the defaults
        d.edtPath->setText(QString::fromStdString(dir_ + "/deep/er"));
        ui_->answers = {true};
        return ClickExport(d);
    });
    EXPECT_EQ(ui_->questions.size(), questions + 1);
    EXPECT_EQ(Files("deep/er/cars"), (std::vector<std::string>{"a.bmp", "a_alpha.bmp", "b.bmp", "b_alpha.bmp"}));

    // An existing destination closes the dialog without a question; a relative one
    // is taken from the dictionary's directory.
    questions = ui_->questions.size();
    MassExtract([&](TForm2& d) {
        d.edtPath->setText("deep");
        d.cbx1->setChecked(false);
        return ClickExport(d);
    });
    EXPECT_EQ(ui_->questions.size(), questions);
    EXPECT_EQ(f.Exporter().Settings.DestDir, dir_ + "/deep/");
    EXPECT_TRUE(fs::exists(dir_ + "/deep/a.bmp"));

    MassExtract([&](TForm2& d) { // an empty destination: "&Export" does nothing
        d.edtPath->setText("   ");
        EXPECT_EQ(ClickExport(d), 0);
        return int(QDialog::Rejected);
    });
}

TEST_F(ViewerExportTest, MassExportRunFromTheWindow) {
    TForm1& f = Open("cars.txd", {Tex("a", "a_m"), Tex("b", ""), Tex("c", "")});
    f.Layout().lb->setCurrentRow(1);
    // The sub directory of a folder that exists is made without a question.
    const std::size_t questions = ui_->questions.size();
    MassExtract([&](TForm2& d) {
        d.cmbx->setCurrentIndex(2);
        d.edtPath->setText(QString::fromStdString(dir_));
        return ClickExport(d);
    });
    EXPECT_EQ(ui_->questions.size(), questions);
    EXPECT_EQ(Files("cars"), (std::vector<std::string>{"a.tga", "b.tga", "c.tga"}));
    QString status = f.Layout().StatusText->text();
    EXPECT_TRUE(status.startsWith("3 of 3 texture(s) exported within ")) << status.toStdString();
    EXPECT_TRUE(status.endsWith(QString::fromStdString(" seconds to " + dir_ + "/cars/.")));
    EXPECT_EQ(f.Layout().lb->currentRow(), 1); // the selected texture is shown again
    EXPECT_FALSE(f.Layout().Image1->Picture().isNull());
    EXPECT_TRUE(f.menuBar()->isEnabled());

    // Without overwriting: No for b skips it; the count drops; the second number is
    // the list's line count, not the marks.
    MassExtract([&](TForm2& d) {
        d.cmbx->setCurrentIndex(2);
        d.cbx3->setChecked(false);
        d.clb->item(2)->setCheckState(Qt::Unchecked);
        ui_->answers = {true, false, true, true};
        return ClickExport(d);
    });
    EXPECT_TRUE(f.Layout().StatusText->text().startsWith("1 of 3 texture(s)")) << f.Layout().StatusText->text().toStdString();
    EXPECT_EQ(ui_->questions.back().caption, "Overwrite existing file?");
}

TEST_F(ViewerExportTest, DialogListsEveryEntryOfABrokenWalk) {
    auto bytes = BuildDictionary({Tex("a", ""), Tex("b", ""), Tex("c", "")});
    std::string p = dir_ + "/broken.txd";
    WriteFile(p, bytes);
    std::size_t second = WalkFile(p).Entries[1].DataOffset;
    bytes.resize(second + 40); // the second record runs past the end
    WriteFile(p, bytes);
    form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(p)}, ui_);
    ASSERT_EQ(form_->Layout().lb->count(), 2);
    form_->List().SelectLine(0);
    MassExtract([&](TForm2& d) {
        EXPECT_EQ(d.clb->count(), 3);
        EXPECT_EQ(d.clb->item(2)->checkState(), Qt::Checked);
        return int(QDialog::Rejected);
    });
}

TEST_F(ViewerExportTest, UnsupportedDepthEndsTheRunWithoutSummary) {
    TextureSpec bad = Tex("bad", "");
    bad.Depth = 16;
    TForm1& f = Open("u.txd", {Tex("good", ""), bad});
    MassExtract([&](TForm2& d) {
        d.edtPath->setText(QString::fromStdString(dir_));
        ui_->answers = {true};
        return ClickExport(d);
    });
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_EQ(ui_->messages.back(), "Unknown palette size detected!!! (16)");
    EXPECT_EQ(f.Layout().StatusText->text(), "");
    EXPECT_TRUE(f.Layout().Image1->Picture().isNull());
    EXPECT_EQ(Files("u"), (std::vector<std::string>{"good.bmp", "good_alpha.bmp"}));
}

TEST_F(ViewerExportTest, WindowAndCommandLineWriteTheSameFiles) {
    fs::copy_file(KELMORA_DEMO, dir_ + "/demo.txd");
    for (int format : {0, 1, 2}) {
        form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(dir_ + "/demo.txd")}, ui_);
        const std::string window = dir_ + "/window" + std::to_string(format);
        MassExtract([&](TForm2& d) {
            d.cmbx->setCurrentIndex(format);
            d.cbx1->setChecked(false);
            d.edtPath->setText(QString::fromStdString(window));
            ui_->answers = {true};
            return ClickExport(d);
        });
        const std::string cli = dir_ + "/cli" + std::to_string(format);
        const char* names[] = {"bmp", "jpg", "tga"};
        ASSERT_EQ(std::system(("'" + std::string(KELMORA_CLI) + "' extract -f " + names[format] + " -o '" + cli + "' '" +
                               dir_ + "/demo.txd' > /dev/null").c_str()),
                  0);
        const auto files = Files("window" + std::to_string(format));
        EXPECT_EQ(files, Files("cli" + std::to_string(format)));
        EXPECT_EQ(files.size(), format == 2 ? 6u : 12u);
        for (const std::string& name : files)
            EXPECT_EQ(ReadFile(window + "/" + name), ReadFile(cli + "/" + name)) << name;
    }
}

TEST_F(ViewerExportTest, RelativeFileNamesGiveAnAbsoluteDestination) {
    WriteFile(dir_ + "/rel.txd", BuildDictionary({Tex("a", "")}));
    const fs::path old = fs::current_path();
    fs::current_path(dir_);
    form_ = std::make_unique<TForm1>(QStringList{"rel.txd"}, ui_);
    MassExtract([&](TForm2& d) {
        EXPECT_EQ(d.edtPath->text(), QString::fromStdString(fs::current_path().string()));
        ui_->answers = {true};
        return ClickExport(d);
    });
    fs::current_path(old);
    EXPECT_EQ(form_->Exporter().Settings.DestDir, fs::canonical(dir_).string() + "/rel/");
    EXPECT_TRUE(fs::exists(dir_ + "/rel/a.bmp"));
}

TEST_F(ViewerExportTest, DictionaryInTheRootDirectory) {
    const std::string root = "/kelmora-test-" + std::to_string(::getpid()) + ".txd";
    if (::access("/", W_OK) != 0)
        GTEST_SKIP() << "the root directory is not writable here";
    WriteFile(root, BuildDictionary({Tex("a", "")}));
    form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(root)}, ui_);
    MassExtract([&](TForm2& d) {
        EXPECT_EQ(d.edtPath->text(), "/");
        d.cbx1->setChecked(false);
        EXPECT_EQ(ClickExport(d), int(QDialog::Accepted)); // "/" exists: accepted at once
        return d.result();
    });
    fs::remove(root);
    fs::remove("/a.bmp");
    fs::remove("/a_alpha.bmp");
    EXPECT_EQ(form_->Exporter().Settings.DestDir, "/"); // no second separator
}

// Names that collide keep every file and say so in the summary; the dictionary
// itself is never written; Cancel stops the run after the file being written.
TEST_F(ViewerExportTest, CollisionsInputsAndCancel) {
    TForm1& f = Open("pack.bmp", {Tex("wheel", "shared"), Tex("tyre", "shared"), Tex("pack", ""), Tex("rim", "")});
    const auto before = ReadFile(dir_ + "/pack.bmp");
    MassExtract([&](TForm2& d) {
        d.cbx1->setChecked(false); // into the dictionary's own folder
        return ClickExport(d);
    });
    EXPECT_EQ(ReadFile(dir_ + "/pack.bmp"), before);
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_EQ(ui_->messages[0].toStdString(), "Not overwriting an input of this export: \"" + dir_ + "/pack.bmp\"");
    EXPECT_TRUE(fs::exists(dir_ + "/shared~2.bmp"));
    const QString status = f.Layout().StatusText->text();
    EXPECT_TRUE(status.startsWith("3 of 4 texture(s) exported")) << status.toStdString();
    EXPECT_TRUE(status.endsWith(QString::fromStdString(" seconds to " + dir_ + "/ (1 renamed)."))) << status.toStdString();

    // Cancel while the second texture's question is open: its files are written,
    // nothing after them.
    fs::create_directories(dir_ + "/c");
    WriteFile(dir_ + "/c/tyre.bmp", {1});
    ui_->onAsk = [&] { QMetaObject::invokeMethod(f.Layout().CancelExport, "click", Qt::QueuedConnection); };
    MassExtract([&](TForm2& d) {
        d.edtPath->setText(QString::fromStdString(dir_ + "/c"));
        d.cbx1->setChecked(false);
        d.cbx3->setChecked(false);
        ui_->answers = {true};
        return ClickExport(d);
    });
    ui_->onAsk = nullptr;
    ASSERT_FALSE(ui_->questions.empty());
    EXPECT_EQ(ui_->questions.back().caption, "Overwrite existing file?");
    EXPECT_EQ(ui_->questions.back().text.toStdString(), dir_ + "/c/tyre.bmp\r\nalready exists! Overwrite?");
    EXPECT_EQ(Files("c"), (std::vector<std::string>{"shared.bmp", "shared~2.bmp", "tyre.bmp", "wheel.bmp"}));
    EXPECT_GT(ReadFile(dir_ + "/c/tyre.bmp").size(), 1u);
    EXPECT_TRUE(f.Layout().StatusText->text().startsWith("2 of 4 texture(s) exported")) << f.Layout().StatusText->text().toStdString();
    EXPECT_TRUE(f.Layout().StatusText->text().endsWith(" (1 renamed) (cancelled).")) << f.Layout().StatusText->text().toStdString();
    EXPECT_FALSE(f.Layout().CancelExport->isVisible());
}

// PNG from the window: the single export follows "&Brighten Alphas" and ignores
// the alpha view, the mass export writes no companions; Pillow reads the indices,
// the palette and its alphas back exactly. The save dialog opens first in the
// dictionary's folder.
TEST_F(ViewerExportTest, PngFromTheWindow) {
    TForm1& f = Open("p.txd", {Tex("wheel", "wheel_m"), Tex("flag", "", 4)});
    f.Layout().cbxAlpha->setChecked(true);
    ui_->saveConfirm = true;
    ui_->saveFilter = 4;
    ui_->savePath = QString::fromStdString(dir_ + "/one.png");
    f.Action(TAct::SaveImage1)->trigger();
    EXPECT_EQ(ui_->saveFirstDir.toStdString(), dir_ + "/");
    CommandResult one = RunCommand("/usr/bin/python3 -c 'from PIL import Image; im=Image.open(\"" + dir_ +
                                   "/one.png\"); print(im.mode, im.getpixel((3, 2)), im.info[\"transparency\"][5])'");
    EXPECT_EQ(one.out, "P " + std::to_string(f.View().State().Pixel(3, 2)) + " 255\n"); // alpha 128 brightened

    MassExtract([&](TForm2& d) {
        d.cmbx->setCurrentIndex(3);
        d.edtPath->setText(QString::fromStdString(dir_));
        d.cbx5->setChecked(false);
        ui_->answers = {true};
        return ClickExport(d);
    });
    EXPECT_EQ(f.Exporter().Settings.ExpFormat, 3);
    EXPECT_EQ(Files("p"), (std::vector<std::string>{"flag.png", "wheel.png"}));
    CommandResult flag = RunCommand("/usr/bin/python3 -c 'from PIL import Image; im=Image.open(\"" + dir_ +
                                    "/p/flag.png\"); print(im.mode, len(im.info[\"transparency\"]), im.info[\"transparency\"][0])'");
    EXPECT_EQ(flag.out, "P 16 128\n"); // 16 entries, alpha as the console keeps it
    EXPECT_EQ(ReadFile(dir_ + "/p/flag.png")[24], 4); // bit depth 4
}
