#pragma once
// The main of the comparing benchmarks: unless the command line says otherwise, every
// benchmark runs several times, in a shuffled order so that ours and the reference alternate
// under the same load, and only the median, mean, standard deviation and cv are reported.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

inline std::vector<char*> WithAlternatingDefaults(int argc, char** argv) {
    static std::string defaults[] = {"--benchmark_repetitions=7", "--benchmark_enable_random_interleaving=true",
                                     "--benchmark_report_aggregates_only=true"};
    std::vector<char*> args{argv[0]};
    // Google Benchmark keeps the last value of a flag given twice, so the caller's win.
    for (std::string& d : defaults) args.push_back(d.data());
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    return args;
}

inline void InitializeAlternating(int& argc, char**& argv) {
    static std::vector<char*> args;
    args = WithAlternatingDefaults(argc, argv);
    argc = static_cast<int>(args.size()) - 1;
    argv = args.data();
    benchmark::Initialize(&argc, argv);
}

#define ZELTRAK_ALTERNATING_BENCHMARK_MAIN()              \
    int main(int argc, char** argv) {                     \
        InitializeAlternating(argc, argv);                \
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1; \
        benchmark::RunSpecifiedBenchmarks();              \
        benchmark::Shutdown();                            \
        return 0;                                         \
    }
