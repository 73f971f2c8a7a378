#pragma once
// Shows one picture centred at its size, cut at the edges, or stretched to the
// whole control; never scrolls.
#include <QImage>
#include <QWidget>

class TPictureBox : public QWidget {
public:
    explicit TPictureBox(QWidget* parent = nullptr) : QWidget(parent) {}

    void SetPicture(const QImage& picture) {
        picture_ = picture;
        update();
    }
    void ClearPicture() { SetPicture(QImage()); }
    const QImage& Picture() const { return picture_; }

    void SetStretch(bool on) {
        stretch_ = on;
        update();
    }
    bool Stretch() const { return stretch_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage picture_;
    bool stretch_ = false;
};
