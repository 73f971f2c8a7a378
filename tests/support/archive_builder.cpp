#include "tests/support/archive_builder.h"

#include <algorithm>
#include <cstring>

namespace kelmora::testing {

namespace {

constexpr std::uint32_t kSector = 2048;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Sectors(std::size_t bytes) { return static_cast<std::uint32_t>((bytes + kSector - 1) / kSector); }

// The files at the sectors of their rows.
void PlaceData(std::vector<std::uint8_t>& out, const std::vector<ArchiveRow>& rows,
               const std::vector<ArchiveFile>& data) {
    for (std::size_t i = 0; i < rows.size() && i < data.size(); ++i) {
        if (data[i].Bytes.empty())
            continue; // a row that points at nothing of its own
        const std::size_t at = std::size_t{rows[i].OffsetSectors} * kSector;
        const std::size_t end = at + std::size_t{rows[i].SizeSectors} * kSector;
        if (out.size() < end)
            out.resize(end, 0);
        std::copy_n(data[i].Bytes.begin(), std::min(data[i].Bytes.size(), end - at), out.begin() + at);
    }
}

} // namespace

std::vector<ArchiveRow> LayOut(const std::vector<ArchiveFile>& files, std::uint32_t firstSector) {
    std::vector<ArchiveRow> rows;
    std::uint32_t at = firstSector;
    for (const ArchiveFile& f : files) {
        rows.push_back({at, Sectors(f.Bytes.size()), f.Name});
        at += Sectors(f.Bytes.size());
    }
    return rows;
}

std::vector<std::uint8_t> BuildTable(const std::vector<ArchiveRow>& rows, bool version2) {
    std::vector<std::uint8_t> t(rows.size() * 32, 0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t at = i * 32;
        Put32(t, at, rows[i].OffsetSectors);
        if (version2) {
            t[at + 4] = static_cast<std::uint8_t>(rows[i].SizeSectors);
            t[at + 5] = static_cast<std::uint8_t>(rows[i].SizeSectors >> 8);
        } else {
            Put32(t, at + 4, rows[i].SizeSectors);
        }
        std::memcpy(t.data() + at + 8, rows[i].Name.data(), std::min<std::size_t>(rows[i].Name.size(), 24));
    }
    return t;
}

std::vector<std::uint8_t> BuildArchiveV2(const std::vector<ArchiveRow>& rows, std::uint32_t count,
                                         const std::vector<ArchiveFile>& data) {
    std::vector<std::uint8_t> out(8, 0);
    std::memcpy(out.data(), "VER2", 4);
    Put32(out, 4, count);
    const std::vector<std::uint8_t> table = BuildTable(rows, true);
    out.insert(out.end(), table.begin(), table.end());
    PlaceData(out, rows, data);
    return out;
}

std::vector<std::uint8_t> BuildArchiveV2(const std::vector<ArchiveFile>& files) {
    const std::uint32_t first = Sectors(8 + 32 * files.size());
    return BuildArchiveV2(LayOut(files, first), static_cast<std::uint32_t>(files.size()), files);
}

ArchiveV1 BuildArchiveV1(const std::vector<ArchiveFile>& files) {
    const std::vector<ArchiveRow> rows = LayOut(files, 0);
    ArchiveV1 a;
    a.Dir = BuildTable(rows, false);
    PlaceData(a.Img, rows, files);
    return a;
}

std::vector<ArchiveFile> ReadBack(const std::vector<std::uint8_t>& img, const std::vector<std::uint8_t>& dir) {
    auto get32 = [](const std::vector<std::uint8_t>& b, std::size_t at) {
        return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
               std::uint32_t{b[at + 3]} << 24;
    };
    const bool v2 = dir.empty();
    const std::vector<std::uint8_t>& table = v2 ? img : dir;
    const std::size_t first = v2 ? 8 : 0;
    const std::size_t count = v2 ? get32(img, 4) : dir.size() / 32;
    std::vector<ArchiveFile> files;
    for (std::size_t i = 0; i < count && first + 32 * (i + 1) <= table.size(); ++i) {
        const std::size_t at = first + 32 * i;
        const std::size_t offset = std::size_t{get32(table, at)} * kSector;
        const std::size_t size = (v2 ? std::size_t{table[at + 4]} | std::size_t{table[at + 5]} << 8 : get32(table, at + 4)) * kSector;
        ArchiveFile f;
        const char* name = reinterpret_cast<const char*>(table.data() + at + 8);
        f.Name.assign(name, strnlen(name, 24));
        if (offset < img.size())
            f.Bytes.assign(img.begin() + static_cast<std::ptrdiff_t>(offset),
                           img.begin() + static_cast<std::ptrdiff_t>(std::min(img.size(), offset + size)));
        files.push_back(std::move(f));
    }
    return files;
}

} // namespace kelmora::testing
