// A file analysed in ranges on several threads, the ranges' averages merged, must give the
// sequential run's average; settings whose average depends on the order of the frames must
// keep the sequential run.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/spectral_data.h"
#include "engine/analyze_command.h"
#include "engine/engine.h"
#include "files/wave_file.h"
#include "support/scripted_host.h"
#include "support/temp_dir.h"
#include "support/wave_builder.h"

namespace zeltrak {
namespace {

// 4 s of 16-bit stereo at 8 kHz: a tone plus pattern noise on the left, other noise and a
// louder stretch in the middle on the right, so that the ranges' averages differ.
std::vector<uint8_t> StereoFile() {
    const std::vector<uint8_t> noise = test::PatternBytes(2 * 32000, 11);
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < 32000; ++i) {
        const double l = 0.4 * std::sin(2 * M_PI * 1000.0 * i / 8000.0) + (noise[2 * i] - 128) / 1024.0;
        const double r = (noise[2 * i + 1] - 128) / (i > 12000 && i < 20000 ? 300.0 : 2048.0);
        for (double v : {l, r}) {
            const auto x = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767)));
            data.push_back(static_cast<uint8_t>(x)), data.push_back(static_cast<uint8_t>(x >> 8));
        }
    }
    return test::SimpleWave(2, 2, 8000, data, 1);
}

bool Open(TFileAnalysis& analysis, const std::string& path, const std::vector<std::string>& args,
          AnalyzeOptions& options) {
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    std::string error;
    int status = 0;
    return ParseAnalyzeArguments(all, options, error) && analysis.Open(options, error, status);
}

// Every bin within 1e-6 of the larger value (a float mean's rounding differs with the order).
void ExpectSamePowers(const float* a, const float* b, uint32_t n) {
    uint32_t off = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (std::abs(a[i] - b[i]) > 1e-9 * std::max(std::abs(a[i]), std::abs(b[i]))) ++off;
    EXPECT_EQ(off, 0u) << "of " << n;
}

TEST(AnalyzeRanges, MergedRangesGiveTheSequentialAverage) {
    struct Case {
        std::vector<std::string> args;
        bool merges;
        bool peakHold = false;
        bool bands = false;
    };
    const Case cases[] = {
        {{"--fft", "256", "--overlap", "50"}, true},
        {{"--fft", "1024", "--average-type", "linear", "--channels", "average"}, true},
        {{"--fft", "512", "--overlap", "75", "--channels", "cross-rl", "--window", "blackman"}, true},
        {{"--fft", "256", "--decimation", "3", "--channels", "right", "--average-type", "exponential"}, true},
        {{"--fft", "2048", "--overlap", "90"}, true, false, true},
        {{"--fft", "256", "--average-type", "vector"}, false},
        {{"--fft", "256", "--channels", "tfc-lr"}, false},
        {{"--fft", "256", "--average", "10", "--average-type", "linear"}, false},
        {{"--fft", "256", "--average", "20", "--average-type", "exponential"}, false},
        {{"--fft", "256"}, false, true},
    };
    testing::TempDir dir;
    const std::string path = dir.File("in.wav");
    test::WriteAll(path, StereoFile());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args.back() + (c.peakHold ? " peak hold" : "") + (c.bands ? " bands" : ""));
        ProcessingSettings base;
        base.Settings().PeakHold = c.peakHold;
        if (c.bands) base.Scaling().FreqScaleType = kFreqOctaveBands;
        ScriptedHost host;
        AnalyzeOptions options;
        TFileAnalysis sequential(host, base, CalibrationRecord{}), ranges(host, base, CalibrationRecord{});
        ASSERT_TRUE(Open(sequential, path, c.args, options) && Open(ranges, path, c.args, options));
        ASSERT_TRUE(sequential.RunToEnd(nullptr));
        options.jobs = 3;
        ASSERT_TRUE(ranges.RunAll(options, nullptr, false));
        const uint64_t frames = FileFrameCount(sequential.Settings().Settings(), 32000);
        EXPECT_EQ(sequential.Engine().FrameCount(), frames);
        EXPECT_EQ(RangesMergeable(ranges.Settings(), frames), c.merges);
        for (int i = 0; i < 4; ++i) {
            const TSpectralData* s = sequential.Engine().Spectrum(i);
            const TSpectralData* r = ranges.Engine().Spectrum(i);
            ASSERT_EQ(s == nullptr, r == nullptr);
            if (!s) continue;
            EXPECT_EQ(r->Averager().Averaged(), s->Averager().Averaged());
            ExpectSamePowers(s->AveragePower(), r->AveragePower(), s->Bins());
            if (c.bands) ExpectSamePowers(s->BandAxis().Values(), r->BandAxis().Values(), s->BandAxis().Count());
        }
    }
}

}  // namespace
}  // namespace zeltrak
