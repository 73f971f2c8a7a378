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

void TDictionarySession::Load() {
    const std::shared_ptr<const ByteSource> source = OpenLocation(Location);
    // A file of another kind is known by its first word: the rest of it (a disc
    // image dropped by mistake) is not read.
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(source->Size(), 4)));
    head.resize(source->ReadAt(0, head.data(), head.size()));
    const bool other = head.size() == 4 && LoadLE32(head.data()) != kDictionaryChunk;
    Bytes bytes = std::make_shared<const std::vector<std::uint8_t>>(other ? std::move(head) : ReadAllBytes(*source));
    if (Location.Whole)
        Stamp = other ? StampOf(Location.File) : StampOfRead(Location.File, *bytes);
    ChangedOnDisk = false;
    DropDictionarySteps();
    saved_ = bytes;
    Show(std::move(bytes));
}

void TDictionarySession::Unload() {
    DropDictionarySteps();
    bytes_.reset();
    saved_.reset();
    dictionary_.reset();
}

void TDictionarySession::Show(Bytes bytes) {
    bytes_ = std::move(bytes);
    dictionary_ = std::make_shared<const Dictionary>(std::make_shared<SharedBufferSource>(bytes_));
}

void TDictionarySession::Apply(std::vector<std::uint8_t> bytes, std::string label) {
    undo_.push_back({bytes_, std::move(label), nullptr});
    redo_.clear();
    Show(std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes)));
}

void TDictionarySession::DropDictionarySteps() {
    for (std::vector<Step>* steps : {&undo_, &redo_})
        steps->erase(std::remove_if(steps->begin(), steps->end(), [](const Step& s) { return !s.Archive; }),
                     steps->end());
}

void TDictionarySession::ClearHistory() {
    undo_.clear();
    redo_.clear();
}

void TDictionarySession::RecordArchiveStep(ArchiveStep step, std::string label) {
    undo_.push_back({nullptr, std::move(label), std::make_shared<const ArchiveStep>(std::move(step))});
    redo_.clear();
    // The oldest go first; a dictionary's own steps hold no archive bytes.
    std::size_t steps = 0;
    std::uint64_t bytes = 0;
    for (const Step& s : undo_)
        if (s.Archive)
            ++steps, bytes += s.Archive->Size();
    for (auto it = undo_.begin(); it != undo_.end() && (steps > kMostArchiveSteps || bytes > kMostArchiveBytes);) {
        if (!it->Archive) {
            ++it;
            continue;
        }
        --steps;
        bytes -= it->Archive->Size();
        it = undo_.erase(it);
    }
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
}

void TDictionarySession::ArchiveStepRedone() {
    if (!NextRedoneArchiveStep())
        return;
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
}

void TDictionarySession::StepBack(std::vector<Step>& from, std::vector<Step>& to) {
    if (from.empty() || from.back().Archive)
        return;
    Step step = std::move(from.back());
    from.pop_back();
    to.push_back({bytes_, step.Label, nullptr});
    Show(std::move(step.Before));
}

void TDictionarySession::Undo() { StepBack(undo_, redo_); }

void TDictionarySession::Redo() { StepBack(redo_, undo_); }

void TDictionarySession::ForgetEdits() {
    DropDictionarySteps();
    if (saved_)
        Show(saved_);
}

const ArchiveEntry* TDictionarySession::ShownEntry() const {
    if (Location.Whole || !Archive)
        return nullptr;
    for (const ArchiveEntry& e : Archive->Entries)
        if (e.Offset == Location.Offset && e.Size == Location.Size)
            return &e;
    return nullptr;
}

void TDictionarySession::ReadTable() {
    Archive = OpenGameArchive(File);
    TableRead = ArchiveTableBytes(*Archive);
    ChangedOnDisk = false;
}

bool TDictionarySession::ChangedSinceRead() const {
    if (File.empty())
        return false;
    try {
        if (Archive)
            return ArchiveTableBytes(*Archive) != TableRead;
        return Loaded() && Location.Whole && StampOf(File) != Stamp;
    } catch (const std::exception&) {
        return true; // gone, or no longer readable
    }
}

bool TDictionarySession::ReadOnly() const {
    if (Archive)
        return IsReadOnlyFile(Archive->DataFile) || IsReadOnlyFile(Archive->TableFile);
    return IsReadOnlyFile(File);
}

std::string TDictionarySession::ShownFileName() const {
    std::string name = FileNameOf(File);
    if (const ArchiveEntry* e = ShownEntry())
        name += "/" + ShownText(e->Name);
    return name;
}

std::string TDictionarySession::LoosePath() const {
    if (const ArchiveEntry* e = Archive ? ShownEntry() : nullptr)
        return DirectoryWithSeparator(File) + SafeFileName(Cp1252ToUtf8(e->Name));
    return File;
}

std::string TDictionarySession::SearchScope() const {
    if (File.empty())
        return {};
    return Archive ? File : DirectoryPartOf(AbsolutePath(File));
}
