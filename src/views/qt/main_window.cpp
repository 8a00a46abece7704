#include "views/qt/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "base/strings.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/processing_settings.h"
#include "platform/buffer_done_queue.h"
#include "views/qt/qt_host.h"
#include "views/qt/spectrum_view.h"

namespace zeltrak {

namespace {
// Between idle passes the card gets the core; a pass analyses at most one frame.
constexpr int kIdleIntervalMs = 5;
}  // namespace

TMainWin::TMainWin(QtHost& host, TEngine& engine, BufferDoneQueue& queue, const ProcessingSettings& settings,
                   double spectrumStart, double spectrumStop)
    : host_(host), engine_(engine), loop_(std::make_unique<TEngineLoop>(engine, queue)) {
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    mdi_ = new QMdiArea(this);
    setCentralWidget(mdi_);

    spectrum_ = new TSpectrumView(spectrumStart, spectrumStop, settings.Scaling().FreqScaleType);
    QMdiSubWindow* sub = mdi_->addSubWindow(spectrum_);
    sub->setWindowTitle(tr("Spectrum"));
    sub->resize(720, 420);

    run_ = new QAction(tr("Run"), this);
    stop_ = new QAction(tr("Stop"), this);
    connect(run_, &QAction::triggered, this, [this] { RunAnalyser(); });
    connect(stop_, &QAction::triggered, this, [this] { StopAnalyser(); });
    QAction* exit = new QAction(tr("Exit"), this);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(exit);
    QMenu* window = menuBar()->addMenu(tr("&Window"));
    window->addAction(tr("Cascade"), mdi_, &QMdiArea::cascadeSubWindows);
    window->addAction(tr("Tile"), mdi_, &QMdiArea::tileSubWindows);
    QToolBar* tools = addToolBar(tr("Real Time"));
    tools->addWidget(new QLabel(tr("Real Time") + "  "));
    tools->addAction(run_);
    tools->addAction(stop_);

    state_ = new QLabel(this);
    overload_ = new QLabel(this);
    frames_ = new QLabel(this);
    statusBar()->addPermanentWidget(state_);
    statusBar()->addPermanentWidget(overload_);
    statusBar()->addPermanentWidget(frames_);
    host_.SetMainWindow(this);

    engine_.AddListener(spectrum_, ListenerRole::View);
    engine_.AddListener(this, ListenerRole::View);

    idle_ = new QTimer(this);
    idle_->setInterval(kIdleIntervalMs);
    connect(idle_, &QTimer::timeout, this, [this] { IdleStep(); });
    UpdateActions();
    resize(900, 620);
}

TMainWin::~TMainWin() {
    idle_->stop();
    if (engine_.Running()) engine_.Stop();
    engine_.RemoveListener(spectrum_);
    engine_.RemoveListener(this);
}

bool TMainWin::RunAnalyser() {
    if (engine_.Running()) return true;
    const bool started = engine_.Run();
    if (started) idle_->start();
    UpdateActions();
    return started;
}

void TMainWin::StopAnalyser() {
    if (engine_.Running()) engine_.Stop();
    // Notices of the buffers the stop returned still belong to the engine.
    loop_->DeliverPending();
    idle_->stop();
    UpdateActions();
}

void TMainWin::IdleStep() {
    // A long job polling for Esc runs the event loop from inside a step; the timer must not
    // start a second step on top of the first.
    if (inStep_) return;
    inStep_ = true;
    const bool running = loop_->Pump(0);
    inStep_ = false;
    if (!running) {
        idle_->stop();
        UpdateActions();
    }
}

void TMainWin::UpdateActions() {
    const bool running = engine_.Running();
    run_->setEnabled(!running);
    stop_->setEnabled(running);
    state_->setText(running ? tr("Running") : tr("Stopped"));
}

void TMainWin::OnFrame(const EngineFrame& frame) {
    overload_->setText(frame.overloaded ? tr("Overload") : QString());
    frames_->setText(tr("Frames %1").arg(frame.frameCount + 1));
}

void TMainWin::OnStarted() { UpdateActions(); }

void TMainWin::OnStopped() { UpdateActions(); }

void TMainWin::OnCaption(const std::string& caption) {
    setWindowTitle(caption.empty() ? QString::fromUtf8(kProgramTitle) : QString::fromStdString(caption));
}

void TMainWin::closeEvent(QCloseEvent* event) {
    StopAnalyser();
    event->accept();
}

void TMainWin::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) host_.NoteCancelRequest();
    QMainWindow::keyPressEvent(event);
}

}  // namespace zeltrak
