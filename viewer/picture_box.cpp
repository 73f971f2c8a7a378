#include "viewer/picture_box.h"

#include <QPainter>

void TPictureBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull())
        return;
    QPainter p(this);
    if (stretch_) {
        p.drawImage(rect(), picture_);
        return;
    }
    const QPoint at((width() - picture_.width()) / 2, (height() - picture_.height()) / 2);
    p.drawImage(at, picture_);
}
