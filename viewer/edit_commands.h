#pragma once
// The edits of the open dictionary: replace, add, remove and rename textures,
// undo and redo, and saving into the file, into the archive it came from, or
// as a new file.
#include <QString>
#include <functional>
#include <string>

#include "editing/dictionary_edit.h"
#include "viewer/texture_view.h"

class QWidget;
class TArchivePanel;
class TBackgroundWork;
class TDictionarySession;
class TStatusPanel;
class TTextureListPanel;
class TUiServices;

class TEditCommands {
public:
    TEditCommands(QWidget& window, TDictionarySession& session, TTextureListPanel& list, TTextureView& view,
                  TArchivePanel& archive, TStatusPanel& status, TUiServices& ui, TBackgroundWork& work);

    // The dictionary as it now is is listed again, with this entry selected where it exists.
    std::function<void(int selectEntry)> Relist;

    void Undo();
    void Redo();
    void ReplaceTexture();
    // Replaces the shown texture by an image file (Replace Texture..., a drop).
    void ReplaceShownTexture(const std::string& imagePath);
    // An image file dropped on the window: replaces the shown texture after a
    // question. False when it is no image or no texture is shown (it is opened then).
    bool ReplaceByDrop(const std::string& path);
    void AddTexture();
    void RemoveTexture();
    void RenameTexture();
    void Save();
    void SaveAs();
    // File > Convert Dictionary: the dictionary shown, converted to another
    // platform into a new file; the open one stays as it is.
    void ConvertDictionary();
    // Before the open dictionary goes away: false when the user keeps it.
    bool MayLeaveDictionary();
    // While an edit's work runs off the interface thread: no other command starts.
    bool Busy() const;

private:
    // Runs an edit on the dictionary's bytes; the result becomes the shown dictionary.
    // label names the edit in the Undo and Redo items ("Replace wheel").
    void Apply(const std::function<void(kelmora::DictionaryEdit&)>& edit, int selectEntry, const QString& label);
    // Runs an edit whose refusal is shown in a plain box: true when it was refused.
    bool Refused(const std::function<void()>& edit);

    QWidget& window_;
    TDictionarySession& session_;
    TTextureListPanel& list_;
    TTextureView& view_;
    TArchivePanel& archive_;
    TStatusPanel& status_;
    TUiServices& ui_;
    TBackgroundWork& work_;
};
