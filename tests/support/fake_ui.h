#pragma once
// Answers and records every box and chooser the windows show.
#include <QDialog>
#include <QString>
#include <deque>
#include <optional>
#include <functional>
#include <vector>

#include "viewer/dialog_services.h"

class FakeUi : public TUiServices {
public:
    struct Question {
        QString caption, text;
    };
    std::vector<QString> messages;
    std::vector<QString> errors;
    std::vector<Question> questions;
    std::deque<bool> answers; // Yes/No replies in order; No when none is left

    QString openFile;
    QString openDirectory;
    int openCalls = 0;

    bool saveConfirm = true;
    QString savePath;
    int saveFilter = 1;
    std::vector<QString> proposedNames;

    QString folder;
    QString folderInitial;
    QString folderTitle;

    std::function<int(QDialog*)> onModal = [](QDialog*) { return int(QDialog::Rejected); };

    void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    std::function<void()> onAsk; // runs inside every question, as a user's input would
    bool AskYesNo(QWidget*, const QString& caption, const QString& text) override {
        if (onAsk)
            onAsk();
        questions.push_back({caption, text});
        if (answers.empty())
            return false;
        bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    std::vector<bool> destructive; // for each question, whether No was its default
    bool AskDestructive(QWidget* owner, const QString& caption, const QString& text) override {
        const bool answer = AskYesNo(owner, caption, text);
        destructive.resize(questions.size(), false);
        destructive.back() = true;
        return answer;
    }
    void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
    QString ChooseOpenFile(QWidget*) override {
        ++openCalls;
        return openFile;
    }
    void SetOpenDirectory(const QString& dir) override { openDirectory = dir; }
    QString saveFirstDir;
    bool ChooseSaveFile(QWidget*, const QString& proposed, const QString& firstDir, QString& path, int& filter) override {
        saveFirstDir = firstDir;
        proposedNames.push_back(proposed);
        path = savePath;
        filter = saveFilter;
        return saveConfirm;
    }
    QString ChooseFolder(QWidget*, const QString& title, const QString& initial) override {
        folderTitle = title;
        folderInitial = initial;
        return folder;
    }
    int RunModal(QDialog* d) override { return onModal(d); }

    QString imageFile;          // what the image chooser returns
    QString dictionaryFile;     // what Save As returns
    std::deque<QString> texts;  // answers to AskText; cancelled when none is left
    bool coloursConfirm = true, keepPalette = false, dither = true;
    int colourQuestions = 0;
    std::deque<SaveChoice> saveChoices; // Cancel when none is left
    std::vector<QString> saveQuestions;
    QString ChooseImageFile(QWidget*, const QString&) override { return imageFile; }
    QString ChooseDictionaryFile(QWidget*, const QString&) override { return dictionaryFile; }
    std::vector<QString> typedTexts; // what each AskText was opened with
    bool AskText(QWidget*, const QString&, const QString&, QString& text) override {
        typedTexts.push_back(text);
        if (texts.empty())
            return false;
        text = texts.front();
        texts.pop_front();
        return true;
    }
    std::vector<bool> colourCanKeep; // whether each colour question offered the present palette
    bool ChooseColours(QWidget*, bool canKeep, bool& keep, bool& d) override {
        ++colourQuestions;
        colourCanKeep.push_back(canKeep);
        keep = canKeep && keepPalette;
        d = dither;
        return coloursConfirm;
    }
    struct SizeQuestion {
        QString text;
        bool pictureSizeAllowed;
    };
    std::vector<SizeQuestion> sizeQuestions;
    std::deque<SizeChoice> sizeChoices; // Cancel when none is left
    SizeChoice AskPictureSize(QWidget*, const QString& text, bool pictureSizeAllowed) override {
        sizeQuestions.push_back({text, pictureSizeAllowed});
        if (sizeChoices.empty())
            return SizeChoice::Cancel;
        const SizeChoice c = sizeChoices.front();
        sizeChoices.pop_front();
        return c;
    }
    std::deque<NewTexture> newTextures; // answers to AskNewTexture; cancelled when none is left
    std::vector<NewTexture> proposedTextures; // what each was opened with
    std::vector<int> levelLimits;             // the most levels offered at 4, 8, 16 and 32 bits
    bool AskNewTexture(QWidget*, NewTexture& texture, const std::function<int(int)>& mostLevels) override {
        proposedTextures.push_back(texture);
        levelLimits = {mostLevels(4), mostLevels(8), mostLevels(16), mostLevels(32)};
        if (newTextures.empty())
            return false;
        texture = newTextures.front();
        newTextures.pop_front();
        return true;
    }
    std::optional<Conversion> conversion; // the answer to AskConversion; cancelled when empty
    int conversionQuestions = 0;
    bool AskConversion(QWidget*, Conversion& c) override {
        ++conversionQuestions;
        if (!conversion)
            return false;
        c = *conversion;
        return true;
    }
    std::vector<QString> reloadQuestions;
    std::deque<bool> reloadAnswers; // keep the edits when none is left
    bool AskReloadChanged(QWidget*, const QString& file) override {
        reloadQuestions.push_back(file);
        if (reloadAnswers.empty())
            return false;
        const bool reload = reloadAnswers.front();
        reloadAnswers.pop_front();
        return reload;
    }
    SaveChoice AskSaveChanges(QWidget*, const QString& file) override {
        saveQuestions.push_back(file);
        if (saveChoices.empty())
            return SaveChoice::Cancel;
        const SaveChoice c = saveChoices.front();
        saveChoices.pop_front();
        return c;
    }
};
