#include "viewer/main_menu.h"

#include <QDockWidget>
#include <QListWidget>
#include <QMenuBar>

#include "base/version.h"
#include "viewer/KelmoraU.h"
#include "viewer/messages.h"

QString AboutText() {
    return QString("Kelmora\r\n") + "Version " + kelmora::kVersion + "\r\n" + "Released " + kelmora::kReleaseDate +
           "\r\n"
           "\r\n"
           "Written by the Kelmora developers\r\n"
           "Manual: man kelmora and man kelmora-cli\r\n"
           "Free software under the GNU GPL, version 3 or later (LICENSE)\r\n"
           "\r\n"
           "JPEG images are compressed using\r\n"
           "maximum quality.\r\n"
           "\r\n"
           "Many thanks to the fellow modder whose hint\r\n"
           "about the reordered palette solved the colour\r\n"
           "problem of 8-bit textures!";
}

void TMainMenu::BuildMenu(TForm1& form) {
    auto action = [&form](QMenu* menu, const QString& text, void (TForm1::*handler)(), const QKeySequence& key = {}) {
        QAction* a = menu->addAction(text);
        if (!key.isEmpty())
            a->setShortcut(key);
        QObject::connect(a, &QAction::triggered, &form, [&form, handler] { form.RunCommand([&form, handler] { (form.*handler)(); }); });
        return a;
    };
    auto checkable = [](QAction* a, bool on) {
        a->setCheckable(true);
        a->setChecked(on);
        return a;
    };
    QMenuBar* bar = form.menuBar();

    QMenu* file = bar->addMenu("&File");
    Open1 = action(file, "&Open...", &TForm1::Open1Click, QKeySequence("Ctrl+O"));
    file->setDefaultAction(Open1);
    Save1 = action(file, "Sa&ve", &TForm1::Save1Click, QKeySequence("Ctrl+Shift+S"));
    SaveAs1 = action(file, "Save &As...", &TForm1::SaveAs1Click);
    ConvertDictionary1 = action(file, "&Convert Dictionary...", &TForm1::ConvertDictionary1Click);
    QMenu* extract = file->addMenu("E&xtract");
    SaveImage1 = action(extract, "&Actual Image...", &TForm1::SaveImage1Click, QKeySequence("Ctrl+S"));
    AllTexturesinfile1 = action(extract, "&Several Textures...", &TForm1::AllTexturesinfile1Click, QKeySequence("Ctrl+E"));
    file->addSeparator();
    NextDictionary1 = action(file, "&Next Dictionary", &TForm1::NextDictionary1Click, QKeySequence("Alt+Right"));
    PreviousDictionary1 =
        action(file, "Pre&vious Dictionary", &TForm1::PreviousDictionary1Click, QKeySequence("Alt+Left"));
    file->addSeparator();
    Exit1 = action(file, "&Exit", &TForm1::Exit1Click, QKeySequence("Ctrl+X"));

    QMenu* edit = bar->addMenu("&Edit");
    CopyImage1 = action(edit, "&Copy Image", &TForm1::CopyImage1Click, QKeySequence("Ctrl+C"));
    Find1 = action(edit, "&Find Texture", &TForm1::Find1Click, QKeySequence("Ctrl+K"));
    FindAll1 = action(edit, "Find in A&ll Dictionaries...", &TForm1::FindAll1Click, QKeySequence("Ctrl+Shift+F"));
    edit->addSeparator();
    Undo1 = action(edit, "&Undo", &TForm1::Undo1Click, QKeySequence("Ctrl+Z"));
    Redo1 = action(edit, "&Redo", &TForm1::Redo1Click, QKeySequence("Ctrl+Y"));
    edit->addSeparator();
    ReplaceTexture1 = action(edit, "Re&place Texture...", &TForm1::ReplaceTexture1Click, QKeySequence("Ctrl+Shift+R"));
    AddTexture1 = action(edit, "&Add Texture...", &TForm1::AddTexture1Click, QKeySequence("Ctrl+Shift+A"));
    RemoveTexture1 = action(edit, "Re&move Texture", &TForm1::RemoveTexture1Click, QKeySequence("Ctrl+Del"));
    RenameTexture1 = action(edit, "Re&name Texture...", &TForm1::RenameTexture1Click, QKeySequence("F2"));

    QMenu* options = bar->addMenu("&Options");
    Reload1 = action(options, "&Reload", &TForm1::Reload1Click, QKeySequence("Ctrl+R"));
    options->setDefaultAction(Reload1);
    options->addSeparator();
    // Toggling items change their own check mark before the handler runs.
    Stretch1 = checkable(action(options, "&Stretch Image", &TForm1::Stretch1Click), false);
    EnableFilter1 = checkable(action(options, "&Enable Filter", &TForm1::EnableFilter1Click, QKeySequence("Ctrl+F")), true);
    ba1 = checkable(action(options, "&Brighten Alphas", &TForm1::ba1Click), true);
    ba1->setToolTip(kBrightenTip);
    options->setToolTipsVisible(true);
    options->addSeparator();
    ShowPalette1 = checkable(action(options, "Show &Palette", &TForm1::ShowPalette1Click), true);
    ShowTransparency1 = checkable(action(options, "Show &Transparency", &TForm1::ShowTransparency1Click), false);
    options->addSeparator();
    RegisterFileType1 = action(options, "&Register &File Type", &TForm1::RegisterFileType1Click);

    QMenu* view = bar->addMenu("&View");
    ZoomIn1 = action(view, "Zoom &In", &TForm1::ZoomIn1Click);
    ZoomIn1->setShortcuts({QKeySequence("Ctrl++"), QKeySequence("Ctrl+=")});
    ZoomOut1 = action(view, "Zoom &Out", &TForm1::ZoomOut1Click, QKeySequence("Ctrl+-"));
    ActualSize1 = action(view, "&Actual Size", &TForm1::ActualSize1Click, QKeySequence("Ctrl+0"));
    FitInWindow1 = action(view, "&Fit in Window", &TForm1::FitInWindow1Click, QKeySequence("Ctrl+9"));
    DarkCheckerboard1 = checkable(action(view, "&Dark Checkerboard", &TForm1::DarkCheckerboard1Click), false);
    Thumbnails1 = checkable(action(view, "&Thumbnails", &TForm1::Thumbnails1Click, QKeySequence("Ctrl+T")), false);
    Properties1 = form.dockProperties->toggleViewAction();
    QObject::connect(Properties1, &QAction::toggled, &form, [&form](bool shown) {
        if (shown)
            form.RunCommand([&form] { form.Properties1Click(); });
    });
    Properties1->setText("P&roperties");
    Properties1->setShortcut(QKeySequence("Ctrl+I"));
    view->addAction(Properties1);
    view->addSeparator();
    NextLevel1 = action(view, "Next &Level", &TForm1::NextLevel1Click, QKeySequence("Ctrl+PgDown"));
    PreviousLevel1 = action(view, "&Previous Level", &TForm1::PreviousLevel1Click, QKeySequence("Ctrl+PgUp"));

    // What the archive panel does with whole dictionaries; also its context menu.
    QMenu* archive = bar->addMenu("A&rchive"); // Alt+A is "Draw &Alpha Channel"
    ExtractDictionary1 = action(archive, "E&xtract Dictionary File...", &TForm1::ExtractDictionary1Click);
    ReplaceDictionary1 = action(archive, "&Replace Dictionary From File...", &TForm1::ReplaceDictionary1Click);
    AddDictionary1 = action(archive, "&Add Dictionary...", &TForm1::AddDictionary1Click);
    RemoveDictionary1 = action(archive, "Re&move Dictionary", &TForm1::RemoveDictionary1Click);
    RenameDictionary1 = action(archive, "Re&name Dictionary...", &TForm1::RenameDictionary1Click);
    for (QAction* a : {ExtractDictionary1, ReplaceDictionary1, AddDictionary1, RemoveDictionary1, RenameDictionary1})
        form.lbArchive->addAction(a);

    QMenu* help = bar->addMenu("&Help");
    About1 = action(help, "&About...", &TForm1::About1Click);
    help->setDefaultAction(About1);
}

bool TMainMenu::IsMenuShortcut(const QKeySequence& keys) const {
    for (const QAction* a : {Open1, Reload1, EnableFilter1, SaveImage1, AllTexturesinfile1, Exit1})
        if (a && a->shortcut() == keys)
            return true;
    return false;
}
