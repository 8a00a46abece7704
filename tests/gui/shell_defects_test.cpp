// The main window's defects as a new user met them: names typed without an extension.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

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

}  // namespace
}  // namespace zeltrak
