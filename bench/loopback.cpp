// Cost of one second of sound through the Loopback card: it must stay far below real time,
// since its clock thread runs beside the analyser.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/loopback_driver.h"

namespace {

using namespace zeltrak;

void OneSecond(benchmark::State& state, size_t taps, bool noise, bool tone = false) {
    LoopbackConfig config;
    // The test tone plays only while no output is open.
    if (tone) config.source = LoopbackConfig::Source::Sine;
    config.clock = LoopbackConfig::Clock::Manual;
    config.delaySamples[0] = 100;
    config.delaySamples[1] = 200;
    if (taps > 0) {
        for (auto& ir : config.impulseResponse) ir.assign(taps, 1.0 / static_cast<double>(taps));
    }
    if (noise) config.noiseDb = -80.0;
    LoopbackDriver card(config);
    WaveFormat f;
    f.channels = 2;
    f.samplesPerSec = 48000;
    f.blockAlign = 4;
    f.avgBytesPerSec = 192000;
    f.bitsPerSample = 16;
    std::unique_ptr<WaveStream> in, out;
    card.Open(WaveDirection::Input, 0, f, nullptr, in);
    if (!tone) card.Open(WaveDirection::Output, 0, f, nullptr, out);
    std::vector<uint8_t> played(192000, 0x11), recorded(192000);
    WaveHeader hp, hr;
    hp.data = played.data();
    hp.bufferLength = 192000;
    hr.data = recorded.data();
    hr.bufferLength = 192000;
    in->Start();
    for (auto _ : state) {
        in->Prepare(hr);
        in->AddBuffer(hr);
        if (out) {
            out->Prepare(hp);
            out->AddBuffer(hp);
        }
        card.Advance(48000);
        benchmark::DoNotOptimize(recorded.data());
    }
    state.SetItemsProcessed(state.iterations() * 48000);
}

void BM_LoopbackWire(benchmark::State& s) { OneSecond(s, 0, false); }
void BM_LoopbackNoise(benchmark::State& s) { OneSecond(s, 0, true); }
void BM_LoopbackImpulse256(benchmark::State& s) { OneSecond(s, 256, false); }
void BM_LoopbackTestTone(benchmark::State& s) { OneSecond(s, 0, false, true); }

BENCHMARK(BM_LoopbackWire)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoopbackNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoopbackImpulse256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoopbackTestTone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
