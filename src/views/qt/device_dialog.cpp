#include "views/qt/device_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "base/strings.h"
#include "engine/device_list.h"
#include "engine/engine.h"
#include "engine/processing_settings.h"
#include "platform/host.h"

namespace zeltrak {

namespace {

QStringList Texts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

// "Name — 2 ch, 4000–200000 Hz"; rows are device ids, so every device gets a row, named or not.
void Fill(QListWidget* list, const std::vector<DeviceListing>& devices, uint32_t current) {
    list->clear();
    for (size_t i = 0; i < devices.size(); ++i) {
        QString row = devices[i].name.empty() ? QObject::tr("(unnamed device %1)").arg(i + 1)
                                              : QString::fromStdString(devices[i].name);
        const std::string capabilities = DeviceCapabilityText(devices[i]);
        if (!capabilities.empty()) row += QString::fromUtf8(" \u2014 ") + QString::fromStdString(capabilities);
        list->addItem(row);
    }
    // A stored id beyond the list is where the port ends up: on the last device.
    if (list->count() > 0 && current != kNoDevice)
        list->setCurrentRow(static_cast<int>(std::min<uint32_t>(current, static_cast<uint32_t>(list->count() - 1))));
}

uint32_t Chosen(const QListWidget* list) {
    const int row = list->currentRow();
    return row < 0 || list->currentItem() == nullptr ? kNoDevice : static_cast<uint32_t>(row);
}

}  // namespace

TDeviceDialog::TDeviceDialog(Host& host, WaveDriver& driver, ProcessingSettings& settings, TEngine& engine,
                             QWidget* parent)
    : QDialog(parent), host_(host), driver_(driver), settings_(settings), engine_(engine) {
    setWindowTitle(tr("Device"));
    inputs_ = new QListWidget(this);
    inputs_->setObjectName("inputDevices");
    outputs_ = new QListWidget(this);
    outputs_->setObjectName("outputDevices");
    for (QListWidget* l : {inputs_, outputs_}) l->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttons");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Input device"), this));
    layout->addWidget(inputs_);
    layout->addWidget(new QLabel(tr("Output device"), this));
    layout->addWidget(outputs_);
    layout->addWidget(buttons);
    Refill();
}

void TDeviceDialog::Refill() {
    Fill(inputs_, ListDevices(driver_, WaveDirection::Input), settings_.Device.InputDeviceID);
    Fill(outputs_, ListDevices(driver_, WaveDirection::Output), settings_.Device.OutputDeviceID);
}

QStringList TDeviceDialog::InputNames() const { return Texts(inputs_); }
QStringList TDeviceDialog::OutputNames() const { return Texts(outputs_); }
int TDeviceDialog::SelectedInput() const { return inputs_->currentRow(); }
int TDeviceDialog::SelectedOutput() const { return outputs_->currentRow(); }
void TDeviceDialog::SelectInput(int row) { inputs_->setCurrentRow(row); }
void TDeviceDialog::SelectOutput(int row) { outputs_->setCurrentRow(row); }

void TDeviceDialog::accept() {
    const uint32_t input = Chosen(inputs_);
    const uint32_t output = Chosen(outputs_);
    if (input == kNoDevice || output == kNoDevice) {
        // Only an empty list leaves nothing chosen: that direction has no device at all.
        ShowStringMessage(host_, kStrNoSoundDriver);
        return;
    }
    // Nothing to change: a running analyser may keep its devices.
    if (engine_.Running() && input == settings_.Device.InputDeviceID && output == settings_.Device.OutputDeviceID) {
        QDialog::accept();
        return;
    }
    if (!engine_.SelectDevices(input, output)) {
        if (engine_.Running()) {
            ShowMessage(host_, kDeviceDialogStopFirst);
        } else {
            // A device went away while the dialog was open: show what is there now.
            ShowStringMessage(host_, kStrSoundDeviceFailure);
            Refill();
        }
        return;  // stays open for another choice
    }
    QDialog::accept();
}

}  // namespace zeltrak
