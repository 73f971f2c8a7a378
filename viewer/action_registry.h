#pragma once
// Every action of the window, built in one place: its text, shortcut, check mark
// and the rule that enables it. The window's handlers are found by the action's
// name ("Save1" runs the window's Save1Click), and the rules follow the state
// the document reports.
#include <QKeySequence>
#include <QString>
#include <array>
#include <functional>
#include <string>

class QAction;
class QObject;
class TDictionarySession;

// The actions, by the names they have in the window's design.
enum class TAct {
    Open1, Save1, SaveAs1, ConvertDictionary1, SaveImage1, AllTexturesinfile1, NextDictionary1,
    PreviousDictionary1, Exit1, CopyImage1, Find1, FindAll1, Undo1, Redo1, ReplaceTexture1, AddTexture1,
    RemoveTexture1, RenameTexture1, Reload1, Stretch1, EnableFilter1, ba1, ShowPalette1, ShowTransparency1,
    RegisterFileType1, ZoomIn1, ZoomOut1, ActualSize1, FitInWindow1, DarkCheckerboard1, Thumbnails1, Properties1,
    NextLevel1, PreviousLevel1, ExtractDictionary1, ReplaceDictionary1, AddDictionary1, RemoveDictionary1,
    RenameDictionary1, ImportFolder1, About1,
    Count
};

// What the enabling rules look at, taken from the document when it changes.
struct TActionState {
    std::string UndoLabel, RedoLabel; // empty: nothing to take back, or to do again
    bool CanUndo = false, CanRedo = false;
    bool ArchiveOpen = false;
    // Whether brightening means anything: a console texture is listed (alpha 0..128), or none is.
    bool HalfRangeAlpha = true;

    static TActionState Of(const TDictionarySession& document);
};

class TActionRegistry {
public:
    // Builds the actions, owned by target; each runs target's <name>Click slot
    // through run, which runs a command as the window does. A target without
    // a handler for an action is a fault of the build: the program stops there.
    TActionRegistry(QObject& target, std::function<void(const std::function<void()>&)> run);

    QAction* operator[](TAct a) const { return actions_[static_cast<std::size_t>(a)]; }
    // The design's name of an action ("Save1").
    static const char* NameOf(TAct a);
    // Enables each action by its rule and names what Undo and Redo would do.
    void Follow(const TActionState& state);
    // The actions the find field leaves to the menu.
    bool IsMenuShortcut(const QKeySequence& keys) const;

private:
    std::array<QAction*, static_cast<std::size_t>(TAct::Count)> actions_{};
};
