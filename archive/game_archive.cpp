#include "archive/game_archive.h"
#include "base/paths.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <map>

#include "base/bytes.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "base/rollback_journal.h"
#include "base/text.h"

namespace kelmora {

namespace {

bool EndsWithIgnoringCase(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && SameNameIgnoringCase(s.substr(s.size() - n), suffix);
}

// The problems of a damaged table: a few in full, then how many more. A table
// of millions of bad rows must not cost a line each.
class ProblemList {
public:
    explicit ProblemList(std::vector<ArchiveProblem>& list) : list_(list) {}
    ~ProblemList() {
        if (more_ > 0)
            list_.push_back({ArchiveProblemKind::More, {}, {}, more_, 0});
    }
    void Add(ArchiveProblemKind kind, const ArchiveEntry& e, const ArchiveEntry& other = {}, std::uint64_t limit = 0) {
        if (list_.size() < kArchiveProblemsInFull)
            list_.push_back({kind, {e.Number, e.Name, e.Offset, e.Size}, {other.Number, other.Name, 0, 0}, 0, limit});
        else
            ++more_;
    }

private:
    std::vector<ArchiveProblem>& list_;
    std::uint64_t more_ = 0;
};

std::uint16_t LoadLE16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] | b[1] << 8); }

// Reads count table rows from at on; each names its offset and size in sectors.
// Rows that cannot be read become problems; the rest are entries. The rows are
// read a block at a time and only entries that hold bytes of their own are kept,
// so memory follows the data, not what the table claims.
void ReadTable(const ByteSource& table, std::uint64_t at, std::uint64_t count, bool version2, GameArchive& a) {
    ProblemList problems(a.Problems);
    // The entries kept so far by where they start: the later of two entries that
    // share bytes is the one dropped.
    std::map<std::uint64_t, std::size_t> byOffset;
    constexpr std::size_t kBlockRows = 2048;
    std::vector<std::uint8_t> rows(kBlockRows * kArchiveEntryBytes);
    for (std::uint64_t first = 0; first < count; first += kBlockRows) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockRows, count - first));
        const std::size_t got = table.ReadAt(at + first * kArchiveEntryBytes, rows.data(), want * kArchiveEntryBytes) /
                                kArchiveEntryBytes;
        for (std::size_t k = 0; k < got; ++k) {
            const std::uint8_t* row = rows.data() + k * kArchiveEntryBytes;
            ArchiveEntry e;
            e.Number = static_cast<std::size_t>(first + k + 1);
            // A name that fills its 24 bytes has no NUL; it ends there.
            const std::uint8_t* name = row + 8;
            const std::uint8_t* nameEnd = std::find(name, name + kArchiveNameBytes, 0);
            e.Name.assign(reinterpret_cast<const char*>(name), static_cast<std::size_t>(nameEnd - name));
            std::uint64_t sectors = 0;
            if (version2) {
                // The first size is the one the game streams; older tools left it 0
                // and filled the second.
                sectors = LoadLE16(row + 4);
                if (sectors == 0)
                    sectors = LoadLE16(row + 6);
            } else {
                sectors = LoadLE32(row + 4);
            }
            e.Offset = std::uint64_t{LoadLE32(row)} * kSectorBytes;
            e.Size = sectors * kSectorBytes;
            if (e.Size == 0) {
                problems.Add(ArchiveProblemKind::Empty, e);
                continue;
            }
            if (e.Offset >= a.DataSize) {
                problems.Add(ArchiveProblemKind::StartsPastEnd, e, {}, a.DataSize);
                continue;
            }
            if (e.Size > a.DataSize - e.Offset) {
                // Tools that do not pad the last file leave it shorter than its sectors.
                problems.Add(ArchiveProblemKind::EndsPastEnd, e);
                e.Size = a.DataSize - e.Offset;
            }
            // Entries that share bytes with an earlier one: a table made to repeat data.
            auto next = byOffset.lower_bound(e.Offset);
            const ArchiveEntry* other = nullptr;
            if (next != byOffset.end() && next->first < e.Offset + e.Size)
                other = &a.Entries[next->second];
            if (next != byOffset.begin()) {
                const ArchiveEntry& before = a.Entries[std::prev(next)->second];
                if (before.Offset + before.Size > e.Offset)
                    other = &before;
            }
            if (other) {
                problems.Add(ArchiveProblemKind::Overlaps, e, *other);
                continue;
            }
            byOffset.emplace(e.Offset, a.Entries.size());
            a.Entries.push_back(std::move(e));
        }
        if (got < want)
            break;
    }
}

std::string FileNameOfPath(const std::string& path) {
    std::size_t i = path.size();
    while (i > 0 && !IsPathSeparator(path[i - 1]))
        --i;
    return path.substr(i);
}

// The file beside path with another extension: in the case of path's own
// extension when that one exists, else in the other case.
std::string Beside(const std::string& path, const char* lowerExtension) {
    const std::string stem = path.substr(0, path.size() - 4);
    std::string lower = lowerExtension, upper = lower;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const bool pathUpper = std::isupper(static_cast<unsigned char>(path.back())) != 0;
    const std::string first = stem + (pathUpper ? upper : lower), second = stem + (pathUpper ? lower : upper);
    return FileExists(first) || !FileExists(second) ? first : second;
}

bool StartsWithVer2(const std::string& path) {
    if (!IsRegularFile(path))
        return false;
    FileSource f(path);
    char magic[4] = {};
    return f.ReadAt(0, magic, 4) == 4 && std::memcmp(magic, "VER2", 4) == 0;
}

} // namespace

GameArchive ReadVersion2Table(const ByteSource& img) {
    GameArchive a;
    a.Kind = ArchiveKind::Version2;
    a.DataSize = img.Size();
    std::uint8_t header[8] = {};
    if (img.ReadAt(0, header, 8) < 8) {
        a.Problems.push_back({ArchiveProblemKind::EndsInHeader});
        return a;
    }
    const std::uint64_t claimed = LoadLE32(header + 4);
    // The table cannot be larger than the file: a count beyond it is damage.
    const std::uint64_t fits = (a.DataSize - 8) / kArchiveEntryBytes;
    if (claimed > fits)
        a.Problems.push_back({ArchiveProblemKind::ClaimsMore, {}, {}, claimed, fits});
    ReadTable(img, 8, std::min(claimed, fits), true, a);
    return a;
}

GameArchive ReadVersion1Table(const ByteSource& dir, std::uint64_t dataSize) {
    GameArchive a;
    a.Kind = ArchiveKind::Version1;
    a.DataSize = dataSize;
    const std::uint64_t count = dir.Size() / kArchiveEntryBytes;
    if (dir.Size() % kArchiveEntryBytes != 0)
        a.Problems.push_back({ArchiveProblemKind::TrailingBytes, {}, {}, dir.Size() % kArchiveEntryBytes, 0});
    ReadTable(dir, 0, count, false, a);
    return a;
}

std::vector<const ArchiveEntry*> GameArchive::Dictionaries() const {
    std::vector<const ArchiveEntry*> out;
    for (const ArchiveEntry& e : Entries)
        if (EndsWithIgnoringCase(e.Name, ".txd"))
            out.push_back(&e);
    return out;
}

SourceLocation GameArchive::Location(const ArchiveEntry& entry) const {
    return {DataFile, false, entry.Offset, entry.Size};
}

bool IsGameArchive(const std::string& path) {
    if (EndsWithIgnoringCase(path, ".dir"))
        return IsRegularFile(path);
    if (StartsWithVer2(path))
        return true;
    return EndsWithIgnoringCase(path, ".img") && IsRegularFile(Beside(path, ".dir"));
}

GameArchive OpenGameArchive(const std::string& path) {
    // An edit cut off by a crash is undone before anything is read.
    RecoverInterruptedEdit(EndsWithIgnoringCase(path, ".dir") ? Beside(path, ".img") : path);
    if (StartsWithVer2(path)) {
        FileSource img(path);
        GameArchive a = ReadVersion2Table(img);
        a.DataFile = a.TableFile = path;
        return a;
    }
    std::string dir = path, img = path;
    if (EndsWithIgnoringCase(path, ".dir")) {
        img = Beside(path, ".img");
    } else if (EndsWithIgnoringCase(path, ".img")) {
        dir = Beside(path, ".dir");
        if (!FileExists(dir))
            throw KelmoraError(ErrorCode::NotAnArchiveNoTable, {.File = path, .Name = FileNameOfPath(dir)});
    } else {
        throw KelmoraError(ErrorCode::NotAnArchive, {.File = path});
    }
    if (!FileExists(img))
        throw KelmoraError(ErrorCode::NoDataFile, {.File = path, .Name = FileNameOfPath(img)});
    FileSource table(dir);
    FileSource data(img);
    GameArchive a = ReadVersion1Table(table, data.Size());
    a.DataFile = img;
    a.TableFile = dir;
    return a;
}

std::string ArchiveStem(const GameArchive& archive) {
    std::string name = FileNameOfPath(archive.DataFile);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool NamesEntry(const std::string& entryName, const std::string& wanted) {
    return SameNameIgnoringCase(entryName, wanted) || SameNameIgnoringCase(entryName, wanted + ".txd");
}

std::string EntryStem(const ArchiveEntry& entry) {
    const std::size_t dot = entry.Name.rfind('.');
    return dot == std::string::npos || dot == 0 ? entry.Name : entry.Name.substr(0, dot);
}

} // namespace kelmora
