#pragma once
// Shows one picture: centred at the chosen zoom, texels kept sharp, dragged with
// the mouse when it is larger than the box; or stretched to the whole control.
// Optionally over a grey and white checkerboard, for pictures with alpha.
#include <QImage>
#include <QPointF>
#include <QWidget>
#include <functional>

class TPictureBox : public QWidget {
public:
    explicit TPictureBox(QWidget* parent = nullptr);

    // A new picture is shown centred; the zoom stays.
    void SetPicture(const QImage& picture);
    void ClearPicture() { SetPicture(QImage()); }
    const QImage& Picture() const { return picture_; }

    void SetStretch(bool on);
    bool Stretch() const { return stretch_; }
    void SetCheckerboard(bool on);
    void SetDarkCheckerboard(bool dark);
    bool DarkCheckerboard() const { return dark_; }

    // Zoom from 1/16 to 32; the steps between are fixed.
    static constexpr double kMinZoom = 1.0 / 16, kMaxZoom = 32;
    double Zoom() const { return zoom_; }
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();
    // The largest zoom at which the whole picture fits, aspect ratio kept.
    void FitInWindow();
    // Zooms keeping the picture point under the widget point `anchor` in place.
    void ZoomAround(double zoom, const QPointF& anchor);

    // How far the picture is moved from the centre, in widget pixels.
    QPointF Pan() const { return pan_; }
    void SetPan(const QPointF& pan);
    // Where the picture lies in the widget.
    QRectF PictureRect() const;
    // The picture's texel under a widget point, or (-1, -1).
    QPoint TexelAt(const QPointF& at) const;

    std::function<void()> ZoomChanged;
    // The texel under the mouse; (-1, -1) when it is outside the picture.
    std::function<void(QPoint)> Hovered;

protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    QPointF ClampPan(const QPointF& pan) const;

    QImage picture_;
    bool stretch_ = false;
    bool checkerboard_ = false;
    bool dark_ = false;
    double zoom_ = 1;
    QPointF pan_;
    bool dragging_ = false;
    QPointF dragFrom_;
};
