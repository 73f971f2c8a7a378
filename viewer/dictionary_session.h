#pragma once
// The open document: the file (a dictionary or a game archive), the dictionary
// listed from it, and its edits. The dictionary's bytes are read once, from the
// file or from one archive entry's range, and every display, thumbnail and
// export reads them from here; nothing holds the file open. Each edit makes a
// new dictionary, and undo and redo keep the ones before and after. Its state
// changes only through its methods, which say so by the signals below.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/game_archive.h"
#include "base/byte_source.h"
#include "base/file_identity.h"
#include "dictionary/dictionary.h"

class TDictionarySession : public QObject {
    Q_OBJECT
public:
    using Bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

    // The file opened: a dictionary, or a game archive (its .img or .dir).
    const std::string& File() const { return file_; }
    // Where the listed dictionary's bytes are: File itself, or a range of the archive's data.
    const kelmora::SourceLocation& Location() const { return location_; }
    // The archive's table while an archive is open.
    const std::optional<kelmora::GameArchive>& Archive() const { return archive_; }
    // A dictionary file as it was read or last saved: a save refuses to replace
    // it once it has changed on disk.
    const kelmora::FileStamp& Stamp() const { return stamp_; }
    // The user chose to keep the edits of a file that changed on disk: Save would
    // overwrite the change, and only Save As writes.
    bool ChangedOnDisk() const { return changedOnDisk_; }
    void KeepEditsOfChangedFile();

    // Another file is the document's, read as a whole (no archive); the shown
    // dictionary stays until the next Load or Unload.
    void SetFile(const std::string& path);
    // The open file's table is read: an archive is open, none of its dictionaries
    // shown yet. Throws KelmoraError when it cannot be read. The reading runs
    // through offThread where one is given (it takes no state of the session).
    void ReadTable(const std::function<void(const std::function<void()>&)>& offThread = {});
    // The dictionary of the open archive at this index of its dictionaries, or of
    // this name, is where Load reads: false, or no index, when the table has no
    // such dictionary.
    bool ChooseDictionary(std::size_t index);
    std::optional<std::size_t> ChooseDictionary(const std::string& name);
    // The shown bytes were written into the file (a dictionary's, stamped as now).
    void Saved(const kelmora::FileStamp& stamp);
    // The shown bytes were written into another file, which becomes the document's.
    void SavedAs(const std::string& path, const kelmora::FileStamp& stamp);

    // Reads the dictionary at Location anew and walks it; the edits go. Throws
    // KelmoraError when the file cannot be read.
    void Load();
    // Load in two halves, so that the reading runs on another thread: Read takes
    // no state of the session; going(done, total) is asked between parts, and
    // false stops the read (none is returned). Take shows what was read.
    struct ReadBytes {
        Bytes Read;
        std::optional<kelmora::FileStamp> Stamp; // a whole file's
    };
    static std::optional<ReadBytes> Read(const kelmora::SourceLocation& where,
                                         const std::function<bool(std::uint64_t, std::uint64_t)>& going = {});
    void Take(ReadBytes read);
    // Nothing is listed: the bytes and the edits go.
    void Unload();
    // Whether a dictionary has been read.
    bool Loaded() const { return dictionary_ != nullptr; }
    // The dictionary as shown: the bytes read, or the last edit's.
    const kelmora::Dictionary& Current() const { return *dictionary_; }
    std::shared_ptr<const kelmora::Dictionary> Shared() const { return dictionary_; }
    std::shared_ptr<const kelmora::ByteSource> Source() const { return dictionary_->SharedSource(); }
    const std::vector<std::uint8_t>& CurrentBytes() const { return *bytes_; }

    // An edit's result becomes the shown dictionary; label names it for Undo and Redo.
    void Apply(std::vector<std::uint8_t> bytes, std::string label);

    // A command on the open archive, undone and done again by its inverse edit.
    // Its steps stay in the history while the archive is open, across the
    // dictionaries shown; a dictionary's own steps go when it does.
    struct ArchiveStep {
        // Imported: several entries replaced at once, each a Replaced part.
        enum class Kind { Removed, Added, Replaced, Renamed, Imported } What = Kind::Added;
        std::string Name, NewName; // as the table holds them; Renamed: from Name to NewName
        std::size_t Row = 0;       // Removed: the place of its row
        Bytes Old, New;            // Removed: Old; Added: New; Replaced: both
        std::vector<ArchiveStep> Parts;
        std::uint64_t Size() const {
            std::uint64_t size = (Old ? Old->size() : 0) + (New ? New->size() : 0);
            for (const ArchiveStep& part : Parts)
                size += part.Size();
            return size;
        }
    };
    // A command that was done. The oldest steps go past kMostSteps of them or
    // kMostBytes of bytes kept (a dictionary's edit keeps only the bytes it changed).
    void RecordArchiveStep(ArchiveStep step, std::string label);
    // The archive step Undo or Redo would take; null when it is a dictionary's edit or none.
    const ArchiveStep* NextUndoneArchiveStep() const;
    const ArchiveStep* NextRedoneArchiveStep() const;
    // The archive step was undone or done again: it moves to the other list.
    void ArchiveStepUndone();
    void ArchiveStepRedone();
    // Another file is opened: no step of the one before can be undone.
    void ClearHistory();
    static constexpr std::size_t kMostSteps = 100;
    static constexpr std::uint64_t kMostBytes = 256ull << 20;
    // The bytes the history keeps, for the bound above.
    std::uint64_t HistoryBytes() const;
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    // "Replace wheel": what Undo or Redo would take back or do again; empty for none.
    std::string UndoLabel() const { return undo_.empty() ? std::string() : undo_.back().Label; }
    std::string RedoLabel() const { return redo_.empty() ? std::string() : redo_.back().Label; }
    void Undo();
    void Redo();
    // Whether the shown bytes are others than the file holds.
    bool Modified() const { return version_ != savedVersion_; }
    // The shown bytes are now what the file holds (after a save).
    void MarkSaved();
    // Edits and their history go; the bytes read stay shown.
    void ForgetEdits();

    // The archive entry whose dictionary is listed, as the table holds it; none
    // for a dictionary file.
    std::optional<kelmora::ArchiveEntry> ShownEntry() const;
    // Whether the open file, or the open archive's table, is no longer as read.
    bool ChangedSinceRead() const;
    // Whether the open file (or one of the archive's files) may not be written.
    bool ReadOnly() const;
    // "x.txd", or "x.img/y.txd" for a dictionary inside an archive.
    std::string ShownFileName() const;
    // Where a loose copy of the listed dictionary would go: the file itself, or the
    // entry's name beside the archive.
    std::string LoosePath() const;

    // Where Find in All Dictionaries looks: the open archive, or the folder of the
    // open dictionary; empty when nothing is open.
    std::string SearchScope() const;

signals:
    // The file, the archive's table or the place of the shown dictionary changed.
    void FileChanged();
    // Other bytes are shown (read, edited, undone, let go).
    void DictionaryChanged();
    // What Undo and Redo would do, or whether the bytes are saved, changed.
    void HistoryChanged();

private:
    void Show(Bytes bytes);
    std::string file_;
    kelmora::SourceLocation location_;
    std::optional<kelmora::GameArchive> archive_;
    std::vector<std::uint8_t> tableRead_; // the archive's table as read
    kelmora::FileStamp stamp_;
    bool changedOnDisk_ = false;

    // The bytes of another state from those shown: the same first Prefix and last
    // Suffix bytes, and Middle between them.
    struct Delta {
        std::size_t Prefix = 0, Suffix = 0;
        std::vector<std::uint8_t> Middle;
    };
    struct Step {
        Delta Back;               // a dictionary's edit: the state it brings back
        std::uint64_t Version = 0; // that state's
        std::string Label;
        std::shared_ptr<const ArchiveStep> Archive; // set for an archive's command
        std::uint64_t Size() const { return Archive ? Archive->Size() : Back.Middle.size(); }
    };
    static Delta DeltaTo(const std::vector<std::uint8_t>& from, const std::vector<std::uint8_t>& to);
    static std::vector<std::uint8_t> Rebuilt(const std::vector<std::uint8_t>& from, const Delta& delta);
    // Drops the oldest steps past the bound.
    void Trim();
    // A dictionary's steps go (it is no longer shown); the archive's stay.
    void DropDictionarySteps();
    Bytes bytes_, saved_;
    std::uint64_t version_ = 0, savedVersion_ = 0, nextVersion_ = 1;
    std::shared_ptr<const kelmora::Dictionary> dictionary_;
    std::vector<Step> undo_, redo_;
    // Undo and Redo: shows the last step of from, keeping the present bytes in to.
    void StepBack(std::vector<Step>& from, std::vector<Step>& to);
};
