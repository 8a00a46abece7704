#pragma once
#include <QApplication>
#include <QElapsedTimer>

namespace zeltrak::gui_testing {

// Runs the Qt event loop until `done` holds or `ms` milliseconds have passed.
template <typename F>
bool SpinUntil(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace zeltrak::gui_testing
