#pragma once
// Spectrums for the measurement tests: closed-form signals through the real analysis path, and made ones.
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "base/sample_format.h"
#include "dsp/channel_processing.h"
#include "dsp/smoothing.h"
#include "dsp/spectral_data.h"

namespace zeltrak::measure_test {

inline constexpr double kPi = 3.14159265358979323846;

// 48000 Hz, one channel; ampScale 1 shows dB, freqScale 2 bands (the stored codes), weighting 1 the A curve.
struct Analyser {
    SpectralSettings settings;
    SpectralScaling scaling;
    std::unique_ptr<TSpectralData> spectrum;
    TSmoothing window;
    double time = 0.0;  // seconds of signal consumed

    Analyser(uint32_t fftSize, WindowType windowType, uint32_t blocks = 1, uint32_t ampScale = 1,
             uint32_t freqScale = 0, uint32_t weighting = 0, uint32_t density = 0)
        : window(fftSize, windowType, FrequencyScaleFromCode(freqScale) == FrequencyScale::OctaveBands ? WindowCorrection::Energy : WindowCorrection::Amplitude) {
        settings.format = SampleFormat::Make(48000, 1, 2);
        settings.fftSize = fftSize;
        settings.averageBlocks = blocks;
        settings.smoothingWindow = windowType;
        settings.windowCorrection = window.GetCorrectionMode();
        scaling.amplitudeScale = AmplitudeScaleFromCode(ampScale);
        scaling.frequencyScale = FrequencyScaleFromCode(freqScale);
        scaling.standardWeighting = weighting;
        scaling.spectralDensity = density != 0;
        scaling.densityUnits = DensityUnits::PerRootHertz;
        spectrum = std::make_unique<TSpectralData>(settings, scaling, 0);
    }

    // Frames of x(t) (seconds, fractions of full scale) quantised to 16 bits, windowed, transformed, averaged.
    void Frame(const std::function<double(double)>& x, int count = 1) {
        for (int f = 0; f < count; ++f) {
            float* t = spectrum->TimeSamples();
            for (uint32_t i = 0; i < settings.fftSize; ++i)
                t[i] = static_cast<float>(std::clamp(std::round(x(time + i / 48000.0) * 32767), -32768.0, 32767.0));
            time += settings.fftSize / 48000.0;
            ChannelProcessingSetup setup;
            setup.mode = ChannelProcessingMode::Left;
            setup.window = window.GetType() == WindowType::Uniform ? nullptr : window.Coefficients();
            setup.windowSize = settings.fftSize;
            ProcessChannels(setup, {spectrum.get(), nullptr, nullptr, nullptr});
        }
    }
};

// An averaged 44100 Hz spectrum whose bin powers are exactly `power` (written straight into the transform).
inline std::unique_ptr<TSpectralData> MadeSpectrum(const std::vector<double>& power) {
    SpectralSettings s;
    s.format = SampleFormat::Make(44100, 1, 2);
    s.fftSize = static_cast<uint32_t>(power.size() * 2);
    s.smoothingWindow = WindowType::Uniform;
    SpectralScaling sc;
    sc.frequencyScale = FrequencyScale::Linear;  // dB on a linear axis
    auto spectrum = std::make_unique<TSpectralData>(s, sc, 0);
    for (size_t k = 0; k < power.size(); ++k) {
        spectrum->TimeSamples()[2 * k] = static_cast<float>(std::sqrt(power[k]));
        spectrum->TimeSamples()[2 * k + 1] = 0.0f;
    }
    spectrum->Average();
    return spectrum;
}

// The same, zero but for the given bins.
inline std::unique_ptr<TSpectralData> MadeSpectrum(size_t bins, std::initializer_list<std::pair<size_t, double>> on) {
    std::vector<double> p(bins, 0.0);
    for (auto [bin, power] : on) p[bin] = power;
    return MadeSpectrum(p);
}

inline std::function<double(double)> Sine(double hz, double amplitude) {
    return [=](double t) { return amplitude * std::sin(2.0 * kPi * hz * t); };
}

}  // namespace zeltrak::measure_test
