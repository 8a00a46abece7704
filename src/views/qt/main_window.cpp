#include "views/qt/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QInputDialog>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QDateTime>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <functional>

#include "base/strings.h"
#include "dsp/spectral_data.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/engine_status.h"
#include "engine/processing_settings.h"
#include "engine/settings_validation.h"
#include "engine/sound_port.h"
#include "files/wave_file.h"
#include "platform/buffer_done_queue.h"
#include "platform/system_memory.h"
#include "views/file_transport.h"
#include "views/mode_switch.h"
#include "engine/wave_file_commands.h"
#include "views/qt/device_dialog.h"
#include "views/qt/generator_window.h"
#include "views/qt/utility_tools.h"
#include "views/qt/file_dialogs.h"
#include "views/qt/help_dialogs.h"
#include "views/qt/level_meter.h"
#include "views/qt/macro_window.h"
#include "views/qt/reverb_window.h"
#include "views/qt/qt_host.h"
#include "views/qt/settings_dialogs.h"
#include "views/qt/phase_view.h"
#include "views/qt/spectrum_view.h"
#include "views/qt/time_series_view.h"

namespace zeltrak {

namespace {
// Runs the input does not pace (files, playback, recording, triggers) step every few ms.
constexpr uint32_t kUnpacedIntervalMs = 5;
// Passes, and the repaints they cause, at most at the display's rate; a pass analyses every
// frame that is due, but leaves the window the core after a while.
constexpr qint64 kMinPassGapMs = 16;
constexpr qint64 kPassBudgetMs = 40;
// Even with no frame due for long, a pass now and then notices a lost device.
constexpr uint32_t kMaxSleepMs = 500;
// A running macro's passes, also while the analyser is stopped (its waits are tested each pass).
constexpr uint32_t kMacroPassMs = 10;
constexpr QStyle::StandardPixmap kNoIcon = QStyle::SP_CustomBase;
constexpr const char* kRecordIntoOpenFileQuestion =
    "%s is open.\n\nYes appends the recording to it, No records into a new file, Cancel does not record.";

// The window's side of a mode switch: the engine, the settings and the window itself.
class WindowModeTarget : public TModeSwitchTarget {
public:
    WindowModeTarget(TMainWin& window, TEngine& engine, ProcessingSettings& settings, bool realTimeBuffer,
                     std::function<void(uint32_t)> modeStored)
        : window_(window),
          engine_(engine),
          settings_(settings),
          realTimeBuffer_(realTimeBuffer),
          modeStored_(std::move(modeStored)) {}
    bool AnalyserRunning() const override { return engine_.Running(); }
    void StopAnalyser() override { window_.StopAnalyser(); }
    // The data logger is not part of the desktop yet; nothing to close.
    void StopLogging() override {}
    // Only what a Real-Time run left behind counts: a file kept or opened earlier is the
    // user's, and answering No must not throw it away.
    bool HasRealTimeBuffer() const override { return realTimeBuffer_ && engine_.WaveFile() != nullptr; }
    void KeepRealTimeBuffer() override {}  // the stopped engine already holds it, untitled
    // Through the engine, so that a failure closing the buffer's file is still shown.
    void DiscardRealTimeBuffer() override { engine_.SetWaveFile(nullptr); }
    void SetCaption(const std::string& caption) override { engine_.SetCaption(caption); }
    void SetMode(uint32_t mode) override {
        settings_.Mode.OpMode = mode;
        modeStored_(mode);
    }

private:
    TMainWin& window_;
    TEngine& engine_;
    ProcessingSettings& settings_;
    bool realTimeBuffer_;
    std::function<void(uint32_t)> modeStored_;
};

// A command named by its label (the name tests and the window look it up by), with its key
// in the tooltip so that toolbar users learn it.
QAction* MakeCommand(QObject* parent, const QString& label, const QKeySequence& key = {}) {
    auto* action = new QAction(label, parent);
    action->setObjectName(QString(label).remove('&').remove("..."));
    action->setShortcut(key);
    const QString name = action->objectName();
    action->setToolTip(key.isEmpty() ? name : QString("%1 (%2)").arg(name, key.toString(QKeySequence::NativeText)));
    return action;
}

// Recording has no standard icon: a red disc, drawn here so that nothing is shipped for it.
QIcon RecordIcon() {
    QPixmap disc(16, 16);
    disc.fill(Qt::transparent);
    QPainter painter(&disc);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 30, 30));
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(disc);
}

}  // namespace

// The file commands ask their questions through this; tests point it at a script.
class TChooserSwitch : public TWaveFileChooser {
public:
    explicit TChooserSwitch(TWaveFileChooser* target) : target_(target) {}
    void SetTarget(TWaveFileChooser* target) { target_ = target; }
    std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& filter) override {
        return target_->ChooseOpenFile(title, filter);
    }
    std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& filter,
                                              const std::string& current) override {
        return target_->ChooseSaveFile(title, filter, current);
    }
    CalibrationChoice AskWrongCalibration(const std::string& text) override {
        return target_->AskWrongCalibration(text);
    }

private:
    TWaveFileChooser* target_;
};

namespace {

int ModeIndex(uint32_t mode) {
    return mode >= kModeRealTime && mode <= kModeRecorder ? static_cast<int>(mode) - 1 : -1;
}
}  // namespace

TMainWin::TMainWin(QtHost& host, TEngine& engine, BufferDoneQueue& queue, ProcessingSettings& settings,
                   double spectrumStart, double spectrumStop, CalibrationRecord* calibration,
                   const std::string& tempDir)
    : host_(host),
      engine_(engine),
      settings_(settings),
      loop_(std::make_unique<TEngineLoop>(engine, queue)),
      spectrumStart_(spectrumStart),
      spectrumStop_(spectrumStop),
      queue_(queue),
      calibration_(calibration ? *calibration : ownCalibration_) {
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    mdi_ = new QMdiArea(this);
    setCentralWidget(mdi_);
    mdi_->viewport()->installEventFilter(this);
    CreateFileCommands(tempDir);

    CreateRunCommands();
    BuildMenus();
    tools_ = addToolBar(QString());
    tools_->setObjectName("modeToolBar");
    BuildToolBar();
    ShowModeTools();

    BuildStatusBar();
    host_.SetMainWindow(this);

    engine_.AddListener(this, ListenerRole::View);
    OpenView(View::Spectrum);

    idle_ = new QTimer(this);
    idle_->setSingleShot(true);
    connect(idle_, &QTimer::timeout, this, [this] { IdleStep(); });
    sinceStep_.start();
    // Notices come on the driver's thread; the pass they ask for runs on this one.
    queue_.SetWake([this] {
        QMetaObject::invokeMethod(
            this, [this] { if (!inStep_ && engine_.Running()) idle_->start(0); }, Qt::QueuedConnection);
    });
    UpdateActions();
    PlaceForFirstStart();
}

void TMainWin::CreateFileCommands(const std::string& tempDir) {
    dialogs_ = std::make_unique<TQtWaveFileChooser>(this);
    chooser_ = std::make_unique<TChooserSwitch>(dialogs_.get());
    TWaveFileEvents events;
    // Through the engine, so that a recording's title is built on the file's.
    events.caption = [this](const std::string& caption) { engine_.SetCaption(caption); };
    events.modeChanged = [this](uint32_t) {
        if (QAction* current = ModeAction(settings_.Mode.OpMode)) current->setChecked(true);
        realTimeBuffer_ = false;
        ShowModeTools();
        UpdateActions();
    };
    events.fileChanged = [this] { UpdateActions(); };
    events.calibrationChanged = [this] { CalibrationChanged(); };
    files_ = std::make_unique<TWaveFileCommands>(host_, engine_, settings_, calibration_, *chooser_, tempDir,
                                                 std::move(events));
}

void TMainWin::CreateRunCommands() {
    run_ = MakeCommand(this, tr("Run"), QKeySequence(Qt::Key_F5));
    // Esc stops a run, a long file run included, wherever the focus is in the window.
    stop_ = MakeCommand(this, tr("Stop"), QKeySequence(Qt::Key_Escape));
    step_ = MakeCommand(this, tr("Single Step"), QKeySequence(Qt::Key_F6));
    run_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    stop_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    step_->setIcon(style()->standardIcon(QStyle::SP_MediaSeekForward));
    // Held by the window itself so that the keys work with the toolbar hidden too.
    addActions({run_, stop_, step_});
    connect(run_, &QAction::triggered, this, [this] { RunAnalyser(); });
    connect(stop_, &QAction::triggered, this, [this] { StopAnalyser(); });
    connect(step_, &QAction::triggered, this, [this] { SingleStep(); });
}

void TMainWin::BuildStatusBar() {
    state_ = new QLabel(this);
    state_->setObjectName("runState");
    overload_ = new QLabel(this);
    overload_->setObjectName("overload");
    frames_ = new QLabel(this);
    frames_->setObjectName("averages");
    time_ = new QLabel(this);
    time_->setObjectName("frameTime");
    levelMeter_ = new TLevelMeter(this);
    for (QWidget* w : std::initializer_list<QWidget*>{state_, overload_, frames_, time_, levelMeter_})
        statusBar()->addPermanentWidget(w);
}

TMainWin::~TMainWin() {
    queue_.SetWake({});
    idle_->stop();
    if (engine_.Running()) engine_.Stop();
    for (int i = 0; i < kViewCount; ++i) ForgetView(static_cast<View>(i));
    engine_.RemoveListener(this);
}

bool TMainWin::RunAnalyser() { return StartRun(std::nullopt); }

bool TMainWin::RunAnalyserFrames(uint32_t limit) { return StartRun(limit); }

bool TMainWin::StartRun(std::optional<uint32_t> frameLimit) {
    // A run under way goes on; the engine only sets or clears its frame limit.
    if (!engine_.Running() && !ReleaseFileForRealTime()) return false;
    const bool started = frameLimit ? engine_.RunFrames(*frameLimit) : engine_.Run();
    if (started) idle_->start(0);
    UpdateActions();
    return started;
}

bool TMainWin::SingleStep() {
    const bool started = ReleaseFileForRealTime() && engine_.SingleStep();
    if (started) idle_->start(0);
    UpdateActions();
    return started;
}

bool TMainWin::Play() {
    const bool started = engine_.Play();
    if (started) idle_->start(0);
    UpdateActions();
    return started;
}

bool TMainWin::ReleaseFileForRealTime() {
    // A Real-Time run starts a new history in place of the engine's file; a file the user
    // opened or kept must not vanish unasked.
    if (settings_.Mode.OpMode != kModeRealTime || realTimeBuffer_ || !engine_.WaveFile()) return true;
    const bool closed = files_->CloseBeforeRealTimeRun();
    UpdateActions();
    return closed;
}

void TMainWin::StopAnalyser() {
    if (engine_.Running()) engine_.Stop();
    // Notices of the buffers the stop returned still belong to the engine.
    loop_->DeliverPending();
    idle_->stop();
    // A running macro keeps its passes when the analyser stops under it.
    if (macro_->Running()) idle_->start(static_cast<int>(kMacroPassMs));
    UpdateActions();
}

void TMainWin::BuildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    struct FileCommand {
        const char* label;
        QKeySequence key;
        QStyle::StandardPixmap icon;  // for the toolbar
        std::function<void()> command;
    };
    const FileCommand fileCommands[] = {
        {"&Open...", QKeySequence(Qt::CTRL | Qt::Key_O), QStyle::SP_DialogOpenButton,
         [this] { files_->OpenFromMenu(); }},
        {"&Close", {}, kNoIcon, [this] { files_->Close(); }},
        {"&Save", QKeySequence(Qt::CTRL | Qt::Key_S), QStyle::SP_DialogSaveButton, [this] { files_->Save(); }},
        {"Save &As...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), kNoIcon, [this] { files_->SaveAs(); }},
    };
    for (const auto& [label, key, icon, command] : fileCommands) {
        QAction* a = MakeCommand(this, tr(label), key);
        if (icon != kNoIcon) a->setIcon(style()->standardIcon(icon));
        file->addAction(a);
        connect(a, &QAction::triggered, this, [this, command = command] {
            command();
            UpdateActions();
        });
    }
    file->addSeparator();
    QAction* exit = MakeCommand(this, tr("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    file->addAction(exit);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* mode = menuBar()->addMenu(tr("&Mode"));
    modeGroup_ = new QActionGroup(this);
    modeGroup_->setExclusive(true);
    for (uint32_t m : {kModeRealTime, kModeRecorder, kModePostProcessing}) {
        QAction* a = mode->addAction(QString::fromStdString(ModeLabel(m)));
        a->setCheckable(true);
        a->setData(m);
        modeGroup_->addAction(a);
        modes_[ModeIndex(m)] = a;
        // The check mark follows the stored mode, not the click: a refused switch keeps it.
        connect(a, &QAction::triggered, this, [this, m] { SelectMode(m); });
    }
    if (QAction* current = ModeAction(settings_.Mode.OpMode)) current->setChecked(true);

    BuildViewMenu();

    QMenu* options = menuBar()->addMenu(tr("&Options"));
    options->addAction(tr("&Settings..."), this, &TMainWin::ShowSettingsDialog);
    options->addAction(tr("S&caling..."), this, &TMainWin::ShowScalingDialog);
    options->addAction(tr("&Trigger..."), this, &TMainWin::ShowTriggerDialog);
    options->addAction(tr("&File I/O Options..."), this, &TMainWin::ShowFileOptionsDialog);
    options->addAction(tr("&Device..."), this, &TMainWin::ShowDeviceDialog);

    generator_ = std::make_unique<TGeneratorTool>(host_, engine_, *mdi_);
    QMenu* utilities = menuBar()->addMenu(tr("&Utilities"));
    utilities->addAction(generator_->ToggleAction());
    utilities->addAction(tr("Save Signal To &Wave File..."), this, [this] { generator_->SaveSignalToWave(); });
    reverb_ = std::make_unique<TReverbTool>(host_, engine_, *mdi_);
    reverb_->SetStopAnalyser([this] { StopAnalyser(); });
    utilities->addAction(reverb_->ToggleAction());
    utilityTools_ = std::make_unique<TUtilityTools>(
        host_, engine_, settings_, *mdi_, [this](const std::function<void()>& step) { WithAnalyserPaused(step); });
    utilityTools_->AddToMenu(*utilities);
    macro_ = std::make_unique<TMacroTool>(host_, *mdi_);
    macro_->SetWake([this] { if (!inStep_) idle_->start(0); });
    utilities->addAction(macro_->ToggleAction());

    QMenu* window = menuBar()->addMenu(tr("&Window"));
    const std::pair<Arrangement, const char*> arrangements[] = {
        {Arrangement::Cascade, "&Cascade"},
        {Arrangement::TileVertical, "Tile &Vertical"},
        {Arrangement::TileHorizontal, "Tile &Horizontal"}};
    for (const auto& [arrangement, label] : arrangements) {
        QAction* a = window->addAction(tr(label), this, [this, arrangement = arrangement] { ArrangeViews(arrangement); });
        a->setObjectName(QString(label).remove('&'));
    }
    BuildHelpMenu();
}

void TMainWin::BuildHelpMenu() {
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* guide = MakeCommand(this, tr("&User Guide"), QKeySequence(Qt::Key_F1));
    QAction* about = MakeCommand(this, tr("&About"));
    help->addActions({guide, about});
    connect(guide, &QAction::triggered, this, [this] {
        if (!guide_) guide_ = new TUserGuideDialog(this);
        guide_->show();
        guide_->raise();
    });
    connect(about, &QAction::triggered, this, [this] {
        // Window-modal without blocking the caller: the analyser's timer keeps running.
        auto* box = new QMessageBox(QMessageBox::Information, tr("About"), AboutText(), QMessageBox::Ok, this);
        box->setObjectName("aboutBox");
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}

// Made once: a rebuild per mode switch would leave the removed labels, lists and actions
// behind as hidden children of the toolbar.
void TMainWin::BuildToolBar() {
    modeLabel_ = new QLabel(tools_);
    modeLabel_->setObjectName("modeLabel");
    tools_->addWidget(modeLabel_);
    tools_->addActions({FileAction("Open"), FileAction("Save")});
    tools_->addSeparator();
    tools_->addActions({run_, stop_});
    fftSizes_ = new QComboBox(tools_);
    fftSizes_->setObjectName("fftSize");
    fftSizes_->setToolTip(tr("FFT size"));
    for (uint32_t n = 1024; n <= 1048576; n *= 2) fftSizes_->addItem(QString::number(n), n);
    connect(fftSizes_, &QComboBox::activated, this,
            [this](int index) { SelectFftSize(fftSizes_->itemData(index).toUInt()); });
    tools_->addWidget(fftSizes_);
    tools_->addAction(step_);
    auto add = [this](uint32_t mode, const QString& name, const QIcon& icon, std::function<void()> command) {
        QAction* a = MakeCommand(tools_, name);
        a->setIcon(icon);
        connect(a, &QAction::triggered, this, std::move(command));
        tools_->addAction(a);
        modeTools_.push_back({mode, a});
    };
    const auto icon = [this](QStyle::StandardPixmap which) { return style()->standardIcon(which); };
    add(kModePostProcessing, tr("Rewind"), icon(QStyle::SP_MediaSkipBackward), [this] { Rewind(); });
    add(kModePostProcessing, tr("Fast Forward"), icon(QStyle::SP_MediaSkipForward), [this] { FastForward(); });
    add(kModePostProcessing, tr("Go To"), icon(QStyle::SP_ArrowRight), [this] { AskGoTo(); });
    add(kModeRecorder, tr("Record"), RecordIcon(), [this] { Record(); });
    add(kModeRecorder, tr("Play"), icon(QStyle::SP_MediaVolume), [this] { Play(); });
}

void TMainWin::ShowModeTools() {
    const uint32_t mode = settings_.Mode.OpMode;
    const QString label = QString::fromStdString(ModeLabel(mode));
    tools_->setWindowTitle(label);
    modeLabel_->setText(label + "  ");
    // Recorder mode has no single step; hidden, its key is off as well.
    step_->setVisible(mode != kModeRecorder);
    for (const auto& [shownIn, action] : modeTools_) action->setVisible(shownIn == mode);
    ShowFftSize();
}

void TMainWin::ShowFftSize() {
    const uint32_t size = settings_.Settings().FFTsize;
    if (fftSizes_->findData(size) < 0) fftSizes_->addItem(QString::number(size), size);
    fftSizes_->setCurrentIndex(fftSizes_->findData(size));
}

void TMainWin::AskGoTo() {
    TWaveFile* file = engine_.WaveFile();
    if (file == nullptr) return;
    bool ok = false;
    const double now = file->FramesToSeconds(file->Position()), end = file->FramesToSeconds(file->Length());
    const double seconds = QInputDialog::getDouble(this, tr("Go To"), tr("Time (s)"), now, 0.0, end, 3, &ok);
    if (ok) GoTo(seconds);
}

bool TMainWin::Record() {
    if (engine_.Running() || !ChooseRecordingFile()) return false;
    const bool started = engine_.Record();
    if (started) idle_->start(0);
    UpdateActions();
    return started;
}

bool TMainWin::ChooseRecordingFile() {
    // Takes go on the end of an untitled recording unasked; a saved file is the user's work,
    // and a take appended to it unnoticed would change it at the next save.
    const std::string name = files_->OpenFileName();
    if (name.empty() || settings_.Mode.OpMode != kModeRecorder) return true;
    char text[1024];
    std::snprintf(text, sizeof text, kRecordIntoOpenFileQuestion, name.c_str());
    switch (host_.AskYesNoCancel(text, kProgramTitle)) {
        case Answer::Yes: return true;
        case Answer::No: {
            const bool closed = files_->Close();  // a changed file is offered for saving first
            UpdateActions();
            return closed;
        }
        default: return false;
    }
}

bool TMainWin::Rewind() { return RewindFile(engine_); }
bool TMainWin::FastForward() { return FastForwardFile(engine_); }
bool TMainWin::GoTo(double seconds) { return GoToSeconds(engine_, seconds); }

QString TMainWin::ModeToolBarLabel() const { return modeLabel_ ? modeLabel_->text().trimmed() : QString(); }

QAction* TMainWin::ModeAction(uint32_t mode) {
    const int i = ModeIndex(mode);
    return i < 0 ? nullptr : modes_[i];
}

void TMainWin::SelectMode(uint32_t mode) {
    WindowModeTarget target(*this, engine_, settings_, realTimeBuffer_, [this](uint32_t) { ShowModeTools(); });
    if (SwitchMode(settings_.Mode.OpMode, mode, host_, target) == ModeSwitchResult::Switched) realTimeBuffer_ = false;
    if (QAction* current = ModeAction(settings_.Mode.OpMode)) current->setChecked(true);
    UpdateActions();
}

bool TMainWin::SelectFftSize(uint32_t size) {
    if (size == settings_.Settings().FFTsize) return true;
    bool ok = false;
    WithAnalyserPaused([&] {
        // The same checks as the Settings dialog, the memory estimate included.
        ProcessingDialogFields fields = ProcessingDialogFields::From(settings_.Settings());
        fields.fftSize = size;
        SettingsBlock candidate = settings_.Settings();
        const ValidationResult r = AcceptProcessingDialog(fields, engine_.InputPort(),
                                                          [] { return SystemFreeMemoryBytes(); }, candidate);
        if (!r.ok) {
            ShowMessage(host_, r.message);
            return;
        }
        settings_.Settings() = candidate;
        ok = true;
    });
    ShowFftSize();
    return ok;
}

template <typename F>
void TMainWin::WithAnalyserPaused(F&& dialog) {
    const bool wasRunning = engine_.Running();
    if (wasRunning) StopAnalyser();
    dialog();
    if (wasRunning) RunAnalyser();
}

void TMainWin::ChangeSettings(const std::function<void()>& change) {
    WithAnalyserPaused(change);
    ShowSettings();
}

// What shows settings outside the dialogs: the toolbar's FFT size and the views' frequency axes.
void TMainWin::ShowSettings() {
    ShowFftSize();
    const FrequencyScale scale = FrequencyScaleFromCode(settings_.Scaling().FreqScaleType);
    if (SpectrumView()) SpectrumView()->SetFrequencyScale(scale);
    if (auto* phase = static_cast<TPhaseView*>(ViewWidget(View::Phase))) phase->SetFrequencyScale(scale);
}

void TMainWin::CalibrationChanged() { ShowSeriesUnit(); }

void TMainWin::ShowSettingsDialog() {
    WithAnalyserPaused([this] {
        TProcessingDialog d(host_, settings_, engine_.InputPort(), this);
        d.exec();
    });
    ShowSettings();  // the toolbar's FFT size list too
}

void TMainWin::ShowTriggerDialog() {
    WithAnalyserPaused([this] {
        TTriggerDialog d(host_, settings_.Trigger, this);
        d.exec();
    });
}

void TMainWin::SetPhaseBlankDepthDb(double depthDb) {
    phaseBlankDepthDb_ = depthDb;
    if (auto* phase = static_cast<TPhaseView*>(ViewWidget(View::Phase))) phase->SetBlankDepthDb(depthDb);
}

void TMainWin::SetPhaseBlankCoherence(double threshold) {
    phaseBlankCoherence_ = threshold;
    if (auto* phase = static_cast<TPhaseView*>(ViewWidget(View::Phase))) phase->SetBlankCoherence(threshold);
}

void TMainWin::ShowScalingDialog() {
    WithAnalyserPaused([this] {
        double depth = phaseBlankDepthDb_, coherence = phaseBlankCoherence_;
        TScalingDialog d(host_, settings_.Scaling(), settings_.CoherenceSquared, this, &depth, &coherence);
        if (d.exec() != QDialog::Accepted) return;
        SetPhaseBlankDepthDb(depth);
        SetPhaseBlankCoherence(coherence);
        ShowSettings();
    });
}

void TMainWin::ShowDeviceDialog() {
    WithAnalyserPaused([this] {
        TDeviceDialog d(host_, engine_.Driver(), settings_, engine_, this);
        d.exec();
    });
}

void TMainWin::ShowFileOptionsDialog() {
    if (!files_->AllowFileIoOptionsChange()) return;
    WithAnalyserPaused([this] {
        TFileOptionsDialog d(host_, settings_.FileIO, this);
        d.exec();
    });
}

void TMainWin::IdleStep() {
    // A long job polling for Esc runs the event loop from inside a step; the timer must not
    // start a second step on top of the first.
    if (inStep_) return;
    inStep_ = true;
    // A macro's line comes first in the pass, before the analyser's own work.
    macro_->Step();
    sinceStep_.restart();
    bool running = loop_->Pump(0);
    while (running && loop_->MillisecondsToWork(kUnpacedIntervalMs) == 0 && sinceStep_.elapsed() < kPassBudgetMs)
        running = loop_->Pump(0);
    inStep_ = false;
    if (!running) {
        idle_->stop();
        UpdateActions();
        // A macro waiting with the analyser stopped still needs its passes.
        if (macro_->Running()) idle_->start(static_cast<int>(kMacroPassMs));
        return;
    }
    if (!engine_.MillisecondsToNextFrame()) {
        idle_->start(static_cast<int>(kUnpacedIntervalMs));
        return;
    }
    const qint64 wait =
        std::min(loop_->MillisecondsToWork(kUnpacedIntervalMs), macro_->Running() ? kMacroPassMs : kMaxSleepMs);
    idle_->start(static_cast<int>(std::max(wait, kMinPassGapMs - sinceStep_.elapsed())));
}

void TMainWin::SetFileChooser(TWaveFileChooser* chooser) {
    chooser_->SetTarget(chooser ? chooser : dialogs_.get());
}

QAction* TMainWin::FileAction(const QString& name) const { return findChild<QAction*>(name); }

bool TMainWin::CloseFileForExit(std::string& openFileName) {
    openFileName = files_->OpenFileName();
    if (engine_.WaveFile() == nullptr) return true;
    return files_->Close();
}

void TMainWin::UpdateActions() {
    const bool running = engine_.Running();
    const bool fileOpen = engine_.WaveFile() != nullptr;
    for (const char* name : {"Close", "Save", "Save As"})
        if (QAction* a = FileAction(name)) a->setEnabled(fileOpen);
    run_->setEnabled(!running);
    stop_->setEnabled(running);
    // Recorder mode has no single step; its key must not reach the engine there either.
    step_->setEnabled(settings_.Mode.OpMode != kModeRecorder);
    state_->setText(tr(RunStateName(engine_.RunState())));
}

void TMainWin::OnFrame(const EngineFrame& frame) {
    overload_->setText(frame.overloaded ? tr("Overload") : QString());
    levelMeter_->Show(frame);
    // The average count is what the spectrum holds, which stops growing once a finite
    // average is complete; before the first analysed frame it is the frame count.
    const TSpectralData* first = nullptr;
    for (const TSpectralData* s : frame.spectrums)
        if (s && !first) first = s;
    const uint32_t averaged = first ? first->Averager().Averaged() : frame.frameCount + 1;
    frames_->setText(tr("Averages %1").arg(averaged));
    // Always in seconds, so that the unit beside the number holds for long runs too; a wall-clock
    // time reads as the time of day rather than as 1.8 billion seconds.
    if (frame.wallClockTime)
        time_->setText(tr("Time %1").arg(QDateTime::fromMSecsSinceEpoch(std::llround(frame.currentTime * 1000.0))
                                              .toString("HH:mm:ss.z")));
    else
        time_->setText(tr("Time %1 s").arg(frame.currentTime, 0, 'f', 3));
}

// The meters read the frames themselves; from the 0 … 10 levels they need only the reset
// that comes when a run stops.
void TMainWin::OnLevels(int32_t left, int32_t right) {
    if (left == 0 && right == 0 && !engine_.Running()) levelMeter_->Reset();
}

void TMainWin::OnStarted() {
    // A Real-Time run replaces whatever file the engine held with its own history.
    if (settings_.Mode.OpMode == kModeRealTime) realTimeBuffer_ = true;
    UpdateActions();
}

void TMainWin::OnStopped() { UpdateActions(); }

void TMainWin::OnCaption(const std::string& caption) {
    setWindowTitle(caption.empty() ? QString::fromUtf8(kProgramTitle) : QString::fromStdString(caption));
}

void TMainWin::closeEvent(QCloseEvent* event) {
    StopAnalyser();
    // A changed file is offered for saving first; Cancel keeps the program open.
    std::string openFileName;
    if (!reverb_->MayExit() || !CloseFileForExit(openFileName)) {
        event->ignore();
        return;
    }
    generator_->StoreForExit();
    reverb_->StoreForExit();
    macro_->StoreForExit();
    if (onClose_) {
        // Once only: a second close event (window system and Exit) must not store twice.
        auto onClose = std::move(onClose_);
        onClose_ = nullptr;
        onClose(openFileName);
    }
    event->accept();
}

}  // namespace zeltrak
