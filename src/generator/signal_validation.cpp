#include "generator/signal_validation.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "generator/generator_strings.h"

namespace zeltrak {
namespace {

namespace text = generator_text;

constexpr long kMaxSweepMs = 600000;
constexpr long kMaxDtmfMs = 10000;
constexpr double kLowestDb = -96.0;

std::string Format(const char* format, ...) {
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    return message;
}

// Written so that a value that is not a number fails too.
bool Within(double value, double low, double high) { return low <= value && value <= high; }

std::string CheckBurstAndCycle(int32_t burstMs, int32_t cycleMs) {
    if (burstMs < 1) return text::kBurstNotPositive;
    if (cycleMs < 1) return text::kCycleNotPositive;
    if (burstMs >= cycleMs) return text::kBurstNotBelowCycle;
    return {};
}

std::string CheckSweepTime(int32_t timeMs) {
    if (!Within(timeMs, 1, kMaxSweepMs)) return Format(text::kSweepTime, 1L, kMaxSweepMs);
    return {};
}

std::string CheckWaveFrequency(float hz, long maxHz) {
    if (!(hz > 0.0f && hz <= maxHz)) return Format(text::kWaveFrequency, 0.0, static_cast<double>(maxHz));
    return {};
}

// The level ranges of the voltage units: up to the full-scale value, 96 dB deep (exclusive).
std::string CheckDbRange(double level, double top, const char* format) {
    if (!(top - 96.0 < level && level <= top)) return Format(format, top, top - 96.0);
    return {};
}

std::string CheckLevel(double level, const OutputLevelSetup& setup) {
    const double fs = setup.fullScaleVolts;
    switch (setup.units) {
        case OutputUnits::DbFullScale:
            return Within(level, kLowestDb, 0.0) ? std::string() : text::kLevelDbFullScale;
        case OutputUnits::PercentFullScale:
            return level > 0.0 && level <= 100.0 ? std::string() : text::kLevelPercent;
        case OutputUnits::VoltsRms:
            return level > 0.0 && level <= fs ? std::string() : Format(text::kLevelVolts, fs);
        case OutputUnits::MillivoltsRms: {
            // In single precision, as the voltage is kept: 2.13 V shows as 2130.000000 mV.
            const double top = 1000.0f * setup.fullScaleVolts;
            return level > 0.0 && level <= top ? std::string() : Format(text::kLevelMillivolts, top);
        }
        case OutputUnits::DbvRms: return CheckDbRange(level, 20.0 * std::log10(fs), text::kLevelDbv);
        case OutputUnits::DbmvRms:
            return CheckDbRange(level, 20.0 * std::log10(1000.0 * fs), text::kLevelDbmv);
        case OutputUnits::DbuRms: return CheckDbRange(level, 20.0 * std::log10(fs) + 2.21395, text::kLevelDbu);
    }
    return {};
}

}  // namespace

std::string ValidateNoiseBurst(const NoiseBurstSetup& block) { return CheckBurstAndCycle(block.burstMs, block.cycleMs); }

std::string ValidateFrequencySweep(const FrequencySweepSetup& block, long maxHz) {
    const double top = static_cast<double>(maxHz);
    if (!Within(block.startHz, 0.0, top)) return Format(text::kStartFrequency, 0.0, top);
    if (!Within(block.stopHz, 0.0, top)) return Format(text::kStopFrequency, 0.0, top);
    return CheckSweepTime(block.timeMs);
}

std::string ValidateLevelSweep(const LevelSweepSetup& block, long maxHz) {
    const double top = static_cast<double>(maxHz);
    if (!Within(block.startDb, kLowestDb, 0.0)) return Format(text::kStartLevel, 0.0, kLowestDb);
    if (!Within(block.stopDb, kLowestDb, 0.0)) return Format(text::kStopLevel, 0.0, kLowestDb);
    if (!Within(block.frequencyHz, 0.0, top)) return Format(text::kSignalFrequency, 0.0, top);
    return CheckSweepTime(block.timeMs);
}

std::string ValidateSawtooth(const SawtoothSetup& block, long maxHz) {
    return CheckWaveFrequency(block.frequencyHz, maxHz);
}

std::string ValidateTriangular(const TriangularSetup& block, long maxHz) {
    return CheckWaveFrequency(block.frequencyHz, maxHz);
}

std::string ValidateSquare(const SquareSetup& block, long maxHz) {
    std::string message = CheckWaveFrequency(block.frequencyHz, maxHz);
    if (message.empty() && !Within(block.dutyPercent, 1, 99)) message = Format(text::kDutyCycle, 1L, 99L);
    return message;
}

std::string ValidatePulse(const PulseSetup& block, long maxHz) {
    // The shortest width is one sample period in whole microseconds; the products are taken
    // wide because they pass the range of a 32-bit integer.
    const long long minUs = maxHz < 1 ? 200 : 1000000LL / (2LL * maxHz);
    const long long maxUs = 100000 * minUs;
    if (!Within(block.widthUs, minUs, maxUs))
        return Format(text::kPulseWidthRange, static_cast<long>(minUs), static_cast<long>(maxUs));
    if (!Within(block.intervalUs, minUs, 100 * maxUs))
        return Format(text::kPulseIntervalRange, static_cast<long>(minUs), static_cast<long>(100 * maxUs));
    if (block.widthUs >= block.intervalUs) return text::kPulseWidthNotBelowInterval;
    return {};
}

std::string ValidateTones(const TonesSetup& block, long maxHz) {
    for (const ToneSlot& slot : block.slots) {
        if (slot.enabled == 0) continue;
        if (!Within(slot.frequencyHz, 0.0, static_cast<double>(maxHz))) return Format(text::kToneFrequency, maxHz);
        if (!Within(slot.levelDb, kLowestDb, 0.0)) return Format(text::kTonePower, -96, 0);
    }
    return {};
}

std::string ValidateToneBurst(const ToneBurstSetup& block, long maxHz) {
    if (!Within(block.frequencyHz, 1, static_cast<double>(maxHz))) return Format(text::kToneFrequency, maxHz);
    return CheckBurstAndCycle(block.burstMs, block.cycleMs);
}

std::string ValidateImd(const ImdSetup& block, long maxHz) {
    if (block.standard != 2) return {};
    const double top = static_cast<double>(maxHz);
    if (!(block.lowHz > 0.0f && block.lowHz < top)) return Format(text::kImdLowFrequency, maxHz);
    if (!(block.highHz > 1000.0f && block.highHz < top)) return Format(text::kImdHighFrequency, maxHz);
    if (!(block.highHz > block.lowHz)) return text::kImdHighNotAboveLow;
    if (!Within(block.powerRatio, 1.0, 10.0)) return text::kImdPowerRatio;
    return {};
}

std::string ValidateDtmf(const DtmfSetup& block) {
    if (!Within(block.pulseMs, 1, kMaxDtmfMs)) return Format(text::kDtmfPulseWidth, 1L, kMaxDtmfMs);
    if (!Within(block.spacingMs, 1, kMaxDtmfMs)) return Format(text::kDtmfSpacing, 1L, kMaxDtmfMs);
    if (!Within(block.twistDb, -30.0, 30.0)) return text::kDtmfTwist;
    return {};
}

std::string ValidateOutputLevel(const OutputLevelSetup& level) {
    if (level.fullScaleMode != FullScaleMode::Unknown && !(level.fullScaleVolts > 0.0f))
        return text::kFullScaleNotPositive;
    std::string message = CheckLevel(level.levelLeft, level);
    if (message.empty()) message = CheckLevel(level.levelRight, level);
    return message;
}

std::vector<OutputUnits> OfferedUnits(FullScaleMode mode) {
    if (mode == FullScaleMode::Unknown) return {OutputUnits::DbFullScale, OutputUnits::PercentFullScale};
    std::vector<OutputUnits> units;
    for (int code = 0; code < kOutputUnitCount; ++code) units.push_back(static_cast<OutputUnits>(code));
    return units;
}

OutputUnits SelectedUnits(FullScaleMode mode) {
    return mode == FullScaleMode::Unknown ? OutputUnits::DbFullScale : OutputUnits::VoltsRms;
}

std::string ValidateSignal(const SignalSetup& setup, long maxHz) {
    switch (setup.type) {
        case SignalType::NoiseBurst: return ValidateNoiseBurst(setup.noiseBurst);
        case SignalType::MultipleTones: return ValidateTones(setup.tones, maxHz);
        case SignalType::ToneBurst: return ValidateToneBurst(setup.toneBurst, maxHz);
        case SignalType::FrequencySweep: return ValidateFrequencySweep(setup.frequencySweep, maxHz);
        case SignalType::LevelSweep: return ValidateLevelSweep(setup.levelSweep, maxHz);
        case SignalType::Sawtooth: return ValidateSawtooth(setup.sawtooth, maxHz);
        case SignalType::Triangular: return ValidateTriangular(setup.triangular, maxHz);
        case SignalType::Square: return ValidateSquare(setup.square, maxHz);
        case SignalType::Pulse: return ValidatePulse(setup.pulse, maxHz);
        case SignalType::Imd: return ValidateImd(setup.imd, maxHz);
        case SignalType::Dtmf: return ValidateDtmf(setup.dtmf);
        default: return {};
    }
}

}  // namespace zeltrak
