#include "generator/buffer_length.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zeltrak {

uint32_t TruncSamples(double samples) {
    if (!(samples > 0.0)) return 0;
    constexpr double kMax = std::numeric_limits<uint32_t>::max();
    return samples >= kMax ? std::numeric_limits<uint32_t>::max() : static_cast<uint32_t>(samples);
}

uint64_t DtmfPeriod(const DtmfSetup& dtmf, uint32_t rate) {
    // 64-bit: a long key string with long pulses would overflow 32 bits at high rates.
    const int64_t perKey = static_cast<int64_t>(dtmf.pulseMs) + dtmf.spacingMs;
    if (perKey <= 0) return 0;
    return static_cast<uint64_t>(rate) * dtmf.keys.size() * static_cast<uint64_t>(perKey) / 1000;
}

namespace {

double Msec(int32_t ms, uint32_t rate) { return ms * static_cast<double>(rate) * 0.001; }
double PerHz(double hz, uint32_t rate) { return hz > 0.0 ? rate / hz : 0.0; }

bool IsUnrounded(SignalType type) {
    return type == SignalType::WhiteNoise || type == SignalType::PinkNoise || type == SignalType::UserDefined;
}

}  // namespace

uint64_t PeriodLength(const SignalSetup& s, const LengthInputs& in) {
    const uint32_t r = in.rate;
    switch (s.type) {
        case SignalType::WhiteNoise: return in.whiteUsable & ~1u;
        case SignalType::PinkNoise: return in.pinkUsable;
        case SignalType::NoiseBurst: return TruncSamples(Msec(s.noiseBurst.cycleMs, r));
        case SignalType::Tone1kHz:
        case SignalType::MultipleTones: return 10ull * r;
        case SignalType::ToneBurst: return TruncSamples(Msec(s.toneBurst.cycleMs, r));
        case SignalType::FrequencySweep: return TruncSamples(Msec(s.frequencySweep.timeMs, r));
        case SignalType::LevelSweep: return TruncSamples(Msec(s.levelSweep.timeMs, r));
        case SignalType::Sawtooth: return TruncSamples(PerHz(s.sawtooth.frequencyHz, r));
        case SignalType::Triangular: return TruncSamples(PerHz(s.triangular.frequencyHz, r));
        case SignalType::Square: return TruncSamples(PerHz(s.square.frequencyHz, r));
        case SignalType::Pulse: return TruncSamples(s.pulse.intervalUs * static_cast<double>(r) * 0.000001);
        case SignalType::Imd:
        case SignalType::DigitalZero: return r;
        case SignalType::UserDefined: return in.userWave.opened ? in.userWave.frames : 0;
        case SignalType::Dtmf: return DtmfPeriod(s.dtmf, r);
    }
    return r;  // a type code read from a damaged settings file
}

uint32_t ChannelLength(const SignalSetup& setup, const LengthInputs& in) {
    const uint64_t p = PeriodLength(setup, in);
    const uint64_t r = in.rate;
    uint64_t length = p;
    if (!IsUnrounded(setup.type)) {
        if (p < 1) length = r;
        else if (p < r) length = (r / p + 1) * p;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(length, std::numeric_limits<uint32_t>::max()));
}

uint32_t BufferLength(const SignalSetup& left, const LengthInputs& leftIn, const SignalSetup& right,
                      const LengthInputs& rightIn, bool stereo) {
    const uint32_t l0 = ChannelLength(left, leftIn);
    if (!stereo) return l0;
    return std::max(l0, ChannelLength(right, rightIn));
}

SampleFormat GeneratorOutputFormat(uint32_t generatorRateKey, const AnalyserOutput& analyser,
                                   const SignalSetup& left, const UserWaveInfo& leftWave,
                                   const SignalSetup& right, const UserWaveInfo& rightWave) {
    uint32_t rate = generatorRateKey == 0 ? analyser.rate : generatorRateKey;
    const uint16_t channels = analyser.channels >= 2 ? 2 : 1;
    uint16_t width = analyser.bytesPerSample;
    if (width == 3 && analyser.force16Bit) width = 2;

    const bool leftUser = left.type == SignalType::UserDefined && leftWave.opened;
    const bool rightUser = channels == 2 && right.type == SignalType::UserDefined && rightWave.opened;
    if (leftUser && rightUser) {
        rate = std::max(leftWave.format.rate, rightWave.format.rate);
        width = std::max(leftWave.format.bytesPerSample, rightWave.format.bytesPerSample);
    } else if (leftUser || rightUser) {
        const SampleFormat& f = leftUser ? leftWave.format : rightWave.format;
        rate = f.rate;
        width = f.bytesPerSample;
    }
    return SampleFormat::Make(rate, channels, width);
}

}  // namespace zeltrak
