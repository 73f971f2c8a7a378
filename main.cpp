// Kelmora: the viewer's start-up.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "base/version.h"
#include "viewer/KelmoraU.h"

int main(int argc, char** argv) {
    // Answered before any window or display is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: kelmora [FILE.txd]\n"
                        "Views the textures of a PlayStation 2 texture dictionary and exports them\n"
                        "as BMP, JPEG, TGA or PNG. The first argument that names an existing file\n"
                        "is opened.\n\n"
                        "  -h, --help     show this help and exit\n"
                        "      --version  show the version and exit\n\n"
                        "For scripts and batch work see kelmora-cli --help; manual: man kelmora.\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kelmora %s\n", kelmora::kVersion);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kelmora");
    QApplication::setApplicationVersion(kelmora::kVersion);
    QApplication::setDesktopFileName("kelmora");
    QStringList args = QApplication::arguments();
    args.removeFirst();
    TForm1 window(args);
    window.show();
    return QApplication::exec();
}
