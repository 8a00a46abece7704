#include "views/qt/delay_finder_window.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstdio>

#include "engine/engine.h"
#include "engine/processing_settings.h"
#include "platform/host.h"
#include "utilities/delay_strings.h"
#include "views/qt/utility_windows_text.h"

namespace zeltrak {

namespace {

QString Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return QString::fromLatin1(text);
}

}  // namespace

TDelayFinderOptionsDialog::TDelayFinderOptionsDialog(Host& host, const DelayFinderOptions& options, QWidget* parent)
    : QDialog(parent), host_(host), result_(options) {
    setWindowTitle(tr(utility_text::kDelayOptionsTitle));
    auto* form = new QFormLayout(this);
    const char* names[3] = {utility_text::kUnitsMs, utility_text::kUnitsFeet, utility_text::kUnitsMetres};
    for (int i = 0; i < 3; ++i) {
        units_[i] = new QRadioButton(tr(names[i]), this);
        units_[i]->setObjectName(QString("units%1").arg(i));
        form->addRow(units_[i]);
    }
    speed_ = new QLineEdit(this);
    speed_->setObjectName("speed");
    maxDelay_ = new QLineEdit(this);
    maxDelay_->setObjectName("maxDelay");
    form->addRow(tr(utility_text::kSpeedLabel), speed_);
    form->addRow(tr(utility_text::kMaxDelayLabel), maxDelay_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* defaults = buttons->addButton(tr(utility_text::kDefaults), QDialogButtonBox::ResetRole);
    connect(defaults, &QPushButton::clicked, this, [this] { Show(DelayFinderOptions{}); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    Show(options);
}

void TDelayFinderOptionsDialog::Show(const DelayFinderOptions& options) {
    units_[static_cast<int>(options.displayUnits)]->setChecked(true);
    speed_->setText(Printf("%6.1f", options.speedOfSoundFtPerS).trimmed());
    maxDelay_->setText(QString::number(options.maxDelayMs));
}

void TDelayFinderOptionsDialog::accept() {
    bool speedOk = false, delayOk = false;
    const double speed = speed_->text().trimmed().toDouble(&speedOk);
    const qlonglong maxDelay = maxDelay_->text().trimmed().toLongLong(&delayOk);
    // Text that is not a number counts as out of range.
    const std::string message = ValidateDelayFinderOptions(speedOk ? speed : -1.0, delayOk ? maxDelay : -1);
    if (!message.empty()) {
        ShowMessage(host_, message, MessageIcon::Information);
        return;
    }
    for (int i = 0; i < 3; ++i)
        if (units_[i]->isChecked()) result_.displayUnits = static_cast<DelayUnits>(i);
    result_.speedOfSoundFtPerS = static_cast<float>(speed);
    result_.maxDelayMs = static_cast<int32_t>(maxDelay);
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

TDelayFinderWindow::TDelayFinderWindow(Host& host, TEngine& engine, ProcessingSettings& settings, TIniStore& ini,
                                       PausedStep paused, QWidget* parent)
    : QWidget(parent),
      host_(host),
      engine_(engine),
      settings_(settings),
      ini_(ini),
      paused_(std::move(paused)),
      options_(ReadDelayFinderOptions(ini)),
      finder_(settings.Settings().format.rate, options_) {
    setWindowTitle(tr(utility_text::kDelayTitle));
    delay_ = new QLabel(this);
    delay_->setAlignment(Qt::AlignCenter);
    apply_ = new QPushButton(tr(kDelayApplyButton), this);
    optionsButton_ = new QPushButton(tr(kDelayOptionsButton), this);
    edit_ = new QLineEdit(this);
    auto* controls = new QHBoxLayout;
    controls->addWidget(optionsButton_);
    controls->addStretch();
    controls->addWidget(apply_);
    controls->addWidget(edit_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(delay_, 1);
    layout->addLayout(controls);
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    connect(optionsButton_, &QPushButton::clicked, this, [this] { EditOptions(); });
    connect(edit_, &QLineEdit::editingFinished, this, [this] { TypeDelay(); });
    setMinimumSize(420, 150);
    // The live fetch reads N + N/2 samples from one input slot; a running analyser gets such
    // slots from its next start (the options dialog restarts it).
    engine_.SetMinimumSlotFrames(finder_.InputSlotFramesNeeded());
    engine_.AddListener(this, ListenerRole::Readout);
    ShowDelay();
    ShowProcessingDelay();
}

// The slot length asked for stays: the analyser may be running on it.
TDelayFinderWindow::~TDelayFinderWindow() {
    engine_.RemoveListener(this);
    WriteDelayFinderOptions(options_, ini_);
}

QString TDelayFinderWindow::DelayText() const { return delay_->text(); }

void TDelayFinderWindow::ShowDelay() { delay_->setText(QString::fromStdString(FormatDelay(finder_.DelayMs(), options_))); }

void TDelayFinderWindow::ShowProcessingDelay() {
    edit_->setText(Printf(kDelayEditFormat, settings_.Settings().DelayTimeMsec));
}

void TDelayFinderWindow::ChangeSettings(const std::function<void(SettingsBlock&)>& change) {
    paused_([&] { change(settings_.Settings()); });
    ShowProcessingDelay();
}

void TDelayFinderWindow::Apply() {
    const double delay = finder_.DelayMs();
    ChangeSettings([delay](SettingsBlock& s) { ApplyDelayToSettings(delay, s); });
}

void TDelayFinderWindow::TypeDelay() {
    // The box shows its unit after the number; only the number counts.
    const QString number = edit_->text().trimmed().section(' ', 0, 0);
    bool ok = false;
    const double typed = number.toDouble(&ok);
    ChangeSettings([&](SettingsBlock& s) { SetTypedDelay(ok ? typed : 0.0, s); });
}

void TDelayFinderWindow::EditOptions() {
    paused_([this] {
        TDelayFinderOptionsDialog dialog(host_, options_, this);
        if (dialog.exec() != QDialog::Accepted) return;
        options_ = dialog.Result();
        finder_.SetOptions(options_);
        WriteDelayFinderOptions(options_, ini_);
        engine_.SetMinimumSlotFrames(finder_.InputSlotFramesNeeded());
    });
    ShowDelay();
}

void TDelayFinderWindow::OnFrame(const EngineFrame&) {
    // A new sampling rate changes the block length and the time of a sample.
    const uint32_t rate = settings_.Settings().format.rate;
    if (rate != finder_.Rate()) {
        finder_ = TDelayFinder(rate, options_);
        engine_.SetMinimumSlotFrames(finder_.InputSlotFramesNeeded());
    }
    if (finder_.Update(engine_)) ShowDelay();
}

void TDelayFinderWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    QFont font("Arial");
    font.setPixelSize(std::max(12, std::min(height() / 4, width() / 9)));
    delay_->setFont(font);
}

}  // namespace zeltrak
