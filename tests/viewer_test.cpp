#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QLocale>
#include <QMenuBar>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include "tests/support/engine_files.h"
#include "dictionary/colour_rules.h"
#include "dictionary/dictionary_walk.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/fake_ui.h"
#include "tests/support/archive_builder.h"
#include "viewer/KelmoraU.h"
#include "tests/support/viewer_wait.h"
#include "viewer/edit_commands.h"
#include "viewer/export_controller.h"
#include "viewer/texture_list_panel.h"
#include "viewer/archive_panel.h"
#include "viewer/picture_box.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("viewer");
        ui_ = std::make_shared<FakeUi>();
    }
    void TearDown() override {
        form_.reset();
        fs::remove_all(dir_);
    }

    std::string Dictionary(const std::string& name, const std::vector<TextureSpec>& texs) {
        std::string p = dir_ + "/" + name;
        WriteFile(p, BuildDictionary(texs));
        return p;
    }
    TForm1& Start(const QStringList& args) {
        form_ = std::make_unique<TForm1>(args, ui_, [this] { return NextTick(); });
        return *form_;
    }
    std::uint32_t NextTick() {
        std::uint32_t t = ticks_.empty() ? 0 : ticks_.front();
        if (!ticks_.empty())
            ticks_.erase(ticks_.begin());
        return t;
    }
    QString Status() const { return form_->Layout().StatusText->text(); }

    std::string dir_;
    std::shared_ptr<FakeUi> ui_;
    std::unique_ptr<TForm1> form_;
    std::vector<std::uint32_t> ticks_;
};

TextureSpec Opaque(const std::string& name, std::uint32_t depth, std::uint32_t w = 32, std::uint32_t h = 16) {
    TextureSpec t = RandomTexture(name, w, h, depth, true, w * h + depth);
    for (auto& e : t.Palette)
        e.A = 128;
    return t;
}

void ExpectPictureIs(const TForm1& f, const IndexedImage& want) {
    const QImage& got = f.Layout().Image1->Picture();
    ASSERT_EQ(got.format(), QImage::Format_Indexed8);
    ASSERT_EQ(got.width(), static_cast<int>(want.Width));
    ASSERT_EQ(got.height(), static_cast<int>(want.Height));
    ASSERT_EQ(got.colorCount(), 256);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(got.color(i), qRgb(want.Colours[i].Red, want.Colours[i].Green, want.Colours[i].Blue)) << i;
    for (std::uint32_t y = 0; y < want.Height; ++y)
        ASSERT_EQ(std::memcmp(got.constScanLine(static_cast<int>(y)), want.Row(y), want.Width), 0) << y;
}

} // namespace

TEST_F(ViewerTest, StartsWithoutAFile) {
    TForm1& f = Start({});
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2");
    EXPECT_EQ(f.Layout().lb->count(), 0);
    EXPECT_EQ(Status(), "Kelmora started and ready...");
    EXPECT_TRUE(f.MaximisePosted());
    EXPECT_EQ(f.Layout().Panel1->width() > 0, true);
    EXPECT_EQ(f.Layout().ImgPal->width(), 256);
    EXPECT_EQ(f.Layout().ImgPal->height(), 10);
    EXPECT_TRUE(f.Action(TAct::EnableFilter1)->isChecked());
    EXPECT_TRUE(f.Action(TAct::ba1)->isChecked());
    EXPECT_TRUE(f.Action(TAct::ShowPalette1)->isChecked());
    EXPECT_FALSE(f.Action(TAct::Stretch1)->isChecked());
    EXPECT_FALSE(f.Layout().cbxAlpha->isChecked());
    EXPECT_EQ(f.Action(TAct::Open1)->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(f.Action(TAct::Exit1)->shortcut(), QKeySequence("Ctrl+X"));
    EXPECT_EQ(f.Action(TAct::EnableFilter1)->shortcut(), QKeySequence("Ctrl+F"));
    EXPECT_FALSE(f.Action(TAct::ShowTransparency1)->isChecked());
    auto menus = f.menuBar()->actions();
    ASSERT_EQ(menus.size(), 6);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Edit");
    EXPECT_EQ(menus[2]->text(), "&Options");
    EXPECT_EQ(menus[3]->text(), "&View");
    EXPECT_EQ(menus[4]->text(), "A&rchive");
    EXPECT_EQ(menus[5]->text(), "&Help");
    // Alt and a menu's letter opens the menu: no other menu and no check box of
    // the window has the same letter.
    auto letter = [](const QString& text) {
        const qsizetype at = text.indexOf('&');
        return at >= 0 && at + 1 < text.size() ? text[at + 1].toLower() : QChar();
    };
    std::set<QChar> letters;
    for (const QAction* m : menus)
        EXPECT_TRUE(letters.insert(letter(m->text())).second) << m->text().toStdString();
    EXPECT_EQ(letters.count(letter(f.Layout().cbxAlpha->text())), 0u);
    EXPECT_FALSE(f.Action(TAct::ExtractDictionary1)->isEnabled()); // no archive is open
    // No two commands share a shortcut.
    std::vector<QString> keys;
    for (QAction* a : f.findChildren<QAction*>())
        for (const QKeySequence& k : a->shortcuts())
            keys.push_back(k.toString());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
    EXPECT_FALSE(f.windowIcon().isNull());
    EXPECT_EQ(menus[0]->menu()->defaultAction(), f.Action(TAct::Open1));
    EXPECT_EQ(menus[2]->menu()->defaultAction(), f.Action(TAct::Reload1));

    f.Reload1Click(); // nothing selected: only clears
    EXPECT_EQ(Status(), "");
    EXPECT_TRUE(f.Layout().Image1->Picture().isNull());
}

TEST_F(ViewerTest, CommandLineOpensTheFirstExistingFile) {
    std::string second = Dictionary("second.txd", {Opaque("alpha one", 8), Opaque("beta", 4)});
    std::string third = Dictionary("third.txd", {Opaque("x", 8)});
    ticks_ = {1000, 1015};
    TForm1& f = Start({QString::fromStdString(dir_ + "/none.txd"), QString::fromStdString(second),
                       QString::fromStdString(third)});
    EXPECT_EQ(f.Session().File(), second);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - second.txd - 2 texture(s)");
    ASSERT_EQ(f.Layout().lb->count(), 2);
    EXPECT_EQ(f.Layout().lb->item(0)->text(), "1. alpha one  |  32 x 16 (8bit)");
    EXPECT_EQ(f.Layout().lb->item(1)->text(), "2. beta  |  32 x 16 (4bit)");
    EXPECT_EQ(f.Layout().lb->currentRow(), 0);
    WalkResult walk = WalkFile(second);
    EXPECT_EQ(Status(), "Texture 1 loaded within 0.015 seconds. Palette offset: " +
                            QString::number(walk.Entries[0].DataOffset + 236 + 512) +
                            "; Image offset: " + QString::number(walk.Entries[0].DataOffset + 156));
    EXPECT_EQ(ui_->openDirectory, QString::fromStdString(dir_ + "/"));
    EXPECT_TRUE(f.MaximisePosted());
}

TEST_F(ViewerTest, StartUpReadFailureShowsTheErrorBeforeTheWindow) {
    // A socket exists as a file but cannot be opened for reading, not even by root.
    std::string sock = dir_ + "/held.txd";
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, sock.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    TForm1& f = Start({QString::fromStdString(sock)});
    ASSERT_EQ(ui_->errors.size(), 1u);
    EXPECT_EQ(ui_->errors[0], QString::fromStdString("Cannot open file \"" + sock + "\". No such device or address."));
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - held.txd");
    EXPECT_EQ(f.Layout().lb->count(), 0);
    EXPECT_EQ(Status(), "");
    EXPECT_FALSE(f.MaximisePosted());
    close(s);
}

TEST_F(ViewerTest, BrokenAndEmptyDictionaries) {
    auto bytes = BuildDictionary({Opaque("ok", 8), Opaque("cut", 8)});
    bytes.resize(bytes.size() - 10);
    WriteFile(dir_ + "/broken.txd", bytes);
    TForm1& f = Start({QString::fromStdString(dir_ + "/broken.txd")});
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - broken.txd - 2 texture(s)");
    EXPECT_EQ(f.Layout().lb->count(), 2);
    EXPECT_EQ(f.Layout().lb->currentRow(), -1);
    EXPECT_EQ(Status(), "ERROR!");
    ASSERT_EQ(ui_->messages.size(), 1u);
    // The walk's report, after the name of the file it is about.
    EXPECT_EQ(ui_->messages[0], QString::fromStdString("broken.txd\r\n\r\nTexture 2 of 2\r\ncut\r\n\r\n-<[  ERROR!  ]>-\r\n\r\n"
                                                       "Can't jump to position " + std::to_string(bytes.size() + 10) +
                                                       ",\r\nfile size is only " + std::to_string(bytes.size()) + "!"));
    EXPECT_TRUE(f.Layout().Image1->Picture().isNull());

    // A header that claims more textures than the file holds: the caption counts
    // the lines listed.
    auto claims = BuildDictionary({Opaque("ok", 8), Opaque("cut", 8)});
    claims.resize(claims.size() - 10);
    claims[24] = 43;
    WriteFile(dir_ + "/claims.txd", claims);
    ui_->openFile = QString::fromStdString(dir_ + "/claims.txd");
    f.Open1Click();
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - claims.txd - 2 texture(s)");
    ASSERT_EQ(ui_->messages.size(), 2u);
    EXPECT_TRUE(ui_->messages[1].startsWith("claims.txd\r\n\r\nTexture 2 of 43\r\n")) << ui_->messages[1].toStdString();

    // What is no dictionary, or a folder, is said once and leaves the open file shown.
    WriteFile(dir_ + "/notes.txd", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    ui_->openFile = QString::fromStdString(dir_ + "/notes.txd");
    f.Open1Click();
    ui_->openFile = QString::fromStdString(dir_);
    f.Open1Click();
    ASSERT_EQ(ui_->messages.size(), 4u);
    EXPECT_EQ(ui_->messages[2], "notes.txd is not a texture dictionary.");
    EXPECT_EQ(ui_->messages[3], QString::fromStdString(dir_) + " is a folder, not a texture dictionary.");
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - claims.txd - 2 texture(s)");
    EXPECT_EQ(f.Session().File(), dir_ + "/claims.txd");

    WriteFile(dir_ + "/empty.txd", BuildDictionary({}));
    ui_->openFile = QString::fromStdString(dir_ + "/empty.txd");
    f.Open1Click();
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - empty.txd - 0 texture(s)");
    EXPECT_EQ(f.Layout().lb->count(), 0);
    EXPECT_EQ(Status(), "empty.txd is empty!");

    ui_->openFile.clear(); // cancelled: nothing changes
    f.Open1Click();
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - empty.txd - 0 texture(s)");
}

TEST_F(ViewerTest, PictureIsTheDecodeInEveryView) {
    TextureSpec t = RandomTexture("mixed", 48, 24, 8, true, 42);
    std::string p = Dictionary("m.txd", {t, Opaque("four", 4)});
    TForm1& f = Start({QString::fromStdString(p)});
    ExpectPictureIs(f, MakeIndexedImage(f.View().State(), false, true));
    EXPECT_EQ(f.View().State().Pixels, t.Pixels);

    f.Layout().cbxAlpha->setChecked(true); // the click redisplays
    ExpectPictureIs(f, MakeIndexedImage(f.View().State(), true, true));
    f.Action(TAct::ba1)->trigger();
    EXPECT_FALSE(f.Action(TAct::ba1)->isChecked());
    ExpectPictureIs(f, MakeIndexedImage(f.View().State(), true, false));

    // The strip follows the same colours: 256 one-pixel columns, the last row white.
    const QImage& strip = f.Layout().ImgPal->Picture();
    ASSERT_EQ(strip.size(), QSize(256, 10));
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t a = t.Palette[i].A;
        ASSERT_EQ(strip.pixel(i, 0), qRgb(a, a, a)) << i;
        ASSERT_EQ(strip.pixel(i, 8), qRgb(a, a, a));
        ASSERT_EQ(strip.pixel(i, 9), qRgb(255, 255, 255));
    }

    f.Layout().cbxAlpha->setChecked(false);
    f.Layout().lb->setCurrentRow(1); // a user's selection change
    const QImage& four = f.Layout().ImgPal->Picture();
    for (int x = 0; x < 256; ++x) {
        const PaletteEntry& e = f.View().State().Palette[x / 16];
        ASSERT_EQ(four.pixel(x, 0), qRgb(e.R, e.G, e.B)) << x;
        ASSERT_EQ(four.pixel(x, 8), qRgb(e.R, e.G, e.B));
        ASSERT_EQ(four.pixel(x, 9), qRgb(255, 255, 255));
    }
    EXPECT_TRUE(Status().startsWith("Texture 2 loaded within "));
}

TEST_F(ViewerTest, OpaqueAlphaShowsWhiteOrGrey) {
    std::string p = Dictionary("o.txd", {Opaque("solid", 8)});
    TForm1& f = Start({QString::fromStdString(p)});
    f.Layout().cbxAlpha->setChecked(true);
    const QImage white = f.Layout().Image1->Picture().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < white.height(); ++y)
        for (int x = 0; x < white.width(); ++x)
            ASSERT_EQ(white.pixel(x, y), qRgb(255, 255, 255));
    EXPECT_EQ(f.Layout().ImgPal->Picture().pixel(100, 3), qRgb(255, 255, 255));
    f.Action(TAct::ba1)->trigger();
    const QImage grey = f.Layout().Image1->Picture().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(grey.pixel(5, 5), qRgb(128, 128, 128));
    EXPECT_EQ(f.Layout().ImgPal->Picture().pixel(100, 3), qRgb(128, 128, 128));
}

TEST_F(ViewerTest, OptionsThatToggle) {
    std::string p = Dictionary("t.txd", {RandomTexture("t", 32, 16, 8, true, 5)});
    TForm1& f = Start({QString::fromStdString(p)});
    f.show();
    const QString before = Status();
    const QImage unswizzled = f.Layout().Image1->Picture();
    f.Action(TAct::EnableFilter1)->trigger();
    EXPECT_FALSE(f.Action(TAct::EnableFilter1)->isChecked());
    EXPECT_NE(f.Layout().Image1->Picture(), unswizzled);
    EXPECT_EQ(Status().mid(Status().indexOf("Palette")), before.mid(before.indexOf("Palette")));

    f.Action(TAct::ShowPalette1)->trigger(); // hidden at once
    EXPECT_FALSE(f.Layout().Panel2->isVisible());
    f.Action(TAct::Reload1)->trigger(); // a display without the option draws no strip
    EXPECT_TRUE(f.Layout().ImgPal->Picture().isNull());
    EXPECT_FALSE(f.Layout().Image1->Picture().isNull());
    f.Action(TAct::ShowPalette1)->trigger();
    EXPECT_TRUE(f.Layout().Panel2->isVisible());
    EXPECT_TRUE(f.Layout().ImgPal->Picture().isNull()); // empty until the next display

    f.Action(TAct::Stretch1)->trigger();
    EXPECT_TRUE(f.Layout().Image1->Stretch());
}

TEST_F(ViewerTest, UnsupportedDepthShowsTheMessageAndDisablesTheCheckBox) {
    TextureSpec bad = Opaque("bad", 8);
    bad.Depth = 16;
    std::string p = Dictionary("d.txd", {Opaque("good", 8), bad});
    TForm1& f = Start({QString::fromStdString(p)});
    EXPECT_TRUE(f.Layout().cbxAlpha->isEnabled());
    f.Layout().lb->setCurrentRow(1);
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_EQ(ui_->messages[0], "Unknown palette size detected!!! (16)");
    EXPECT_TRUE(f.Layout().Image1->Picture().isNull());
    EXPECT_TRUE(f.Layout().ImgPal->Picture().isNull());
    EXPECT_EQ(Status(), "");
    EXPECT_FALSE(f.Layout().cbxAlpha->isEnabled());
    f.Layout().lb->setCurrentRow(0);
    EXPECT_TRUE(f.Layout().cbxAlpha->isEnabled());
}

TEST_F(ViewerTest, StatusLineTimings) {
    std::string p = Dictionary("s.txd", {Opaque("a", 8), Opaque("b", 8)});
    TForm1& f = Start({QString::fromStdString(p)});
    for (auto [ms, text] : {std::pair{15u, "0.015"}, {100u, "0.10"}, {1234u, "1.234"}, {0u, "0.00"}}) {
        ticks_ = {0xFFFFFFF0u, 0xFFFFFFF0u + ms}; // the tick count may wrap in between
        f.Reload1Click();
        EXPECT_TRUE(Status().startsWith(QString("Texture 1 loaded within ") + text + " seconds. Palette offset: "))
            << Status().toStdString();
    }
}

TEST_F(ViewerTest, ErrorsReachTheDefaultErrorBox) {
    EXPECT_EQ(DefaultErrorText("abc"), "abc.");
    EXPECT_EQ(DefaultErrorText("abc."), "abc.");
    EXPECT_EQ(DefaultErrorText("abc!"), "abc!");
    EXPECT_EQ(DefaultErrorText("abc)"), "abc)");
    EXPECT_EQ(DefaultErrorText("dir/"), "dir/.");
    EXPECT_EQ(DefaultErrorText(""), "");

    std::string p = Dictionary("e.txd", {Opaque("a", 8)});
    TForm1& f = Start({QString::fromStdString(p)});
    fs::remove(p);
    f.Action(TAct::Reload1)->trigger(); // the file is gone: the command ends with the open error
    ASSERT_EQ(ui_->errors.size(), 1u);
    EXPECT_EQ(ui_->errors[0], QString::fromStdString("Cannot open file \"" + p + "\". No such file or directory."));
    EXPECT_TRUE(f.Layout().Image1->Picture().isNull());
    EXPECT_EQ(Status(), "");
}

// A large texture is decoded on a worker; a dictionary opened before its decode
// comes back is what stays shown, and the old decode is dropped.
TEST_F(ViewerTest, ADecodeTheUserHasMovedOnFromIsDropped) {
    std::string first = Dictionary("first.txd", {Opaque("a", 8, 16, 8), Opaque("big", 8, 2048, 1024), Opaque("c", 8)});
    std::string second = Dictionary("second.txd", {Opaque("only", 4, 16, 8)});
    TForm1& f = Start({QString::fromStdString(first)});
    f.Layout().lb->setCurrentRow(1); // as a click does: the decode goes to the worker
    EXPECT_TRUE(f.View().Decoding());
    EXPECT_TRUE(f.Layout().Image1->Picture().isNull());
    EXPECT_EQ(Status(), "Decoding texture 2...");
    f.OpenFile(second);
    ASSERT_TRUE(WaitForDisplay(f));
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - second.txd - 1 texture(s)");
    EXPECT_EQ(f.Layout().lb->count(), 1);
    EXPECT_EQ(f.View().State().TexWidth, 16u);
    EXPECT_EQ(f.Layout().Image1->Picture().width(), 16);
    EXPECT_TRUE(Status().startsWith("Texture 1 loaded"));
    EXPECT_TRUE(ui_->errors.empty());
    EXPECT_TRUE(ui_->messages.empty());

    // Back to the large one: it comes, and the window took keys meanwhile.
    f.OpenFile(first);
    f.Layout().lb->setCurrentRow(1);
    ASSERT_TRUE(WaitForDisplay(f));
    EXPECT_EQ(f.View().State().TexWidth, 2048u);
    EXPECT_EQ(f.Layout().Image1->Picture().width(), 2048);
    EXPECT_TRUE(Status().startsWith("Texture 2 loaded"));
}

TEST_F(ViewerTest, AboutBox) {
    TForm1& f = Start({});
    f.Action(TAct::About1)->trigger();
    ASSERT_EQ(ui_->messages.size(), 1u);
    QStringList lines = ui_->messages[0].split("\r\n");
    ASSERT_EQ(lines.size(), 14);
    EXPECT_EQ(lines[0], "Kelmora");
    EXPECT_EQ(lines[1], "Version 1.2");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[8], "JPEG images are compressed using");
    EXPECT_EQ(lines[9], "maximum quality.");
}

TEST_F(ViewerTest, RegisterFileTypeAsksFirst) {
    const std::string data = dir_ + "/xdg-data", config = dir_ + "/xdg-config";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    TForm1& f = Start({});
    ui_->answers = {false};
    f.Action(TAct::RegisterFileType1)->trigger();
    ASSERT_EQ(ui_->questions.size(), 1u);
    EXPECT_EQ(ui_->questions[0].caption, "Register File Type");
    EXPECT_EQ(ui_->questions[0].text, "Do you want to associate Kelmora with the file extension .txd?");
    EXPECT_FALSE(fs::exists(data));
    EXPECT_FALSE(fs::exists(config));

    ui_->answers = {true};
    f.Action(TAct::RegisterFileType1)->trigger();
    EXPECT_TRUE(fs::exists(data + "/applications/kelmora.desktop"));
    EXPECT_TRUE(fs::exists(config + "/mimeapps.list"));
    EXPECT_TRUE(ui_->messages.empty()); // success shows nothing
    EXPECT_TRUE(ui_->errors.empty());
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(ViewerTest, SecondsUseTheUsersDecimalSeparator) {
    std::string p = Dictionary("l.txd", {Opaque("a", 8)});
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TForm1& f = Start({QString::fromStdString(p)});
    ticks_ = {0, 1234};
    f.Reload1Click();
    QLocale::setDefault(QLocale::c());
    EXPECT_TRUE(Status().startsWith("Texture 1 loaded within 1,234 seconds. ")) << Status().toStdString();
}

// Mip-mapped and true-colour textures of real files: level 0 is shown, a
// true-colour texture has colours, its alpha as grey, and an empty strip.
TEST_F(ViewerTest, RealLayoutTextures) {
    TextureSpec mips = RealTexture("mips", 64, 32, 8, 4, 11);
    TextureSpec colour = RealTexture("colour", 16, 8, 32, 1, 12);
    colour.EmptyExtension = true;
    std::string p = Dictionary("r.txd", {mips, colour});
    TForm1& f = Start({QString::fromStdString(p)});
    EXPECT_EQ(f.Layout().lb->count(), 2);
    EXPECT_EQ(f.View().State().Pixels, mips.Pixels);
    ExpectPictureIs(f, MakeIndexedImage(f.View().State(), false, true));
    const WalkResult walk = WalkFile(p);
    // Level 3, 8 x 4 texels, travels padded as 8 x 2 pixels of 4 bytes.
    const std::uint32_t pixelSize = 80 + 64 * 32 + 80 + 32 * 16 + 80 + 16 * 8 + 80 + 8 * 2 * 4;
    EXPECT_TRUE(Status().endsWith("Palette offset: " + QString::number(walk.Entries[0].DataOffset + 76 + pixelSize + 80) +
                                  "; Image offset: " + QString::number(walk.Entries[0].DataOffset + 156)))
        << Status().toStdString();

    f.Layout().lb->setCurrentRow(1);
    const QImage got = f.Layout().Image1->Picture().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(got.size(), QSize(16, 8));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const PaletteEntry& e = colour.Texels[y * 16 + x];
            ASSERT_EQ(got.pixel(x, y), qRgb(e.R, e.G, e.B)) << x << "," << y;
        }
    EXPECT_TRUE(f.Layout().ImgPal->Picture().isNull());
    EXPECT_TRUE(f.Layout().cbxAlpha->isEnabled());
    f.Layout().cbxAlpha->setChecked(true);
    const QImage alpha = f.Layout().Image1->Picture().convertToFormat(QImage::Format_RGB32);
    const std::uint8_t a = BrightenAlpha(colour.Texels[5].A);
    EXPECT_EQ(alpha.pixel(5, 0), qRgb(a, a, a));
}

#if !defined(__SANITIZE_ADDRESS__)
// With too little memory for the picture the window says so and goes on. The
// window runs in a fresh process of this program (so that no memory freed by
// earlier tests gives it room) whose address space is limited.
TEST_F(ViewerTest, OutOfMemoryIsAMessageNotACrash) {
    TextureSpec big = RandomTexture("big", 4096, 4096, 8, false, 1);
    const std::string p = Dictionary("big.txd", {big});
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("KELMORA_OUT_OF_MEMORY_FILE", p.c_str(), 1);
        execl("/proc/self/exe", "viewer_tests", "--gtest_filter=ViewerTest.OutOfMemoryInAFreshProcess",
              static_cast<char*>(nullptr));
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the window died of signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The part of the test above that runs in its own process; alone it does nothing.
TEST_F(ViewerTest, OutOfMemoryInAFreshProcess) {
    const char* p = std::getenv("KELMORA_OUT_OF_MEMORY_FILE");
    if (!p)
        GTEST_SKIP() << "runs only as part of OutOfMemoryIsAMessageNotACrash";
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    // Room for the grid and one copy of it, not for the picture on top.
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (40u << 20);
    struct rlimit rl {limit, limit};
    setrlimit(RLIMIT_AS, &rl);
    auto ui = std::make_shared<FakeUi>();
    {
        TForm1 f({QString::fromStdString(p)}, ui);
        WaitForDisplay(f);
        f.Action(TAct::Reload1)->trigger(); // a command after the failure works as before
        WaitForDisplay(f);
    }
    // The decode itself, or the picture made from it, runs out: an error box or
    // the decoder's message, once at the start and once for the reload.
    int said = 0;
    for (const auto* texts : {&ui->errors, &ui->messages})
        for (const QString& text : *texts)
            said += text == "Out of memory." || text == "Out of memory";
    _exit(said == 2 ? 0 : 3);
}
#endif

// A game archive opens as a list of its dictionaries; picking one lists its
// textures as a file's, and the display and the export read from inside it.
TEST_F(ViewerTest, GameArchivesListTheirDictionaries) {
    const TextureSpec wheel = Opaque("wheel", 8), font = Opaque("font", 4, 16, 16);
    const std::vector<std::uint8_t> cars = BuildDictionary({wheel, Opaque("body", 8)});
    const std::vector<std::uint8_t> hud = BuildDictionary({font});
    std::vector<ArchiveFile> files = {{"cars.txd", cars}, {"x.dff", {1, 2, 3}}, {"hud.txd", hud}};
    std::vector<ArchiveRow> rows = LayOut(files, 1);
    rows.push_back({900, 1, "gone.txd"}); // past the end
    files.push_back({});
    WriteFile(dir_ + "/game.img", BuildArchiveV2(rows, 4, files));
    TForm1& f = Start({QString::fromStdString(dir_ + "/game.img")});

    EXPECT_FALSE(f.Layout().pnlArchive->isHidden());
    ASSERT_EQ(f.Layout().lbArchive->count(), 2);
    EXPECT_EQ(f.Layout().lbArchive->item(1)->text(), "hud.txd  |  2048 bytes");
    ASSERT_EQ(ui_->messages.size(), 1u);
    EXPECT_TRUE(ui_->messages[0].contains("entry 4 (gone.txd) starts at byte 1843200")) << ui_->messages[0].toStdString();
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - game.img/cars.txd - 2 texture(s)");
    EXPECT_EQ(f.Layout().lb->count(), 2);
    EXPECT_EQ(f.View().State().Pixels, wheel.Pixels);
    EXPECT_TRUE(Status().startsWith("Texture 1 loaded")) << Status().toStdString();

    f.Layout().lbArchive->setCurrentRow(1); // as a click does
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - game.img/hud.txd - 1 texture(s)");
    ASSERT_EQ(f.Layout().lb->count(), 1);
    EXPECT_EQ(f.Layout().lb->item(0)->text(), "1. font  |  16 x 16 (4bit)");
    EXPECT_EQ(f.View().State().Pixels, font.Pixels);

    // The mass export reads the dictionary from inside the archive.
    f.Exporter().Marks.assign(1, true);
    f.Exporter().Settings.DestDir = dir_ + "/out/";
    fs::create_directory(dir_ + "/out");
    f.Exporter().Settings.ExpFormat = 3;
    f.Exporter().ExportMarked();
    EXPECT_TRUE(fs::exists(dir_ + "/out/font.png"));
    EXPECT_TRUE(Status().startsWith("1 of 1 texture(s) exported")) << Status().toStdString();

    // A plain dictionary afterwards hides the archive's list.
    f.OpenFile(Dictionary("plain.txd", {Opaque("p", 8)}));
    EXPECT_TRUE(f.Layout().pnlArchive->isHidden());
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - plain.txd - 1 texture(s)");
}
