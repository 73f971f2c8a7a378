#pragma once
// The dictionaries of an open game archive: a find field of its own, an order
// (table, name or size) and the list, in a panel the user sizes against the
// texture list. Rows keep their dictionary however they are filtered and sorted.
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "archive/game_archive.h"

class QComboBox;
class QLineEdit;
class QListWidget;

class TArchivePanel : public QWidget {
public:
    explicit TArchivePanel(QWidget* parent = nullptr);

    // Lists the archive's dictionaries; none is selected.
    void SetDictionaries(const std::vector<const kelmora::ArchiveEntry*>& dictionaries);
    // The dictionary (its index in the list given) of the selected line; -1 for none.
    int Selected() const;
    // Selects the line of dictionary index as the program does: no Chosen.
    void Select(int index);
    // The dictionary `step` lines from the selected one as the list shows them
    // (filtered and sorted); -1 past either end.
    int Neighbour(int step) const;
    // Runs when the user selects a line.
    std::function<void()> Chosen;

    QListWidget* List() const { return list_; }
    QLineEdit* FindField() const { return find_; }
    QComboBox* Order() const { return order_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Filter();
    void Sort();

    QLineEdit* find_;
    QComboBox* order_;
    QListWidget* list_;
    std::vector<std::string> names_;
    std::vector<std::uint64_t> sizes_;
};
