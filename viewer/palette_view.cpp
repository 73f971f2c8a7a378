#include "viewer/palette_view.h"

#include <QMouseEvent>
#include <QPainter>

TPaletteView::TPaletteView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFixedSize(kColumns * kCellWidth, kCellHeight);
}

void TPaletteView::SetColours(const std::vector<QColor>& colours) {
    colours_ = colours;
    marked_ = -1;
    const int rows = std::max<int>(1, (static_cast<int>(colours_.size()) + kColumns - 1) / kColumns);
    setFixedSize(kColumns * kCellWidth, rows * kCellHeight);
    update();
}

void TPaletteView::SetMarked(int entry) {
    marked_ = entry;
    update();
}

QRect TPaletteView::CellRect(int entry) const {
    return {(entry % kColumns) * kCellWidth, (entry / kColumns) * kCellHeight, kCellWidth, kCellHeight};
}

int TPaletteView::EntryAt(QPoint at) const {
    if (at.x() < 0 || at.y() < 0 || at.x() >= kColumns * kCellWidth)
        return -1;
    const int entry = (at.y() / kCellHeight) * kColumns + at.x() / kCellWidth;
    return entry < static_cast<int>(colours_.size()) ? entry : -1;
}

void TPaletteView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int i = 0; i < static_cast<int>(colours_.size()); ++i)
        p.fillRect(CellRect(i), colours_[static_cast<std::size_t>(i)]);
    if (marked_ >= 0) {
        // Black and white, so the mark shows on any colour.
        p.setPen(Qt::black);
        p.drawRect(CellRect(marked_).adjusted(0, 0, -1, -1));
        p.setPen(Qt::white);
        p.drawRect(CellRect(marked_).adjusted(1, 1, -2, -2));
    }
}

void TPaletteView::mouseMoveEvent(QMouseEvent* e) {
    if (Hovered)
        Hovered(EntryAt(e->position().toPoint()));
}

void TPaletteView::mousePressEvent(QMouseEvent* e) {
    const int entry = EntryAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton && entry >= 0 && Clicked)
        Clicked(entry);
}

void TPaletteView::leaveEvent(QEvent*) {
    if (Hovered)
        Hovered(-1);
}
