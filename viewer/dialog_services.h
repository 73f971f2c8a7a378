#pragma once
// Everything modal the windows show goes through this interface: message boxes,
// file and folder choosers and modal dialogs. The desktop implementation shows
// real boxes; tests answer and record them.
#include <QString>
#include <functional>
#include <string>

class QDialog;
class QWidget;

// The default error box's text: "." is added when the last character sorts after it.
inline std::string DefaultErrorText(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

class TUiServices {
public:
    virtual ~TUiServices() = default;

    // A modal box with the application title, the text and one OK button, no icon.
    virtual void ShowMessage(QWidget* owner, const QString& text) = 0;
    // Yes and No with the question icon; true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& caption, const QString& text) = 0;
    // Yes and No for a step that changes a file, with No the default button.
    virtual bool AskDestructive(QWidget* owner, const QString& caption, const QString& text) = 0;
    // The default error box: the application title and the error icon.
    virtual void ShowError(QWidget* owner, const QString& text) = 0;

    // The open dialog; empty when cancelled.
    virtual QString ChooseOpenFile(QWidget* owner) = 0;
    virtual void SetOpenDirectory(const QString& dir) = 0;
    // The save dialog with the four picture filters; filterIndex counts from 1.
    // It keeps the folder last confirmed in it; firstDir is where it opens the
    // first time. False when cancelled.
    virtual bool ChooseSaveFile(QWidget* owner, const QString& proposedName, const QString& firstDir, QString& path,
                                int& filterIndex) = 0;
    // A directory chooser; empty when cancelled.
    virtual QString ChooseFolder(QWidget* owner, const QString& title, const QString& initialDir) = 0;
    // Runs a dialog modally and returns its result.
    virtual int RunModal(QDialog* dialog) = 0;

    // Editing. An image file to read (PNG, TGA, BMP, JPEG); empty when cancelled.
    virtual QString ChooseImageFile(QWidget* owner, const QString& title) = 0;
    // Where to save a dictionary; empty when cancelled.
    virtual QString ChooseDictionaryFile(QWidget* owner, const QString& proposed) = 0;
    // One line of text; false when cancelled.
    virtual bool AskText(QWidget* owner, const QString& title, const QString& label, QString& text) = 0;
    // How to fit a picture of other colours into a palette: quantise (dithered or
    // not) or, where the texture has a palette already (canKeep), map onto it.
    // False when cancelled.
    virtual bool ChooseColours(QWidget* owner, bool canKeep, bool& keepPalette, bool& dither) = 0;
    // A picture of another size than its texture: the texture takes the picture's
    // size (offered where its sides allow), the picture is scaled to the
    // texture's, or nothing is done.
    enum class SizeChoice { TakePictureSize, ScaleToTexture, Cancel };
    virtual SizeChoice AskPictureSize(QWidget* owner, const QString& text, bool pictureSizeAllowed) = 0;
    // A new texture's name, mask name, depth (4, 8, 16, 32) and levels (1 to
    // mostLevels(depth)); false when cancelled.
    struct NewTexture {
        QString Name, Mask;
        int Depth = 8, Levels = 1;
    };
    virtual bool AskNewTexture(QWidget* owner, NewTexture& texture, const std::function<int(int depth)>& mostLevels) = 0;
    // File > Convert Dictionary: the platform ("ps2", "d3d8", "d3d9", "xbox"), DXT
    // blocks for the PC and Xbox (and their quality: 0 fast, 1 normal, 2 best),
    // the console's depth (0: a palettised texture's own, else 8) and whether
    // sides it cannot hold are scaled; false when cancelled.
    struct Conversion {
        QString To = "d3d9";
        bool Compress = false;
        int Quality = 1, Depth = 0;
        bool Resize = false;
    };
    virtual bool AskConversion(QWidget* owner, Conversion& conversion) = 0;
    // The open file changed on disk while it has edits: true to read it again
    // (the edits go), false to keep the edits (the default).
    virtual bool AskReloadChanged(QWidget* owner, const QString& file) = 0;
    // Unsaved changes of file: Save, Discard or Cancel.
    enum class SaveChoice { Save, Discard, Cancel };
    virtual SaveChoice AskSaveChanges(QWidget* owner, const QString& file) = 0;
};
