#include "editing/dictionary_edit.h"

#include "base/atomic_output.h"
#include "base/errors.h"
#include "dictionary/raster_encode.h"
#include "dictionary/text.h"

namespace kelmora {

namespace {

// The dictionary's bytes, shared with the sources that read them.
class SharedBytes final : public ByteSource {
public:
    explicit SharedBytes(std::shared_ptr<std::vector<std::uint8_t>> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_->size(); }
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        return MemorySource(bytes_->data(), bytes_->size()).ReadAt(offset, dst, n);
    }
    const std::uint8_t* Data() const override { return bytes_->data(); }

private:
    std::shared_ptr<std::vector<std::uint8_t>> bytes_;
};

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

std::string Label(const TTexEntry& e, std::size_t index) {
    return "texture " + std::to_string(index + 1) + " (" + ShownText(e.Name) + ")";
}

} // namespace

DictionaryEdit::DictionaryEdit(std::vector<std::uint8_t> bytes, bool unswizzle)
    : bytes_(std::make_shared<std::vector<std::uint8_t>>(std::move(bytes))), unswizzle_(unswizzle),
      current_(std::make_unique<Dictionary>(std::make_shared<SharedBytes>(bytes_))) {}

void DictionaryEdit::Replace(std::size_t index, const std::vector<DecodeState>& levels) {
    const TTexEntry& e = current_->Entries()[index];
    for (std::uint32_t n = 0; n < levels.size(); ++n) {
        const EncodeResult r = EncodeRaster(*bytes_, e, unswizzle_, levels[n], n);
        if (!r.Ok())
            throw KelmoraError(Label(e, index) + ": " + r.Message);
    }
    changes_.push_back({index, levels});
}

void DictionaryEdit::Verify() const {
    const Dictionary again(std::make_shared<MemorySource>(bytes_->data(), bytes_->size()));
    if (!again.Complete() || again.Entries().size() != current_->Entries().size())
        throw KelmoraError("the new dictionary does not walk as the old one did; nothing was written");
    for (const Change& c : changes_) {
        for (std::uint32_t n = 0; n < c.Levels.size(); ++n) {
            const DecodedTexture t = again.Decode(c.Index, {unswizzle_, n});
            const DecodeState& want = c.Levels[n];
            bool same = t.Ok() && t.State.TexWidth == want.TexWidth && t.State.TexHeight == want.TexHeight;
            for (std::uint32_t y = 0; same && y < want.TexHeight; ++y)
                for (std::uint32_t x = 0; same && x < want.TexWidth; ++x)
                    same = !CellRead(t.Result, want, unswizzle_, x, y) ||
                           (want.TrueColour ? t.State.Colour(x, y) == want.Colour(x, y)
                                            : t.State.Pixel(x, y) == want.Pixel(x, y));
            const std::size_t entries = want.TrueColour ? 0 : want.TexDepth == 4 ? 16 : 256;
            for (std::size_t i = 0; same && n == 0 && i < entries; ++i)
                same = t.State.Palette[i] == want.Palette[i];
            if (!same)
                throw KelmoraError(Label(again.Entries()[c.Index], c.Index) + ": level " + std::to_string(n) +
                                   " does not read back as written; nothing was written");
        }
    }
}

void SaveDictionary(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    AtomicOutput out(path);
    out.Write(bytes.data(), bytes.size());
    out.Commit();
}

} // namespace kelmora
