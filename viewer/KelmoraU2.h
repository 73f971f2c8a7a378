#pragma once
// The mass extract dialog: which textures, where to, and how.
#include <QDialog>
#include <string>
#include <vector>

#include "dictionary/tex_entry.h"
#include "export/export_run.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TUiServices;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // destDir is the main window's, written by every click on "&Export".
    TForm2(QWidget* owner, TUiServices& ui, std::string& destDir, const std::string& currentFile);

    // Fills the dialog for the open dictionary, as every opening starts.
    void Fill(const std::vector<kelmora::TTexEntry>& entries, const std::string& subDirName);

    std::vector<bool> Marks() const;
    // The run's settings as the dialog shows them, over base (the destination and the rest).
    kelmora::ExportSettings Settings(kelmora::ExportSettings base) const;

    QLabel* Label1;
    QListWidget* clb;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QLabel* Label2;
    QLineEdit* edtPath;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button6;
    QCheckBox* cbx1;
    QCheckBox* cbx2;
    QCheckBox* cbx3;
    QCheckBox* cbx4;
    QCheckBox* cbx5;
    QLabel* Label3;
    QComboBox* cmbx;

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();

    // The folder chooser, opened at initialDir; empty when cancelled.
    QString BrowseForFolder(const QString& title, const QString& initialDir);

    // Widens and heightens the designed arrangement as far as the font needs for
    // every label, check box and the format list to show its whole text.
    void FitTexts();

private:
    void SetAllMarks(int how); // 1 all, 0 none, -1 invert
    std::string FileDirectory() const; // the dictionary's directory, absolute
    template <class F> void Guarded(F&& f);

    TUiServices& ui_;
    std::string& destDir_;
    std::string currentFile_;
    std::string subDirName_;
};
