// Cost of spectral averaging per bin, and of a whole two-channel frame against one transform.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/channel_processing.h"
#include "dsp/fft.h"
#include "dsp/spectral_data.h"

namespace zeltrak {
namespace {

std::vector<float> Noise(uint32_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> dist(0.0f, 8000.0f);
    std::vector<float> x(n);
    for (float& v : x) v = dist(rng);
    return x;
}

std::vector<float> Hanning(uint32_t n) {
    std::vector<float> w(n);
    for (uint32_t i = 0; i < n; ++i) w[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * 3.141592653589793 * i / (n - 1)));
    return w;
}

SpectralSettings Settings(uint32_t fftSize, uint32_t blocks, AveragingType type) {
    SpectralSettings s;
    s.format = SampleFormat::Make(48000, 2, 2);
    s.fftSize = fftSize;
    s.averageBlocks = blocks;
    s.averageType = type;
    return s;
}

// Average() over 65,536 bins. Args: averaging type, blocks, amplitude axis (1 = dB).
void BM_Average(benchmark::State& state) {
    const uint32_t fftSize = 131072;
    SpectralScaling scaling;
    scaling.amplitudeScale = AmplitudeScaleFromCode(static_cast<uint32_t>(state.range(2)));
    const AveragingType type = AveragingTypeFromCode(static_cast<uint32_t>(state.range(0)));
    TSpectralData s(Settings(fftSize, static_cast<uint32_t>(state.range(1)), type), scaling, 0);
    if (s.Error()) {
        state.SkipWithError("spectral object in error");
        return;
    }
    const std::vector<float> x = Noise(fftSize, 1);
    std::memcpy(s.TimeSamples(), x.data(), fftSize * sizeof(float));
    s.Transform();
    for (auto _ : state) {
        s.Average();
        benchmark::DoNotOptimize(s.AveragePower());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * s.Bins());
    state.counters["ns_per_bin"] = benchmark::Counter(static_cast<double>(s.Bins()),
                                                      benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}
BENCHMARK(BM_Average)
    ->ArgNames({"type", "blocks", "dB"})
    ->Args({AveragingCode(AveragingType::Exponential), 16, 0})
    ->Args({AveragingCode(AveragingType::Exponential), 16, 1})
    ->Args({AveragingCode(AveragingType::Linear), 16, 0})
    ->Args({AveragingCode(AveragingType::Linear), 100, 0})
    ->Args({AveragingCode(AveragingType::Linear), 2000, 0})
    ->Args({AveragingCode(AveragingType::Vector), 16, 0})
    ->Unit(benchmark::kMicrosecond);

constexpr uint32_t kFrameSize = 65536;

// One RealFFT of the frame size, with the copy of the samples into the buffer.
void BM_RealFFT(benchmark::State& state) {
    const std::vector<float> x = Noise(kFrameSize, 2);
    std::vector<float> buffer(kFrameSize);
    PrepareRealFFT(kFrameSize);
    for (auto _ : state) {
        std::memcpy(buffer.data(), x.data(), kFrameSize * sizeof(float));
        RealFFT(buffer.data(), kFrameSize, 1);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RealFFT)->Unit(benchmark::kMicrosecond);

// A whole two-channel frame: load both channels, window, transform, average and combine.
// Arg: ChannelProcessing mode.
void BM_ChannelFrame(benchmark::State& state) {
    const ChannelProcessingMode mode = ChannelModeFromCode(static_cast<uint16_t>(state.range(0)));
    const SpectralSettings settings = Settings(kFrameSize, 16, AveragingType::Exponential);
    const SpectralScaling scaling;  // dB axis, the default
    TSpectralData L(settings, scaling, 0), R(settings, scaling, 1), S1(settings, scaling, -1),
        S2(settings, scaling, -1);
    const std::vector<float> left = Noise(kFrameSize, 3), right = Noise(kFrameSize, 4);
    const std::vector<float> window = Hanning(kFrameSize);
    const ChannelProcessingSetup setup{mode, true, AveragingType::Exponential, 16, window.data(), kFrameSize};
    for (auto _ : state) {
        std::memcpy(L.TimeSamples(), left.data(), kFrameSize * sizeof(float));
        std::memcpy(R.TimeSamples(), right.data(), kFrameSize * sizeof(float));
        if (!ProcessChannels(setup, {&L, &R, &S1, &S2})) {
            state.SkipWithError("processing failed");
            break;
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ChannelFrame)->ArgName("mode")->Arg(0)->Arg(2)->Arg(10)->Arg(11)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zeltrak

ZELTRAK_ALTERNATING_BENCHMARK_MAIN()
