#pragma once
// Waiting for what the window does off its thread: the decode of a large texture.
#include <QApplication>
#include <QElapsedTimer>

#include "viewer/KelmoraU.h"

// Lets events run until the texture view has no decode on its way (10 s at most).
inline bool WaitForDisplay(TForm1& form) {
    QElapsedTimer timer;
    timer.start();
    while (form.View().Decoding() && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    QApplication::processEvents();
    return !form.View().Decoding();
}
