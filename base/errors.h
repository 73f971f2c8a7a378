#pragma once
// How the engine says that a command could not be done: a code and the facts
// that go with it (the file, the texture, the sizes). The engine never words
// them; each front end does, in one place (words/engine_words.h).
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelmora {

enum class ErrorCode {
    // Files. Reason: the system's own words.
    CannotOpen,            // File, Reason
    NotRegularFile,        // File: a FIFO, a device
    CannotCreate,          // File, Reason
    CreateOverNonRegular,  // File: the target is a device or a FIFO
    CannotOpenForWriting,  // File, Reason
    WriteToNonRegular,     // File
    StreamWrite,           // File, Reason
    CannotCreateDirectory, // File; Reason when the system gave one
    ReadOnly,              // File: a file the user may not write, which an edit would change
    ReadFailed,            // File, Reason
    ReadEndsEarly,         // File; Number: where the bytes ended; Limit: where they should have
    FileBusy,              // File: another writer holds it
    ChangedOnDisk,         // File: changed since the edit read it
    // Names given as text.
    NotUtf8,              // Name
    CharacterNotInNames,  // Name
    // Game archives.
    NotAnArchive,         // File
    NotAnArchiveNoTable,  // File; Name: the table file that is missing
    NoDataFile,           // File; Name: the data file that is missing
    ArchiveDamaged,       // File; Reason: the table's first problem, as the front end words it
    EntryEmpty,           // Name
    EntryTooLarge,        // Name; Number: bytes; Limit: what an entry holds
    NoSuchEntry,          // File, Name
    EntryExists,          // File, Name
    EntryNameEmpty,
    EntryNameTooLong,     // Name; Limit
    EntryNameNotAscii,    // Name
    EntryNameSeparator,   // Name
    EntryNameBlank,       // Name
    // Images read.
    PictureEmpty,         // File
    PictureTooLarge,      // File, Width, Height
    ImageCutShort,        // File
    PngError,             // File; Reason: the PNG library's words
    PaletteEntryMissing,  // File; Number: the entry a pixel names; Limit: the palette's size
    ColourMissing,        // File; Number, Limit as above
    TgaNotRead,           // File
    BmpNotRead,           // File
    JpegError,            // File; Reason: the JPEG library's words
    NotAnImage,           // File
    ImageFileTooLarge,    // File
    // Dictionaries edited.
    EncodeFailed,          // Texture, Name; Detail: EncodeStatus; Depth, Level
    TextureUnreadable,     // Detail: DecodeStatus; Width, Height, Depth, Level; Number of Limit bytes
    DictionaryHeaderShort,
    FixedLayout,           // Detail: the LayoutBlocks that the fixed layout refuses
    TextureNameEmpty,
    TextureNameTooLong,    // Name; Limit; Detail 1: the mask name
    TextureNameBlankEnds,  // Name; Detail 1: the mask name
    TextureNameControl,    // Name; Detail 1: the mask name
    DuplicateName,         // Texture: the one named so already; Name
    NoNameChunks,          // Texture
    PlatformNotEditable,   // Texture, Name; Detail: the TexturePlatform
    WalkChanged,
    LevelReadsBack,        // Texture, Name, Level
    NotADictionary,        // File
    DictionaryTooShort,    // File; Number: its bytes
    DictionaryEndsEarly,   // File; Number: the texture that runs past the end
    NoSuchTexture,         // File when named; Number: the texture asked for, from 1; Limit: the textures listed
    TexturesAlike,         // File, Name; Number: how many; List: their numbers
    NoTextureNamed,        // File, Name
    WalkStopped,           // File; Texture (from 0) of Count, Name: its name's part; Number: where it
                           // would jump (signed); Limit: the file's size
    ArchiveExistsAlready,  // File
    StoppedUnreadable,     // File: the argument that could not be read
    Interrupted,
    OutputNotForArchive,   // File: the archive import writes itself
    OutputNotForFolder,    // File: the folder of dictionaries import writes
    NoArchiveFolder,       // File: the folder given; Name: the folder it should hold
    NotAFolder,            // File
    // Pictures put into textures.
    CannotQuantise,        // File
    QuantiseFailed,        // File; Number: colours
    RemapFailed,           // File
    WrongPictureSize,      // File, Width, Height, WantWidth, WantHeight; Detail: PictureOf
    SidesNotPowers,        // File, Width, Height
    LevelCountOutOfRange,  // Width, Height, Depth; Limit: the most levels; Number: those asked for
    SidesOutOfRange,       // File, Width, Height; Limit: the longest side
    FormatNotForPlatform,  // Name: the format's name; Detail: the TexturePlatform
    DepthNotForPlatform,   // Depth; Detail: the TexturePlatform of the texture
    UnknownFormatName,     // Name
    OutputExists,          // File: an output that a run would write over
    SidesNotForConsole,    // Width, Height: a texture converted to the console
    NativeLevelsOutOfRange, // Width, Height; Limit: the most levels; Number: those asked for
    // Images written.
    JpegWriteError,        // Detail: the JPEG library's message code
    TooLargeForTga,        // Width, Height
    NothingDecoded,
    PngCompressFailed,
    InputOverwrite,        // File: an input of the export that would be overwritten
    // The desktop.
    NoViewerBeside,        // File: this program; Name: the viewer looked for
    RegistryWrite,
};

// What a dictionary in the fixed layout cannot have done (ErrorCode::FixedLayout).
enum class LayoutBlocks { Reshape, Add, Remove, Rename };
// Whose size a picture was held against (ErrorCode::WrongPictureSize).
enum class PictureOf { Texture, Level, Picture };

inline constexpr std::size_t kNoTexture = static_cast<std::size_t>(-1);

struct ErrorFacts {
    std::string File{};   // the file, image or archive concerned, as given
    std::string Name{};   // a name it concerns: an entry's, a texture's, another file's
    std::string Reason{}; // the system's or a library's own words
    std::size_t Texture = kNoTexture; // the texture concerned, from 0
    std::uint64_t Width = 0, Height = 0;         // a size found
    std::uint64_t WantWidth = 0, WantHeight = 0; // the size it should have
    std::uint64_t Number = 0, Limit = 0;         // a count or a value, and its bound
    std::uint32_t Depth = 0, Level = 0;
    int Detail = 0; // which of several kinds, where a code has them
    std::uint64_t Count = 0;  // a second count (a dictionary's textures, say)
    std::uint64_t Code = 0;   // a platform's or a format's own number
    std::string List{};       // numbers the text lists ("1, 3")
    // Where it happened, outermost first ("x.txd", "texture 6 (wheel)", "a.png"):
    // the front ends put these before the words, each once.
    std::vector<std::string> Context{};
};

// An error that ends the current command. what() names the code only, for logs;
// what the user reads comes from the front end's wording of Code() and Facts().
class KelmoraError : public std::runtime_error {
public:
    KelmoraError(ErrorCode code, ErrorFacts facts);
    ErrorCode Code() const { return code_; }
    const ErrorFacts& Facts() const { return facts_; }
    // The same error, said to have happened where places name (outermost first),
    // inside where it was said to happen before.
    KelmoraError Within(std::vector<std::string> places) const;

private:
    ErrorCode code_;
    ErrorFacts facts_;
};

} // namespace kelmora
