#include "viewer/main_menu.h"

#include <QMenuBar>
#include <initializer_list>

#include "base/version.h"
#include "viewer/action_registry.h"

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

void BuildMenuBar(QMenuBar& bar, const TActionRegistry& actions) {
    constexpr TAct kSeparator = TAct::Count;
    auto add = [&actions](QMenu* menu, std::initializer_list<TAct> items) {
        for (TAct a : items)
            if (a == kSeparator)
                menu->addSeparator();
            else
                menu->addAction(actions[a]);
    };

    QMenu* file = bar.addMenu("&File");
    add(file, {TAct::Open1, TAct::Save1, TAct::SaveAs1, TAct::ConvertDictionary1});
    file->setDefaultAction(actions[TAct::Open1]);
    add(file->addMenu("E&xtract"), {TAct::SaveImage1, TAct::AllTexturesinfile1});
    add(file, {kSeparator, TAct::NextDictionary1, TAct::PreviousDictionary1, kSeparator, TAct::Exit1});

    QMenu* edit = bar.addMenu("&Edit");
    add(edit, {TAct::CopyImage1, TAct::Find1, TAct::FindAll1, kSeparator, TAct::Undo1, TAct::Redo1, kSeparator,
               TAct::ReplaceTexture1, TAct::AddTexture1, TAct::RemoveTexture1, TAct::RenameTexture1});

    QMenu* options = bar.addMenu("&Options");
    add(options, {TAct::Reload1, kSeparator, TAct::Stretch1, TAct::EnableFilter1, TAct::ba1, kSeparator,
                  TAct::ShowPalette1, TAct::ShowTransparency1, kSeparator, TAct::RegisterFileType1});
    options->setDefaultAction(actions[TAct::Reload1]);
    options->setToolTipsVisible(true);

    QMenu* view = bar.addMenu("&View");
    add(view, {TAct::ZoomIn1, TAct::ZoomOut1, TAct::ActualSize1, TAct::FitInWindow1, TAct::DarkCheckerboard1,
               TAct::Thumbnails1, TAct::Properties1, kSeparator, TAct::NextLevel1, TAct::PreviousLevel1});

    // What the archive panel does with whole dictionaries; also its context menu.
    QMenu* archive = bar.addMenu("A&rchive"); // Alt+A is "Draw &Alpha Channel"
    add(archive, {TAct::ExtractDictionary1, TAct::ReplaceDictionary1, TAct::AddDictionary1, TAct::RemoveDictionary1,
                  TAct::RenameDictionary1, kSeparator, TAct::ImportFolder1});

    QMenu* help = bar.addMenu("&Help");
    add(help, {TAct::About1});
    help->setDefaultAction(actions[TAct::About1]);
}
