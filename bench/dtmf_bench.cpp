// The keypad-tone decoder on a 10-minute mono 8 kHz recording (a key every second in noise),
// whole file as the command runs it; it should run at least 200 times faster than real time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include "bench_main.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "utilities/dtmf_command.h"
#include "utilities/dtmf_detector.h"

namespace {

using namespace zeltrak;

constexpr uint32_t kRate = 8000;
constexpr uint32_t kSeconds = 600;

void Put(std::ofstream& f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f.put(static_cast<char>(v >> (8 * i)));
}

// A 16-bit mono file: 80 ms of a key's tone pair each second, in noise 30 dB down.
const std::string& Recording() {
    static testing::TempDir dir;
    static const std::string path = dir.File("keys.wav");
    static bool written = false;
    if (written) return path;
    const uint32_t frames = kRate * kSeconds;
    std::ofstream f(path, std::ios::binary);
    f.write("RIFF", 4), Put(f, 36 + 2 * frames, 4), f.write("WAVEfmt ", 8);
    Put(f, 16, 4), Put(f, 1, 2), Put(f, 1, 2), Put(f, kRate, 4), Put(f, 2 * kRate, 4), Put(f, 2, 2), Put(f, 16, 2);
    f.write("data", 4), Put(f, 2 * frames, 4);
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 0.25 * std::pow(10.0, -30.0 / 20));
    const char* keys = "1234567890*#ABCD";
    for (uint32_t i = 0; i < frames; ++i) {
        const uint32_t second = i / kRate, within = i % kRate;
        const char key = keys[second % 16];
        double v = noise(rng);
        if (within < kRate * 80 / 1000)
            v += 0.25 * (std::sin(2 * M_PI * TDTMFData::LowFrequency(key) * within / kRate) +
                         std::sin(2 * M_PI * TDTMFData::HighFrequency(key) * within / kRate));
        Put(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))), 2);
    }
    written = true;
    return path;
}

void BM_DtmfCommand10Minutes(benchmark::State& state) {
    const std::string& path = Recording();
    ScriptedHost host;
    std::FILE* sink = std::fopen("/dev/null", "w");
    std::string error;
    for (auto _ : state)
        if (RunDtmfCommand(path, sink, host, error) != 0) state.SkipWithError(error.c_str());
    std::fclose(sink);
    // The recording holds one key a second: each must be found once.
    char* text = nullptr;
    size_t size = 0;
    std::FILE* memory = open_memstream(&text, &size);
    RunDtmfCommand(path, memory, host, error);
    std::fclose(memory);
    int keys = 0;
    for (const char* p = text; (p = std::strstr(p, "mono ")) != nullptr; ++p) ++keys;
    std::free(text);
    if (keys != static_cast<int>(kSeconds)) state.SkipWithError(("found " + std::to_string(keys) + " keys").c_str());
    state.counters["x_realtime"] =
        benchmark::Counter(kSeconds * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_DtmfCommand10Minutes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

ZELTRAK_ALTERNATING_BENCHMARK_MAIN();
