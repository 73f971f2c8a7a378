// The viewer as a modern image viewer: zoom, fit, panning, transparency, the
// texel readout, mip levels, drop to open; and the displays that input overtakes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <filesystem>

#include "dictionary/colour_rules.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/fake_ui.h"
#include "tests/support/process.h"
#include "viewer/KelmoraU.h"
#include "tests/support/viewer_wait.h"
#include "viewer/edit_commands.h"
#include "viewer/export_controller.h"
#include "viewer/texture_list_panel.h"
#include "viewer/picture_box.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class ViewerViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("view");
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
    // The window at a known size, shown (offscreen), so the picture box has its room.
    TForm1& Start(const std::string& path) {
        form_ = std::make_unique<TForm1>(QStringList{QString::fromStdString(path)}, ui_);
        form_->showNormal();
        form_->resize(900, 600);
        QApplication::processEvents();
        WaitForDisplay(*form_);
        return *form_;
    }
    std::string dir_;
    std::shared_ptr<FakeUi> ui_;
    std::unique_ptr<TForm1> form_;
};

void Mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButtons buttons = Qt::NoButton) {
    QMouseEvent e(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST_F(ViewerViewTest, ZoomStepsShortcutsAndFit) {
    TextureSpec small = RandomTexture("small", 4, 2, 8, false, 1);
    TextureSpec wide = RandomTexture("wide", 2048, 1024, 8, false, 2);
    TForm1& f = Start(Dictionary("z.txd", {small, wide}));
    TPictureBox* box = f.Layout().Image1;
    EXPECT_EQ(f.Layout().ZoomText->text(), "100%");
    EXPECT_TRUE(f.Action(TAct::ZoomIn1)->shortcuts().contains(QKeySequence("Ctrl++")));
    EXPECT_TRUE(f.Action(TAct::ZoomIn1)->shortcuts().contains(QKeySequence("Ctrl+=")));
    EXPECT_EQ(f.Action(TAct::ZoomOut1)->shortcut(), QKeySequence("Ctrl+-"));
    EXPECT_EQ(f.Action(TAct::ActualSize1)->shortcut(), QKeySequence("Ctrl+0"));

    const std::vector<double> up = {1.5, 2, 3, 4, 6, 8, 12, 16, 24, 32, 32};
    for (double z : up) {
        f.Action(TAct::ZoomIn1)->trigger();
        EXPECT_DOUBLE_EQ(box->Zoom(), z);
    }
    EXPECT_EQ(f.Layout().ZoomText->text(), "3200%");
    f.Action(TAct::ActualSize1)->trigger();
    for (double z : {2.0 / 3, 0.5, 1.0 / 3, 0.25, 1.0 / 6, 0.125, 0.0625, 0.0625}) {
        f.Action(TAct::ZoomOut1)->trigger();
        EXPECT_DOUBLE_EQ(box->Zoom(), z);
    }
    // Fit keeps the aspect ratio and enlarges by whole steps; the 4 x 2 texture would
    // need more than 32x to fill the box.
    f.Action(TAct::FitInWindow1)->trigger();
    const QRectF fit = box->PictureRect();
    EXPECT_NEAR(fit.width() / fit.height(), 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(box->Zoom(), std::min(32.0, std::floor(std::min(box->width() / 4.0, box->height() / 2.0))));
    EXPECT_EQ(f.Layout().ZoomText->text(), "Fit 3200%");

    // Texels stay sharp: at 8x every texel is an 8 x 8 square of one colour.
    f.Action(TAct::ActualSize1)->trigger();
    for (int i = 0; i < 6; ++i) // 1.5, 2, 3, 4, 6, 8
        f.Action(TAct::ZoomIn1)->trigger();
    ASSERT_DOUBLE_EQ(box->Zoom(), 8);
    const QImage shot = box->grab().toImage();
    const QRectF r = box->PictureRect();
    const QColor want(f.Layout().Image1->Picture().pixel(1, 0));

    for (int dy = 0; dy < 8; ++dy)
        for (int dx = 0; dx < 8; ++dx)
            ASSERT_EQ(QColor(shot.pixel(int(r.left()) + 8 + dx, int(r.top()) + dy)), want) << dx << "," << dy;

    // The zoom holds from texture to texture; each first view is centred.
    f.Layout().lb->setCurrentRow(1);
    WaitForDisplay(f);
    EXPECT_DOUBLE_EQ(box->Zoom(), 8);
    EXPECT_EQ(box->Pan(), QPointF());
    f.Action(TAct::FitInWindow1)->trigger();
    EXPECT_NEAR(box->Zoom(), std::min(box->width() / 2048.0, box->height() / 1024.0), 1e-9);
    // Fit is a mode: the next texture is fitted too, a small one enlarged by whole steps.
    f.Layout().lb->setCurrentRow(0);
    WaitForDisplay(f);
    EXPECT_DOUBLE_EQ(box->Zoom(), std::min(32.0, std::floor(std::min(box->width() / 4.0, box->height() / 2.0))));

    // Ctrl + wheel zooms around the pointer: the texel under it stays under it.
    f.Action(TAct::ActualSize1)->trigger();
    const QPointF at = box->PictureRect().topLeft() + QPointF(100.5, 60.5);
    const QPoint before = box->TexelAt(at);
    QWheelEvent wheel(at, box->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &wheel);
    EXPECT_DOUBLE_EQ(box->Zoom(), 1.5);
    // Within the one screen pixel that whole-pixel placement may move it.
    EXPECT_LE(std::abs(box->TexelAt(at).x() - before.x()), 1);
    EXPECT_LE(std::abs(box->TexelAt(at).y() - before.y()), 1);
    QWheelEvent twice(at, box->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &twice);
    EXPECT_DOUBLE_EQ(box->Zoom(), 3);
    EXPECT_LE(std::abs(box->TexelAt(at).x() - before.x()), 1);
}

TEST_F(ViewerViewTest, DraggingStopsAtThePictureEdges) {
    TForm1& f = Start(Dictionary("d.txd", {RandomTexture("big", 2048, 1024, 8, false, 3)}));
    TPictureBox* box = f.Layout().Image1;
    const double excessX = (2048 - box->Viewport().width()) / 2.0, excessY = (1024 - box->Viewport().height()) / 2.0;
    ASSERT_GT(excessX, 0);
    const QPointF centre(box->width() / 2.0, box->height() / 2.0);
    Mouse(box, QEvent::MouseButtonPress, centre, Qt::LeftButton);
    Mouse(box, QEvent::MouseMove, centre + QPointF(30, -20), Qt::LeftButton);
    EXPECT_EQ(box->Pan(), QPointF(30, -20));
    Mouse(box, QEvent::MouseMove, centre + QPointF(5000, 5000), Qt::LeftButton);
    Mouse(box, QEvent::MouseButtonRelease, centre + QPointF(5000, 5000));
    EXPECT_EQ(box->Pan(), QPointF(excessX, std::max(0.0, excessY)));
    EXPECT_EQ(box->PictureRect().left(), 0); // the left edge meets the box's, no further

    // A picture smaller than the box does not move.
    f.Action(TAct::FitInWindow1)->trigger();
    f.Action(TAct::ZoomOut1)->trigger();
    box->SetPan({40, 40});
    EXPECT_EQ(box->Pan(), QPointF());
}

TEST_F(ViewerViewTest, TransparencyAndReadout) {
    TextureSpec t = RandomTexture("t", 16, 8, 8, true, 4);
    t.Palette[t.Pixels[0]] = {200, 10, 20, 0};      // the first texel fully transparent
    t.Palette[t.Pixels[17]] = {30, 40, 50, 64};     // texel (1, 1) half
    TextureSpec colour = RealTexture("c", 8, 8, 32, 1, 5);
    TForm1& f = Start(Dictionary("t.txd", {t, colour}));
    EXPECT_EQ(f.Layout().Image1->Picture().format(), QImage::Format_Indexed8);

    f.Action(TAct::ShowTransparency1)->trigger();
    const QImage argb = f.Layout().Image1->Picture();
    ASSERT_EQ(argb.format(), QImage::Format_ARGB32);
    EXPECT_EQ(argb.pixel(1, 1), qRgba(30, 40, 50, BrightenAlpha(64)));
    f.Action(TAct::ba1)->trigger(); // without brightening the alpha is the console's
    EXPECT_EQ(f.Layout().Image1->Picture().pixel(1, 1), qRgba(30, 40, 50, 64));
    // On screen the transparent texel shows the checkerboard.
    f.Action(TAct::ZoomIn1)->trigger();
    f.Action(TAct::ZoomIn1)->trigger();
    f.Action(TAct::ZoomIn1)->trigger(); // 3x
    const QImage shot = f.Layout().Image1->grab().toImage();
    const QPointF tl = f.Layout().Image1->PictureRect().topLeft();
    const QColor under(shot.pixel(int(tl.x()) + 1, int(tl.y()) + 1));
    EXPECT_TRUE(under == QColor(Qt::white) || under == QColor(204, 204, 204)) << under.name().toStdString();
    // The alpha view is shown as before, over no checkerboard.
    f.Layout().cbxAlpha->setChecked(true);
    EXPECT_EQ(f.Layout().Image1->Picture().format(), QImage::Format_Indexed8);
    f.Layout().cbxAlpha->setChecked(false);
    f.Action(TAct::ShowTransparency1)->trigger();
    f.Action(TAct::ba1)->trigger();
    f.Action(TAct::ActualSize1)->trigger();

    // The texel under the mouse, in the status bar; nothing outside the picture.
    const QRectF r = f.Layout().Image1->PictureRect();
    Mouse(f.Layout().Image1, QEvent::MouseMove, r.topLeft() + QPointF(1.5, 1.5));
    const PaletteEntry& e = t.Palette[t.Pixels[17]];
    EXPECT_EQ(f.Layout().ReadoutText->text(),
              QString("1, 1: index %1, %2 %3 %4 %5").arg(t.Pixels[17]).arg(e.R).arg(e.G).arg(e.B).arg(e.A));
    Mouse(f.Layout().Image1, QEvent::MouseMove, r.topLeft() - QPointF(3, 3));
    EXPECT_EQ(f.Layout().ReadoutText->text(), "");

    f.Layout().lb->setCurrentRow(1); // true colour: no index

    WaitForDisplay(f);
    const QRectF rc = f.Layout().Image1->PictureRect();
    Mouse(f.Layout().Image1, QEvent::MouseMove, rc.topLeft() + QPointF(2.5, 0.5));
    const PaletteEntry& c = colour.Texels[2];
    EXPECT_EQ(f.Layout().ReadoutText->text(), QString("2, 0: %1 %2 %3 %4").arg(c.R).arg(c.G).arg(c.B).arg(c.A));
}

TEST_F(ViewerViewTest, MipLevels) {
    TextureSpec mips = RealTexture("mips", 64, 32, 8, 4, 6);
    TextureSpec one = RandomTexture("one", 16, 8, 8, true, 7);
    TForm1& f = Start(Dictionary("m.txd", {mips, one}));
    EXPECT_EQ(f.Layout().LevelText->text(), "level 1 of 4 (64 x 32)");
    EXPECT_EQ(f.Action(TAct::NextLevel1)->shortcut(), QKeySequence("Ctrl+PgDown"));
    EXPECT_EQ(f.Action(TAct::PreviousLevel1)->shortcut(), QKeySequence("Ctrl+PgUp"));
    f.Action(TAct::NextLevel1)->trigger();
    f.Action(TAct::NextLevel1)->trigger();
    EXPECT_EQ(f.Layout().LevelText->text(), "level 3 of 4 (16 x 8)");
    EXPECT_EQ(f.View().State().Pixels, mips.MipPixels[1]);
    EXPECT_EQ(f.Layout().Image1->Picture().size(), QSize(16, 8));
    f.Action(TAct::NextLevel1)->trigger();
    f.Action(TAct::NextLevel1)->trigger(); // no level 5: stays
    EXPECT_EQ(f.Layout().LevelText->text(), "level 4 of 4 (8 x 4)");

    // "&Actual Image..." saves the level shown.
    ui_->saveConfirm = true;
    ui_->saveFilter = 3;
    ui_->savePath = QString::fromStdString(dir_ + "/level.tga");
    f.Action(TAct::SaveImage1)->trigger();
    auto tga = ReadFile(dir_ + "/level.tga");
    EXPECT_EQ(tga[12], 8);
    EXPECT_EQ(tga[14], 4);

    f.Action(TAct::PreviousLevel1)->trigger();
    EXPECT_EQ(f.Layout().LevelText->text(), "level 3 of 4 (16 x 8)");
    f.Action(TAct::Reload1)->trigger(); // every display starts at level 0
    EXPECT_EQ(f.Layout().LevelText->text(), "level 1 of 4 (64 x 32)");
    f.Layout().lb->setCurrentRow(1);
    WaitForDisplay(f);
    EXPECT_EQ(f.Layout().LevelText->text(), "");
}

TEST_F(ViewerViewTest, DropOpensTheFileAndCaptionsHaveTooltips) {
    TForm1& f = Start(Dictionary("a.txd", {RandomTexture("a", 16, 8, 8, true, 8)}));
    const std::string longName(120, 'x');
    const std::string other = Dictionary("other.txd", {RandomTexture(longName, 16, 8, 8, true, 9)});
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(other))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &drop);
    EXPECT_EQ(f.Session().File(), other);
    EXPECT_EQ(f.windowTitle(), "Kelmora 1.2 - other.txd - 1 texture(s)");
    EXPECT_EQ(f.Layout().lb->item(0)->toolTip(), QString::fromStdString("1. " + longName + "  |  16 x 8 (8bit)"));
}

// Mends: a walk that stopped shows nothing until the user picks a line, even when
// the list gets the focus; a large texture's decode that the user has moved on
// from is dropped, so list, picture and status agree; Ctrl+S without a picture says so.
TEST_F(ViewerViewTest, DisplaysThatInputOvertakes) {
    auto bytes = BuildDictionary({RandomTexture("a", 16, 8, 8, true, 10), RandomTexture("b", 16, 8, 8, true, 11)});
    bytes.resize(bytes.size() - 3);
    const std::string broken = dir_ + "/broken.txd";
    WriteFile(broken, bytes);
    TForm1& f = Start(broken);
    EXPECT_EQ(f.Layout().StatusText->text(), "ERROR!");
    QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(f.Layout().lb, &focus);
    f.Layout().lb->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(f.Layout().StatusText->text(), "ERROR!");
    EXPECT_TRUE(f.Layout().Image1->Picture().isNull());
    f.Action(TAct::SaveImage1)->trigger(); // nothing selected: nothing at all
    EXPECT_TRUE(ui_->proposedNames.empty());
    f.Layout().lb->setCurrentRow(0); // the user's choice shows it
    WaitForDisplay(f);
    EXPECT_TRUE(f.Layout().StatusText->text().startsWith("Texture 1 loaded"));

    TextureSpec t0 = RandomTexture("t0", 16, 8, 8, true, 12), t1 = RandomTexture("t1", 1024, 1024, 8, true, 13),
                t2 = RandomTexture("t2", 48, 8, 8, true, 14);
    TextureSpec bad = RandomTexture("bad", 8, 8, 8, true, 15);
    bad.Depth = 24;
    TForm1& g = Start(Dictionary("fast.txd", {t0, t1, t2, bad}));
    g.Layout().lb->setCurrentRow(1); // a large texture: decoded on the worker
    EXPECT_TRUE(g.View().Decoding());
    g.Layout().lb->setCurrentRow(2); // a key press before it came back
    ASSERT_TRUE(WaitForDisplay(g));
    EXPECT_EQ(g.Layout().lb->currentRow(), 2);
    EXPECT_EQ(g.View().State().Pixels, t2.Pixels);
    EXPECT_EQ(g.Layout().Image1->Picture().width(), 48);
    EXPECT_TRUE(g.Layout().StatusText->text().startsWith("Texture 3 loaded")) << g.Layout().StatusText->text().toStdString();
    g.Layout().lb->setCurrentRow(1);
    ASSERT_TRUE(WaitForDisplay(g));
    EXPECT_EQ(g.View().State().Pixels, t1.Pixels);
    EXPECT_TRUE(g.Layout().StatusText->text().startsWith("Texture 2 loaded"));

    g.Layout().lb->setCurrentRow(3); // unsupported depth: no picture
    ASSERT_FALSE(ui_->messages.empty());
    g.Action(TAct::SaveImage1)->trigger();
    EXPECT_TRUE(ui_->proposedNames.empty());
    EXPECT_EQ(g.Layout().StatusText->text(), "Nothing to save: no texture is shown.");
}

TEST(ViewerProgram, HelpAndVersionPrintAndExit) {
    CommandResult help = RunCommand(Quote(KELMORA_VIEWER) + " --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind("Usage: kelmora [FILE.txd]\n", 0), 0u) << help.out;
    CommandResult version = RunCommand(Quote(KELMORA_VIEWER) + " --version");
    EXPECT_EQ(version.code, 0);
    CommandResult cli = RunCommand(Quote(KELMORA_CLI) + " --version");
    // One version everywhere: the viewer's, the tool's and the window title's.
    EXPECT_EQ(version.out.substr(8), cli.out.substr(12));
    EXPECT_EQ(version.out, "kelmora 1.2\n");
}

// Scroll bars, the plain wheel and the keys move a picture larger than the box;
// below 100% the picture is averaged; the readout follows the keyboard's zoom;
// levels show at their texture's size; stretch and zoom exclude each other.
TEST_F(ViewerViewTest, ZoomThatBehaves) {
    TextureSpec big = RandomTexture("big", 2048, 1024, 8, false, 3);
    TextureSpec stripes = RandomTexture("stripes", 64, 64, 8, true, 4);
    for (std::uint32_t i = 0; i < 64 * 64; ++i)
        stripes.Pixels[i] = i % 2 ? 1 : 0; // black and white columns
    stripes.Palette[0] = {0, 0, 0, 128};
    stripes.Palette[1] = {255, 255, 255, 128};
    TextureSpec mips = RealTexture("mips", 64, 32, 8, 3, 6);
    TForm1& f = Start(Dictionary("z.txd", {big, stripes, mips}));
    TPictureBox* box = f.Layout().Image1;
    EXPECT_TRUE(box->HorizontalBar()->isVisible());
    EXPECT_TRUE(box->VerticalBar()->isVisible() == (1024 > box->height() - box->HorizontalBar()->height()));
    // The bar and the picture agree: the bar at its left end shows the left edge.
    box->HorizontalBar()->setValue(box->HorizontalBar()->minimum());
    EXPECT_EQ(box->PictureRect().left(), 0);

    // The plain wheel scrolls down; Ctrl+wheel still zooms.
    const QPointF centre(box->Viewport().center());
    const double y0 = box->PictureRect().top();
    QWheelEvent down(centre, box->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &down);
    EXPECT_LT(box->PictureRect().top(), y0);
    // Keys: Home shows the top left corner, End the bottom right, arrows step.
    box->setFocus();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(box, &end);
    EXPECT_EQ(std::lround(box->PictureRect().right()), box->Viewport().width());
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(box, &home);
    EXPECT_EQ(box->PictureRect().topLeft(), QPointF(0, 0));
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(box, &right);
    EXPECT_EQ(box->PictureRect().left(), -32);

    // The readout follows a zoom made with the keyboard.
    Mouse(box, QEvent::MouseMove, QPointF(100.5, 100.5));
    const QString before = f.Layout().ReadoutText->text();
    f.Action(TAct::ZoomIn1)->trigger();
    EXPECT_NE(f.Layout().ReadoutText->text(), before);
    EXPECT_TRUE(f.Layout().ReadoutText->text().startsWith(QString("%1, ").arg(box->TexelAt({100.5, 100.5}).x())));

    // Below 100% black and white columns become grey, not a random pick of either.
    f.Layout().lb->setCurrentRow(1);
    WaitForDisplay(f);
    f.Action(TAct::ActualSize1)->trigger();
    f.Action(TAct::ZoomOut1)->trigger(); // 67%
    f.Action(TAct::ZoomOut1)->trigger(); // 50%
    ASSERT_DOUBLE_EQ(box->Zoom(), 0.5);
    const QImage shot = box->grab().toImage();
    const QRectF r = box->PictureRect();
    const QColor mid(shot.pixel(int(r.left()) + 5, int(r.top()) + 5));
    EXPECT_NEAR(mid.red(), 128, 20);

    // A mip level is shown at the size of level 0.
    f.Layout().lb->setCurrentRow(2);
    WaitForDisplay(f);
    f.Action(TAct::ActualSize1)->trigger();
    f.Action(TAct::NextLevel1)->trigger();
    EXPECT_EQ(box->Picture().size(), QSize(32, 16));
    EXPECT_EQ(box->PictureRect().size(), QSizeF(64, 32));
    EXPECT_EQ(f.Layout().LevelText->text(), "level 2 of 3 (32 x 16)");
    // Its texels are twice as large as level 0's: the readout says so.
    EXPECT_EQ(f.Layout().ZoomText->text(), "200%");

    // Stretch and zoom exclude each other, and the status bar says which holds.
    f.Action(TAct::Stretch1)->trigger();
    EXPECT_EQ(f.Layout().ZoomText->text(), "Stretched");
    f.Action(TAct::ZoomIn1)->trigger();
    EXPECT_FALSE(f.Action(TAct::Stretch1)->isChecked());
    EXPECT_FALSE(box->Stretch());
    EXPECT_EQ(f.Layout().ZoomText->text(), "300%");
}

// The toggles draw the decoded picture again; going back to a texture takes it
// from the last few decodes; only what changes the decode (the filter) decodes.
TEST_F(ViewerViewTest, TogglesRedrawAndRecentDecodesAreKept) {
    const TextureSpec a = RandomTexture("a", 16, 16, 8, true, 1), b = RandomTexture("b", 16, 8, 4, true, 2);
    TForm1& f = Start(Dictionary("c.txd", {a, b}));
    const std::size_t first = f.View().Decodes();
    EXPECT_EQ(first, 1u);
    f.Layout().cbxAlpha->setChecked(true);
    EXPECT_EQ(f.View().Decodes(), first);
    const auto& grey = std::get<IndexedImage>(f.View().Picture());
    EXPECT_EQ(grey.Colours[5].Red, BrightenAlpha(a.Palette[5].A)); // the alpha view, brightened
    f.Action(TAct::ba1)->trigger();
    EXPECT_EQ(std::get<IndexedImage>(f.View().Picture()).Colours[5].Red, a.Palette[5].A);
    f.Action(TAct::ShowTransparency1)->trigger();
    f.Layout().cbxAlpha->setChecked(false);
    EXPECT_EQ(f.View().Decodes(), first);
    f.Layout().lb->setCurrentRow(1);
    EXPECT_EQ(f.View().Decodes(), first + 1);
    f.Layout().lb->setCurrentRow(0);
    EXPECT_EQ(f.View().Decodes(), first + 1); // kept
    EXPECT_EQ(f.View().State().Pixels, a.Pixels);
    f.Action(TAct::EnableFilter1)->trigger();
    EXPECT_EQ(f.View().Decodes(), first + 2);
}
