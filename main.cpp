// Kelmora: the viewer's start-up.
#include <QApplication>

#include "viewer/KelmoraU.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kelmora");
    QStringList args = QApplication::arguments();
    args.removeFirst();
    TForm1 window(args);
    window.show();
    return QApplication::exec();
}
