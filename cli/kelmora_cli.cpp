// kelmora-cli: the dictionary engine for scripts and batch work.
#include <cstdio>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "dictionary/dictionary_walk.h"
#include "dictionary/errors.h"
#include "dictionary/text.h"

namespace {

using namespace kelmora;

std::string ForTerminal(const std::string& cp1252) {
    std::string s = Cp1252ToUtf8(cp1252);
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
            out += s[i];
    return out;
}

void Fail(const std::string& text) { std::cerr << "kelmora-cli: " << ForTerminal(text) << "\n"; }

int List(const std::string& file) {
    WalkResult walk = WalkDictionary(file);
    for (std::size_t i = 0; i < walk.Listed; ++i)
        std::cout << ForTerminal(walk.Entries[i].Caption) << "\n";
    std::cout.flush();
    if (walk.End == WalkEnd::Empty) {
        std::cerr << FileNameOf(file) << " is empty!\n";
        return 0;
    }
    if (walk.End == WalkEnd::Stopped) {
        Fail(walk.Report.Message());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Kelmora: lists and exports the textures of PlayStation 2 texture dictionaries (.txd)",
                 "kelmora-cli"};
    app.set_version_flag("--version", "kelmora-cli 1.2");
    app.require_subcommand(1);

    std::string listFile;
    CLI::App* list = app.add_subcommand("list", "Print the texture list of a dictionary, one caption per line");
    list->add_option("FILE", listFile, "The dictionary (.txd)")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return e.get_exit_code() == 0 ? 0 : (code == 0 ? 0 : 2);
    }

    try {
        if (*list)
            return List(listFile);
    } catch (const KelmoraError& e) {
        Fail(e.what());
        return 1;
    } catch (const std::exception& e) {
        Fail(e.what());
        return 1;
    }
    return 2;
}
