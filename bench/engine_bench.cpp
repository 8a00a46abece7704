// The acquisition loop's speed.
// PostProcessing: a stereo 48 kHz 16-bit file, FFT 4096, Hanning, 50 % overlap, both channels;
// the counter audio_s_per_s is seconds of sound analysed per second of wall time. The file is
// $ZELTRAK_BENCH_WAV when set (bench/welch.py passes the file it times scipy on), else a 60 s
// tone-plus-noise file written here. The file is opened and read in every iteration.
// RealTimeUpdates: spectrum updates per second at FFT 65536, stereo, complex transfer and
// coherence (mode 11), on the manual-clock Loopback card in this one thread.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/wave_file_status.h"
#include "files/wave_file.h"
#include "platform/buffer_done_queue.h"
#include "platform/loopback_driver.h"
#include "support/scripted_host.h"
#include "support/wave_builder.h"

namespace {

using namespace zeltrak;

std::string BenchFile() {
    if (const char* path = std::getenv("ZELTRAK_BENCH_WAV"); path && *path) return path;
    const std::string path = "/tmp/zeltrak_engine_bench_48k.wav";
    constexpr uint32_t kRate = 48000, kFrames = 60 * kRate;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<uint8_t> samples;
    samples.reserve(kFrames * 4);
    for (uint32_t i = 0; i < kFrames; ++i) {
        const double tone = 10000.0 * std::sin(2 * M_PI * 1000.0 * i / kRate);
        test::Put16(samples, static_cast<uint16_t>(static_cast<int16_t>(std::lround(tone + noise(rng)))));
        test::Put16(samples, static_cast<uint16_t>(static_cast<int16_t>(std::lround(0.5 * tone + noise(rng)))));
    }
    test::WriteAll(path, test::SimpleWave(2, 2, kRate, samples));
    return path;
}

void PostProcessing(benchmark::State& state) {
    ScriptedHost host;
    LoopbackConfig quiet;
    quiet.clock = LoopbackConfig::Clock::Manual;
    LoopbackDriver card(quiet);
    ProcessingSettings settings;
    const std::string path = BenchFile();
    auto probe = MakeWaveFile(host, path, TWaveFile::kStreamMode, false);
    if (probe->Error()) {
        state.SkipWithError("cannot read the benchmark file");
        return;
    }
    settings.Mode.OpMode = kModePostProcessing;
    SettingsBlock& s = settings.Settings();
    s.format = probe->Format();
    s.FFTsize = 4096;
    s.SmoothingWindow = 4;
    s.OverlapPercent = 50;
    s.ChannelProcessing = 2;
    s.AverageBlocks = kInfiniteAverageBlocks;
    TEngine engine(host, card, settings, nullptr);
    double seconds = 0.0;
    uint64_t frames = 0;
    for (auto _ : state) {
        // Opened and read inside the timing, streamed as `zeltrak analyze` reads it.
        engine.SetWaveFile(MakeWaveFile(host, path, TWaveFile::kStreamMode, false));
        engine.Run();
        while (engine.FrameStep()) {
        }
        seconds += engine.WaveFile()->FramesToSeconds(engine.WaveFile()->Length());
        frames += engine.FrameCount();
    }
    state.counters["audio_s_per_s"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.counters["frames"] = static_cast<double>(frames) / state.iterations();
}
BENCHMARK(PostProcessing)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void RealTimeUpdates(benchmark::State& state) {
    ScriptedHost host;
    LoopbackConfig config;
    config.clock = LoopbackConfig::Clock::Manual;
    config.source = LoopbackConfig::Source::Sine;
    config.sineDb = -6.0;
    config.noiseDb = -60.0;
    LoopbackDriver card(config);
    ProcessingSettings settings;
    settings.Mode.OpMode = kModeRealTime;
    SettingsBlock& s = settings.Settings();
    s.format = SampleFormat::Make(48000, 2, 2);
    s.FFTsize = static_cast<uint32_t>(state.range(0));
    s.ChannelProcessing = 11;
    s.AverageBlocks = 16;
    settings.FileIO.RealTimeWaveBufferEnableFlag = 1;
    settings.FileIO.WaveFileMode = 0;
    BufferDoneQueue queue;
    TEngine engine(host, card, settings, &queue);
    TEngineLoop loop(engine, queue);
    if (!engine.Run()) {
        state.SkipWithError("the engine did not start");
        return;
    }
    // 1/60 s of sound per update: the card runs as it would beside a display at 60 Hz.
    card.Advance(2 * s.FFTsize);
    uint32_t before = engine.FrameCount();
    for (auto _ : state) {
        card.Advance(800);
        loop.Pump(0);
    }
    state.counters["updates_per_s"] =
        benchmark::Counter(static_cast<double>(engine.FrameCount() - before), benchmark::Counter::kIsRate);
    engine.Stop();
}
BENCHMARK(RealTimeUpdates)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

ZELTRAK_ALTERNATING_BENCHMARK_MAIN()
