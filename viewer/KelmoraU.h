#pragma once
// The main window: the coordinator of its parts (the open document, the texture
// list, the texture view, the status bar, the export, the edits and the archive
// commands) and the home of the menu's handlers.
#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/texture_search.h"
#include "viewer/action_registry.h"
#include "viewer/dictionary_session.h"
#include "viewer/texture_view.h"
#include "viewer/window_layout.h"

class TArchiveCommands;
class TBackgroundWork;
class TDiskWatch;
class TEditCommands;
class TExportController;
class TFindAllDialog;

// The widgets keep their design's names (TWindowLayout), and so do the menu's
// actions (TActionRegistry), whose handlers here are named after them.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // args are the command-line arguments without the program name. ui defaults to
    // the desktop's real boxes and choosers.
    explicit TForm1(const QStringList& args, std::shared_ptr<TUiServices> ui = nullptr,
                    std::function<std::uint32_t()> ticks = nullptr);
    ~TForm1() override;

    // The parts.
    TDictionarySession& Session() { return session_; }
    TTextureListPanel& List() { return *list_; }
    TTextureView& View() { return *view_; }
    TExportController& Exporter() { return *export_; }
    TEditCommands& Edits() { return *edits_; }
    TFindAllDialog* FindAll() { return findAll_; }
    // The menu's actions, and the window's widgets by their design's names.
    QAction* Action(TAct a) const { return (*actions_)[a]; }
    const TWindowLayout& Layout() const { return layout_; }

public slots:
    // The menu's handlers.
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
    void ExtractDictionary1Click();
    void ReplaceDictionary1Click();
    void AddDictionary1Click();
    void RemoveDictionary1Click();
    void RenameDictionary1Click();
    void ImportFolder1Click();
    void CopyImage1Click();
    void Thumbnails1Click();
    void Properties1Click();
    void Undo1Click();
    void Redo1Click();
    void ReplaceTexture1Click();
    void AddTexture1Click();
    void RemoveTexture1Click();
    void RenameTexture1Click();
    void Save1Click();
    void SaveAs1Click();
    void ConvertDictionary1Click();
    void Find1Click();
    void FindAll1Click();
    void DarkCheckerboard1Click();
    void NextDictionary1Click();
    void PreviousDictionary1Click();

public:
    // Reads the session's dictionary anew and lists it, with this entry selected
    // where it exists, or the first line.
    void LoadDictionary(int selectEntry = -1);
    void ShowTexture();
    void ShowLevel(int level);
    // Opens a dictionary or a game archive as "&Open..." does after its dialog.
    void OpenFile(const std::string& path);
    // Lists the dictionaries of the game archive the session's file is and shows
    // the one named select, or the first.
    void LoadArchive(const std::string& select = {});
    // Shows a texture Find in All Dictionaries found.
    void OpenMatch(const kelmora::TextureMatch& match);
    // Before the open dictionary goes away: false when the user keeps it.
    bool MayLeaveDictionary();

    bool MaximisePosted() const { return maximisePosted_; }
    // Runs a command as the menu does: an error that escapes it is shown in the
    // default error box and the program goes on. None runs while an export does.
    void RunCommand(const std::function<void()>& command);

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void FormCreate(const QStringList& args);
    void BuildLayout();
    // Lists the session's dictionary as it is (after an edit, an undo, a save).
    void ListDictionary(int selectEntry);
    void LoadCurrentFile();
    // Whether path can be opened: false after telling the user why not; throws
    // for files that cannot be read.
    bool MayOpen(const std::string& path);
    void Unstretch();
    // The dictionary `step` places after the open one: in its archive, or among the
    // .txd files of its folder in name order.
    void StepDictionary(int step);
    // The actions enabled and named as the document now is.
    void FollowDocument();
    TViewOptions ViewOptions() const;
    // Reads the open file again (an archive's table too), the same dictionary and
    // entry shown where they still are.
    void ReadAgain(int selectEntry);
    // The title: "Kelmora VERSION - text", and "[read-only]" for a file that cannot be written.
    void SetCaption(const QString& text);

    std::shared_ptr<TUiServices> ui_;
    std::function<std::uint32_t()> ticks_;
    TDictionarySession session_;
    TWindowLayout layout_;
    std::unique_ptr<TActionRegistry> actions_;
    TTextureListPanel* list_ = nullptr;
    TTextureView* view_ = nullptr;
    TExportController* export_ = nullptr;
    std::unique_ptr<TBackgroundWork> work_;
    std::unique_ptr<TEditCommands> edits_;
    std::unique_ptr<TArchiveCommands> archiveCommands_;
    TFindAllDialog* findAll_ = nullptr;
    TDiskWatch* diskWatch_ = nullptr;
    bool maximisePosted_ = false;
};

extern TForm1* Form1;
