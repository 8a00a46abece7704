#pragma once
#include <QElapsedTimer>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/engine_listener.h"
#include "files/calibration_record.h"
#include "views/desktop_layout.h"
#include "views/phase_blanking.h"

class QAction;
class QActionGroup;
class QComboBox;
class QImage;
class QLabel;
class QToolBar;
class QMdiArea;
class QMdiSubWindow;
class QTimer;

namespace zeltrak {

class BufferDoneQueue;
class QtHost;
class TEngine;
class TEngineLoop;
class TGeneratorTool;
class TMacroTool;
class TReverbTool;
class TUtilityTools;
class TLevelMeter;
class TSpectrumView;
class TQtWaveFileChooser;
class TWaveFileChooser;
class TWaveFileCommands;
class TChooserSwitch;
class TUserGuideDialog;
struct ProcessingSettings;

// The main window: an MDI client area with the live spectrum, Run and Stop, the menus (Help
// included), and the status bar. The engine runs on this thread: a single-shot timer, set for when the input completes
// the next frame or woken by a sound driver's notice, delivers the notices and gives the engine its idle steps.
class TMainWin : public QMainWindow, public TEngineListener {
public:
    // `calibration` is the application's record that the spectrum scaling reads and an opened
    // file's calibration chunk replaces; null: the window keeps a record of its own.
    TMainWin(QtHost& host, TEngine& engine, BufferDoneQueue& queue, ProcessingSettings& settings,
             double spectrumStart, double spectrumStop, CalibrationRecord* calibration = nullptr,
             const std::string& tempDir = "");
    ~TMainWin() override;

    // How far below a spectrum's highest bin the phase view blanks its bins (dB); the Scaling
    // dialog edits it.
    double PhaseBlankDepthDb() const { return phaseBlankDepthDb_; }
    void SetPhaseBlankDepthDb(double depthDb);
    double PhaseBlankCoherence() const { return phaseBlankCoherence_; }
    void SetPhaseBlankCoherence(double threshold);

    // The analysis views of the View menu. Each is an MDI child that hears the engine while
    // it is open; closing it (menu or its own close box) removes it from the engine.
    enum class View { TimeSeries = 0, Spectrum = 1, Phase = 2 };
    static constexpr int kViewCount = 3;
    QWidget* OpenView(View view);
    void CloseView(View view);
    QWidget* ViewWidget(View view) const { return views_[static_cast<int>(view)].widget; }
    QAction* ViewAction(View view) const { return views_[static_cast<int>(view)].action; }
    // The spectrum view, null while it is closed.
    TSpectrumView* SpectrumView() const;
    QMdiArea* Client() { return mdi_; }
    // The window's geometry, its views and their arrangement as they are now, for the next start.
    DesktopLayout Layout() const;
    // Places the window (a stored geometry that is unusable on these screens gives the first
    // start's) and opens and places the stored views; before the window is shown.
    void RestoreLayout(const DesktopLayout& layout);
    // Each view's zoom as stored in the layout ("" while the view shows its whole range); a
    // closed view keeps the one it had.
    std::string ViewRange(View view) const;
    // A view's own window back to its normal size, or filling the client area; false while closed.
    bool RestoreView(View view);
    bool MaximizeView(View view);
    // The open views' images one under another (a null image when none is open).
    QImage ViewsImage() const;
    // The Window menu's arrangements.
    void ArrangeViews(ViewArrangement arrangement);
    enum class Bar { Menu, Tool, Status };
    void ShowBar(Bar bar, bool visible);

    // What the window runs on.
    TEngine& Engine() { return engine_; }
    ProcessingSettings& Settings() { return settings_; }
    CalibrationRecord& Calibration() { return calibration_; }
    QtHost& UserHost() { return host_; }
    bool RunAnalyser();
    // Runs like Run and stops once more than `limit` frames were analysed.
    bool RunAnalyserFrames(uint32_t limit);
    bool SingleStep();
    // Recorder mode: plays the open file back through the output.
    bool Play();
    void StopAnalyser();
    // Stops a running analyser around `change` (which edits the settings), starts it again
    // after and shows the new settings.
    void ChangeSettings(const std::function<void()>& change);
    // The calibration record was replaced: what shows its unit follows.
    void CalibrationChanged();
    // Mode commands (1 Real-Time, 2 Post-Processing, 3 Recorder).
    void SelectMode(uint32_t mode);
    QAction* ModeAction(uint32_t mode);
    // Recorder mode: records. With a saved file open it asks first: Yes appends to that file,
    // No closes it (offering to save a changed one) and records into a new file, Cancel does
    // nothing. False when no recording started.
    bool Record();
    // File menu. Tests give their own chooser in place of the file dialogs.
    TWaveFileCommands& Files() { return *files_; }
    void SetFileChooser(TWaveFileChooser* chooser);
    // Any command by its label without '&' and "..." ("Open", "Save As", "Run", "Single Step").
    QAction* FileAction(const QString& name) const;
    // What closing the window does with the open file: false when the user cancelled its save
    // question. `openFileName` receives the name to reopen next time (empty: none).
    bool CloseFileForExit(std::string& openFileName);
    QToolBar* ModeToolBar() { return tools_; }
    QString ModeToolBarLabel() const;
    // The toolbar's FFT-size list: validated like the Settings dialog; false when refused.
    bool SelectFftSize(uint32_t size);
    // Post-Processing transport on the open file; false when there is none or the time is
    // outside the file (the position then stays).
    bool Rewind();
    bool FastForward();
    bool GoTo(double seconds);
    // Options menu: each dialog runs modal; a running analyser is stopped for it and started
    // again after.
    void ShowSettingsDialog();
    void ShowTriggerDialog();
    void ShowScalingDialog();
    void ShowFileOptionsDialog();
    void ShowDeviceDialog();

    // Called once when the window closes, after the analyser stopped and the open file was
    // closed, with the name of that file (empty: none or untitled): the shell stores the
    // settings there. A failure is the callback's to report; the window closes anyway.
    void SetOnClose(std::function<void(const std::string&)> onClose) { onClose_ = std::move(onClose); }
    // The status bar's level meters in dBFS.
    const TLevelMeter* LevelMeter() const { return levelMeter_; }
    // The Utilities menu's signal generator window.
    TGeneratorTool& GeneratorTool() { return *generator_; }
    TReverbTool& ReverbTool() { return *reverb_; }
    // The Utilities menu's delay finder and DTMF decoder.
    TUtilityTools& UtilityTools() { return *utilityTools_; }
    // The Utilities menu's macro processor; its lines run in the idle passes.
    TMacroTool& MacroTool() { return *macro_; }

    void OnFrame(const EngineFrame& frame) override;
    void OnLevels(int32_t left, int32_t right) override;
    void OnStarted() override;
    void OnStopped() override;
    void OnCaption(const std::string& caption) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Follows the client area's size and notices a view the user moved or resized.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void IdleStep();
    bool ReleaseFileForRealTime();
    bool ChooseRecordingFile();
    void UpdateActions();
    void CreateFileCommands(const std::string& tempDir);
    void CreateRunCommands();
    void BuildMenus();
    void BuildStatusBar();
    void BuildToolBar();
    void ShowModeTools();
    void ShowFftSize();
    void ShowSettings();
    bool StartRun(std::optional<uint32_t> frameLimit);
    void AskGoTo();
    void BuildViewMenu();
    void BuildHelpMenu();
    QWidget* CreateView(View view);
    void ForgetView(View view);
    int ViewOf(const QMdiSubWindow* sub) const;  // -1: not an open view's window
    void ShowSeriesUnit();
    void RestoreViews(const DesktopLayout& layout);
    void PlaceForFirstStart();
    // The Window menu's arrangements; Free once the user moves or resizes a view.
    // An arrangement in force is laid out again whenever the client area changes size and
    // whenever a view opens or closes.
    using Arrangement = ViewArrangement;
    void LayOutViews();
    QRect ArrangedGeometry(int index, int count, QSize area) const;
    template <typename F>
    void WithAnalyserPaused(F&& dialog);

    QtHost& host_;
    TEngine& engine_;
    ProcessingSettings& settings_;
    std::unique_ptr<TEngineLoop> loop_;
    QMdiArea* mdi_ = nullptr;
    struct OpenViewSlot {
        QMdiSubWindow* sub = nullptr;
        QWidget* widget = nullptr;
        TEngineListener* listener = nullptr;
        QAction* action = nullptr;
    };
    OpenViewSlot views_[kViewCount];
    double spectrumStart_;
    double spectrumStop_;
    double phaseBlankDepthDb_ = kDefaultPhaseBlankDepthDb;
    double phaseBlankCoherence_ = kDefaultPhaseBlankCoherence;
    QTimer* idle_ = nullptr;
    QElapsedTimer sinceStep_;  // keeps idle passes, and with them repaints, at the display's rate
    BufferDoneQueue& queue_;
    CalibrationRecord ownCalibration_;
    CalibrationRecord& calibration_;
    std::unique_ptr<TQtWaveFileChooser> dialogs_;
    std::unique_ptr<TChooserSwitch> chooser_;  // where the file commands ask: dialogs or a test
    std::unique_ptr<TWaveFileCommands> files_;
    QAction* run_ = nullptr;
    QAction* stop_ = nullptr;
    QAction* step_ = nullptr;
    std::unique_ptr<TGeneratorTool> generator_;
    std::unique_ptr<TReverbTool> reverb_;
    std::unique_ptr<TUtilityTools> utilityTools_;
    std::unique_ptr<TMacroTool> macro_;
    TUserGuideDialog* guide_ = nullptr;  // made on first use, kept for the next
    QAction* modes_[3] = {nullptr, nullptr, nullptr};
    QActionGroup* modeGroup_ = nullptr;
    QToolBar* tools_ = nullptr;
    std::vector<std::pair<uint32_t, QAction*>> modeTools_;  // the buttons of one mode only
    QLabel* modeLabel_ = nullptr;
    QComboBox* fftSizes_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* overload_ = nullptr;
    QLabel* frames_ = nullptr;
    QLabel* time_ = nullptr;
    TLevelMeter* levelMeter_ = nullptr;
    std::function<void(const std::string&)> onClose_;
    std::string ranges_[kViewCount];
    bool inStep_ = false;
    Arrangement arrangement_ = Arrangement::Free;
    bool arranging_ = false;  // our own placing of the views is under way
    bool realTimeBuffer_ = false;  // the engine's wave file is a Real-Time run's history
};

}  // namespace zeltrak
