// Long work off the window's thread: the window keeps taking keys, shows that it
// is busy, measures what the work measures, and stops it on Cancel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/dictionary_builder.h"
#include "viewer/background_work.h"
#include "viewer/dictionary_session.h"
#include "viewer/status_panel.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

struct Window {
    QMainWindow main;
    TStatusPanel* status = new TStatusPanel(&main);
    QListWidget* list = new QListWidget(&main);
    TBackgroundWork work{main, *status, {list}};
    Window() {
        main.menuBar()->addMenu("&File");
        main.setCentralWidget(list);
        main.setStatusBar(status);
        main.show();
    }
};

// Counts to a thousand, a texel a millisecond, until the user stops it.
void Count(TBackgroundWork::Progress& p) {
    p.Count = 1000;
    for (int i = 0; i < 1000 && !p.Stop; ++i) {
        p.Done = static_cast<std::uint64_t>(i);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

TEST(BackgroundWork, ShowsItsProgressTakesKeysAndStopsOnCancel) {
    Window w;
    int earlierCancels = 0;
    w.status->Cancelled = [&] { ++earlierCancels; }; // the export's, say
    struct Seen {
        bool menus = true, list = true, bar = false, cancel = false, busyCursor = false;
        QString status, format;
        qint64 keyAfter = -1;
    } seen;
    QElapsedTimer keySent;
    struct KeyWatch : QObject {
        QElapsedTimer* sent;
        qint64* after;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::KeyPress && *after < 0)
                *after = sent->elapsed();
            return false;
        }
    } watch;
    watch.sent = &keySent;
    watch.after = &seen.keyAfter;
    w.main.installEventFilter(&watch);
    QTimer::singleShot(0, &w.main, [&] {
        keySent.start();
        QApplication::postEvent(&w.main, new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier));
    });
    QTimer::singleShot(600, &w.main, [&] {
        seen.menus = w.main.menuBar()->isEnabled();
        seen.list = w.list->isEnabled();
        seen.bar = w.status->Progress->isVisible();
        seen.cancel = w.status->CancelExport->isVisible();
        seen.busyCursor = QApplication::overrideCursor() != nullptr;
        seen.status = w.status->Status();
        seen.format = w.status->Progress->text();
        w.status->CancelExport->click();
    });
    QElapsedTimer whole;
    whole.start();
    EXPECT_TRUE(w.work.Run("Reading big.txd", Count, true));
    EXPECT_LT(whole.elapsed(), 5000); // stopped, not run to its end (10 s)
    ASSERT_GE(seen.keyAfter, 0);
    EXPECT_LT(seen.keyAfter, 500);
    EXPECT_FALSE(seen.menus);
    EXPECT_FALSE(seen.list);
    EXPECT_TRUE(seen.bar);
    EXPECT_TRUE(seen.cancel);
    EXPECT_TRUE(seen.busyCursor);
    EXPECT_EQ(seen.status, "Reading big.txd...");
    EXPECT_TRUE(seen.format.startsWith("Reading big.txd: ")) << seen.format.toStdString();
    EXPECT_NE(seen.format, "Reading big.txd: 0%"); // it moved
    EXPECT_EQ(earlierCancels, 0);
    // All as it was after.
    EXPECT_FALSE(w.work.Busy());
    EXPECT_TRUE(w.main.menuBar()->isEnabled());
    EXPECT_TRUE(w.list->isEnabled());
    EXPECT_FALSE(w.status->Progress->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    w.status->CancelExport->show();
    w.status->CancelExport->click();
    EXPECT_EQ(earlierCancels, 1);
}

TEST(BackgroundWork, QuickWorkShowsNothingAndItsErrorsComeBack) {
    Window w;
    w.status->SetStatus("Ready");
    bool ran = false;
    EXPECT_FALSE(w.work.Run("Saving", [&](TBackgroundWork::Progress&) { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(w.status->Status(), "Ready"); // not even the label
    EXPECT_THROW(w.work.Run("Saving", [](TBackgroundWork::Progress&) { throw std::runtime_error("disk full"); }),
                 std::runtime_error);
    EXPECT_FALSE(w.work.Busy());
    // Work that cannot stop offers no Cancel.
    bool cancelShown = true;
    QTimer::singleShot(400, &w.main, [&] { cancelShown = w.status->CancelExport->isVisible(); });
    EXPECT_FALSE(w.work.Run("Writing g.img", [](TBackgroundWork::Progress&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    }));
    EXPECT_FALSE(cancelShown);
}

// The document's reading in parts: all of it, or nothing once told to stop.
TEST(DictionarySession, ReadsInPartsAndStopsWhenAsked) {
    const std::string dir = MakeTempDir("session-read");
    const std::string file = dir + "/big.txd";
    std::vector<TextureSpec> textures;
    for (int i = 0; i < 9; ++i) // 9 MB and more: three parts
        textures.push_back(RandomTexture("t" + std::to_string(i), 1024, 1024, 8, true, i));
    const std::vector<std::uint8_t> bytes = BuildDictionary(textures);
    ASSERT_GT(bytes.size(), 8u << 20);
    WriteFile(file, bytes);
    std::vector<std::uint64_t> asked;
    auto all = TDictionarySession::Read({file}, [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, bytes.size());
        asked.push_back(done);
        return true;
    });
    ASSERT_TRUE(all);
    EXPECT_EQ(*all->Read, bytes);
    EXPECT_TRUE(all->Stamp.has_value());
    EXPECT_EQ(asked.size(), (bytes.size() + (4u << 20) - 1) / (4u << 20));
    EXPECT_EQ(asked.size(), 3u);
    int parts = 0;
    EXPECT_FALSE(TDictionarySession::Read({file}, [&](std::uint64_t, std::uint64_t) { return ++parts < 2; }));
    EXPECT_EQ(parts, 2);
    fs::remove_all(dir);
}
