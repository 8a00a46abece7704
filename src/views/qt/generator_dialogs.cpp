#include "views/qt/generator_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <climits>
#include <cmath>
#include <limits>

#include "generator/generator_strings.h"
#include "generator/output_level.h"
#include "generator/signal_validation.h"
#include "platform/host.h"
#include "views/qt/generator_dialogs_text.h"

namespace zeltrak {
namespace {

namespace text = generator_dialog_text;

// Not a number (letters, an empty field) reads as NaN, which every range check refuses.
double ReadReal(const QLineEdit* edit) {
    bool ok = false;
    const double value = edit->text().trimmed().toDouble(&ok);
    return ok ? value : std::numeric_limits<double>::quiet_NaN();
}

// Whole-number fields all have a positive lower limit, so INT32_MIN stands for "unreadable".
int32_t ReadWhole(const QLineEdit* edit) {
    const double value = ReadReal(edit);
    if (!(value >= INT32_MIN && value <= INT32_MAX)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

QString Shown(double value, const char* format) { return QString::asprintf(format, value); }

}  // namespace

TSignalDialog::TSignalDialog(Host& host, const QString& title, const SignalSetup& current, QWidget* parent)
    : TSettingsDialogBase(host, title, parent), working_(current) {}

QLineEdit* TSignalDialog::RealEdit(const char* name, float& value, const char* format) {
    auto* edit = new QLineEdit(Shown(value, format), this);
    edit->setObjectName(name);
    readers_.push_back([edit, &value] { value = static_cast<float>(ReadReal(edit)); });
    return edit;
}

QLineEdit* TSignalDialog::Real(const char* name, const QString& label, float& value, const char* format) {
    QLineEdit* edit = RealEdit(name, value, format);
    form_->addRow(label, edit);
    return edit;
}

QLineEdit* TSignalDialog::Whole(const char* name, const QString& label, int32_t& value) {
    QLineEdit* edit = AddEdit(name, label, QString::asprintf("%ld", static_cast<long>(value)).toStdString());
    readers_.push_back([edit, &value] { value = ReadWhole(edit); });
    return edit;
}

QLineEdit* TSignalDialog::Text(const char* name, const QString& label, std::string& value, int limit) {
    QLineEdit* edit = AddEdit(name, label, value);
    edit->setMaxLength(limit);
    readers_.push_back([edit, &value] { value = edit->text().toStdString(); });
    return edit;
}

QLineEdit* TSignalDialog::WaveFile(const char* name, const QString& label, std::string& value) {
    QLineEdit* edit = AddFileEdit(name, label, value, tr(text::kOpenWaveFile), tr(text::kWaveFilter));
    edit->setMaxLength(static_cast<int>(kWavePathLimit));
    readers_.push_back([edit, &value] { value = edit->text().toStdString(); });
    return edit;
}

QCheckBox* TSignalDialog::FlagBox(const char* name, const QString& label, int32_t& flag) {
    auto* box = new QCheckBox(label, this);
    box->setObjectName(name);
    box->setChecked(flag != 0);
    readers_.push_back([box, &flag] { flag = box->isChecked() ? 1 : 0; });
    return box;
}

QCheckBox* TSignalDialog::Flag(const char* name, const QString& label, int32_t& flag) {
    QCheckBox* box = FlagBox(name, label, flag);
    form_->addRow(QString(), box);
    return box;
}

void TSignalDialog::AddRadios(const char* name, std::initializer_list<std::pair<const char*, int>> options,
                              int current, std::function<void(int)> store) {
    auto* group = new QButtonGroup(this);
    group->setObjectName(name);
    auto* row = new QHBoxLayout;
    std::vector<int> values;
    for (const auto& [label, value] : options) {
        auto* button = new QRadioButton(tr(label), this);
        // Ids are positions: a value of -1 would ask the group to pick an id itself.
        group->addButton(button, static_cast<int>(values.size()));
        button->setChecked(value == current);
        values.push_back(value);
        row->addWidget(button);
    }
    form_->addRow(row);
    readers_.push_back([group, values, store = std::move(store)] {
        if (group->checkedId() >= 0) store(values[static_cast<size_t>(group->checkedId())]);
    });
}

bool TSignalDialog::Apply(std::string& message) {
    for (const auto& read : readers_) read();
    message = check_ ? check_(working_) : std::string();
    return message.empty();
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr const char* kHz = "%6.2f";

void BuildNoiseBurst(TSignalDialog& d, NoiseBurstSetup& b) {
    d.Choice("noiseKind", {{text::kWhiteNoise, 0}, {text::kPinkNoise, 1}}, b.kind);
    d.Whole("burstTime", d.tr(text::kBurstTime), b.burstMs);
    d.Whole("cycleTime", d.tr(text::kCycleTime), b.cycleMs);
    d.SetCheck([](const SignalSetup& s) { return ValidateNoiseBurst(s.noiseBurst); });
}

void BuildFrequencySweep(TSignalDialog& d, FrequencySweepSetup& b, long maxHz) {
    d.Real("startFrequency", d.tr("Start Frequency (Hz)"), b.startHz, kHz);
    d.Real("stopFrequency", d.tr("Stop Frequency (Hz)"), b.stopHz, kHz);
    d.Whole("sweepTime", d.tr("Sweep Time (msec)"), b.timeMs);
    d.Choice("sweepType", {{text::kLinear, 1}, {text::kLogarithmic, 2}}, b.sweepType);
    d.SetCheck([maxHz](const SignalSetup& s) { return ValidateFrequencySweep(s.frequencySweep, maxHz); });
}

void BuildLevelSweep(TSignalDialog& d, LevelSweepSetup& b, long maxHz) {
    d.Real("startLevel", d.tr("Start Level (dB)"), b.startDb, kHz);
    d.Real("stopLevel", d.tr("Stop Level (dB)"), b.stopDb, kHz);
    d.Real("frequency", d.tr("Frequency (Hz)"), b.frequencyHz, kHz);
    d.Whole("sweepTime", d.tr("Sweep Time (msec)"), b.timeMs);
    d.SetCheck([maxHz](const SignalSetup& s) { return ValidateLevelSweep(s.levelSweep, maxHz); });
}

void BuildSawtooth(TSignalDialog& d, SawtoothSetup& b, long maxHz) {
    d.Choice("slope", {{text::kPositive, 1}, {text::kNegative, -1}}, b.slope);
    d.Real("frequency", d.tr("Frequency (Hz)"), b.frequencyHz, kHz);
    d.SetCheck([maxHz](const SignalSetup& s) { return ValidateSawtooth(s.sawtooth, maxHz); });
}

void BuildTriangular(TSignalDialog& d, TriangularSetup& b, long maxHz) {
    d.Real("frequency", d.tr("Frequency (Hz)"), b.frequencyHz, kHz);
    d.SetCheck([maxHz](const SignalSetup& s) { return ValidateTriangular(s.triangular, maxHz); });
}

void BuildSquare(TSignalDialog& d, SquareSetup& b, long maxHz) {
    d.Real("frequency", d.tr("Frequency (Hz)"), b.frequencyHz, kHz);
    d.Whole("dutyCycle", d.tr("Duty Cycle (%)"), b.dutyPercent);
    d.SetCheck([maxHz](const SignalSetup& s) { return ValidateSquare(s.square, maxHz); });
}

void BuildPulse(TSignalDialog& d, PulseSetup& b, long maxHz) {
    d.Whole("pulseWidth", d.tr(text::kPulseWidth), b.widthUs);
    d.Whole("repetitionInterval", d.tr(text::kRepetitionInterval), b.intervalUs);
    d.Flag("singleShot", d.tr(text::kSingleShot), b.oneShot);
    d.SetCheck([maxHz](const SignalSetup& s) { return ValidatePulse(s.pulse, maxHz); });
}

// Ten rows: on/off, frequency, level.
void BuildTones(TSignalDialog& d, TonesSetup& b, long maxHz) {
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(d.tr("Frequency (Hz)")), 0, 1);
    grid->addWidget(new QLabel(d.tr("Level (dB)")), 0, 2);
    for (int k = 0; k < kToneSlots; ++k) {
        ToneSlot& slot = b.slots[static_cast<size_t>(k)];
        const std::string n = std::to_string(k);
        grid->addWidget(d.FlagBox(("toneEnable" + n).c_str(), d.tr("Tone %1").arg(k + 1), slot.enabled), k + 1, 0);
        grid->addWidget(d.RealEdit(("toneFrequency" + n).c_str(), slot.frequencyHz, "%6.1f"), k + 1, 1);
        grid->addWidget(d.RealEdit(("toneLevel" + n).c_str(), slot.levelDb, "%2.1f"), k + 1, 2);
    }
    d.Form()->addRow(grid);
    d.SetCheck([maxHz, &d](const SignalSetup& s) {
        std::string message = ValidateTones(s.tones, maxHz);
        if (message.empty())
            for (ToneSlot& slot : d.Working().tones.slots)
                slot.amplitude = static_cast<float>(std::pow(10.0, 0.05 * slot.levelDb));
        return message;
    });
}

void BuildToneBurst(TSignalDialog& d, ToneBurstSetup& b, long maxHz) {
    d.Whole("frequency", d.tr("Frequency (Hz)"), b.frequencyHz);
    d.Whole("burstTime", d.tr(text::kBurstTime), b.burstMs);
    d.Whole("cycleTime", d.tr(text::kCycleTime), b.cycleMs);
    d.SetCheck([maxHz](const SignalSetup& s) { return ValidateToneBurst(s.toneBurst, maxHz); });
}

void BuildImd(TSignalDialog& d, ImdSetup& b, long maxHz) {
    d.Choice("imdStandard", {{text::kImdSet1, 0}, {text::kImdSet2, 1}, {text::kImdCustom, 2}}, b.standard);
    d.Real("lowFrequency", d.tr("Low Frequency (Hz)"), b.lowHz, "%6.1f");
    d.Real("highFrequency", d.tr("High Frequency (Hz)"), b.highHz, "%6.1f");
    d.Real("powerRatio", d.tr("Amplitude Ratio (low : high)"), b.powerRatio, "%6.1f");
    d.SetCheck([maxHz](const SignalSetup& s) { return ValidateImd(s.imd, maxHz); });
}

void BuildDtmf(TSignalDialog& d, DtmfSetup& b) {
    d.Text("keyString", d.tr("Key String"), b.keys, static_cast<int>(kDtmfKeyLimit));
    d.Whole("pulseWidth", d.tr("Pulse Width (msec)"), b.pulseMs);
    d.Whole("pulseSpacing", d.tr("Pulse Spacing (msec)"), b.spacingMs);
    d.Real("twist", d.tr("Twist (dB)"), b.twistDb, "%3.2f");
    d.Flag("repeat", d.tr(text::kRepeatKeys), b.repeat);
    d.SetCheck([](const SignalSetup& s) { return ValidateDtmf(s.dtmf); });
}

const char* DialogTitle(SignalType type) {
    switch (type) {
        case SignalType::NoiseBurst: return text::kNoiseBurstTitle;
        case SignalType::MultipleTones: return text::kTonesTitle;
        case SignalType::ToneBurst: return text::kToneBurstTitle;
        case SignalType::FrequencySweep: return text::kFrequencySweepTitle;
        case SignalType::Sawtooth: return text::kSawtoothTitle;
        case SignalType::Pulse: return text::kPulseTitle;
        case SignalType::Square: return text::kSquareTitle;
        case SignalType::Imd: return text::kImdTitle;
        case SignalType::UserDefined: return text::kUserDefinedTitle;
        case SignalType::Dtmf: return text::kDtmfTitle;
        case SignalType::LevelSweep: return text::kLevelSweepTitle;
        case SignalType::Triangular: return text::kTriangularTitle;
        default: return nullptr;
    }
}

void BuildFields(TSignalDialog& d, SignalType type, long maxHz) {
    SignalSetup& s = d.Working();
    switch (type) {
        case SignalType::NoiseBurst: return BuildNoiseBurst(d, s.noiseBurst);
        case SignalType::MultipleTones: return BuildTones(d, s.tones, maxHz);
        case SignalType::ToneBurst: return BuildToneBurst(d, s.toneBurst, maxHz);
        case SignalType::FrequencySweep: return BuildFrequencySweep(d, s.frequencySweep, maxHz);
        case SignalType::Sawtooth: return BuildSawtooth(d, s.sawtooth, maxHz);
        case SignalType::Pulse: return BuildPulse(d, s.pulse, maxHz);
        case SignalType::Square: return BuildSquare(d, s.square, maxHz);
        case SignalType::Imd: return BuildImd(d, s.imd, maxHz);
        case SignalType::UserDefined:
            d.WaveFile("waveFile", d.tr("Wave File"), s.userDefined.waveFile);
            return;
        case SignalType::Dtmf: return BuildDtmf(d, s.dtmf);
        case SignalType::LevelSweep: return BuildLevelSweep(d, s.levelSweep, maxHz);
        case SignalType::Triangular: return BuildTriangular(d, s.triangular, maxHz);
        default: return;
    }
}

}  // namespace

bool HasParameterDialog(SignalType type) { return DialogTitle(type) != nullptr; }

std::unique_ptr<TSignalDialog> MakeSignalDialog(Host& host, SignalType type, const SignalSetup& current, long maxHz,
                                                QWidget* parent) {
    const char* title = DialogTitle(type);
    if (!title) return nullptr;
    auto dialog = std::make_unique<TSignalDialog>(host, QString::fromUtf8(title), current, parent);
    dialog->setObjectName("signalDialog");
    BuildFields(*dialog, type, maxHz);
    dialog->Finish();
    return dialog;
}

// ---------------------------------------------------------------------------------------------

namespace {

QString Number(double value) { return QString::number(value, 'g', 7); }

}  // namespace

TOutputLevelDialog::TOutputLevelDialog(Host& host, const OutputLevelSetup& current, QWidget* parent)
    : TSettingsDialogBase(host, tr(text::kOutputLevelTitle), parent), result_(current) {
    setObjectName("outputLevelDialog");
    left_ = AddEdit("levelLeft", tr("Left Level"), Number(current.levelLeft).toStdString());
    right_ = AddEdit("levelRight", tr("Right Level"), Number(current.levelRight).toStdString());
    units_ = AddChoice("units", tr("Units"));
    form_->addRow(new QLabel(tr(text::kFullScaleQuestion), this));
    modes_ = new QButtonGroup(this);
    modes_->setObjectName("fullScaleMode");
    const char* labels[] = {text::kFullScaleTyped, text::kFullScaleUnknown, text::kFullScalePreset};
    for (int mode = 0; mode < 3; ++mode) {
        auto* button = new QRadioButton(tr(labels[mode]), this);
        modes_->addButton(button, mode);
        button->setChecked(mode == static_cast<int>(current.fullScaleMode));
        form_->addRow(button);
    }
    fullScale_ = AddEdit("fullScaleVolts", tr("Full Scale (Volts RMS)"), Number(current.fullScaleVolts).toStdString());
    presets_ = AddChoice("cardPreset", tr("Sound Card"));
    for (const CardPreset& preset : CardPresets()) presets_->addItem(QString::fromUtf8(preset.label.data(), preset.label.size()));
    presets_->setCurrentIndex(current.cardPreset < kCardPresetCount ? current.cardPreset : 0);
    ShowMode(current.fullScaleMode, current.units);
    connect(modes_, &QButtonGroup::idClicked, this, [this](int mode) { ShowMode(static_cast<FullScaleMode>(mode), {}); });
    connect(presets_, &QComboBox::activated, this, &TOutputLevelDialog::PickPreset);
    Finish();
}

FullScaleMode TOutputLevelDialog::Mode() const {
    return modes_->checkedId() < 0 ? FullScaleMode::Unknown : static_cast<FullScaleMode>(modes_->checkedId());
}

// The units follow the mode; the stored units stay selected when the mode offers them.
void TOutputLevelDialog::ShowMode(FullScaleMode mode, std::optional<OutputUnits> keep) {
    units_->clear();
    for (OutputUnits u : OfferedUnits(mode)) {
        const std::string_view name = generator_text::kUnitNames[static_cast<size_t>(u)];
        units_->addItem(QString::fromUtf8(name.data(), static_cast<int>(name.size())), static_cast<int>(u));
    }
    const int kept = keep ? units_->findData(static_cast<int>(*keep)) : -1;
    units_->setCurrentIndex(kept >= 0 ? kept : units_->findData(static_cast<int>(SelectedUnits(mode))));
    fullScale_->setEnabled(mode != FullScaleMode::Unknown);
    presets_->setEnabled(mode == FullScaleMode::Preset);
}

// A preset sets both channels to the card's full scale (in volts).
void TOutputLevelDialog::PickPreset(int index) {
    if (index < 0 || index >= kCardPresetCount) return;
    const QString volts = Number(CardPresets()[static_cast<size_t>(index)].volts);
    for (QLineEdit* edit : {fullScale_, left_, right_}) edit->setText(volts);
}

bool TOutputLevelDialog::Apply(std::string& message) {
    OutputLevelSetup edited = result_;
    edited.levelLeft = static_cast<float>(ReadReal(left_));
    edited.levelRight = static_cast<float>(ReadReal(right_));
    edited.units = static_cast<OutputUnits>(units_->currentData().toInt());
    edited.fullScaleMode = Mode();
    edited.fullScaleVolts = static_cast<float>(ReadReal(fullScale_));
    edited.cardPreset = static_cast<uint16_t>(presets_->currentIndex());
    // An unknown full scale is not checked; the field's old value is kept rather than garbage.
    if (edited.fullScaleMode == FullScaleMode::Unknown && !(edited.fullScaleVolts > 0.0f))
        edited.fullScaleVolts = result_.fullScaleVolts;
    message = ValidateOutputLevel(edited);
    if (message.empty()) result_ = edited;
    return message.empty();
}

}  // namespace zeltrak
