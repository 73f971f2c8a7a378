// Edits replayed as a power cut at every point of them would leave the disk
// (tests/support/power_loss.h): lost and torn writes, lost renames and deletes.
// After the next open, each archive of either kind, and each dictionary saved,
// is byte for byte as it was before the edit or as after it; once the edit has
// returned, as after it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "base/file_identity.h"
#include "base/rollback_journal.h"
#include "editing/dictionary_edit.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/power_loss.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 9));
    return b;
}

FolderFiles Only(const FolderFiles& files, const std::vector<std::string>& names) {
    FolderFiles out;
    for (const std::string& n : names)
        if (files.count(n))
            out[n] = files.at(n);
    return out;
}

struct Replayed {
    std::size_t States = 0, Old = 0, New = 0;
};

// Runs edit over the files in folder while recording, then replays a crash after
// every prefix of what it asked of the disk: losing nothing (a kill), losing all
// that was not synced, and at random in between. reopen(folder) is what the next
// program does first. Every state must read back as the old files or the new.
Replayed CheckEveryCrash(const std::string& folder, const std::vector<std::string>& files,
                         const std::function<void()>& edit, const std::function<void(const std::string&)>& reopen) {
    const FolderFiles before = Only(ReadFolder(folder), files);
    PowerLossRecorder recorder(folder + "/");
    recorder.Start();
    edit();
    recorder.Stop();
    const FolderFiles after = Only(ReadFolder(folder), files);
    EXPECT_NE(before, after) << "the edit changed nothing";

    const std::string replay = MakeTempDir("power-loss-replay");
    std::mt19937 random(20261210);
    Replayed r;
    const int trials = 6;
    for (std::size_t k = 0; k <= recorder.Events(); ++k) {
        for (int t = 0; t < trials; ++t) {
            const auto loss = t == 0   ? PowerLossRecorder::Loss::None
                              : t == 1 ? PowerLossRecorder::Loss::Everything
                                       : PowerLossRecorder::Loss::Random;
            WriteFolder(replay, recorder.CrashAfter(k, loss, random));
            reopen(replay);
            const FolderFiles got = Only(ReadFolder(replay), files);
            ++r.States;
            r.Old += got == before;
            r.New += got == after;
            if (got != before && got != after) {
                ADD_FAILURE() << "a crash after " << k << " of " << recorder.Events() << " events (trial " << t
                              << ") leaves neither the old files nor the new";
                fs::remove_all(replay);
                return r;
            }
            if (k == recorder.Events() && got != after) {
                ADD_FAILURE() << "the edit returned, but a power cut (trial " << t << ") takes it back";
                fs::remove_all(replay);
                return r;
            }
            EXPECT_FALSE(fs::exists(replay + "/" + files[0] + ".kelmora-journal")) << "a journal left after the open";
        }
    }
    fs::remove_all(replay);
    EXPECT_GT(r.Old, 0u);
    EXPECT_GT(r.New, 0u);
    return r;
}

std::vector<ArchiveFile> Start(const std::vector<std::uint8_t>& dictionary) {
    return {{"a.txd", Bytes(3000, 1)}, {"b.txd", Bytes(2048, 2)}, {"c.txd", dictionary},
            {"d.col", Bytes(5000, 4)}, {"e.txd", Bytes(700, 5)}};
}

struct Operation {
    std::string Name;
    std::function<void(const std::string& archive)> Run;
};

std::vector<Operation> Operations(bool v2) {
    std::vector<Operation> ops;
    ops.push_back({"replace larger", [](const std::string& p) {
                       ArchiveEdit e(p);
                       e.Put("b.txd", Bytes(7000, 9));
                       e.Commit();
                   }});
    ops.push_back({"replace smaller", [](const std::string& p) {
                       ArchiveEdit e(p);
                       e.Put("d.col", Bytes(900, 8));
                       e.Commit();
                   }});
    ops.push_back({"add several", [v2](const std::string& p) {
                       ArchiveEdit e(p);
                       // Version 2: enough rows to grow the table over the first entries.
                       for (int i = 0; i < (v2 ? 62 : 4); ++i)
                           e.Put("n" + std::to_string(i) + ".txd", Bytes(300 + 37 * i, static_cast<std::uint8_t>(i)));
                       e.Commit();
                   }});
    ops.push_back({"remove in the middle", [](const std::string& p) {
                       ArchiveEdit e(p);
                       e.Remove("b.txd");
                       e.Commit();
                   }});
    ops.push_back({"rename", [](const std::string& p) {
                       ArchiveEdit e(p);
                       e.Rename("e.txd", "renamed.txd");
                       e.Commit();
                   }});
    ops.push_back({"remove and rename into its name", [](const std::string& p) {
                       ArchiveEdit e(p);
                       e.Remove("a.txd");
                       e.Rename("b.txd", "a.txd");
                       e.Commit();
                   }});
    ops.push_back({"texture renamed through ARCHIVE::NAME", [](const std::string& p) {
                       ArchiveEdit e(p);
                       DictionaryEdit d(e.Read("c.txd"), true);
                       d.Rename(0, "renamed", "");
                       e.Put("c.txd", d.Bytes());
                       e.Commit();
                   }});
    ops.push_back({"rebuild", [](const std::string& p) { RebuildArchive(p); }});
    return ops;
}

class PowerLossTest : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(BothVersions, PowerLossTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? std::string("Version2") : std::string("Version1"); });

TEST_P(PowerLossTest, EveryArchiveEditIsOldOrNewAfterAPowerCutAnywhere) {
    const bool v2 = GetParam();
    const std::vector<std::uint8_t> dictionary = ReadFile(KELMORA_CONSOLE);
    for (const Operation& op : Operations(v2)) {
        SCOPED_TRACE(op.Name);
        const std::string dir = MakeTempDir("power-loss");
        const std::string img = dir + "/game.img", table = dir + "/game.dir";
        std::vector<ArchiveFile> files = Start(dictionary);
        if (op.Name == "rebuild") // free space to recover: a hole where b.txd was
            files.erase(files.begin() + 1);
        if (v2) {
            WriteFile(img, BuildArchiveV2(files));
        } else {
            const ArchiveV1 a = BuildArchiveV1(files);
            WriteFile(img, a.Img);
            WriteFile(table, a.Dir);
        }
        if (op.Name == "rebuild") { // a hole: b.txd's sectors, named by no row
            ArchiveEdit e(v2 ? img : table);
            e.Put("a.txd", Bytes(9000, 3));
            e.Commit();
        }
        const std::string path = v2 ? img : table;
        const Replayed r = CheckEveryCrash(
            dir, v2 ? std::vector<std::string>{"game.img"} : std::vector<std::string>{"game.img", "game.dir"},
            [&] { op.Run(path); }, [&](const std::string& replay) { OpenGameArchive(replay + "/" + (v2 ? "game.img" : "game.dir")); });
        EXPECT_GT(r.States, 40u);
        fs::remove_all(dir);
    }
}

TEST(PowerLossRecoveryTest, ADictionarySaveIsOldOrNewAfterAPowerCutAnywhere) {
    const std::string dir = MakeTempDir("power-loss-save");
    const std::string path = dir + "/console.txd";
    const std::vector<std::uint8_t> bytes = ReadFile(KELMORA_CONSOLE);
    WriteFile(path, bytes);
    DictionaryEdit d(bytes, true);
    d.Rename(0, "renamed", "");
    const FileStamp read = StampOfRead(path, bytes);
    CheckEveryCrash(
        dir, {"console.txd"}, [&] { SaveDictionary(path, d.Bytes(), &read); }, [](const std::string&) {});
    fs::remove_all(dir);
}

// What a crash leaves is undone by whoever opens the archive next, and said once.
TEST(PowerLossRecoveryTest, TheNextOpenUndoesAnInterruptedEditAndSaysSo) {
    const std::string dir = MakeTempDir("power-loss-open");
    const std::string img = dir + "/game.img";
    WriteFile(img, BuildArchiveV2(Start(Bytes(4000, 7))));
    const std::vector<std::uint8_t> before = ReadFile(img);
    SetArchiveWriteHook([](std::size_t n) {
        if (n == 2)
            throw std::runtime_error("killed");
    });
    // A kill: nothing of the process runs after the write; the journal stays.
    PowerLossRecorder recorder(dir + "/");
    recorder.Start();
    EXPECT_THROW(
        {
            ArchiveEdit e(img);
            e.Remove("b.txd");
            e.Rename("e.txd", "x.txd");
            e.Put("a.txd", Bytes(100, 1));
            e.Commit();
        },
        std::runtime_error);
    recorder.Stop();
    SetArchiveWriteHook(nullptr);
    std::mt19937 random(1);
    // The state the kill left, before the journal's own rollback ran in this process.
    std::size_t lastWrite = 0;
    for (std::size_t k = 1; k <= recorder.Events(); ++k)
        if (recorder.CrashAfter(k, PowerLossRecorder::Loss::None, random).at("game.img") != before) {
            lastWrite = k;
            break;
        }
    ASSERT_GT(lastWrite, 0u) << "the edit wrote nothing before it was killed";
    const std::string replay = MakeTempDir("power-loss-open-replay");
    WriteFolder(replay, recorder.CrashAfter(lastWrite, PowerLossRecorder::Loss::None, random));
    ASSERT_TRUE(fs::exists(replay + "/game.img.kelmora-journal"));
    ASSERT_NE(ReadFile(replay + "/game.img"), before);
    std::vector<std::string> said;
    SetRecoveryNotice([&](const std::string& f) { said.push_back(f); });
    OpenGameArchive(replay + "/game.img");
    OpenGameArchive(replay + "/game.img");
    SetRecoveryNotice(nullptr);
    EXPECT_EQ(ReadFile(replay + "/game.img"), before);
    EXPECT_EQ(said, std::vector<std::string>{replay + "/game.img"});
    // The edit in this process rolled back by itself when it failed.
    EXPECT_EQ(ReadFile(img), before);
    EXPECT_FALSE(fs::exists(img + ".kelmora-journal"));
    fs::remove_all(dir);
    fs::remove_all(replay);
}

// A journal that was being written when the power went names nothing written
// yet: it is dropped, and the archive left as it is.
TEST(PowerLossRecoveryTest, AJournalCutShortIsDroppedWithoutTouchingTheArchive) {
    const std::string dir = MakeTempDir("power-loss-torn-journal");
    const std::string img = dir + "/game.img";
    WriteFile(img, BuildArchiveV2(Start(Bytes(4000, 7))));
    const std::vector<std::uint8_t> before = ReadFile(img);
    {
        RollbackJournal j({img});
        j.KeepWhole(0);
        j.Begin();
        std::vector<std::uint8_t> journal = ReadFile(img + ".kelmora-journal");
        // Scribble over the archive as an edit would, then cut the journal short.
        std::vector<std::uint8_t> scribbled = before;
        scribbled[100] ^= 0xFF;
        WriteFile(img, scribbled);
        WriteFile(img + ".kelmora-journal", {journal.begin(), journal.end() - 3});
        j.Commit(); // leaves the files as they are
        WriteFile(img + ".kelmora-journal", {journal.begin(), journal.end() - 3});
    }
    EXPECT_FALSE(RecoverInterruptedEdit(img));
    EXPECT_FALSE(fs::exists(img + ".kelmora-journal"));
    EXPECT_NE(ReadFile(img), before) << "a torn journal must not be applied";
    fs::remove_all(dir);
}

} // namespace
