// Wave-file throughput and memory. Creates one large 16-bit stereo recording in $TMPDIR
// (2048 MiB by default; ZELTRAK_BENCH_WAVE_MB changes it), measures
//   - writing it as a disk-mode recording (1 MiB buffers, sizes kept current),
//   - `cat FILE > /dev/null` on it, the yardstick,
//   - sequential ReadBytes blocks in disk mode and in memory mode (after loading),
//   - ReadChannel of one channel in disk mode, with the peak resident memory while it runs,
// prints the medians and their ratios to cat, and deletes the file.
#include <benchmark/benchmark.h>

#include "bench_main.h"
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "files/wave_file.h"

namespace {

using namespace zeltrak;
using Clock = std::chrono::steady_clock;

std::string g_file;
uint64_t g_bytes = 0;
std::map<std::string, std::vector<double>> g_seconds;
std::map<std::string, double> g_peakMb;

// Peak resident set since the last reset, in MiB.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }
double PeakRssMb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmHWM:") {
            double kb;
            in >> kb;
            return kb / 1024.0;
        }
        in.ignore(1 << 16, '\n');
    }
    return -1;
}

void Record(benchmark::State& state, const char* name, double seconds, uint64_t bytes) {
    state.SetIterationTime(seconds);
    g_seconds[name].push_back(seconds);
    state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(bytes));
}

void BM_Cat(benchmark::State& state) {
    const std::string cmd = "cat '" + g_file + "' > /dev/null";
    for (auto _ : state) {
        auto t0 = Clock::now();
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("cat failed");
        Record(state, "cat", std::chrono::duration<double>(Clock::now() - t0).count(), g_bytes);
    }
}

// Sequential block reads of the whole file; range(0) is the block size, range(1) the storage mode.
void BM_ReadBytes(benchmark::State& state) {
    const auto mode = static_cast<uint16_t>(state.range(1));
    const char* label = mode == TWaveFile::kDiskMode ? "disk ReadBytes" : "memory ReadBytes";
    TWaveFile w(g_file, mode, false);
    if (w.Error()) return state.SkipWithError("open failed");
    std::vector<uint8_t> block(static_cast<size_t>(state.range(0)));
    uint64_t sum = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        w.Rewind();
        uint64_t got = 0;
        for (uint32_t n; (n = w.ReadBytes(block.data(), static_cast<uint32_t>(block.size()))) > 0;) {
            got += n;
            sum += block[0];
            if (n < block.size()) break;
        }
        Record(state, label, std::chrono::duration<double>(Clock::now() - t0).count(), got);
    }
    benchmark::DoNotOptimize(sum);
}

void BM_DiskReadChannel(benchmark::State& state) {
    TWaveFile w(g_file, TWaveFile::kDiskMode, false);
    if (w.Error()) return state.SkipWithError("open failed");
    const uint32_t frames = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> channel(frames * 2);
    uint64_t sum = 0;
    for (auto _ : state) {
        ResetPeakRss();
        auto t0 = Clock::now();
        for (uint32_t at = 0; at + frames <= w.Length(); at += frames) {
            if (!w.ReadChannel(channel.data(), at, frames, 1)) {
                state.SkipWithError("read failed");
                break;
            }
            sum += channel[1];
        }
        Record(state, "disk ReadChannel", std::chrono::duration<double>(Clock::now() - t0).count(), g_bytes);
        g_peakMb["disk ReadChannel"] = std::max(g_peakMb["disk ReadChannel"], PeakRssMb());
    }
    state.counters["peak_rss_MiB"] = g_peakMb["disk ReadChannel"];
    benchmark::DoNotOptimize(sum);
}

void BM_MemoryLoad(benchmark::State& state) {
    for (auto _ : state) {
        auto t0 = Clock::now();
        TWaveFile w(g_file, TWaveFile::kMemoryMode, false);
        Record(state, "memory load", std::chrono::duration<double>(Clock::now() - t0).count(), g_bytes);
        if (w.Error()) state.SkipWithError("open failed");
    }
}

BENCHMARK(BM_Cat)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBytes)->Args({1 << 20, TWaveFile::kDiskMode})->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiskReadChannel)->Arg(65536)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryLoad)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBytes)->Args({1 << 20, TWaveFile::kMemoryMode})->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Writes the test file as a disk-mode recording would, one 1 MiB buffer at a time.
bool CreateFile(uint64_t megabytes) {
    TWaveFile w(SampleFormat::Make(48000, 2, 2), false, TWaveFile::SystemTempDir());
    if (w.Error()) return false;
    std::vector<uint8_t> block(1 << 20);
    uint32_t x = 12345;
    for (auto& b : block) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    auto t0 = Clock::now();
    for (uint64_t i = 0; i < megabytes; ++i) {
        block[0] = static_cast<uint8_t>(i);
        if (!w.WriteBytes(block.data(), static_cast<uint32_t>(block.size()))) return false;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    g_seconds["disk recording write"].push_back(seconds);
    g_file = w.TempDir() + "/wavbench-" + std::to_string(getpid()) + ".wav";
    w.SetName(g_file);
    if (!w.FinaliseAndClose()) return false;
    g_bytes = megabytes << 20;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    InitializeAlternating(argc, argv);
    const char* mb = std::getenv("ZELTRAK_BENCH_WAVE_MB");
    const uint64_t megabytes = mb ? std::strtoull(mb, nullptr, 10) : 2048;
    if (megabytes == 0 || megabytes > 4000 || !CreateFile(megabytes)) {
        std::fprintf(stderr, "could not create the test file\n");
        return 1;
    }
    std::system(("cat '" + g_file + "' > /dev/null").c_str());  // same cache state for everyone
    benchmark::RunSpecifiedBenchmarks();
    ::unlink(g_file.c_str());

    const double cat = Median(g_seconds["cat"]);
    std::printf("\nfile: %llu MiB, 16-bit stereo\n", static_cast<unsigned long long>(megabytes));
    for (const auto& [name, v] : g_seconds) {
        const double m = Median(v);
        const auto [low, high] = std::minmax_element(v.begin(), v.end());
        std::printf("%-22s median %8.3f s (%zu runs, %.3f to %.3f)  %8.1f MiB/s  speed vs cat %.2f", name.c_str(), m,
                    v.size(), *low, *high, static_cast<double>(megabytes) / m, cat > 0 ? cat / m : 0.0);
        if (g_peakMb.count(name)) std::printf("  peak RSS %.1f MiB", g_peakMb[name]);
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
