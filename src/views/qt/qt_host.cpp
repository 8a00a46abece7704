#include "views/qt/qt_host.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QStatusBar>
#include <QThread>

namespace zeltrak {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Warning: return QMessageBox::Warning;
        case MessageIcon::Error: return QMessageBox::Critical;
        case MessageIcon::Question: return QMessageBox::Question;
        case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Watches the events a cancel poll lets through: Esc or a mouse click anywhere in the program
// asks the running job to stop. The events still reach their widgets.
class CancelWatcher : public QObject {
public:
    bool seen = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress ||
            (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape))
            seen = true;
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

QtHost::QtHost() { ticks_.start(); }

void QtHost::SetMainWindow(QMainWindow* window) {
    window_ = window;
    progress_ = nullptr;
    if (window_) {
        progress_ = new QProgressBar(window_->statusBar());
        progress_->setRange(0, 100);
        progress_->setMaximumWidth(200);
        progress_->hide();
        window_->statusBar()->addPermanentWidget(progress_);
    }
}

void QtHost::SetScriptedAnswer(bool on, Answer answer) {
    scripted_ = on;
    scriptedAnswer_ = answer;
}

void QtHost::MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    messages_.push_back(text);
    if (quiet_) return;
    QMessageBox box(ToQtIcon(icon), Q(caption), Q(text), QMessageBox::Ok, window_.data());
    box.exec();
}

Answer QtHost::Ask(const std::string& text, const std::string& caption, bool withCancel) {
    messages_.push_back(text);
    if (scripted_) return scriptedAnswer_;
    if (quiet_) return withCancel ? Answer::Cancel : Answer::No;
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    QMessageBox box(QMessageBox::Question, Q(caption), Q(text), buttons, window_.data());
    switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return withCancel ? Answer::Cancel : Answer::No;
    }
}

Answer QtHost::AskYesNo(const std::string& text, const std::string& caption) { return Ask(text, caption, false); }

Answer QtHost::AskYesNoCancel(const std::string& text, const std::string& caption) { return Ask(text, caption, true); }

void QtHost::SetStatusText(const std::string& text) {
    if (window_) window_->statusBar()->showMessage(Q(text));
}

void QtHost::ShowProgress(bool visible) {
    if (progress_) progress_->setVisible(visible);
}

void QtHost::SetProgress(int percent) {
    if (progress_) progress_->setValue(std::clamp(percent, 0, 100));
}

void QtHost::SetBusyCursor(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

bool QtHost::PollCancelRequest() {
    // Long jobs run on the GUI thread; let the key and mouse events through to be seen. Only
    // what arrives while the job polls counts: an earlier click must not cancel a new job.
    CancelWatcher watcher;
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(&watcher);
        QApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
        app->removeEventFilter(&watcher);
    }
    return watcher.seen;
}

bool QtHost::SetClipboardText(const std::string& text) {
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setText(Q(text));
    return true;
}

bool QtHost::SetClipboardWave(const std::vector<uint8_t>& riffBytes) {
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard) return false;
    auto* mime = new QMimeData;
    mime->setData("audio/wav",
                  QByteArray(reinterpret_cast<const char*>(riffBytes.data()), static_cast<qsizetype>(riffBytes.size())));
    clipboard->setMimeData(mime);
    return true;
}

bool QtHost::SetClipboardLink(const std::string& linkText) { return SetClipboardText(linkText); }

std::string QtHost::ClipboardText() {
    QClipboard* clipboard = QApplication::clipboard();
    return clipboard ? clipboard->text().toStdString() : std::string();
}

bool QtHost::StartProgram(const std::string& program, const std::string& argument) {
    QStringList args;
    if (!argument.empty()) args << Q(argument);
    return QProcess::startDetached(Q(program), args);
}

int64_t QtHost::WallClockSeconds() { return QDateTime::currentSecsSinceEpoch(); }

uint32_t QtHost::TickMilliseconds() { return static_cast<uint32_t>(ticks_.elapsed()); }

void QtHost::SleepMilliseconds(uint32_t ms) { QThread::msleep(ms); }

}  // namespace zeltrak
