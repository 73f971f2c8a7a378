#include "viewer/action_registry.h"

#include <QAction>
#include <QMetaObject>

#include "dictionary/texture_codec.h"
#include "viewer/dictionary_session.h"
#include "viewer/messages.h"
#include "viewer/qt_text.h"

namespace {

// What an action needs to be enabled.
enum class Needs { Nothing, Undo, Redo, Archive, HalfRangeAlpha };
// Checkable actions start as Off or On.
enum class Check { No, Off, On };

struct Row {
    TAct Act;
    const char* Name;
    const char* Text;
    const char* Keys; // "Ctrl++;Ctrl+=": more than one, the first shown
    Check Checked = Check::No;
    Needs Rule = Needs::Nothing;
};

#define KELMORA_ACT(name) TAct::name, #name
const Row kRows[] = {
    {KELMORA_ACT(Open1), "&Open...", "Ctrl+O"},
    {KELMORA_ACT(Save1), "Sa&ve", "Ctrl+Shift+S"},
    {KELMORA_ACT(SaveAs1), "Save &As...", ""},
    {KELMORA_ACT(ConvertDictionary1), "&Convert Dictionary...", ""},
    {KELMORA_ACT(SaveImage1), "&Actual Image...", "Ctrl+S"},
    {KELMORA_ACT(AllTexturesinfile1), "&Several Textures...", "Ctrl+E"},
    {KELMORA_ACT(NextDictionary1), "&Next Dictionary", "Alt+Right"},
    {KELMORA_ACT(PreviousDictionary1), "Pre&vious Dictionary", "Alt+Left"},
    {KELMORA_ACT(Exit1), "&Exit", "Ctrl+X"},
    {KELMORA_ACT(CopyImage1), "&Copy Image", "Ctrl+C"},
    {KELMORA_ACT(Find1), "&Find Texture", "Ctrl+K"},
    {KELMORA_ACT(FindAll1), "Find in A&ll Dictionaries...", "Ctrl+Shift+F"},
    {KELMORA_ACT(Undo1), "&Undo", "Ctrl+Z", Check::No, Needs::Undo},
    {KELMORA_ACT(Redo1), "&Redo", "Ctrl+Y", Check::No, Needs::Redo},
    {KELMORA_ACT(ReplaceTexture1), "Re&place Texture...", "Ctrl+Shift+R"},
    {KELMORA_ACT(AddTexture1), "&Add Texture...", "Ctrl+Shift+A"},
    {KELMORA_ACT(RemoveTexture1), "Re&move Texture", "Ctrl+Del"},
    {KELMORA_ACT(RenameTexture1), "Re&name Texture...", "F2"},
    {KELMORA_ACT(Reload1), "&Reload", "Ctrl+R"},
    {KELMORA_ACT(Stretch1), "&Stretch Image", "", Check::Off},
    {KELMORA_ACT(EnableFilter1), "&Enable Filter", "Ctrl+F", Check::On},
    {KELMORA_ACT(ba1), "&Brighten Alphas", "", Check::On, Needs::HalfRangeAlpha},
    {KELMORA_ACT(ShowPalette1), "Show &Palette", "", Check::On},
    {KELMORA_ACT(ShowTransparency1), "Show &Transparency", "", Check::Off},
    {KELMORA_ACT(RegisterFileType1), "&Register &File Type", ""},
    {KELMORA_ACT(ZoomIn1), "Zoom &In", "Ctrl++;Ctrl+="},
    {KELMORA_ACT(ZoomOut1), "Zoom &Out", "Ctrl+-"},
    {KELMORA_ACT(ActualSize1), "&Actual Size", "Ctrl+0"},
    {KELMORA_ACT(FitInWindow1), "&Fit in Window", "Ctrl+9"},
    {KELMORA_ACT(DarkCheckerboard1), "&Dark Checkerboard", "", Check::Off},
    {KELMORA_ACT(Thumbnails1), "&Thumbnails", "Ctrl+T", Check::Off},
    {KELMORA_ACT(Properties1), "P&roperties", "Ctrl+I", Check::Off},
    {KELMORA_ACT(NextLevel1), "Next &Level", "Ctrl+PgDown"},
    {KELMORA_ACT(PreviousLevel1), "&Previous Level", "Ctrl+PgUp"},
    {KELMORA_ACT(ExtractDictionary1), "E&xtract Dictionary File...", "", Check::No, Needs::Archive},
    {KELMORA_ACT(ReplaceDictionary1), "&Replace Dictionary From File...", "", Check::No, Needs::Archive},
    {KELMORA_ACT(AddDictionary1), "&Add Dictionary...", "", Check::No, Needs::Archive},
    {KELMORA_ACT(RemoveDictionary1), "Re&move Dictionary", "", Check::No, Needs::Archive},
    {KELMORA_ACT(RenameDictionary1), "Re&name Dictionary...", "", Check::No, Needs::Archive},
    {KELMORA_ACT(ImportFolder1), "&Import Folder...", "", Check::No, Needs::Archive},
    {KELMORA_ACT(About1), "&About...", ""},
};
#undef KELMORA_ACT
static_assert(std::size(kRows) == static_cast<std::size_t>(TAct::Count), "a row for every action");

const Row& RowOf(TAct a) { return kRows[static_cast<std::size_t>(a)]; }

} // namespace

TActionRegistry::TActionRegistry(QObject& target, std::function<void(const std::function<void()>&)> run) {
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const Row& row = kRows[i];
        if (static_cast<std::size_t>(row.Act) != i)
            qFatal("the actions' rows are out of order at %s", row.Name); // a fault of the build, never of a file
        const QByteArray handler = QByteArray(row.Name) + "Click";
        if (target.metaObject()->indexOfMethod(handler + "()") < 0)
            qFatal("the window has no handler %s", handler.constData());
        auto* a = new QAction(row.Text, &target);
        QList<QKeySequence> keys;
        for (const QString& k : QString(row.Keys).split(';', Qt::SkipEmptyParts))
            keys.append(QKeySequence(k));
        a->setShortcuts(keys);
        if (row.Checked != Check::No) {
            // Toggling items change their own check mark before the handler runs.
            a->setCheckable(true);
            a->setChecked(row.Checked == Check::On);
        }
        QObject::connect(a, &QAction::triggered, &target, [&target, run, handler] {
            run([&target, handler] { QMetaObject::invokeMethod(&target, handler.constData(), Qt::DirectConnection); });
        });
        actions_[i] = a;
    }
    (*this)[TAct::ba1]->setToolTip(kBrightenTip);
    Follow({});
}

TActionState TActionState::Of(const TDictionarySession& document) {
    TActionState state;
    state.CanUndo = document.CanUndo(), state.UndoLabel = document.UndoLabel();
    state.CanRedo = document.CanRedo(), state.RedoLabel = document.RedoLabel();
    state.ArchiveOpen = document.Archive().has_value();
    // PC and Xbox alpha is 0..255 already: brightening means nothing for them.
    if (document.Loaded() && document.Current().IsDictionary())
        state.HalfRangeAlpha = document.Current().Walk().Listed == 0 || AnyHalfRangeAlpha(document.Current().Entries());
    return state;
}

const char* TActionRegistry::NameOf(TAct a) { return RowOf(a).Name; }

void TActionRegistry::Follow(const TActionState& state) {
    for (const Row& row : kRows) {
        bool enabled = true;
        switch (row.Rule) {
        case Needs::Nothing: break;
        case Needs::Undo: enabled = state.CanUndo; break;
        case Needs::Redo: enabled = state.CanRedo; break;
        case Needs::Archive: enabled = state.ArchiveOpen; break;
        case Needs::HalfRangeAlpha: enabled = state.HalfRangeAlpha; break;
        }
        (*this)[row.Act]->setEnabled(enabled);
    }
    // Naming what would be taken back or done again.
    (*this)[TAct::Undo1]->setText(state.CanUndo ? "&Undo " + Q(state.UndoLabel) : "&Undo");
    (*this)[TAct::Redo1]->setText(state.CanRedo ? "&Redo " + Q(state.RedoLabel) : "&Redo");
}

bool TActionRegistry::IsMenuShortcut(const QKeySequence& keys) const {
    for (TAct a : {TAct::Open1, TAct::Reload1, TAct::EnableFilter1, TAct::SaveImage1, TAct::AllTexturesinfile1, TAct::Exit1})
        if ((*this)[a]->shortcut() == keys)
            return true;
    return false;
}
