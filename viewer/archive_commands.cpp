#include "viewer/archive_commands.h"

#include <QAction>
#include <algorithm>
#include <optional>

#include "archive/archive_edit.h"
#include "base/byte_source.h"
#include "base/errors.h"
#include "base/ordered_pool.h"
#include "base/paths.h"
#include "base/text.h"
#include "editing/dictionary_edit.h"
#include "editing/folder_import.h"
#include "export/safe_name.h"
#include "viewer/archive_panel.h"
#include "viewer/background_work.h"
#include "viewer/dialog_services.h"
#include "viewer/dictionary_session.h"
#include "viewer/messages.h"
#include "viewer/qt_text.h"
#include "viewer/status_panel.h"

using namespace kelmora;

TArchiveCommands::TArchiveCommands(QWidget& window, TDictionarySession& session, TArchivePanel& panel,
                                   TStatusPanel& status, TUiServices& ui, TBackgroundWork& work)
    : window_(window), session_(session), panel_(panel), status_(status), ui_(ui), work_(work) {}

void TArchiveCommands::Commit(ArchiveEdit& archive) {
    work_.Run("Writing " + Q(FileNameOf(session_.File())), [&](TBackgroundWork::Progress&) { archive.Commit(); });
}

void TArchiveCommands::Open(const std::string& select) {
    panel_.SetDictionaries({});
    session_.Unload();
    session_.ReadTable([this](const std::function<void()>& read) {
        work_.Run("Reading " + Q(FileNameOf(session_.File())), [&](TBackgroundWork::Progress&) { read(); });
    });
    const std::vector<const ArchiveEntry*> dicts = session_.Archive()->Dictionaries();
    const QString file = Q(FileNameOf(session_.File()));
    Cleared(file + " - " + QString::number(dicts.size()) + " dictionaries");
    panel_.SetDictionaries(dicts);
    panel_.show();
    if (!session_.Archive()->Problems.empty()) {
        // One box for all of them: a damaged table can have thousands.
        // The reader names a few damaged entries in full and counts the rest.
        QString text = file + ": some entries cannot be read as they are:";
        for (const ArchiveProblem& problem : session_.Archive()->Problems)
            text += "\r\n" + ArchiveProblemMessage(problem);
        ui_.ShowMessage(&window_, text);
    }
    if (dicts.empty()) {
        status_.SetStatus(file + " holds no texture dictionary!");
        return;
    }
    int index = 0;
    for (std::size_t i = 0; i < dicts.size(); ++i)
        if (!select.empty() && SameNameIgnoringCase(dicts[i]->Name, select))
            index = static_cast<int>(i);
    panel_.Select(index);
    ShowSelected();
}

void TArchiveCommands::Reload(const std::string& select) {
    session_.ForgetEdits();
    Open(select);
}

void TArchiveCommands::ShowSelected() {
    const int row = panel_.Selected();
    if (!session_.Archive() || row < 0)
        return;
    // By its index and name: the question below may save into the archive,
    // which reads its table again.
    const std::size_t index = static_cast<std::size_t>(row);
    std::string name;
    if (const std::vector<const ArchiveEntry*> dicts = session_.Archive()->Dictionaries(); index < dicts.size())
        name = dicts[index]->Name;
    else
        return;
    if (!MayLeaveDictionary()) {
        if (const std::optional<ArchiveEntry> shown = session_.ShownEntry())
            if (const std::optional<std::size_t> at = IndexOf(shown->Name))
                panel_.Select(static_cast<int>(*at));
        return;
    }
    if (session_.ChangedSinceRead()) {
        // Another program wrote the archive: the rows read at open may name other
        // bytes now. The table is read again and the same name shown.
        session_.ForgetEdits();
        Open(name);
        status_.SetStatus(Q(FileNameOf(session_.File())) + " changed on disk; its table was read again.");
        return;
    }
    // The same row where it still has that name (one of several of a name), else the name's.
    const std::vector<const ArchiveEntry*> now = session_.Archive()->Dictionaries();
    const std::optional<std::size_t> at = index < now.size() && now[index]->Name == name ? index : IndexOf(name);
    if (!at || !session_.ChooseDictionary(*at))
        return;
    panel_.Select(static_cast<int>(*at));
    LoadDictionary();
}

std::optional<std::size_t> TArchiveCommands::IndexOf(const std::string& name) const {
    const std::vector<const ArchiveEntry*> dicts = session_.Archive()->Dictionaries();
    for (std::size_t i = 0; i < dicts.size(); ++i)
        if (dicts[i]->Name == name)
            return i;
    return std::nullopt;
}

bool TArchiveCommands::ShowNamed(const std::string& name) {
    const std::optional<std::size_t> at = session_.Archive() ? IndexOf(name) : std::nullopt;
    if (!at)
        return false;
    panel_.Select(static_cast<int>(*at));
    ShowSelected();
    return true;
}

bool TArchiveCommands::Step(int step) {
    const int next = panel_.Neighbour(step);
    if (next < 0)
        return false;
    panel_.Select(next);
    ShowSelected();
    return true;
}

std::optional<ArchiveEntry> TArchiveCommands::Selected() const {
    const int index = panel_.Selected();
    if (!session_.Archive() || index < 0)
        return std::nullopt;
    const std::vector<const ArchiveEntry*> dicts = session_.Archive()->Dictionaries();
    if (static_cast<std::size_t>(index) >= dicts.size())
        return std::nullopt;
    return *dicts[static_cast<std::size_t>(index)];
}

void TArchiveCommands::ExtractDictionary() {
    const std::optional<ArchiveEntry> e = Selected();
    if (!e)
        return;
    const std::string dir = DirectoryWithSeparator(session_.File());
    const QString path = ui_.ChooseDictionaryFile(&window_, Q(dir + SafeFileName(Cp1252ToUtf8(e->Name))));
    if (path.isEmpty())
        return;
    const std::vector<std::uint8_t> bytes = ReadAllBytes(*OpenLocation(session_.Archive()->Location(*e)));
    SaveDictionary(S(path), bytes);
    status_.SetStatus("Extracted " + Q(ShownText(e->Name)) + " to " + path + ".");
}

void TArchiveCommands::ReplaceDictionary() {
    const std::optional<ArchiveEntry> e = Selected();
    if (!e || !MayLeaveDictionary())
        return;
    const std::string name = e->Name;
    const QString path = ui_.ChooseOpenFile(&window_);
    if (path.isEmpty())
        return;
    const std::vector<std::uint8_t> bytes = ReadAllBytes(FileSource(S(path)));
    CheckEditable(bytes, FileNameOf(S(path))); // only a whole dictionary goes in
    ArchiveEdit archive(session_.File());
    archive.DependOn(name, e->Offset, e->Size);
    TDictionarySession::ArchiveStep step{TDictionarySession::ArchiveStep::Kind::Replaced, name, "", 0,
                                         std::make_shared<const std::vector<std::uint8_t>>(archive.Read(name)),
                                         std::make_shared<const std::vector<std::uint8_t>>(bytes), {}};
    archive.Put(name, bytes);
    Commit(archive);
    session_.RecordArchiveStep(std::move(step), "Replace " + ShownText(name));
    Reload(name);
    status_.SetStatus("Replaced " + Q(ShownText(name)) + " in " + Q(FileNameOf(session_.File())) + ".");
}

void TArchiveCommands::AddDictionary() {
    if (!session_.Archive() || !MayLeaveDictionary())
        return;
    const QString path = ui_.ChooseOpenFile(&window_);
    if (path.isEmpty())
        return;
    const std::vector<std::uint8_t> bytes = ReadAllBytes(FileSource(S(path)));
    CheckEditable(bytes, FileNameOf(S(path)));
    QString name = Q(FileNameOf(S(path)));
    // A name the table cannot hold, or one it has, brings the dialog back.
    while (ui_.AskText(&window_, "Add Dictionary", "Name in the archive:", name)) {
        const std::string wanted = S(name.trimmed());
        ArchiveEdit archive(session_.File());
        try {
            CheckEntryName(wanted);
        } catch (const KelmoraError& error) {
            ui_.ShowMessage(&window_, ErrorMessage(error));
            continue;
        }
        if (archive.Has(wanted)) {
            ui_.ShowMessage(&window_, Q(FileNameOf(session_.File())) + " has an entry named " + Q(wanted) + " already.");
            continue;
        }
        archive.Put(wanted, bytes);
        Commit(archive);
        session_.RecordArchiveStep({TDictionarySession::ArchiveStep::Kind::Added, wanted, "", 0, nullptr,
                                    std::make_shared<const std::vector<std::uint8_t>>(bytes), {}},
                                   "Add " + ShownText(wanted));
        Reload(wanted);
        status_.SetStatus("Added " + Q(wanted) + " to " + Q(FileNameOf(session_.File())) + ".");
        return;
    }
}

void TArchiveCommands::RemoveDictionary() {
    const std::optional<ArchiveEntry> e = Selected();
    if (!e)
        return;
    const std::string name = e->Name;
    if (!ui_.AskDestructive(&window_, "Remove Dictionary",
                      "Remove " + Q(ShownText(name)) + " from " + Q(FileNameOf(session_.File())) + "?"))
        return;
    if (!MayLeaveDictionary())
        return;
    const int next = std::max(panel_.Neighbour(1), panel_.Neighbour(-1));
    const std::vector<const ArchiveEntry*> dicts = session_.Archive()->Dictionaries();
    const std::string nextName = next >= 0 ? dicts[static_cast<std::size_t>(next)]->Name : std::string();
    ArchiveEdit archive(session_.File());
    archive.DependOn(name, e->Offset, e->Size);
    // Undo puts the bytes back at the row's place.
    TDictionarySession::ArchiveStep step{TDictionarySession::ArchiveStep::Kind::Removed, name, "", archive.RowOf(name),
                                         std::make_shared<const std::vector<std::uint8_t>>(archive.Read(name)),
                                         nullptr, {}};
    archive.Remove(name);
    Commit(archive);
    session_.RecordArchiveStep(std::move(step), "Remove " + ShownText(name));
    Reload(nextName);
    status_.SetStatus("Removed " + Q(ShownText(name)) + " from " + Q(FileNameOf(session_.File())) + ".");
}

void TArchiveCommands::RenameDictionary() {
    const std::optional<ArchiveEntry> e = Selected();
    if (!e || !MayLeaveDictionary())
        return;
    const std::string old = e->Name;
    QString name = Q(ShownText(old));
    while (ui_.AskText(&window_, "Rename Dictionary", "New name:", name)) {
        std::string wanted = S(name.trimmed());
        // A dictionary stays one: the game and the lists know it by ".txd".
        if (HasExtension(old, ".txd") && !HasExtension(wanted, ".txd"))
            wanted += ".txd";
        try {
            ArchiveEdit archive(session_.File());
            archive.DependOn(old, e->Offset, e->Size);
            archive.Rename(old, wanted);
            Commit(archive);
        } catch (const KelmoraError& error) {
            ui_.ShowMessage(&window_, ErrorMessage(error));
            continue;
        }
        session_.RecordArchiveStep({TDictionarySession::ArchiveStep::Kind::Renamed, old, wanted, 0, nullptr, nullptr, {}},
                                   "Rename " + ShownText(old));
        Reload(wanted);
        status_.SetStatus("Renamed " + Q(ShownText(old)) + " to " + Q(wanted) + ".");
        return;
    }
}

void TArchiveCommands::ImportFolder() {
    if (!session_.Archive() || !MayLeaveDictionary())
        return;
    const QString chosen = ui_.ChooseFolder(&window_, "Import Folder", Q(DirectoryWithSeparator(session_.File())));
    if (chosen.isEmpty())
        return;
    const std::string file = session_.File();
    const QString shownFile = Q(FileNameOf(file));
    // The folder an extract of the archive wrote, or one named as the archive.
    const std::string folder = ArchiveFolderOf(file, S(chosen));
    const PutBackOptions options = PutOptions();
    const std::optional<ArchiveEntry> shown = session_.ShownEntry();
    ArchiveEdit archive(file);
    const std::vector<const ArchiveEntry*> dicts = archive.Archive().Dictionaries();
    using Step = TDictionarySession::ArchiveStep;
    Step step{Step::Kind::Imported, shown ? shown->Name : std::string(), "", 0, nullptr, nullptr, {}};
    std::size_t textures = 0;
    std::vector<std::string> unmatched;
    // Each dictionary is put back from its folder on any core and taken in the
    // archive's order; nothing is written before all are done.
    const bool stopped = work_.Run("Importing into " + shownFile, [&](TBackgroundWork::Progress& p) {
        p.Count = dicts.size();
        auto data = std::make_shared<FileSource>(archive.Archive().DataFile);
        OrderedPool<FolderPutBack> pool(dicts.size(), CoreCount(), [&](std::size_t k) {
            const ArchiveEntry* e = dicts[k];
            return PutBackFolder(file + "::" + ShownText(e->Name), DictionaryFolderOf(folder, *e), options,
                                 [&] { return ReadAllBytes(RangeSource(data, e->Offset, e->Size)); });
        });
        for (std::size_t k = 0; k < dicts.size() && !p.Stop; ++k, p.Done = k) {
            FolderPutBack done = pool.Take(k);
            if (done.Error)
                std::rethrow_exception(done.Error);
            unmatched.insert(unmatched.end(), done.Import.Unmatched.begin(), done.Import.Unmatched.end());
            if (!done.Changed)
                continue;
            textures += done.Import.Replaced();
            const std::string& name = dicts[k]->Name;
            auto after = std::make_shared<const std::vector<std::uint8_t>>(std::move(done.Bytes));
            step.Parts.push_back({Step::Kind::Replaced, name, "", 0,
                                  std::make_shared<const std::vector<std::uint8_t>>(archive.Read(name)), after, {}});
            archive.Put(name, *after);
        }
    }, true);
    if (stopped) {
        status_.SetStatus("Import into " + shownFile + " stopped; nothing was written.");
        return;
    }
    QString skipped;
    for (std::size_t i = 0; i < unmatched.size() && i < 20; ++i)
        skipped += "\r\n" + Q(EscapeControls(unmatched[i]));
    if (unmatched.size() > 20)
        skipped += "\r\n... and " + QString::number(unmatched.size() - 20) + " more.";
    if (!skipped.isEmpty())
        skipped = "\r\n\r\nThese images match no texture and were skipped:" + skipped;
    if (step.Parts.empty()) {
        ui_.ShowMessage(&window_, "Nothing was imported: the images in " + chosen + " hold what " + shownFile +
                                      " holds." + skipped);
        return;
    }
    const std::size_t dictionaries = step.Parts.size();
    Commit(archive);
    session_.RecordArchiveStep(std::move(step), "Import " + FileNameOf(S(chosen)));
    Reload(shown ? shown->Name : std::string());
    const QString said = "Imported " + QString::number(textures) + " texture(s) of " + QString::number(dictionaries) +
                         (dictionaries == 1 ? " dictionary" : " dictionaries") + " into " + shownFile + ".";
    status_.SetStatus(said);
    if (!skipped.isEmpty())
        ui_.ShowMessage(&window_, said + skipped);
}

void TArchiveCommands::UndoStep(bool undo) {
    const TDictionarySession::ArchiveStep* found =
        undo ? session_.NextUndoneArchiveStep() : session_.NextRedoneArchiveStep();
    if (!found || !MayLeaveDictionary())
        return;
    using Kind = TDictionarySession::ArchiveStep::Kind;
    const TDictionarySession::ArchiveStep step = *found; // the history changes below
    const std::string label = undo ? session_.UndoLabel() : session_.RedoLabel();
    ArchiveEdit archive(session_.File());
    std::string shown = step.Name;
    switch (step.What) {
    case Kind::Removed:
        if (undo)
            archive.Insert(step.Name, *step.Old, step.Row);
        else
            archive.Remove(step.Name);
        break;
    case Kind::Added:
        if (undo)
            archive.Remove(step.Name);
        else
            archive.Put(step.Name, *step.New);
        break;
    case Kind::Replaced: archive.Put(step.Name, undo ? *step.Old : *step.New); break;
    case Kind::Imported:
        for (const TDictionarySession::ArchiveStep& part : step.Parts)
            archive.Put(part.Name, undo ? *part.Old : *part.New);
        break;
    case Kind::Renamed:
        archive.Rename(undo ? step.NewName : step.Name, undo ? step.Name : step.NewName);
        shown = undo ? step.Name : step.NewName;
        break;
    }
    Commit(archive);
    if (undo)
        session_.ArchiveStepUndone();
    else
        session_.ArchiveStepRedone();
    Reload(shown);
    status_.SetStatus((undo ? "Undid " : "Did again: ") + Q(label) + ".");
}
