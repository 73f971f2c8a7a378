#pragma once
// The status bar: the status text, the texel under the mouse, the level and the
// zoom, and while an export runs its progress with a Cancel button.
#include <QStatusBar>
#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

class TStatusPanel : public QStatusBar {
public:
    explicit TStatusPanel(QWidget* parent);

    void SetStatus(const QString& text);
    QString Status() const;
    // Shows the progress bar and Cancel; Cancelled runs on a click or Escape.
    void BeginProgress();
    void ShowProgress(std::size_t done, std::size_t count);
    // Other work's progress: "label: 40%".
    void ShowProgress(std::uint64_t done, std::uint64_t count, const QString& label);
    void EndProgress();
    std::function<void()> Cancelled;

    QLabel* StatusText;
    QLabel* ReadoutText;  // the texel under the mouse
    QLabel* LevelText;    // "level 2 of 4 (64 x 128)" for textures with mip levels
    QLabel* ZoomText;     // "200%"
    QProgressBar* Progress;
    QPushButton* CancelExport;
};
