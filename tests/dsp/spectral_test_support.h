#pragma once
// Shared helpers of the spectral tests: building objects, feeding frames, std::complex references.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "base/sample_format.h"
#include "dsp/channel_processing.h"
#include "dsp/spectral_data.h"

namespace zeltrak::spectral_test {

using cd = std::complex<double>;
inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kFullScale16 = 32767.0;  // halfRange of the 16-bit format

inline SpectralSettings Settings(uint32_t fftSize, uint32_t blocks = 1, AveragingType type = AveragingType::Exponential,
                                 bool peakHold = false) {
    SpectralSettings s;
    s.format = SampleFormat::Make(48000, 2, 2);
    s.fftSize = fftSize;
    s.averageBlocks = blocks;
    s.averageType = type;
    s.peakHold = peakHold;
    return s;
}

inline SpectralScaling Scaling(uint32_t ampScale = 1, uint32_t freqScale = 0) {
    SpectralScaling s;
    s.amplitudeScale = AmplitudeScaleFromCode(ampScale);
    s.frequencyScale = FrequencyScaleFromCode(freqScale);
    return s;
}

inline std::vector<float> Noise(uint32_t n, std::mt19937& rng, double amplitude = 10000.0) {
    std::normal_distribution<double> dist(0.0, amplitude);
    std::vector<float> x(n);
    for (float& v : x) v = static_cast<float>(dist(rng));
    return x;
}

// A cosine of peak amplitude a on bin k with phase phi (radians).
inline std::vector<float> Tone(uint32_t n, uint32_t k, double a, double phi = 0.0) {
    std::vector<float> x(n);
    for (uint32_t i = 0; i < n; ++i) x[i] = static_cast<float>(a * std::cos(2.0 * kPi * k * i / n + phi));
    return x;
}

inline void Load(TSpectralData& s, const std::vector<float>& frame) {
    for (uint32_t i = 0; i < frame.size(); ++i) s.SetInput(i, frame[i]);
}

// Transforms the frame and returns the complex spectrum the object then holds.
inline std::vector<cd> Feed(TSpectralData& s, const std::vector<float>& frame) {
    Load(s, frame);
    s.Transform();
    std::vector<cd> c(s.Bins());
    for (uint32_t k = 0; k < s.Bins(); ++k) c[k] = cd(s.Current()[2 * k], s.Current()[2 * k + 1]);
    return c;
}

inline cd AveragedBin(const TSpectralData& s, uint32_t k) {
    return cd(s.AverageComplex()[2 * k], s.AverageComplex()[2 * k + 1]);
}

// The engine's four spectrums (left, right, two results) for one channel mode and averaging.
struct Analyser {
    Analyser(ChannelProcessingMode mode, uint32_t n, uint32_t blocks, AveragingType type,
             SpectralScaling scaling = Scaling())
        : setup{mode, true, type, blocks, nullptr, 0} {
        const SpectralSettings s = Settings(n, blocks, type);
        int c = 0;
        for (auto* p : {&L, &R, &S1, &S2}) *p = std::make_unique<TSpectralData>(s, scaling, c < 2 ? c++ : -1);
    }
    bool Frame(const std::vector<float>& left, const std::vector<float>& right) {
        Load(*L, left);
        Load(*R, right);
        return ProcessChannels(setup, {L.get(), R.get(), S1.get(), S2.get()});
    }
    ChannelProcessingSetup setup;
    std::unique_ptr<TSpectralData> L, R, S1, S2;
};

// Relative difference with a floor, for values that may be near zero.
inline double RelDiff(double got, double want, double floor = 1e-12) {
    return std::abs(got - want) / std::max(std::abs(want), floor);
}

}  // namespace zeltrak::spectral_test
