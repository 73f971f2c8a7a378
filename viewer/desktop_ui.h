#pragma once
// The real message boxes and choosers of the desktop.
#include <QPointer>

#include "viewer/dialog_services.h"

class QFileDialog;

class TDesktopUi : public TUiServices {
public:
    ~TDesktopUi() override;
    void ShowMessage(QWidget* owner, const QString& text) override;
    bool AskYesNo(QWidget* owner, const QString& caption, const QString& text) override;
    bool AskDestructive(QWidget* owner, const QString& caption, const QString& text) override;
    void ShowError(QWidget* owner, const QString& text) override;
    QString ChooseOpenFile(QWidget* owner) override;
    void SetOpenDirectory(const QString& dir) override;
    bool ChooseSaveFile(QWidget* owner, const QString& proposedName, const QString& firstDir, QString& path,
                        int& filterIndex) override;
    QString ChooseFolder(QWidget* owner, const QString& title, const QString& initialDir) override;
    int RunModal(QDialog* dialog) override;
    QString ChooseImageFile(QWidget* owner, const QString& title) override;
    QString ChooseDictionaryFile(QWidget* owner, const QString& proposed) override;
    bool AskText(QWidget* owner, const QString& title, const QString& label, QString& text) override;
    bool ChooseColours(QWidget* owner, bool canKeep, bool& keepPalette, bool& dither) override;
    SizeChoice AskPictureSize(QWidget* owner, const QString& text, bool pictureSizeAllowed) override;
    bool AskNewTexture(QWidget* owner, NewTexture& texture, const std::function<int(int depth)>& mostLevels) override;
    bool AskConversion(QWidget* owner, Conversion& conversion) override;
    bool AskReloadChanged(QWidget* owner, const QString& file) override;
    SaveChoice AskSaveChanges(QWidget* owner, const QString& file) override;

private:
    // The two file dialogs live for the whole run and keep their last state.
    QPointer<QFileDialog> open_;
    QPointer<QFileDialog> save_;
    QString openDir_;
};
