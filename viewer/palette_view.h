#pragma once
// The palette as a grid of cells large enough to see: 16 to a row. Says which
// entry the mouse is over and which one was clicked.
#include <QColor>
#include <QWidget>
#include <functional>
#include <vector>

class TPaletteView : public QWidget {
public:
    static constexpr int kColumns = 16, kCellWidth = 16, kCellHeight = 10;

    explicit TPaletteView(QWidget* parent = nullptr);
    // The colours of the entries, 16 or 256; none clears the view.
    void SetColours(const std::vector<QColor>& colours);
    const std::vector<QColor>& Colours() const { return colours_; }
    // The entry drawn marked, or -1.
    void SetMarked(int entry);
    int Marked() const { return marked_; }
    // The entry at a point of the widget, or -1.
    int EntryAt(QPoint at) const;
    QRect CellRect(int entry) const;

    std::function<void(int entry)> Hovered; // -1 when the mouse leaves the cells
    std::function<void(int entry)> Clicked;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent*) override;

private:
    std::vector<QColor> colours_;
    int marked_ = -1;
};
