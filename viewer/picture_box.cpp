#include "viewer/picture_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Zoom steps: every power of two from 1/16 to 32 and, above 1, one step between.
const double kSteps[] = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 2, 1, 1.5, 2, 3, 4, 6, 8, 12, 16, 24, 32};

// Light: white and light grey; dark: two dark greys, so that white glyphs show.
QImage Checkerboard(bool dark) {
    QImage tile(16, 16, QImage::Format_RGB32);
    tile.fill(dark ? QColor(51, 51, 51) : QColor(Qt::white));
    QPainter p(&tile);
    const QColor other = dark ? QColor(85, 85, 85) : QColor(204, 204, 204);
    p.fillRect(0, 0, 8, 8, other);
    p.fillRect(8, 8, 8, 8, other);
    return tile;
}

// The next zoom step above (up) or below the given zoom, within the range.
double NextStep(double zoom, bool up) {
    if (up) {
        const double* next = std::upper_bound(std::begin(kSteps), std::end(kSteps), zoom * 1.0001);
        return next == std::end(kSteps) ? TPictureBox::kMaxZoom : *next;
    }
    const double* at = std::lower_bound(std::begin(kSteps), std::end(kSteps), zoom / 1.0001);
    return at == std::begin(kSteps) ? TPictureBox::kMinZoom : *(at - 1);
}

} // namespace

TPictureBox::TPictureBox(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void TPictureBox::SetPicture(const QImage& picture) {
    picture_ = picture;
    pan_ = {}; // every first view is centred
    update();
}

void TPictureBox::SetStretch(bool on) {
    stretch_ = on;
    update();
}

void TPictureBox::SetCheckerboard(bool on) {
    checkerboard_ = on;
    update();
}

void TPictureBox::SetDarkCheckerboard(bool dark) {
    dark_ = dark;
    update();
}

void TPictureBox::SetZoom(double zoom) {
    ZoomAround(zoom, QPointF(width() / 2.0, height() / 2.0));
}

void TPictureBox::ZoomAround(double zoom, const QPointF& anchor) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    // The picture point under the anchor stays under it.
    const QPointF centre(width() / 2.0, height() / 2.0);
    const QPointF fromCentre = anchor - centre - pan_;
    pan_ = anchor - centre - fromCentre * (zoom / zoom_);
    zoom_ = zoom;
    pan_ = ClampPan(pan_);
    update();
    if (ZoomChanged)
        ZoomChanged();
}

void TPictureBox::ZoomIn() { SetZoom(NextStep(zoom_, true)); }

void TPictureBox::ZoomOut() { SetZoom(NextStep(zoom_, false)); }

void TPictureBox::FitInWindow() {
    if (picture_.isNull() || width() <= 0 || height() <= 0)
        return;
    pan_ = {};
    SetZoom(std::min(width() / double(picture_.width()), height() / double(picture_.height())));
}

QRectF TPictureBox::PictureRect() const {
    if (stretch_)
        return rect();
    const QSizeF size(picture_.width() * zoom_, picture_.height() * zoom_);
    const QPointF topLeft(std::floor((width() - size.width()) / 2 + pan_.x()),
                          std::floor((height() - size.height()) / 2 + pan_.y()));
    return {topLeft, size};
}

QPoint TPictureBox::TexelAt(const QPointF& at) const {
    if (picture_.isNull())
        return {-1, -1};
    const QRectF r = PictureRect();
    if (!r.contains(at))
        return {-1, -1};
    const int x = static_cast<int>((at.x() - r.left()) * picture_.width() / r.width());
    const int y = static_cast<int>((at.y() - r.top()) * picture_.height() / r.height());
    if (x < 0 || y < 0 || x >= picture_.width() || y >= picture_.height())
        return {-1, -1};
    return {x, y};
}

// A picture larger than the box may be moved until its edge meets the box's; a
// smaller one stays centred on that side.
QPointF TPictureBox::ClampPan(const QPointF& pan) const {
    const double excessX = std::max(0.0, picture_.width() * zoom_ - width()) / 2;
    const double excessY = std::max(0.0, picture_.height() * zoom_ - height()) / 2;
    return {std::clamp(pan.x(), -excessX, excessX), std::clamp(pan.y(), -excessY, excessY)};
}

void TPictureBox::SetPan(const QPointF& pan) {
    pan_ = ClampPan(pan);
    update();
}

void TPictureBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false); // texels stay sharp
    const QRectF target = PictureRect();
    if (checkerboard_)
        p.fillRect(target, QBrush(Checkerboard(dark_)));
    p.drawImage(target, picture_);
}

void TPictureBox::wheelEvent(QWheelEvent* e) {
    if (!(e->modifiers() & Qt::ControlModifier) || stretch_ || picture_.isNull()) {
        e->ignore();
        return;
    }
    const int steps = e->angleDelta().y() / 120;
    double zoom = zoom_;
    for (int i = 0; i < std::abs(steps); ++i)
        zoom = NextStep(zoom, steps > 0);
    ZoomAround(zoom, e->position());
    e->accept();
}

void TPictureBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && !stretch_) {
        dragging_ = true;
        dragFrom_ = e->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TPictureBox::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_) {
        SetPan(pan_ + (e->position() - dragFrom_));
        dragFrom_ = e->position();
    }
    if (Hovered)
        Hovered(TexelAt(e->position()));
}

void TPictureBox::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        unsetCursor();
    }
}

void TPictureBox::leaveEvent(QEvent*) {
    if (Hovered)
        Hovered({-1, -1});
}

void TPictureBox::resizeEvent(QResizeEvent*) { pan_ = ClampPan(pan_); }
