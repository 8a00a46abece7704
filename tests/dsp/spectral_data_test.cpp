#include "dsp/spectral_data.h"

#include <gtest/gtest.h>

#include <limits>

#include "dsp/spectral_test_support.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

TEST(SpectralTransform, PackedSpectrumNormalisedToFullScaleAgainstADirectDft) {
    std::mt19937 rng(1);
    TSpectralData s(Settings(64), Scaling(), 0);
    ASSERT_EQ(s.error(), 0u);
    const std::vector<float> frame = Noise(64, rng);
    const std::vector<cd> got = Feed(s, frame);
    std::vector<cd> X(64);
    for (size_t k = 0; k < 64; ++k)
        for (size_t t = 0; t < 64; ++t) X[k] += static_cast<double>(frame[t]) * std::polar(1.0, -2.0 * kPi * ((k * t) % 64) / 64);
    const double norm = 2.0 / (64 * kFullScale16);
    EXPECT_NEAR(got[0].real(), X[0].real() * norm, 1e-5);  // bin 0 carries DC and Nyquist
    EXPECT_NEAR(got[0].imag(), X[32].real() * norm, 1e-5);
    for (uint32_t k = 1; k < 32; ++k) EXPECT_LT(std::abs(got[k] - X[k] * norm), 1e-5) << k;

    // a full-scale sine on a bin reads 0 dB and its phase; the peak search starts at bin 5
    std::vector<float> tone = Tone(64, 9, kFullScale16, 30.0 * kPi / 180.0), low = Tone(64, 2, 4 * kFullScale16);
    for (int i = 0; i < 64; ++i) tone[i] += low[i];
    Feed(s, tone);
    s.Average();
    EXPECT_NEAR(s.AverageDb()[9], 0.0, 1e-4);
    EXPECT_NEAR(s.PhaseDegrees(9), 30.0, 1e-3);
    EXPECT_EQ(s.PeakBin(), 9u);
}

TEST(SpectralDecibels, FastPowerToDbMatchesTheLibraryLogarithm) {
    double worst = 0;
    for (float p = std::numeric_limits<float>::min(); std::isfinite(p); p *= 1.0371f)
        for (float q : {p, std::nextafter(p, 0.0f), p * 1.41421356f, p * 0.70710678f})
            if (std::isfinite(q) && q >= std::numeric_limits<float>::min())
                worst = std::max(worst, std::abs(PowerToDbFast(q) - 10.0 * std::log10(static_cast<double>(q))));
    EXPECT_LT(worst, 5e-5);  // a few float ulps of values up to ±400 dB
    EXPECT_FLOAT_EQ(PowerToDbFast(0.0f), -999.9f);
    EXPECT_FLOAT_EQ(PowerToDbFast(-1.0f), -999.9f);
    EXPECT_NEAR(PowerToDbFast(1e-40f), -400.0, 1e-2);  // subnormal
    EXPECT_TRUE(std::isinf(PowerToDbFast(std::numeric_limits<float>::infinity())));
}

TEST(SpectralAxis, FrequenciesFollowRateDecimationAndCorrection) {
    SpectralSettings settings = Settings(4096);
    settings.decimationRatio = 2;
    settings.samplingRateCorrection = 1.001f;
    TSpectralData s(settings, Scaling(0), 0);
    const double nyquist = 48000 * 1.001 * 0.5 / 2;
    EXPECT_NEAR(s.Nyquist(), nyquist, 1e-2);
    EXPECT_NEAR(s.BinFrequency(100), 100 * nyquist / 2048, 1e-3);
    EXPECT_FLOAT_EQ(s.BinFrequency(5000), s.Nyquist());
}

// Frames through one object; returns the complex spectrum of each.
std::vector<std::vector<cd>> RunFrames(TSpectralData& s, int frames, std::mt19937& rng, double level = 10000) {
    std::vector<std::vector<cd>> seen;
    for (int f = 0; f < frames; ++f) {
        seen.push_back(Feed(s, Noise(s.FFTSize(), rng, level)));
        s.Average();
    }
    return seen;
}

// Every averaged bin against the weighted mean of the frames: the power is the mean of the
// powers, or under vector averaging the power of the mean.
void ExpectWeighted(const TSpectralData& s, const std::vector<std::vector<cd>>& frames,
                    const std::vector<double>& weights, bool vector = false) {
    for (uint32_t k = 0; k + 1 < s.Bins(); ++k) {
        cd c = 0;
        double p = 0;
        for (size_t f = 0; f < frames.size(); ++f) {
            c += weights[f] * frames[f][k];
            p += weights[f] * std::norm(frames[f][k]);
        }
        if (vector) p = std::norm(c);
        ASSERT_LT(RelDiff(s.AveragePower()[k], p), 1e-5) << k;
        ASSERT_LT(std::abs(AveragedBin(s, k) - c), 1e-5 * std::sqrt(p)) << k;
    }
}

TEST(SpectralAverage, EveryTypeAgainstItsClosedForm) {
    const double q = 0.75 * 0.75 * 0.25;  // exponential: the mean of four, then 1/4 for each new frame
    const struct {
        const char* what;
        uint32_t type, blocks;
        std::vector<double> weights;  // of the frames run, oldest first
    } cases[] = {
        {"linear, filling", kAverageLinear, 4, {0.5, 0.5}},
        {"linear, ring", kAverageLinear, 4, {0, 0, 0.25, 0.25, 0.25, 0.25}},
        {"linear beyond the history", kAverageLinear, 2000, {0.2, 0.2, 0.2, 0.2, 0.2}},
        {"exponential", kAverageExponential, 4, {q, q, q, q, 0.25 * 0.75, 0.25}},
        {"vector", kAverageVector, 4, {q, q, q, q, 0.25 * 0.75, 0.25}},
        {"exponential, one block", kAverageExponential, 1, {0, 0, 1}},
        {"linear, one block", kAverageLinear, 1, {0, 0, 1}},
        {"vector, one block", kAverageVector, 1, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::mt19937 rng(2);
        TSpectralData s(Settings(64, c.blocks, c.type), Scaling(), 0);
        const auto frames = RunFrames(s, static_cast<int>(c.weights.size()), rng);
        EXPECT_EQ(s.Averaged(), std::min<size_t>(c.blocks, c.weights.size()));
        ExpectWeighted(s, frames, c.weights, c.type == kAverageVector);
    }
}

TEST(SpectralAverage, PeakHoldKeepsTheLargestPowerAndItsFrame) {
    std::mt19937 rng(6);
    TSpectralData s(Settings(64, 1, kAverageExponential, true), Scaling(), 0);
    const auto frames = RunFrames(s, 6, rng);
    for (uint32_t k = 0; k + 1 < 32; ++k) {
        size_t best = 0;
        for (size_t f = 1; f < frames.size(); ++f)
            if (std::norm(frames[f][k]) > std::norm(frames[best][k])) best = f;
        EXPECT_LT(std::abs(AveragedBin(s, k) - frames[best][k]), 1e-6) << k;
        EXPECT_LT(RelDiff(s.AveragePower()[k], std::norm(frames[best][k])), 1e-5) << k;
    }
}

TEST(SpectralAverage, ResetZeroBlocksAndLongLinearRunsStayExact) {
    std::mt19937 rng(7);
    TSpectralData s(Settings(64, 4, kAverageLinear), Scaling(1), 0);
    RunFrames(s, 3, rng);
    EXPECT_FLOAT_EQ(s.AverageDb()[31], -999.9f);  // the last bin is never averaged
    s.ResetAverage();
    EXPECT_EQ(s.Averaged(), 0u);
    for (uint32_t k = 0; k < 32; ++k) EXPECT_FLOAT_EQ(s.AverageDb()[k], -999.9f);
    ExpectWeighted(s, RunFrames(s, 1, rng), {1.0});  // the history was cleared too
    // zero blocks would divide by zero; they average like one
    ASSERT_TRUE(s.SetAverage(0, kAverageExponential));
    ExpectWeighted(s, RunFrames(s, 2, rng), {0, 1});

    // A loud stretch, then one 120 dB quieter: running sums never refreshed would carry the
    // loud stretch's rounding into the quiet values.
    TSpectralData l(Settings(32, 7, kAverageLinear), Scaling(0), 0);
    RunFrames(l, 2000, rng, 30000.0);
    const auto quiet = RunFrames(l, 1000, rng, 0.03);
    ExpectWeighted(l, std::vector<std::vector<cd>>(quiet.end() - 7, quiet.end()), std::vector<double>(7, 1.0 / 7));
}

// Refuses every allocation above a size, to walk the out-of-memory paths.
size_t gAllocationLimit = 0;
bool RefuseLarge(size_t bytes) { return bytes <= gAllocationLimit; }

TEST(SpectralFailure, ImpossibleSizesAndFailedAllocationsLeaveAnInertObject) {
    ScriptedHost host;
    for (uint32_t size : {0u, 48u, 1u << 21}) {
        TSpectralData s(Settings(size), Scaling(), 0, &host);
        EXPECT_EQ(s.error(), 1u) << size;
        s.SetInput(0, 1.0f);
        EXPECT_FALSE(s.Transform());
        s.Average();
        s.ResetAverage();
        EXPECT_FALSE(s.SetAverage(10, kAverageLinear));
        EXPECT_EQ(s.AveragePower(), nullptr);
        EXPECT_EQ(s.PhaseDegrees(3), 0.0);
    }
    EXPECT_TRUE(host.messages.empty());

    gAllocationLimit = 0;
    SetSpectralAllocationGate(RefuseLarge);
    TSpectralData dead(Settings(1024), Scaling(), 0, &host);
    EXPECT_EQ(dead.error(), 1u);
    EXPECT_EQ(host.messages.size(), 1u);
    // room for the spectrum but not for 1000 blocks of history
    gAllocationLimit = 64 * 1024;
    TSpectralData s(Settings(1024, 4, kAverageLinear), Scaling(), 0, &host);
    EXPECT_EQ(s.error(), 0u);
    EXPECT_FALSE(s.SetAverage(1000, kAverageLinear));
    SetSpectralAllocationGate(nullptr);
    EXPECT_EQ(s.error(), 1u);
    EXPECT_EQ(host.messages.size(), 2u);
    s.Average();
    EXPECT_FALSE(s.Transform());
}

}  // namespace
}  // namespace zeltrak
