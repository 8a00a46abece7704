#include "generator/signal_synthesis.h"

#include "generator/generator_strings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/dtmf_table.h"
#include "generator/signal_synthesis_internal.h"

namespace zeltrak {

using namespace synthesis;

void SeededDither::Fill(std::span<int32_t> out) {
    for (int32_t& r : out) {
        state_ = state_ * 1103515245u + 12345u;
        r = static_cast<int32_t>((state_ >> 16) & 0x7fff);
    }
}

namespace synthesis {

ChannelWriter::ChannelWriter(TWaveData& buffer, int channel) : format_(buffer.Format()), length_(buffer.Length()) {
    if (buffer.Buffer() == nullptr) return;
    stride_ = format_.BlockAlign();
    base_ = buffer.Buffer() + static_cast<size_t>(channel) * format_.bytesPerSample;
}

namespace {

template <unsigned Bytes>
void PutValues(uint8_t* p, uint32_t stride, const double* v, uint32_t count, double lo, double hi) {
    for (uint32_t k = 0; k < count; ++k, p += stride) {
        // Clamped as doubles: a value past the int64 range cannot reach the cast.
        const auto x = static_cast<uint32_t>(static_cast<int64_t>(std::clamp(v[k], lo, hi)));
        p[0] = static_cast<uint8_t>(x);
        if constexpr (Bytes > 1) p[1] = static_cast<uint8_t>(x >> 8);
        if constexpr (Bytes > 2) p[2] = static_cast<uint8_t>(x >> 16);
        if constexpr (Bytes > 3) p[3] = static_cast<uint8_t>(x >> 24);
    }
}

}  // namespace

void ChannelWriter::PutBlock(uint32_t first, const double* v, uint32_t count) const {
    // trunc(clamp(x)) equals clamp(trunc(x)) for whole-number bounds, so the bounds are
    // widened by just under one to keep values such as max + 0.5 at max.
    const double lo = format_.minValue - 0.999999, hi = format_.maxValue + 0.999999;
    uint8_t* p = base_ + static_cast<size_t>(first) * stride_;
    switch (format_.bytesPerSample) {
        case 1: return PutValues<1>(p, stride_, v, count, lo, hi);
        case 2: return PutValues<2>(p, stride_, v, count, lo, hi);
        case 3: return PutValues<3>(p, stride_, v, count, lo, hi);
        default: return PutValues<4>(p, stride_, v, count, lo, hi);
    }
}

void ChannelWriter::FillZero() const {
    for (uint32_t i = 0; i < length_; ++i) Put(i, format_.zeroOffset);
}

void SineOutput(const ChannelWriter& out, double g, uint32_t first, const double* s, uint32_t count,
                DitherSource& dither) {
    std::array<int32_t, 2 * kBlock> r;
    dither.Fill(std::span(r.data(), 2 * count));
    const SampleFormat& f = out.Format();
    const double zero = f.zeroOffset;
    const double scale = 0.99 * g * (static_cast<double>(f.maxValue) - f.zeroOffset);
    // Two passes: the arithmetic vectorises, the stores do not.
    std::array<double, kBlock> v;
    for (uint32_t k = 0; k < count; ++k) {
        const double d = (r[2 * k] / 32767.0 - 0.5) + (r[2 * k + 1] / 32767.0 - 0.5);
        v[k] = zero + scale * s[k] + d + 0.5;
    }
    out.PutBlock(first, v.data(), count);
}

void AddSines(std::span<const Tone> tones, uint32_t rate, uint64_t time, double* out, uint32_t count) {
    constexpr size_t kMaxTones = 16;
    std::array<double, kMaxTones> re{}, im{}, stepRe{}, stepIm{}, amp{};
    const size_t n = std::min(tones.size(), kMaxTones);
    for (size_t t = 0; t < n; ++t) {
        const double start = kTwoPi * tones[t].hz * static_cast<double>(time) / rate;
        const double step = kTwoPi * tones[t].hz / rate;
        re[t] = std::cos(start);
        im[t] = std::sin(start);
        stepRe[t] = std::cos(step);
        stepIm[t] = std::sin(step);
        amp[t] = tones[t].amplitude;
    }
    for (uint32_t k = 0; k < count; ++k) {
        double sum = 0.0;
        for (size_t t = 0; t < n; ++t) {
            sum += amp[t] * im[t];
            const double r = re[t] * stepRe[t] - im[t] * stepIm[t];
            im[t] = re[t] * stepIm[t] + im[t] * stepRe[t];
            re[t] = r;
        }
        out[k] += sum;
    }
}

}  // namespace synthesis

namespace {

// Writes value(i) for every sample, with the progress reports of the sine types.
template <class Value>
void PutEach(const ChannelWriter& out, const SynthesisProgress& progress, Value&& value) {
    ForBlocks(out.Length(), progress, [&](uint32_t first, uint32_t count) {
        for (uint32_t i = first; i < first + count; ++i) out.Put(i, value(i));
    });
}

// Samples of a constant set of tones, s = (sum of tones) / divisor, time index from 1.
void ToneOutput(const ChannelWriter& out, std::span<const Tone> tones, double divisor, double g,
                DitherSource& dither, const SynthesisProgress& progress) {
    const uint32_t rate = out.Format().rate;
    std::array<double, kBlock> s;
    ForBlocks(out.Length(), progress, [&](uint32_t first, uint32_t count) {
        std::fill_n(s.begin(), count, 0.0);
        AddSines(tones, rate, first + 1ull, s.data(), count);
        for (uint32_t k = 0; k < count; ++k) s[k] /= divisor;
        SineOutput(out, g, first, s.data(), count, dither);
    });
}

void SynthesizeMultipleTones(const ChannelWriter& out, const TonesSetup& setup, double g, DitherSource& dither,
                             const SynthesisProgress& progress) {
    std::vector<Tone> tones;
    int enabled = 0;
    for (const ToneSlot& slot : setup.slots) {
        if (slot.enabled != 0) ++enabled;
        if (slot.enabled == 1) tones.push_back({slot.frequencyHz, slot.amplitude});
    }
    // No tone at all still plays the dither around the zero value, as every silent sine type does.
    ToneOutput(out, tones, std::max(enabled, 1), g, dither, progress);
}

void SynthesizeImd(const ChannelWriter& out, const ImdSetup& imd, double g, DitherSource& dither,
                   const SynthesisProgress& progress) {
    std::array<Tone, 2> tones{Tone{250.0, 1.0}, Tone{8020.0, 0.25}};
    if (imd.standard == 1) tones = {Tone{60.0, 1.0}, Tone{7000.0, 0.25}};
    else if (imd.standard != 0)
        tones = {Tone{imd.lowHz, 1.0}, Tone{imd.highHz, imd.powerRatio > 0.0f ? 1.0 / imd.powerRatio : 0.25}};
    ToneOutput(out, tones, 2.0, g, dither, progress);
}

// Whole samples of `ms` milliseconds, at least one so that a cycle always wraps.
uint32_t MsecSamples(int32_t ms, uint32_t rate) { return TruncSamples(ms * static_cast<double>(rate) * 0.001); }

void SynthesizeToneBurst(const ChannelWriter& out, const ToneBurstSetup& burst, double g, DitherSource& dither,
                         const SynthesisProgress& progress) {
    ToneOutput(out, std::array{Tone{static_cast<double>(burst.frequencyHz), 1.0}}, 1.0, g, dither, progress);
    const uint32_t cycle = std::max(MsecSamples(burst.cycleMs, out.Format().rate), 1u);
    const uint32_t on = MsecSamples(burst.burstMs, out.Format().rate);
    const uint32_t silence = on >= cycle ? 0 : cycle - on;
    for (uint32_t i = 0; i < out.Length(); ++i)
        if (i % cycle < silence) out.Put(i, out.Format().zeroOffset);
}

Tone DtmfTone(double hz, double amplitude) { return {hz, amplitude}; }

// The row and column frequencies of a key; 0 Hz for a character not on the keypad.
std::array<double, 2> DtmfKeyHz(char key) {
    if (key >= 'a' && key <= 'd') key = static_cast<char>(key - 'a' + 'A');
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            if (kDtmfKeys[row][col] == key) return {kDtmfRowHz[row], kDtmfColumnHz[col]};
    return {0.0, 0.0};
}

void SynthesizeDtmf(const ChannelWriter& out, const DtmfSetup& dtmf, double g, DitherSource& dither,
                    const SynthesisProgress& progress) {
    const uint64_t rate = out.Format().rate;
    const uint64_t pulse = dtmf.pulseMs > 0 ? rate * static_cast<uint64_t>(dtmf.pulseMs) / 1000 : 0;
    const uint64_t spacing = dtmf.spacingMs > 0 ? rate * static_cast<uint64_t>(dtmf.spacingMs) / 1000 : 0;
    const uint64_t perKey = pulse + spacing;
    const uint64_t period = DtmfPeriod(dtmf, out.Format().rate);
    const size_t keys = dtmf.keys.size();
    const double t = dtmf.twistDb;
    const double low = t >= 0.0 ? std::pow(10.0, -0.05 * t) : 1.0;
    const double high = t < 0.0 ? std::pow(10.0, -0.05 * -t) : 1.0;
    std::array<double, kBlock> s;
    ForBlocks(out.Length(), progress, [&](uint32_t first, uint32_t count) {
        std::fill_n(s.begin(), count, 0.0);
        for (uint32_t k = 0; k < count && period > 0 && perKey > 0;) {
            // A run of samples with one key and one on/off state, up to the block's end.
            const uint64_t i = first + k;
            const uint64_t m = i % period;
            const uint64_t e = i % perKey;  // 0-based: the tone sounds while e < pulse
            const uint64_t keyEnd = perKey - m % perKey;
            const uint64_t stateEnd = e < pulse ? pulse - e : perKey - e;
            const uint32_t run = static_cast<uint32_t>(std::min<uint64_t>({count - k, keyEnd, stateEnd, period - m}));
            if (e < pulse) {
                const uint64_t key = m / perKey < keys ? m / perKey : 0;
                const auto hz = DtmfKeyHz(dtmf.keys[key]);
                const std::array tones{DtmfTone(hz[0], low), DtmfTone(hz[1], high)};
                AddSines(tones, out.Format().rate, m + 1, s.data() + k, run);
                for (uint32_t q = k; q < k + run; ++q) s[q] *= 0.5;
            }
            k += run;
        }
        SineOutput(out, g, first, s.data(), count, dither);
    });
}

void SynthesizeNoise(const ChannelWriter& out, std::span<const int16_t> noise, double g,
                     const SynthesisProgress& progress) {
    const size_t wrap = noise.size() & ~size_t{1};
    if (wrap == 0) return out.FillZero();
    const SampleFormat& f = out.Format();
    // Around the zero value: the same as plain scaling for the signed widths, and no
    // wrap-around of negative values for 8-bit.
    const double scale = g * (static_cast<double>(f.maxValue) - f.zeroOffset) * 3.0517578125e-05;
    PutEach(out, progress, [&](uint32_t i) { return f.zeroOffset + static_cast<int64_t>(noise[i % wrap] * scale); });
}

void SynthesizeNoiseBurst(const ChannelWriter& out, const NoiseBurstSetup& burst, std::span<const int16_t> noise,
                          double g, const SynthesisProgress& progress) {
    const size_t wrap = noise.size() & ~size_t{1};
    const SampleFormat& f = out.Format();
    const uint32_t cycle = std::max(MsecSamples(burst.cycleMs, f.rate), 1u);
    const uint32_t on = MsecSamples(burst.burstMs, f.rate);
    const uint32_t silence = on >= cycle ? 0 : cycle - on;
    const double span = g * (static_cast<double>(f.maxValue) - f.zeroOffset);
    PutEach(out, progress, [&](uint32_t i) -> int64_t {
        if (wrap == 0 || i % cycle < silence) return f.zeroOffset;
        return f.zeroOffset + static_cast<int64_t>(noise[i % wrap] * span) / 32768;
    });
}

// Whole samples per period of a waveform of `hz`; at least 2 so that both halves exist.
uint32_t WavePeriod(double hz, uint32_t rate) { return std::max(TruncSamples(hz > 0.0 ? rate / hz : 0.0), 2u); }

void SynthesizeSawtooth(const ChannelWriter& out, const SawtoothSetup& saw, double g,
                        const SynthesisProgress& progress) {
    const SampleFormat& f = out.Format();
    const uint32_t period = WavePeriod(saw.frequencyHz, f.rate);
    const double range = static_cast<double>(f.maxValue) - f.minValue;
    PutEach(out, progress, [&](uint32_t i) {
        const double step = (i % period) * range / period;
        return static_cast<int64_t>(std::trunc(saw.slope < 0 ? f.maxValue - step : f.minValue + step) * g);
    });
}

void SynthesizeTriangular(const ChannelWriter& out, const TriangularSetup& tri, double g,
                          const SynthesisProgress& progress) {
    const SampleFormat& f = out.Format();
    const uint32_t half = WavePeriod(tri.frequencyHz, f.rate) / 2;
    const uint32_t period = WavePeriod(tri.frequencyHz, f.rate);
    const double range = static_cast<double>(f.maxValue) - f.minValue;
    PutEach(out, progress, [&](uint32_t i) {
        const uint32_t j = i % period;
        const double v = std::trunc(j < half ? f.minValue + j * range / half : f.maxValue - (j - half) * range / half);
        return static_cast<int64_t>(v * g);
    });
}

void SynthesizeSquare(const ChannelWriter& out, const SquareSetup& square, double g,
                      const SynthesisProgress& progress) {
    const SampleFormat& f = out.Format();
    const uint32_t period = WavePeriod(square.frequencyHz, f.rate);
    const auto high = static_cast<int64_t>(std::trunc(0.99 * f.maxValue) * g);
    const auto low = static_cast<int64_t>(std::trunc(0.99 * f.minValue) * g);
    const uint32_t duty = TruncSamples(period * square.dutyPercent * 0.01);
    PutEach(out, progress, [&](uint32_t i) { return i % period < duty ? high : low; });
}

void SynthesizePulse(const ChannelWriter& out, const PulseSetup& pulse, double g, const SynthesisProgress& progress) {
    const SampleFormat& f = out.Format();
    const uint32_t interval = std::max(TruncSamples(pulse.intervalUs * static_cast<double>(f.rate) * 0.000001), 1u);
    const uint32_t width = TruncSamples(pulse.widthUs * static_cast<double>(f.rate) * 0.000001);
    // Around the zero value: the plain g x 0.99 x max for the signed widths, and an 8-bit pulse
    // at a low level still rises above its resting value.
    const auto high = f.zeroOffset + static_cast<int64_t>(g * 0.99 * (static_cast<double>(f.maxValue) - f.zeroOffset));
    PutEach(out, progress, [&](uint32_t i) { return i % interval < width ? high : int64_t{f.zeroOffset}; });
}

// The file's samples of one channel as whole values in its own scale.
std::vector<int32_t> ChannelSamples(TWaveData& wave, int channel) {
    const unsigned bytes = wave.Format().bytesPerSample;
    std::vector<uint8_t> packed(static_cast<size_t>(wave.Length()) * bytes);
    std::vector<int32_t> values;
    if (!wave.ReadChannel(packed.data(), 0, wave.Length(), static_cast<uint32_t>(channel))) return values;
    values.resize(wave.Length());
    for (size_t j = 0; j < values.size(); ++j) values[j] = DecodeSample(packed.data() + j * bytes, bytes);
    return values;
}

void SynthesizeUserDefined(const ChannelWriter& out, TWaveData& wave, int channel, double g,
                           const SynthesisProgress& progress) {
    const std::vector<int32_t> v = ChannelSamples(wave, channel);
    if (v.empty()) return out.FillZero();
    PutEach(out, progress, [&](uint32_t i) { return static_cast<int64_t>(v[i % v.size()] * g); });
}

std::string FileOpenFailure(const std::string& path) {
    char text[sizeof generator_text::kFileOpenFailure + kWavePathLimit + 8];
    std::snprintf(text, sizeof text, generator_text::kFileOpenFailure, path.c_str());
    return text;
}

SynthesisResult Dispatch(const ChannelWriter& out, const SignalSetup& setup, int channel, double g,
                         SynthesisSources& src, DitherSource& dither) {
    const SynthesisProgress& progress = src.progress;
    switch (setup.type) {
        case SignalType::WhiteNoise: SynthesizeNoise(out, src.whiteNoise, g, progress); break;
        case SignalType::PinkNoise: SynthesizeNoise(out, src.pinkNoise, g, progress); break;
        case SignalType::NoiseBurst:
            SynthesizeNoiseBurst(out, setup.noiseBurst, setup.noiseBurst.kind == 0 ? src.whiteNoise : src.pinkNoise, g,
                                 progress);
            break;
        case SignalType::Tone1kHz: ToneOutput(out, std::array{Tone{1000.0, 1.0}}, 1.0, g, dither, progress); break;
        case SignalType::MultipleTones: SynthesizeMultipleTones(out, setup.tones, g, dither, progress); break;
        case SignalType::ToneBurst: SynthesizeToneBurst(out, setup.toneBurst, g, dither, progress); break;
        case SignalType::FrequencySweep:
            SynthesizeFrequencySweep(out, setup.frequencySweep, g, dither, progress);
            break;
        case SignalType::LevelSweep: SynthesizeLevelSweep(out, setup.levelSweep, g, dither, progress); break;
        case SignalType::Sawtooth: SynthesizeSawtooth(out, setup.sawtooth, g, progress); break;
        case SignalType::Triangular: SynthesizeTriangular(out, setup.triangular, g, progress); break;
        case SignalType::Square: SynthesizeSquare(out, setup.square, g, progress); break;
        case SignalType::Pulse: SynthesizePulse(out, setup.pulse, g, progress); break;
        case SignalType::Imd: SynthesizeImd(out, setup.imd, g, dither, progress); break;
        case SignalType::Dtmf: SynthesizeDtmf(out, setup.dtmf, g, dither, progress); break;
        case SignalType::UserDefined:
            if (src.userWave == nullptr) {
                out.FillZero();
                return {false, FileOpenFailure(setup.userDefined.waveFile)};
            }
            SynthesizeUserDefined(out, *src.userWave, channel, g, progress);
            break;
        case SignalType::DigitalZero:
        default: out.FillZero(); break;
    }
    return {};
}

}  // namespace

SynthesisResult SynthesizeChannel(TWaveData& buffer, const SignalSetup& setup, int channel, double g,
                                  SynthesisSources& sources) {
    // A mono output has no channel 1: its setup is kept but not played.
    if (channel < 0 || channel >= buffer.Format().channels) return {};
    const ChannelWriter out(buffer, channel);
    if (!out.Usable()) return {false, {}};
    SeededDither own;
    DitherSource& dither = sources.dither ? *sources.dither : own;
    SynthesisResult result = Dispatch(out, setup, channel, g, sources, dither);
    if (sources.progress) sources.progress(100);
    buffer.SetModified(true);
    return result;
}

std::unique_ptr<TWaveFile> OpenUserWave(const std::string& path, std::string& message) {
    auto wave = std::make_unique<TWaveFile>(path, TWaveFile::kMemoryMode, false);
    if (!path.empty() && !wave->Error() && wave->Buffer() != nullptr) return wave;
    message = FileOpenFailure(path);
    return nullptr;
}

UserWaveInfo DescribeUserWave(const TWaveData* wave) {
    if (wave == nullptr) return {};
    return {true, wave->Format(), wave->Length()};
}

uint32_t SaveRepeatCount(SignalType type, uint32_t rate, uint32_t length) {
    const bool periodic = type == SignalType::Sawtooth || type == SignalType::Pulse || type == SignalType::Square ||
                          type == SignalType::Triangular;
    return periodic && length > 0 ? rate / length + 1 : 1;
}

SynthesisResult SaveSignalAsWave(const TWaveData& buffer, const std::string& path, uint32_t repeats) {
    return SaveSignalFrames(buffer, path, static_cast<uint64_t>(repeats) * buffer.Length());
}

SynthesisResult SaveSignalFrames(const TWaveData& buffer, const std::string& path, uint64_t frames) {
    if (buffer.Buffer() == nullptr || buffer.Length() == 0) return {false, {}};
    TWaveFile file(buffer.Format(), false);
    // A copy: WriteBytes takes a writable block (it zeroes one it could not take).
    std::vector<uint8_t> block(buffer.Buffer(), buffer.Buffer() + buffer.DataSize());
    bool ok = !file.Error();
    for (uint64_t left = frames; ok && left > 0;) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, buffer.Length()));
        ok = file.WriteBytes(block.data(), static_cast<uint32_t>(buffer.FramesToBytes(n)));
        left -= n;
    }
    if (ok) {
        file.SetName(path);
        ok = file.FinaliseAndClose();
    }
    if (ok) return {};
    std::string text;
    for (const WaveFileMessage& m : file.TakeMessages()) text += (text.empty() ? "" : "\n") + m.text;
    return {false, text};
}

}  // namespace zeltrak
