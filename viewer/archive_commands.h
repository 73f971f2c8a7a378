#pragma once
// The open game archive: its dictionaries listed in the archive panel, the one
// chosen there shown, and whole dictionaries in and out of it (extract one to a
// file, replace one from a file, add, remove and rename). Each command writes
// the archive in the order that keeps every entry whole, then lists it anew.
#include <QString>
#include <functional>
#include <string>

class QWidget;
class TArchivePanel;
class TBackgroundWork;
class TDictionarySession;
class TStatusPanel;
class TUiServices;
#include <optional>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "editing/put_back.h"

class TArchiveCommands {
public:
    TArchiveCommands(QWidget& window, TDictionarySession& session, TArchivePanel& panel, TStatusPanel& status,
                     TUiServices& ui, TBackgroundWork& work);

    // Before the shown dictionary goes: false when the user keeps its edits.
    std::function<bool()> MayLeaveDictionary;
    // The dictionary at the session's location is read and listed.
    std::function<void()> LoadDictionary;
    // How images are put back: the filter and the alpha the window shows them with.
    std::function<kelmora::PutBackOptions()> PutOptions;
    // Nothing listed, nothing shown, the window's caption set.
    std::function<void(const QString& caption)> Cleared;

    // Reads the table of the archive the session's file is, lists its dictionaries
    // and shows the one named select, or the first.
    void Open(const std::string& select = {});
    // The table is read again (the edits go) and the dictionary of this name shown.
    void Reload(const std::string& select);
    // Shows the dictionary of the panel's selected line, once the edits of the one
    // shown are saved or let go; kept, the panel goes back to it.
    void ShowSelected();
    // Shows the dictionary of this name; false when the archive has none.
    bool ShowNamed(const std::string& name);
    // Shows the dictionary `step` lines from the shown one in the panel's order;
    // false past either end.
    bool Step(int step);

    void ExtractDictionary();
    void ReplaceDictionary();
    void AddDictionary();
    void RemoveDictionary();
    void RenameDictionary();
    // Puts back the images of the folder an extract of the archive wrote: every
    // dictionary whose pictures changed, in one edit of the archive, undone as one.
    void ImportFolder();
    // Undo (or Redo) of the command the history names next: its inverse edit
    // (or the command again), written as every command is.
    void UndoStep(bool undo);

private:
    // Writes the archive's edit off the window's thread.
    void Commit(kelmora::ArchiveEdit& archive);
    // The dictionary of the panel's selected line, as the table was read; none
    // for none. A copy: a command's question may read the table again.
    std::optional<kelmora::ArchiveEntry> Selected() const;
    // The index among the open archive's dictionaries of the first of this name.
    std::optional<std::size_t> IndexOf(const std::string& name) const;

    QWidget& window_;
    TDictionarySession& session_;
    TArchivePanel& panel_;
    TStatusPanel& status_;
    TUiServices& ui_;
    TBackgroundWork& work_;
};
