// Whole-file batch analysis against a plain single-threaded FFTW pipeline doing the same work:
// read the file in chunks, Hanning window, real FFT, accumulate the power of every frame at
// 50 % overlap for both channels, then one average, one dB conversion and one peak search.
// Both sides read the file (from the page cache) inside the timed region. Ours runs with
// --jobs 1 and --jobs 2; FFTW in float and double, planned with ESTIMATE and MEASURE (the plan
// is made outside the timing, as a batch job would keep its wisdom). The benchmarks alternate
// in shuffled order, 7 times each by default (bench_main.h); read the median and stddev rows.
// The file is $ZELTRAK_BATCH_WAV (stereo 16-bit PCM) or a 10-minute 48 kHz file made with sox.
#include <benchmark/benchmark.h>

#include "bench_main.h"

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

#if ZELTRAK_HAVE_FFTW3F && ZELTRAK_HAVE_FFTW3
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
    const std::string jobs = std::to_string(state.range(1));
    if (file.empty() || !ParseAnalyzeArguments({file, "--fft", fft, "--window", "hanning", "--overlap", "50",
                                                "--average-type", "linear", "--jobs", jobs, "-o", "/dev/null"},
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
BENCHMARK(Analyze)
    ->ArgNames({"fft", "jobs"})
    ->ArgsProduct({{4096, 65536}, {1, 2}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

#if ZELTRAK_HAVE_FFTW3F && ZELTRAK_HAVE_FFTW3

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

// FFTW's single- and double-precision interfaces under one name.
template <typename Real>
struct Fftw;
template <>
struct Fftw<float> {
    using Complex = fftwf_complex;
    using Plan = fftwf_plan;
    static float* AllocReal(size_t n) { return fftwf_alloc_real(n); }
    static Complex* AllocComplex(size_t n) { return fftwf_alloc_complex(n); }
    static Plan Forward(int n, float* in, Complex* out, unsigned flags) { return fftwf_plan_dft_r2c_1d(n, in, out, flags); }
    static void Execute(Plan p, float* in, Complex* out) { fftwf_execute_dft_r2c(p, in, out); }
    static void Destroy(Plan p) { fftwf_destroy_plan(p); }
    static void Free(void* p) { fftwf_free(p); }
};
template <>
struct Fftw<double> {
    using Complex = fftw_complex;
    using Plan = fftw_plan;
    static double* AllocReal(size_t n) { return fftw_alloc_real(n); }
    static Complex* AllocComplex(size_t n) { return fftw_alloc_complex(n); }
    static Plan Forward(int n, double* in, Complex* out, unsigned flags) { return fftw_plan_dft_r2c_1d(n, in, out, flags); }
    static void Execute(Plan p, double* in, Complex* out) { fftw_execute_dft_r2c(p, in, out); }
    static void Destroy(Plan p) { fftw_destroy_plan(p); }
    static void Free(void* p) { fftw_free(p); }
};

// The plain pipeline over a stereo 16-bit file; returns the peak bin of the left average.
template <typename Real>
uint32_t PlainPipeline(const std::string& path, uint32_t n, typename Fftw<Real>::Plan plan, Real* in,
                       typename Fftw<Real>::Complex* out, const std::vector<Real>& window) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    long offset = 0;
    uint32_t size = 0;
    if (!f || !FindData(f, offset, size)) {
        if (f) std::fclose(f);
        return 0;
    }
    const uint32_t bins = n / 2 + 1, hop = n / 2;
    std::vector<Real> sum[2] = {std::vector<Real>(bins), std::vector<Real>(bins)};
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
                Fftw<Real>::Execute(plan, in, out);
                Real* acc = sum[c].data();
                for (uint32_t k = 0; k < bins; ++k) acc[k] += out[k][0] * out[k][0] + out[k][1] * out[k][1];
            }
        }
        samples.erase(samples.begin(), samples.begin() + 2 * at);
    }
    std::fclose(f);
    uint32_t peak = 5;
    std::vector<Real> db(bins);
    for (int c = 0; c < 2; ++c)
        for (uint32_t k = 0; k < bins; ++k) db[k] = 10 * std::log10(sum[c][k] / static_cast<Real>(frames) + Real(1e-30));
    for (uint32_t k = 6; k + 1 < bins; ++k)
        if (db[k] > db[peak]) peak = k;
    return peak;
}

// Arguments: FFT size, 0 for an ESTIMATE plan or 1 for a MEASURE plan.
template <typename Real>
void FftwPipeline(benchmark::State& state) {
    using F = Fftw<Real>;
    const std::string file = BatchFile();
    const auto n = static_cast<uint32_t>(state.range(0));
    Real* in = F::AllocReal(n);
    typename F::Complex* out = F::AllocComplex(n / 2 + 1);
    typename F::Plan plan = F::Forward(static_cast<int>(n), in, out, state.range(1) ? FFTW_MEASURE : FFTW_ESTIMATE);
    std::vector<Real> window(n);
    for (uint32_t i = 0; i < n; ++i) window[i] = 1 - std::cos(2 * static_cast<Real>(M_PI) * i / (n - 1));
    for (auto _ : state) {
        const uint32_t peak = PlainPipeline<Real>(file, n, plan, in, out, window);
        if (peak == 0) state.SkipWithError("cannot read the benchmark file");
        benchmark::DoNotOptimize(peak);
    }
    F::Destroy(plan);
    F::Free(out);
    F::Free(in);
}
BENCHMARK_TEMPLATE(FftwPipeline, float)
    ->ArgNames({"fft", "measure"})
    ->ArgsProduct({{4096, 65536}, {0, 1}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(FftwPipeline, double)
    ->ArgNames({"fft", "measure"})
    ->ArgsProduct({{4096, 65536}, {0, 1}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

#endif

}  // namespace

ZELTRAK_ALTERNATING_BENCHMARK_MAIN()
