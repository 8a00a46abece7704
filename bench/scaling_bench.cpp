// Cost of the scaling work: fractional-octave band values per frame (one pass over the bins)
// beside the average itself, and rebuilding the bin scale on a settings change.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <cstring>
#include <random>
#include <vector>

#include "dsp/spectral_data.h"
#include "dsp/weighting.h"

namespace zeltrak {
namespace {

constexpr uint32_t kFFTSize = 131072;  // 65,536 bins

SpectralSettings Settings() {
    SpectralSettings s;
    s.format = SampleFormat::Make(48000, 2, 2);
    s.fftSize = kFFTSize;
    s.averageBlocks = 16;
    s.averageType = AveragingType::Exponential;
    return s;
}

void Fill(TSpectralData& s) {
    std::mt19937 rng(1);
    std::normal_distribution<float> dist(0.0f, 8000.0f);
    float* t = s.TimeSamples();
    for (uint32_t i = 0; i < kFFTSize; ++i) t[i] = dist(rng);
    s.Transform();
}

// Average() with the band pass (axis 2) and without it (axis 0). Arg 1: octave fraction.
void BM_AverageWithBands(benchmark::State& state) {
    SpectralScaling scaling;
    scaling.amplitudeScale = AmplitudeScale::Decibels;
    scaling.frequencyScale = FrequencyScaleFromCode(static_cast<uint32_t>(state.range(0)));
    scaling.octaveNumber = static_cast<uint32_t>(state.range(1));
    TSpectralData s(Settings(), scaling, 0);
    if (s.Error()) {
        state.SkipWithError("spectral object in error");
        return;
    }
    Fill(s);
    for (auto _ : state) {
        s.Average();
        benchmark::DoNotOptimize(s.BandAxis().Values());
        benchmark::ClobberMemory();
    }
    state.counters["bands"] = s.BandAxis().Count();
}
BENCHMARK(BM_AverageWithBands)
    ->ArgNames({"axis", "N"})
    ->Args({0, 3})
    ->Args({2, 3})
    ->Args({2, 24})
    ->Unit(benchmark::kMicrosecond);

// UpdateBandValues alone.
void BM_BandValues(benchmark::State& state) {
    SpectralScaling scaling;
    scaling.frequencyScale = FrequencyScale::OctaveBands;
    scaling.octaveNumber = static_cast<uint32_t>(state.range(0));
    TSpectralData s(Settings(), scaling, 0);
    Fill(s);
    s.Average();
    for (auto _ : state) {
        s.UpdateBandValues(false);
        benchmark::DoNotOptimize(s.BandAxis().Values());
    }
}
BENCHMARK(BM_BandValues)->ArgName("N")->Arg(3)->Arg(24)->Unit(benchmark::kMicrosecond);

// A settings change: calibration and A weighting onto 65,536 bins.
void BM_RebuildScale(benchmark::State& state) {
    SpectralScaling scaling;
    TSpectralData s(Settings(), scaling, 0);
    CalibrationRecord r = CalibrationRecord::Defaults();
    r.IsEnabled = 1;
    r.ConversionType = 2;
    r.IntegrationType = 1;
    for (auto _ : state) {
        s.SetCalibration(&r, 0);
        s.SetWeighting(kWeightingA);
        benchmark::DoNotOptimize(s.Scale().Factors());
    }
}
BENCHMARK(BM_RebuildScale)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zeltrak

ZELTRAK_ALTERNATING_BENCHMARK_MAIN()
