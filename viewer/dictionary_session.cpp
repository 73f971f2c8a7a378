#include "viewer/dictionary_session.h"

#include <algorithm>

#include "archive/archive_edit.h"
#include "base/bytes.h"
#include "base/os_file.h"
#include "dictionary/record_format.h"
#include "base/paths.h"
#include "base/text.h"
#include "export/safe_name.h"

using namespace kelmora;

std::optional<TDictionarySession::ReadBytes>
TDictionarySession::Read(const SourceLocation& where, const std::function<bool(std::uint64_t, std::uint64_t)>& going) {
    const std::shared_ptr<const ByteSource> source = OpenLocation(where);
    // A file of another kind is known by its first word: the rest of it (a disc
    // image dropped by mistake) is not read.
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(source->Size(), 4)));
    head.resize(source->ReadAt(0, head.data(), head.size()));
    const bool other = head.size() == 4 && LoadLE32(head.data()) != kDictionaryChunk;
    std::vector<std::uint8_t> bytes;
    if (other) {
        bytes = std::move(head);
    } else {
        bytes.resize(static_cast<std::size_t>(source->Size()));
        // In parts, so that a large file's progress shows and the user may stop it.
        constexpr std::size_t kPart = 4u << 20;
        for (std::size_t at = 0; at < bytes.size(); at += kPart) {
            if (going && !going(at, bytes.size()))
                return std::nullopt;
            source->ReadExactly(at, bytes.data() + at, std::min(kPart, bytes.size() - at));
        }
    }
    ReadBytes read{std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)), std::nullopt};
    if (where.Whole)
        read.Stamp = other ? StampOf(where.File) : StampOfRead(where.File, *read.Read);
    return read;
}

void TDictionarySession::Load() { Take(*Read(location_)); }

void TDictionarySession::Take(ReadBytes read) {
    if (read.Stamp)
        stamp_ = *read.Stamp;
    changedOnDisk_ = false;
    DropDictionarySteps();
    saved_ = read.Read;
    version_ = savedVersion_ = nextVersion_++;
    Show(std::move(read.Read));
    emit HistoryChanged();
}

void TDictionarySession::Unload() {
    DropDictionarySteps();
    bytes_.reset();
    saved_.reset();
    dictionary_.reset();
    emit DictionaryChanged();
    emit HistoryChanged();
}

void TDictionarySession::SetFile(const std::string& path) {
    file_ = path;
    location_ = {path};
    archive_.reset();
    tableRead_.clear();
    emit FileChanged();
}

void TDictionarySession::ReadTable(const std::function<void(const std::function<void()>&)>& offThread) {
    archive_.reset();
    tableRead_.clear();
    location_ = {file_};
    try {
        std::optional<GameArchive> archive;
        std::vector<std::uint8_t> table;
        const std::string file = file_;
        auto read = [&] {
            archive = OpenGameArchive(file);
            table = ArchiveTableBytes(*archive);
        };
        offThread ? offThread(read) : read();
        archive_ = std::move(archive);
        tableRead_ = std::move(table);
    } catch (...) {
        archive_.reset(); // no archive is open
        emit FileChanged();
        throw;
    }
    changedOnDisk_ = false;
    emit FileChanged();
}

bool TDictionarySession::ChooseDictionary(std::size_t index) {
    const std::vector<const ArchiveEntry*> dicts = archive_ ? archive_->Dictionaries() : std::vector<const ArchiveEntry*>();
    if (index >= dicts.size())
        return false;
    location_ = archive_->Location(*dicts[index]);
    emit FileChanged();
    return true;
}

std::optional<std::size_t> TDictionarySession::ChooseDictionary(const std::string& name) {
    const std::vector<const ArchiveEntry*> dicts = archive_ ? archive_->Dictionaries() : std::vector<const ArchiveEntry*>();
    for (std::size_t i = 0; i < dicts.size(); ++i)
        if (dicts[i]->Name == name) {
            ChooseDictionary(i);
            return i;
        }
    return std::nullopt;
}

void TDictionarySession::KeepEditsOfChangedFile() {
    changedOnDisk_ = true;
    emit HistoryChanged();
}

void TDictionarySession::MarkSaved() {
    saved_ = bytes_;
    savedVersion_ = version_;
    emit HistoryChanged();
}

void TDictionarySession::Saved(const FileStamp& stamp) {
    stamp_ = stamp;
    MarkSaved();
}

void TDictionarySession::SavedAs(const std::string& path, const FileStamp& stamp) {
    SetFile(path);
    changedOnDisk_ = false;
    Saved(stamp);
}

void TDictionarySession::Show(Bytes bytes) {
    bytes_ = std::move(bytes);
    dictionary_ = std::make_shared<const Dictionary>(std::make_shared<SharedBufferSource>(bytes_));
    emit DictionaryChanged();
}

TDictionarySession::Delta TDictionarySession::DeltaTo(const std::vector<std::uint8_t>& from,
                                                      const std::vector<std::uint8_t>& to) {
    const std::size_t most = std::min(from.size(), to.size());
    Delta d;
    while (d.Prefix < most && from[d.Prefix] == to[d.Prefix])
        ++d.Prefix;
    while (d.Suffix < most - d.Prefix && from[from.size() - 1 - d.Suffix] == to[to.size() - 1 - d.Suffix])
        ++d.Suffix;
    d.Middle.assign(to.begin() + static_cast<std::ptrdiff_t>(d.Prefix), to.end() - static_cast<std::ptrdiff_t>(d.Suffix));
    return d;
}

std::vector<std::uint8_t> TDictionarySession::Rebuilt(const std::vector<std::uint8_t>& from, const Delta& d) {
    std::vector<std::uint8_t> to(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(d.Prefix));
    to.insert(to.end(), d.Middle.begin(), d.Middle.end());
    to.insert(to.end(), from.end() - static_cast<std::ptrdiff_t>(d.Suffix), from.end());
    return to;
}

std::uint64_t TDictionarySession::HistoryBytes() const {
    std::uint64_t bytes = 0;
    for (const std::vector<Step>* steps : {&undo_, &redo_})
        for (const Step& s : *steps)
            bytes += s.Size();
    return bytes;
}

void TDictionarySession::Trim() {
    std::uint64_t bytes = HistoryBytes();
    while (!undo_.empty() && (undo_.size() + redo_.size() > kMostSteps || bytes > kMostBytes)) {
        bytes -= undo_.front().Size();
        undo_.erase(undo_.begin());
    }
}

void TDictionarySession::Apply(std::vector<std::uint8_t> bytes, std::string label) {
    // The step keeps what it needs to come back: the bytes the edit changed.
    undo_.push_back({DeltaTo(bytes, *bytes_), version_, std::move(label), nullptr});
    redo_.clear();
    version_ = nextVersion_++;
    Show(std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)));
    Trim();
    emit HistoryChanged();
}

void TDictionarySession::DropDictionarySteps() {
    for (std::vector<Step>* steps : {&undo_, &redo_})
        steps->erase(std::remove_if(steps->begin(), steps->end(), [](const Step& s) { return !s.Archive; }),
                     steps->end());
}

void TDictionarySession::ClearHistory() {
    undo_.clear();
    redo_.clear();
    emit HistoryChanged();
}

void TDictionarySession::RecordArchiveStep(ArchiveStep step, std::string label) {
    undo_.push_back({{}, 0, std::move(label), std::make_shared<const ArchiveStep>(std::move(step))});
    redo_.clear();
    Trim();
    emit HistoryChanged();
}

const TDictionarySession::ArchiveStep* TDictionarySession::NextUndoneArchiveStep() const {
    return undo_.empty() ? nullptr : undo_.back().Archive.get();
}

const TDictionarySession::ArchiveStep* TDictionarySession::NextRedoneArchiveStep() const {
    return redo_.empty() ? nullptr : redo_.back().Archive.get();
}

void TDictionarySession::ArchiveStepUndone() {
    if (!NextUndoneArchiveStep())
        return;
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    emit HistoryChanged();
}

void TDictionarySession::ArchiveStepRedone() {
    if (!NextRedoneArchiveStep())
        return;
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    emit HistoryChanged();
}

void TDictionarySession::StepBack(std::vector<Step>& from, std::vector<Step>& to) {
    if (from.empty() || from.back().Archive)
        return;
    Step step = std::move(from.back());
    from.pop_back();
    std::vector<std::uint8_t> back = Rebuilt(*bytes_, step.Back);
    to.push_back({DeltaTo(back, *bytes_), version_, step.Label, nullptr});
    version_ = step.Version;
    Show(std::make_shared<const std::vector<std::uint8_t>>(std::move(back)));
    emit HistoryChanged();
}

void TDictionarySession::Undo() { StepBack(undo_, redo_); }

void TDictionarySession::Redo() { StepBack(redo_, undo_); }

void TDictionarySession::ForgetEdits() {
    DropDictionarySteps();
    if (saved_) {
        version_ = savedVersion_;
        Show(saved_);
    }
    emit HistoryChanged();
}

std::optional<ArchiveEntry> TDictionarySession::ShownEntry() const {
    if (location_.Whole || !archive_)
        return std::nullopt;
    for (const ArchiveEntry& e : archive_->Entries)
        if (e.Offset == location_.Offset && e.Size == location_.Size)
            return e;
    return std::nullopt;
}

bool TDictionarySession::ChangedSinceRead() const {
    if (file_.empty())
        return false;
    try {
        if (archive_)
            return ArchiveTableBytes(*archive_) != tableRead_;
        return Loaded() && location_.Whole && StampOf(file_) != stamp_;
    } catch (const std::exception&) {
        return true; // gone, or no longer readable
    }
}

bool TDictionarySession::ReadOnly() const {
    if (archive_)
        return IsReadOnlyFile(archive_->DataFile) || IsReadOnlyFile(archive_->TableFile);
    return IsReadOnlyFile(file_);
}

std::string TDictionarySession::ShownFileName() const {
    std::string name = FileNameOf(file_);
    if (const std::optional<ArchiveEntry> e = ShownEntry())
        name += "/" + ShownText(e->Name);
    return name;
}

std::string TDictionarySession::LoosePath() const {
    if (const std::optional<ArchiveEntry> e = ShownEntry())
        return DirectoryWithSeparator(file_) + SafeFileName(Cp1252ToUtf8(e->Name));
    return file_;
}

std::string TDictionarySession::SearchScope() const {
    if (file_.empty())
        return {};
    return archive_ ? file_ : DirectoryPartOf(AbsolutePath(file_));
}
