#include "views/headless_shell.h"

#include "engine/engine.h"
#include "engine/processing_settings.h"
#include "files/calibration_record.h"
#include "files/wave_file.h"
#include "measure/data_log.h"
#include "platform/host.h"
#include "generator/signal_generator.h"
#include "views/file_transport.h"
#include "views/generator_commands.h"
#include "views/headless_macro.h"
#include "views/mode_switch.h"

namespace zeltrak {

// Nothing to choose from without a window: a command names its files, and a file without a
// calibration chunk keeps the calibration in force.
class THeadlessShell::NoDialogs : public TWaveFileChooser {
public:
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&) override { return std::nullopt; }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    CalibrationChoice AskWrongCalibration(const std::string&) override { return CalibrationChoice::KeepCurrent; }
};

class THeadlessShell::ModeTarget : public TModeSwitchTarget {
public:
    explicit ModeTarget(THeadlessShell& shell) : shell_(shell) {}
    bool AnalyserRunning() const override { return shell_.engine_.Running(); }
    void StopAnalyser() override { shell_.Stop(); }
    void StopLogging() override {
        if (shell_.logger_) shell_.logger_->StopLogging();
    }
    bool HasRealTimeBuffer() const override { return shell_.realTimeBuffer_ && shell_.engine_.WaveFile(); }
    void KeepRealTimeBuffer() override {}
    void DiscardRealTimeBuffer() override { shell_.engine_.SetWaveFile(nullptr); }
    void SetCaption(const std::string& caption) override { shell_.engine_.SetCaption(caption); }
    void SetMode(uint32_t mode) override { shell_.settings_.Mode.OpMode = mode; }

private:
    THeadlessShell& shell_;
};

THeadlessShell::THeadlessShell(Host& host, TEngine& engine, ProcessingSettings& settings,
                               CalibrationRecord& calibration, TDataLogger* logger, const std::string& tempDir,
                               const TIniStore* ini)
    : host_(host),
      engine_(engine),
      settings_(settings),
      calibration_(calibration),
      logger_(logger),
      dialogs_(std::make_unique<NoDialogs>()),
      ini_(ini) {
    TWaveFileEvents events;
    events.caption = [this](const std::string& caption) { engine_.SetCaption(caption); };
    events.modeChanged = [this](uint32_t) { realTimeBuffer_ = false; };
    files_ = std::make_unique<TWaveFileCommands>(host, engine, settings, calibration, *dialogs_, tempDir,
                                                 std::move(events));
}

THeadlessShell::~THeadlessShell() = default;

// A Real-Time run starts a new history in place of the engine's file; one the user opened is
// offered for saving first.
bool THeadlessShell::ReleaseFileForRealTime() {
    if (settings_.Mode.OpMode != kModeRealTime || realTimeBuffer_ || !engine_.WaveFile()) return true;
    return files_->CloseBeforeRealTimeRun();
}

void THeadlessShell::Started(bool started) {
    if (started && settings_.Mode.OpMode == kModeRealTime) realTimeBuffer_ = true;
}

bool THeadlessShell::Run() {
    if (engine_.Running()) return true;
    if (!ReleaseFileForRealTime()) return false;
    const bool started = engine_.Run();
    Started(started);
    return started;
}

bool THeadlessShell::RunFrames(uint32_t limit) {
    if (engine_.Running()) engine_.Stop();
    if (!ReleaseFileForRealTime()) return false;
    const bool started = engine_.RunFrames(limit);
    Started(started);
    return started;
}

bool THeadlessShell::SingleStep() {
    if (!ReleaseFileForRealTime()) return false;
    return engine_.SingleStep();
}

void THeadlessShell::Stop() {
    if (engine_.Running()) engine_.Stop();
}

bool THeadlessShell::Rewind() { return RewindFile(engine_); }
bool THeadlessShell::FastForward() { return FastForwardFile(engine_); }
bool THeadlessShell::GoTo(double seconds) { return GoToSeconds(engine_, seconds); }

bool THeadlessShell::Record() { return !engine_.Running() && engine_.Record(); }

bool THeadlessShell::Play() { return !engine_.Running() && engine_.Play(); }

void THeadlessShell::SelectMode(uint32_t mode) {
    ModeTarget target(*this);
    if (SwitchMode(settings_.Mode.OpMode, mode, host_, target) == ModeSwitchResult::Switched) realTimeBuffer_ = false;
}

void THeadlessShell::ChangeSettings(const std::function<void()>& change) {
    const bool wasRunning = engine_.Running();
    if (wasRunning) Stop();
    change();
    if (wasRunning) Run();
}

void THeadlessShell::CalibrationChanged() { engine_.SetCalibration(calibration_); }

bool THeadlessShell::FrontEndCommand(const AutomationCommand& command) {
    switch (command.id) {
        case CommandId::Generator:
        case CommandId::GeneratorType:
        case CommandId::GeneratorTone:
        case CommandId::GeneratorWaveFile:
        case CommandId::SaveGeneratorSignal: return GeneratorCommand(command);
        case CommandId::Macro:
        case CommandId::OpenMacroFile: return MacroCommand(command);
        default: return false;
    }
}

bool THeadlessShell::GeneratorCommand(const AutomationCommand& command) {
    if (command.id == CommandId::Generator && command.variant == kToolOpen) {
        if (!ini_) return false;
        if (!generator_)
            generator_ = std::make_unique<TSignalGenerator>(host_, engine_,
                                                            static_cast<int32_t>(settings_.Device.OutputDeviceID), *ini_);
        return true;
    }
    if (command.id == CommandId::Generator && command.variant == kToolClose) {
        generator_.reset();
        return true;
    }
    return generator_ && CarryGeneratorCommand(*generator_, command);
}

// Without a window, "open" and "close" only say whether a macro is at hand.
bool THeadlessShell::MacroCommand(const AutomationCommand& command) {
    if (!macro_) return false;
    if (command.id == CommandId::OpenMacroFile) {
        std::string error;
        if (!macro_->Load(command.argument, error)) {
            ShowMessage(host_, error);
            return false;
        }
        return macro_->Start();
    }
    switch (command.variant) {
        case kToolOpen: return true;
        case kToolClose:
        case kToolStop: macro_->Stop(); return true;
        case kToolStart: return macro_->Start();
        default: return false;
    }
}

int THeadlessShell::MacroStatus() const { return macro_ ? macro_->Status() : -1; }

void THeadlessShell::IdlePass() {
    if (generator_) generator_->Poll();
}

}  // namespace zeltrak
