// Whole-file batch analysis against a plain single-threaded FFTW pipeline doing the same work:
// read the file in chunks, Hanning window, real FFT, accumulate the power of every frame at
// 50 % overlap for both channels, then one average, one dB conversion and one peak search.
// Both sides read the file (from the page cache) inside the timed region. Run with
//   --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true
// so that the two alternate, and read the median and stddev rows.
// The file is $ZELTRAK_BATCH_WAV (stereo 16-bit PCM) or a 10-minute 48 kHz file made with sox.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/analyze_command.h"
#include "engine/processing_settings.h"
#include "files/calibration_record.h"
#include "support/scripted_host.h"

#if ZELTRAK_HAVE_FFTW3F
#include <fftw3.h>
#endif

namespace {

using namespace zeltrak;

std::string BatchFile() {
    if (const char* path = std::getenv("ZELTRAK_BATCH_WAV"); path && *path) return path;
    const std::string path = "/tmp/zeltrak_batch_bench_600s.wav";
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        return path;
    }
    const std::string make = "sox -n -r 48000 -b 16 -c 2 " + path + " synth 600 sine 997 pinknoise vol 0.4";
    return std::system(make.c_str()) == 0 ? path : std::string();
}

void Analyze(benchmark::State& state) {
    const std::string file = BatchFile();
    AnalyzeOptions options;
    std::string error;
    const std::string fft = std::to_string(state.range(0));
    if (file.empty() || !ParseAnalyzeArguments({file, "--fft", fft, "--window", "hanning", "--overlap", "50",
                                                "--average-type", "linear", "-o", "/dev/null"},
                                               options, error)) {
        state.SkipWithError("no benchmark file");
        return;
    }
    ScriptedHost host;
    for (auto _ : state) {
        if (RunAnalyze(options, ProcessingSettings{}, CalibrationRecord{}, host, nullptr, error) != 0)
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(Analyze)->Arg(4096)->Arg(65536)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

#if ZELTRAK_HAVE_FFTW3F

// The offset and size of the "data" chunk of a RIFF/WAVE file, or false.
bool FindData(std::FILE* f, long& offset, uint32_t& size) {
    unsigned char head[12];
    if (std::fread(head, 1, 12, f) != 12 || std::memcmp(head, "RIFF", 4) || std::memcmp(head + 8, "WAVE", 4))
        return false;
    for (unsigned char chunk[8]; std::fread(chunk, 1, 8, f) == 8;) {
        const uint32_t n = chunk[4] | chunk[5] << 8 | chunk[6] << 16 | static_cast<uint32_t>(chunk[7]) << 24;
        if (!std::memcmp(chunk, "data", 4)) {
            offset = std::ftell(f);
            size = n;
            return true;
        }
        std::fseek(f, n + (n & 1), SEEK_CUR);
    }
    return false;
}

// The plain pipeline over a stereo 16-bit file; returns the peak bin of the left average.
uint32_t PlainPipeline(const std::string& path, uint32_t n, fftwf_plan plan, float* in, fftwf_complex* out,
                       const std::vector<float>& window) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    long offset = 0;
    uint32_t size = 0;
    if (!f || !FindData(f, offset, size)) {
        if (f) std::fclose(f);
        return 0;
    }
    const uint32_t bins = n / 2 + 1, hop = n / 2;
    std::vector<float> sum[2] = {std::vector<float>(bins), std::vector<float>(bins)};
    std::vector<int16_t> samples;  // interleaved, from frame `first` of the file on
    std::vector<int16_t> chunk(1u << 19);
    uint64_t frames = 0;
    for (size_t got; (got = std::fread(chunk.data(), 4, chunk.size() / 2, f)) > 0;) {
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + 2 * got);
        size_t at = 0;
        for (; at + n <= samples.size() / 2; at += hop, ++frames) {
            for (int c = 0; c < 2; ++c) {
                const int16_t* s = samples.data() + 2 * at + c;
                for (uint32_t i = 0; i < n; ++i) in[i] = s[2 * i] * window[i];
                fftwf_execute_dft_r2c(plan, in, out);
                float* acc = sum[c].data();
                for (uint32_t k = 0; k < bins; ++k) acc[k] += out[k][0] * out[k][0] + out[k][1] * out[k][1];
            }
        }
        samples.erase(samples.begin(), samples.begin() + 2 * at);
    }
    std::fclose(f);
    uint32_t peak = 5;
    std::vector<float> db(bins);
    for (int c = 0; c < 2; ++c)
        for (uint32_t k = 0; k < bins; ++k) db[k] = 10.0f * std::log10(sum[c][k] / static_cast<float>(frames) + 1e-30f);
    for (uint32_t k = 6; k + 1 < bins; ++k)
        if (db[k] > db[peak]) peak = k;
    return peak;
}

void FftwPipeline(benchmark::State& state) {
    const std::string file = BatchFile();
    const auto n = static_cast<uint32_t>(state.range(0));
    float* in = fftwf_alloc_real(n);
    fftwf_complex* out = fftwf_alloc_complex(n / 2 + 1);
    // Planned once outside the timing, as a batch job would keep its wisdom.
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_MEASURE);
    std::vector<float> window(n);
    for (uint32_t i = 0; i < n; ++i) window[i] = 1.0f - std::cos(2.0f * static_cast<float>(M_PI) * i / (n - 1));
    for (auto _ : state) {
        const uint32_t peak = PlainPipeline(file, n, plan, in, out, window);
        if (peak == 0) state.SkipWithError("cannot read the benchmark file");
        benchmark::DoNotOptimize(peak);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(out);
    fftwf_free(in);
}
BENCHMARK(FftwPipeline)->Arg(4096)->Arg(65536)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

#endif

}  // namespace

BENCHMARK_MAIN();
