#include "views/qt/macro_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>

#include "automation/command_interpreter.h"
#include "automation/macro_file.h"
#include "automation/macro_processor.h"
#include "platform/app_paths.h"
#include "platform/host.h"
#include "views/qt/file_dialogs.h"
#include "views/qt/macro_dialogs.h"

namespace zeltrak {
namespace {

std::string Filled(const char* format, const std::string& text) {
    std::string s = format;
    const std::size_t at = s.find("%s");
    return at == std::string::npos ? s : s.replace(at, 2, text);
}

class TGutter : public QWidget {
public:
    explicit TGutter(TMacroEditor* editor) : QWidget(editor), editor_(editor) {}
    QSize sizeHint() const override { return {editor_->GutterWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { editor_->PaintGutter(event); }

private:
    TMacroEditor* editor_;
};

}  // namespace

TMacroEditor::TMacroEditor(QWidget* parent) : QPlainTextEdit(parent), gutter_(new TGutter(this)) {
    // A script line is one command: wrapping would hide where lines begin.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { setViewportMargins(GutterWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        dy ? gutter_->scroll(0, dy) : gutter_->update(0, rect.y(), gutter_->width(), rect.height());
    });
    setViewportMargins(GutterWidth(), 0, 0, 0);
}

int TMacroEditor::GutterWidth() const {
    const int digits = QString::number(std::max(1, blockCount() - 1)).size();
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void TMacroEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect r = contentsRect();
    gutter_->setGeometry(QRect(r.left(), r.top(), GutterWidth(), r.height()));
}

void TMacroEditor::PaintGutter(QPaintEvent* event) {
    QPainter painter(gutter_);
    painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    for (; block.isValid() && top <= event->rect().bottom(); block = block.next()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top())
            painter.drawText(0, top, gutter_->width() - 4, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber()));
        top += height;
    }
}

TMacroWindow::TMacroWindow(Host& host, TIniStore& ini, std::string macroDirectory, QWidget* parent)
    : QWidget(parent), host_(host), ini_(ini), macroDirectory_(std::move(macroDirectory)),
      dialogs_(std::make_unique<TQtWaveFileChooser>(this)), chooser_(dialogs_.get()) {
    editor_ = new TMacroEditor(this);
    editor_->setObjectName("macroEditor");
    run_ = new QPushButton(tr(macro_text::kRun), this);
    stop_ = new QPushButton(tr(macro_text::kStop), this);
    viewOutput_ = new QPushButton(tr(macro_text::kViewOutput), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {run_, stop_, viewOutput_}) {
        b->setObjectName(b->text());
        buttons->addWidget(b);
    }
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor_);
    layout->addLayout(buttons);
    BuildMenu();
    connect(run_, &QPushButton::clicked, this, [this] { Run(); });
    connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
    connect(viewOutput_, &QPushButton::clicked, this, [this] { ViewOutput(); });
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] { UpdateState(); });
    SetFileName({});
    UpdateState();
}

TMacroWindow::~TMacroWindow() {
    closing_ = true;
    processor_.reset();
}

void TMacroWindow::BuildMenu() {
    auto* bar = new QMenuBar(this);
    QMenu* file = bar->addMenu(tr("&File"));
    file->addAction(tr("&New"), this, [this] { New(); });
    file->addAction(tr("&Open..."), this, [this] { Open(); });
    file->addAction(tr("&Close"), this, [this] { CloseMacro(); });
    file->addAction(tr("&Save"), this, [this] { Save(); });
    file->addAction(tr("Save &As..."), this, [this] { SaveAs(); });
    file->addSeparator();
    // The frame around the window closes too, asking through closeEvent.
    file->addAction(tr("E&xit"), this, [this] {
        QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
        (frame ? frame : this)->close();
    });
    bar->addAction(tr("&Options..."), this, [this] { ShowOptions(); });
    bar->addMenu(tr("&Help"))->addAction(tr(macro_text::kHelpTitle), this, [this] {
        auto* box = new QMessageBox(QMessageBox::NoIcon, tr(macro_text::kHelpTitle), tr(macro_text::kHelpText),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    for (QAction* a : bar->findChildren<QAction*>()) a->setObjectName(a->text().remove('&').remove("..."));
    layout()->setMenuBar(bar);
}

void TMacroWindow::SetAutomation(TCommandInterpreter* interpreter) {
    if (processor_) processor_->Stop();
    processor_.reset();
    interpreter_ = interpreter;
    if (!interpreter) return;
    MacroEvents events;
    events.stateChanged = [this](bool running) {
        if (closing_) return;
        UpdateState();
        interpreter_->MacroStatusChanged();
        if (runningChanged_) runningChanged_(running);
    };
    events.lineChanged = [this](int line) { if (!closing_) ShowLine(line); };
    events.outputClosed = [this](const std::string& name) {
        lastOutput_ = name;
        if (!closing_) interpreter_->FileClosed(name);
    };
    processor_ = std::make_unique<TMacroProcessor>(*interpreter, host_, std::move(events));
}

void TMacroWindow::SetFileChooser(TWaveFileChooser* chooser) { chooser_ = chooser ? chooser : dialogs_.get(); }

bool TMacroWindow::Running() const { return processor_ && processor_->Running(); }

bool TMacroWindow::Run() {
    if (!processor_ || Running()) return false;
    std::vector<std::string> lines;
    for (QTextBlock b = editor_->document()->firstBlock(); b.isValid(); b = b.next())
        lines.push_back(b.text().toStdString());
    editor_->verticalScrollBar()->setValue(0);
    // The default output file lives there; a missing folder would lose the run's output unseen.
    if (!macroDirectory_.empty()) MakeDirectories(macroDirectory_);
    const bool started = processor_->Run(std::move(lines), MacroRunOptions(ReadMacroSettings(ini_), macroDirectory_));
    UpdateState();
    return started;
}

void TMacroWindow::Stop() {
    if (processor_) processor_->Stop();
}

void TMacroWindow::Step() {
    if (processor_) processor_->Step();
}

void TMacroWindow::UpdateState() {
    const bool running = Running();
    const bool empty = editor_->document()->isEmpty();
    editor_->setReadOnly(running);
    run_->setEnabled(!running && !empty);
    stop_->setEnabled(running && !empty);
    viewOutput_->setEnabled(!running);
}

// The current line stays a quarter of the visible lines below the top.
void TMacroWindow::ShowLine(int line) {
    const QTextBlock block = editor_->document()->findBlockByNumber(line);
    if (!block.isValid()) return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    editor_->setTextCursor(cursor);
    const int lineHeight = std::max(1, editor_->fontMetrics().lineSpacing());
    const int visible = std::max(4, editor_->viewport()->height() / lineHeight);
    editor_->verticalScrollBar()->setValue(std::max(0, line - visible / 4));
}

void TMacroWindow::SetFileName(const std::string& name) {
    fileName_ = name;
    setWindowTitle(QString::fromStdString(name.empty() ? macro_text::kUntitledTitle
                                                       : Filled(macro_text::kTitleFormat, name)));
}

bool TMacroWindow::Load(const std::string& path) {
    host_.SetStatusText(macro_text::kOpening);
    std::vector<std::string> lines;
    std::string error;
    const bool read = ReadMacroFile(path, lines, error);
    host_.SetStatusText("");
    if (!read) {
        ShowMessage(host_, error, MessageIcon::Warning);
        return false;
    }
    // The file's last line end does not begin a line of its own; saving writes it back.
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    QStringList text;
    for (const std::string& line : lines) text << QString::fromStdString(line);
    editor_->setPlainText(text.join('\n'));
    editor_->document()->setModified(false);
    SetFileName(path);
    MacroSettings settings = ReadMacroSettings(ini_);
    settings.macroFilename = path;
    StoreMacroSettings(settings, ini_);
    return true;
}

void TMacroWindow::New() { CloseMacro(); }

bool TMacroWindow::Open() {
    if (Running() || !OfferToSave()) return false;
    const std::optional<std::string> path = chooser_->ChooseOpenFile(macro_text::kOpenTitle, macro_text::kMacroFilter);
    return path && Load(*path);
}

bool TMacroWindow::CloseMacro() {
    if (Running() || !OfferToSave()) return false;
    editor_->clear();
    editor_->document()->setModified(false);
    SetFileName({});
    return true;
}

bool TMacroWindow::Save() { return fileName_.empty() ? SaveAs() : WriteTo(fileName_); }

bool TMacroWindow::SaveAs() {
    const std::optional<std::string> path =
        chooser_->ChooseSaveFile(macro_text::kSaveTitle, macro_text::kMacroFilter, fileName_);
    if (!path || !WriteTo(*path)) return false;
    SetFileName(*path);
    MacroSettings settings = ReadMacroSettings(ini_);
    settings.macroFilename = *path;
    StoreMacroSettings(settings, ini_);
    return true;
}

bool TMacroWindow::WriteTo(const std::string& path) {
    host_.SetStatusText(macro_text::kSaving);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << editor_->toPlainText().toStdString() << '\n';
    out.close();
    host_.SetStatusText("");
    // A failed write must not pass for a saved file: the changes would be dropped unasked.
    if (!out) {
        ShowMessage(host_, Filled(macro_text::kSaveFailedFormat, path), MessageIcon::Error);
        return false;
    }
    editor_->document()->setModified(false);
    return true;
}

bool TMacroWindow::OfferToSave() {
    if (!editor_->document()->isModified()) return true;
    const std::string name = fileName_.empty() ? macro_text::kUntitled : fileName_;
    switch (host_.AskYesNoCancel(Filled(macro_text::kChangedFormat, name), "")) {
        case Answer::Yes: return Save();
        case Answer::No: return true;
        default: return false;
    }
}

bool TMacroWindow::ViewOutput() {
    if (Running()) return false;
    const std::optional<std::string> file =
        chooser_->ChooseOpenFile(macro_text::kOutputTitle, macro_text::kOutputFilter);
    if (!file) return false;
    const std::string viewer = MacroViewer(ReadMacroSettings(ini_));
    if (host_.StartProgram(viewer, *file)) return true;
    ShowMessage(host_, Filled(macro_text::kViewerFailedFormat, viewer), MessageIcon::Error);
    return false;
}

void TMacroWindow::ShowOptions() {
    TMacroOptionsDialog dialog(ReadMacroSettings(ini_), macroDirectory_, this);
    if (dialog.exec() == QDialog::Accepted) StoreMacroSettings(dialog.Result(), ini_);
}

void TMacroWindow::closeEvent(QCloseEvent* event) {
    if (Running() && host_.AskYesNo(macro_text::kCloseWhileRunning, "") != Answer::Yes) {
        event->ignore();
        return;
    }
    Stop();
    if (!OfferToSave()) {
        event->ignore();
        return;
    }
    event->accept();
}

TMacroTool::TMacroTool(Host& host, QMdiArea& area)
    : host_(host),
      slot_(area, macro_text::kMenu, macro_text::kStatusKey,
            [this](TIniStore& ini) -> QWidget* {
                auto* window = new TMacroWindow(host_, ini, MacroDirectory(AppEnvironment::FromProcess(), ini));
                window->SetAutomation(interpreter_);
                window->SetRunningChanged([this](bool running) { if (running && wake_) wake_(); });
                // The macro last used comes back with the window.
                const std::string last = ReadMacroSettings(ini).macroFilename;
                if (!last.empty() && std::filesystem::is_regular_file(last)) window->Load(last);
                return window;
            },
            false) {}

void TMacroTool::SetAutomation(TCommandInterpreter* interpreter) {
    interpreter_ = interpreter;
    if (TMacroWindow* window = Window()) window->SetAutomation(interpreter);
}

TMacroWindow* TMacroTool::Open() { return static_cast<TMacroWindow*>(slot_.Open()); }

// A running macro is stopped first: a command asks nobody.
void TMacroTool::Close() {
    if (TMacroWindow* window = Window()) window->Stop();
    slot_.Close();
}

void TMacroTool::Step() {
    if (TMacroWindow* window = Window()) window->Step();
}

bool TMacroTool::Running() const { return Window() && Window()->Running(); }

int TMacroTool::Status() const { return Window() ? (Window()->Running() ? 1 : 0) : -1; }

bool TMacroTool::RunFile(const std::string& path) {
    TMacroWindow* window = Open();
    if (!window) return false;
    window->Stop();
    return window->Load(path) && window->Run();
}

}  // namespace zeltrak
