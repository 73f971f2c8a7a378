#pragma once
// The texture list: a find field, an order, and the list itself, as lines or as
// a grid of thumbnails made on a worker thread. Lines keep their texture's
// entry however they are sorted and filtered.
#include <QIcon>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/byte_source.h"
#include "dictionary/tex_entry.h"

class QComboBox;
class QLineEdit;
class QListView;
class QListWidget;
class TThumbnailWorker;

// List lines 13 pixels high as designed, or as high as the font needs.
void UseDesignedLineHeight(QListView* list);

class TTextureListPanel : public QWidget {
public:
    explicit TTextureListPanel(QWidget* parent);
    ~TTextureListPanel() override;

    // Lists the first `listed` textures, none selected, in the chosen order and
    // filter; the thumbnails of the dictionary before go.
    void SetEntries(std::vector<kelmora::TTexEntry> entries, std::size_t listed);
    const std::vector<kelmora::TTexEntry>& Entries() const { return entries_; }

    // The line selected by the user or the program; -1 when none is.
    int SelectedRow() const;
    // The entry of that line; -1 for none.
    int SelectedEntry() const;
    // Selects a line as the program does: Chosen does not run.
    void SelectLine(int row);
    // Selects the line of an entry that way; false when no line has it.
    bool SelectEntry(int entry);
    // The first line the find text leaves, or 0.
    int FirstShownRow() const;

    // The find field takes the keys; "/" in the list does the same.
    void Find();
    // Shows only the lines whose name or mask name holds the find text, any case.
    void ApplyFilter();
    // Orders the lines by the order box; each keeps its texture's own number.
    void ApplySort();

    // Lines or the grid of thumbnails.
    void SetGrid(bool grid);
    // The thumbnails made so far go (they were made with the other filter).
    void RestartThumbnails();
    // Asks the worker for the thumbnails the grid lacks, those in view first.
    void RequestThumbnails();
    std::size_t ThumbnailsReady() const { return thumbnails_.size(); }

    // Runs when the user selects a line.
    std::function<void()> Chosen;
    // The bytes and the unswizzle the thumbnails are made with.
    std::function<std::shared_ptr<const kelmora::ByteSource>()> Source;
    std::function<bool()> Unswizzle;
    // Keys the find field leaves to the window's menu.
    std::function<bool(const QKeySequence&)> IsMenuShortcut;

    QLineEdit* edtFind;
    QComboBox* cmbxSort;
    QListWidget* lb;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    std::vector<kelmora::TTexEntry> entries_;
    std::unique_ptr<TThumbnailWorker> thumbnailer_;
    std::map<int, QIcon> thumbnails_; // by entry, for the dictionary of generation_
    std::uint64_t generation_ = 0;
    bool grid_ = false;
};
