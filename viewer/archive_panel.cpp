#include "viewer/archive_panel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "base/text.h"

namespace {

QString Q(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

} // namespace

TArchivePanel::TArchivePanel(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* row = new QHBoxLayout();
    find_ = new QLineEdit(this);
    find_->setPlaceholderText("Find a dictionary");
    find_->setClearButtonEnabled(true);
    find_->installEventFilter(this);
    order_ = new QComboBox(this);
    order_->addItems({"Table", "Name", "Size"});
    order_->setToolTip("Sort the dictionaries by");
    row->addWidget(find_, 1);
    row->addWidget(order_);
    layout->addLayout(row);
    list_ = new QListWidget(this);
    list_->setUniformItemSizes(true);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    layout->addWidget(list_, 1);
    connect(find_, &QLineEdit::textChanged, this, [this] { Filter(); });
    connect(order_, &QComboBox::currentIndexChanged, this, [this] { Sort(); });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        const QListWidgetItem* item = list_->currentItem();
        if (item && item->isSelected() && Chosen)
            Chosen();
    });
}

void TArchivePanel::SetDictionaries(const std::vector<const kelmora::ArchiveEntry*>& dictionaries) {
    const QSignalBlocker quiet(list_);
    list_->clear();
    names_.clear();
    sizes_.clear();
    for (std::size_t i = 0; i < dictionaries.size(); ++i) {
        const kelmora::ArchiveEntry* e = dictionaries[i];
        names_.push_back(e->Name);
        sizes_.push_back(e->Size);
        const QString line = Q(kelmora::ShownText(e->Name)) + "  |  " + QString::number(e->Size) + " bytes";
        auto* item = new QListWidgetItem(line);
        item->setToolTip(line);
        item->setData(Qt::UserRole, static_cast<int>(i));
        list_->addItem(item);
    }
    Sort();
    Filter();
}

bool TArchivePanel::eventFilter(QObject* watched, QEvent* e) {
    if (watched == find_ && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        // Escape clears the filter; Down and Return go to the first line it leaves,
        // as in the texture list's find field.
        if (key == Qt::Key_Escape) {
            find_->clear();
            list_->setFocus();
            return true;
        }
        if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
            list_->setFocus();
            const QListWidgetItem* current = list_->currentItem();
            if (!current || current->isHidden() || !current->isSelected()) {
                for (int row = 0; row < list_->count(); ++row)
                    if (!list_->item(row)->isHidden()) {
                        list_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
                        break;
                    }
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

int TArchivePanel::Selected() const {
    const QListWidgetItem* item = list_->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toInt() : -1;
}

void TArchivePanel::Select(int index) {
    const QSignalBlocker quiet(list_);
    for (int row = 0; row < list_->count(); ++row)
        if (list_->item(row)->data(Qt::UserRole).toInt() == index) {
            list_->setCurrentRow(row);
            return;
        }
    list_->setCurrentRow(-1);
}

int TArchivePanel::Neighbour(int step) const {
    int row = list_->currentRow();
    if (row < 0)
        return -1;
    do
        row += step;
    while (row >= 0 && row < list_->count() && list_->item(row)->isHidden());
    return row >= 0 && row < list_->count() ? list_->item(row)->data(Qt::UserRole).toInt() : -1;
}

void TArchivePanel::Filter() {
    const QString text = find_->text().trimmed();
    for (int row = 0; row < list_->count(); ++row) {
        QListWidgetItem* item = list_->item(row);
        const std::string& name = names_[static_cast<std::size_t>(item->data(Qt::UserRole).toInt())];
        item->setHidden(!text.isEmpty() && !Q(kelmora::Cp1252ToUtf8(name)).contains(text, Qt::CaseInsensitive));
    }
}

void TArchivePanel::Sort() {
    const QSignalBlocker quiet(list_);
    const int selected = Selected();
    std::vector<QListWidgetItem*> items;
    while (list_->count() > 0)
        items.push_back(list_->takeItem(0));
    auto index = [](const QListWidgetItem* i) { return static_cast<std::size_t>(i->data(Qt::UserRole).toInt()); };
    std::stable_sort(items.begin(), items.end(), [&](const QListWidgetItem* a, const QListWidgetItem* b) {
        switch (order_->currentIndex()) {
        case 1: {
            const int c = Q(kelmora::Cp1252ToUtf8(names_[index(a)]))
                              .compare(Q(kelmora::Cp1252ToUtf8(names_[index(b)])), Qt::CaseInsensitive);
            return c != 0 ? c < 0 : index(a) < index(b);
        }
        case 2: return sizes_[index(a)] != sizes_[index(b)] ? sizes_[index(a)] > sizes_[index(b)] : index(a) < index(b);
        default: return index(a) < index(b);
        }
    });
    for (QListWidgetItem* item : items)
        list_->addItem(item);
    if (selected >= 0)
        Select(selected);
}
