#pragma once
#include <QDialog>
#include <QWidget>

#include "engine/engine_listener.h"
#include "files/ini_store.h"
#include "utilities/delay_finder.h"
#include "views/qt/utility_tools.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zeltrak {

class Host;
class TEngine;
struct ProcessingSettings;

// Units, speed of sound and maximum delay; OK refuses values out of range with their message and
// stays open.
class TDelayFinderOptionsDialog : public QDialog {
public:
    TDelayFinderOptionsDialog(Host& host, const DelayFinderOptions& options, QWidget* parent = nullptr);
    const DelayFinderOptions& Result() const { return result_; }
    void accept() override;

private:
    void Show(const DelayFinderOptions& options);

    Host& host_;
    DelayFinderOptions result_;
    QRadioButton* units_[3] = {};
    QLineEdit* speed_ = nullptr;
    QLineEdit* maxDelay_ = nullptr;
};

// The Delay Finder tool window: the delay between the input channels, found again after every
// analysed frame, and the processing delay it can be copied into. Made only for a stereo analyser.
class TDelayFinderWindow : public QWidget, public TEngineListener {
public:
    TDelayFinderWindow(Host& host, TEngine& engine, ProcessingSettings& settings, TIniStore& ini,
                       PausedStep paused, QWidget* parent = nullptr);
    ~TDelayFinderWindow() override;

    const TDelayFinder& Finder() const { return finder_; }
    QString DelayText() const;
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* OptionsButton() const { return optionsButton_; }
    QLineEdit* DelayEdit() const { return edit_; }

    // Copies the delay found into the processing delay.
    void Apply();
    // The edit box's text as the processing delay.
    void TypeDelay();
    void EditOptions();

    void OnFrame(const EngineFrame& frame) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowDelay();
    void ShowProcessingDelay();
    void ChangeSettings(const std::function<void(SettingsBlock&)>& change);

    Host& host_;
    TEngine& engine_;
    ProcessingSettings& settings_;
    TIniStore& ini_;
    PausedStep paused_;
    DelayFinderOptions options_;
    TDelayFinder finder_;
    QLabel* delay_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* optionsButton_ = nullptr;
    QLineEdit* edit_ = nullptr;
};

}  // namespace zeltrak
