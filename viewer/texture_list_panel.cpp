#include "viewer/texture_list_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <deque>

#include "viewer/qt_text.h"
#include "viewer/thumbnails.h"

using namespace kelmora;

namespace {

class LineHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // In the grid the selected thumbnail gets a frame: the style's selection
    // colour over the picture would change the very colours it shows.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* view = qobject_cast<const QListView*>(parent());
        if (!view || view->viewMode() != QListView::IconMode || !(option.state & QStyle::State_Selected)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_Selected;
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::Highlight), 3));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5));
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        // The grid of thumbnails has cells of its own.
        if (const auto* view = qobject_cast<const QListView*>(parent()); view && view->viewMode() == QListView::IconMode)
            return view->gridSize().isValid() ? view->gridSize() - QSize(4, 4) : s;
        s.setHeight(std::max(13, option.fontMetrics.height()));
        return s;
    }
};

// Type-to-find goes by the textures' names, not by the numbers every caption
// starts with.
class TTextureList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<QString(int row)> NameOf;

    void keyboardSearch(const QString& search) override {
        if (!NameOf || search.isEmpty())
            return;
        // Keys typed in quick succession make one search text, as in any list.
        if (typed_.isValid() && typed_.elapsed() < QApplication::keyboardInputInterval())
            text_ += search;
        else
            text_ = search;
        typed_.restart();
        const int n = count();
        const int from = std::max(0, currentRow());
        // A new first key looks from the next line on, so that repeating it steps.
        const int first = text_.size() == 1 ? from + 1 : from;
        for (int k = 0; k < n; ++k) {
            const int row = (first + k) % n;
            if (!item(row)->isHidden() && NameOf(row).startsWith(text_, Qt::CaseInsensitive)) {
                setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
                return;
            }
        }
    }

private:
    QString text_;
    QElapsedTimer typed_;
};

int EntryOf(const QListWidgetItem* item) { return item->data(Qt::UserRole).toInt(); }

} // namespace

void UseDesignedLineHeight(QListView* list) { list->setItemDelegate(new LineHeightDelegate(list)); }

TTextureListPanel::TTextureListPanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* findRow = new QHBoxLayout();
    findRow->setContentsMargins(0, 2, 0, 2);
    edtFind = new QLineEdit(this);
    edtFind->setPlaceholderText("Find (Ctrl+K)");
    edtFind->setClearButtonEnabled(true);
    edtFind->installEventFilter(this);
    cmbxSort = new QComboBox(this);
    cmbxSort->addItems({"Number", "Name", "Size", "Depth"});
    cmbxSort->setToolTip("Sort the textures by");
    findRow->addWidget(edtFind, 1);
    findRow->addWidget(cmbxSort);
    layout->addLayout(findRow);
    auto* list = new TTextureList(this);
    list->NameOf = [this](int row) {
        const QListWidgetItem* item = lb->item(row);
        const int entry = item ? EntryOf(item) : -1;
        return entry >= 0 && static_cast<std::size_t>(entry) < entries_.size() ? FromFile(entries_[entry].Name)
                                                                                 : QString();
    };
    lb = list;
    lb->installEventFilter(this);
    // A caption too long for the list loses its middle, never its size and depth.
    lb->setTextElideMode(Qt::ElideMiddle);
    UseDesignedLineHeight(lb);
    lb->setUniformItemSizes(true);
    layout->addWidget(lb, 1);

    // A selection by the user is a choice; the list's own focus handling may move
    // its current line without selecting it, which chooses nothing.
    connect(lb, &QListWidget::itemSelectionChanged, this, [this] {
        if (SelectedRow() >= 0 && Chosen)
            Chosen();
    });
    connect(edtFind, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(cmbxSort, &QComboBox::currentIndexChanged, this, [this] { ApplySort(); });
    // Thumbnails come from a worker thread; the grid asks for those in view first.
    thumbnailer_ = std::make_unique<TThumbnailWorker>(this, [this](std::uint64_t generation, int entry, const QImage& image) {
        if (generation != generation_ || image.isNull())
            return;
        thumbnails_[entry] = QIcon(QPixmap::fromImage(image));
        for (int row = 0; row < lb->count(); ++row)
            if (EntryOf(lb->item(row)) == entry && grid_)
                lb->item(row)->setIcon(thumbnails_[entry]);
    });
    connect(lb->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { RequestThumbnails(); });
}

TTextureListPanel::~TTextureListPanel() {
    thumbnailer_.reset(); // the worker stops before anything it reports to goes
}

void TTextureListPanel::SetEntries(std::vector<TTexEntry> entries, std::size_t listed) {
    {
        const QSignalBlocker quiet(lb);
        lb->clear();
        entries_ = std::move(entries);
        ++generation_;
        thumbnails_.clear();
        for (std::size_t i = 0; i < listed && i < entries_.size(); ++i) {
            const QString caption = Q(ShownText(entries_[i].Caption));
            auto* item = new QListWidgetItem(caption);
            item->setToolTip(caption); // the whole caption, however narrow the list
            item->setData(Qt::UserRole, static_cast<int>(i));
            lb->addItem(item);
        }
        lb->setCurrentRow(-1);
    }
    ApplySort();
    ApplyFilter();
    if (grid_)
        SetGrid(true); // names and thumbnails for the new dictionary
}

int TTextureListPanel::SelectedRow() const {
    const QListWidgetItem* item = lb->currentItem();
    return item && item->isSelected() ? lb->currentRow() : -1;
}

int TTextureListPanel::SelectedEntry() const {
    const QListWidgetItem* item = lb->currentItem();
    return item && item->isSelected() ? EntryOf(item) : -1;
}

void TTextureListPanel::SelectLine(int row) {
    const QSignalBlocker quiet(lb);
    lb->setCurrentRow(row);
}

bool TTextureListPanel::SelectEntry(int entry) {
    for (int row = 0; row < lb->count(); ++row)
        if (EntryOf(lb->item(row)) == entry) {
            SelectLine(row);
            return true;
        }
    return false;
}

int TTextureListPanel::FirstShownRow() const {
    for (int row = 0; row < lb->count(); ++row)
        if (!lb->item(row)->isHidden())
            return row;
    return 0;
}

void TTextureListPanel::Find() {
    edtFind->setFocus();
    edtFind->selectAll();
}

void TTextureListPanel::ApplyFilter() {
    const QString text = edtFind->text().trimmed();
    for (int row = 0; row < lb->count(); ++row) {
        QListWidgetItem* item = lb->item(row);
        const TTexEntry& e = entries_[static_cast<std::size_t>(EntryOf(item))];
        item->setHidden(!text.isEmpty() && !FromFile(e.Name).contains(text, Qt::CaseInsensitive) &&
                        !FromFile(e.Mask).contains(text, Qt::CaseInsensitive));
    }
}

void TTextureListPanel::ApplySort() {
    if (lb->count() == 0)
        return;
    const int selected = SelectedEntry();
    const QSignalBlocker quiet(lb);
    std::vector<QListWidgetItem*> items;
    while (lb->count() > 0)
        items.push_back(lb->takeItem(0));
    auto entry = [this](const QListWidgetItem* i) { return entries_[static_cast<std::size_t>(EntryOf(i))]; };
    std::stable_sort(items.begin(), items.end(), [&](const QListWidgetItem* a, const QListWidgetItem* b) {
        const TTexEntry ea = entry(a), eb = entry(b);
        const bool byNumber = EntryOf(a) < EntryOf(b);
        switch (cmbxSort->currentIndex()) {
        case 1: {
            const int c = FromFile(ea.Name).compare(FromFile(eb.Name), Qt::CaseInsensitive);
            return c != 0 ? c < 0 : byNumber;
        }
        case 2: {
            const std::uint64_t sa = std::uint64_t{ea.Width} * ea.Height, sb = std::uint64_t{eb.Width} * eb.Height;
            return sa != sb ? sa > sb : byNumber; // largest first
        }
        case 3: return ea.Depth != eb.Depth ? ea.Depth > eb.Depth : byNumber;
        default: return byNumber;
        }
    });
    for (QListWidgetItem* item : items)
        lb->addItem(item);
    for (int row = 0; row < lb->count(); ++row)
        if (EntryOf(lb->item(row)) == selected)
            lb->setCurrentRow(row);
}

void TTextureListPanel::SetGrid(bool grid) {
    grid_ = grid;
    lb->setViewMode(grid ? QListView::IconMode : QListView::ListMode);
    // Thumbnails differ in shape and arrive one by one; list lines are alike.
    lb->setUniformItemSizes(!grid);
    if (grid) {
        lb->setIconSize(QSize(TThumbnailWorker::kSize, TThumbnailWorker::kSize));
        lb->setGridSize(QSize(TThumbnailWorker::kSize + 40, TThumbnailWorker::kSize + 36));
        lb->setResizeMode(QListView::Adjust);
        lb->setMovement(QListView::Static);
        lb->setWordWrap(true);
    } else {
        lb->setGridSize(QSize());
        lb->setWordWrap(false);
    }
    // In the grid each thumbnail has its name below; in the list, the caption.
    for (int row = 0; row < lb->count(); ++row) {
        QListWidgetItem* item = lb->item(row);
        const int entry = EntryOf(item);
        const TTexEntry& e = entries_[static_cast<std::size_t>(entry)];
        item->setText(grid ? FromFile(e.Name) : Q(ShownText(e.Caption)));
        const auto thumb = thumbnails_.find(entry);
        item->setIcon(grid && thumb != thumbnails_.end() ? thumb->second : QIcon());
    }
    if (grid)
        RequestThumbnails();
    else
        thumbnailer_->Cancel();
    if (lb->currentItem())
        lb->scrollToItem(lb->currentItem());
}

void TTextureListPanel::RestartThumbnails() {
    thumbnails_.clear();
    ++generation_;
    if (grid_)
        SetGrid(true);
}

void TTextureListPanel::RequestThumbnails() {
    if (!grid_ || lb->count() == 0 || !Source)
        return;
    std::deque<TThumbnailWorker::Job> visible, rest;
    const QRect view = lb->viewport()->rect();
    for (int row = 0; row < lb->count(); ++row) {
        const QListWidgetItem* item = lb->item(row);
        const int entry = EntryOf(item);
        if (item->isHidden() || thumbnails_.count(entry))
            continue;
        TThumbnailWorker::Job job{entry, entries_[static_cast<std::size_t>(entry)]};
        (lb->visualItemRect(item).intersects(view) ? visible : rest).push_back(std::move(job));
    }
    for (auto& job : rest)
        visible.push_back(std::move(job));
    if (!visible.empty())
        thumbnailer_->Request(generation_, Source(), std::move(visible), !Unswizzle || Unswizzle());
}

bool TTextureListPanel::eventFilter(QObject* watched, QEvent* e) {
    // The menu's shortcuts work whichever widget has the focus: the find field
    // would take Ctrl+E as "end of line" and Ctrl+X as "cut".
    if (watched == edtFind && e->type() == QEvent::ShortcutOverride && IsMenuShortcut) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (IsMenuShortcut(QKeySequence(key->keyCombination()))) {
            e->ignore();
            return true;
        }
    }
    if (e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        // "/" in the list starts a find, as in many viewers; Escape in the find field clears it.
        if (watched == lb && key->text() == "/") {
            Find();
            return true;
        }
        if (watched == edtFind && key->key() == Qt::Key_Escape) {
            edtFind->clear();
            lb->setFocus();
            return true;
        }
        // Down and Return go from the find field to the first line it leaves.
        if (watched == edtFind && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return ||
                                   key->key() == Qt::Key_Enter)) {
            lb->setFocus();
            for (int row = 0; row < lb->count(); ++row)
                if (!lb->item(row)->isHidden()) {
                    if (row != SelectedRow())
                        lb->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
                    break;
                }
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}
