#include "dictionary/dictionary_walk.h"

#include <charconv>
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "base/byte_reader.h"
#include "base/text.h"
#include "base/os_file.h"
#include "dictionary/native_format.h"
#include "dictionary/record_format.h"
#include "dictionary/texture_codec.h"

namespace kelmora {

namespace {

// Names longer than this are of no use to anybody and only cost memory on
// damaged files where the scan runs on for megabytes.
constexpr std::size_t kScratchLimit = 64 * 1024;

std::uint32_t ReadU32(ByteReader& r) {
    std::uint8_t b[4] = {0, 0, 0, 0};
    r.Read(b, 4);
    return LoadLE32(b);
}

// Reads up to and including a byte of value stop at a 4-aligned offset; name gets
// the bytes before the first NUL, trimmed. Returns false when the end of the file
// comes first.
bool ScanName(ByteReader& r, std::uint8_t stop, std::string& name) {
    name.clear();
    bool sawNul = false;
    bool found = false;
    std::uint8_t b = 0;
    for (;;) {
        std::uint64_t at = r.Position();
        if (!r.ReadByte(b))
            break;
        if (b == 0)
            sawNul = true;
        if (!sawNul && name.size() < kScratchLimit)
            name += static_cast<char>(b);
        if (b == stop && at % 4 == 0) {
            found = true;
            break;
        }
    }
    std::size_t e = name.size();
    while (e > 0 && static_cast<unsigned char>(name[e - 1]) <= 32)
        --e;
    name.resize(e);
    std::size_t lead = 0;
    while (lead < name.size() && static_cast<unsigned char>(name[lead]) <= 32)
        ++lead;
    if (lead)
        name.erase(0, lead);
    return found;
}

void AppendNumber(std::string& s, std::uint64_t v) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    s.append(buf, end);
}

// "3. wheel / wheel_a  |  64 x 32 (8bit)": the depth on the console, the format
// elsewhere; a platform that is not read says so instead of a size.
std::string Caption(std::uint32_t i, const std::string& name, const std::string& mask, const TTexEntry& e) {
    std::string caption;
    caption.reserve(32 + name.size() + mask.size());
    AppendNumber(caption, i + 1);
    caption += ". ";
    caption += name;
    if (!mask.empty()) {
        caption += " / ";
        caption += mask;
    }
    caption += "  |  ";
    if (e.Platform == TexturePlatform::Unsupported) {
        caption += e.Format;
        return caption;
    }
    AppendNumber(caption, e.Width);
    caption += " x ";
    AppendNumber(caption, e.Height);
    caption += " (";
    if (e.Platform == TexturePlatform::Ps2) {
        AppendNumber(caption, e.Depth);
        caption += "bit";
    } else {
        caption += e.Format;
    }
    caption += ")";
    return caption;
}

void StoreCut(std::string& field, std::string&& text) {
    if (text.size() > 255)
        text.resize(255);
    field = std::move(text);
}

} // namespace

WalkResult WalkDictionary(const ByteSource& source) {
    ByteReader r(source);
    WalkResult result;

    std::uint8_t header[28] = {};
    // A file too short to hold the count word counts as empty.
    const std::size_t got = r.Read(header, sizeof header);
    if (got >= 26)
        result.Count = DictionaryTextureCount(header);
    if (got >= 4)
        result.StartsAsDictionary = LoadLE32(header) == kDictionaryChunk;
    result.Entries.resize(result.Count);
    result.End = result.Count == 0 ? WalkEnd::Empty : WalkEnd::Complete;

    const std::uint64_t fileSize = r.Size();
    for (std::uint32_t i = 0; i < result.Count; ++i) {
        const std::uint64_t start = r.Position();
        // A console record that parses has the console's 8-byte struct: only one
        // that does not is looked at as another platform's.
        TextureRecord chunked;
        const bool console = ParseRecord(r, start, chunked);
        std::uint32_t platformId = 0;
        if (!console && PeekRecordKind(r, start, &platformId) == RecordKind::Native) {
            // Another platform's record: its chunk sizes place it and the next.
            TTexEntry& e = result.Entries[i];
            ReadOtherPlatformEntry(r, start, platformId, e);
            StoreCut(e.Caption, Caption(i, e.Name, e.Mask, e));
            StoreCut(e.Name, std::string(e.Name));
            StoreCut(e.Mask, std::string(e.Mask));
            StoreCut(e.AlphaName, e.Mask.empty() ? e.Name + "_alpha" : e.Mask);
            result.Listed = i + 1;
            r.Seek(e.RecordEnd);
            continue;
        }
        std::string name, mask;
        std::int64_t next = 0;
        std::uint32_t w = 0, h = 0, d = 0;
        bool scanned = true;
        if (console) {
            name = std::move(chunked.Name);
            mask = std::move(chunked.Mask);
            result.Entries[i].DataOffset = static_cast<std::uint32_t>(chunked.RasterData);
            result.Entries[i].Chunked = true;
            next = static_cast<std::int64_t>(chunked.End);
        } else {
            // The fixed distances: names found by their stop bytes, the extension
            // taken as 28 bytes.
            r.Seek(start + kFixedNameOffset);
            scanned = ScanName(r, 2, name);
            if (scanned) {
                r.Skip(kFixedMaskSkip);
                scanned = ScanName(r, 1, mask);
            }
            if (scanned) {
                r.Skip(kFixedSizeSkip);
                std::uint32_t s = ReadU32(r);
                next = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.Position()) + s + kFixedRecordTail);
                r.Skip(kFixedDataSkip);
                result.Entries[i].DataOffset = static_cast<std::uint32_t>(r.Position());
            } else {
                // A name that runs to the end of the file: the record needs at least one byte more.
                next = static_cast<std::int32_t>(static_cast<std::uint32_t>(fileSize) + 1u);
            }
        }
        if (scanned) {
            std::uint8_t words[12] = {};
            r.Seek(result.Entries[i].DataOffset);
            r.Read(words, sizeof words);
            w = LoadLE32(words);
            h = LoadLE32(words + 4);
            d = LoadLE32(words + 8);
        }

        TTexEntry& e = result.Entries[i];
        e.Width = w;
        e.Height = h;
        e.Depth = d;
        e.Format = std::to_string(d) + "bit";
        std::string caption = Caption(i, name, mask, e);
        const std::size_t namePartAt = caption.find(". ") + 2;
        const std::size_t namePartEnd = namePartAt + name.size() + (mask.empty() ? 0 : 3 + mask.size());
        // A negative Next would move the position before the start of the file, and
        // one at or before the record's start would walk the same bytes forever.
        const bool stop = !scanned || next <= static_cast<std::int64_t>(start) ||
                          static_cast<std::int64_t>(fileSize) < next;
        std::string namePart = stop ? caption.substr(namePartAt, namePartEnd - namePartAt) : std::string();
        StoreCut(e.Caption, std::move(caption));
        StoreCut(e.Mask, std::string(mask));
        e.RecordStart = start;
        e.RecordEnd = next > 0 ? static_cast<std::uint64_t>(next) : 0;
        StoreCut(e.AlphaName, mask.empty() ? name + "_alpha" : std::move(mask));
        StoreCut(e.Name, std::move(name));
        result.Listed = i + 1;

        if (stop) {
            result.End = WalkEnd::Stopped;
            result.Report = {i + 1, result.Count, std::move(namePart), static_cast<std::int32_t>(next), fileSize};
            break;
        }
        r.Seek(static_cast<std::uint64_t>(next));
    }
    return result;
}

} // namespace kelmora
