#pragma once
// Changes to a dictionary's textures, made on its bytes in memory and checked
// before anything is written: the new bytes are walked and every changed texture
// decoded again and compared with what was meant.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/file_identity.h"
#include "base/errors.h"
#include "dictionary/decode_state.h"
#include "dictionary/dictionary.h"
#include "dictionary/record_format.h"

namespace kelmora {

class DictionaryEdit {
public:
    // unswizzle: how the pictures handed in are to be read back (the filter).
    DictionaryEdit(std::vector<std::uint8_t> bytes, bool unswizzle);

    // The dictionary as it stands now.
    const Dictionary& Current() const { return *current_; }
    // Puts the pictures of every level given (level 0 first) into texture index.
    // Throws KelmoraError with the user's text when a picture does not fit.
    void Replace(std::size_t index, const std::vector<DecodeState>& levels);
    // A texture of another size or depth in place of texture index: its record is
    // laid out anew (name, mask, filter word and extension kept) and every later
    // record moves. levels[0] has the new size and depth.
    void Reshape(std::size_t index, const std::vector<DecodeState>& levels);
    // A new texture after the last.
    void Add(const std::string& name, const std::string& mask, const std::vector<DecodeState>& levels);
    // Throws what Add would throw before it looks at the texture: a dictionary
    // that cannot grow, or holds textures Kelmora cannot write.
    void CheckAddable() const;
    void Remove(std::size_t index);
    // A PC or Xbox record written whole in place of texture index, or after the
    // last. expected: what each level must read back as (an empty picture: a level
    // stored empty); lossy: the format only comes near it (DXT), so a level must
    // read back whole and of its size.
    void PutRecord(std::size_t index, const std::vector<std::uint8_t>& record, std::vector<DecodeState> expected,
                   bool lossy);
    // A console record laid out from record (its name, mask, size, depth, levels,
    // version, filter word and extension) after the last, holding levels.
    void AddConsole(const TextureRecord& record, const std::vector<DecodeState>& levels);
    void AddRecord(const std::string& name, const std::string& mask, const std::vector<std::uint8_t>& record,
                   std::vector<DecodeState> expected, bool lossy);
    // Names are stored bytes (Windows-1252), at most kMaxNameLength each.
    void Rename(std::size_t index, const std::string& name, const std::string& mask);
    bool Changed() const { return changed_; }
    // Whether Add and Rename may give a texture a name another one has already.
    void AllowDuplicateNames(bool allow) { allowDuplicates_ = allow; }
    // Walks the new bytes and decodes every changed texture again: throws
    // KelmoraError when anything reads back other than it was meant.
    void Verify() const;
    const std::vector<std::uint8_t>& Bytes() const { return *bytes_; }

private:
    struct Change {
        std::size_t Index;
        std::vector<DecodeState> Levels;
        bool Lossy = false;
    };
    void Forget(std::size_t index);
    // The console's Replace and Add on PC and Xbox records (native_put.cpp): the
    // texture's own format; a new texture palettised on Direct3D 8, else 8888.
    void ReplaceNative(std::size_t index, const std::vector<DecodeState>& levels);
    void AddNative(const std::string& name, const std::string& mask, const std::vector<DecodeState>& levels);
    void RenameNative(std::size_t index, const std::string& name, const std::string& mask);
    // Where the records lie: they must carry their sizes for a record to change size.
    struct Span {
        std::size_t Start, End;
    };
    // what: the change, for the refusal of a dictionary whose records do not.
    std::vector<Span> Records(LayoutBlocks what) const;
    // Texture index's record as its chunks lay it out; what as for Records.
    TextureRecord Record(std::size_t index, LayoutBlocks what) const;
    // Refuses a name no reader would give back as it was given.
    void CheckNewName(const std::string& name, bool mask, std::size_t except) const;
    // Puts a new record in place of records [first, last) and walks the result.
    void Splice(std::size_t first, std::size_t last, const std::vector<std::uint8_t>& records, int countChange,
                LayoutBlocks what);
    void Rewalk();

    std::shared_ptr<std::vector<std::uint8_t>> bytes_;
    bool unswizzle_;
    bool changed_ = false;
    bool allowDuplicates_ = false;
    std::unique_ptr<Dictionary> current_;
    std::vector<Change> changes_;
};

// A name another texture of the dictionary has already.
class DuplicateNameError : public KelmoraError {
public:
    using KelmoraError::KelmoraError;
};

// Refuses a change to texture index of a platform whose textures Kelmora cannot
// write yet, and a new texture in a dictionary that holds such textures.
void CheckTextureEditable(const Dictionary& dictionary, std::size_t index);
void CheckTexturesAddable(const Dictionary& dictionary);

// Refuses what cannot be edited: bytes too short for a dictionary's header,
// another kind of file, a walk that ended early. name is the file's, for the text.
void CheckEditable(const std::vector<std::uint8_t>& bytes, const std::string& name);

// Writes a dictionary's bytes as a whole or not at all (through AtomicOutput,
// durably), after removing the temporaries killed saves left in its folder. It
// holds the file's lock while it writes: another writer is refused (FileBusy).
// readAs: the file as the edit read it; when the file is no longer so, nothing is
// written (ChangedOnDisk). A read-only file is refused (ReadOnly). Returns the
// stamp of what it wrote, for the next save. held: the file's lock, which the
// caller took at its read (it is let go of before the file is replaced).
FileStamp SaveDictionary(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         const FileStamp* readAs = nullptr, FileLock* held = nullptr);

} // namespace kelmora
