// Speed of each of our FFT kernels next to FFTW (single precision, FFTW_MEASURE plans) and,
// with --kiss, KissFFT, and a per-frame benchmark (window + real FFT + bin scaling). Before
// timing it checks the accuracy of every size against FFTW in double precision. All
// contenders of all sizes run in one process, repeated and in random order, so that a
// change of machine load falls on every side alike; the table gives per size the median,
// the spread (lowest and highest repetition, in % of the median) and the ratios ours/FFTW.
//
//   bench_fft_bench [--no-accuracy] [--no-table] [--plans] [--kiss] [--kernel=generic|avx2|avx512]
//                   [benchmark flags]
//
// Without benchmark flags it runs 7 repetitions of 0.05 s, interleaved at random.
// --kernel limits ours to one kernel; --plans prints FFTW's plans (which codelets, which SIMD).
//
// Every timed iteration first copies the input into the transform buffer, for every
// library alike, because our transforms work in place and repeated in-place transforms of
// the same buffer would overflow.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dsp/fft.h"
#include "dsp/smoothing.h"

#ifdef ZELTRAK_HAVE_FFTW3F
#include <fftw3.h>
#endif
#ifdef ZELTRAK_HAVE_KISSFFT
#include <kiss_fft.h>
#include <kiss_fftr.h>
#endif

namespace {

using zeltrak::ComplexFFT;
using zeltrak::RealFFT;

constexpr int kMinLog2 = 5;
constexpr int kMaxLog2 = 20;

std::vector<float> RandomFloats(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float& f : v) f = dist(rng);
    return v;
}

// 64-byte aligned float buffer, as FFTW's own allocator would give.
struct FloatBuffer {
    explicit FloatBuffer(size_t n) : data(static_cast<float*>(::operator new(n * sizeof(float), std::align_val_t{64}))), size(n) {}
    ~FloatBuffer() { ::operator delete(data, std::align_val_t{64}); }
    FloatBuffer(const FloatBuffer&) = delete;
    FloatBuffer& operator=(const FloatBuffer&) = delete;
    float* data;
    size_t size;
};

// ---------------- ours ----------------

// Every run of ours names its kernel as the second argument and selects it itself, since
// the runs of all kernels are interleaved.
bool SelectKernelOf(benchmark::State& state) {
    if (zeltrak::SelectFFTKernel(static_cast<zeltrak::FFTKernel>(state.range(1)))) return true;
    state.SkipWithError("kernel not available");
    return false;
}

void RealForward_ours(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    if (!SelectKernelOf(state)) return;
    zeltrak::PrepareRealFFT(n);
    const std::vector<float> input = RandomFloats(n, 1);
    FloatBuffer buf(n);
    for (auto _ : state) {
        std::memcpy(buf.data, input.data(), n * sizeof(float));
        RealFFT(buf.data, n, 1);
        benchmark::ClobberMemory();
    }
}

void RealInverse_ours(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    if (!SelectKernelOf(state)) return;
    zeltrak::PrepareRealFFT(n);
    std::vector<float> spectrum = RandomFloats(n, 2);
    RealFFT(spectrum.data(), n, 1);
    FloatBuffer buf(n);
    for (auto _ : state) {
        std::memcpy(buf.data, spectrum.data(), n * sizeof(float));
        RealFFT(buf.data, n, -1);
        benchmark::ClobberMemory();
    }
}

void Complex_ours(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    if (!SelectKernelOf(state)) return;
    zeltrak::PrepareComplexFFT(n);
    const std::vector<float> input = RandomFloats(2 * size_t{n}, 3);
    FloatBuffer buf(2 * size_t{n});
    for (auto _ : state) {
        std::memcpy(buf.data, input.data(), 2 * size_t{n} * sizeof(float));
        ComplexFFT(buf.data, n, 1);
        benchmark::ClobberMemory();
    }
}

// ---------------- FFTW ----------------

#ifdef ZELTRAK_HAVE_FFTW3F
struct FftwSetup {
    fftwf_plan plan = nullptr;
    float* in = nullptr;
    float* out = nullptr;
};

// Plans are made once per kind and size, outside any timing.
FftwSetup& Fftw(int kind, uint32_t n) {
    static std::map<std::pair<int, uint32_t>, FftwSetup> setups;
    FftwSetup& s = setups[{kind, n}];
    if (s.plan) return s;
    s.in = fftwf_alloc_real(2 * size_t{n} + 2);
    s.out = fftwf_alloc_real(2 * size_t{n} + 2);
    const int size = static_cast<int>(n);
    if (kind == 0)
        s.plan = fftwf_plan_dft_r2c_1d(size, s.in, reinterpret_cast<fftwf_complex*>(s.out), FFTW_MEASURE);
    else if (kind == 1)
        s.plan = fftwf_plan_dft_c2r_1d(size, reinterpret_cast<fftwf_complex*>(s.in), s.out, FFTW_MEASURE);
    else
        s.plan = fftwf_plan_dft_1d(size, reinterpret_cast<fftwf_complex*>(s.in), reinterpret_cast<fftwf_complex*>(s.out),
                                   FFTW_FORWARD, FFTW_MEASURE);
    return s;
}

void RealForward_fftw(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    FftwSetup& s = Fftw(0, n);
    const std::vector<float> input = RandomFloats(n, 1);
    for (auto _ : state) {
        std::memcpy(s.in, input.data(), n * sizeof(float));
        fftwf_execute(s.plan);
        benchmark::ClobberMemory();
    }
}

void RealInverse_fftw(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    FftwSetup& s = Fftw(1, n);
    const std::vector<float> input = RandomFloats(n + 2, 2);
    for (auto _ : state) {
        std::memcpy(s.in, input.data(), (n + 2) * sizeof(float));
        fftwf_execute(s.plan);
        benchmark::ClobberMemory();
    }
}

void Complex_fftw(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    FftwSetup& s = Fftw(2, n);
    const std::vector<float> input = RandomFloats(2 * size_t{n}, 3);
    for (auto _ : state) {
        std::memcpy(s.in, input.data(), 2 * size_t{n} * sizeof(float));
        fftwf_execute(s.plan);
        benchmark::ClobberMemory();
    }
}
#endif

// ---------------- KissFFT ----------------

#ifdef ZELTRAK_HAVE_KISSFFT
void RealForward_kiss(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    kiss_fftr_cfg cfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    const std::vector<float> input = RandomFloats(n, 1);
    std::vector<float> in(n);
    std::vector<kiss_fft_cpx> out(n / 2 + 1);
    for (auto _ : state) {
        std::memcpy(in.data(), input.data(), n * sizeof(float));
        kiss_fftr(cfg, in.data(), out.data());
        benchmark::ClobberMemory();
    }
    kiss_fftr_free(cfg);
}

void RealInverse_kiss(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    kiss_fftr_cfg cfg = kiss_fftr_alloc(n, 1, nullptr, nullptr);
    const std::vector<float> input = RandomFloats(n + 2, 2);
    std::vector<kiss_fft_cpx> in(n / 2 + 1);
    std::vector<float> out(n);
    for (auto _ : state) {
        std::memcpy(in.data(), input.data(), (n + 2) * sizeof(float));
        kiss_fftri(cfg, in.data(), out.data());
        benchmark::ClobberMemory();
    }
    kiss_fftr_free(cfg);
}

void Complex_kiss(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    kiss_fft_cfg cfg = kiss_fft_alloc(n, 0, nullptr, nullptr);
    const std::vector<float> input = RandomFloats(2 * size_t(n), 3);
    std::vector<kiss_fft_cpx> in(n), out(n);
    for (auto _ : state) {
        std::memcpy(in.data(), input.data(), 2 * size_t(n) * sizeof(float));
        kiss_fft(cfg, in.data(), out.data());
        benchmark::ClobberMemory();
    }
    kiss_fft_free(cfg);
}
#endif

// ---------------- one analysis frame ----------------

// Window the captured samples into the frame, transform, and turn the packed bins into
// powers normalised to full scale (the spectral classes do the real scaling).
void Frame_ours(benchmark::State& state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    if (!SelectKernelOf(state)) return;
    zeltrak::PrepareRealFFT(n);
    zeltrak::TSmoothing window(n, zeltrak::WindowType::Hanning, zeltrak::WindowCorrection::Amplitude);
    const std::vector<float> samples = RandomFloats(n, 4);
    FloatBuffer frame(n);
    std::vector<float> power(n / 2 + 1);
    const double scale = 1.0 / (static_cast<double>(n) * n);
    for (auto _ : state) {
        window.Apply(samples.data(), frame.data);
        RealFFT(frame.data, n, 1);
        const float* f = frame.data;
        power[0] = static_cast<float>(f[0] * static_cast<double>(f[0]) * scale);
        power[n / 2] = static_cast<float>(f[1] * static_cast<double>(f[1]) * scale);
        for (uint32_t k = 1; k < n / 2; ++k)
            power[k] = static_cast<float>((f[2 * k] * static_cast<double>(f[2 * k]) +
                                           f[2 * k + 1] * static_cast<double>(f[2 * k + 1])) * scale);
        benchmark::DoNotOptimize(power.data());
        benchmark::ClobberMemory();
    }
}

std::vector<zeltrak::FFTKernel> gKernels;  // ours, the kernels to time
bool gKiss = false;

void RegisterAll() {
    struct Entry {
        const char* name;
        void (*fn)(benchmark::State&);
        bool ours;
    };
    std::vector<Entry> entries = {
        {"RealForward_ours", RealForward_ours, true},
        {"RealInverse_ours", RealInverse_ours, true},
        {"Complex_ours", Complex_ours, true},
#ifdef ZELTRAK_HAVE_FFTW3F
        {"RealForward_fftw", RealForward_fftw, false},
        {"RealInverse_fftw", RealInverse_fftw, false},
        {"Complex_fftw", Complex_fftw, false},
#endif
    };
#ifdef ZELTRAK_HAVE_KISSFFT
    if (gKiss)
        entries.insert(entries.end(), {{"RealForward_kiss", RealForward_kiss, false},
                                       {"RealInverse_kiss", RealInverse_kiss, false},
                                       {"Complex_kiss", Complex_kiss, false}});
#endif
    for (int log2 = kMinLog2; log2 <= kMaxLog2; ++log2) {
        const int64_t n = int64_t{1} << log2;
        for (const Entry& e : entries) {
            if (!e.ours) {
                benchmark::RegisterBenchmark(e.name, e.fn)->Arg(n)->Unit(benchmark::kMicrosecond);
                continue;
            }
            for (zeltrak::FFTKernel k : gKernels)
                benchmark::RegisterBenchmark(e.name, e.fn)->Args({n, static_cast<int64_t>(k)})->Unit(benchmark::kMicrosecond);
        }
    }
    for (int64_t n : {4096, 65536, 1048576})
        benchmark::RegisterBenchmark("Frame_ours", Frame_ours)
            ->Args({n, static_cast<int64_t>(gKernels.back())})
            ->Unit(benchmark::kMicrosecond);
}

#ifdef ZELTRAK_HAVE_FFTW3F
// Which codelets and which SIMD FFTW chose for each measured plan.
void PrintPlans() {
    for (int kind = 0; kind < 3; ++kind)
        for (int log2 = kMinLog2; log2 <= kMaxLog2; ++log2) {
            std::printf("%s N=%u: ", kind == 0 ? "r2c" : kind == 1 ? "c2r" : "c2c", 1u << log2);
            fftwf_print_plan(Fftw(kind, 1u << log2).plan);
            std::printf("\n");
        }
    std::fflush(stdout);
}
#endif

// ---------------- accuracy against FFTW in double precision ----------------

#ifdef ZELTRAK_HAVE_FFTW3
void PrintAccuracy() {
    std::printf("Accuracy (relative RMS error, kernel %s): real forward vs fftw double, real round trip, "
                "complex forward vs fftw double\n",
                zeltrak::FFTKernelName(zeltrak::ActiveFFTKernel()));
    for (int log2 = kMinLog2; log2 <= kMaxLog2; ++log2) {
        const uint32_t n = 1u << log2;
        const std::vector<float> x = RandomFloats(2 * size_t{n}, 100 + log2);

        std::vector<double> din(x.begin(), x.begin() + n);
        std::vector<fftw_complex> dout(n / 2 + 1);
        fftw_plan p = fftw_plan_dft_r2c_1d(static_cast<int>(n), din.data(), dout.data(), FFTW_ESTIMATE);
        fftw_execute(p);
        fftw_destroy_plan(p);
        std::vector<float> ours(x.begin(), x.begin() + n);
        RealFFT(ours.data(), n, 1);
        double err = 0, ref = 0;
        auto add = [&](double got, double want) {
            err += (got - want) * (got - want);
            ref += want * want;
        };
        add(ours[0], 2 * dout[0][0]);
        add(ours[1], 2 * dout[n / 2][0]);
        for (uint32_t k = 1; k < n / 2; ++k) {
            add(ours[2 * k], 2 * dout[k][0]);
            add(ours[2 * k + 1], 2 * dout[k][1]);
        }
        const double forward = std::sqrt(err / ref);

        RealFFT(ours.data(), n, -1);
        err = ref = 0;
        for (uint32_t i = 0; i < n; ++i) add(ours[i], x[i]);
        const double roundTrip = std::sqrt(err / ref);

        std::vector<fftw_complex> cin(n), cout(n);
        for (uint32_t i = 0; i < n; ++i) {
            cin[i][0] = x[2 * i];
            cin[i][1] = x[2 * i + 1];
        }
        p = fftw_plan_dft_1d(static_cast<int>(n), cin.data(), cout.data(), FFTW_FORWARD, FFTW_ESTIMATE);
        fftw_execute(p);
        fftw_destroy_plan(p);
        std::vector<float> c = x;
        ComplexFFT(c.data(), n, 1);
        err = ref = 0;
        for (uint32_t k = 0; k < n; ++k) {
            add(c[2 * k], cout[k][0]);
            add(c[2 * k + 1], cout[k][1]);
        }
        const double complexErr = std::sqrt(err / ref);
        std::printf("  N=%-8u real %.3g  round trip %.3g  complex %.3g%s\n", n, forward, roundTrip, complexErr,
                    (forward > 3e-7 || roundTrip > 3e-7 || complexErr > 3e-7) ? "  ** above 3e-7 **" : "");
    }
    std::fflush(stdout);
}
#endif

// ---------------- the ratio table ----------------

// Keeps every repetition of every run; the table is built from them at the end.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            // args "N" for the others, "N/kernel" for ours
            const std::string& args = r.run_name.args;
            const size_t slash = args.find('/');
            const int64_t n = std::stoll(args.substr(0, slash));
            std::string name = r.run_name.function_name;
            if (slash != std::string::npos)
                name += std::string("_") + zeltrak::FFTKernelName(static_cast<zeltrak::FFTKernel>(std::stoi(args.substr(slash + 1))));
            times_[name][n].push_back(r.GetAdjustedCPUTime());
        }
    }

    void PrintTable() const {
        for (const char* op : {"RealForward", "RealInverse", "Complex"}) {
            std::printf("\n%s: median CPU microseconds [lowest, highest repetition in %% of the median]; ratio ours/fftw\n", op);
            std::printf("  %-8s %-22s", "N", "fftw");
            for (zeltrak::FFTKernel k : gKernels) std::printf(" %-22s %6s", zeltrak::FFTKernelName(k), "ratio");
            std::printf("\n");
            const auto fftw = times_.find(std::string(op) + "_fftw");
            for (int log2 = kMinLog2; log2 <= kMaxLog2; ++log2) {
                const int64_t n = int64_t{1} << log2;
                const Stats f = Summary(fftw, n);
                std::printf("  %-8lld %-22s", static_cast<long long>(n), f.text);
                for (zeltrak::FFTKernel k : gKernels) {
                    const Stats s = Summary(times_.find(std::string(op) + "_ours_" + zeltrak::FFTKernelName(k)), n);
                    std::printf(" %-22s %6.2f", s.text, f.median > 0 ? s.median / f.median : 0.0);
                }
                std::printf("\n");
            }
        }
        const auto frame = times_.find(std::string("Frame_ours_") + zeltrak::FFTKernelName(gKernels.back()));
        if (frame != times_.end()) {
            std::printf("\nOne frame (Hanning window + real FFT + bin powers), median microseconds\n");
            for (const auto& [n, t] : frame->second)
                std::printf("  N=%-9lld %s\n", static_cast<long long>(n), Summary(frame, n).text);
        }
    }

private:
    using Times = std::map<std::string, std::map<int64_t, std::vector<double>>>;
    struct Stats {
        double median = 0;
        char text[32] = "-";
    };
    Stats Summary(Times::const_iterator it, int64_t n) const {
        Stats s;
        if (it == times_.end()) return s;
        const auto f = it->second.find(n);
        if (f == it->second.end() || f->second.empty()) return s;
        std::vector<double> t = f->second;
        std::sort(t.begin(), t.end());
        const size_t m = t.size();
        s.median = m % 2 ? t[m / 2] : 0.5 * (t[m / 2 - 1] + t[m / 2]);
        std::snprintf(s.text, sizeof s.text, "%.3f [%+.0f,%+.0f]", s.median, 100 * (t.front() / s.median - 1),
                      100 * (t.back() / s.median - 1));
        return s;
    }
    Times times_;
};

// The honest defaults: several short repetitions, interleaved at random.
void AddDefaultBenchmarkFlags(std::vector<char*>& args) {
    for (char* a : args)
        if (std::strncmp(a, "--benchmark_repetitions", 23) == 0) return;
    static char reps[] = "--benchmark_repetitions=7";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    static char minTime[] = "--benchmark_min_time=0.05";
    args.insert(args.end(), {reps, interleave, minTime});
}

}  // namespace

int main(int argc, char** argv) {
    bool accuracy = true, table = true, plans = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-accuracy") == 0)
            accuracy = false;
        else if (std::strcmp(argv[i], "--no-table") == 0)
            table = false;
        else if (std::strcmp(argv[i], "--plans") == 0)
            plans = true;
        else if (std::strcmp(argv[i], "--kiss") == 0)
            gKiss = true;
        else if (std::strncmp(argv[i], "--kernel=", 9) == 0) {
            for (auto k : {zeltrak::FFTKernel::Generic, zeltrak::FFTKernel::Avx2, zeltrak::FFTKernel::Avx512})
                if (std::strcmp(argv[i] + 9, zeltrak::FFTKernelName(k)) == 0 && zeltrak::FFTKernelAvailable(k))
                    gKernels = {k};
            if (gKernels.empty()) {
                std::fprintf(stderr, "kernel %s is unknown or not supported here\n", argv[i] + 9);
                return 1;
            }
        } else
            args.push_back(argv[i]);
    }
    if (gKernels.empty())
        for (auto k : {zeltrak::FFTKernel::Generic, zeltrak::FFTKernel::Avx2, zeltrak::FFTKernel::Avx512})
            if (zeltrak::FFTKernelAvailable(k)) gKernels.push_back(k);
    AddDefaultBenchmarkFlags(args);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
#ifdef ZELTRAK_HAVE_FFTW3
    for (zeltrak::FFTKernel k : gKernels)
        if (accuracy && zeltrak::SelectFFTKernel(k)) PrintAccuracy();
#else
    (void)accuracy;
#endif
#ifdef ZELTRAK_HAVE_FFTW3F
    if (plans) PrintPlans();
#else
    (void)plans;
#endif
    RegisterAll();
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (table) reporter.PrintTable();
    benchmark::Shutdown();
    return 0;
}
