#pragma once
// The window's arrangement: the list column (the archive panel over the texture
// list, the palette strip, the alpha check box) beside the picture, the
// properties dock and the status bar. The widgets keep the names they have in
// the window's design.
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QDockWidget;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTreeWidget;
class TArchivePanel;
class TPaletteView;
class TPictureBox;
class TStatusPanel;
class TTextureListPanel;
class TTextureView;
class TUiServices;

struct TWindowLayout {
    // Makes the parts that are widgets and lays them out in window.
    void BuildLayout(QMainWindow& window, TUiServices& ui, std::function<std::uint32_t()> ticks);
    // The list column's width as the user left it last time (the user's settings).
    void SaveListWidth() const;

    TTextureListPanel* TextureList = nullptr;
    TTextureView* TextureView = nullptr;

    QSplitter* Splitter2 = nullptr;
    QFrame* Panel1 = nullptr;
    QSplitter* splArchive = nullptr;     // the archive's panel against the texture list
    TArchivePanel* pnlArchive = nullptr; // the dictionaries of an open game archive
    QListWidget* lbArchive = nullptr;
    QLineEdit* edtFind = nullptr;
    QComboBox* cmbxSort = nullptr;
    QListWidget* lb = nullptr;
    QFrame* Panel2 = nullptr;
    TPictureBox* ImgPal = nullptr;
    TPaletteView* palView = nullptr;
    QFrame* Panel3 = nullptr;
    QCheckBox* cbxAlpha = nullptr;
    QFrame* sbx = nullptr;
    TPictureBox* Image1 = nullptr;
    TStatusPanel* status = nullptr;
    QDockWidget* dockProperties = nullptr; // View > Properties
    QTreeWidget* tvProperties = nullptr;
    QLabel* StatusText = nullptr;
    QLabel* ReadoutText = nullptr;
    QLabel* LevelText = nullptr;
    QLabel* ZoomText = nullptr;
    QProgressBar* Progress = nullptr;
    QPushButton* CancelExport = nullptr;
};
