#include "viewer/status_panel.h"

#include <algorithm>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

TStatusPanel::TStatusPanel(QWidget* parent) : QStatusBar(parent) {
    StatusText = new QLabel(this);
    addWidget(StatusText, 1);
    ReadoutText = new QLabel(this);
    addPermanentWidget(ReadoutText);
    LevelText = new QLabel(this);
    addPermanentWidget(LevelText);
    ZoomText = new QLabel("100%", this);
    addPermanentWidget(ZoomText);
    Progress = new QProgressBar(this);
    // The progress text in one line, however many textures.
    Progress->setMinimumWidth(Progress->fontMetrics().horizontalAdvance("Texture 00000 of 00000") + 40);
    Progress->hide();
    addPermanentWidget(Progress);
    CancelExport = new QPushButton("Cancel", this);
    CancelExport->hide();
    CancelExport->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(CancelExport, &QPushButton::clicked, this, [this] {
        if (Cancelled)
            Cancelled();
    });
    addPermanentWidget(CancelExport);
}

void TStatusPanel::SetStatus(const QString& text) { StatusText->setText(text); }
QString TStatusPanel::Status() const { return StatusText->text(); }

void TStatusPanel::BeginProgress() {
    Progress->setValue(0);
    Progress->show();
    CancelExport->show();
}

void TStatusPanel::ShowProgress(std::size_t done, std::size_t count) {
    Progress->setMaximum(static_cast<int>(count));
    Progress->setValue(static_cast<int>(done));
    Progress->setFormat(QString("Texture %1 of %2").arg(done + 1).arg(count));
}

void TStatusPanel::ShowProgress(std::uint64_t done, std::uint64_t count, const QString& label) {
    // Per mille: a bar's range is an int, and a file's size need not fit one.
    Progress->setMaximum(1000);
    Progress->setValue(count == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(done, count) * 1000 / count));
    Progress->setFormat(label + ": %p%");
}

void TStatusPanel::EndProgress() {
    Progress->hide();
    CancelExport->hide();
}
