// kelmora-cli: the dictionary engine for scripts and batch work. This file reads
// the command line and hands each command to its group's file.
#include <algorithm>
#include <csignal>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/rollback_journal.h"
#include "words/engine_words.h"
#include "base/ordered_pool.h"
#include "base/os_file.h"
#include "base/version.h"
#include "cli/archive_commands.h"
#include "cli/cli_common.h"
#include "cli/cli_text.h"
#include "cli/convert_command.h"
#include "cli/edit_commands.h"
#include "cli/extract_commands.h"
#include "cli/list_find.h"
#include "export/image_writers.h"
#include "export/output_formats.h"
#include "shell/file_type_registration.h"

namespace {

using namespace kelmora;
using namespace kelmora::cli;

// Standard output that cannot take what was printed is a failure, not a success.
int Finish(int status) {
    std::cout.flush();
    if (!std::cout) {
        Fail("cannot write to standard output");
        return kFailed;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    PrepareStandardStreams();
    // Said once, on standard error, whichever command opened the archive first.
    SetRecoveryNotice([](const std::string& file) { std::cerr << "kelmora-cli: " << RecoveryText(file) << "\n"; });
    std::vector<std::string> utf8Args = Utf8Arguments(argc, argv);
    std::vector<char*> argPointers;
    for (std::string& a : utf8Args)
        argPointers.push_back(a.data());
    argPointers.push_back(nullptr);
    argv = argPointers.data();
    CLI::App app{"Kelmora: lists, exports and puts back the textures of PlayStation 2 texture dictionaries (.txd)",
                 "kelmora-cli"};
    app.set_version_flag("--version", std::string("kelmora-cli ") + kVersion);
    app.require_subcommand(1);
    // Options are --long and -s on every system; on Windows a path may start with "/".
    app.allow_windows_style_options(false);
    std::vector<std::string> formatNames{"jpeg"};
    for (const OutputFormat& f : OutputFormats())
        formatNames.emplace_back(f.Name);
    auto formats = CLI::IsMember(formatNames, CLI::ignore_case);

    ListOptions ls;
    CLI::App* list = app.add_subcommand("list", "Print the texture lists of dictionaries, one caption per line");
    list->add_option("FILE", ls.files,
                     "Dictionaries, ARCHIVE::NAME, game archives (.img, .dir) or directories (every .txd below them)")
        ->required();
    list->add_flag("--json", ls.json, "One JSON document with every dictionary's textures");
    list->add_flag("--all", ls.all, "Archives: every dictionary's textures, not only the dictionaries");

    ExtractOptions ex;
    CLI::App* extract = app.add_subcommand(
        "extract", "Export textures of one or more dictionaries (directories: every .txd below them)");
    extract->add_option("FILE", ex.files, "Dictionaries, ARCHIVE::NAME, game archives or directories")->required();
    extract->add_option("-o,--output", ex.out,
                        "Destination directory (default: a sub directory next to each dictionary, named after it)");
    extract->add_option("-f,--format", ex.format, FormatNames() + " (default bmp)")->transform(formats);
    extract->add_option("--only-dict", ex.onlyDicts,
                        "Archives: only the dictionaries of this name (with or without .txd); may be repeated");
    extract->add_flag("--no-alphas", ex.noAlphas, "Write no grey alpha companions (BMP, JPEG)");
    extract->add_flag("--no-overwrite", ex.noOverwrite, "Skip textures whose files exist");
    extract->add_flag("--no-filter", ex.noFilter, "Do not unswizzle");
    extract->add_flag("--no-brighten", ex.noBrighten, "Keep the console's 0..128 alpha range");
    extract->add_option("--only", ex.only, "List lines to export, e.g. 1,3,5-9");
    extract->add_flag("--keep-going", ex.keepGoing,
                      "Go on with the next texture and dictionary after a failure (exit status 1 at the end)");
    extract->add_flag("-q,--quiet", ex.quiet, "Print errors only");
    extract->add_flag("--levels", ex.levels, "Also write mip levels 1 and up, as NAME.mip1.EXT, NAME.mip2.EXT, ...");
    int pngLevel = kDefaultPngLevel;
    auto pngOption = [&pngLevel](CLI::App* c) {
        c->add_option("--png-level", pngLevel,
                      "PNG compression from 1 (fastest) to 12 (smallest); default " + std::to_string(kDefaultPngLevel))
            ->check(CLI::Range(1, 12));
    };
    pngOption(extract);
    extract->add_option("-j,--jobs", ex.jobs,
                        "Threads that read, decode and compress (default: every core; one for a small dictionary alone); the files and lines are the same for any number")
        ->check(CLI::Range(1, 256));

    SaveOptions sv;
    CLI::App* save = app.add_subcommand("save", "Save one texture like the viewer's single export");
    save->add_option("FILE", sv.file, "The dictionary (.txd), or ARCHIVE::NAME")->required();
    save->add_option("TEXTURE", sv.texture, "Texture number as listed (from 1), or its name")->required();
    save->add_option("OUT", sv.out, "The image file to write")->required();
    save->add_option("-f,--format", sv.format, FormatNames() + " (default: from OUT's extension)")->transform(formats);
    save->add_flag("--alpha", sv.alpha, "BMP and JPEG: the grey alpha picture instead of the colours");
    save->add_flag("--no-filter", sv.noFilter, "Do not unswizzle");
    save->add_flag("--no-brighten", sv.noBrighten, "Keep the console's 0..128 alpha range");
    pngOption(save);

    kelmora::cli::EditOptions ed;
    std::string importFolder, replaceTexture, replaceImage;
    auto editOptions = [&ed](CLI::App* c) {
        c->add_option("-o,--output", ed.Output, "Write the changed dictionary here; the original stays as it is");
        c->add_flag("--no-filter", ed.NoFilter, "The images were exported without the unswizzle");
        c->add_flag("--no-brighten", ed.NoBrighten, "The images keep the console's 0..128 alpha range");
        c->add_flag("--no-dither", ed.NoDither, "Quantise without dithering");
        c->add_flag("--keep-palette", ed.KeepPalette, "Map pictures onto the texture's present palette");
    };
    CLI::App* import = app.add_subcommand(
        "import", "Put the images of a folder back: each named after a texture, as extract names them, replaces it");
    import->add_option("DICT", ed.Dictionary, "The dictionary (.txd), a game archive, or a folder of dictionaries")->required();
    import->add_option("FOLDER", importFolder, "The folder of images (PNG, TGA, BMP, JPEG)")->required();
    editOptions(import);
    CLI::App* replace = app.add_subcommand("replace", "Replace one texture's picture by an image");
    replace->add_option("DICT", ed.Dictionary, "The dictionary (.txd)")->required();
    replace->add_option("TEXTURE", replaceTexture, "Texture number as listed, or its name")->required();
    replace->add_option("IMAGE", replaceImage, "The image (PNG, TGA, BMP, JPEG)")->required();
    editOptions(replace);
    replace->add_option("--depth", ed.Depth, "Store the texture at another depth")->check(CLI::IsMember({4, 8, 16, 32}));
    import->add_option("--depth", ed.Depth, "Store the replaced textures at another depth")->check(CLI::IsMember({4, 8, 16, 32}));
    std::size_t importJobs = 0;
    import->add_option("-j,--jobs", importJobs,
                       "Archives and folders: dictionaries put back at once (default: every core); the result is the same for any number")
        ->check(CLI::Range(1, 256));
    std::string addImage, addName, addMask, removeTexture, renameTexture, renameName, renameMask;
    std::uint32_t addLevels = 1;
    CLI::App* add = app.add_subcommand("add", "Add a texture after the last");
    add->add_option("DICT", ed.Dictionary, "The dictionary (.txd)")->required();
    add->add_option("IMAGE", addImage, "The image (PNG, TGA, BMP, JPEG)")->required();
    add->add_option("--name", addName, "The texture's name")->required();
    add->add_option("--mask", addMask, "The texture's mask (alpha) name");
    add->add_option("--depth", ed.Depth, "4, 8 (default), 16 or 32 bits")->check(CLI::IsMember({4, 8, 16, 32}));
    add->add_option("--levels", addLevels, "Mip levels, made from the picture (default 1)");
    add->add_flag("--allow-duplicate", ed.AllowDuplicate, "Allow a name another texture has already");
    auto dxtQualities = CLI::IsMember({"fast", "normal", "best"}, CLI::ignore_case);
    for (CLI::App* c : {import, replace, add}) {
        c->add_option("--format", ed.Format,
                      "PC and Xbox textures: store as DXT1, DXT3, DXT5, 8888, 888, 565, 1555, 555, 4444, L8, A8L8, "
                      "PAL8 or PAL4 (default: the texture's own; new ones DXT1, or DXT5 with alpha)");
        c->add_option("--dxt-quality", ed.Quality, "DXT encoding: fast, normal (cluster fit, the default) or best")
            ->transform(dxtQualities);
    }
    editOptions(add);
    CLI::App* remove = app.add_subcommand("remove", "Remove a texture");
    remove->add_option("DICT", ed.Dictionary, "The dictionary (.txd)")->required();
    remove->add_option("TEXTURE", removeTexture, "Texture number as listed, or its name")->required();
    remove->add_option("-o,--output", ed.Output, "Write the changed dictionary here; the original stays as it is");
    CLI::App* rename = app.add_subcommand("rename", "Rename a texture");
    rename->add_option("DICT", ed.Dictionary, "The dictionary (.txd)")->required();
    rename->add_option("TEXTURE", renameTexture, "Texture number as listed, or its name")->required();
    rename->add_option("NEWNAME", renameName, "The new name")->required();
    CLI::Option* maskOption = rename->add_option("--mask", renameMask, "The new mask name");
    rename->add_flag("--allow-duplicate", ed.AllowDuplicate, "Allow a name another texture has already");
    rename->add_option("-o,--output", ed.Output, "Write the changed dictionary here; the original stays as it is");

    std::string archivePath, unpackOut;
    std::vector<std::string> unpackNames, renamePair;
    kelmora::cli::PackOptions pk;
    CLI::App* unpack = app.add_subcommand("unpack", "Copy dictionaries out of a game archive, byte for byte");
    unpack->add_option("ARCHIVE", archivePath, "The archive (.img, or .dir beside its .img)")->required();
    unpack->add_option("NAME", unpackNames, "Only the entries of these names (any entry, with or without .txd)");
    unpack->add_option("-o,--output", unpackOut, "Destination directory (default: here)");
    CLI::App* pack = app.add_subcommand("pack", "Put files into a game archive: each replaces the entry of its name or is added");
    pack->add_option("ARCHIVE", archivePath, "The archive (.img, or .dir beside its .img)")->required();
    pack->add_option("FILE", pk.Files, "Files whose names are the entries' names");
    pack->add_option("--remove", pk.Remove, "Remove the entry of this name; may be repeated");
    pack->add_option("--rename", renamePair, "Rename entry OLD to NEW")->expected(2);
    pack->add_flag("--create", pk.Create,
                   "Make a new archive: version 2 for an .img name, version 1 (a .dir and its .img) for a .dir name");
    CLI::App* rebuild = app.add_subcommand("rebuild", "Write a game archive anew without its free space");
    rebuild->add_option("ARCHIVE", archivePath, "The archive (.img, or .dir beside its .img)")->required();
    FindOptions fd;
    CLI::App* find = app.add_subcommand("find", "Every texture whose name or mask name matches a pattern");
    find->add_option("PATTERN", fd.pattern, "Part of a name, or a pattern with * and ?; any case")->required();
    find->add_option("PATH", fd.paths, "Dictionaries, ARCHIVE::NAME, game archives or directories")->required();
    find->add_flag("--json", fd.json, "One JSON document with the matches");

    ConvertCommand cv;
    CLI::App* convert = app.add_subcommand(
        "convert", "Convert a dictionary, ARCHIVE::NAME or a whole archive to another platform, into a new file");
    convert->add_option("INPUT", cv.Input, "The dictionary (.txd), ARCHIVE::NAME, or a game archive")->required();
    convert->add_option("-o,--output", cv.Output, "The new dictionary or archive (an existing file is not written over)")
        ->required();
    convert->add_option("--to", cv.To, "ps2, d3d8, d3d9 or xbox")
        ->required()
        ->transform(CLI::IsMember({"ps2", "d3d8", "d3d9", "xbox"}, CLI::ignore_case));
    convert->add_option("--compress", cv.Compress, "PC and Xbox: dxt stores DXT1 (DXT5 with alpha) instead of raw texels")
        ->transform(CLI::IsMember({"dxt"}, CLI::ignore_case));
    convert->add_option("--dxt-quality", cv.Quality, "fast, normal (the default) or best")->transform(dxtQualities);
    convert->add_option("--depth", cv.Depth,
                        "To PlayStation 2: 4 or 8 bits, or 16 or 32 true colour (default: a palettised texture's own, else 8)")
        ->check(CLI::IsMember({4, 8, 16, 32}));
    convert->add_flag("--resize", cv.Resize, "To PlayStation 2: scale sides it cannot hold to powers of two from 8 to 1024");
    convert->add_flag("--no-dither", cv.NoDither, "Quantise without dithering");
    convert->add_flag("--no-filter", cv.NoFilter, "Read and write the textures without the unswizzle");
    convert->add_flag("-q,--quiet", cv.Quiet, "Print errors and the summary only");

    CLI::App* reg = app.add_subcommand("register-file-type", "Associate .txd files with the Kelmora viewer");

    // CLI11 would call an unknown command a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        const std::string command = argv[1];
        static const std::vector<std::string> commands = {"list",   "extract", "save",    "import", "replace",
                                                          "add",    "remove",  "rename",  "find",   "unpack",
                                                          "pack",   "rebuild", "convert", "register-file-type"};
        if (std::find(commands.begin(), commands.end(), command) == commands.end()) {
            std::string all;
            for (const std::string& c : commands)
                all += (all.empty() ? "" : ", ") + c;
            Fail("unknown command \"" + command + "\"; the commands are " + all);
            return kUsage;
        }
    }
    try {
        app.parse(argc, argv);
        if (*extract && !ex.only.empty() && !ParseOnly(ex.only, ex.onlyLines))
            throw CLI::ValidationError("--only", "expects list lines such as 1,3,5-9");
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e); // --help and --version
        Fail(std::string(e.what()) + " (see kelmora-cli --help)");
        return kUsage;
    }

    SetPngLevel(pngLevel);
    std::signal(SIGINT, kelmora::cli::OnInterrupt);
    try {
        if (*list)
            return Finish(List(ls));
        if (*extract)
            return Finish(Extract(ex));
        if (*save)
            return Finish(Save(sv));
        if (*import) {
            ed.Jobs = importJobs ? importJobs : CoreCount();
            return Finish(kelmora::cli::Import(ed, importFolder));
        }
        if (*replace)
            return Finish(kelmora::cli::Replace(ed, replaceTexture, replaceImage));
        if (*add)
            return Finish(kelmora::cli::Add(ed, addImage, addName, addMask, addLevels));
        if (*remove)
            return Finish(kelmora::cli::Remove(ed, removeTexture));
        if (*rename)
            return Finish(kelmora::cli::Rename(ed, renameTexture, renameName, *maskOption ? &renameMask : nullptr));
        if (*find)
            return Finish(Find(fd));
        if (*unpack)
            return Finish(kelmora::cli::Unpack(archivePath, unpackNames, unpackOut));
        if (*pack) {
            if (!renamePair.empty())
                pk.Rename.emplace_back(renamePair[0], renamePair[1]);
            return Finish(kelmora::cli::Pack(archivePath, pk));
        }
        if (*rebuild)
            return Finish(kelmora::cli::Rebuild(archivePath));
        if (*convert)
            return Finish(kelmora::cli::Convert(cv));
        if (*reg) {
            RegisterFileType();
            return kOk;
        }
    } catch (const std::bad_alloc&) {
        Fail("Out of memory");
        return kFailed;
    } catch (const std::exception& e) {
        Fail(ErrorLine(e));
        return kFailed;
    }
    return kUsage;
}
