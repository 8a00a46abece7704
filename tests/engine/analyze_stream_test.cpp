// The analyse command streams its file a block at a time; blocks that end inside a frame and
// inside a sample must give the CSV of the same file held whole in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/analyze_command.h"
#include "engine/engine.h"
#include "engine/wave_file_status.h"
#include "files/wave_file.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wave_builder.h"

namespace zeltrak {
namespace {

// A 1 kHz tone plus pattern noise at 8 kHz, 3 s, stored as `width`-byte integers or floats.
std::vector<uint8_t> ToneFile(uint16_t channels, uint16_t width, bool isFloat) {
    const std::vector<uint8_t> noise = test::PatternBytes(24000 * channels, 7);
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < 24000 * channels; ++i) {
        const double v = 0.5 * std::sin(2 * M_PI * 1000.0 * (i / channels) / 8000.0) + (noise[i] - 128) / 2048.0;
        if (isFloat && width == 4) {
            test::Put32(data, std::bit_cast<uint32_t>(static_cast<float>(v)));
        } else if (isFloat) {
            const auto bits = std::bit_cast<uint64_t>(v);
            test::Put32(data, static_cast<uint32_t>(bits)), test::Put32(data, static_cast<uint32_t>(bits >> 32));
        } else {
            const auto x = static_cast<uint32_t>(std::lround(v * (1 << (8 * width - 1))));
            for (int b = 0; b < width; ++b) data.push_back(static_cast<uint8_t>(x >> (8 * b)));
        }
    }
    return test::SimpleWave(channels, width, 8000, data, isFloat ? 3 : 1);
}

// The CSV of analysing `path`; readAhead 0 swaps in the whole file in memory before the run.
std::string AnalyseToCsv(const std::string& path, const std::vector<std::string>& args, uint32_t readAhead) {
    AnalyzeOptions options;
    std::string error;
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    if (!ParseAnalyzeArguments(all, options, error)) return "bad arguments: " + error;
    ScriptedHost host;
    TFileAnalysis analysis(host, ProcessingSettings{}, CalibrationRecord{});
    int status = 0;
    if (!analysis.Open(options, error, status)) return "cannot open: " + error;
    TWaveFile& streamed = *analysis.Engine().WaveFile();
    if (streamed.StorageMode() != TWaveFile::kStreamMode) return "the whole file was loaded";
    if (readAhead == 0) analysis.Engine().SetWaveFile(MakeWaveFile(host, path, TWaveFile::kMemoryMode, false));
    else streamed.SetReadAheadBytes(readAhead);
    if (!analysis.RunToEnd(nullptr)) return "run failed";
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    WriteSpectrumCsv(analysis.Engine(), out);
    std::fclose(out);
    std::string csv(text, size);
    std::free(text);
    return csv;
}

TEST(AnalyzeStream, BlocksEndingMidFrameGiveTheInMemoryCsv) {
    struct Case {
        uint16_t channels, width;
        bool isFloat;
        uint32_t readAhead;  // bytes; none a multiple of a frame or a sample
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {2, 2, false, 1001, {"--fft", "256", "--overlap", "50"}},
        {1, 3, false, 4099, {"--fft", "512", "--overlap", "75", "--window", "blackman"}},
        {2, 4, true, 999, {"--fft", "1024", "--channels", "cross-lr", "--average-type", "linear"}},
        {1, 8, true, 333, {"--fft", "256", "--decimation", "3"}},
    };
    testing::TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.File("in.wav");
        test::WriteAll(path, ToneFile(c.channels, c.width, c.isFloat));
        const std::string inMemory = AnalyseToCsv(path, c.args, 0);
        SCOPED_TRACE(std::to_string(c.width) + "-byte " + (c.isFloat ? "float" : "integer"));
        EXPECT_GT(std::count(inMemory.begin(), inMemory.end(), '\n'), 100) << inMemory.substr(0, 200);
        EXPECT_EQ(AnalyseToCsv(path, c.args, c.readAhead), inMemory);
    }
}

}  // namespace
}  // namespace zeltrak
