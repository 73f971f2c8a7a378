#pragma once
// Builds game archives of both versions from named files, each file starting on
// a sector of its own, as the games' tools lay them out.
#include <cstdint>
#include <string>
#include <vector>

namespace kelmora::testing {

struct ArchiveFile {
    std::string Name;                // up to 24 bytes are stored
    std::vector<std::uint8_t> Bytes;
    bool operator==(const ArchiveFile&) const = default;
};

// One table row as stored; for hand-made hostile tables.
struct ArchiveRow {
    std::uint32_t OffsetSectors = 0, SizeSectors = 0;
    std::string Name; // stored as its first 24 bytes, NUL-padded
};

// The rows the files get when laid out one after another from firstSector on.
std::vector<ArchiveRow> LayOut(const std::vector<ArchiveFile>& files, std::uint32_t firstSector);

// "VER2", the count, the table, then the files from the first free sector on.
std::vector<std::uint8_t> BuildArchiveV2(const std::vector<ArchiveFile>& files);
// The same with rows of the caller's and a count that may lie; data holds the
// files at the sectors the rows name.
std::vector<std::uint8_t> BuildArchiveV2(const std::vector<ArchiveRow>& rows, std::uint32_t count,
                                         const std::vector<ArchiveFile>& data);

// Version 1: the ".dir" table and the ".img" data.
struct ArchiveV1 {
    std::vector<std::uint8_t> Dir, Img;
};
ArchiveV1 BuildArchiveV1(const std::vector<ArchiveFile>& files);
std::vector<std::uint8_t> BuildTable(const std::vector<ArchiveRow>& rows, bool version2);

// The entries of an archive read back here, without the reader of archive/: each
// row's name and the bytes its sectors hold (a whole number of sectors), in
// table order. Version 2 when dir is empty (the table is in img).
std::vector<ArchiveFile> ReadBack(const std::vector<std::uint8_t>& img, const std::vector<std::uint8_t>& dir = {});

} // namespace kelmora::testing
