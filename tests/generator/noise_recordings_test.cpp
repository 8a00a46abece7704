#include "generator/noise_recordings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <vector>

#include "dsp/fft.h"

namespace zeltrak {
namespace {

// The test data folder need not exist, so the path is taken apart as text.
const std::string kResourceDir =
    std::filesystem::path(ZELTRAK_TEST_DATA_DIR).parent_path().parent_path().string() + "/resources/generator/";

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

double RmsDbFullScale(std::span<const int16_t> samples) {
    double sum = 0.0;
    for (int16_t s : samples) sum += double(s) * s;
    return 10.0 * std::log10(sum / samples.size()) - 20.0 * std::log10(32768.0);
}

// Slope in dB per decade of a least-squares line through a Welch power spectrum (Hann
// segments of 8192, half overlapping) between 50 Hz and 10 kHz.
double SpectrumSlopeDbPerDecade(std::span<const int16_t> samples) {
    constexpr uint32_t n = 8192;
    std::vector<double> power(n / 2, 0.0);
    std::vector<float> segment(n);
    for (size_t start = 0; start + n <= samples.size(); start += n / 2) {
        for (uint32_t i = 0; i < n; ++i)
            segment[i] = samples[start + i] * float(0.5 - 0.5 * std::cos(2.0 * M_PI * i / n));
        EXPECT_TRUE(RealFFT(segment.data(), n, 1));
        for (uint32_t k = 1; k < n / 2; ++k)
            power[k] += segment[2 * k] * segment[2 * k] + segment[2 * k + 1] * segment[2 * k + 1];
    }
    double sx = 0, sy = 0, sxx = 0, sxy = 0, count = 0;
    for (uint32_t k = 1; k < n / 2; ++k) {
        const double hz = k * 44100.0 / n;
        if (hz < 50.0 || hz > 10000.0) continue;
        const double x = std::log10(hz), y = 10.0 * std::log10(power[k]);
        sx += x, sy += y, sxx += x * x, sxy += x * y, count += 1;
    }
    return (count * sxy - sx * sy) / (count * sxx - sx * sx);
}

TEST(NoiseRecordings, CompiledInAsCommittedWithTheirCountsLevelsAndSlope) {
    struct Case { NoiseRecording which; const char* file; size_t stored; double rmsDb; };
    for (const Case& c : {Case{NoiseRecording::White, "white_noise.wav", 44423, -11.6},
                          Case{NoiseRecording::Pink, "pink_noise.wav", 181245, -14.0}}) {
        SCOPED_TRACE(c.file);
        const std::vector<unsigned char> file = ReadBytes(kResourceDir + c.file);
        const auto bytes = NoiseRecordingBytes(c.which);
        ASSERT_EQ(file.size(), 44 + 2 * c.stored);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin(), file.end()));
        // Played from the 23rd sample up to the last stored one, never beyond it.
        const auto played = NoiseRecordingSamples(c.which);
        ASSERT_EQ(played.size(), c.stored - 22);
        for (size_t i = 0; i < played.size(); ++i) {
            const size_t at = 44 + 2 * (22 + i);
            ASSERT_EQ(played[i], int16_t(file[at] | file[at + 1] << 8)) << i;
        }
        EXPECT_NEAR(RmsDbFullScale(played), c.rmsDb, 0.1);
    }
    EXPECT_NEAR(SpectrumSlopeDbPerDecade(NoiseRecordingSamples(NoiseRecording::Pink)), -10.0, 1.0);
    EXPECT_NEAR(SpectrumSlopeDbPerDecade(NoiseRecordingSamples(NoiseRecording::White)), 0.0, 1.0);
    // A resource too short to hold the skipped samples plays nothing rather than reading past its end.
    for (size_t bytes : {0, 44, 44 + 2 * 22}) EXPECT_EQ(UsableNoiseRange(bytes).count, 0u) << bytes;
    EXPECT_EQ(UsableNoiseRange(44 + 2 * 23).count, 1u);
}

}  // namespace
}  // namespace zeltrak
