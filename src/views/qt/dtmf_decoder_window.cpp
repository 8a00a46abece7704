#include "views/qt/dtmf_decoder_window.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/engine.h"
#include "platform/host.h"
#include "utilities/dtmf_strings.h"
#include "views/qt/utility_windows_text.h"

namespace zeltrak {

TDTMFOptionsDialog::TDTMFOptionsDialog(Host& host, const DtmfOptions& options, QWidget* parent)
    : QDialog(parent), host_(host), result_(options) {
    setWindowTitle(tr(utility_text::kDtmfOptionsTitle));
    auto* form = new QFormLayout(this);
    threshold_ = new QLineEdit(this);
    threshold_->setObjectName("threshold");
    duration_ = new QLineEdit(this);
    duration_->setObjectName("duration");
    spacing_ = new QLineEdit(this);
    spacing_->setObjectName("spacing");
    form->addRow(tr(utility_text::kThresholdLabel), threshold_);
    form->addRow(tr(utility_text::kDurationLabel), duration_);
    form->addRow(tr(utility_text::kSpacingLabel), spacing_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* defaults = buttons->addButton(tr(utility_text::kDefaults), QDialogButtonBox::ResetRole);
    connect(defaults, &QPushButton::clicked, this, [this] { Show(DtmfOptionDefaults()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    Show(DtmfOptionsAsTexts(options));
}

void TDTMFOptionsDialog::Show(const DtmfOptionTexts& texts) {
    threshold_->setText(QString::fromStdString(texts.threshold));
    duration_->setText(QString::fromStdString(texts.duration));
    spacing_->setText(QString::fromStdString(texts.spacing));
}

void TDTMFOptionsDialog::accept() {
    const DtmfOptionTexts texts{threshold_->text().toStdString(), duration_->text().toStdString(),
                                spacing_->text().toStdString()};
    std::string message;
    if (!ValidateDtmfOptions(texts, result_, message)) {
        ShowMessage(host_, message, MessageIcon::Information);
        return;
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

TDtmfDecoderWindow::TDtmfDecoderWindow(Host& host, TEngine& engine, TIniStore& ini, QWidget* parent)
    : QWidget(parent), host_(host), engine_(engine), ini_(ini) {
    setWindowTitle(tr(utility_text::kDtmfTitle));
    keys_ = new QLabel(this);
    keys_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    keys_->setWordWrap(false);
    QFont font("Arial");
    font.setPixelSize(18);
    keys_->setFont(font);
    clear_ = new QPushButton(tr(utility_text::kClear), this);
    options_ = new QPushButton(tr(utility_text::kOptions), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear_);
    buttons->addWidget(options_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(keys_, 1);
    layout->addLayout(buttons);
    connect(clear_, &QPushButton::clicked, this, [this] { Clear(); });
    connect(options_, &QPushButton::clicked, this, [this] { EditOptions(); });
    setMinimumSize(360, 110);
    UseOptions(ReadDtmfOptions(ini));
    engine_.AddListener(this, ListenerRole::Readout);
    ShowKeys();
}

TDtmfDecoderWindow::~TDtmfDecoderWindow() {
    engine_.RemoveListener(this);
    WriteDtmfOptions(ini_, settings_);
}

QString TDtmfDecoderWindow::KeysText() const { return keys_->text(); }

void TDtmfDecoderWindow::UseOptions(const DtmfOptions& options) {
    settings_ = options;
    for (TDTMFData& d : detectors_) d.SetParameters(options.thresholdDb, options.minDurationMs, options.minSpacingMs);
}

void TDtmfDecoderWindow::ShowKeys() {
    keys_->setText(QString::fromStdString(detectors_[0].KeyString()) + '\n' +
                   QString::fromStdString(detectors_[1].KeyString()));
}

void TDtmfDecoderWindow::Clear() {
    for (TDTMFData& d : detectors_) d.Clear();
    ShowKeys();
}

void TDtmfDecoderWindow::EditOptions() {
    TDTMFOptionsDialog dialog(host_, settings_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    UseOptions(dialog.Result());
    WriteDtmfOptions(ini_, settings_);
}

void TDtmfDecoderWindow::HandCloseTo(QWidget* mainWindow) {
    closeTarget_ = mainWindow;
    options_->hide();
    // The frame around the window (its close box) is made after the window.
    QTimer::singleShot(0, this, [this] {
        if (parentWidget()) parentWidget()->installEventFilter(this);
    });
}

bool TDtmfDecoderWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Close || !closeTarget_ || watched != parentWidget())
        return QWidget::eventFilter(watched, event);
    event->ignore();
    closeTarget_->close();
    return true;
}

int32_t TDtmfDecoderWindow::FrameTimeMs(const EngineFrame& frame) {
    const uint32_t rate = std::max(engine_.Settings().Settings().format.rate, 1u);
    // In 64 bits: a position in samples times 1000 passes 2^32 after a minute and a half.
    const int64_t ms = engine_.Settings().Mode.OpMode == kModePostProcessing
                           ? static_cast<int64_t>(std::trunc(frame.currentTime * 1000.0))
                           : static_cast<int64_t>(engine_.InputPort().PositionFrames()) * 1000 / rate;
    return static_cast<int32_t>(std::clamp<int64_t>(ms, 0, std::numeric_limits<int32_t>::max()));
}

void TDtmfDecoderWindow::OnFrame(const EngineFrame& frame) {
    // An overloaded frame left out of the analysis brings no new spectrum.
    if (!frame.analysed) return;
    const int32_t t = FrameTimeMs(frame);
    const bool left = detectors_[0].Detect(frame.spectrums[0], t);
    const bool right = detectors_[1].Detect(frame.spectrums[1], t);
    if (left || right) ShowKeys();
}

}  // namespace zeltrak
