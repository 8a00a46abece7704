#pragma once
// Recordings of the reverberation stimulus in a made-up room: the stimulus convolved with
// exponentially decaying noise whose decay time may change with frequency.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "dsp/fft.h"
#include "files/wave_data.h"
#include "generator/noise_recordings.h"

namespace zeltrak::reverb_test {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kConvolutionSize = 1u << 20;
constexpr uint32_t kImpulseSize = 1u << 17;

// Silence, 0.1 s of 1 kHz at a quarter of full scale from `toneAt`, 0.5 s of silence, then
// the pink recording (every second sample) for the noise length, then silence: `seconds` long.
inline std::vector<float> Stimulus(double toneAt, double noiseSeconds, double seconds, uint32_t rate) {
    std::vector<float> x(static_cast<size_t>(seconds * rate), 0.0f);
    const size_t tone = static_cast<size_t>(toneAt * rate);
    for (size_t k = 0; k <= static_cast<size_t>(0.1 * rate) && tone + k < x.size(); ++k)
        x[tone + k] = static_cast<float>(0.25 * 32767 * std::sin(2 * kPi * 1000.0 * k / rate));
    const auto pink = NoiseRecordingSamples(NoiseRecording::Pink);
    const size_t noise = tone + static_cast<size_t>(0.1 * rate) + 1 + static_cast<size_t>(0.5 * rate);
    for (size_t k = 0; k < static_cast<size_t>(noiseSeconds * rate) && noise + k < x.size(); ++k)
        x[noise + k] = static_cast<float>(pink[(2 * k) % pink.size()]);
    return x;
}

// Decaying noise: the sum over third-octave components (centres 10^(i/10) Hz, i = 14 ... 43,
// cos^2 crossovers that add up to one) of filtered white noise times exp(-6.9078 t / rt(centre)),
// so that each component's power falls by 60 dB in its rt. Packed real spectrum of size 2^20.
// A room with the same rt at 100 Hz and 10 kHz is flat: one component over every frequency.
inline std::vector<float> ImpulseSpectrum(const std::function<double(double)>& rt, uint32_t rate, unsigned seed = 7) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> normal;
    std::vector<float> white(kImpulseSize);
    for (float& v : white) v = normal(rng);
    RealFFT(white.data(), kImpulseSize, 1);
    std::vector<float> h(kConvolutionSize, 0.0f);
    std::vector<float> part(kImpulseSize);
    const bool flat = rt(100.0) == rt(10000.0);
    for (int i = flat ? 30 : 14; i <= (flat ? 30 : 43); ++i) {
        for (uint32_t k = 1; k < kImpulseSize / 2; ++k) {
            const double x = 10.0 * std::log10(double(k) * rate / kImpulseSize);
            const double d = flat ? 0.0 : std::clamp(x, 14.0, 43.0) - i;
            const double w = std::fabs(d) < 1.0 ? std::pow(std::cos(kPi / 2 * d), 2) : 0.0;
            part[2 * k] = static_cast<float>(white[2 * k] * w);
            part[2 * k + 1] = static_cast<float>(white[2 * k + 1] * w);
        }
        part[0] = part[1] = 0.0f;
        RealFFT(part.data(), kImpulseSize, -1);
        const double decay = 6.9077553 / (rt(std::pow(10.0, i / 10.0)) * rate);
        for (uint32_t n = 0; n < kImpulseSize; ++n) h[n] += static_cast<float>(part[n] * std::exp(-decay * n));
    }
    RealFFT(h.data(), kConvolutionSize, 1);
    return h;
}

// The stimulus played in the room, peaking at `peak` of full scale, as 16-bit samples on every
// channel.
inline std::unique_ptr<TWaveData> Recording(const std::vector<float>& stimulus, const std::vector<float>& room,
                                            uint32_t rate, uint16_t channels, double peak) {
    std::vector<float> y(kConvolutionSize, 0.0f);
    std::copy(stimulus.begin(), stimulus.end(), y.begin());
    RealFFT(y.data(), kConvolutionSize, 1);
    y[0] *= room[0];
    y[1] *= room[1];
    for (uint32_t k = 1; k < kConvolutionSize / 2; ++k) {
        const float re = y[2 * k] * room[2 * k] - y[2 * k + 1] * room[2 * k + 1];
        y[2 * k + 1] = y[2 * k] * room[2 * k + 1] + y[2 * k + 1] * room[2 * k];
        y[2 * k] = re;
    }
    RealFFT(y.data(), kConvolutionSize, -1);
    const auto n = static_cast<uint32_t>(stimulus.size());
    float largest = 0.0f;
    for (uint32_t i = 0; i < n; ++i) largest = std::max(largest, std::fabs(y[i]));
    auto wave = std::make_unique<TWaveData>(n, SampleFormat::Make(rate, channels, 2));
    const double scale = peak * 32767.0 / largest;
    for (uint32_t i = 0; i < n; ++i) {
        const double v = std::clamp(std::round(y[i] * scale), -32767.0, 32767.0);  // a loud room clips
        for (uint16_t c = 0; c < channels; ++c) wave->PutSample(v, i, c);
    }
    return wave;
}

}  // namespace zeltrak::reverb_test
