#include "views/qt/settings_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <initializer_list>
#include <optional>
#include <utility>

#include "dsp/averaging_types.h"
#include "dsp/channel_processing.h"
#include "dsp/dsp_strings.h"
#include "engine/settings_names.h"
#include "engine/settings_validation.h"
#include "platform/host.h"
#include "platform/system_memory.h"
#include "views/phase_blanking.h"
#include "views/view_text.h"

namespace zeltrak {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QLineEdit* e) { return e->text().toStdString(); }

// Fills a choice list with (text, value) items and selects `current`; a stored value that
// is not among the choices is kept as an extra item so accepting the dialog does not change it.
void Fill(QComboBox* box, std::initializer_list<std::pair<QString, int>> items, int current) {
    for (const auto& [text, value] : items) box->addItem(text, value);
    int at = box->findData(current);
    if (at < 0) {
        box->addItem(QString::number(current), current);
        at = box->count() - 1;
    }
    box->setCurrentIndex(at);
}

template <typename T>
T Value(const QComboBox* box) {
    return static_cast<T>(box->currentData().toInt());
}

}  // namespace

TSettingsDialogBase::TSettingsDialogBase(Host& host, const QString& title, QWidget* parent)
    : QDialog(parent), host_(host), browser_(QtOpenFileBrowser(this)) {
    setWindowTitle(title);
    form_ = new QFormLayout;
}

void TSettingsDialogBase::Finish() {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttons");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form_);
    layout->addWidget(buttons);
}

void TSettingsDialogBase::accept() {
    std::string message;
    if (!Apply(message)) {
        ShowMessage(host_, message);
        return;  // stays open for the user to correct the entry
    }
    QDialog::accept();
}

QLineEdit* TSettingsDialogBase::AddEdit(const char* name, const QString& label, const std::string& text) {
    auto* e = new QLineEdit(Q(text), this);
    e->setObjectName(name);
    form_->addRow(label, e);
    return e;
}

QLineEdit* TSettingsDialogBase::AddFileEdit(const char* name, const QString& label, const std::string& text,
                                            const QString& title, const QString& filter) {
    auto* e = new QLineEdit(Q(text), this);
    e->setObjectName(name);
    // Looked up at each press so that a browser set after construction is the one used.
    auto browse = [this](const QString& t, const QString& f, const QString& start) { return browser_(t, f, start); };
    form_->addRow(label, WithBrowseButton(e, title, filter, browse));
    return e;
}

QCheckBox* TSettingsDialogBase::AddCheck(const char* name, const QString& label, bool checked) {
    auto* c = new QCheckBox(label, this);
    c->setObjectName(name);
    c->setChecked(checked);
    form_->addRow(QString(), c);
    return c;
}

QComboBox* TSettingsDialogBase::AddChoice(const char* name, const QString& label) {
    auto* c = new QComboBox(this);
    c->setObjectName(name);
    form_->addRow(label, c);
    return c;
}

// ---------------------------------------------------------------------------------------------

TProcessingDialog::TProcessingDialog(Host& host, ProcessingSettings& settings, TFormatQuery& device,
                                     QWidget* parent)
    : TSettingsDialogBase(host, tr("Settings"), parent), settings_(settings), device_(device) {
    const ProcessingDialogFields f = ProcessingDialogFields::From(settings.Settings());
    channels_ = AddChoice("channels", tr("Channels"));
    Fill(channels_, {{tr("Mono"), 1}, {tr("Stereo"), 2}}, f.channels);
    bytes_ = AddChoice("bytesPerSample", tr("Sample size"));
    // A width the list does not offer (a 32-bit file's) still reads as bits, not as a byte count.
    if (f.bytesPerSample > 3) bytes_->addItem(tr("%1 bit").arg(8 * f.bytesPerSample), f.bytesPerSample);
    Fill(bytes_, {{tr("8 bit"), 1}, {tr("16 bit"), 2}, {tr("24 bit"), 3}}, f.bytesPerSample);
    rate_ = AddEdit("samplingRate", tr("Sampling rate (Hz)"), f.samplingRate);
    fftSize_ = AddChoice("fftSize", tr("FFT size"));
    for (uint32_t n = 1024; n <= 1048576; n *= 2) fftSize_->addItem(QString::number(n), n);
    if (fftSize_->findData(f.fftSize) < 0) fftSize_->addItem(QString::number(f.fftSize), f.fftSize);
    fftSize_->setCurrentIndex(fftSize_->findData(f.fftSize));
    decimation_ = AddEdit("decimationRatio", tr("Decimation ratio"), f.decimationRatio);
    lowPass_ = AddCheck("lowPassFilter", tr("Apply low-pass filter"), f.applyLowPassFilter);
    averages_ = AddEdit("averageBlocks", tr("Averages"), f.averageBlocks);
    peakHold_ = AddCheck("peakHold", tr("Peak hold"), f.peakHold);
    window_ = AddChoice("smoothingWindow", tr("Window"));
    for (int i = 0; i < static_cast<int>(std::size(kWindowNames)); ++i) window_->addItem(kWindowNames[i], i);
    Fill(window_, {}, f.smoothingWindow);
    overlap_ = AddEdit("overlapPercent", tr("Overlap (%)"), f.overlapPercent);
    averageType_ = AddChoice("averageType", tr("Average type"));
    for (int i = 0; i < kAveragingTypeCount; ++i) averageType_->addItem(AverageTypeName(static_cast<uint16_t>(i)), i);
    Fill(averageType_, {}, f.averageType);
    channelProcessing_ = AddChoice("channelProcessing", tr("Channel processing"));
    for (int i = 0; i < kChannelProcessingModeCount; ++i) channelProcessing_->addItem(ChannelProcessingName(static_cast<uint16_t>(i)), i);
    Fill(channelProcessing_, {}, f.channelProcessing);
    delay_ = AddEdit("delayTimeMsec", tr("Delay (ms)"), f.delayTimeMsec);
    delayChannel_ = AddChoice("delayChannel", tr("Delayed channel"));
    Fill(delayChannel_, {{tr("Left"), 0}, {tr("Right"), 1}}, f.delayChannel);
    overload_ = AddCheck("overloadDetection", tr("Overload detection"), f.enableOverloadDetection);
    excludeOverload_ = AddCheck("excludeOverload", tr("Exclude overloaded frames"), f.excludeOverloadFlag);
    Finish();
}

bool TProcessingDialog::Apply(std::string& message) {
    ProcessingDialogFields f;
    f.channels = Value<uint16_t>(channels_);
    f.bytesPerSample = Value<uint16_t>(bytes_);
    f.samplingRate = S(rate_);
    f.fftSize = Value<uint32_t>(fftSize_);
    f.decimationRatio = S(decimation_);
    f.applyLowPassFilter = lowPass_->isChecked();
    f.averageBlocks = S(averages_);
    f.peakHold = peakHold_->isChecked();
    f.smoothingWindow = Value<uint16_t>(window_);
    f.overlapPercent = S(overlap_);
    f.averageType = Value<uint16_t>(averageType_);
    f.channelProcessing = Value<uint16_t>(channelProcessing_);
    f.delayTimeMsec = S(delay_);
    f.delayChannel = Value<uint16_t>(delayChannel_);
    f.enableOverloadDetection = overload_->isChecked();
    f.excludeOverloadFlag = excludeOverload_->isChecked();
    // Validation works on a copy; the live settings change only when everything passed.
    SettingsBlock candidate = settings_.Settings();
    const ValidationResult r = AcceptProcessingDialog(f, device_,
                                                      [] { return SystemFreeMemoryBytes(); }, candidate);
    // A refusal may reset an entry (the rate to the device maximum, the overlap to 50).
    rate_->setText(Q(f.samplingRate));
    overlap_->setText(Q(f.overlapPercent));
    if (!r.ok) {
        message = r.message;
        return false;
    }
    settings_.Settings() = candidate;
    return true;
}

// ---------------------------------------------------------------------------------------------

TTriggerDialog::TTriggerDialog(Host& host, TriggerBlock& trigger, QWidget* parent)
    : TSettingsDialogBase(host, tr("Trigger"), parent), trigger_(trigger) {
    const TriggerDialogFields f = TriggerDialogFields::From(trigger);
    enable_ = AddCheck("enable", tr("Enable trigger"), f.enable);
    autoReset_ = AddCheck("autoReset", tr("Re-arm automatically"), f.autoReset);
    channel_ = AddChoice("channel", tr("Channel"));
    Fill(channel_, {{tr("Left"), 0}, {tr("Right"), 1}}, static_cast<int>(f.channel));
    threshold_ = AddEdit("threshold", tr("Threshold (%)"), f.threshold);
    type_ = AddChoice("triggerType", tr("Type"));
    Fill(type_, {{tr("Level"), 0}, {tr("Edge"), 1}}, f.triggerType);
    slope_ = AddChoice("triggerSlope", tr("Slope"));
    Fill(slope_, {{tr("Positive"), 0}, {tr("Negative"), 1}}, f.triggerSlope);
    delay_ = AddEdit("delayMsec", tr("Delay (ms)"), f.delayMsec);
    delayType_ = AddChoice("delayType", tr("Delay type"));
    Fill(delayType_, {{tr("Pre-Trigger"), 0}, {tr("Post-Trigger"), 1}}, f.delayType);
    Finish();
}

bool TTriggerDialog::Apply(std::string& message) {
    TriggerDialogFields f;
    f.enable = enable_->isChecked();
    f.autoReset = autoReset_->isChecked();
    f.channel = Value<uint32_t>(channel_);
    f.threshold = S(threshold_);
    f.triggerType = Value<uint16_t>(type_);
    f.delayMsec = S(delay_);
    f.delayType = Value<uint16_t>(delayType_);
    f.triggerSlope = Value<uint16_t>(slope_);
    TriggerBlock candidate = trigger_;
    const ValidationResult r = AcceptTriggerDialog(f, candidate);
    if (!r.ok) {
        message = r.message;
        return false;
    }
    trigger_ = candidate;
    return true;
}

// ---------------------------------------------------------------------------------------------

TScalingDialog::TScalingDialog(Host& host, ScalingBlock& scaling, bool& coherenceSquared, QWidget* parent,
                               double* phaseBlankDepthDb, double* phaseBlankCoherence)
    : TSettingsDialogBase(host, tr("Scaling"), parent),
      scaling_(scaling),
      coherenceSquared_(coherenceSquared),
      phaseBlankDepthDb_(phaseBlankDepthDb),
      phaseBlankCoherenceValue_(phaseBlankCoherence) {
    const ScalingDialogFields f = ScalingDialogFields::From(scaling);
    amplitude_ = AddChoice("ampScaleType", tr("Amplitude"));
    Fill(amplitude_, {{tr("Linear"), 0}, {tr("Logarithmic (dB)"), 1}}, f.ampScaleType);
    axis_ = AddChoice("frequencyAxis", tr("Frequency axis"));
    for (int i = 0; i < kFrequencyAxisChoices; ++i) {
        const FrequencyAxisChoice c = FrequencyAxisFromChoice(i);
        const QString text = c.freqScaleType == kFreqLinear        ? tr("Linear")
                             : c.freqScaleType == kFreqLogarithmic ? tr("Logarithmic")
                                                                   : tr("1/%1 Octave").arg(c.octaveNumber);
        axis_->addItem(text, i);
    }
    Fill(axis_, {}, f.frequencyAxisChoice);
    density_ = AddCheck("spectralDensity", tr("Power spectral density"), f.spectralDensity);
    densityType_ = AddChoice("spectralDensityType", tr("Density units"));
    Fill(densityType_, {{"PSD: Units^2/Hz", 0}, {"PSD: Units/sqrt(Hz)", 1}}, f.spectralDensityType);
    weighting_ = AddChoice("standardWeighting", tr("Weighting"));
    Fill(weighting_, {{tr("Flat"), 0}, {"A", 1}, {"B", 2}, {"C", 3}}, f.standardWeighting);
    micComp_ = AddCheck("micCompEnable", tr("Microphone compensation"), f.micCompEnable);
    const QString micTitle = Q(kMicCompDialogTitle), micFilter = QtFileFilter(MicCompFileFilter());
    micLeft_ = AddFileEdit("micCompLeft", tr("Left compensation file"), f.micCompFilenameLeft, micTitle, micFilter);
    micRight_ = AddFileEdit("micCompRight", tr("Right compensation file"), f.micCompFilenameRight, micTitle, micFilter);
    micLeft_->setMaxLength(static_cast<int>(kMicCompNameChars));
    micRight_->setMaxLength(static_cast<int>(kMicCompNameChars));
    coherence_ = AddCheck("coherenceSquared", tr("Coherence as magnitude squared (\u03b3\u00b2)"), coherenceSquared);
    if (phaseBlankDepthDb)
        phaseBlankDepth_ = AddEdit("phaseBlankDepth", tr("Blank phase below peak (dB)"), FormatViewNumber(static_cast<float>(*phaseBlankDepthDb)));
    if (phaseBlankCoherence)
        phaseBlankCoherence_ = AddEdit("phaseBlankCoherence", tr("Blank phase below coherence"), FormatViewNumber(static_cast<float>(*phaseBlankCoherence)));
    Finish();
}

bool TScalingDialog::Apply(std::string& message) {
    ScalingDialogFields f;
    f.ampScaleType = Value<uint16_t>(amplitude_);
    f.frequencyAxisChoice = Value<int>(axis_);
    f.spectralDensity = density_->isChecked();
    f.spectralDensityType = Value<uint16_t>(densityType_);
    f.standardWeighting = Value<uint16_t>(weighting_);
    f.micCompEnable = micComp_->isChecked();
    f.micCompFilenameLeft = S(micLeft_);
    f.micCompFilenameRight = S(micRight_);
    ScalingBlock candidate = scaling_;
    const ValidationResult r = AcceptScalingDialog(f, candidate);
    if (!r.ok) {
        message = r.message;
        return false;
    }
    std::optional<double> depth;
    if (phaseBlankDepth_ && !(depth = ParsePhaseBlankDepth(S(phaseBlankDepth_)))) {
        message = "The phase blanking depth must be a number of dB from 1 to 200.";
        return false;
    }
    std::optional<double> coherence;
    if (phaseBlankCoherence_ && !(coherence = ParsePhaseBlankCoherence(S(phaseBlankCoherence_)))) {
        message = "The phase blanking coherence must be a number from 0 to 1.";
        return false;
    }
    scaling_ = candidate;
    coherenceSquared_ = coherence_->isChecked();
    if (depth) *phaseBlankDepthDb_ = *depth;
    if (coherence) *phaseBlankCoherenceValue_ = *coherence;
    return true;
}

// ---------------------------------------------------------------------------------------------

TFileOptionsDialog::TFileOptionsDialog(Host& host, FileIOBlock& fileIO, QWidget* parent)
    : TSettingsDialogBase(host, tr("File I/O Options"), parent), fileIO_(fileIO) {
    const FileOptionsDialogFields f = FileOptionsDialogFields::From(fileIO);
    bufferEnable_ = AddCheck("realTimeBufferEnable", tr("Keep a Real-Time data buffer"), f.realTimeWaveBufferEnable);
    bufferSecs_ = AddEdit("realTimeBufferSecs", tr("Real-Time buffer (s)"), f.realTimeBufferSecs);
    ramSecs_ = AddEdit("maxRamRecordingSecs", tr("Maximum RAM recording (s)"), f.maxRamRecordingSecs);
    diskMB_ = AddEdit("maxDiskRecordingMB", tr("Maximum disk recording (MB)"), f.maxDiskRecordingMB);
    fileMode_ = AddChoice("waveFileMode", tr("Wave files"));
    Fill(fileMode_, {{tr("In memory"), 0}, {tr("On disk"), 1}}, static_cast<int>(f.waveFileMode));
    backup_ = AddCheck("makeBackup", tr("Make backup files"), f.makeBackup);
    calibration_ = AddCheck("includeCalibration", tr("Include calibration data"), f.includeCalibrationData);
    Finish();
}

bool TFileOptionsDialog::Apply(std::string& message) {
    FileOptionsDialogFields f;
    f.realTimeBufferSecs = S(bufferSecs_);
    f.maxRamRecordingSecs = S(ramSecs_);
    f.maxDiskRecordingMB = S(diskMB_);
    f.realTimeWaveBufferEnable = bufferEnable_->isChecked();
    f.waveFileMode = Value<uint32_t>(fileMode_);
    f.makeBackup = backup_->isChecked();
    f.includeCalibrationData = calibration_->isChecked();
    FileIOBlock candidate = fileIO_;
    const ValidationResult r = AcceptFileOptionsDialog(f, candidate);
    if (!r.ok) {
        message = r.message;
        return false;
    }
    fileIO_ = candidate;
    return true;
}

}  // namespace zeltrak
