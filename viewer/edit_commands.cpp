#include "viewer/edit_commands.h"

#include <QApplication>
#include <QFileInfo>
#include <QListWidget>
#include <algorithm>
#include <exception>

#include "archive/archive_edit.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "base/paths.h"
#include "editing/image_scale.h"
#include "editing/convert.h"
#include "editing/native_put.h"
#include "words/engine_words.h"
#include "editing/put_back.h"
#include "images/image_input.h"
#include "viewer/archive_panel.h"
#include "viewer/background_work.h"
#include "viewer/dialog_services.h"
#include "viewer/dictionary_session.h"
#include "viewer/messages.h"
#include "viewer/qt_text.h"
#include "viewer/status_panel.h"
#include "viewer/texture_list_panel.h"

using namespace kelmora;

TEditCommands::TEditCommands(QWidget& window, TDictionarySession& session, TTextureListPanel& list, TTextureView& view,
                             TArchivePanel& archive, TStatusPanel& status, TUiServices& ui, TBackgroundWork& work)
    : window_(window), session_(session), list_(list), view_(view), archive_(archive), status_(status), ui_(ui),
      work_(work) {}


bool TEditCommands::Busy() const { return work_.Busy(); }

void TEditCommands::Apply(const std::function<void(DictionaryEdit&)>& change, int selectEntry, const QString& label) {
    std::vector<std::uint8_t> before = session_.CurrentBytes();
    CheckEditable(before, FileNameOf(session_.File()));
    const bool unswizzle = view_.Options().Unswizzle;
    // Colour reduction, mip levels and the check of the new bytes take seconds
    // for a large picture: off the window's thread, the window painted meanwhile.
    std::vector<std::uint8_t> after;
    work_.Run(label, [&](TBackgroundWork::Progress&) {
        DictionaryEdit edit(std::move(before), unswizzle);
        change(edit);
        if (!edit.Changed())
            return;
        edit.Verify();
        after = edit.Bytes();
    });
    if (after.empty())
        return;
    session_.Apply(std::move(after), S(label));
    Relist(selectEntry);
}

void TEditCommands::Undo() {
    if (!session_.CanUndo())
        return;
    session_.Undo();
    Relist(list_.SelectedEntry());
}

void TEditCommands::Redo() {
    if (!session_.CanRedo())
        return;
    session_.Redo();
    Relist(list_.SelectedEntry());
}

void TEditCommands::ReplaceTexture() {
    if (list_.SelectedEntry() < 0)
        return;
    const QString path = ui_.ChooseImageFile(&window_, "Replace Texture");
    if (!path.isEmpty())
        ReplaceShownTexture(S(path));
}

void TEditCommands::ReplaceShownTexture(const std::string& imagePath) {
    const int n = list_.SelectedEntry();
    if (n < 0)
        return;
    InputImage image = ReadImage(imagePath);
    PutBackOptions options;
    options.Unswizzle = view_.Options().Unswizzle;
    options.Import.Brighten = view_.Options().Brighten;
    const QString name = FromFile(list_.Entries()[static_cast<std::size_t>(n)].Name);
    // A picture of another size: the texture takes its size (where the sides
    // allow it, known before anything is asked), or the picture is scaled to the
    // texture's. The user says which first.
    PutOutcome plan = PlanPut(session_.Current(), static_cast<std::size_t>(n), image, options);
    if (plan.Resized()) {
        bool sidesFit = true;
        try {
            CheckSidesFor(list_.Entries()[static_cast<std::size_t>(n)].Platform, imagePath, image.Width, image.Height);
        } catch (const KelmoraError&) {
            sidesFit = false;
        }
        const QString text =
            Q(FileNameOf(imagePath)) + " is " + QString::number(plan.After.Width) + " x " +
            QString::number(plan.After.Height) + "; texture " + QString::number(n + 1) + " (" + name + ") is " +
            QString::number(plan.Before.Width) + " x " + QString::number(plan.Before.Height) + "." +
            (sidesFit ? " The texture can take the picture's size (" + QString::number(plan.After.Levels) +
                            " level(s)), or the picture can be scaled to the texture's."
                      : IsNativePlatform(list_.Entries()[static_cast<std::size_t>(n)].Platform)
                          ? QString(" A texture's sides are 1 to 4096, so the picture can only be scaled to the "
                                    "texture's size.")
                          : QString(" A texture's sides are powers of two from 8 to 1024, so the picture can only be "
                                    "scaled to the texture's size."));
        switch (ui_.AskPictureSize(&window_, text, sidesFit)) {
        case TUiServices::SizeChoice::Cancel: return;
        case TUiServices::SizeChoice::TakePictureSize: break;
        case TUiServices::SizeChoice::ScaleToTexture:
            image = ScaleImage(image, plan.Before.Width, plan.Before.Height);
            plan = PlanPut(session_.Current(), static_cast<std::size_t>(n), image, options);
            break;
        }
    }
    // The colour choices only where the picture does not fit the palette as it is;
    // keeping the palette is offered where the texture has one.
    const DecodeState& shown = view_.State();
    if (NeedsColourChoice(image, shown) &&
        !ui_.ChooseColours(&window_, !shown.TrueColour && !plan.Reshaped(), options.Import.KeepPalette,
                           options.Import.Dither))
        return;
    PutOutcome done;
    Apply([&](DictionaryEdit& edit) { done = PutImage(edit, static_cast<std::size_t>(n), image, imagePath, options); }, n,
          "Replace " + name);
    if (done.Changed && done.FormatForAlpha)
        status_.SetStatus(Q(FileNameOf(imagePath)) + " has alpha that " + Q(done.Before.Format) +
                          " does not hold; texture " + QString::number(n + 1) + " is now " + Q(done.After.Format) + ".");
    else if (done.Changed && done.Alpha == AlphaSource::Kept)
        status_.SetStatus(Q(FileNameOf(imagePath)) + " has no alpha; texture " + QString::number(n + 1) +
                          " keeps its present alpha.");
    else if (done.Changed && done.Alpha == AlphaSource::Opaque)
        status_.SetStatus(Q(FileNameOf(imagePath)) + " has no alpha; texture " + QString::number(n + 1) +
                          " of its new size is opaque.");
}

void TEditCommands::AddTexture() {
    if (list_.lb->count() == 0 && list_.Entries().empty() && session_.File().empty())
        return;
    const QString path = ui_.ChooseImageFile(&window_, "Add Texture");
    if (path.isEmpty())
        return;
    // What refuses the texture whatever it is, before anything is asked: a
    // dictionary that cannot grow, a picture whose sides no texture has.
    DictionaryEdit(session_.CurrentBytes(), view_.Options().Unswizzle).CheckAddable();
    const InputImage image = ReadImage(S(path));
    const TexturePlatform platform = PlatformOfDictionary(session_.Current());
    CheckSidesFor(platform, S(path), image.Width, image.Height);
    PutBackOptions options;
    options.Unswizzle = view_.Options().Unswizzle;
    options.Import.Brighten = view_.Options().Brighten;
    TUiServices::NewTexture texture{QFileInfo(path).completeBaseName(), QString(), 8, 1};
    const auto mostLevels = [&](int depth) {
        if (IsNativePlatform(platform))
            return static_cast<int>(FullChainLevels(image.Width, image.Height));
        return static_cast<int>(MostLevels(static_cast<std::uint32_t>(depth), image.Width, image.Height));
    };
    bool asked = false;
    // A refused name keeps the dialog coming back with what was typed.
    while (ui_.AskNewTexture(&window_, texture, mostLevels) && !texture.Name.trimmed().isEmpty()) {
        options.Depth = static_cast<std::uint32_t>(texture.Depth);
        if (IsNativePlatform(platform)) {
            // PC and Xbox storage by the depth chosen: palettes where the platform has
            // them, 32 bits raw, else DXT (DXT5 for a picture with alpha).
            options.Format = NativeFormatForDepth(platform, options.Depth);
            options.Depth = 0;
        }
        DecodeState wanted; // the new texture has no palette to keep
        wanted.TexDepth = static_cast<std::uint32_t>(texture.Depth);
        wanted.TrueColour = IsNativePlatform(platform) ? !IsPalettised(options.Format) : texture.Depth > 8;
        if (!asked && NeedsColourChoice(image, wanted) &&
            !ui_.ChooseColours(&window_, false, options.Import.KeepPalette, options.Import.Dither))
            return;
        asked = true;
        const int entry = static_cast<int>(list_.Entries().size());
        const QString typed = texture.Name.trimmed(), mask = texture.Mask.trimmed();
        if (Refused([&] {
                Apply([&](DictionaryEdit& edit) {
                    AddImage(edit, image, S(path), Utf8ToCp1252(S(typed)), Utf8ToCp1252(S(mask)),
                             static_cast<std::uint32_t>(texture.Levels), options);
                },
                      entry, "Add " + typed);
            }))
            continue;
        return;
    }
}

void TEditCommands::RemoveTexture() {
    const int n = list_.SelectedEntry();
    if (n < 0)
        return;
    Apply([&](DictionaryEdit& edit) { edit.Remove(static_cast<std::size_t>(n)); }, n,
          "Remove " + FromFile(list_.Entries()[static_cast<std::size_t>(n)].Name));
}

void TEditCommands::RenameTexture() {
    const int n = list_.SelectedEntry();
    if (n < 0)
        return;
    const QString old = FromFile(list_.Entries()[static_cast<std::size_t>(n)].Name);
    QString name = old;
    const std::string mask = list_.Entries()[static_cast<std::size_t>(n)].Mask;
    while (ui_.AskText(&window_, "Rename Texture", "New name:", name) && !name.trimmed().isEmpty()) {
        const QString typed = name.trimmed();
        if (Refused([&] {
                Apply([&](DictionaryEdit& edit) { edit.Rename(static_cast<std::size_t>(n), Utf8ToCp1252(S(typed)), mask); },
                      n, "Rename " + old);
            }))
            continue;
        return;
    }
}

bool TEditCommands::ReplaceByDrop(const std::string& path) {
    const QString suffix = QFileInfo(Q(path)).suffix().toLower();
    const bool image = suffix == "png" || suffix == "tga" || suffix == "bmp" || suffix == "jpg" || suffix == "jpeg";
    const int n = list_.SelectedEntry();
    if (!image || !view_.Shown() || n < 0)
        return false;
    if (ui_.AskYesNo(&window_, "Replace Texture",
                     "Replace texture " + QString::number(n + 1) + " (" +
                         FromFile(list_.Entries()[static_cast<std::size_t>(n)].Name) + ") by " + Q(path) + "?"))
        ReplaceShownTexture(path);
    return true;
}

bool TEditCommands::Refused(const std::function<void()>& edit) {
    try {
        edit();
        return false;
    } catch (const KelmoraError& e) {
        // The name's refusal is said, and the dialog opens again with the typed text.
        ui_.ShowMessage(&window_, ErrorMessage(e));
        return true;
    }
}

bool TEditCommands::MayLeaveDictionary() {
    if (!session_.Modified())
        return true;
    switch (ui_.AskSaveChanges(&window_, Q(session_.ShownFileName()))) {
    case TUiServices::SaveChoice::Save:
        Save();
        return !session_.Modified();
    case TUiServices::SaveChoice::Discard:
        session_.ForgetEdits();
        return true;
    default:
        return false;
    }
}

void TEditCommands::Save() {
    if (!session_.Modified())
        return;
    const QString shown = Q(session_.ShownFileName());
    // A file the user may not write, or one whose change on disk the user chose
    // to keep apart from these edits, is written only under another name.
    if (session_.ReadOnly() || (session_.ChangedOnDisk() && !session_.Archive())) {
        const QString why = session_.ReadOnly() ? Q(FileNameOf(session_.File())) + " is read-only."
                                                : Q(FileNameOf(session_.File())) + " changed on disk since it was read.";
        if (ui_.AskYesNo(&window_, "Save", why + " Save the dictionary under another name?"))
            SaveAs();
        return;
    }
    if (const std::optional<ArchiveEntry> entry = session_.ShownEntry()) {
        // Into the archive, in the order of writes that keeps every entry whole,
        // only where the entry still is what was read.
        const std::string name = entry->Name;
        ArchiveEdit archive(session_.File());
        archive.DependOn(name, session_.Location().Offset, session_.Location().Size);
        archive.Put(name, session_.CurrentBytes());
        work_.Run("Saving " + shown, [&](TBackgroundWork::Progress&) { archive.Commit(); });
        // The entry may have moved: the table is read again and the list follows.
        session_.ReadTable();
        archive_.SetDictionaries(session_.Archive()->Dictionaries());
        if (const std::optional<std::size_t> at = session_.ChooseDictionary(name))
            archive_.Select(static_cast<int>(*at));
        session_.MarkSaved();
    } else {
        FileStamp written;
        work_.Run("Saving " + shown, [&](TBackgroundWork::Progress&) {
            written = SaveDictionary(session_.File(), session_.CurrentBytes(), &session_.Stamp());
        });
        session_.Saved(written);
    }
    Relist(list_.SelectedEntry());
    status_.SetStatus("Saved " + shown + ".");
}

void TEditCommands::ConvertDictionary() {
    if (session_.File().empty() || !session_.Loaded())
        return;
    TUiServices::Conversion c;
    // The other side is what a modder converts to: the console's dictionaries to the PC, the rest to the console.
    c.To = PlatformOfDictionary(session_.Current()) == TexturePlatform::Ps2 ? "d3d9" : "ps2";
    if (!ui_.AskConversion(&window_, c))
        return;
    ConvertOptions o;
    o.To = PlatformNamed(S(c.To));
    o.Compress = c.Compress;
    o.Quality = c.Quality == 0 ? DxtQuality::Fast : c.Quality == 2 ? DxtQuality::Best : DxtQuality::Normal;
    o.Depth = static_cast<std::uint32_t>(c.Depth);
    o.Resize = c.Resize;
    o.Unswizzle = view_.Options().Unswizzle;
    const std::string loose = session_.LoosePath();
    const QString proposed = Q(loose.substr(0, loose.size() - std::min<std::size_t>(4, loose.size())) + "-" +
                               PlatformKey(o.To) + ".txd");
    const QString path = ui_.ChooseDictionaryFile(&window_, proposed);
    if (path.isEmpty())
        return;
    // The open file, or its archive, is never the output: its edits would go.
    FileIdentity output, open;
    if (IdentityOf(S(path), output) && IdentityOf(session_.File(), open) && output == open)
        throw KelmoraError(ErrorCode::OutputExists, {.File = S(path)});
    ConvertResult r;
    const std::vector<std::uint8_t> bytes = session_.CurrentBytes();
    work_.Run("Convert", [&](TBackgroundWork::Progress&) {
        const Dictionary source(std::make_shared<BufferSource>(bytes));
        r = kelmora::ConvertDictionary(source, o);
    });
    if (!r.Refused.empty()) {
        QString text = "Nothing was converted:";
        for (const ConvertResult::Refusal& refusal : r.Refused)
            text += "\n" + Q(TextureLabel(refusal.Texture, ShownText(refusal.Name))) + ": " +
                    ErrorMessage(refusal.Error);
        ui_.ShowError(&window_, text);
        return;
    }
    work_.Run("Saving " + Q(FileNameOf(S(path))), [&](TBackgroundWork::Progress&) { SaveDictionary(S(path), r.Bytes); });
    QString said = "Converted " + QString::number(r.Textures) + " texture(s) to " + PlatformName(o.To) + " in " +
                   Q(FileNameOf(S(path))) + ".";
    status_.SetStatus(said);
    if (!r.Notes.empty()) {
        for (const ConvertNote& n : r.Notes)
            said += "\n" + Q(ConvertNoteText(n, ShownText(n.Name)));
        ui_.ShowMessage(&window_, said);
    }
}

void TEditCommands::SaveAs() {
    if (session_.File().empty() || !session_.Loaded())
        return;
    // A dictionary of an archive is saved as a loose file beside it.
    const QString path = ui_.ChooseDictionaryFile(&window_, Q(session_.LoosePath()));
    if (path.isEmpty())
        return;
    FileStamp written;
    work_.Run("Saving " + Q(FileNameOf(S(path))), [&](TBackgroundWork::Progress&) {
        written = SaveDictionary(S(path), session_.CurrentBytes());
    });
    session_.SavedAs(S(path), written);
    Relist(list_.SelectedEntry());
    status_.SetStatus("Saved " + Q(FileNameOf(session_.File())) + ".");
}
