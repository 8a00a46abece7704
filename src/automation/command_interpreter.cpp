#include "automation/command_interpreter.h"

#include <filesystem>
#include <utility>

#include "automation/automation_items.h"
#include "automation/automation_shell.h"
#include "base/strings.h"
#include "engine/engine.h"
#include "engine/engine_listener.h"
#include "engine/processing_settings.h"
#include "engine/settings_validation.h"
#include "engine/wave_file_commands.h"
#include "files/wave_file.h"
#include "measure/calibration.h"
#include "measure/data_log.h"
#include "platform/system_memory.h"

namespace zeltrak {

// Hears the engine for the interpreter: every analysed frame makes the measurements stale and
// advises the subscribed items.
class TCommandInterpreter::FrameLink : public TEngineListener {
public:
    explicit FrameLink(TCommandInterpreter& owner) : owner_(owner) {}
    void OnFrame(const EngineFrame& frame) override {
        owner_.values_.Invalidate();
        if (!frame.analysed) return;
        owner_.values_.SetFrameBeingTold(frame.frameCount + 1);
        owner_.AdviseAll();
        owner_.values_.SetFrameBeingTold(std::nullopt);
    }
    void OnStarted() override { owner_.values_.Invalidate(); }
    void OnStopped() override { owner_.values_.Invalidate(); }

private:
    TCommandInterpreter& owner_;
};

namespace {

bool IsOn(const AutomationCommand& c) { return c.variant != 0; }

// A word of a command's argument compared without regard to case; -1 when it is none of them.
template <std::size_t N>
int WordIndex(const std::string& word, const char* const (&words)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (EqualsIgnoreCase(word, words[i])) return static_cast<int>(i);
    return -1;
}

// Both ends of a range, lo below hi.
std::optional<AutomationRange> RangeOf(const std::string& argument, bool integers) {
    const std::vector<std::string> words = SplitCommandWords(argument);
    if (words.size() != 2) return std::nullopt;
    AutomationRange r;
    r.lo = integers ? static_cast<double>(CommandInteger(words[0])) : CommandDecimal(words[0]);
    r.hi = integers ? static_cast<double>(CommandInteger(words[1])) : CommandDecimal(words[1]);
    if (!(r.lo >= 0.0 && r.lo < r.hi)) return std::nullopt;
    return r;
}


bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

TCommandInterpreter::TCommandInterpreter(TAutomationShell& shell)
    : shell_(shell), values_(shell, state_), link_(std::make_unique<FrameLink>(*this)) {
    shell_.Engine().AddListener(link_.get(), ListenerRole::Link);
    shell_.Files().SetClosedListener([this](const std::string& name) { FileClosed(name); });
}

TCommandInterpreter::~TCommandInterpreter() {
    shell_.Files().SetClosedListener(nullptr);
    shell_.Engine().RemoveListener(link_.get());
}

bool TCommandInterpreter::Execute(std::string_view text) {
    const std::optional<AutomationCommand> command = ParseAutomationCommand(text);
    if (!command) return false;
    const bool done = Carry(*command);
    values_.Invalidate();
    return done;
}

std::optional<std::string> TCommandInterpreter::Request(std::string_view item) {
    const std::optional<int> index = AutomationItemIndex(item);
    if (!index) return std::nullopt;
    return values_.Text(*index);
}

void TCommandInterpreter::FileClosed(const std::string& name) {
    state_.lastClosedFile = name;
    Notify(kItemFileClosed);
}

void TCommandInterpreter::Notify(int item) {
    if (!sink_ || !sink_->Subscribed().test(static_cast<std::size_t>(item))) return;
    sink_->Publish({{item, values_.Text(item)}});
}

void TCommandInterpreter::AdviseAll() {
    if (!sink_) return;
    const AdviseSet wanted = sink_->Subscribed();
    if (wanted.none()) return;
    std::vector<std::pair<int, std::string>> values;
    for (int i = 0; i < static_cast<int>(kAutomationItemCount); ++i)
        if (wanted.test(static_cast<std::size_t>(i))) values.emplace_back(i, values_.Text(i));
    sink_->Publish(std::move(values));
}

bool TCommandInterpreter::Carry(const AutomationCommand& c) {
    if (c.id <= CommandId::ResetOverload) return RunCommand(c);
    if (c.id <= CommandId::Annotation) return SettingsCommand(c);
    if (c.id <= CommandId::ExitApplication) return FileCommand(c);
    if (c.id == CommandId::PassString) {
        state_.passString = c.argument;
        Notify(kItemPassString);
        return true;
    }
    return shell_.FrontEndCommand(c);
}

bool TCommandInterpreter::RunCommand(const AutomationCommand& c) {
    TEngine& engine = shell_.Engine();
    const bool recorder = shell_.Settings().Mode.OpMode == kModeRecorder;
    switch (c.id) {
        case CommandId::Run: return recorder || shell_.Run();
        case CommandId::RunCount: {
            const long n = CommandInteger(c.argument);
            if (n <= 0) return false;
            return recorder || shell_.RunFrames(static_cast<uint32_t>(std::min<long>(n, UINT32_MAX)));
        }
        case CommandId::SingleStep: return shell_.SingleStep();
        case CommandId::Stop: shell_.Stop(); return true;
        case CommandId::Rewind: return shell_.Rewind();
        case CommandId::FastForward: return shell_.FastForward();
        case CommandId::Record: return shell_.Record();
        case CommandId::Play: return shell_.Play();
        case CommandId::GoTo: return shell_.GoTo(CommandDecimal(c.argument));
        case CommandId::ResetAverage: engine.ResetAverage(); return true;
        case CommandId::Trigger: engine.ForceTrigger(); return true;
        case CommandId::ResetOverload: engine.ResetOverload(); return true;
        default: return false;
    }
}

bool TCommandInterpreter::ChangeProcessing(const std::function<void(ProcessingDialogFields&)>& edit) {
    ProcessingSettings& settings = shell_.Settings();
    ProcessingDialogFields fields = ProcessingDialogFields::From(settings.Settings());
    edit(fields);
    bool accepted = false;
    shell_.ChangeSettings([&] {
        SettingsBlock candidate = settings.Settings();
        const ValidationResult r = AcceptProcessingDialog(fields, shell_.Engine().InputPort(),
                                                          [] { return SystemFreeMemoryBytes(); }, candidate);
        if (!r.ok) return;
        settings.Settings() = candidate;
        accepted = true;
    });
    return accepted;
}

bool TCommandInterpreter::ChangeScaling(const std::function<bool(ScalingBlock&)>& edit) {
    ScalingBlock candidate = shell_.Settings().Scaling();
    if (!edit(candidate)) return false;
    if (!AcceptScalingDialog(ScalingDialogFields::From(candidate), candidate).ok) return false;
    shell_.ChangeSettings([&] { shell_.Settings().Scaling() = candidate; });
    return true;
}

bool TCommandInterpreter::SettingsCommand(const AutomationCommand& c) {
    const std::string& a = c.argument;
    auto number = [&] { return std::to_string(CommandInteger(a)); };
    switch (c.id) {
        case CommandId::PeakHold: return ChangeProcessing([&](auto& f) { f.peakHold = IsOn(c); });
        case CommandId::AverageSize:
            if (CommandInteger(a) < 1) return false;
            return ChangeProcessing([&](auto& f) { f.averageBlocks = number(); });
        case CommandId::AverageType: {
            static const char* const kTypes[] = {"Exponential", "Linear", "Vector"};
            const int type = std::max(0, WordIndex(a, kTypes));
            return ChangeProcessing([&](auto& f) { f.averageType = static_cast<uint16_t>(type); });
        }
        case CommandId::Channel: {
            static const char* const kWords[] = {"Left", "Right", "Both", "Average", "Transfer LR", "Transfer RL",
                                                 "Coherence", "Transfer LR+C", "Transfer RL+C"};
            static const uint16_t kCodes[] = {0, 1, 2, 3, 4, 5, 10, 11, 12};
            const int i = WordIndex(a, kWords);
            if (i < 0) return false;
            return ChangeProcessing([&](auto& f) {
                f.channelProcessing = kCodes[i];
                f.channels = i == 0 ? 1 : 2;
            });
        }
        case CommandId::FftOverlap: return ChangeProcessing([&](auto& f) { f.overlapPercent = number(); });
        case CommandId::FftSize: {
            // The sizes the size list offers: powers of two.
            const long n = CommandInteger(a);
            if (n < long{kSmallestFFTSize} || n > long{kMaxFFTSize} || (n & (n - 1)) != 0) return false;
            return ChangeProcessing([&](auto& f) { f.fftSize = static_cast<uint32_t>(n); });
        }
        case CommandId::SamplingRate: return ChangeProcessing([&](auto& f) { f.samplingRate = number(); });
        case CommandId::DecimationRatio: return ChangeProcessing([&](auto& f) { f.decimationRatio = number(); });
        case CommandId::Window:
            return ChangeProcessing([&](auto& f) { f.smoothingWindow = static_cast<uint16_t>(c.variant); });
        case CommandId::Delay:
            return ChangeProcessing([&](auto& f) { f.delayTimeMsec = std::to_string(CommandDecimal(a)); });
        case CommandId::Mode: shell_.SelectMode(static_cast<uint32_t>(c.variant)); return true;
        default: break;
    }
    if (c.id <= CommandId::MicCompensation) return ScalingCommand(c);
    if (c.id <= CommandId::TriggerThreshold) return TriggerCommand(c);
    return ViewStateCommand(c);
}

bool TCommandInterpreter::ScalingCommand(const AutomationCommand& c) {
    const std::string& a = c.argument;
    switch (c.id) {
        case CommandId::AmplitudeScaling: {
            static const char* const kWords[] = {"Linear", "Log"};
            const int i = WordIndex(a, kWords);
            return i >= 0 && ChangeScaling([&](ScalingBlock& s) { s.AmpScaleType = static_cast<uint16_t>(i); return true; });
        }
        case CommandId::FrequencyScaling: {
            static const char* const kWords[] = {"Linear", "Log", "Octave"};
            static const uint16_t kCodes[] = {kFreqLinear, kFreqLogarithmic, kFreqOctaveBands};
            const int i = WordIndex(a, kWords);
            return i >= 0 && ChangeScaling([&](ScalingBlock& s) { s.FreqScaleType = kCodes[i]; return true; });
        }
        case CommandId::Octave: {
            const long n = CommandInteger(a);
            const int choice = ChoiceFromFrequencyAxis(kFreqOctaveBands, static_cast<uint16_t>(std::clamp<long>(n, 0, 0xFFFF)));
            if (FrequencyAxisFromChoice(choice).octaveNumber != n) return false;
            return ChangeScaling([&](ScalingBlock& s) { s.OctaveNumber = static_cast<uint16_t>(n); return true; });
        }
        case CommandId::SpectrumWeighting: {
            // The letters are compared with case: another word is acknowledged and changes nothing.
            static const std::string kWords[] = {"Flat", "A", "B", "C"};
            for (uint16_t i = 0; i < 4; ++i)
                if (a == kWords[i]) return ChangeScaling([&](ScalingBlock& s) { s.StandardWeighting = i; return true; });
            return true;
        }
        case CommandId::PsdType:
            if (a != "0" && a != "1") return false;
            return ChangeScaling([&](ScalingBlock& s) { s.SpectralDensityType = a == "1" ? 1 : 0; return true; });
        case CommandId::Psd: return ChangeScaling([&](ScalingBlock& s) { s.SpectralDensityFlag = IsOn(c); return true; });
        case CommandId::MicFile: return SetCompensationFile(c.variant, a);
        case CommandId::MicCompensation:
            return ChangeScaling([&](ScalingBlock& s) { s.MicCompEnable = IsOn(c); return true; });
        default: return false;
    }
}

// variant 0: both channels, 1 the left, 2 the right.
bool TCommandInterpreter::SetCompensationFile(int which, const std::string& name) {
    if (name.empty() || name.size() > kMicCompNameChars) return false;
    return ChangeScaling([&](ScalingBlock& s) {
        if (which != 2) CopyToField(s.MicCompFilenameLeft, sizeof s.MicCompFilenameLeft, name);
        if (which != 1) CopyToField(s.MicCompFilenameRight, sizeof s.MicCompFilenameRight, name);
        // A curve that cannot be read is refused even while compensation is off.
        ScalingBlock probe = s;
        probe.MicCompEnable = 1;
        return AcceptScalingDialog(ScalingDialogFields::From(probe), probe).ok;
    });
}

bool TCommandInterpreter::TriggerCommand(const AutomationCommand& c) {
    TriggerDialogFields fields = TriggerDialogFields::From(shell_.Settings().Trigger);
    switch (c.id) {
        case CommandId::TriggerEnable: fields.enable = IsOn(c); break;
        case CommandId::TriggerReArm: fields.autoReset = IsOn(c); break;
        case CommandId::TriggerThreshold: fields.threshold = std::to_string(CommandInteger(c.argument)); break;
        default: return false;
    }
    TriggerBlock candidate = shell_.Settings().Trigger;
    if (!AcceptTriggerDialog(fields, candidate).ok) return false;
    shell_.ChangeSettings([&] { shell_.Settings().Trigger = candidate; });
    return true;
}

// Commands that set what the views show: markers, spans, the time segment, annotations,
// and the devices.
bool TCommandInterpreter::ViewStateCommand(const AutomationCommand& c) {
    switch (c.id) {
        case CommandId::InputDevice:
        case CommandId::OutputDevice: {
            const long n = CommandInteger(c.argument);
            if (n < 0) return false;
            const DeviceBlock& d = shell_.Settings().Device;
            const uint32_t in = c.id == CommandId::InputDevice ? static_cast<uint32_t>(n) : d.InputDeviceID;
            const uint32_t out = c.id == CommandId::OutputDevice ? static_cast<uint32_t>(n) : d.OutputDeviceID;
            bool done = false;
            shell_.ChangeSettings([&] { done = shell_.Engine().SelectDevices(in, out); });
            return done;
        }
        case CommandId::Marker:
            if (c.variant < 1 || c.variant > 6) return false;
            state_.markers[static_cast<std::size_t>(c.variant - 1)] = CommandDecimal(c.argument);
            shell_.FrontEndCommand(c);
            return true;
        case CommandId::FreqSpan: {
            const std::optional<AutomationRange> span = RangeOf(c.argument, true);
            if (!span || c.variant < 0 || c.variant > 4) return false;
            state_.spans[static_cast<std::size_t>(c.variant)] = span;
            shell_.FrontEndCommand(c);
            return true;
        }
        case CommandId::TimeSegment: {
            const std::optional<AutomationRange> segment = RangeOf(c.argument, false);
            if (!segment) return false;
            state_.timeSegment = segment;
            shell_.FrontEndCommand(c);
            return true;
        }
        case CommandId::Annotation:
            if (c.variant < 1 || c.variant > 2) return false;
            state_.annotation[static_cast<std::size_t>(c.variant - 1)] = c.argument;
            shell_.FrontEndCommand(c);
            return true;
        default: return false;
    }
}

bool TCommandInterpreter::FileCommand(const AutomationCommand& c) {
    const std::string& a = c.argument;
    switch (c.id) {
        case CommandId::FileOpen: return FileOpen(a);
        case CommandId::FileSave: return FileSave(a);
        case CommandId::FileClose: shell_.Stop(); return shell_.Files().Close();
        case CommandId::FileDelete: return FileDelete(a);
        case CommandId::UseTempFile: return UseTempFile(a);
        case CommandId::SaveCalibration: return !a.empty() && SaveCalibration(a, shell_.Calibration());
        case CommandId::LogFile:
        case CommandId::Logging: return LoggingCommand(c);
        case CommandId::ExitApplication: shell_.Exit(); return true;
        default: return shell_.FrontEndCommand(c);  // decimate, merge, calibrate: the front end's
    }
}

// By the extension found in the name, as the analyser's own file types.
bool TCommandInterpreter::FileOpen(const std::string& name) {
    if (name.empty()) return false;
    shell_.Stop();
    const bool realTime = shell_.Settings().Mode.OpMode == kModeRealTime;
    if (Contains(name, ".wav") || (Contains(name, ".WAV") && !realTime))
        return shell_.Files().Open(name, OpenOrigin::Automation);
    if (Contains(name, ".cal") || Contains(name, ".CAL")) {
        CalibrationRecord record = shell_.Calibration();
        if (!LoadCalibration(name, record)) return false;
        shell_.Calibration() = record;
        shell_.CalibrationChanged();
        return true;
    }
    if (Contains(name, ".mic") || Contains(name, ".MIC") || Contains(name, ".ovl") || Contains(name, ".OVL")) {
        const bool overlay = Contains(name, ".ovl") || Contains(name, ".OVL");
        return ChangeScaling([&](ScalingBlock& s) {
            CopyToField(s.MicCompFilenameLeft, sizeof s.MicCompFilenameLeft, name);
            CopyToField(s.MicCompFilenameRight, sizeof s.MicCompFilenameRight, overlay ? std::string() : name);
            s.MicCompEnable = 1;
            return name.size() <= kMicCompNameChars;
        });
    }
    if (Contains(name, ".mac")) return shell_.FrontEndCommand({CommandId::OpenMacroFile, 0, name});
    return false;  // configurations (.cfg) and others
}

bool TCommandInterpreter::FileSave(const std::string& name) {
    TEngine& engine = shell_.Engine();
    if (name.empty() || shell_.Settings().Mode.OpMode == kModeRealTime || !engine.WaveFile()) return false;
    shell_.Stop();
    // A bare name goes into the wave folder.
    std::filesystem::path path(name);
    const std::string& waveDir = engine.Environment().waveDir;
    if (path.is_relative() && !path.has_parent_path() && !waveDir.empty()) path = std::filesystem::path(waveDir) / path;
    return shell_.Files().SaveAs(path.string());
}

// The open file is not deleted under the analyser.
bool TCommandInterpreter::FileDelete(const std::string& name) {
    if (name.empty()) return false;
    std::error_code ec;
    if (const TWaveFile* open = shell_.Engine().WaveFile())
        if (std::filesystem::equivalent(open->GetName(), name, ec)) return false;
    return std::filesystem::remove(name, ec) && !ec;
}

bool TCommandInterpreter::UseTempFile(const std::string& argument) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = argument.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(argument.substr(start, comma - start));
    fields.push_back(argument.substr(start));
    if (fields.size() != 5) return false;
    for (std::size_t i = 1; i < fields.size(); ++i)
        if (!fields[i].empty() && fields[i][0] == ' ') fields[i].erase(0, 1);
    auto ratio = [](const std::string& text) {
        const double v = CommandDecimal(text);
        if (v == 1.0) return 0.999f;
        return v > 0.0 ? static_cast<float>(v) : 0.00001f;
    };
    shell_.Stop();
    if (shell_.Settings().Mode.OpMode == kModeRealTime) shell_.SelectMode(kModePostProcessing);
    CalibrationRecord record = shell_.Calibration();
    record.IsEnabled = 1;
    record.SetFilename("");
    record.RefLevel = 1.0f;
    record.RefType = 0;
    record.RefUnits = 4;
    record.SetLabelLinear(fields[3]);
    record.SetLabelLog(fields[4]);
    record.LabelType = 0;
    record.PctFullScaleLeft = record.PctFullScaleRight = 1.0f;
    record.CalRatioLeft = ratio(fields[1]);
    record.CalRatioRight = ratio(fields[2]);
    record.ConversionType = 0;
    record.IntegrationType = 0;
    shell_.Calibration() = record;
    shell_.CalibrationChanged();
    if (!shell_.Files().Open(fields[0], OpenOrigin::Automation)) return false;
    shell_.Files().SetTemporaryResult(true);
    return true;
}

bool TCommandInterpreter::LoggingCommand(const AutomationCommand& c) {
    TDataLogger* logger = shell_.Logger();
    if (!logger) return false;
    if (c.id == CommandId::LogFile) {
        if (c.argument.empty()) return false;
        logger->Settings().LogFileName = c.argument;
        return true;
    }
    if (!IsOn(c)) {
        logger->StopLogging();
        return true;
    }
    return logger->StartLogging();
}

}  // namespace zeltrak
