#include "views/qt/help_dialogs.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QtGlobal>

#include "base/strings.h"

#ifndef ZELTRAK_VERSION
#error "the build passes the project version as ZELTRAK_VERSION"
#endif

namespace zeltrak {

namespace {

constexpr const char* kUserGuide =
    "Modes\n"
    "Real Time analyses the sound card's input as it arrives and keeps the last seconds as a history. "
    "Post Process analyses an opened wave file from its start. Recorder records the input into a wave "
    "file and plays it back. The Mode menu switches between them; the toolbar follows the mode.\n\n"
    "Running\n"
    "Run (F5) starts the analyser, Stop (Esc) stops it, and Single Step (F6) analyses one frame. "
    "In Post Process, Rewind, Fast Forward and Go To move through the file. Options > Settings sets "
    "the FFT size, the window, the averaging and the overlap; Options > Scaling the units of the "
    "spectrum. A running analyser pauses while a dialog is open.\n\n"
    "The cursor\n"
    "Click or drag in a view to put the cursor on the nearest bin or sample. Left and Right step it "
    "one bin at a time, Home or P jump to the highest peak, and Ctrl+Left/Right or , and . to the "
    "next peak to the left or right. The readout shows the frequency or time and each trace's value. "
    "The right-button menu saves the view as PNG or SVG and copies its data as text.\n\n"
    "Files\n"
    "File > Open (Ctrl+O) opens a wave file for Post Process or Recorder mode; Save (Ctrl+S) and "
    "Save As (Ctrl+Shift+S) write the open file. A changed file is offered for saving before it is "
    "closed and before the program ends. Settings are written to the settings file when the window "
    "closes, and the file open at exit is reopened at the next start.";

}  // namespace

const char* ProgramVersion() { return ZELTRAK_VERSION; }

QString AboutText() {
    return QString("%1\n\nVersion %2\nBuilt with Qt %3, running on Qt %4")
        .arg(QString::fromUtf8(kProgramTitle), ProgramVersion(), QT_VERSION_STR, qVersion());
}

TUserGuideDialog::TUserGuideDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("User Guide"));
    auto* view = new QPlainTextEdit(QString::fromUtf8(kUserGuide), this);
    view->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(buttons);
    resize(560, 480);
}

}  // namespace zeltrak
