// Signal generator synthesis: one 10-second stereo buffer at 192 kHz, 24-bit, for the two
// heaviest types (ten tones, a logarithmic sweep). The window builds the buffer after every
// change, so each case should stay well under 100 ms on one core.
#include <benchmark/benchmark.h>

#include "bench_main.h"
#include "generator/signal_synthesis.h"

namespace {

using namespace zeltrak;

constexpr uint32_t kRate = 192000;
constexpr uint32_t kFrames = 10 * kRate;

void BuildStereo(benchmark::State& state, const SignalSetup& setup) {
    TWaveData buffer(kFrames, SampleFormat::Make(kRate, 2, 3));
    SeededDither dither(7);
    SynthesisSources sources;
    sources.dither = &dither;
    sources.progress = [](int) {};
    for (auto _ : state) {
        for (int channel = 0; channel < 2; ++channel) SynthesizeChannel(buffer, setup, channel, 0.5, sources);
        benchmark::DoNotOptimize(buffer.Buffer());
    }
    state.SetItemsProcessed(state.iterations() * 2 * kFrames);
}

void BM_TenTones(benchmark::State& state) {
    SignalSetup setup;
    setup.type = SignalType::MultipleTones;
    for (int k = 0; k < kToneSlots; ++k) setup.tones.slots[k] = {1, 997.0f * (k + 1), -20.0f, 0.1f};
    BuildStereo(state, setup);
}

void BM_LogSweep(benchmark::State& state) {
    SignalSetup setup;
    setup.type = SignalType::FrequencySweep;
    setup.frequencySweep = {20.0f, 20000.0f, 10000, 2};
    BuildStereo(state, setup);
}

BENCHMARK(BM_TenTones)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LogSweep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

ZELTRAK_ALTERNATING_BENCHMARK_MAIN();
