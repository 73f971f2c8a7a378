#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // The window's remembered settings go to a folder of the run's own.
    const QString settings = QDir::tempPath() + "/kelmora-viewer-tests-" + QString::number(QCoreApplication::applicationPid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    QDir(settings).removeRecursively();
    return status;
}
