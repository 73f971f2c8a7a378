#include "editing/dictionary_edit.h"

#include <algorithm>

#include "base/atomic_output.h"
#include "base/bytes.h"
#include "base/errors.h"
#include "base/text.h"
#include "dictionary/native_format.h"
#include "dictionary/raster_encode.h"
#include "dictionary/record_format.h"
#include "dictionary/texture_codec.h"

namespace kelmora {

namespace {

// Cells a decode never reaches read back as zero whatever was written: the last
// row of an odd height in row pairs, the last column of an odd width in plain
// 4-bit rows (fixed layout).
bool CellRead(const DecodeResult& r, const DecodeState& s, bool unswizzle, std::uint32_t x, std::uint32_t y) {
    if (r.LayoutFromFile || s.TrueColour)
        return true;
    if (unswizzle)
        return !(s.TexHeight % 2 && y + 1 == s.TexHeight);
    return !(s.TexDepth == 4 && s.TexWidth % 2 && x + 1 == s.TexWidth);
}



} // namespace

DictionaryEdit::DictionaryEdit(std::vector<std::uint8_t> bytes, bool unswizzle)
    : bytes_(std::make_shared<std::vector<std::uint8_t>>(std::move(bytes))), unswizzle_(unswizzle),
      current_(std::make_unique<Dictionary>(std::make_shared<SharedBufferSource>(bytes_))) {}

void CheckTextureEditable(const Dictionary& d, std::size_t index) {
    const TTexEntry& e = d.Entries()[index];
    if (!CodecOf(e).Editable())
        throw KelmoraError(ErrorCode::PlatformNotEditable,
                           {.Name = e.Name, .Texture = index, .Detail = static_cast<int>(e.Platform)});
}

void CheckTexturesAddable(const Dictionary& d) {
    for (const TTexEntry& e : d.Entries())
        if (!CodecOf(e).Editable())
            throw KelmoraError(ErrorCode::PlatformNotEditable, {.Detail = static_cast<int>(e.Platform)});
}

void DictionaryEdit::Replace(std::size_t index, const std::vector<DecodeState>& levels) {
    CheckTextureEditable(*current_, index);
    const TTexEntry& e = current_->Entries()[index];
    if (IsNativePlatform(e.Platform)) {
        ReplaceNative(index, levels);
        return;
    }
    for (std::uint32_t n = 0; n < levels.size(); ++n) {
        const EncodeResult r = EncodeRaster(*bytes_, e, unswizzle_, levels[n], n);
        if (!r.Ok())
            throw KelmoraError(ErrorCode::EncodeFailed, {.Name = e.Name,
                                                         .Texture = index,
                                                         .Depth = r.Depth,
                                                         .Level = r.Level,
                                                         .Detail = static_cast<int>(r.Status)});
    }
    changes_.push_back({index, levels});
    changed_ = true;
}

void DictionaryEdit::Rewalk() { current_ = std::make_unique<Dictionary>(std::make_shared<SharedBufferSource>(bytes_)); }

std::vector<DictionaryEdit::Span> DictionaryEdit::Records(LayoutBlocks what) const {
    const std::vector<std::uint8_t>& b = *bytes_;
    // Every offset below is read from bytes the header must hold.
    if (b.size() < kDictionaryHeaderBytes)
        throw KelmoraError(ErrorCode::DictionaryHeaderShort, {});
    std::vector<Span> spans;
    // The records follow the count's struct, each one's chunks adding up.
    std::size_t at = static_cast<std::size_t>(FirstRecordOffset(b));
    bool sized = LoadLE32(b.data()) == kDictionaryChunk && LoadLE32(b.data() + 12) == kStructChunk && current_->Complete();
    for (const TTexEntry& e : current_->Entries()) {
        sized = sized && e.Chunked && e.RecordStart == at;
        spans.push_back({static_cast<std::size_t>(e.RecordStart), static_cast<std::size_t>(e.RecordEnd)});
        at = static_cast<std::size_t>(e.RecordEnd);
    }
    // ... and leave room for the closing extension inside the dictionary chunk.
    sized = sized && at + 12 <= std::size_t{DictionaryChunkSize(b)} + 12 && at <= b.size();
    if (!sized)
        throw KelmoraError(ErrorCode::FixedLayout, {.Detail = static_cast<int>(what)});
    return spans;
}

void DictionaryEdit::Splice(std::size_t first, std::size_t last, const std::vector<std::uint8_t>& records,
                            int countChange, LayoutBlocks what) {
    const std::vector<Span> spans = Records(what);
    std::vector<std::uint8_t>& b = *bytes_;
    const std::size_t from = first < spans.size() ? spans[first].Start
                             : spans.empty()      ? static_cast<std::size_t>(FirstRecordOffset(b))
                                                  : spans.back().End;
    const std::size_t to = last <= first ? from : spans[last - 1].End;
    const std::int64_t delta = static_cast<std::int64_t>(records.size()) - static_cast<std::int64_t>(to - from);
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(from), records.begin(), records.end());
    // The dictionary's size and its 16-bit count follow.
    SetDictionaryChunkSize(b, static_cast<std::uint32_t>(DictionaryChunkSize(b) + delta));
    SetDictionaryTextureCount(b, static_cast<std::uint16_t>(DictionaryTextureCount(b) + countChange));
    changed_ = true;
    Rewalk();
}

namespace {

TextureRecord SettingsFor(const DecodeState& level0, std::size_t levels, std::uint32_t version) {
    TextureRecord r;
    r.Depth = level0.TexDepth;
    r.Width = level0.TexWidth;
    r.Height = level0.TexHeight;
    r.Levels = static_cast<std::uint32_t>(levels);
    r.Version = version;
    return r;
}

} // namespace

void DictionaryEdit::CheckNewName(const std::string& name, bool mask, std::size_t except) const {
    auto refuse = [&](ErrorCode code) {
        throw KelmoraError(code, {.Name = name, .Limit = kMaxNameLength, .Detail = mask ? 1 : 0});
    };
    if (name.empty()) {
        if (mask)
            return; // a texture without a mask name is common
        refuse(ErrorCode::TextureNameEmpty);
    }
    if (name.size() > kMaxNameLength)
        refuse(ErrorCode::TextureNameTooLong);
    // The walk trims such bytes, so the texture could no longer be found by this name.
    if (static_cast<unsigned char>(name.front()) <= 32 || static_cast<unsigned char>(name.back()) <= 32)
        refuse(ErrorCode::TextureNameBlankEnds);
    for (char c : name)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            refuse(ErrorCode::TextureNameControl);
    if (mask || allowDuplicates_)
        return;
    const auto entries = current_->Entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (i != except && SameNameIgnoringCase(entries[i].Name, name))
            throw DuplicateNameError(ErrorCode::DuplicateName, {.Name = entries[i].Name, .Texture = i});
}

TextureRecord DictionaryEdit::Record(std::size_t index, LayoutBlocks what) const {
    const std::vector<Span> spans = Records(what);
    const MemorySource source(bytes_->data(), bytes_->size());
    ByteReader reader(source);
    TextureRecord record;
    if (!ParseRecord(reader, spans[index].Start, record))
        throw KelmoraError(ErrorCode::NoNameChunks, {.Texture = index});
    return record;
}

void DictionaryEdit::Reshape(std::size_t index, const std::vector<DecodeState>& levels) {
    CheckTextureEditable(*current_, index);
    const TextureRecord old = Record(index, LayoutBlocks::Reshape);
    const TTexEntry e = current_->Entries()[index];
    TextureRecord r = SettingsFor(levels[0], levels.size(), old.Version);
    r.Name = e.Name;
    r.Mask = e.Mask;
    r.FilterWord = old.FilterWord;
    // The filter word follows the levels: linear between levels only when there are some.
    if ((r.FilterWord & 0xFF) == 6 && levels.size() == 1)
        r.FilterWord = (r.FilterWord & ~0xFFu) | 2;
    if ((r.FilterWord & 0xFF) != 6 && levels.size() > 1)
        r.FilterWord = (r.FilterWord & ~0xFFu) | 6;
    r.EmptyExtension = old.EmptyExtension;
    Splice(index, index + 1, BuildRecord(r), 0, LayoutBlocks::Reshape);
    Forget(index);
    Replace(index, levels);
}

void DictionaryEdit::Forget(std::size_t index) {
    changes_.erase(std::remove_if(changes_.begin(), changes_.end(), [&](const Change& c) { return c.Index == index; }),
                   changes_.end());
}

void DictionaryEdit::PutRecord(std::size_t index, const std::vector<std::uint8_t>& record,
                               std::vector<DecodeState> expected, bool lossy) {
    CheckTextureEditable(*current_, index);
    Splice(index, index + 1, record, 0, LayoutBlocks::Reshape);
    Forget(index);
    changes_.push_back({index, std::move(expected), lossy});
}

void DictionaryEdit::AddRecord(const std::string& name, const std::string& mask, const std::vector<std::uint8_t>& record,
                               std::vector<DecodeState> expected, bool lossy) {
    CheckAddable();
    CheckNewName(name, false, current_->Entries().size());
    CheckNewName(mask, true, 0);
    const std::size_t at = current_->Entries().size();
    Splice(at, at, record, 1, LayoutBlocks::Add);
    changes_.push_back({at, std::move(expected), lossy});
}

void DictionaryEdit::RenameNative(std::size_t index, const std::string& name, const std::string& mask) {
    const std::vector<Span> spans = Records(LayoutBlocks::Rename);
    const MemorySource source(bytes_->data(), bytes_->size());
    ByteReader reader(source);
    NativeTexture t;
    if (!ReadNativeTexture(reader, spans[index].Start, t))
        throw KelmoraError(ErrorCode::NoNameChunks, {.Texture = index});
    // A field whose text stays keeps its bytes, stale ones after the NUL included.
    const TTexEntry& e = current_->Entries()[index];
    if (name != e.Name)
        t.RawName = NameField(name);
    if (mask != e.Mask)
        t.RawMask = NameField(mask);
    Splice(index, index + 1, WriteNativeRecord(t), 0, LayoutBlocks::Rename);
}

void DictionaryEdit::CheckAddable() const {
    CheckTexturesAddable(*current_);
    Records(LayoutBlocks::Add);
}

void DictionaryEdit::Add(const std::string& name, const std::string& mask, const std::vector<DecodeState>& levels) {
    // Said first: a name check would not tell what the real obstacle is.
    CheckAddable();
    if (!current_->Entries().empty() && IsNativePlatform(current_->Entries()[0].Platform)) {
        AddNative(name, mask, levels);
        return;
    }
    CheckNewName(name, false, current_->Entries().size());
    CheckNewName(mask, true, 0);
    TextureRecord r = SettingsFor(levels[0], levels.size(), DictionaryVersion(*bytes_));
    r.Name = name;
    r.Mask = mask;
    const std::size_t at = current_->Entries().size();
    Splice(at, at, BuildRecord(r), 1, LayoutBlocks::Add);
    Replace(at, levels);
}

void DictionaryEdit::AddConsole(const TextureRecord& record, const std::vector<DecodeState>& levels) {
    CheckAddable();
    CheckNewName(record.Name, false, current_->Entries().size());
    CheckNewName(record.Mask, true, 0);
    const std::size_t at = current_->Entries().size();
    Splice(at, at, BuildRecord(record), 1, LayoutBlocks::Add);
    Replace(at, levels);
}

void DictionaryEdit::Remove(std::size_t index) {
    Splice(index, index + 1, {}, -1, LayoutBlocks::Remove);
    std::vector<Change> kept;
    for (Change& c : changes_) {
        if (c.Index == index)
            continue;
        if (c.Index > index)
            --c.Index;
        kept.push_back(std::move(c));
    }
    changes_ = std::move(kept);
}

void DictionaryEdit::Rename(std::size_t index, const std::string& name, const std::string& mask) {
    CheckTextureEditable(*current_, index);
    if (IsNativePlatform(current_->Entries()[index].Platform)) {
        CheckNewName(name, false, index);
        CheckNewName(mask, true, 0);
        RenameNative(index, name, mask);
        return;
    }
    const TextureRecord old = Record(index, LayoutBlocks::Rename);
    CheckNewName(name, false, index);
    CheckNewName(mask, true, 0);
    const std::vector<std::uint8_t>& b = *bytes_;
    const std::size_t start = old.Start, end = old.End;
    // The record: header and struct (32 bytes), the two strings, the rest from the raster on.
    const std::size_t maskEnd = static_cast<std::size_t>(old.RasterChunk);
    const std::uint32_t version = old.Version;
    std::vector<std::uint8_t> record(b.begin() + static_cast<std::ptrdiff_t>(start),
                                     b.begin() + static_cast<std::ptrdiff_t>(start + 32));
    for (const std::string* text : {&name, &mask}) {
        const std::vector<std::uint8_t> chunk = StringChunk(*text, version);
        record.insert(record.end(), chunk.begin(), chunk.end());
    }
    record.insert(record.end(), b.begin() + static_cast<std::ptrdiff_t>(maskEnd), b.begin() + static_cast<std::ptrdiff_t>(end));
    const std::uint32_t size = static_cast<std::uint32_t>(record.size() - 12);
    for (int i = 0; i < 4; ++i)
        record[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    Splice(index, index + 1, record, 0, LayoutBlocks::Rename);
}

void DictionaryEdit::Verify() const {
    const Dictionary again(std::make_shared<MemorySource>(bytes_->data(), bytes_->size()));
    if (!again.IsDictionary() || !again.Complete() || again.Entries().size() != current_->Entries().size())
        throw KelmoraError(ErrorCode::WalkChanged, {});
    for (const Change& c : changes_) {
        for (std::uint32_t n = 0; n < c.Levels.size(); ++n) {
            const DecodeState& want = c.Levels[n];
            if (want.TexWidth == 0)
                continue; // stored empty, as the record's other levels of that size are
            const DecodedTexture t = again.Decode(c.Index, {unswizzle_, n});
            bool same = t.Ok() && t.State.TexWidth == want.TexWidth && t.State.TexHeight == want.TexHeight;
            if (c.Lossy) {
                if (!same)
                    throw KelmoraError(ErrorCode::LevelReadsBack,
                                       {.Name = again.Entries()[c.Index].Name, .Texture = c.Index, .Level = n});
                continue;
            }
            for (std::uint32_t y = 0; same && y < want.TexHeight; ++y)
                for (std::uint32_t x = 0; same && x < want.TexWidth; ++x)
                    same = !CellRead(t.Result, want, unswizzle_, x, y) ||
                           (want.TrueColour ? t.State.Colour(x, y) == want.Colour(x, y)
                                            : t.State.Pixel(x, y) == want.Pixel(x, y));
            const std::size_t entries = want.PaletteEntries();
            for (std::size_t i = 0; same && n == 0 && i < entries; ++i)
                same = t.State.Palette[i] == want.Palette[i];
            if (!same)
                throw KelmoraError(ErrorCode::LevelReadsBack,
                                   {.Name = again.Entries()[c.Index].Name, .Texture = c.Index, .Level = n});
        }
    }
}

void CheckEditable(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    const Dictionary d(std::make_shared<MemorySource>(bytes.data(), bytes.size()));
    if (!d.IsDictionary())
        throw KelmoraError(ErrorCode::NotADictionary, {.File = name});
    if (bytes.size() < kDictionaryHeaderBytes)
        throw KelmoraError(ErrorCode::DictionaryTooShort, {.File = name, .Number = bytes.size()});
    if (!d.Complete())
        throw KelmoraError(ErrorCode::DictionaryEndsEarly, {.File = name, .Number = d.Walk().Report.TextureNumber});
}

FileStamp SaveDictionary(const std::string& path, const std::vector<std::uint8_t>& bytes, const FileStamp* readAs,
                         FileLock* held) {
    FileLock own;
    FileLock& lock = held ? *held : own;
    if (IsReadOnlyFile(path))
        throw KelmoraError(ErrorCode::ReadOnly, {.File = path});
    if (!held && IsRegularFile(path) && !FileLock::TryTake(path, own))
        throw KelmoraError(ErrorCode::FileBusy, {.File = path});
    if (readAs && StampOf(path) != *readAs)
        throw KelmoraError(ErrorCode::ChangedOnDisk, {.File = path});
    RemoveStaleTemporariesBeside(path);
    AtomicOutput out(path);
    out.Write(bytes.data(), bytes.size());
    lock.ReleaseBeforeReplacing();
    out.Commit(true);
    return StampOfRead(path, bytes);
}

} // namespace kelmora
