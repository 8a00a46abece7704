#pragma once
#include <QDialog>
#include <QStringList>

class QListWidget;

namespace zeltrak {

class Host;
class TEngine;
class WaveDriver;
struct ProcessingSettings;

// Shown when the analyser is asked to change devices while it runs; the shell stops it before
// opening the dialog, so this is the fallback for callers that did not.
inline constexpr const char* kDeviceDialogStopFirst = "Stop the analyzer before choosing other sound devices.";

// Options > Device: the input and output devices of the driver by name, each with its channel
// count and the rates it takes, the ones in use selected. OK moves the engine to the chosen pair; a refusal shows its message (program
// title as caption) and the dialog stays open with the settings untouched.
class TDeviceDialog : public QDialog {
public:
    TDeviceDialog(Host& host, WaveDriver& driver, ProcessingSettings& settings, TEngine& engine,
                  QWidget* parent = nullptr);

    // The rows as shown: name, channels and rates.
    QStringList InputNames() const;
    QStringList OutputNames() const;
    // The selected row of each list, -1 for none.
    int SelectedInput() const;
    int SelectedOutput() const;
    void SelectInput(int row);
    void SelectOutput(int row);
    // What pressing OK does.
    void Accept() { accept(); }
    void accept() override;

private:
    // Reads the device lists afresh and selects the devices of the settings.
    void Refill();

    Host& host_;
    WaveDriver& driver_;
    ProcessingSettings& settings_;
    TEngine& engine_;
    QListWidget* inputs_ = nullptr;
    QListWidget* outputs_ = nullptr;
};

}  // namespace zeltrak
