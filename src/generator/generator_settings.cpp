#include "generator/generator_settings.h"

#include <cmath>
#include <type_traits>

#include "files/ini_store.h"

namespace zeltrak {
namespace {

constexpr uint16_t kCardPresetCount = 8;

// Visits every stored field of one channel with its section and key; channel 1's sections
// carry an "R", except the DTMF section both channels share.
template <typename Visit, typename Setup>
void VisitChannel(Visit& visit, Setup& s, int channel) {
    const std::string r = channel == 0 ? "" : "R";
    visit("Main", channel == 0 ? "SigType" : "SigTypeR", s.type);
    const std::string burst = "NoiseBurst" + r;
    visit(burst, "Type", s.noiseBurst.kind);
    visit(burst, "BurstTimeMsec", s.noiseBurst.burstMs);
    visit(burst, "CycleTimeMsec", s.noiseBurst.cycleMs);
    const std::string sweep = "FreqSweep" + r;
    visit(sweep, "FStartHz", s.frequencySweep.startHz);
    visit(sweep, "FStopHz", s.frequencySweep.stopHz);
    visit(sweep, "TimeMSec", s.frequencySweep.timeMs);
    visit(sweep, "SweepType", s.frequencySweep.sweepType);
    const std::string level = "LevelSweep" + r;
    visit(level, "StartDB", s.levelSweep.startDb);
    visit(level, "StopDB", s.levelSweep.stopDb);
    visit(level, "FreqHz", s.levelSweep.frequencyHz);
    visit(level, "TimeMSec", s.levelSweep.timeMs);
    const std::string tones = "Tones" + r;
    for (int k = 0; k < kToneSlots; ++k) {
        const std::string n = std::to_string(k);
        visit(tones, "ToneEnable" + n, s.tones.slots[k].enabled);
        visit(tones, "FreqHz" + n, s.tones.slots[k].frequencyHz);
        visit(tones, "PwrDB" + n, s.tones.slots[k].levelDb);
    }
    const std::string toneBurst = "ToneBurst" + r;
    visit(toneBurst, "FreqHz", s.toneBurst.frequencyHz);
    visit(toneBurst, "BurstTimeMsec", s.toneBurst.burstMs);
    visit(toneBurst, "CycleTimeMsec", s.toneBurst.cycleMs);
    const std::string imd = "IMD" + r;
    visit(imd, "IMDtype", s.imd.standard);
    visit(imd, "LoFreqHz", s.imd.lowHz);
    visit(imd, "HiFreqHz", s.imd.highHz);
    visit(imd, "PwrRatio", s.imd.powerRatio);
    const std::string pulse = "Pulse" + r;
    visit(pulse, "WidthNSec", s.pulse.widthUs);
    visit(pulse, "RepIntervalNSec", s.pulse.intervalUs);
    visit(pulse, "OneShotFlag", s.pulse.oneShot);
    visit("Sawtooth" + r, "Slope", s.sawtooth.slope);
    visit("Sawtooth" + r, "FreqHz", s.sawtooth.frequencyHz);
    visit("Triangular" + r, "FreqHz", s.triangular.frequencyHz);
    visit("Square" + r, "FreqHz", s.square.frequencyHz);
    visit("Square" + r, "DutyCyclePct", s.square.dutyPercent);
    visit("User Defined" + r, "WaveFileName", s.userDefined.waveFile, kWavePathLimit);
    visit("DTMF", "KeyString", s.dtmf.keys, kDtmfKeyLimit);
    visit("DTMF", "PulseWidthMsec", s.dtmf.pulseMs);
    visit("DTMF", "PulseSpacingMsec", s.dtmf.spacingMs);
    visit("DTMF", "TwistDB", s.dtmf.twistDb);
    visit("DTMF", "RepeatFlag", s.dtmf.repeat);
}

template <typename Visit, typename Level>
void VisitLevel(Visit& visit, Level& level) {
    visit("Level", "OutputLevel", level.levelLeft);
    visit("Level", "OutputLevelR", level.levelRight);
    visit("Level", "OutputUnits", level.units);
    visit("Level", "FSCardType", level.cardPreset);
    visit("Level", "FSOption", level.fullScaleMode);
    visit("Level", "FSLevel", level.fullScaleVolts);
}

// A missing key keeps the field's default; texts are cut to their field's size.
struct FieldReader {
    const TIniStore& ini;

    template <typename Field>
    void operator()(const std::string& section, const std::string& key, Field& field) const {
        if constexpr (std::is_enum_v<Field>) {
            auto code = static_cast<std::underlying_type_t<Field>>(field);
            (*this)(section, key, code);
            field = static_cast<Field>(code);
        } else if constexpr (std::is_floating_point_v<Field>) {
            field = static_cast<Field>(ini.GetDouble(section, key, field));
        } else {
            field = static_cast<Field>(ini.GetInt(section, key, field));
        }
    }
    void operator()(const std::string& section, const std::string& key, std::string& text, size_t limit) const {
        text = ini.GetString(section, key, text, limit);
    }
};

// Integers as "%d", floating values as "%f", texts as they are.
struct FieldWriter {
    TIniStore& ini;

    template <typename Field>
    void operator()(const std::string& section, const std::string& key, const Field& field) const {
        if constexpr (std::is_enum_v<Field>)
            ini.SetInt(section, key, static_cast<int64_t>(field));
        else if constexpr (std::is_floating_point_v<Field>)
            ini.SetDouble(section, key, field);
        else
            ini.SetInt(section, key, static_cast<int64_t>(field));
    }
    void operator()(const std::string& section, const std::string& key, const std::string& text, size_t) const {
        ini.SetString(section, key, text);
    }
};

// Stored values are taken as they are, except codes that index a list: one outside its list
// would select nothing that exists, so it reads as the default.
void KeepKnownCodes(SignalSetup& setup) {
    const auto code = static_cast<int32_t>(setup.type);
    if (code < 0 || code >= kSignalTypeCount) setup.type = SignalSetup{}.type;
}

void KeepKnownCodes(OutputLevelSetup& level) {
    const OutputLevelSetup defaults;
    if (static_cast<uint16_t>(level.units) >= kOutputUnitCount) level.units = defaults.units;
    if (level.cardPreset >= kCardPresetCount) level.cardPreset = defaults.cardPreset;
    if (static_cast<uint16_t>(level.fullScaleMode) > static_cast<uint16_t>(FullScaleMode::Preset))
        level.fullScaleMode = defaults.fullScaleMode;
}

void RecomputeToneAmplitudes(TonesSetup& tones) {
    for (ToneSlot& slot : tones.slots) slot.amplitude = static_cast<float>(std::pow(10.0, 0.05 * slot.levelDb));
}

}  // namespace

GeneratorSettings ReadGeneratorSettings(const TIniStore& ini) {
    GeneratorSettings settings;
    FieldReader read{ini};
    for (int channel = 0; channel < 2; ++channel) {
        SignalSetup& setup = settings.channels[channel];
        VisitChannel(read, setup, channel);
        KeepKnownCodes(setup);
        RecomputeToneAmplitudes(setup.tones);
    }
    VisitLevel(read, settings.level);
    KeepKnownCodes(settings.level);
    return settings;
}

void WriteGeneratorSettings(const GeneratorSettings& settings, TIniStore& ini) {
    FieldWriter write{ini};
    for (int channel = 0; channel < 2; ++channel) VisitChannel(write, settings.channels[channel], channel);
    VisitLevel(write, settings.level);
}

bool SaveGeneratorSettings(const GeneratorSettings& settings, const std::string& path) {
    TIniStore ini;
    ini.Load(path);
    WriteGeneratorSettings(settings, ini);
    return ini.SaveAs(path);
}

}  // namespace zeltrak
