#pragma once
// Spectrums for the measurement and logging tests: closed-form signals run through the real
// analysis path (window, real FFT, scaling, averaging), and hand-made averaged powers.
#include <cmath>
#include <cstdint>
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
inline constexpr double kFullScale = 32767.0;  // halfRange of 16-bit samples

struct Analyser {
    SpectralSettings settings;
    SpectralScaling scaling;
    std::unique_ptr<TSpectralData> spectrum;
    TSmoothing window;
    double time = 0.0;  // seconds of signal consumed

    Analyser(uint32_t rate, uint32_t fftSize, uint16_t windowType, uint32_t blocks = 1, uint32_t ampScale = 1,
             uint32_t freqScale = 0, uint32_t weighting = 0)
        : window(fftSize, windowType, freqScale == 2 ? kCorrectionEnergy : kCorrectionAmplitude) {
        settings.format = SampleFormat::Make(rate, 1, 2);
        settings.fftSize = fftSize;
        settings.averageBlocks = blocks;
        settings.smoothingWindow = windowType;
        settings.windowCorrection = window.GetCorrectionMode();
        scaling.ampScaleType = ampScale;
        scaling.freqScaleType = freqScale;
        scaling.standardWeighting = weighting;
        spectrum = std::make_unique<TSpectralData>(settings, scaling, 0);
    }

    double Rate() const { return settings.format.rate; }

    // One frame of x(t) (t in seconds, value in fractions of full scale), quantised to 16 bits
    // as a sound card would deliver it, windowed, transformed and averaged.
    void Frame(const std::function<double(double)>& x) {
        float* t = spectrum->TimeSamples();
        for (uint32_t i = 0; i < settings.fftSize; ++i) {
            const double v = std::clamp(std::round(x(time + i / Rate()) * kFullScale), -32768.0, 32767.0);
            t[i] = static_cast<float>(v);
        }
        time += settings.fftSize / Rate();
        ChannelProcessingSetup setup;
        setup.mode = kProcessLeft;
        setup.window = window.GetType() == kWindowUniform ? nullptr : window.Coefficients();
        setup.windowSize = settings.fftSize;
        ProcessChannels(setup, {spectrum.get(), nullptr, nullptr, nullptr});
    }
    void Frames(int count, const std::function<double(double)>& x) {
        for (int i = 0; i < count; ++i) Frame(x);
    }
};

// An averaged spectrum whose bin powers are exactly `power` (the frame is written straight
// into the transformed spectrum and averaged once).
inline std::unique_ptr<TSpectralData> MadeSpectrum(const std::vector<double>& power, uint32_t rate = 44100,
                                                   uint32_t ampScale = 1, uint16_t windowType = kWindowUniform) {
    SpectralSettings s;
    s.format = SampleFormat::Make(rate, 1, 2);
    s.fftSize = static_cast<uint32_t>(power.size() * 2);
    s.smoothingWindow = windowType;
    SpectralScaling sc;
    sc.ampScaleType = ampScale;
    sc.freqScaleType = 0;
    auto spectrum = std::make_unique<TSpectralData>(s, sc, 0);
    float* c = spectrum->TimeSamples();
    for (size_t k = 0; k < power.size(); ++k) {
        c[2 * k] = static_cast<float>(std::sqrt(power[k]));
        c[2 * k + 1] = 0.0f;
    }
    spectrum->Average();
    return spectrum;
}

inline std::function<double(double)> Sine(double hz, double amplitude, double phase = 0.0) {
    return [=](double t) { return amplitude * std::sin(2.0 * kPi * hz * t + phase); };
}

}  // namespace zeltrak::measure_test
