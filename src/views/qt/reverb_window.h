#pragma once
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "files/ini_store.h"
#include "utilities/reverb_analysis.h"
#include "utilities/reverb_measurement.h"
#include "views/qt/reverb_plots.h"
#include "views/qt/tool_window_slot.h"

class QAction;
class QComboBox;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QProgressBar;
class QPushButton;

namespace zeltrak {

class Host;
class TEngine;

// "Reverb Options": smoothing, extrapolation and the maximum decay time; OK with a decay time
// out of range says so and keeps the dialog open.
class TReverbOptsDialog : public QDialog {
public:
    TReverbOptsDialog(Host& host, const ReverbOptions& options, QWidget* parent = nullptr);
    const ReverbOptions& Result() const { return options_; }
    void accept() override;

private:
    Host& host_;
    ReverbOptions options_;
    QComboBox* smoothing_ = nullptr;
    QComboBox* extrapolation_ = nullptr;
    QLineEdit* maxDecay_ = nullptr;
};

// The Reverberation Time tool window: Start measures through the engine's card, the three
// views show the results, Load/Save keep them in .rvb files. Its options live in the settings
// store and are written back when the window goes.
class TReverbWindow : public QWidget, private ReverbAcquisitionSink {
public:
    TReverbWindow(Host& host, TEngine& engine, TIniStore& ini, QWidget* parent = nullptr);
    ~TReverbWindow() override;

    // The whole measurement; true when it ended with new results.
    bool Start();
    bool Load(const std::string& path);
    bool Save(const std::string& path);
    void LoadFromDialog();
    void SaveFromDialog();
    void EditOptions();
    void ShowView(ReverbView view);
    void CopyAsText();
    // Unsaved results are offered for saving; false when the user cancelled.
    bool OfferToSave();

    const ReverbData& Data() const { return data_; }
    const ReverbOptions& Options() const { return options_; }
    TReverbPlot* Plot() const { return plot_; }
    bool Measuring() const { return measuring_; }
    // Stops the analyser before a measurement (the main window's own stop, with its display).
    void SetStopAnalyser(std::function<void()> stop) { stopAnalyser_ = std::move(stop); }
    // Called on each turn of the wait for the recording (a test moves a manual clock on).
    void SetTurnHook(std::function<void()> hook) { turnHook_ = std::move(hook); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildContextMenu();
    void Refresh();
    void ShowTitle(const std::string& path);
    bool Measure();
    void SetAcquisitionRunning(bool running) override { acquiring_ = running; }
    void ShowMeterReading(int reading) override;
    void KeepResponding() override;

    Host& host_;
    TEngine& engine_;
    TIniStore& ini_;
    ReverbOptions options_;
    ReverbData data_;
    TReverbPlot* plot_ = nullptr;
    QPushButton* start_ = nullptr;
    QComboBox* choice_ = nullptr;  // the bar chart's time or the decay plot's band
    QProgressBar* meter_ = nullptr;
    std::function<void()> stopAnalyser_;
    std::function<void()> turnHook_;
    bool measuring_ = false;
    bool acquiring_ = false;
};

// Opens and closes the window in the main window's client area and remembers whether it was
// open ([ViewStatus] Reverb).
class TReverbTool {
public:
    TReverbTool(Host& host, TEngine& engine, QMdiArea& area);

    // Until a store is given the tool keeps its own; reopens the window when it says so.
    void UseSettings(TIniStore& ini) { slot_.UseSettings(ini); }
    TReverbWindow* Open() { return static_cast<TReverbWindow*>(slot_.Open()); }
    // Through the window's own close, so unsaved results are offered for saving; Cancel keeps it.
    void Close() { slot_.Close(); }
    TReverbWindow* Window() const { return static_cast<TReverbWindow*>(slot_.Window()); }
    QAction* ToggleAction() const { return slot_.ToggleAction(); }
    void SetStopAnalyser(std::function<void()> stop) { stopAnalyser_ = std::move(stop); }
    // At the program's end: false while measuring or when the user cancels saving the results.
    bool MayExit();
    void StoreForExit();

private:
    std::function<void()> stopAnalyser_;
    TToolWindowSlot slot_;
};

}  // namespace zeltrak
