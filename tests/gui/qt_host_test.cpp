// The Qt host's side of long jobs: Esc or a click while a job polls cancels it; what happened
// before the job began does not.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>

#include "views/qt/qt_host.h"

namespace zeltrak {
namespace {

void Post(QWidget* target, QEvent* event) { QCoreApplication::postEvent(target, event); }

QMouseEvent* Click(QWidget* target) {
    const QPointF at(5, 5);
    return new QMouseEvent(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                           Qt::NoModifier);
}

TEST(QtHostCancel, EscOrClickDuringAPollCancelsOnceAndEarlierInputDoesNot) {
    QtHost host;
    QMainWindow window;
    window.resize(200, 100);
    window.show();
    host.SetMainWindow(&window);
    QApplication::processEvents();
    EXPECT_FALSE(host.PollCancelRequest());

    Post(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    EXPECT_TRUE(host.PollCancelRequest());
    EXPECT_FALSE(host.PollCancelRequest()) << "one Esc cancels one poll";

    Post(&window, Click(&window));
    EXPECT_TRUE(host.PollCancelRequest());

    // Other keys are typing, not cancelling.
    Post(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    EXPECT_FALSE(host.PollCancelRequest());

    // Input handled by the normal event loop before a job starts is not a request.
    Post(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    Post(&window, Click(&window));
    QApplication::processEvents();
    EXPECT_FALSE(host.PollCancelRequest());
}

}  // namespace
}  // namespace zeltrak
