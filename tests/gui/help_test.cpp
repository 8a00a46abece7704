// The window's keys, its Help menu and its status bar, offscreen on the Loopback card.
#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include "shell.h"
#include "views/qt/help_dialogs.h"

namespace zeltrak {

// Each usual command has its key and the key reaches it from the window.
TEST(Help, EveryUsualCommandHasItsKeyAndTheKeyReachesIt) {
    TempDir dir;
    Shell s(dir.path());
    s.window->activateWindow();
    ASSERT_TRUE(SpinUntil([&] { return s.window->isActiveWindow(); }));
    const struct {
        const char* command;
        QKeySequence key;
    } rows[] = {
        {"Open", QKeySequence(Qt::CTRL | Qt::Key_O)},       {"Save", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"Save As", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}, {"Exit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"Run", QKeySequence(Qt::Key_F5)},                  {"Stop", QKeySequence(Qt::Key_Escape)},
        {"Single Step", QKeySequence(Qt::Key_F6)},          {"User Guide", QKeySequence(Qt::Key_F1)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        QAction* action = s.window->FileAction(row.command);
        ASSERT_NE(action, nullptr);
        // The key, pressed anywhere in the window, triggers the command; made harmless here
        // (enabled, its own work disconnected) so that Exit and Save do not act.
        QObject::disconnect(action, &QAction::triggered, s.window.get(), nullptr);
        action->setEnabled(true);
        int triggered = 0;
        QObject::connect(action, &QAction::triggered, [&] { ++triggered; });
        const QKeyCombination combination = row.key[0];
        QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
        QApplication::sendEvent(s.window.get(), &press);
        EXPECT_EQ(triggered, 1);
    }
}

// The status bar's fields carry their labels and units, and say what the analyser is doing.
TEST(Help, StatusFieldsReadWithLabelsAndUnits) {
    TempDir dir;
    const struct {
        uint32_t mode;
        std::function<bool(TMainWin&)> start;
        const char* state;
        bool history;
        const char* time;
    } rows[] = {
        {kModeRealTime, [](TMainWin& w) { return w.RunAnalyser(); }, "Running", true, "^Time [0-9]+\\.[0-9]{3} s$"},
        // Without a history file a live run keeps wall-clock time: shown as the time of day.
        {kModeRealTime, [](TMainWin& w) { return w.RunAnalyser(); }, "Running", false,
         "^Time [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]+$"},
        {kModeRecorder, [](TMainWin& w) { return w.Record(); }, "Recording", true, "^Time [0-9]+\\.[0-9]{3} s$"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.time);
        Shell s(dir.path());
        s.settings.FileIO.RealTimeWaveBufferEnableFlag = row.history ? 1 : 0;
        s.window->SelectMode(row.mode);
        auto field = [&](const char* name) {
            const auto* label = s.window->findChild<QLabel*>(name);
            return label ? label->text().toStdString() : std::string("no field ") + name;
        };
        EXPECT_EQ(field("runState"), "Stopped");
        ASSERT_TRUE(row.start(*s.window)) << s.LastMessage();
        ASSERT_TRUE(SpinUntil([&] { return s.engine->FrameCount() >= 3; }));
        EXPECT_EQ(field("runState"), row.state);
        EXPECT_TRUE(QRegularExpression("^Averages [1-9][0-9]*$").match(field("averages").c_str()).hasMatch())
            << field("averages");
        EXPECT_TRUE(QRegularExpression(row.time).match(field("frameTime").c_str()).hasMatch()) << field("frameTime");
        s.window->StopAnalyser();
        EXPECT_EQ(field("runState"), "Stopped");
    }
}

// About names the program, its version and Qt's; F1 opens the user guide on the modes, the
// keys and the files. Both open without blocking the window.
TEST(Help, AboutAndUserGuideSayWhatTheyShould) {
    TempDir dir;
    Shell s(dir.path());
    s.window->activateWindow();
    ASSERT_TRUE(SpinUntil([&] { return s.window->isActiveWindow(); }));
    ASSERT_TRUE(QRegularExpression("^[0-9]+\\.[0-9]+\\.[0-9]+$").match(ProgramVersion()).hasMatch()) << ProgramVersion();
    const struct {
        const char* what;
        std::function<void()> open;
        std::function<QString()> shown;
        QStringList phrases;
    } rows[] = {
        {"User Guide (F1)",
         [&] {
             QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
             QApplication::sendEvent(s.window.get(), &f1);
         },
         [&] {
             const auto* guide = s.window->findChild<TUserGuideDialog*>();
             const auto* text = guide ? guide->findChild<QPlainTextEdit*>() : nullptr;
             return text && guide->isVisible() ? text->toPlainText() : QString();
         },
         {"Real Time", "Post Process", "Recorder", "Run (F5)", "Stop (Esc)", "Left and Right", "Ctrl+O"}},
        {"About",
         [&] {
             if (QAction* about = s.window->FileAction("About")) about->trigger();
         },
         [&] {
             const auto* box = s.window->findChild<QMessageBox*>("aboutBox");
             return box && box->isVisible() ? box->text() : QString();
         },
         {QString::fromStdString(kTitle), QString("Version ") + ProgramVersion(), QString("Qt ") + qVersion()}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        row.open();
        QApplication::processEvents();
        const QString shown = row.shown();
        ASSERT_FALSE(shown.isEmpty()) << "nothing shown";
        for (const QString& phrase : row.phrases) EXPECT_TRUE(shown.contains(phrase)) << phrase.toStdString();
    }
}

}  // namespace zeltrak
