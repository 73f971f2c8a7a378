// Writing into game archives of both versions: every operation read back by a
// reader of the tests' own, a crash at every write leaving each entry as its old
// or its new bytes, refusals that write nothing, and the rebuild.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "archive/archive_edit.h"
#include "base/errors.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/power_loss.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 11));
    return b;
}

std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> b) {
    b.resize((b.size() + 2047) / 2048 * 2048, 0);
    return b;
}

// One entry before and after an edit; an empty name is "not there".
struct Expect {
    std::string OldName;
    std::vector<std::uint8_t> Old;
    std::string NewName;
    std::vector<std::uint8_t> New;
};

struct Scenario {
    std::string Name;
    std::function<void(ArchiveEdit&)> Edit;
    std::vector<Expect> Entries;
};

class ArchiveEditTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { dir_ = MakeTempDir("archive-edit"); }
    void TearDown() override {
        SetArchiveWriteHook(nullptr);
        fs::remove_all(dir_);
    }
    bool V2() const { return GetParam(); }
    std::string Img() const { return dir_ + "/game.img"; }
    std::string Dir() const { return dir_ + "/game.dir"; }
    std::string Path() const { return V2() ? Img() : Dir(); }
    void Write(const std::vector<ArchiveFile>& files) {
        if (V2()) {
            WriteFile(Img(), BuildArchiveV2(files));
        } else {
            const ArchiveV1 a = BuildArchiveV1(files);
            WriteFile(Img(), a.Img);
            WriteFile(Dir(), a.Dir);
        }
    }
    std::vector<ArchiveFile> Back() const { return ReadBack(ReadFile(Img()), V2() ? std::vector<std::uint8_t>{} : ReadFile(Dir())); }
    std::string dir_;
};

std::vector<ArchiveFile> Start() {
    return {{"a.txd", Bytes(3000, 1)}, {"b.txd", Bytes(2048, 2)}, {"c.txd", Bytes(100, 3)}, {"d.col", Bytes(5000, 4)}};
}

std::vector<Scenario> Scenarios(bool v2) {
    const auto s = Start();
    std::vector<Scenario> out;
    out.push_back({"replace with a larger entry",
                   [](ArchiveEdit& e) { e.Put("B.TXD", Bytes(6000, 9)); },
                   {{"a.txd", s[0].Bytes, "a.txd", s[0].Bytes},
                    {"b.txd", s[1].Bytes, "b.txd", Bytes(6000, 9)},
                    {"c.txd", s[2].Bytes, "c.txd", s[2].Bytes},
                    {"d.col", s[3].Bytes, "d.col", s[3].Bytes}}});
    Scenario grow{"add so many that the table grows", nullptr,
                  {{"a.txd", s[0].Bytes, "a.txd", s[0].Bytes},
                   {"b.txd", s[1].Bytes, "b.txd", s[1].Bytes},
                   {"c.txd", s[2].Bytes, "c.txd", s[2].Bytes},
                   {"d.col", s[3].Bytes, "d.col", s[3].Bytes}}};
    const int added = v2 ? 70 : 3; // 70 rows take the first sector and more
    for (int i = 0; i < added; ++i)
        grow.Entries.push_back({"", {}, "n" + std::to_string(i) + ".txd", Bytes(500 + 40 * i, static_cast<std::uint8_t>(i))});
    grow.Edit = [added](ArchiveEdit& e) {
        for (int i = 0; i < added; ++i)
            e.Put("n" + std::to_string(i) + ".txd", Bytes(500 + 40 * i, static_cast<std::uint8_t>(i)));
    };
    out.push_back(grow);
    out.push_back({"remove, rename, replace and add at once",
                   [](ArchiveEdit& e) {
                       e.Remove("b.txd");
                       e.Rename("c.txd", "renamed.txd");
                       e.Put("a.txd", Bytes(3000, 77));
                       e.Put("new.txd", Bytes(4100, 5));
                   },
                   {{"a.txd", s[0].Bytes, "a.txd", Bytes(3000, 77)},
                    {"b.txd", s[1].Bytes, "", {}},
                    {"c.txd", s[2].Bytes, "renamed.txd", s[2].Bytes},
                    {"d.col", s[3].Bytes, "d.col", s[3].Bytes},
                    {"", {}, "new.txd", Bytes(4100, 5)}}});
    out.push_back({"insert in the middle and at the start",
                   [](ArchiveEdit& e) {
                       e.Insert("mid.txd", Bytes(2500, 6), 2);
                       e.Insert("first.txd", Bytes(300, 8), 0);
                   },
                   {{"a.txd", s[0].Bytes, "a.txd", s[0].Bytes},
                    {"b.txd", s[1].Bytes, "b.txd", s[1].Bytes},
                    {"c.txd", s[2].Bytes, "c.txd", s[2].Bytes},
                    {"d.col", s[3].Bytes, "d.col", s[3].Bytes},
                    {"", {}, "mid.txd", Bytes(2500, 6)},
                    {"", {}, "first.txd", Bytes(300, 8)}}});
    return out;
}

// Whether the archive read back is the state before or after for every entry:
// each one listed reads as its old bytes under its old name or its new bytes
// under its new name, and none that stays is missing.
void ExpectOldOrNew(const std::vector<ArchiveFile>& back, const std::vector<Expect>& want, bool whole) {
    std::map<std::string, int> seen;
    for (const ArchiveFile& f : back) {
        bool known = false;
        for (const Expect& e : want) {
            const bool old = f.Name == e.OldName && f.Bytes == Padded(e.Old);
            const bool now = f.Name == e.NewName && f.Bytes == Padded(e.New);
            if (old || now) {
                known = true;
                ++seen[e.OldName.empty() ? e.NewName : e.OldName];
            }
        }
        EXPECT_TRUE(known) << "an entry " << f.Name << " of " << f.Bytes.size() << " bytes that is neither";
    }
    for (const Expect& e : want) {
        const std::string key = e.OldName.empty() ? e.NewName : e.OldName;
        if (!e.OldName.empty() && !e.NewName.empty()) {
            EXPECT_GE(seen[key], 1) << key << " is lost";
        }
        if (whole) {
            EXPECT_EQ(seen[key], e.NewName.empty() ? 0 : 1) << key;
        }
    }
}

} // namespace

INSTANTIATE_TEST_SUITE_P(BothVersions, ArchiveEditTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? std::string("Version2") : std::string("Version1"); });

// Each operation gives the table and data a reader of our own reads back, and
// the archive's own reader agrees.
TEST_P(ArchiveEditTest, EveryOperationReadsBack) {
    for (const Scenario& s : Scenarios(V2())) {
        SCOPED_TRACE(s.Name);
        Write(Start());
        ArchiveEdit edit(Path());
        s.Edit(edit);
        edit.Commit();
        const std::vector<ArchiveFile> back = Back();
        ExpectOldOrNew(back, s.Entries, true);
        std::size_t listed = 0;
        for (const Expect& e : s.Entries)
            listed += !e.NewName.empty();
        EXPECT_EQ(back.size(), listed);
        const GameArchive a = OpenGameArchive(Path());
        EXPECT_TRUE(a.Problems.empty()) << ArchiveProblemText(a.Problems.front());
        EXPECT_EQ(a.Entries.size(), listed);
        if (V2()) {
            // The second size field is left 0, as real archives have it.
            const std::vector<std::uint8_t> img = ReadFile(Img());
            for (std::size_t i = 0; i < listed; ++i)
                EXPECT_EQ(img[8 + 32 * i + 6] | img[8 + 32 * i + 7], 0);
        }
    }
    // Replacing one entry writes it and its row, not the archive: the untouched
    // entries keep their places and the file grows by the new entry at most.
    Write(Start());
    const std::size_t before = ReadFile(Img()).size();
    ArchiveEdit edit(Path());
    edit.Put("c.txd", Bytes(100, 99));
    std::size_t writes = 0;
    SetArchiveWriteHook([&](std::size_t) { ++writes; });
    edit.Commit();
    EXPECT_LE(writes, 3u);
    EXPECT_LE(ReadFile(Img()).size(), before + 2048);
}

// A kill at every step of every operation, as a reader that knows nothing of the
// journal finds it: each entry is its old or its new self, never a mixture, never
// lost. (A program of ours undoes the edit first: see the power-loss tests.)
TEST_P(ArchiveEditTest, AKillAtAnyStepLosesNothing) {
    for (const Scenario& s : Scenarios(V2())) {
        SCOPED_TRACE(s.Name);
        Write(Start());
        PowerLossRecorder recorder(dir_ + "/");
        recorder.Start();
        {
            ArchiveEdit edit(Path());
            s.Edit(edit);
            edit.Commit();
        }
        recorder.Stop();
        std::mt19937 random(1);
        for (std::size_t k = 0; k <= recorder.Events(); ++k) {
            SCOPED_TRACE("killed after step " + std::to_string(k) + " of " + std::to_string(recorder.Events()));
            FolderFiles left = recorder.CrashAfter(k, PowerLossRecorder::Loss::None, random);
            ExpectOldOrNew(ReadBack(left["game.img"], V2() ? std::vector<std::uint8_t>{} : left["game.dir"]), s.Entries,
                           k == recorder.Events());
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

// What must not be written into is refused with the archive as it was.
TEST_P(ArchiveEditTest, RefusalsWriteNothing) {
    auto files = Start();
    Write(files);
    const std::vector<std::uint8_t> img = ReadFile(Img());
    for (const std::string& bad : {std::string(), std::string(24, 'n'), std::string("a/b.txd"), std::string(" x.txd"),
                                   std::string("caf\xE9.txd"), std::string("x\ty.txd")}) {
        ArchiveEdit edit(Path());
        EXPECT_THROW(edit.Put(bad, Bytes(10, 1)), KelmoraError) << bad;
        EXPECT_THROW(edit.Rename("a.txd", bad), KelmoraError) << bad;
    }
    {
        ArchiveEdit edit(Path());
        EXPECT_THROW(edit.Rename("a.txd", "B.TXD"), KelmoraError);
        EXPECT_THROW(edit.Remove("nothing.txd"), KelmoraError);
        EXPECT_THROW(edit.Put("empty.txd", {}), KelmoraError);
    }
    EXPECT_EQ(ReadFile(Img()), img);
    // Read-only archives, whoever runs this.
    fs::permissions(Path(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_THROW(ArchiveEdit{Path()}, KelmoraError);
    fs::permissions(Path(), fs::perms::owner_write, fs::perm_options::add);
    // A damaged table: two entries sharing bytes.
    if (V2()) {
        std::vector<ArchiveRow> rows = LayOut(files, 1);
        rows[2].OffsetSectors = rows[1].OffsetSectors;
        WriteFile(Img(), BuildArchiveV2(rows, 4, files));
    } else {
        std::vector<ArchiveRow> rows = LayOut(files, 0);
        rows[2].OffsetSectors = rows[1].OffsetSectors;
        WriteFile(Dir(), BuildTable(rows, false));
    }
    const std::vector<std::uint8_t> damaged = ReadFile(Img());
    try {
        ArchiveEdit edit(Path());
        FAIL() << "a damaged table was taken";
    } catch (const KelmoraError& e) {
        EXPECT_NE(ErrorText(e).find("entry 3 (c.txd) overlaps entry 2 (b.txd)"), std::string::npos) << ErrorText(e);
    }
    EXPECT_EQ(ReadFile(Img()), damaged);
    // A rebuild copies what can be read, and the result takes edits again.
    const RebuildOutcome r = RebuildArchive(Path());
    EXPECT_EQ(r.Entries, 3u);
    EXPECT_NO_THROW(ArchiveEdit{Path()});
}

// A rebuild drops free space and keeps the order and the bytes.
TEST_P(ArchiveEditTest, RebuildCompacts) {
    Write(Start());
    {
        ArchiveEdit edit(Path());
        edit.Put("a.txd", Bytes(9000, 11)); // the old 2 sectors become free
        edit.Commit();
    }
    GameArchive a = OpenGameArchive(Path());
    EXPECT_EQ(FreeBytes(a), 4096u);
    const std::vector<ArchiveFile> before = Back();
    const RebuildOutcome r = RebuildArchive(Path());
    EXPECT_EQ(r.Before - r.After, 4096u);
    EXPECT_EQ(Back(), before);
    a = OpenGameArchive(Path());
    EXPECT_EQ(FreeBytes(a), 0u);
    EXPECT_EQ(a.DataSize, r.After);
}

// A rebuild stopped at any write leaves every entry whole, and run again (or run
// to its end) compacts: the version 1 data is compacted in place, never with
// its table pointing at bytes that are not the entry's.
TEST_P(ArchiveEditTest, ARebuildStoppedAnywhereLosesNothing) {
    std::vector<Expect> same;
    for (const ArchiveFile& f : Start())
        same.push_back({f.Name, f.Bytes, f.Name, f.Name == "a.txd" ? Bytes(9000, 11) : f.Bytes});
    same[0].Old = Bytes(9000, 11); // the state the rebuild starts from
    Write(Start());
    {
        ArchiveEdit edit(Path());
        edit.Put("a.txd", Bytes(9000, 11)); // leaves two sectors free
        edit.Commit();
    }
    PowerLossRecorder recorder(dir_ + "/");
    recorder.Start();
    RebuildArchive(Path());
    recorder.Stop();
    EXPECT_EQ(FreeBytes(OpenGameArchive(Path())), 0u);
    std::mt19937 random(1);
    const std::string replay = MakeTempDir("rebuild-kill");
    for (std::size_t k = 0; k <= recorder.Events(); k += 1 + k / 8) {
        SCOPED_TRACE("stopped after step " + std::to_string(k) + " of " + std::to_string(recorder.Events()));
        FolderFiles left = recorder.CrashAfter(k, PowerLossRecorder::Loss::None, random);
        ExpectOldOrNew(ReadBack(left["game.img"], V2() ? std::vector<std::uint8_t>{} : left["game.dir"]), same, true);
        // Whatever it left, a rebuild run again ends compact with every entry whole.
        WriteFolder(replay, left);
        const std::string path = replay + (V2() ? "/game.img" : "/game.dir");
        RebuildArchive(path);
        ExpectOldOrNew(ReadBack(ReadFile(replay + "/game.img"), V2() ? std::vector<std::uint8_t>{} : ReadFile(replay + "/game.dir")),
                       same, true);
        EXPECT_EQ(FreeBytes(OpenGameArchive(path)), 0u);
        if (::testing::Test::HasFailure())
            break;
    }
    fs::remove_all(replay);
}
