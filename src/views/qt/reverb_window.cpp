#include "views/qt/reverb_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <cstdio>

#include "engine/engine.h"
#include "generator/noise_recordings.h"
#include "platform/host.h"
#include "utilities/reverb_file.h"
#include "utilities/reverb_strings.h"
#include "utilities/reverb_text.h"

namespace zeltrak {
namespace {

constexpr const char* kStatusKey = "Reverb";
constexpr int kTurnMs = 5;  // the wait for the recording lets paints and timers run this long

QComboBox* MakeList(QWidget* parent, const char* name, std::initializer_list<const char*> items, int current) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    for (const char* item : items) list->addItem(item);
    list->setCurrentIndex(current);
    return list;
}

}  // namespace

TReverbOptsDialog::TReverbOptsDialog(Host& host, const ReverbOptions& options, QWidget* parent)
    : QDialog(parent), host_(host), options_(options) {
    setWindowTitle(kReverbOptionsTitle);
    auto* form = new QFormLayout(this);
    smoothing_ = MakeList(this, "smoothing", {"None", "Averaging", "Schroeder"}, int(options.smoothing));
    extrapolation_ = MakeList(this, "extrapolation", {"RT 10", "RT 20", "RT 30"}, int(options.extrapolation));
    maxDecay_ = new QLineEdit(QString::number(options.maxDecayTime), this);
    maxDecay_->setObjectName("maxDecayTime");
    form->addRow(tr("Smoothing Method"), smoothing_);
    form->addRow(tr("Extrapolation Method"), extrapolation_);
    form->addRow(tr("Maximum Decay Time (seconds)"), maxDecay_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TReverbOptsDialog::accept() {
    ReverbOptions entered = options_;
    entered.smoothing = static_cast<ReverbSmoothing>(smoothing_->currentIndex());
    entered.extrapolation = static_cast<ReverbExtrapolation>(extrapolation_->currentIndex());
    bool number = false;
    const int seconds = maxDecay_->text().trimmed().toInt(&number);
    entered.maxDecayTime = number ? seconds : 0;  // not a number is out of range too
    const std::string refusal = ReverbOptionsError(entered);
    if (!refusal.empty()) {
        ShowMessage(host_, refusal);
        return;
    }
    options_ = entered;
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

TReverbWindow::TReverbWindow(Host& host, TEngine& engine, TIniStore& ini, QWidget* parent)
    : QWidget(parent), host_(host), engine_(engine), ini_(ini) {
    setObjectName("reverb");
    ReadReverbOptions(ini, options_);
    BuildControls();
    BuildContextMenu();
    ShowTitle("");
    ShowView(ReverbView::Times);
}

TReverbWindow::~TReverbWindow() { WriteReverbOptions(ini_, options_); }

void TReverbWindow::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"Start", [this] { Start(); }},
        {"Reverb Times", [this] { ShowView(ReverbView::Times); }},
        {"Decay Plot", [this] { ShowView(ReverbView::Decay); }},
        {"3-D Surface", [this] { ShowView(ReverbView::Surface); }},
        {"Load...", [this] { LoadFromDialog(); }},
        {"Save...", [this] { SaveFromDialog(); }},
        {"Options...", [this] { EditOptions(); }}};
    for (const auto& [label, act] : commands) {
        auto* button = new QPushButton(tr(label), this);
        button->setObjectName(label);
        connect(button, &QPushButton::clicked, this, act);
        row->addWidget(button);
        if (!start_) start_ = button;
    }
    choice_ = new QComboBox(this);
    choice_->setObjectName("choice");
    row->addWidget(choice_);
    connect(choice_, &QComboBox::activated, this, [this](int index) {
        (plot_->View() == ReverbView::Times ? options_.displayedRTTime : options_.displayedDecayBand) = index;
        plot_->update();
    });
    meter_ = new QProgressBar(this);
    meter_->setObjectName("meter");
    meter_->setRange(0, 10);
    meter_->setTextVisible(false);
    meter_->setMaximumWidth(80);
    row->addWidget(meter_);
    layout->addLayout(row);
    plot_ = new TReverbPlot(data_, options_, this);
    layout->addWidget(plot_, 1);
}

void TReverbWindow::BuildContextMenu() {
    auto* text = new QAction(tr("Copy as &Text"), plot_);
    connect(text, &QAction::triggered, this, &TReverbWindow::CopyAsText);
    auto* bitmap = new QAction(tr("Copy As &Bitmap"), plot_);
    connect(bitmap, &QAction::triggered, this, [this] { QApplication::clipboard()->setPixmap(plot_->grab()); });
    auto* options = new QAction(tr("&Properties"), plot_);
    connect(options, &QAction::triggered, this, &TReverbWindow::EditOptions);
    plot_->addActions({text, bitmap, options});
}

void TReverbWindow::ShowTitle(const std::string& path) {
    if (path.empty()) return setWindowTitle(kReverbWindowTitle);
    const std::string name = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    char title[512];
    std::snprintf(title, sizeof title, kReverbWindowTitleFile, name.c_str());
    setWindowTitle(QString::fromUtf8(title));
}

// The list beside the commands follows the view: the bar chart's time, the decay plot's band.
void TReverbWindow::ShowView(ReverbView view) {
    plot_->SetView(view);
    const QSignalBlocker quiet(choice_);
    choice_->clear();
    if (view == ReverbView::Times) {
        for (int i = 0; i < kReverbDrops; ++i) choice_->addItem(ReverbTimeName(i));
        choice_->setCurrentIndex(options_.displayedRTTime);
    } else if (view == ReverbView::Decay && !data_.frames.empty()) {
        for (int b = 0; b < data_.bandCount; ++b) choice_->addItem(ReverbBandLabel(data_.frames[0].frequency[b]));
        choice_->setCurrentIndex(std::min(options_.displayedDecayBand, data_.bandCount - 1));
    }
    choice_->setVisible(choice_->count() > 0);
}

void TReverbWindow::Refresh() {
    start_->setEnabled(!measuring_);
    ShowView(plot_->View());
    plot_->update();
}

bool TReverbWindow::Start() {
    if (measuring_) return false;
    if (stopAnalyser_) stopAnalyser_();
    else if (engine_.Running()) engine_.Stop();
    if (!OfferToSave()) return false;
    measuring_ = true;
    start_->setEnabled(false);
    plot_->SetNotice(kReverbInProgressText);
    const bool done = Measure();
    measuring_ = false;
    host_.SetStatusText("");
    plot_->SetNotice({});
    if (done) ShowTitle("");
    Refresh();
    return done;
}

// Any failure has been told to the user by the step that met it; the earlier results stay.
bool TReverbWindow::Measure() {
    const ReverbTiming timing = MakeReverbTiming(options_.maxDecayTime);
    const std::vector<int16_t> stimulus = BuildReverbStimulus(timing, NoiseRecordingBytes(NoiseRecording::Pink));
    const ProcessingSettings& settings = engine_.Settings();
    const ReverbDevices devices{static_cast<int32_t>(settings.Device.InputDeviceID),
                                static_cast<int32_t>(settings.Device.OutputDeviceID)};
    ReverbRecording recording = AcquireReverbRecording(engine_.Driver(), host_, *this, devices, timing, stimulus);
    if (recording.status != ReverbAcquireStatus::Recorded) return false;
    return AnalyseReverbRecording(*recording.wave, options_, data_, host_) == ReverbOutcome::Done;
}

void TReverbWindow::ShowMeterReading(int reading) { meter_->setValue(std::max(reading, 0)); }

// User input is left for the cancel poll, which watches it for <Esc>.
void TReverbWindow::KeepResponding() {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kTurnMs);
    if (turnHook_) turnHook_();
    if (!turnHook_) QThread::msleep(kTurnMs);
}

bool TReverbWindow::Load(const std::string& path) {
    if (measuring_ || !LoadReverbFile(path, options_, data_, host_)) return false;
    ShowTitle(path);
    Refresh();
    return true;
}

bool TReverbWindow::Save(const std::string& path) {
    if (measuring_ || !data_.present || !SaveReverbFile(path, data_, host_)) return false;
    ShowTitle(path);
    return true;
}

void TReverbWindow::LoadFromDialog() {
    if (measuring_ || !OfferToSave()) return;
    const QString path = QFileDialog::getOpenFileName(this, tr("Load..."), QString(), kReverbFileFilter);
    if (!path.isEmpty()) Load(path.toStdString());
}

void TReverbWindow::SaveFromDialog() {
    if (!data_.present) return;
    const QString path = QFileDialog::getSaveFileName(this, tr("Save..."), QString(), kReverbFileFilter);
    if (!path.isEmpty()) Save(path.toStdString());
}

bool TReverbWindow::OfferToSave() {
    if (!data_.present || !data_.modified) return true;
    switch (host_.AskYesNoCancel(kReverbUnsavedQuestion, kReverbWindowTitle)) {
        case Answer::No: return true;
        case Answer::Cancel: return false;
        case Answer::Yes: SaveFromDialog(); return !data_.modified;
    }
    return false;
}

// New options apply to the results shown at once, as after loading a file.
void TReverbWindow::EditOptions() {
    if (measuring_) return;
    TReverbOptsDialog dialog(host_, options_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    options_ = dialog.Result();
    WriteReverbOptions(ini_, options_);
    if (data_.present) SmoothAndTimeReverb(data_, options_);
    Refresh();
}

void TReverbWindow::CopyAsText() {
    if (!data_.present) return;
    const int band = std::clamp(options_.displayedDecayBand, 0, std::max(data_.bandCount - 1, 0));
    switch (plot_->View()) {
        case ReverbView::Times: host_.SetClipboardText(ReverbTimesText(data_, options_.displayedRTTime)); break;
        case ReverbView::Decay: host_.SetClipboardText(ReverbDecayText(data_, band)); break;
        case ReverbView::Surface: host_.SetClipboardText(ReverbSurfaceText(data_)); break;
    }
}

// A measurement holds the window's stack; it must end (Esc) before the window can go.
void TReverbWindow::closeEvent(QCloseEvent* event) {
    if (measuring_ || !OfferToSave()) return event->ignore();
    event->accept();
}

// ---------------------------------------------------------------------------------------------

TReverbTool::TReverbTool(Host& host, TEngine& engine, QMdiArea& area)
    : slot_(area, "&Reverberation Time", kStatusKey,
            [this, &host, &engine](TIniStore& ini) -> QWidget* {
                auto* window = new TReverbWindow(host, engine, ini);
                window->SetStopAnalyser(stopAnalyser_);
                return window;
            },
            false) {}

bool TReverbTool::MayExit() {
    TReverbWindow* window = Window();
    return !window || (!window->Measuring() && window->OfferToSave());
}

void TReverbTool::StoreForExit() {
    slot_.StoreOpenState();
    if (TReverbWindow* window = Window()) WriteReverbOptions(slot_.Settings(), window->Options());
}

}  // namespace zeltrak
