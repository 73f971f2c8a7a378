#pragma once
// Shows one picture at a zoom that survives new pictures: actual size, fitted
// to the box (whole steps when that enlarges), or a fixed zoom. Scroll bars, the
// wheel, the keys and dragging move a picture larger than the box; texels stay
// sharp above 100% and are area-averaged below it. Or the picture is stretched
// to the whole control. Optionally over a light or dark checkerboard.
#include <QImage>
#include <QPointF>
#include <QWidget>
#include <functional>

class QScrollBar;

class TPictureBox : public QWidget {
public:
    explicit TPictureBox(QWidget* parent = nullptr);

    enum class ZoomMode { Fixed, Actual, Fit };

    // A new picture is shown centred at the zoom its mode gives. logicalSize is the
    // size it is shown at, at 100% (a mip level at its texture's size); empty for
    // the picture's own size.
    void SetPicture(const QImage& picture, QSize logicalSize = {});
    void ClearPicture() { SetPicture(QImage()); }
    const QImage& Picture() const { return picture_; }
    QSize LogicalSize() const { return logical_.isEmpty() ? picture_.size() : logical_; }

    void SetStretch(bool on);
    bool Stretch() const { return stretch_; }
    void SetCheckerboard(bool on);
    void SetDarkCheckerboard(bool dark);
    bool DarkCheckerboard() const { return dark_; }

    static constexpr double kMinZoom = 1.0 / 16, kMaxZoom = 32;
    double Zoom() const { return zoom_; }
    ZoomMode Mode() const { return mode_; }
    // A fixed zoom, kept for the pictures that follow.
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();
    void SetZoomMode(ZoomMode mode);
    // The zoom Fit gives the present picture: the largest at which it fits, in whole
    // steps when that enlarges it.
    double FitZoom() const;
    // Zooms keeping the picture point under the widget point `anchor` in place.
    void ZoomAround(double zoom, const QPointF& anchor);

    // How far the picture is moved from the centre, in widget pixels.
    QPointF Pan() const { return pan_; }
    void SetPan(const QPointF& pan);
    // The part of the widget the picture is shown in: all of it but the scroll bars.
    QRect Viewport() const;
    // Where the picture lies in the widget.
    QRectF PictureRect() const;
    // The picture's texel under a widget point, or (-1, -1).
    QPoint TexelAt(const QPointF& at) const;
    QScrollBar* HorizontalBar() const { return hbar_; }
    QScrollBar* VerticalBar() const { return vbar_; }

    std::function<void()> ZoomChanged;
    // The texel under the mouse; (-1, -1) when it is outside the picture.
    std::function<void(QPoint)> Hovered;

protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    QPointF ClampPan(const QPointF& pan) const;
    void ApplyMode();
    void UpdateBars();
    void Hover();

    QImage picture_;
    QSize logical_;
    QImage smooth_; // the picture area-averaged to its size on screen, below 100%
    bool stretch_ = false;
    bool checkerboard_ = false;
    bool dark_ = false;
    double zoom_ = 1;
    ZoomMode mode_ = ZoomMode::Actual;
    QPointF pan_;
    bool dragging_ = false;
    QPointF dragFrom_;
    bool mouseInside_ = false;
    QPointF mouseAt_;
    QScrollBar* hbar_;
    QScrollBar* vbar_;
    bool syncing_ = false;
};
