#include "generator/signal_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "base/strings.h"
#include "files/ini_store.h"
#include "files/wave_strings.h"
#include "generator/buffer_length.h"
#include "generator/generator_strings.h"
#include "generator/noise_recordings.h"
#include "generator/output_level.h"
#include "generator/signal_types.h"

namespace zeltrak {

namespace {

constexpr char kBuildingSignal[] = "Building Signal.  Please Wait...";

bool LiveOrRecording(const TEngine& engine) {
    const EngineRunState state = engine.RunState();
    return (state == EngineRunState::Running && engine.Settings().Mode.OpMode == kModeRealTime) ||
           state == EngineRunState::Recording;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, error);
}

}  // namespace

TSignalGenerator::TSignalGenerator(Host& host, TEngine& engine, int32_t deviceId, const TIniStore& ini)
    : TSignalGenerator(host, engine, deviceId, ini, ReadGeneratorSettings(ini), GeneratorRateSetting(ini)) {}

TSignalGenerator::TSignalGenerator(Host& host, TEngine& engine, int32_t deviceId, const TIniStore& ini,
                                   const GeneratorSettings& settings, uint32_t rateKey)
    : host_(host), engine_(engine), deviceId_(deviceId), settings_(settings), rateKey_(rateKey) {
    duplexDelayMs_ = static_cast<uint32_t>(std::clamp<int64_t>(ini.GetInt("FileIO", "DuplexDelay", 50), 0, 10000));
    output_ = std::make_unique<TSoundOutput>(engine_.Driver(), host_, deviceId_);
    engine_.SetGenerator(this);
    BuildSignal();
}

TSignalGenerator::~TSignalGenerator() {
    engine_.SetGenerator(nullptr);
    StopOutput();
}

uint32_t GeneratorRateSetting(const TIniStore& ini) {
    return static_cast<uint32_t>(std::clamp<int64_t>(ini.GetInt("Settings", "GeneratorSamplingRate", 0), 0, 1000000));
}

bool TSignalGenerator::Stereo() const { return engine_.Settings().Settings().format.channels == 2; }

bool TSignalGenerator::BuildSignal() {
    host_.SetBusyCursor(true);
    host_.SetStatusText(kBuildingSignal);
    const bool restartLive = engine_.Running() && engine_.Settings().Mode.OpMode == kModeRealTime;
    if (engine_.Running()) engine_.Stop();
    StopOutput();
    const bool built = Synthesize();
    host_.ShowProgress(false);
    host_.SetStatusText("");
    host_.SetBusyCursor(false);
    if (restartLive) engine_.Run();
    return built;
}

GeneratorSignal BuildGeneratorSignal(const GeneratorSettings& settings, const GeneratorFormatInputs& inputs,
                                     DitherSource& dither, const SynthesisProgress& progress) {
    GeneratorSignal signal;
    const int channels = inputs.analyser.channels == 2 ? 2 : 1;
    // The User Defined files are opened first: one that cannot be read leaves no half-built
    // signal behind.
    std::unique_ptr<TWaveFile> user[2];
    UserWaveInfo info[2];
    for (int c = 0; c < channels; ++c) {
        const SignalSetup& setup = settings.channels[c];
        if (setup.type != SignalType::UserDefined) continue;
        user[c] = OpenUserWave(setup.userDefined.waveFile, signal.message);
        if (!user[c]) return signal;
        info[c] = DescribeUserWave(user[c].get());
    }
    signal.format = GeneratorOutputFormat(inputs.rateKey, inputs.analyser, settings.channels[0], info[0],
                                          settings.channels[1], info[1]);
    const std::span<const int16_t> white = NoiseRecordingSamples(NoiseRecording::White);
    const std::span<const int16_t> pink = NoiseRecordingSamples(NoiseRecording::Pink);
    LengthInputs in[2];
    for (int c = 0; c < 2; ++c)
        in[c] = {signal.format.rate, static_cast<uint32_t>(white.size()), static_cast<uint32_t>(pink.size()), info[c]};
    const uint32_t length = BufferLength(settings.channels[0], in[0], settings.channels[1], in[1], channels == 2);
    auto buffer = std::make_unique<TWaveData>(length, signal.format);
    if (length == 0 || buffer->Error()) {
        signal.message = LoadString(kStrInsufficientMemory);
        return signal;
    }
    OutputLevelSetup level = settings.level;
    for (int c = 0; c < channels; ++c) {
        const double g = LevelFactor(level, c, level.fullScaleVolts);
        SynthesisSources sources{white, pink, &dither, progress, user[c].get()};
        SynthesizeChannel(*buffer, settings.channels[c], c, g, sources);
    }
    signal.buffer = std::move(buffer);
    return signal;
}

GeneratorFormatInputs TSignalGenerator::FormatInputs() const {
    const SampleFormat analyser = engine_.Settings().Settings().format;
    return {{analyser.rate, analyser.channels, analyser.bytesPerSample, false}, rateKey_};
}

bool TSignalGenerator::Synthesize() {
    host_.ShowProgress(true);
    GeneratorSignal signal =
        BuildGeneratorSignal(settings_, FormatInputs(), dither_, [this](int percent) { host_.SetProgress(percent); });
    lastMessage_ = signal.message;
    if (signal.buffer && !output_->SetFormat(signal.format)) {
        signal.buffer.reset();
        lastMessage_ = LoadString(kStrFormatNotSupported);
    }
    if (!signal.buffer) {
        ShowMessage(host_, lastMessage_, MessageIcon::Error);
        return false;
    }
    // A full-scale voltage of 0 counts as 1 V from now on, as the level factor took it.
    if (settings_.level.fullScaleVolts <= 0.0f) settings_.level.fullScaleVolts = 1.0f;
    buffer_ = std::move(signal.buffer);
    format_ = signal.format;
    return true;
}

bool TSignalGenerator::PlaysOnce() const {
    const SignalSetup& left = settings_.channels[0];
    return (left.type == SignalType::Pulse && left.pulse.oneShot != 0) ||
           (left.type == SignalType::Dtmf && left.dtmf.repeat == 0);
}

bool TSignalGenerator::QueueHalf(int slot) {
    const uint32_t half = buffer_->Length() / 2;
    const uint64_t first = slot == 0 ? 0 : buffer_->FramesToBytes(half);
    const uint64_t end = slot == 0 ? buffer_->FramesToBytes(half) : buffer_->DataSize();
    return output_->Write(buffer_->Buffer() + first, static_cast<uint32_t>(end - first), slot, false);
}

bool TSignalGenerator::QueueBuffer() {
    halves_ = !output_->Peculiarities().loopPlayback && buffer_->Length() >= 2;
    if (halves_) return QueueHalf(0) && QueueHalf(1);
    return output_->Write(buffer_->Buffer(), buffer_->DataSize(), 0, !PlaysOnce());
}

bool TSignalGenerator::Run() {
    if (!output_ || !buffer_) return false;
    if (playing_) StopOutput();
    if (!output_->SetFormat(format_) || !output_->Open(nullptr, false)) return false;
    // The port opens paused. Devices of the echo family start together with the input: the
    // loop releases them; the others start now.
    waitingForLoop_ = LiveOrRecording(engine_) && output_->Peculiarities().echoFamily;
    if (!QueueBuffer() || (!waitingForLoop_ && !output_->Restart())) {
        StopOutput();
        return false;
    }
    playing_ = true;
    return true;
}

void TSignalGenerator::StopOutput() {
    if (output_ && output_->IsOpen()) output_->Close();
    playing_ = false;
    halves_ = false;
    waitingForLoop_ = false;
}

void TSignalGenerator::Stop() {
    // An echo-family output belongs to the running loop; only the loop may stop it.
    if (output_ && output_->Peculiarities().echoFamily && LiveOrRecording(engine_)) {
        if (engine_.InputPort().Peculiarities().echoFamily) engine_.Stop();
        return;
    }
    StopOutput();
}

void TSignalGenerator::Poll() {
    if (!playing_ || !output_) return;
    if (halves_) {
        for (int slot = 0; slot < 2; ++slot)
            if (output_->IsSlotDone(slot) && !QueueHalf(slot)) StopOutput();
    } else if (PlaysOnce() && output_->IsSlotDone(0)) {
        StopOutput();
    }
}

void TSignalGenerator::StartWithRun() {
    if (!playing_ && !Run()) return;
    if (waitingForLoop_) {
        waitingForLoop_ = false;
        output_->Restart();
    }
}

void TSignalGenerator::StopWithRun() { StopOutput(); }

uint32_t TSignalGenerator::StartDelayMilliseconds() const {
    return output_ && output_->Peculiarities().preRoll ? duplexDelayMs_ : 0;
}

template <class F>
void TSignalGenerator::Rebuilding(F change) {
    const bool wasPlaying = playing_;
    StopOutput();
    change();
    if (BuildSignal() && wasPlaying) Run();
}

void TSignalGenerator::SetSignal(int channel, const SignalSetup& setup) {
    Rebuilding([&] { settings_.channels[channel & 1] = setup; });
}

void TSignalGenerator::SetLevel(const OutputLevelSetup& level) {
    Rebuilding([&] { settings_.level = level; });
}

void TSignalGenerator::SetTypeByName(std::string_view name, int channel) {
    SignalSetup& setup = settings_.channels[channel & 1];
    Rebuilding([&] { setup.type = SignalTypeFromName(name, setup.type); });
}

void TSignalGenerator::SetTone(double frequencyHz, double levelDb, int channel) {
    TonesSetup& tones = settings_.channels[channel & 1].tones;
    for (ToneSlot& slot : tones.slots) slot.enabled = 0;
    const double level = std::clamp(levelDb, -96.0, 0.0);
    tones.slots[0] = {1, static_cast<float>(std::clamp(frequencyHz, 0.0, MaxFrequency() * 1.0)),
                      static_cast<float>(level), static_cast<float>(std::pow(10.0, 0.05 * level))};
    SetTypeByName(SignalTypeListNames()[static_cast<int>(SignalType::MultipleTones)], channel);
}

void TSignalGenerator::SetWaveFile(const std::string& path, int channel) {
    Stop();
    settings_.channels[channel & 1].userDefined.waveFile = path.substr(0, kWavePathLimit);
}

void TSignalGenerator::SetDevice(int32_t deviceId) {
    if (deviceId == deviceId_) {
        const SampleFormat analyser = engine_.Settings().Settings().format;
        const SampleFormat& current = output_->Current();
        if (current.rate != analyser.rate || current.channels != analyser.channels ||
            current.bytesPerSample != analyser.bytesPerSample)
            Rebuilding([] {});
        return;
    }
    StopOutput();
    buffer_.reset();
    deviceId_ = deviceId;
    output_ = std::make_unique<TSoundOutput>(engine_.Driver(), host_, deviceId_);
    BuildSignal();
}

bool TSignalGenerator::SaveSignalAsWave(const std::string& path) {
    if (!buffer_) return false;
    if (const TWaveFile* open = engine_.WaveFile(); open && SameFile(open->GetName(), path)) {
        char text[1024];
        std::snprintf(text, sizeof text, kStrWaveInUse, path.c_str());
        ShowMessage(host_, text);
        return false;
    }
    host_.SetBusyCursor(true);
    const uint32_t repeats = SaveRepeatCount(settings_.channels[0].type, format_.rate, buffer_->Length());
    const SynthesisResult saved = zeltrak::SaveSignalAsWave(*buffer_, path, repeats);
    host_.SetBusyCursor(false);
    if (!saved.ok) ShowMessage(host_, saved.message, MessageIcon::Error);
    return saved.ok;
}

int TSignalGenerator::VolumeSlider() {
    if (!output_ || !output_->SupportsVolume()) return -1;
    return 99 - output_->GetVolume(0);
}

void TSignalGenerator::SetVolumeSlider(int position) {
    if (!output_ || !output_->SupportsVolume()) return;
    const int volume = 99 - std::clamp(position, 0, 99);
    output_->SetVolume(volume, volume);
}

}  // namespace zeltrak
