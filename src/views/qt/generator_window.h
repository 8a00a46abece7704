#pragma once
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

#include "base/sample_format.h"
#include "files/ini_store.h"
#include "generator/signal_setup.h"
#include "views/qt/tool_window_slot.h"

class QAction;
class QComboBox;
class QMdiArea;
class QMdiSubWindow;
class QPushButton;
class QSlider;
class QTimer;

namespace zeltrak {

class Host;
class TEngine;
class TSignalGenerator;

// The Signal Generator tool window: Run, Stop and Level, and (in the full layout) per channel
// a type list and a Details button, and the output volume. It owns the generator: made with
// the window on the configured output device, destroyed with it, its settings written back to
// the settings store then.
class TGeneratorWindow : public QWidget {
public:
    TGeneratorWindow(Host& host, TEngine& engine, TIniStore& ini, QWidget* parent = nullptr);
    ~TGeneratorWindow() override;

    TSignalGenerator& Generator() { return *generator_; }
    QComboBox* TypeList(int channel) const { return types_[static_cast<size_t>(channel)]; }
    QPushButton* DetailsButton(int channel) const { return details_[static_cast<size_t>(channel)]; }
    QPushButton* RunButton() const { return run_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* LevelButton() const { return level_; }
    QSlider* VolumeSlider() const { return volume_; }
    bool Compact() const { return compact_; }
    void SetCompact(bool compact);

    // The Run and Stop buttons; Run is false when there is nothing to play.
    bool Run();
    void Stop();
    void ChooseType(int channel, int code);  // a pick in the channel's list
    void EditDetails(int channel);
    void EditLevel();
    // Buttons and lists as the generator stands (also on the window's timer).
    void Refresh();
    // Writes the generator's settings into the store (also done when the window goes).
    void StoreSettings();

private:
    void BuildControls();
    QWidget* BuildChannelRow(int channel);
    void ShowTypes();
    void FollowDevice();
    int ShownIndex(int channel) const;
    bool EditParameters(int channel, SignalType type);  // false: cancelled

    Host& host_;
    TEngine& engine_;
    TIniStore& ini_;
    std::unique_ptr<TSignalGenerator> generator_;
    QPushButton* run_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* level_ = nullptr;
    QPushButton* more_ = nullptr;
    std::array<QWidget*, 2> rows_{};
    std::array<QComboBox*, 2> types_{};
    std::array<QPushButton*, 2> details_{};
    QSlider* volume_ = nullptr;
    QWidget* volumeRow_ = nullptr;
    QTimer* poll_ = nullptr;
    bool compact_ = false;
    int32_t seenDevice_ = 0;   // the output device and analyser format the generator was
    SampleFormat seenFormat_;  // last told about
};

// Opens and closes the generator window in the main window's client area, remembers whether
// it was open ([ViewStatus] SignalGenerator) and saves its signal to a wave file.
class TGeneratorTool {
public:
    TGeneratorTool(Host& host, TEngine& engine, QMdiArea& area);

    // The settings store the generator reads and writes; until one is given the tool keeps its
    // own. Reopens the window when the store says it was open.
    void UseSettings(TIniStore& ini) { slot_.UseSettings(ini); }
    TGeneratorWindow* Open() { return static_cast<TGeneratorWindow*>(slot_.Open()); }
    void Close() { slot_.Close(); }
    TGeneratorWindow* Window() const { return static_cast<TGeneratorWindow*>(slot_.Window()); }
    // The Utilities menu's check item; follows the window.
    QAction* ToggleAction() const { return slot_.ToggleAction(); }
    // Asks for a file name and saves the signal; false when cancelled, closed or failed.
    bool SaveSignalToWave();
    bool SaveSignalToWave(const std::string& path);
    // Before the settings file is saved at exit: the generator's settings and the open state.
    void StoreForExit();

private:
    QMdiArea& area_;
    TToolWindowSlot slot_;
};

}  // namespace zeltrak
