#pragma once
#include <QDialog>
#include <QWidget>
#include <array>

#include "engine/engine_listener.h"
#include "files/ini_store.h"
#include "utilities/dtmf_detector.h"
#include "utilities/dtmf_options.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zeltrak {

class Host;
class TEngine;

// Threshold, minimum duration and minimum spacing; OK refuses values out of range with their
// message and stays open.
class TDTMFOptionsDialog : public QDialog {
public:
    TDTMFOptionsDialog(Host& host, const DtmfOptions& options, QWidget* parent = nullptr);
    const DtmfOptions& Result() const { return result_; }
    void accept() override;

private:
    void Show(const DtmfOptionTexts& texts);

    Host& host_;
    DtmfOptions result_;
    QLineEdit* threshold_ = nullptr;
    QLineEdit* duration_ = nullptr;
    QLineEdit* spacing_ = nullptr;
};

// The DTMF Decoder tool window: the keys heard on the left and on the right channel, one line
// each, from the analyser's spectrums of every processed frame.
class TDtmfDecoderWindow : public QWidget, public TEngineListener {
public:
    TDtmfDecoderWindow(Host& host, TEngine& engine, TIniStore& ini, QWidget* parent = nullptr);
    ~TDtmfDecoderWindow() override;

    const TDTMFData& Detector(int channel) const { return detectors_[static_cast<size_t>(channel)]; }
    QString KeysText() const;
    QPushButton* ClearButton() const { return clear_; }
    QPushButton* OptionsButton() const { return options_; }

    void Clear();
    void EditOptions();
    // Without Options; closing the decoder closes `mainWindow` instead.
    void HandCloseTo(QWidget* mainWindow);

    void OnFrame(const EngineFrame& frame) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UseOptions(const DtmfOptions& options);
    void ShowKeys();
    // The time detection runs on, ms: the input's position in a live run, the frame's in a file.
    int32_t FrameTimeMs(const EngineFrame& frame);

    Host& host_;
    TEngine& engine_;
    TIniStore& ini_;
    DtmfOptions settings_;
    std::array<TDTMFData, 2> detectors_;
    QLabel* keys_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* options_ = nullptr;
    QWidget* closeTarget_ = nullptr;
};

}  // namespace zeltrak
