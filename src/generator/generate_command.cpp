#include "generator/generate_command.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "files/ini_store.h"
#include "generator/signal_types.h"
#include "generator/signal_validation.h"

namespace zeltrak {

namespace {

// The generator keeps times and some frequencies in whole units, as its dialogs take them.
bool ApplyWhole(const std::optional<double>& value, const char* option, int32_t& field, std::string& error) {
    if (!value) return true;
    if (*value != std::trunc(*value) || std::abs(*value) > std::numeric_limits<int32_t>::max()) {
        error = std::string(option) + " must be a whole number";
        return false;
    }
    field = static_cast<int32_t>(*value);
    return true;
}

void ApplyFloat(const std::optional<double>& value, float& field) {
    if (value) field = static_cast<float>(*value);
}

bool ApplyTones(const GenerateOptions& o, TonesSetup& tones, std::string& error) {
    if (!o.toneLevels.empty() && o.toneLevels.size() != 1 && o.toneLevels.size() != o.frequencies.size()) {
        error = "--tone-db takes one level for all tones or one per --freq";
        return false;
    }
    for (size_t k = 0; k < tones.slots.size(); ++k) {
        ToneSlot& slot = tones.slots[k];
        if (!o.frequencies.empty()) {
            slot.enabled = k < o.frequencies.size() ? 1 : 0;
            if (slot.enabled) slot.frequencyHz = static_cast<float>(o.frequencies[k]);
        }
        if (!o.toneLevels.empty() && slot.enabled)
            slot.levelDb = static_cast<float>(o.toneLevels[o.toneLevels.size() == 1 ? 0 : k]);
        slot.amplitude = static_cast<float>(std::pow(10.0, 0.05 * slot.levelDb));
    }
    return true;
}

// Every parameter goes into each block it belongs to; only the played type's block is checked.
bool ApplyParameters(const GenerateOptions& o, SignalSetup& s, std::string& error) {
    if (!o.frequencies.empty()) {
        const float f = static_cast<float>(o.frequencies.front());
        s.sawtooth.frequencyHz = s.triangular.frequencyHz = s.square.frequencyHz = s.levelSweep.frequencyHz = f;
        if (s.type == SignalType::ToneBurst && !ApplyWhole(o.frequencies.front(), "--freq", s.toneBurst.frequencyHz, error))
            return false;
    }
    if (!ApplyTones(o, s.tones, error)) return false;
    const bool levelSweep = s.type == SignalType::LevelSweep;
    ApplyFloat(o.start, levelSweep ? s.levelSweep.startDb : s.frequencySweep.startHz);
    ApplyFloat(o.stop, levelSweep ? s.levelSweep.stopDb : s.frequencySweep.stopHz);
    if (o.sweepType) s.frequencySweep.sweepType = *o.sweepType;
    if (o.noiseKind) s.noiseBurst.kind = *o.noiseKind;
    if (o.slope) s.sawtooth.slope = *o.slope;
    if (o.imdSet) s.imd.standard = *o.imdSet;
    ApplyFloat(o.lowHz, s.imd.lowHz);
    ApplyFloat(o.highHz, s.imd.highHz);
    ApplyFloat(o.ratio, s.imd.powerRatio);
    ApplyFloat(o.twistDb, s.dtmf.twistDb);
    if (o.keys) s.dtmf.keys = *o.keys;
    if (o.waveFile) s.userDefined.waveFile = *o.waveFile;
    if (o.oneShot) s.pulse.oneShot = 1;
    if (o.repeat) s.dtmf.repeat = 1;
    const bool burst = s.type == SignalType::ToneBurst;
    return ApplyWhole(o.timeMs, "--time", levelSweep ? s.levelSweep.timeMs : s.frequencySweep.timeMs, error) &&
           ApplyWhole(o.burstMs, "--burst", burst ? s.toneBurst.burstMs : s.noiseBurst.burstMs, error) &&
           ApplyWhole(o.cycleMs, "--cycle", burst ? s.toneBurst.cycleMs : s.noiseBurst.cycleMs, error) &&
           ApplyWhole(o.dutyPercent, "--duty", s.square.dutyPercent, error) &&
           ApplyWhole(o.widthUs, "--width", s.pulse.widthUs, error) &&
           ApplyWhole(o.intervalUs, "--interval", s.pulse.intervalUs, error) &&
           ApplyWhole(o.pulseMs, "--pulse", s.dtmf.pulseMs, error) &&
           ApplyWhole(o.spacingMs, "--spacing", s.dtmf.spacingMs, error);
}

bool ApplyLevel(const GenerateOptions& o, OutputLevelSetup& level, std::string& error) {
    if (o.level) level.levelLeft = level.levelRight = static_cast<float>(*o.level);
    if (o.units) level.units = static_cast<OutputUnits>(*o.units);
    if (o.fullScaleVolts) {
        level.fullScaleVolts = static_cast<float>(*o.fullScaleVolts);
        level.fullScaleMode = FullScaleMode::Typed;
    }
    const bool relative = level.units == OutputUnits::DbFullScale || level.units == OutputUnits::PercentFullScale;
    if (!relative && level.fullScaleMode == FullScaleMode::Unknown) {
        error = "levels in volts need --full-scale VOLTS, the card's rms output at full scale";
        return false;
    }
    error = ValidateOutputLevel(level);
    return error.empty();
}

}  // namespace

bool MakeGenerateSetup(const GenerateOptions& o, const TIniStore& ini, const SampleFormat& analyser,
                       GenerateSetup& setup, std::string& error) {
    SignalType type = SignalType::WhiteNoise;
    if (!SignalTypeFromCommandName(o.type, type)) {
        error = "unknown signal type '" + o.type + "' (zeltrak generate --help lists them)";
        return false;
    }
    setup.settings = ReadGeneratorSettings(ini);
    setup.format.analyser = {o.rate.value_or(analyser.rate), o.channels.value_or(analyser.channels),
                             o.bytesPerSample.value_or(analyser.bytesPerSample), false};
    setup.format.rateKey = o.rate ? *o.rate : GeneratorRateSetting(ini);
    SignalSetup& signal = setup.settings.channels[0];
    signal.type = type;
    if (!ApplyParameters(o, signal, error) || !ApplyLevel(o, setup.settings.level, error)) return false;
    const uint32_t rate = setup.format.rateKey ? setup.format.rateKey : setup.format.analyser.rate;
    error = ValidateSignal(signal, static_cast<long>(rate / 2));
    setup.settings.channels[1] = signal;
    return error.empty();
}

bool WriteGeneratedSignal(const GenerateOptions& o, const GenerateSetup& setup, std::string& summary,
                          std::string& error) {
    SeededDither dither;
    const GeneratorSignal signal = BuildGeneratorSignal(setup.settings, setup.format, dither);
    if (!signal.buffer) {
        error = signal.message;
        return false;
    }
    const SampleFormat& f = signal.format;
    const SignalType type = setup.settings.channels[0].type;
    const uint64_t frames = o.seconds > 0.0 ? static_cast<uint64_t>(std::llround(o.seconds * f.rate))
                                            : uint64_t{SaveRepeatCount(type, f.rate, signal.buffer->Length())} *
                                                  signal.buffer->Length();
    const SynthesisResult saved = SaveSignalFrames(*signal.buffer, o.output, frames);
    if (!saved.ok) {
        error = saved.message.empty() ? "cannot write '" + o.output + "'" : saved.message;
        return false;
    }
    char text[512];
    std::snprintf(text, sizeof text, "%s: %s, %u Hz, %u channel(s), %u bits, %llu samples (%.3f s)", o.output.c_str(),
                  std::string(SignalTypeReportName(static_cast<int32_t>(type))).c_str(), f.rate, f.channels,
                  f.bitsPerSample, static_cast<unsigned long long>(frames), static_cast<double>(frames) / f.rate);
    summary = text;
    return true;
}

bool PlayGeneratedSignal(const GenerateOptions& o, TSignalGenerator& generator, const std::function<bool()>& interrupted,
                         const std::function<void()>& wait) {
    if (!generator.Run()) return false;
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds));
    while (generator.Playing() && !interrupted() && (o.seconds <= 0.0 || Clock::now() < end)) {
        wait();
        generator.Poll();
    }
    generator.Stop();
    return true;
}

}  // namespace zeltrak
