// Reverberation analysis of a 10-second stereo 48 kHz recording of the stimulus (maximum decay
// time 4 s, the longest whose noise and decay fit in 10 s) in a room of 0.8 s: the whole
// analysis from the samples, and the command on the file. Both should stay under one second.
// Measured on the shared 2-core build machine (load 4.5), medians of 7: analysis 9.8 ms
// (7.6 ms CPU), command with the file read 12.0 ms (7.9 ms CPU): about 100 times under.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "bench_main.h"
#include "files/wave_file.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "utilities/reverb_analysis.h"
#include "utilities/reverb_command.h"
#include "utilities/reverb_test_room.h"

namespace {

using namespace zeltrak;

constexpr uint32_t kRate = 48000;

std::unique_ptr<TWaveData> TenSeconds() {
    const ReverbTiming t = MakeReverbTiming(4);
    const auto x = reverb_test::Stimulus(t.syncStart, t.noiseLength, 10.0, kRate);
    return reverb_test::Recording(x, reverb_test::ImpulseSpectrum([](double) { return 0.8; }, kRate), kRate, 2, 0.5);
}

ReverbOptions FourSeconds() {
    ReverbOptions options;
    options.maxDecayTime = 4;
    return options;
}

void BM_ReverbAnalysis(benchmark::State& state) {
    auto wave = TenSeconds();
    for (auto _ : state) {
        ScriptedHost host;
        ReverbData data;
        if (AnalyseReverbRecording(*wave, FourSeconds(), data, host) != ReverbOutcome::Done)
            state.SkipWithError("analysis failed");
        benchmark::DoNotOptimize(data.results);
    }
}

void BM_ReverbCommand(benchmark::State& state) {
    testing::TempDir dir;
    auto wave = TenSeconds();
    TWaveFile file(wave->Length(), wave->Format());
    for (uint32_t channel = 0; channel < 2; ++channel) {
        std::vector<int16_t> samples(wave->Length());
        wave->ReadChannel(samples.data(), 0, wave->Length(), channel);
        file.WriteChannel(samples.data(), 0, wave->Length(), channel);
    }
    file.SetName(dir.File("room.wav"));
    if (!file.Save()) state.SkipWithError("cannot write the recording");
    std::FILE* out = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        ScriptedHost host;
        std::string error;
        if (RunReverbCommand(dir.File("room.wav"), FourSeconds(), out, host, error) != 0)
            state.SkipWithError(error.c_str());
    }
    std::fclose(out);
}

BENCHMARK(BM_ReverbAnalysis)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReverbCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

ZELTRAK_ALTERNATING_BENCHMARK_MAIN();
