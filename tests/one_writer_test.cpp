// One writer at a time, and honest about what it found: a second writer is
// refused while the first holds the file, an edit refuses a file that changed
// since it read it, read-only files are never written (whoever runs this), and a
// read that fails or falls short is an error, never bytes.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "base/atomic_output.h"
#include "base/byte_source.h"
#include "base/errors.h"
#include "base/file_identity.h"
#include "dictionary/dictionary.h"
#include "dictionary/dictionary_walk.h"
#include "editing/dictionary_edit.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 5);
    return b;
}

std::vector<ArchiveFile> Start() {
    return {{"a.txd", Bytes(3000, 1)}, {"b.txd", Bytes(2048, 2)}, {"c.txd", Bytes(100, 3)}};
}

ErrorCode CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const KelmoraError& e) {
        return e.Code();
    }
    ADD_FAILURE() << "no error";
    return ErrorCode::NothingDecoded;
}

std::string TextOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const KelmoraError& e) {
        return ErrorText(e);
    }
    return "no error";
}

class OneWriterTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("one-writer");
        if (V2()) {
            WriteFile(Img(), BuildArchiveV2(Start()));
        } else {
            const ArchiveV1 a = BuildArchiveV1(Start());
            WriteFile(Img(), a.Img);
            WriteFile(Dir(), a.Dir);
        }
    }
    void TearDown() override {
        SetFailingReads("");
        fs::remove_all(dir_);
    }
    bool V2() const { return GetParam(); }
    std::string Img() const { return dir_ + "/game.img"; }
    std::string Dir() const { return dir_ + "/game.dir"; }
    std::string Path() const { return V2() ? Img() : Dir(); }
    std::string dir_;
};

INSTANTIATE_TEST_SUITE_P(BothVersions, OneWriterTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? std::string("Version2") : std::string("Version1"); });

TEST_P(OneWriterTest, ASecondWriterIsRefusedAtOnceAndReadersAreNot) {
    const std::vector<std::uint8_t> before = ReadFile(Img());
    {
        ArchiveEdit first(Path());
        first.Put("a.txd", Bytes(5000, 9));
        EXPECT_EQ(CodeOf([&] { ArchiveEdit second(Path()); }), ErrorCode::FileBusy);
        EXPECT_EQ(CodeOf([&] { RebuildArchive(Path()); }), ErrorCode::FileBusy);
        EXPECT_EQ(TextOf([&] { ArchiveEdit second(Path()); }), "another program is changing " + Path() + "; nothing was written");
        // Readers go on reading.
        EXPECT_EQ(OpenGameArchive(Path()).Entries.size(), 3u);
        EXPECT_EQ(ReadFile(Img()), before);
        first.Commit();
    }
    // Once the first is done, the next may write.
    ArchiveEdit next(Path());
    std::vector<std::uint8_t> back = next.Read("a.txd");
    back.resize(5000); // whole sectors
    EXPECT_EQ(back, Bytes(5000, 9));
}

TEST_P(OneWriterTest, AnEditRefusesATableChangedSinceItWasRead) {
    ArchiveEdit edit(Path());
    edit.Put("b.txd", Bytes(4000, 7));
    // Another program, which knows nothing of the lock, renames an entry.
    std::vector<ArchiveFile> changed = Start();
    changed[2].Name = "z.txd";
    if (V2())
        WriteFile(Img(), BuildArchiveV2(changed));
    else
        WriteFile(Dir(), BuildArchiveV1(changed).Dir);
    const std::vector<std::uint8_t> img = ReadFile(Img());
    EXPECT_EQ(TextOf([&] { edit.Commit(); }), Path() + " changed on disk since it was read; nothing was written");
    EXPECT_EQ(ReadFile(Img()), img);
    EXPECT_FALSE(fs::exists(Img() + ".kelmora-journal"));
}

// The window plans on a table it read at open: the entry it read must still be
// where it was; other rows may have changed meanwhile.
TEST_P(OneWriterTest, AnEditPlannedOnAnOlderTableDependsOnlyOnItsOwnRows) {
    const GameArchive seen = OpenGameArchive(Path());
    {
        ArchiveEdit other(Path());
        other.Put("new.txd", Bytes(700, 4));
        other.Commit();
    }
    {
        ArchiveEdit edit(Path());
        EXPECT_NO_THROW(edit.DependOn("b.txd", seen.Entries[1].Offset, seen.Entries[1].Size));
    }
    {
        ArchiveEdit other(Path());
        other.Put("b.txd", Bytes(9000, 5)); // moves to the end
        other.Commit();
    }
    ArchiveEdit edit(Path());
    EXPECT_EQ(CodeOf([&] { edit.DependOn("b.txd", seen.Entries[1].Offset, seen.Entries[1].Size); }),
              ErrorCode::ChangedOnDisk);
    EXPECT_EQ(CodeOf([&] { edit.DependOn("gone.txd", 0, 1); }), ErrorCode::ChangedOnDisk);
}

TEST_P(OneWriterTest, ReadOnlyArchivesAreNeverWritten) {
    const std::vector<std::uint8_t> img = ReadFile(Img());
    for (const std::string& file : V2() ? std::vector<std::string>{Img()} : std::vector<std::string>{Img(), Dir()}) {
        fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_EQ(CodeOf([&] { ArchiveEdit e(Path()); }), ErrorCode::ReadOnly) << file;
        EXPECT_EQ(CodeOf([&] { RebuildArchive(Path()); }), ErrorCode::ReadOnly) << file;
        EXPECT_EQ(TextOf([&] { ArchiveEdit e(Path()); }), file + " is read-only");
#ifndef _WIN32 // Windows keeps one read-only attribute, not these bits
        EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#endif
        fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    }
    EXPECT_EQ(ReadFile(Img()), img);
}

TEST_P(OneWriterTest, AFailedReadIsAnErrorNeverBytes) {
    const std::vector<std::uint8_t> img = ReadFile(Img());
    {
        ArchiveEdit edit(Path());
        SetFailingReads("game.img");
        EXPECT_EQ(CodeOf([&] { edit.Read("a.txd"); }), ErrorCode::ReadFailed);
        EXPECT_NE(TextOf([&] { edit.Read("a.txd"); }).find("Cannot read file \"" + Img() + "\". "), std::string::npos);
        EXPECT_THROW(RebuildArchive(Path()), KelmoraError);
        SetFailingReads("");
    }
    EXPECT_EQ(ReadFile(Img()), img);
    // A dictionary whose reads fail: the walk stops with the device's error, not
    // with a dictionary cut short.
    WriteFile(dir_ + "/console.txd", ReadFile(KELMORA_CONSOLE));
    SetFailingReads("console.txd");
    EXPECT_EQ(CodeOf([&] { WalkDictionary(FileSource(dir_ + "/console.txd")); }), ErrorCode::ReadFailed);
    SetFailingReads("");
    EXPECT_EQ(WalkDictionary(FileSource(dir_ + "/console.txd")).End, WalkEnd::Complete);
#ifndef _WIN32 // Windows lets no other program shorten a file a reader has open
    // A file that shrinks after it was opened ends early: refused, not padded.
    auto source = std::make_shared<FileSource>(Img());
    fs::resize_file(Img(), 4096);
    EXPECT_EQ(CodeOf([&] { ReadAllBytes(*source); }), ErrorCode::ReadEndsEarly);
    std::vector<std::uint8_t> buffer(100);
    EXPECT_EQ(CodeOf([&] { RangeSource(source, 4000, 200).ReadExactly(0, buffer.data(), 100); }),
              ErrorCode::ReadEndsEarly);
#endif
}

// Loose dictionaries: the same rules through SaveDictionary.
TEST(OneWriterDictionaryTest, ASaveHoldsOffOthersRefusesChangesAndKeepsReadOnlyFiles) {
    const std::string dir = MakeTempDir("one-writer-dictionary");
    const std::string path = dir + "/console.txd";
    const std::vector<std::uint8_t> bytes = ReadFile(KELMORA_CONSOLE);
    WriteFile(path, bytes);
    FileStamp read = StampOfRead(path, bytes);
    EXPECT_EQ(read, StampOf(path));
    DictionaryEdit edit(bytes, true);
    edit.Rename(0, "renamed", "");

    {
        FileLock other;
        ASSERT_TRUE(FileLock::TryTake(path, other));
        EXPECT_EQ(CodeOf([&] { SaveDictionary(path, edit.Bytes(), &read); }), ErrorCode::FileBusy);
        FileLock third;
        EXPECT_FALSE(FileLock::TryTake(path, third));
    }
    EXPECT_EQ(ReadFile(path), bytes);

    // Changed underneath by another program: same size, other bytes.
    std::vector<std::uint8_t> theirs = bytes;
    theirs[200] ^= 1;
    WriteFile(path, theirs);
    EXPECT_EQ(CodeOf([&] { SaveDictionary(path, edit.Bytes(), &read); }), ErrorCode::ChangedOnDisk);
    EXPECT_EQ(ReadFile(path), theirs);

    // What a save returns is what the next save is checked against.
    read = StampOfRead(path, theirs);
    read = SaveDictionary(path, edit.Bytes(), &read);
    EXPECT_EQ(ReadFile(path), edit.Bytes());
    EXPECT_NO_THROW(SaveDictionary(path, bytes, &read));

    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    read = StampOf(path);
    EXPECT_EQ(CodeOf([&] { SaveDictionary(path, edit.Bytes(), &read); }), ErrorCode::ReadOnly);
    EXPECT_EQ(CodeOf([&] { AtomicOutput out(path); }), ErrorCode::ReadOnly);
    EXPECT_EQ(ReadFile(path), bytes);
#ifndef _WIN32
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::group_read);
#endif
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(dir);
}

// A save that replaced the file leaves a waiting writer's lock on the old one:
// the lock follows the name.
TEST(OneWriterDictionaryTest, TheLockFollowsTheNameAcrossAReplacement) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows replaces no file that is open: the lock lets go of it first";
#endif
    const std::string dir = MakeTempDir("one-writer-replaced");
    const std::string path = dir + "/x.txd";
    WriteFile(path, {1, 2, 3});
    FileLock held;
    ASSERT_TRUE(FileLock::TryTake(path, held));
    WriteFile(dir + "/y.txd", {4, 5, 6});
    fs::rename(dir + "/y.txd", path); // path names another file now
    FileLock next;
    EXPECT_TRUE(FileLock::TryTake(path, next)) << "the new file is nobody's";
    FileLock third;
    EXPECT_FALSE(FileLock::TryTake(path, third));
    fs::remove_all(dir);
}

} // namespace
