// Cost of recomputing the readouts after each averaged spectrum, beside the cost of producing
// that spectrum (transform and average): the readouts must stay a small part of a frame.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <cmath>
#include <random>

#include "dsp/spectral_data.h"
#include "measure/measurements.h"

namespace zeltrak {
namespace {

TSpectralData* Spectrum(uint32_t fftSize) {
    SpectralSettings s;
    s.format = SampleFormat::Make(48000, 1, 2);
    s.fftSize = fftSize;
    s.smoothingWindow = WindowType::Hanning;
    SpectralScaling scaling;
    scaling.amplitudeScale = AmplitudeScale::Decibels;
    scaling.frequencyScale = FrequencyScale::Linear;
    auto* spectrum = new TSpectralData(s, scaling, 0);
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 3.0f);
    float* t = spectrum->TimeSamples();
    for (uint32_t i = 0; i < fftSize; ++i)
        t[i] = 16000.0f * std::sin(2.0f * 3.14159265f * 1000.0f * i / 48000.0f) + noise(rng);
    spectrum->Transform();
    spectrum->Average();
    return spectrum;
}

void BM_TransformAndAverage(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    std::unique_ptr<TSpectralData> s(Spectrum(n));
    for (auto _ : state) {
        s->Transform();
        s->Average();
        benchmark::DoNotOptimize(s->AveragePower());
    }
}
BENCHMARK(BM_TransformAndAverage)->Arg(4096)->Arg(16384)->Arg(65536);

// All ten readouts (both channels' worth of one spectrum).
void BM_AllReadouts(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    std::unique_ptr<TSpectralData> s(Spectrum(n));
    TMeasurementReadouts readouts;
    for (auto _ : state) {
        readouts.Update({s.get(), nullptr, nullptr, nullptr}, ChannelProcessingMode::Left, false);
        benchmark::DoNotOptimize(readouts.Get(kMeasureTHD).leftValue);
    }
}
BENCHMARK(BM_AllReadouts)->Arg(4096)->Arg(16384)->Arg(65536);

void BM_SingleReadout(benchmark::State& state) {
    std::unique_ptr<TSpectralData> s(Spectrum(static_cast<uint32_t>(state.range(1))));
    const auto code = static_cast<MeasurementCode>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(Measure(code, *s));
}
BENCHMARK(BM_SingleReadout)->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {16384, 65536}});

}  // namespace
}  // namespace zeltrak

ZELTRAK_ALTERNATING_BENCHMARK_MAIN()
