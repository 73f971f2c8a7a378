#include "viewer/window_layout.h"

#include <QDockWidget>
#include <QFrame>
#include <QListWidget>
#include <QTreeWidget>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>
#include <QVBoxLayout>

#include "viewer/archive_panel.h"
#include "viewer/picture_box.h"
#include "viewer/status_panel.h"
#include "viewer/texture_list_panel.h"
#include "viewer/texture_view.h"

namespace {

QFrame* Panel(QWidget* parent, QFrame::Shadow shadow) {
    auto* f = new QFrame(parent);
    f->setFrameShape(shadow == QFrame::Plain ? QFrame::NoFrame : QFrame::Panel);
    f->setFrameShadow(shadow);
    return f;
}

} // namespace

void TWindowLayout::SaveListWidth() const {
    QSettings("Kelmora", "Kelmora").setValue("layout/listWidth", Splitter2->sizes().value(0));
}

void TWindowLayout::BuildLayout(QMainWindow& window, TUiServices& ui, std::function<std::uint32_t()> ticks) {
    Splitter2 = new QSplitter(Qt::Horizontal, &window);
    Splitter2->setChildrenCollapsible(false);
    window.setCentralWidget(Splitter2);
    Panel1 = Panel(Splitter2, QFrame::Plain);
    auto* left = new QVBoxLayout(Panel1);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    // The archive's dictionaries above the texture list, sized against it by the user.
    splArchive = new QSplitter(Qt::Vertical, Panel1);
    splArchive->setChildrenCollapsible(false);
    pnlArchive = new TArchivePanel(splArchive);
    lbArchive = pnlArchive->List();
    UseDesignedLineHeight(lbArchive);
    pnlArchive->hide();
    TextureList = new TTextureListPanel(splArchive);
    splArchive->addWidget(pnlArchive);
    splArchive->addWidget(TextureList);
    splArchive->setStretchFactor(1, 2);
    left->addWidget(splArchive, 1);
    sbx = Panel(Splitter2, QFrame::Sunken);
    status = new TStatusPanel(&window);
    window.setStatusBar(status);
    TextureView = new TTextureView(Panel1, sbx, *status, ui, std::move(ticks));
    left->addWidget(TextureView->Panel2);
    left->addWidget(TextureView->Panel3);
    Splitter2->addWidget(Panel1);
    Splitter2->addWidget(sbx);
    Splitter2->setStretchFactor(1, 1);
    Panel1->setMinimumWidth(TextureView->ImgPal->width() + 2);
    Splitter2->setSizes({258, 400});
    // As wide as the user left it; a width no screen shows is not taken.
    const int remembered = QSettings("Kelmora", "Kelmora").value("layout/listWidth", 0).toInt();
    if (remembered >= Panel1->minimumWidth() && remembered <= 4000)
        Splitter2->setSizes({remembered, 400});
    dockProperties = new QDockWidget("Properties", &window);
    dockProperties->setObjectName("Properties");
    dockProperties->setWidget(TextureView->tvProperties);
    window.addDockWidget(Qt::RightDockWidgetArea, dockProperties);
    dockProperties->hide();

    edtFind = TextureList->edtFind;
    cmbxSort = TextureList->cmbxSort;
    lb = TextureList->lb;
    Panel2 = TextureView->Panel2;
    ImgPal = TextureView->ImgPal;
    palView = TextureView->palView;
    Panel3 = TextureView->Panel3;
    cbxAlpha = TextureView->cbxAlpha;
    Image1 = TextureView->Image1;
    tvProperties = TextureView->tvProperties;
    StatusText = status->StatusText;
    ReadoutText = status->ReadoutText;
    LevelText = status->LevelText;
    ZoomText = status->ZoomText;
    Progress = status->Progress;
    CancelExport = status->CancelExport;
}
