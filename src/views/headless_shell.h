#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "automation/automation_shell.h"
#include "engine/wave_file_commands.h"

namespace zeltrak {

class TIniStore;
class TSignalGenerator;
class THeadlessMacro;

// The analyser without a window as the automation drives it: the same engine commands, file
// commands and mode switching as the desktop, with questions answered by the host and no
// file dialogs.
class THeadlessShell : public TAutomationShell {
public:
    // `ini` holds the generator's settings; without it there is no generator.
    THeadlessShell(Host& host, TEngine& engine, ProcessingSettings& settings, CalibrationRecord& calibration,
                   TDataLogger* logger, const std::string& tempDir, const TIniStore* ini = nullptr);
    ~THeadlessShell() override;

    TEngine& Engine() override { return engine_; }
    ProcessingSettings& Settings() override { return settings_; }
    CalibrationRecord& Calibration() override { return calibration_; }
    TWaveFileCommands& Files() override { return *files_; }
    Host& UserHost() override { return host_; }
    TDataLogger* Logger() override { return logger_; }

    bool Run() override;
    bool RunFrames(uint32_t limit) override;
    bool SingleStep() override;
    void Stop() override;
    bool Rewind() override;
    bool FastForward() override;
    bool GoTo(double seconds) override;
    bool Record() override;
    bool Play() override;
    void SelectMode(uint32_t mode) override;
    void ChangeSettings(const std::function<void()>& change) override;
    void CalibrationChanged() override;
    void Exit() override { exitRequested_ = true; }
    // The signal generator's commands (it plays beside the analyser as in the window).
    bool FrontEndCommand(const AutomationCommand& command) override;

    // Once per pass of the host loop: keeps a playing generator fed.
    void IdlePass();
    // The macro processor the macro commands drive (null: none).
    void SetMacro(THeadlessMacro* macro) { macro_ = macro; }
    int MacroStatus() const override;

    // "[Exit Application]" was received.
    bool ExitRequested() const { return exitRequested_; }

private:
    class NoDialogs;
    class ModeTarget;
    bool ReleaseFileForRealTime();
    bool GeneratorCommand(const AutomationCommand& command);
    bool MacroCommand(const AutomationCommand& command);
    void Started(bool started);

    Host& host_;
    TEngine& engine_;
    ProcessingSettings& settings_;
    CalibrationRecord& calibration_;
    TDataLogger* logger_;
    std::unique_ptr<NoDialogs> dialogs_;
    std::unique_ptr<TWaveFileCommands> files_;
    const TIniStore* ini_;
    std::unique_ptr<TSignalGenerator> generator_;  // open while the generator is
    THeadlessMacro* macro_ = nullptr;
    bool realTimeBuffer_ = false;  // the engine's file is a Real-Time run's history
    bool exitRequested_ = false;
};

}  // namespace zeltrak
