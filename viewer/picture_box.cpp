#include "viewer/picture_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Zoom steps: 1/16 ... 25, 33, 50, 67, 100, 150, 200, 300, 400 ... 3200%.
const double kSteps[] = {1.0 / 16, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1, 1.5,
                         2,        3,       4,       6,       8,       12,      16,      24, 32};

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

TPictureBox::TPictureBox(QWidget* parent)
    : QWidget(parent), hbar_(new QScrollBar(Qt::Horizontal, this)), vbar_(new QScrollBar(Qt::Vertical, this)) {
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    hbar_->hide();
    vbar_->hide();
    // A bar moves the picture the other way: scrolling right shows its right part.
    connect(hbar_, &QScrollBar::valueChanged, this, [this](int v) {
        if (!syncing_)
            SetPan({-double(v), pan_.y()});
    });
    connect(vbar_, &QScrollBar::valueChanged, this, [this](int v) {
        if (!syncing_)
            SetPan({pan_.x(), -double(v)});
    });
}

void TPictureBox::SetPicture(const QImage& picture, QSize logicalSize) {
    picture_ = picture;
    logical_ = logicalSize;
    smooth_ = QImage();
    pan_ = {}; // every first view is centred
    ApplyMode();
    update();
}

void TPictureBox::SetStretch(bool on) {
    stretch_ = on;
    UpdateBars();
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
    mode_ = ZoomMode::Fixed;
    const QRect v = Viewport();
    ZoomAround(zoom, QPointF(v.width() / 2.0, v.height() / 2.0));
}

void TPictureBox::SetZoomMode(ZoomMode mode) {
    mode_ = mode;
    pan_ = {};
    ApplyMode();
}

void TPictureBox::ApplyMode() {
    const QRect v = Viewport();
    const QPointF centre(v.width() / 2.0, v.height() / 2.0);
    if (mode_ == ZoomMode::Actual)
        ZoomAround(1, centre);
    else if (mode_ == ZoomMode::Fit && !picture_.isNull())
        ZoomAround(FitZoom(), centre);
    else
        ZoomAround(zoom_, centre);
}

double TPictureBox::FitZoom() const {
    const QSize size = LogicalSize();
    if (size.isEmpty())
        return 1;
    // The box without bars: a fitted picture needs none.
    const double fit = std::min(width() / double(size.width()), height() / double(size.height()));
    if (fit >= 1)
        return std::clamp(std::floor(fit), 1.0, kMaxZoom); // whole steps keep texels square
    return std::max(fit, kMinZoom);
}

void TPictureBox::ZoomAround(double zoom, const QPointF& anchor) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    // The picture point under the anchor stays under it.
    const QRect v = Viewport();
    const QPointF centre(v.width() / 2.0, v.height() / 2.0);
    const QPointF fromCentre = anchor - centre - pan_;
    pan_ = anchor - centre - fromCentre * (zoom / zoom_);
    if (zoom != zoom_)
        smooth_ = QImage();
    zoom_ = zoom;
    UpdateBars();
    pan_ = ClampPan(pan_);
    UpdateBars();
    update();
    if (ZoomChanged)
        ZoomChanged();
    Hover(); // the readout follows every zoom
}

void TPictureBox::ZoomIn() {
    mode_ = ZoomMode::Fixed;
    SetZoom(NextStep(zoom_, true));
}

void TPictureBox::ZoomOut() {
    mode_ = ZoomMode::Fixed;
    SetZoom(NextStep(zoom_, false));
}

QRect TPictureBox::Viewport() const {
    QRect r = rect();
    if (hbar_->isVisible())
        r.setBottom(r.bottom() - hbar_->height());
    if (vbar_->isVisible())
        r.setRight(r.right() - vbar_->width());
    return r;
}

QRectF TPictureBox::PictureRect() const {
    if (stretch_)
        return rect();
    const QRect v = Viewport();
    const QSize logical = LogicalSize();
    const QSizeF size(logical.width() * zoom_, logical.height() * zoom_);
    const QPointF topLeft(std::floor((v.width() - size.width()) / 2 + pan_.x()),
                          std::floor((v.height() - size.height()) / 2 + pan_.y()));
    return {topLeft, size};
}

QPoint TPictureBox::TexelAt(const QPointF& at) const {
    if (picture_.isNull())
        return {-1, -1};
    const QRectF r = PictureRect();
    if (!r.contains(at) || !Viewport().contains(at.toPoint()))
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
    const QRect v = Viewport();
    const QSize logical = LogicalSize();
    const double excessX = std::max(0.0, logical.width() * zoom_ - v.width()) / 2;
    const double excessY = std::max(0.0, logical.height() * zoom_ - v.height()) / 2;
    return {std::clamp(pan.x(), -excessX, excessX), std::clamp(pan.y(), -excessY, excessY)};
}

// Scroll bars wherever the picture is larger than the box, showing where it is.
void TPictureBox::UpdateBars() {
    syncing_ = true;
    const QSize logical = LogicalSize();
    const double w = logical.width() * zoom_, h = logical.height() * zoom_;
    const bool show = !stretch_ && !picture_.isNull();
    // A bar takes room from the other direction, which may then need one too.
    bool needH = show && w > width(), needV = show && h > height();
    needH = show && w > width() - (needV ? vbar_->sizeHint().width() : 0);
    needV = show && h > height() - (needH ? hbar_->sizeHint().height() : 0);
    const int barH = hbar_->sizeHint().height(), barV = vbar_->sizeHint().width();
    hbar_->setVisible(needH);
    vbar_->setVisible(needV);
    hbar_->setGeometry(0, height() - barH, width() - (needV ? barV : 0), barH);
    vbar_->setGeometry(width() - barV, 0, barV, height() - (needH ? barH : 0));
    const QRect v = Viewport();
    const int excessX = static_cast<int>(std::ceil(std::max(0.0, w - v.width()) / 2));
    const int excessY = static_cast<int>(std::ceil(std::max(0.0, h - v.height()) / 2));
    hbar_->setRange(-excessX, excessX);
    vbar_->setRange(-excessY, excessY);
    hbar_->setPageStep(v.width());
    vbar_->setPageStep(v.height());
    hbar_->setSingleStep(32);
    vbar_->setSingleStep(32);
    hbar_->setValue(static_cast<int>(std::lround(-pan_.x())));
    vbar_->setValue(static_cast<int>(std::lround(-pan_.y())));
    syncing_ = false;
}

void TPictureBox::SetPan(const QPointF& pan) {
    pan_ = ClampPan(pan);
    UpdateBars();
    update();
    Hover();
}

void TPictureBox::Hover() {
    if (Hovered && mouseInside_)
        Hovered(TexelAt(mouseAt_));
}

void TPictureBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.setClipRect(stretch_ ? rect() : Viewport());
    const QRectF target = PictureRect();
    if (checkerboard_)
        p.fillRect(target, QBrush(Checkerboard(dark_)));
    const bool shrunk = !stretch_ && target.width() < picture_.width() - 0.5;
    if (shrunk) {
        // Below 100% every screen pixel shows the average of the texels it covers,
        // so thin features fade instead of vanishing.
        const QSize size(std::max(1, int(std::lround(target.width()))), std::max(1, int(std::lround(target.height()))));
        if (smooth_.size() != size)
            // Palettised pictures are averaged in colour, not in palette indices.
            smooth_ = picture_.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                          .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        p.drawImage(target.topLeft(), smooth_);
        return;
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform, false); // texels stay sharp
    p.drawImage(target, picture_);
}

void TPictureBox::wheelEvent(QWheelEvent* e) {
    if (stretch_ || picture_.isNull()) {
        e->ignore();
        return;
    }
    if (e->modifiers() & Qt::ControlModifier) {
        const int steps = e->angleDelta().y() / 120;
        double zoom = zoom_;
        for (int i = 0; i < std::abs(steps); ++i)
            zoom = NextStep(zoom, steps > 0);
        mode_ = ZoomMode::Fixed;
        ZoomAround(zoom, e->position());
        e->accept();
        return;
    }
    // The plain wheel scrolls, down and up; with Shift, or a sideways wheel, across.
    QPoint delta = e->angleDelta();
    if (e->modifiers() & Qt::ShiftModifier)
        delta = {delta.y(), delta.x()};
    const QPointF before = pan_;
    SetPan(pan_ + QPointF(delta.x(), delta.y()) * (48.0 / 120));
    if (pan_ == before)
        e->ignore();
    else
        e->accept();
}

void TPictureBox::keyPressEvent(QKeyEvent* e) {
    const QRect v = Viewport();
    const QPointF far(1e9, 1e9);
    if (stretch_ || picture_.isNull() || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QWidget::keyPressEvent(e);
        return;
    }
    switch (e->key()) {
    case Qt::Key_Left: SetPan(pan_ + QPointF(32, 0)); break;
    case Qt::Key_Right: SetPan(pan_ - QPointF(32, 0)); break;
    case Qt::Key_Up: SetPan(pan_ + QPointF(0, 32)); break;
    case Qt::Key_Down: SetPan(pan_ - QPointF(0, 32)); break;
    case Qt::Key_PageUp: SetPan(pan_ + QPointF(0, v.height() * 0.9)); break;
    case Qt::Key_PageDown: SetPan(pan_ - QPointF(0, v.height() * 0.9)); break;
    case Qt::Key_Home: SetPan(far); break;   // the top left corner
    case Qt::Key_End: SetPan(-far); break;   // the bottom right corner
    default: QWidget::keyPressEvent(e); return;
    }
    e->accept();
}

void TPictureBox::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    if (e->button() == Qt::LeftButton && !stretch_) {
        dragging_ = true;
        dragFrom_ = e->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TPictureBox::mouseMoveEvent(QMouseEvent* e) {
    mouseInside_ = true;
    mouseAt_ = e->position();
    if (dragging_) {
        SetPan(pan_ + (e->position() - dragFrom_));
        dragFrom_ = e->position();
        return; // SetPan has said where the pointer is
    }
    Hover();
}

void TPictureBox::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        unsetCursor();
    }
}

void TPictureBox::leaveEvent(QEvent*) {
    mouseInside_ = false;
    if (Hovered)
        Hovered({-1, -1});
}

void TPictureBox::resizeEvent(QResizeEvent*) {
    if (mode_ == ZoomMode::Fit && !picture_.isNull()) {
        ApplyMode();
        return;
    }
    UpdateBars();
    pan_ = ClampPan(pan_);
    UpdateBars();
}
