#include "views/qt/generator_window.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/engine.h"
#include "generator/generator_strings.h"
#include "generator/signal_generator.h"
#include "generator/signal_types.h"
#include "platform/host.h"
#include "views/qt/generator_dialogs.h"
#include "views/qt/generator_dialogs_text.h"

namespace zeltrak {
namespace {

namespace text = generator_dialog_text;

constexpr int kPollMs = 50;  // ends play-once signals and requeues halves promptly
constexpr const char* kStatusKey = "SignalGenerator";

// A list that may refuse to open: the right channel's in mono explains itself instead.
class TTypeList : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<bool()> mayOpen;
    void showPopup() override {
        if (!mayOpen || mayOpen()) QComboBox::showPopup();
    }
};

QString FromView(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

}  // namespace

TGeneratorWindow::TGeneratorWindow(Host& host, TEngine& engine, TIniStore& ini, QWidget* parent)
    : QWidget(parent), host_(host), engine_(engine), ini_(ini) {
    setObjectName("signalGenerator");
    setWindowTitle(tr(text::kWindowTitle));
    seenDevice_ = static_cast<int32_t>(engine.Settings().Device.OutputDeviceID);
    seenFormat_ = engine.Settings().Settings().format;
    generator_ = std::make_unique<TSignalGenerator>(host, engine, seenDevice_, ini);
    BuildControls();
    ShowTypes();
    Refresh();
    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, [this] {
        generator_->Poll();
        Refresh();
    });
    poll_->start(kPollMs);
}

TGeneratorWindow::~TGeneratorWindow() { StoreSettings(); }

void TGeneratorWindow::StoreSettings() { generator_->WriteSettings(ini_); }

void TGeneratorWindow::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    const std::pair<QPushButton**, const char*> named[] = {{&run_, "Run"}, {&stop_, "Stop"}, {&level_, "Level"}};
    for (const auto& [button, label] : named) {
        *button = new QPushButton(tr(label), this);
        (*button)->setObjectName(label);
        buttons->addWidget(*button);
    }
    more_ = new QPushButton(this);
    more_->setObjectName("layout");
    buttons->addWidget(more_);
    layout->addLayout(buttons);
    connect(run_, &QPushButton::clicked, this, [this] { Run(); });
    connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
    connect(level_, &QPushButton::clicked, this, &TGeneratorWindow::EditLevel);
    connect(more_, &QPushButton::clicked, this, [this] { SetCompact(!compact_); });
    for (int c = 0; c < 2; ++c) layout->addWidget(rows_[static_cast<size_t>(c)] = BuildChannelRow(c));
    volumeRow_ = new QWidget(this);
    auto* volume = new QHBoxLayout(volumeRow_);
    volume->setContentsMargins(0, 0, 0, 0);
    volume->addWidget(new QLabel(tr("Volume"), volumeRow_));
    volume_ = new QSlider(Qt::Horizontal, volumeRow_);
    volume_->setObjectName("volume");
    volume_->setRange(0, 99);
    volume->addWidget(volume_);
    layout->addWidget(volumeRow_);
    connect(volume_, &QSlider::valueChanged, this, [this](int position) { generator_->SetVolumeSlider(position); });
    SetCompact(false);
}

QWidget* TGeneratorWindow::BuildChannelRow(int channel) {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(channel == 0 ? tr("Left") : tr("Right"), row));
    auto* list = new TTypeList(row);
    list->setObjectName(channel == 0 ? "typeLeft" : "typeRight");
    if (channel == 1)
        list->mayOpen = [this] {
            if (generator_->Stereo()) return true;
            ShowMessage(host_, std::string(generator_text::kMonoExplanation), MessageIcon::Information);
            return false;
        };
    auto* details = new QPushButton(tr("Details..."), row);
    details->setObjectName(channel == 0 ? "detailsLeft" : "detailsRight");
    layout->addWidget(list, 1);
    layout->addWidget(details);
    types_[static_cast<size_t>(channel)] = list;
    details_[static_cast<size_t>(channel)] = details;
    connect(list, &QComboBox::activated, this, [this, channel](int index) { ChooseType(channel, index); });
    connect(details, &QPushButton::clicked, this, [this, channel] { EditDetails(channel); });
    return row;
}

void TGeneratorWindow::SetCompact(bool compact) {
    compact_ = compact;
    for (QWidget* row : rows_) row->setVisible(!compact);
    const int position = generator_->VolumeSlider();
    volumeRow_->setVisible(!compact && position >= 0);
    if (position >= 0) {
        const QSignalBlocker quiet(volume_);
        volume_->setValue(position);
    }
    more_->setText(compact ? tr("More >>") : tr("<< Less"));
    // The frame follows the content, shrinking with the rows it hides.
    layout()->activate();
    adjustSize();
    if (parentWidget()) parentWidget()->adjustSize();
}

// The lists show the stored types; the right one only "N/A" while the analyser is mono.
void TGeneratorWindow::ShowTypes() {
    const bool stereo = generator_->Stereo();
    for (int c = 0; c < 2; ++c) {
        QComboBox* list = types_[static_cast<size_t>(c)];
        const QSignalBlocker quiet(list);
        list->clear();
        const SignalType type = generator_->Settings().channels[static_cast<size_t>(c)].type;
        const bool available = c == 0 || stereo;
        if (available)
            for (std::string_view name : SignalTypeListNames()) list->addItem(FromView(name));
        else
            list->addItem(FromView(generator_text::kMonoNotAvailable));
        list->setCurrentIndex(ShownIndex(c));
        details_[static_cast<size_t>(c)]->setEnabled(available && HasParameterDialog(type));
    }
}

// Level Sweep and Triangular are not listed; their code shows as no selection.
int TGeneratorWindow::ShownIndex(int channel) const {
    if (channel == 1 && !generator_->Stereo()) return 0;
    const int code = static_cast<int>(generator_->Settings().channels[static_cast<size_t>(channel)].type);
    return code < static_cast<int>(SignalTypeListNames().size()) ? code : -1;
}

// Another output device, or another analyser rate, width or channel count (Options), makes a
// new buffer; asked only on a change, since a generator rate of its own always differs.
void TGeneratorWindow::FollowDevice() {
    const auto device = static_cast<int32_t>(engine_.Settings().Device.OutputDeviceID);
    const SampleFormat& format = engine_.Settings().Settings().format;
    if (device == seenDevice_ && format.rate == seenFormat_.rate && format.channels == seenFormat_.channels &&
        format.bytesPerSample == seenFormat_.bytesPerSample)
        return;
    seenDevice_ = device;
    seenFormat_ = format;
    generator_->SetDevice(device);
}

void TGeneratorWindow::Refresh() {
    FollowDevice();
    const bool playing = generator_->Playing();
    run_->setEnabled(!playing);
    stop_->setEnabled(playing);
    // The analyser may have switched between mono and stereo, and automation may have set a
    // type, while the window was open.
    bool stale = (types_[1]->count() == 1) == generator_->Stereo();
    for (int c = 0; c < 2; ++c)
        stale = stale || types_[static_cast<size_t>(c)]->currentIndex() != ShownIndex(c);
    if (stale) ShowTypes();
}

bool TGeneratorWindow::Run() {
    const bool playing = generator_->Run();
    Refresh();
    return playing;
}

void TGeneratorWindow::Stop() {
    generator_->Stop();
    Refresh();
}

// Silent while the dialog is open; playing again after it, changed or not, if it played before.
bool TGeneratorWindow::EditParameters(int channel, SignalType type) {
    const bool wasPlaying = generator_->Playing();
    if (wasPlaying) generator_->Stop();
    SignalSetup setup = generator_->Settings().channels[static_cast<size_t>(channel)];
    setup.type = type;
    bool accepted = true;
    if (auto dialog = MakeSignalDialog(host_, type, setup, static_cast<long>(generator_->MaxFrequency()), this)) {
        accepted = dialog->exec() == QDialog::Accepted;
        setup = dialog->Working();
    }
    if (accepted) generator_->SetSignal(channel, setup);
    if (wasPlaying) generator_->Run();
    return accepted;
}

// A cancelled dialog leaves the old type (and the old signal) in place.
void TGeneratorWindow::ChooseType(int channel, int code) {
    if (code < 0 || code >= static_cast<int>(SignalTypeListNames().size())) return;
    if (channel == 1 && !generator_->Stereo()) return;
    EditParameters(channel, static_cast<SignalType>(code));
    ShowTypes();
    Refresh();
}

void TGeneratorWindow::EditDetails(int channel) {
    EditParameters(channel, generator_->Settings().channels[static_cast<size_t>(channel)].type);
    ShowTypes();
    Refresh();
}

void TGeneratorWindow::EditLevel() {
    TOutputLevelDialog dialog(host_, generator_->Settings().level, this);
    if (dialog.exec() == QDialog::Accepted) generator_->SetLevel(dialog.Result());
    Refresh();
}

// ---------------------------------------------------------------------------------------------

TGeneratorTool::TGeneratorTool(Host& host, TEngine& engine, QMdiArea& area)
    : area_(area), slot_(area, text::kMenuText, kStatusKey, [&host, &engine](TIniStore& ini) -> QWidget* {
          return new TGeneratorWindow(host, engine, ini);
      }) {}

void TGeneratorTool::StoreForExit() {
    slot_.StoreOpenState();
    if (TGeneratorWindow* window = Window()) window->StoreSettings();
}

bool TGeneratorTool::SaveSignalToWave() {
    if (!Window()) return false;
    const QString path = QFileDialog::getSaveFileName(area_.window(), QObject::tr(text::kSaveSignal), QString(),
                                                      QObject::tr(text::kWaveFilter));
    return !path.isEmpty() && SaveSignalToWave(path.toStdString());
}

bool TGeneratorTool::SaveSignalToWave(const std::string& path) {
    return Window() && Window()->Generator().SaveSignalAsWave(path);
}

}  // namespace zeltrak
