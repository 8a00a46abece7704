#include "dsp/spectral_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <complex>
#include <random>
#include <vector>

#include "base/strings.h"
#include "dsp/spectral_test_support.h"
#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

// Direct DFT of a real frame, X[k] = Σ x[n] e^{-i2πkn/N}.
std::vector<cd> DirectDft(const std::vector<float>& x) {
    const size_t n = x.size();
    std::vector<cd> X(n);
    for (size_t k = 0; k < n; ++k)
        for (size_t t = 0; t < n; ++t) X[k] += static_cast<double>(x[t]) * std::polar(1.0, -2.0 * kPi * ((k * t) % n) / n);
    return X;
}

TEST(SpectralTransform, PackedSpectrumNormalisedToFullScale) {
    std::mt19937 rng(1);
    TSpectralData s(Settings(64), Scaling(), 0);
    ASSERT_EQ(s.error(), 0u);
    const std::vector<float> frame = Noise(64, rng);
    const std::vector<cd> got = Feed(s, frame);
    const std::vector<cd> X = DirectDft(frame);
    const double norm = 2.0 / (64 * kFullScale16);
    // bin 0 carries DC and Nyquist, both real
    EXPECT_NEAR(got[0].real(), X[0].real() * norm, 1e-5);
    EXPECT_NEAR(got[0].imag(), X[32].real() * norm, 1e-5);
    for (uint32_t k = 1; k < 32; ++k) {
        EXPECT_NEAR(got[k].real(), X[k].real() * norm, 1e-5) << k;
        EXPECT_NEAR(got[k].imag(), X[k].imag() * norm, 1e-5) << k;
    }

    // A full-scale sine on a bin reads 1.0, that is 0 dB, and its phase in degrees.
    Feed(s, Tone(64, 9, kFullScale16, 30.0 * kPi / 180.0));
    s.Average();
    EXPECT_NEAR(s.AveragePower()[9], 1.0, 1e-5);
    EXPECT_NEAR(s.AverageDb()[9], 0.0, 1e-4);
    EXPECT_NEAR(s.PhaseDegrees(9), 30.0, 1e-3);
    EXPECT_EQ(s.PeakBin(), 9u);

    // binScale is applied after the transform, bin by bin.
    s.BinScale()[9] *= 2.0f;
    const std::vector<cd> doubled = Feed(s, Tone(64, 9, kFullScale16));
    EXPECT_NEAR(std::abs(doubled[9]), 2.0, 1e-5);
}

TEST(SpectralDecibels, FastPowerToDbMatchesTheLibraryLogarithm) {
    // every binade from the smallest normal float up, at irregular mantissas and at the points
    // where the mantissa range is split
    double worst = 0;
    for (float p = std::numeric_limits<float>::min(); std::isfinite(p); p *= 1.0371f) {
        for (float q : {p, std::nextafter(p, 0.0f), p * 1.41421356f, p * 0.70710678f}) {
            if (!std::isfinite(q) || q < std::numeric_limits<float>::min()) continue;
            worst = std::max(worst, std::abs(PowerToDbFast(q) - 10.0 * std::log10(static_cast<double>(q))));
        }
    }
    EXPECT_LT(worst, 5e-5);  // a few float ulps of values up to ±400 dB
    EXPECT_FLOAT_EQ(PowerToDbFast(1.0f), 0.0f);
    EXPECT_NEAR(PowerToDbFast(2.0f), 3.0103, 1e-4);
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
    EXPECT_NEAR(s.BinWidth(), nyquist / 2048, 1e-5);
    EXPECT_NEAR(s.BinFrequency(100), 100 * nyquist / 2048, 1e-3);
    EXPECT_FLOAT_EQ(s.BinFrequency(2048), s.Nyquist());
    EXPECT_FLOAT_EQ(s.BinFrequency(5000), s.Nyquist());
    EXPECT_EQ(s.AverageDb(), nullptr);  // linear amplitude axis keeps no dB copy
}

// Runs frames through one object and returns the complex spectrum of each.
std::vector<std::vector<cd>> RunFrames(TSpectralData& s, int frames, std::mt19937& rng) {
    std::vector<std::vector<cd>> seen;
    for (int f = 0; f < frames; ++f) {
        seen.push_back(Feed(s, Noise(s.FFTSize(), rng)));
        s.Average();
    }
    return seen;
}

// Checks every averaged bin against the mean of the given frames with given weights.
void ExpectWeighted(const TSpectralData& s, const std::vector<std::vector<cd>>& frames,
                    const std::vector<double>& weights) {
    for (uint32_t k = 0; k + 1 < s.Bins(); ++k) {
        cd c = 0;
        double p = 0;
        for (size_t f = 0; f < frames.size(); ++f) {
            c += weights[f] * frames[f][k];
            p += weights[f] * std::norm(frames[f][k]);
        }
        EXPECT_LT(RelDiff(s.AveragePower()[k], p), 1e-5) << k;
        EXPECT_LT(std::abs(AveragedBin(s, k) - c), 1e-5 * std::sqrt(p)) << k;
    }
}

TEST(SpectralAverage, LinearIsTheMeanOfTheLastNFrames) {
    std::mt19937 rng(2);
    TSpectralData s(Settings(64, 4, kAverageLinear), Scaling(), 0);
    ASSERT_TRUE(s.LinearHistory());
    auto frames = RunFrames(s, 2, rng);
    EXPECT_EQ(s.Averaged(), 2u);
    ExpectWeighted(s, frames, {0.5, 0.5});
    auto more = RunFrames(s, 4, rng);
    frames.insert(frames.end(), more.begin(), more.end());
    EXPECT_EQ(s.Averaged(), 4u);
    EXPECT_EQ(s.RingIndex(), 1u);
    ExpectWeighted(s, frames, {0, 0, 0.25, 0.25, 0.25, 0.25});
}

TEST(SpectralAverage, ExponentialIsCumulativeThenWeightedOneOverN) {
    std::mt19937 rng(3);
    TSpectralData s(Settings(64, 4, kAverageExponential), Scaling(), 0);
    auto frames = RunFrames(s, 3, rng);
    ExpectWeighted(s, frames, {1.0 / 3, 1.0 / 3, 1.0 / 3});
    auto more = RunFrames(s, 3, rng);
    frames.insert(frames.end(), more.begin(), more.end());
    // after four frames the mean; the 5th and 6th get 1/4 and the average before them 3/4
    const double q = 0.75 * 0.75 * 0.25;
    ExpectWeighted(s, frames, {q, q, q, q, 0.25 * 0.75, 0.25});
}

TEST(SpectralAverage, SingleBlockShowsTheLastFrameForEveryType) {
    for (uint32_t type : {kAverageExponential, kAverageLinear, kAverageVector}) {
        std::mt19937 rng(4);
        TSpectralData s(Settings(64, 1, type), Scaling(), 0);
        auto frames = RunFrames(s, 3, rng);
        ExpectWeighted(s, frames, {0, 0, 1});
    }
}

TEST(SpectralAverage, VectorAveragingCancelsOppositePhases) {
    std::mt19937 rng(5);
    std::vector<float> x = Noise(64, rng), minus(64);
    for (int i = 0; i < 64; ++i) minus[i] = -x[i];
    TSpectralData vec(Settings(64, 8, kAverageVector), Scaling(), 0);
    TSpectralData pow(Settings(64, 8, kAverageExponential), Scaling(), 0);
    for (TSpectralData* s : {&vec, &pow}) {
        Feed(*s, x);
        s->Average();
        Feed(*s, minus);
        s->Average();
    }
    for (uint32_t k = 0; k + 1 < 32; ++k) {
        EXPECT_LT(vec.AveragePower()[k], 1e-12) << k;
        EXPECT_GT(pow.AveragePower()[k], 1e-6) << k;
    }
    // the same frame twice keeps its power under vector averaging
    vec.ResetAverage();
    Feed(vec, x);
    vec.Average();
    Feed(vec, x);
    vec.Average();
    EXPECT_NEAR(vec.AveragePower()[7], pow.AveragePower()[7], 1e-5 * pow.AveragePower()[7]);
}

TEST(SpectralAverage, PeakHoldKeepsLargestPowerAndItsFrame) {
    std::mt19937 rng(6);
    TSpectralData s(Settings(64, 1, kAverageExponential, true), Scaling(), 0);
    auto frames = RunFrames(s, 6, rng);
    for (uint32_t k = 0; k + 1 < 32; ++k) {
        size_t best = 0;
        for (size_t f = 1; f < frames.size(); ++f)
            if (std::norm(frames[f][k]) > std::norm(frames[best][k])) best = f;
        EXPECT_LT(RelDiff(s.AveragePower()[k], std::norm(frames[best][k])), 1e-5) << k;
        EXPECT_LT(std::abs(AveragedBin(s, k) - frames[best][k]), 1e-6) << k;
    }
}

TEST(SpectralAverage, LastBinKeepsItsResetValueAndResetClearsAll) {
    std::mt19937 rng(7);
    TSpectralData s(Settings(64, 4, kAverageLinear), Scaling(1), 0);
    RunFrames(s, 3, rng);
    EXPECT_EQ(s.AveragePower()[31], 0.0f);
    EXPECT_FLOAT_EQ(s.AverageDb()[31], -999.9f);
    EXPECT_GT(s.AverageDb()[30], -200.0f);
    s.ResetAverage();
    EXPECT_EQ(s.Averaged(), 0u);
    for (uint32_t k = 0; k < 32; ++k) {
        EXPECT_EQ(s.AveragePower()[k], 0.0f);
        EXPECT_EQ(AveragedBin(s, k), cd(0, 0));
        EXPECT_FLOAT_EQ(s.AverageDb()[k], -999.9f);
    }
    for (uint32_t i = 0; i < 64; ++i) EXPECT_EQ(s.TimeSamples()[i], 0.0f);
    // the history was cleared too: one frame after the reset is shown alone
    auto frames = RunFrames(s, 1, rng);
    ExpectWeighted(s, frames, {1.0});
    // silence reads the no-value level
    ASSERT_TRUE(s.SetAverage(1, kAverageExponential));
    Feed(s, std::vector<float>(64, 0.0f));
    s.Average();
    for (uint32_t k = 0; k < 32; ++k) EXPECT_FLOAT_EQ(s.AverageDb()[k], -999.9f) << k;
}

TEST(SpectralAverage, LinearHistoryStaysExactOverLongRunsAndLevelDrops) {
    // A loud stretch followed by one 120 dB quieter: running sums that were never refreshed
    // would carry the loud stretch's rounding into the quiet values.
    std::mt19937 rng(8);
    TSpectralData s(Settings(32, 7, kAverageLinear), Scaling(0), 0);
    std::vector<std::vector<cd>> last;
    for (int f = 0; f < 3000; ++f) {
        const double level = f < 2000 ? 30000.0 : 0.03;
        last.push_back(Feed(s, Noise(32, rng, level)));
        if (last.size() > 7) last.erase(last.begin());
        s.Average();
    }
    ExpectWeighted(s, last, std::vector<double>(7, 1.0 / 7));
}

TEST(SpectralAverage, LinearBeyondHistoryUsesRunningMean) {
    std::mt19937 rng(9);
    TSpectralData s(Settings(64, 2000, kAverageLinear), Scaling(), 0);
    EXPECT_FALSE(s.LinearHistory());
    auto frames = RunFrames(s, 5, rng);
    ExpectWeighted(s, frames, std::vector<double>(5, 0.2));
}

TEST(SpectralAverage, SetAverageKeepsCountAndStartsAFreshHistory) {
    std::mt19937 rng(10);
    TSpectralData s(Settings(64, 3, kAverageExponential), Scaling(), 0);
    RunFrames(s, 3, rng);
    ASSERT_TRUE(s.SetAverage(5, kAverageLinear));
    EXPECT_EQ(s.Averaged(), 3u);
    EXPECT_EQ(s.Blocks(), 5u);
    EXPECT_TRUE(s.LinearHistory());
    // the fresh history holds zeros: the next frame is divided by the count of four
    auto frames = RunFrames(s, 1, rng);
    ExpectWeighted(s, frames, {0.25});
    // zero blocks would divide by zero; they average like one
    ASSERT_TRUE(s.SetAverage(0, kAverageExponential));
    frames = RunFrames(s, 2, rng);
    ExpectWeighted(s, frames, {0, 1});
}

TEST(SpectralAverage, PeakBinSearchStartsAtBinFive) {
    TSpectralData s(Settings(64), Scaling(), 0);
    std::vector<float> frame = Tone(64, 2, 20000.0);
    const std::vector<float> small = Tone(64, 11, 500.0);
    for (int i = 0; i < 64; ++i) frame[i] += small[i];
    Feed(s, frame);
    s.Average();
    EXPECT_EQ(s.PeakBin(), 11u);
    EXPECT_FLOAT_EQ(s.PeakFrequency(), 11 * s.BinWidth());
}

// Refuses every allocation above a size, to walk the out-of-memory paths.
size_t gAllocationLimit = 0;
bool RefuseLarge(size_t bytes) { return bytes <= gAllocationLimit; }

class SpectralFailure : public ::testing::Test {
protected:
    void TearDown() override { SetSpectralAllocationGate(nullptr); }
    ScriptedHost host;
};

TEST_F(SpectralFailure, ZeroOrImpossibleSizeLeavesAnInertObjectWithoutMessage) {
    for (uint32_t size : {0u, 48u, 1u << 21}) {
        TSpectralData s(Settings(size), Scaling(), 0, &host);
        EXPECT_EQ(s.error(), 1u) << size;
        s.SetInput(0, 1.0f);
        EXPECT_FALSE(s.Transform());
        s.Average();
        s.ResetAverage();
        EXPECT_FALSE(s.SetAverage(10, kAverageLinear));
        EXPECT_EQ(s.Current(), nullptr);
        EXPECT_EQ(s.AveragePower(), nullptr);
        EXPECT_EQ(s.PhaseDegrees(3), 0.0);
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(SpectralFailure, FailedAllocationsReportTheirMessages) {
    gAllocationLimit = 0;
    SetSpectralAllocationGate(RefuseLarge);
    TSpectralData dead(Settings(1024), Scaling(), 0, &host);
    EXPECT_EQ(dead.error(), 1u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Insufficient Memory to continue.  Please close some applications to free up memory.");
    EXPECT_EQ(host.messages[0].caption, kProgramTitle);

    // Room for the spectrum but not for 1000 blocks of history.
    gAllocationLimit = 64 * 1024;
    host.messages.clear();
    TSpectralData s(Settings(1024, 4, kAverageLinear), Scaling(), 0, &host);
    EXPECT_EQ(s.error(), 0u);
    EXPECT_FALSE(s.SetAverage(1000, kAverageLinear));
    EXPECT_EQ(s.error(), 1u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Insufficient memory for linear averaging - try using exponential average");
    EXPECT_EQ(host.messages[0].caption, "Error");
    s.Average();
    EXPECT_FALSE(s.Transform());
    EXPECT_EQ(s.AverageComplex(), nullptr);
}

TEST(SpectralBands, SumsOrMeansTheBinsOfEachBand) {
    std::mt19937 rng(11);
    TSpectralData s(Settings(64), Scaling(1, 2), 0);
    // one band over bins 3 ... 7 with half of each edge bin, one inside bin 12
    ASSERT_TRUE(s.SetBandBins({{3, 0.5f, 7, 0.25f}, {12, 0.75f, 12, 0.5f}}));
    EXPECT_FLOAT_EQ(s.BandValues()[0], -999.9f);
    auto frame = Feed(s, Noise(64, rng));
    s.Average();
    const auto p = [&](int k) { return std::norm(frame[k]); };
    const double sum = 0.5 * p(3) + p(4) + p(5) + p(6) + 0.25 * p(7);
    EXPECT_NEAR(s.BandValues()[0], 10 * std::log10(sum), 1e-4);
    EXPECT_NEAR(s.BandValues()[1], 10 * std::log10(0.25 * p(12)), 1e-4);
    s.UpdateBandValues(true);
    EXPECT_NEAR(s.BandValues()[0], 10 * std::log10(sum / 3.75), 1e-4);
    EXPECT_NEAR(s.BandValues()[1], 10 * std::log10(p(12)), 1e-4);
}

}  // namespace
}  // namespace zeltrak
