#pragma once
// The window's menu: every action, its text and shortcut, built in one place.
#include <QString>

class QAction;
class TForm1;

// Help > About's text.
QString AboutText();

struct TMainMenu {
    // Builds the menu bar of form; each action runs its ...Click handler as a command.
    void BuildMenu(TForm1& form);
    // The actions the find field leaves to the menu.
    bool IsMenuShortcut(const class QKeySequence& keys) const;

    QAction* Open1 = nullptr;
    QAction* SaveImage1 = nullptr;
    QAction* AllTexturesinfile1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Reload1 = nullptr;
    QAction* Stretch1 = nullptr;
    QAction* EnableFilter1 = nullptr;
    QAction* ba1 = nullptr;
    QAction* ShowPalette1 = nullptr;
    QAction* ShowTransparency1 = nullptr;
    QAction* ZoomIn1 = nullptr;
    QAction* ZoomOut1 = nullptr;
    QAction* ActualSize1 = nullptr;
    QAction* FitInWindow1 = nullptr;
    QAction* NextLevel1 = nullptr;
    QAction* PreviousLevel1 = nullptr;
    QAction* RegisterFileType1 = nullptr;
    QAction* CopyImage1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* ReplaceTexture1 = nullptr;
    QAction* AddTexture1 = nullptr;
    QAction* RemoveTexture1 = nullptr;
    QAction* RenameTexture1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* SaveAs1 = nullptr;
    QAction* ConvertDictionary1 = nullptr;
    QAction* Find1 = nullptr;
    QAction* FindAll1 = nullptr;
    QAction* DarkCheckerboard1 = nullptr;
    QAction* Properties1 = nullptr;
    QAction* Thumbnails1 = nullptr;
    QAction* NextDictionary1 = nullptr;
    QAction* PreviousDictionary1 = nullptr;
    QAction* About1 = nullptr;
    QAction* ExtractDictionary1 = nullptr;
    QAction* ReplaceDictionary1 = nullptr;
    QAction* AddDictionary1 = nullptr;
    QAction* RemoveDictionary1 = nullptr;
    QAction* RenameDictionary1 = nullptr;
};
