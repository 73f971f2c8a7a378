#pragma once
// The main window: the texture list, the picture with its palette strip, the
// menu and every command.
#include <QIcon>
#include <QMainWindow>
#include <map>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <optional>

#include "archive/game_archive.h"
#include "base/byte_source.h"
#include "dictionary/decode_state.h"
#include "dictionary/picture.h"
#include "dictionary/tex_entry.h"
#include "editing/dictionary_edit.h"
#include "export/export_run.h"

class QAction;
class QComboBox;
class QDockWidget;
class QTreeWidget;
class QLineEdit;
class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class TArchivePanel;
class TPictureBox;
class TPaletteView;
class TThumbnailWorker;
class TUiServices;
class TForm2;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // args are the command-line arguments without the program name. ui defaults to
    // the desktop's real boxes and choosers.
    explicit TForm1(const QStringList& args, std::shared_ptr<TUiServices> ui = nullptr,
                    std::function<std::uint32_t()> ticks = nullptr);
    ~TForm1() override;

    // Program-wide state.
    std::string CurrentFile;
    std::vector<kelmora::TTexEntry> Entries;
    std::vector<bool> ExportMarks;
    kelmora::DecodeState Decoded;          // TexWidth, TexHeight, TexDepth, Palette, Pixels
    kelmora::ExportSettings Export;        // ExpAlphas ... ExpFormat, DestDir
    std::string SubDirName;
    // Where the listed dictionary's bytes are: CurrentFile itself, or a range of
    // it when CurrentFile is a game archive.
    kelmora::SourceLocation CurrentSource;
    std::optional<kelmora::GameArchive> CurrentArchive;

    // Widgets.
    QFrame* Panel1;
    QSplitter* splArchive;     // the archive's panel against the texture list
    TArchivePanel* pnlArchive; // the dictionaries of an open game archive
    QListWidget* lbArchive;    // its list
    QLineEdit* edtFind;     // filters the list by name and mask name
    QComboBox* cmbxSort;    // number, name, size, depth
    QListWidget* lb;
    QFrame* Panel2;
    TPictureBox* ImgPal;     // the strip as designed, 256 x 10; kept, not shown
    TPaletteView* palView;   // the palette in cells large enough to see
    QFrame* Panel3;
    QCheckBox* cbxAlpha;
    QSplitter* Splitter2;
    QFrame* sbx;
    TPictureBox* Image1;
    QStatusBar* status;
    QDockWidget* dockProperties; // View > Properties
    QTreeWidget* tvProperties;
    QLabel* StatusText;
    QLabel* ReadoutText;  // the texel under the mouse
    QLabel* LevelText;    // "level 2 of 4 (64 x 128)" for textures with mip levels
    QLabel* ZoomText;     // "200%"
    QProgressBar* Progress;
    QPushButton* CancelExport;  // beside the progress bar while an export runs

    // Menu items.
    QAction* Open1;
    QAction* SaveImage1;
    QAction* AllTexturesinfile1;
    QAction* Exit1;
    QAction* Reload1;
    QAction* Stretch1;
    QAction* EnableFilter1;
    QAction* ba1;
    QAction* ShowPalette1;
    QAction* ShowTransparency1;
    QAction* ZoomIn1;
    QAction* ZoomOut1;
    QAction* ActualSize1;
    QAction* FitInWindow1;
    QAction* NextLevel1;
    QAction* PreviousLevel1;
    QAction* RegisterFileType1;
    QAction* CopyImage1;
    QAction* Undo1;
    QAction* Redo1;
    QAction* ReplaceTexture1;
    QAction* AddTexture1;
    QAction* RemoveTexture1;
    QAction* RenameTexture1;
    QAction* Save1;
    QAction* SaveAs1;
    QAction* Find1;
    QAction* DarkCheckerboard1;
    QAction* Properties1;
    QAction* Thumbnails1;
    QAction* NextDictionary1;
    QAction* PreviousDictionary1;
    QAction* About1;
    QAction* ExtractDictionary1 = nullptr;
    QAction* ReplaceDictionary1 = nullptr;
    QAction* AddDictionary1 = nullptr;
    QAction* RemoveDictionary1 = nullptr;
    QAction* RenameDictionary1 = nullptr;

    // Commands.
    void Open1Click();
    void lbClick();
    void lbArchiveClick();
    void cbxAlphaClick();
    void Reload1Click();
    void EnableFilter1Click();
    void ba1Click();
    void Stretch1Click();
    void ShowPalette1Click();
    void ShowTransparency1Click();
    void ZoomIn1Click();
    void ZoomOut1Click();
    void ActualSize1Click();
    void FitInWindow1Click();
    void NextLevel1Click();
    void PreviousLevel1Click();
    void Exit1Click();
    void About1Click();
    void SaveImage1Click();
    void AllTexturesinfile1Click();
    void RegisterFileType1Click();
    // The archive panel's commands: whole dictionaries in and out of the archive.
    void ExtractDictionary1Click();
    void ReplaceDictionary1Click();
    void AddDictionary1Click();
    void RemoveDictionary1Click();
    void RenameDictionary1Click();
    void CopyImage1Click();
    void Thumbnails1Click();
    // Asks the worker for the thumbnails the grid lacks, those in view first.
    void RequestThumbnails();
    // Thumbnails made so far, for tests and the grid.
    std::size_t ThumbnailsReady() const { return thumbnails_.size(); }
    void Undo1Click();
    void Redo1Click();
    void ReplaceTexture1Click();
    void AddTexture1Click();
    void RemoveTexture1Click();
    void RenameTexture1Click();
    void Save1Click();
    void SaveAs1Click();
    // Replaces the shown texture by an image file (Replace Texture..., a drop).
    void ReplaceShownTexture(const std::string& imagePath);
    // Whether the dictionary has edits not yet saved.
    bool Modified() const { return modified_; }
    // Before the open dictionary goes away: false when the user keeps it.
    bool MayLeaveDictionary();
    void Find1Click();
    // Shows only the lines whose name or mask name holds the find text, any case.
    void ApplyFilter();
    // Orders the lines by cmbxSort's key; each keeps its texture's own number.
    void ApplySort();
    void DarkCheckerboard1Click();
    void NextDictionary1Click();
    void PreviousDictionary1Click();

    void LoadDictionary();
    void ShowTexture();
    // The line selected by the user or the program; -1 when none is.
    int SelectedRow() const;
    // The entry index of that line (lines keep their texture when sorted); -1 for none.
    int SelectedEntry() const;
    // Opens a dictionary or a game archive as "&Open..." does after its dialog.
    void OpenFile(const std::string& path);
    // Lists the dictionaries of the game archive CurrentFile and shows the one
    // named select, or the first.
    void LoadArchive(const std::string& select = {});
    int LevelShown() const { return levelShown_; }
    void ExportSelected();

    // Selects a list line as the program does: no lbClick.
    void SelectLine(int row);
    bool MaximisePosted() const { return maximisePosted_; }
    // Runs a command as the menu does: an error that escapes it is shown in the
    // default error box and the program goes on.
    void RunCommand(const std::function<void()>& command);
    // The default error box's text: "." is added when the last character sorts after it.
    static QString ErrorBoxText(const std::string& what);
    // Called by the display right after it has let pending input run.
    std::function<void()> AfterPendingInput;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void FormCreate(const QStringList& args);
    void BuildLayout();
    void BuildMenu();
    void ClearDisplay();
    void LoadCurrentFile();
    // Whether path can be opened: false after telling the user why not; throws
    // for files that cannot be read.
    bool MayOpen(const std::string& path);
    void Unstretch();
    void ShowZoom();
    // The dictionary `step` places after the open one: in its archive, or among the
    // .txd files of its folder in name order; empty when there is none.
    void StepDictionary(int step);
    // The file name shown in the caption: "x.txd", or "x.img/y.txd" inside an archive.
    QString ShownFileName() const;
    // The archive entry whose textures are listed; null for a dictionary file.
    const kelmora::ArchiveEntry* ShownArchiveEntry() const;
    void ShowLevel(int level);
    void ShowReadout(QPoint texel);
    // Marks the texels of one palette entry in the picture (-1: none).
    void MarkEntry(int entry);
    void ShowPicture(bool keepView);
    void FillProperties(const kelmora::ByteSource& source, const kelmora::TTexEntry& entry,
                        const kelmora::DecodeState* picture);
    QImage TransparencyPicture() const;
    void SetStatus(const QString& text);
    std::string DecimalSeparator() const; // the user's, as UTF-8

    // The dictionary's bytes as edited, or null while they are the file's.
    std::shared_ptr<const std::vector<std::uint8_t>> edited_;
    std::vector<std::shared_ptr<const std::vector<std::uint8_t>>> undo_, redo_;
    std::vector<QString> undoLabels_, redoLabels_;
    // The bytes the file holds since it was read or saved: edits are unsaved
    // while the shown bytes are others.
    std::shared_ptr<const std::vector<std::uint8_t>> saved_;
    bool modified_ = false;
    // The bytes every walk and display reads: the edits, or the file anew.
    std::shared_ptr<const kelmora::ByteSource> OpenShown() const;
    // Runs an edit on the dictionary's bytes; the result becomes the shown dictionary.
    // label names the edit in the Undo and Redo items ("Replace wheel").
    void ApplyEdit(const std::function<void(kelmora::DictionaryEdit&)>& edit, int selectEntry, const QString& label);
    void UpdateUndoActions();
    // The archive commands, enabled while an archive is open.
    void UpdateArchiveActions();
    // The dictionary of the archive panel's selected line; null for none.
    const kelmora::ArchiveEntry* SelectedArchiveEntry() const;
    // Reads the archive's table again and shows the dictionary named select.
    void ReloadArchive(const std::string& select);
    // Runs an edit whose refusal is shown in a plain box: true when it was refused.
    bool RefusedEdit(const std::function<void()>& edit);
    void SetBytes(std::shared_ptr<const std::vector<std::uint8_t>> bytes, bool modified, int selectEntry);
    void ForgetEdits();

    std::unique_ptr<TThumbnailWorker> thumbnailer_;
    std::map<int, QIcon> thumbnails_; // by entry, for the dictionary of generation_

    std::shared_ptr<TUiServices> ui_;
    std::function<std::uint32_t()> ticks_;
    kelmora::Picture shown_;       // the picture on screen, as the display built it
    bool displayOk_ = false;       // the last display ended with a picture
    bool settingSelection_ = false;
    bool maximisePosted_ = false;
    bool busy_ = false;
    bool cancelRequested_ = false;
    int levelShown_ = 0;
    int markedEntry_ = -1;
    QSize shownSize_; // level 0's size, at which every level is shown
    std::size_t levelCount_ = 1;
    std::uint64_t generation_ = 0; // counts the dictionaries loaded
};

extern TForm1* Form1;
