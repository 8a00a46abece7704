#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <cmath>
#include <cstddef>
#include <vector>

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

// Index of the largest value, ignoring gaps (NaN); 0 for an empty or all-gap trace.
inline std::size_t HighestPoint(const std::vector<float>& v) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < v.size(); ++i)
        if (!std::isnan(v[i]) && (std::isnan(v[best]) || v[i] > v[best])) best = i;
    return best;
}

}  // namespace zeltrak::gui_testing
