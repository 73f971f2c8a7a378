// The dictionary engine over every kind of byte source, and the game archives
// read through it.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/game_archive.h"
#include "base/byte_reader.h"
#include "base/file_identity.h"
#include "dictionary/dictionary.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<const ByteSource> Memory(std::vector<std::uint8_t> bytes) {
    return std::make_shared<BufferSource>(std::move(bytes));
}

std::vector<std::uint8_t> SampleDictionary(std::uint32_t seed) {
    return BuildDictionary({RandomTexture("plain" + std::to_string(seed), 16, 8, 8, true, seed),
                            RealTexture("mips", 64, 32, 4, 3, seed + 1),
                            RealTexture("colour", 16, 16, 32, 1, seed + 2)});
}

void ExpectSameDictionary(const Dictionary& a, const Dictionary& b) {
    ASSERT_EQ(a.Entries().size(), b.Entries().size());
    for (std::size_t i = 0; i < a.Entries().size(); ++i) {
        EXPECT_EQ(a.Entries()[i].Caption, b.Entries()[i].Caption);
        const DecodedTexture x = a.Decode(i), y = b.Decode(i);
        ASSERT_TRUE(x.Ok() && y.Ok()) << i;
        EXPECT_EQ(x.State.Pixels, y.State.Pixels);
        EXPECT_EQ(x.State.Texels, y.State.Texels);
        EXPECT_EQ(x.State.Palette, y.State.Palette);
    }
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("engine"); }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        WriteFile(dir_ + "/" + name, bytes);
        return dir_ + "/" + name;
    }
    std::string dir_;
};

} // namespace

// A dictionary in memory, in a file and inside a larger buffer walks and decodes
// alike; the reader never reads past a range's end into its neighbour.
TEST_F(EngineTest, EverySourceGivesTheSameDictionary) {
    const std::vector<std::uint8_t> bytes = SampleDictionary(3);
    const Dictionary fromFile = Dictionary::OpenFile(Write("d.txd", bytes));
    const Dictionary fromMemory(Memory(bytes));
    std::vector<std::uint8_t> padded(100 + bytes.size() + 5000, 0xEE);
    std::copy(bytes.begin(), bytes.end(), padded.begin() + 100);
    const Dictionary fromRange(std::make_shared<RangeSource>(Memory(padded), 100, bytes.size()));
    ExpectSameDictionary(fromFile, fromMemory);
    ExpectSameDictionary(fromFile, fromRange);
    EXPECT_TRUE(fromRange.Complete());

    // A range cut short walks as the file cut there does, not on into the padding.
    for (std::size_t cutAt : {bytes.size() - 1, bytes.size() / 2}) {
        const Dictionary cut(std::make_shared<RangeSource>(Memory(padded), 100, cutAt));
        const Dictionary file(Memory(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + cutAt)));
        EXPECT_EQ(cut.Walk().End, file.Walk().End);
        EXPECT_EQ(cut.Walk().Report.Next, file.Walk().Report.Next);
        EXPECT_EQ(cut.Entries().size(), file.Entries().size());
    }

    // Byte by byte and in blocks, a range reads what its source holds and no more.
    const RangeSource range(Memory(padded), 98, 4);
    ByteReader r(range);
    std::uint8_t b[8] = {};
    EXPECT_EQ(r.Read(b, 8), 4u);
    EXPECT_EQ(b[0], 0xEE);
    EXPECT_EQ(b[2], bytes[0]);
    EXPECT_FALSE(r.ReadByte(b[0]));
    EXPECT_EQ(RangeSource(Memory(padded), padded.size() + 1, 10).Size(), 0u);
}

TEST_F(EngineTest, OnlyReachedEntriesDecodeAndDecodesAreValues) {
    std::vector<std::uint8_t> bytes = BuildDictionary({RandomTexture("a", 8, 8, 4, true, 1),
                                                       RandomTexture("b", 8, 8, 8, true, 2)});
    bytes.pop_back(); // the second record runs past the end
    const Dictionary d(Memory(bytes));
    EXPECT_EQ(d.Walk().Count, 2u);
    EXPECT_EQ(d.Entries().size(), 2u); // listed, with the report
    EXPECT_FALSE(d.Complete());
    try {
        d.Decode(2);
        ADD_FAILURE() << "an index past the list was decoded";
    } catch (const KelmoraError& e) {
        EXPECT_EQ(ErrorText(e), "no texture 3 in this dictionary (it lists 2)");
    }

    // A 4-bit decode applied to a long-lived state leaves entries 16 to 255 alone,
    // as a decode into that state always has.
    DecodeState state;
    state.Palette[200] = {9, 8, 7, 6};
    DecodedTexture four = d.Decode(0);
    ASSERT_TRUE(four.Ok());
    EXPECT_EQ(four.State.Palette[200], PaletteEntry{});
    const PaletteEntry first = four.State.Palette[3];
    ApplyDecoded(state, std::move(four));
    EXPECT_EQ(state.Palette[200], (PaletteEntry{9, 8, 7, 6}));
    EXPECT_EQ(state.Palette[3], first);
    EXPECT_EQ(state.Pixels.size(), 64u);

    // A refused decode changes no palette entry.
    TextureSpec t = RandomTexture("d", 8, 8, 8, true, 4);
    t.Depth = 24;
    DecodedTexture refused = Dictionary(Memory(BuildDictionary({t}))).Decode(0);
    EXPECT_EQ(refused.Result.Status, DecodeStatus::UnsupportedDepth);
    ApplyDecoded(state, std::move(refused));
    EXPECT_EQ(state.Palette[3], first);
    EXPECT_EQ(state.TexDepth, 24u);
}

TEST_F(EngineTest, InputsAreKnownByIdentity) {
    const std::string in = Write("in.txd", {1, 2, 3});
    const std::string other = Write("other.txd", {1, 2, 3});
    InputSet inputs;
    inputs.Add(in);
    inputs.Add(dir_ + "/missing.txd"); // nothing to add
    EXPECT_EQ(inputs.Size(), 1u);
    EXPECT_TRUE(inputs.Contains(in));
    EXPECT_TRUE(inputs.Contains(dir_ + "/./in.txd"));
    EXPECT_FALSE(inputs.Contains(other)); // same bytes, another file
    EXPECT_FALSE(inputs.Contains(dir_ + "/new.bmp"));
    fs::create_hard_link(in, dir_ + "/hard.bmp");
    EXPECT_TRUE(inputs.Contains(dir_ + "/hard.bmp"));
#ifndef _WIN32 // links there need a privilege
    fs::create_symlink(in, dir_ + "/soft.bmp");
    EXPECT_TRUE(inputs.Contains(dir_ + "/soft.bmp"));
#endif
}

// Both archive versions list their files, and a dictionary read from inside one
// is the dictionary the loose file is.
TEST_F(EngineTest, ArchivesOfBothVersionsHoldTheLooseDictionaries) {
    const std::vector<ArchiveFile> files = {{"cars.txd", SampleDictionary(10)},
                                            {"model.dff", std::vector<std::uint8_t>(3000, 7)},
                                            {"HUD.TXD", SampleDictionary(20)}};
    const std::string v2 = Write("game.img", BuildArchiveV2(files));
    const ArchiveV1 one = BuildArchiveV1(files);
    const std::string v1dir = Write("old.dir", one.Dir);
    Write("old.img", one.Img);

    for (const std::string& path : {v2, v1dir, dir_ + "/old.img"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(IsGameArchive(path));
        const GameArchive a = OpenGameArchive(path);
        EXPECT_TRUE(a.Problems.empty());
        ASSERT_EQ(a.Entries.size(), 3u);
        EXPECT_EQ(a.Entries[1].Name, "model.dff");
        EXPECT_EQ(a.Entries[1].Size, 4096u); // whole sectors
        const std::vector<const ArchiveEntry*> dicts = a.Dictionaries();
        ASSERT_EQ(dicts.size(), 2u);
        EXPECT_EQ(dicts[1]->Name, "HUD.TXD");
        EXPECT_EQ(EntryStem(*dicts[1]), "HUD");
        ExpectSameDictionary(Dictionary(OpenLocation(a.Location(*dicts[0]))), Dictionary(Memory(files[0].Bytes)));
        ExpectSameDictionary(Dictionary(OpenLocation(a.Location(*dicts[1]))), Dictionary(Memory(files[2].Bytes)));
    }
    EXPECT_EQ(OpenGameArchive(v2).Kind, ArchiveKind::Version2);
    EXPECT_EQ(OpenGameArchive(v1dir).DataFile, dir_ + "/old.img");
    EXPECT_EQ(ArchiveStem(OpenGameArchive(v1dir)), "old");
    EXPECT_FALSE(IsGameArchive(Write("plain.img", {1, 2, 3, 4, 5, 6, 7, 8})));
}

// Hostile tables: each bad entry is named, and everything else stays readable.
TEST_F(EngineTest, HostileArchiveTablesNameTheirEntries) {
    const std::vector<std::uint8_t> good = SampleDictionary(30);
    const std::uint32_t goodSectors = static_cast<std::uint32_t>((good.size() + 2047) / 2048);
    std::string longName(24, 'n');
    longName.replace(20, 4, ".txd");
    const std::vector<ArchiveRow> rows = {
        {1, goodSectors, "good.txd"},
        {9999, 1, "far.txd"},                          // starts past the end
        {1, 1, "twin.txd"},                            // inside good.txd
        {1 + goodSectors, 0, "empty.txd"},             // no bytes
        {1 + goodSectors, 1, longName},                // a name of 24 bytes, no NUL
        {2 + goodSectors, 1, "../../evil/x.txd"},      // a name that is a path
        {3 + goodSectors, 400, "cut.txd"},             // ends past the end
    };
    std::vector<ArchiveFile> data = {{"", good}, {}, {}, {}, {"", good}, {"", good}, {"", good}};
    std::vector<std::uint8_t> bytes = BuildArchiveV2(rows, 7, data);
    bytes.resize(std::size_t{4 + goodSectors} * 2048);
    const GameArchive a = ReadVersion2Table(BufferSource(bytes));
    std::vector<std::string> names;
    for (const ArchiveEntry& e : a.Entries)
        names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"good.txd", longName, "../../evil/x.txd", "cut.txd"}));
    ASSERT_EQ(a.Problems.size(), 4u);
    EXPECT_EQ(ArchiveProblemText(a.Problems[0]), "entry 2 (far.txd) starts at byte 20477952, past the end of the archive's " +
                                 std::to_string(bytes.size()) + " bytes; skipped");
    EXPECT_EQ(ArchiveProblemText(a.Problems[1]), "entry 3 (twin.txd) overlaps entry 1 (good.txd); skipped");
    EXPECT_EQ(ArchiveProblemText(a.Problems[2]), "entry 4 (empty.txd) is empty; skipped");
    EXPECT_EQ(ArchiveProblemText(a.Problems[3]), "entry 7 (cut.txd) ends past the end of the archive; read as far as it goes");
    EXPECT_EQ(a.Entries.back().Size, 2048u);

    // A count beyond what the file can hold is read as far as the file goes.
    std::vector<std::uint8_t> lying = BuildArchiveV2({{1, goodSectors, "good.txd"}}, 0xFFFFFFF0u, {{"", good}});
    const GameArchive l = ReadVersion2Table(BufferSource(lying));
    ASSERT_FALSE(l.Problems.empty());
    EXPECT_NE(ArchiveProblemText(l.Problems[0]).find("claims 4294967280 entries"), std::string::npos) << ArchiveProblemText(l.Problems[0]);
    EXPECT_EQ(l.Dictionaries().size(), 1u);
    ExpectSameDictionary(Dictionary(std::make_shared<RangeSource>(Memory(lying), l.Entries[0].Offset,
                                                                  l.Entries[0].Size)),
                         Dictionary(Memory(good)));
    EXPECT_FALSE(ReadVersion2Table(BufferSource({'V', 'E', 'R', '2'})).Problems.empty());

    // A table of millions of rows, all damaged: a few named in full, the rest
    // counted, and names shown as a terminal may show them.
    std::vector<ArchiveRow> many;
    const std::uint32_t past = 5000; // beyond the table's own sectors
    many.push_back({past, goodSectors, "good.txd"});
    many.push_back({past, 1, "tw\x9bin\x1b[2J.txd"});
    for (std::uint32_t i = 0; i < 300000; ++i)
        many.push_back({past + goodSectors + i % 7, 0, "z.txd"});
    std::vector<std::uint8_t> damaged = BuildArchiveV2(many, static_cast<std::uint32_t>(many.size()), {});
    damaged.resize(std::size_t{past} * 2048);
    damaged.insert(damaged.end(), good.begin(), good.end());
    damaged.resize(std::size_t{past + goodSectors} * 2048);
    const GameArchive m = ReadVersion2Table(BufferSource(damaged));
    EXPECT_EQ(m.Entries.size(), 1u);
    ASSERT_EQ(m.Problems.size(), kArchiveProblemsInFull + 1);
    EXPECT_EQ(ArchiveProblemText(m.Problems[0]), "entry 2 (tw\xE2\x80\xBAin\\x1b[2J.txd) overlaps entry 1 (good.txd); skipped");
    EXPECT_EQ(ArchiveProblemText(m.Problems.back()), "and " + std::to_string(many.size() - 1 - kArchiveProblemsInFull) + " more damaged entries");

    // A table without its data.
    const std::string lonely = Write("lonely.dir", BuildTable({{0, 1, "a.txd"}}, false));
    try {
        OpenGameArchive(lonely);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(ErrorText(e), lonely + " has no data file: lonely.img is missing");
    }
}
