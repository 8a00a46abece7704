// The main window's defects as a new user met them: names typed without an extension.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include "files/wave_file.h"
#include "gui/shell.h"
#include "views/qt/file_dialogs.h"

namespace zeltrak {
namespace {

// Types `typed` into the name field of the next modal file dialog, opened in `dir`, and
// accepts it, as a user would.
void AnswerNextFileDialog(const QString& dir, const QString& typed) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, dir, typed] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* field = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
        if (!field) return;
        poll->stop();
        poll->deleteLater();
        dialog->setDirectory(dir);
        field->setText(typed);
        static_cast<QDialog*>(dialog)->accept();  // public there, virtual: the dialog's own accept runs
    });
    poll->start(20);
}

// A name typed without an extension gets the chosen filter's; one typed with any extension is kept.
TEST(ShellDefects, SaveDialogsAddTheFiltersExtensionToANameTypedWithoutOne) {
    TempDir dir;
    QDir(QString::fromStdString(dir.path())).mkdir("takes.d");
    const struct {
        const char* filter;
        const char* typed;
        const char* saved;
    } cases[] = {
        {"Wave Files (*.wav)|*.wav|", "take", "take.wav"},
        {"Wave Files (*.wav)|*.wav|", "take.WAV", "take.WAV"},
        {"Wave Files (*.wav)|*.wav|", "notes.txt", "notes.txt"},
        {"Wave Files (*.wav)|*.wav|", "takes.d/take", "takes.d/take.wav"},
        {"PNG image (*.png)|*.png|", "plot", "plot.png"},
        {"SVG drawing (*.svg)|*.svg|", "plot", "plot.svg"},
        {"All Files (*.*)|*.*|", "plot", "plot"},
    };
    TQtWaveFileChooser chooser(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.filter) + " " + c.typed);
        AnswerNextFileDialog(QString::fromStdString(dir.path()), c.typed);
        const std::optional<std::string> name = chooser.ChooseSaveFile("Save As", c.filter, "");
        ASSERT_TRUE(name.has_value());
        EXPECT_EQ(QDir::cleanPath(QString::fromStdString(*name)).toStdString(), dir.File(c.saved));
    }
}

// Esc stops a Post-Processing run long before the file's end, wherever the window has it.
TEST(ShellDefects, EscStopsALongFileRun) {
    TempDir dir;
    const std::string path = dir.File("long.wav");
    ASSERT_TRUE(WriteTone(path, 60)) << "sox is needed";
    Shell s(dir.path());
    s.window->SelectMode(kModePostProcessing);
    s.window->activateWindow();
    ASSERT_TRUE(SpinUntil([&] { return s.window->isActiveWindow(); }));
    const std::pair<const char*, std::function<QWidget*()>> receivers[] = {
        {"the spectrum view", [&] { return s.window->ViewWidget(TMainWin::View::Spectrum); }},
        {"the main window", [&]() -> QWidget* { return s.window.get(); }},
    };
    for (const auto& [where, receiver] : receivers) {
        SCOPED_TRACE(where);
        s.chooser.next = path;
        s.window->FileAction("Open")->trigger();
        ASSERT_TRUE(s.window->RunAnalyser()) << s.LastMessage();
        ASSERT_TRUE(SpinUntil([&] { return s.engine->FrameCount() >= 3; }));
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(receiver(), &esc);
        EXPECT_TRUE(SpinUntil([&] { return !s.engine->Running(); }, 2000));
        EXPECT_LT(s.engine->WaveFile()->Position(), s.engine->WaveFile()->Length() / 2);
        s.window->StopAnalyser();
    }
}

// Record with a saved file open asks: Yes appends to it, No records into a new file, Cancel changes nothing.
TEST(ShellDefects, RecordAsksBeforeItTouchesASavedFile) {
    TempDir dir;
    const std::string path = dir.File("saved.wav");
    ASSERT_TRUE(WriteTone(path, 1)) << "sox is needed";
    for (const Answer answer : {Answer::Yes, Answer::No, Answer::Cancel}) {
        SCOPED_TRACE(static_cast<int>(answer));
        Shell s(dir.path());
        s.window->SelectMode(kModeRecorder);
        s.chooser.next = path;
        s.window->FileAction("Open")->trigger();
        TWaveFile* saved = s.engine->WaveFile();
        ASSERT_NE(saved, nullptr) << s.LastMessage();
        const uint32_t frames = saved->Length();
        const std::string title = s.Title();
        s.host.SetScriptedAnswer(true, answer);
        const size_t said = s.host.Messages().size();
        EXPECT_EQ(s.window->Record(), answer != Answer::Cancel);
        ASSERT_EQ(s.host.Messages().size(), said + 1);
        EXPECT_EQ(s.host.Messages().back().rfind(path + " is open.", 0), 0u) << s.host.Messages().back();
        if (answer == Answer::Cancel) {
            EXPECT_FALSE(s.engine->Running());
            EXPECT_EQ(s.engine->WaveFile(), saved);
            EXPECT_EQ(saved->Length(), frames);
            EXPECT_EQ(s.Title(), title);
            continue;
        }
        ASSERT_TRUE(SpinUntil([&] { return s.engine->WaveFile()->WrittenLength() > frames + 3200; }));
        EXPECT_EQ(s.window->Files().OpenFileName(), answer == Answer::Yes ? path : "");
        EXPECT_EQ(s.Title(), answer == Answer::Yes ? title + " - Recording..." : kTitle + " [Untitled] - Recording...");
        s.window->StopAnalyser();
    }
    EXPECT_EQ(RunCommand("soxi -s '" + path + "'").second, "32000\n");  // nothing was saved over it
}

// Cascade and tiling use the client area and follow it as the window grows and shrinks.
TEST(ShellDefects, ArrangedViewsFitTheAreaAndFollowItsSize) {
    TempDir dir;
    Shell s(dir.path());
    for (auto view : {TMainWin::View::TimeSeries, TMainWin::View::Phase}) s.window->OpenView(view);
    const struct {
        const char* action;
        double width, height;  // least share of the area each view takes
    } cases[] = {{"Cascade", 0.8, 0.8}, {"Tile Vertical", 0.33, 1.0}, {"Tile Horizontal", 1.0, 0.33}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        s.window->resize(600, 450);
        QApplication::processEvents();
        s.window->findChild<QAction*>(c.action)->trigger();
        for (const QSize size : {QSize(1600, 1000), QSize(700, 500)}) {
            s.window->resize(size);
            QApplication::processEvents();
            const QRect area = s.window->Client()->viewport()->rect();
            ASSERT_GT(area.width(), size.width() / 2);
            const auto subs = s.window->Client()->subWindowList();
            ASSERT_EQ(subs.size(), 3);
            for (const QMdiSubWindow* sub : subs) {
                EXPECT_TRUE(area.contains(sub->geometry())) << size.width();
                EXPECT_GE(sub->width(), c.width * area.width() - 1) << size.width();
                EXPECT_GE(sub->height(), c.height * area.height() - 1) << size.width();
            }
        }
    }
    // A view the user placed stays where it was put.
    QMdiSubWindow* placed = s.window->Client()->subWindowList().front();
    placed->setGeometry(10, 10, 300, 200);
    s.window->resize(1600, 1000);
    QApplication::processEvents();
    EXPECT_EQ(placed->geometry(), QRect(10, 10, 300, 200));
}

}  // namespace
}  // namespace zeltrak
