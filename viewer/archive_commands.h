#pragma once
// Whole dictionaries in and out of the open game archive: extract one to a
// file, replace one from a file, add, remove and rename. Each writes the
// archive in the order that keeps every entry whole, then lists it anew.
#include <functional>
#include <string>

class QWidget;
class TArchivePanel;
class TDictionarySession;
class TStatusPanel;
class TUiServices;
namespace kelmora {
struct ArchiveEntry;
}

class TArchiveCommands {
public:
    TArchiveCommands(QWidget& window, TDictionarySession& session, TArchivePanel& panel, TStatusPanel& status,
                     TUiServices& ui);

    // Before the shown dictionary goes: false when the user keeps its edits.
    std::function<bool()> MayLeaveDictionary;
    // The archive's table is read again and the dictionary of this name shown.
    std::function<void(const std::string& select)> Reload;

    void ExtractDictionary();
    void ReplaceDictionary();
    void AddDictionary();
    void RemoveDictionary();
    void RenameDictionary();

private:
    // The dictionary of the panel's selected line; null for none.
    const kelmora::ArchiveEntry* Selected() const;

    QWidget& window_;
    TDictionarySession& session_;
    TArchivePanel& panel_;
    TStatusPanel& status_;
    TUiServices& ui_;
};
