// One spectrum (transform, decibels, averaging, failures) and the two-channel processing.
#include "dsp/spectral_data.h"

#include <gtest/gtest.h>

#include <limits>

#include "dsp/spectral_test_support.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

TEST(SpectralTransform, PackedSpectrumNormalisedToFullScaleAgainstADirectDft) {
    std::mt19937 rng(1);
    TSpectralData s(Settings(64), Scaling(), 0);
    const std::vector<float> frame = Noise(64, rng);
    const std::vector<cd> got = Feed(s, frame);
    std::vector<cd> X(64);
    for (size_t k = 0; k < 64; ++k)
        for (size_t t = 0; t < 64; ++t) X[k] += cd(frame[t]) * std::polar(1.0, -2.0 * kPi * ((k * t) % 64) / 64);
    const double norm = 2.0 / (64 * kFullScale16);
    EXPECT_NEAR(got[0].real(), X[0].real() * norm, 1e-5);  // bin 0 carries DC and Nyquist
    EXPECT_NEAR(got[0].imag(), X[32].real() * norm, 1e-5);
    for (uint32_t k = 1; k < 32; ++k) EXPECT_LT(std::abs(got[k] - X[k] * norm), 1e-5) << k;

    // the axis follows the rate, the decimation and the rate correction
    SpectralSettings settings = Settings(4096);
    settings.decimationRatio = 2;
    settings.samplingRateCorrection = 1.001f;
    const TSpectralData axis(settings, Scaling(0), 0);
    EXPECT_NEAR(axis.Nyquist(), 48000 * 1.001 * 0.5 / 2, 1e-2);
    EXPECT_NEAR(axis.BinFrequency(100), 100 * axis.Nyquist() / 2048, 1e-3);
    EXPECT_FLOAT_EQ(axis.BinFrequency(5000), axis.Nyquist());
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

// Frames through one object; returns the complex spectrum of each.
std::vector<std::vector<cd>> RunFrames(TSpectralData& s, int frames, std::mt19937& rng, double level = 10000) {
    std::vector<std::vector<cd>> seen;
    for (int f = 0; f < frames; ++f) {
        seen.push_back(Feed(s, Noise(s.FFTSize(), rng, level)));
        s.Average();
    }
    return seen;
}

// Each averaged bin against the weighted mean of the frames (under vector averaging: the power of the mean).
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
    // the weights of the frames run, oldest first
    const struct { const char* what; AveragingType type; uint32_t blocks; std::vector<double> weights; } cases[] = {
        {"linear, filling", AveragingType::Linear, 4, {0.5, 0.5}},
        {"linear, ring", AveragingType::Linear, 4, {0, 0, 0.25, 0.25, 0.25, 0.25}},
        {"linear beyond the history", AveragingType::Linear, 2000, {0.2, 0.2, 0.2, 0.2, 0.2}},
        {"exponential", AveragingType::Exponential, 4, {q, q, q, q, 0.25 * 0.75, 0.25}},
        {"vector", AveragingType::Vector, 4, {q, q, q, q, 0.25 * 0.75, 0.25}},
        {"exponential, one block", AveragingType::Exponential, 1, {0, 0, 1}},
        {"linear, one block", AveragingType::Linear, 1, {0, 0, 1}},
        {"vector, one block", AveragingType::Vector, 1, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::mt19937 rng(2);
        TSpectralData s(Settings(64, c.blocks, c.type), Scaling(), 0);
        const auto frames = RunFrames(s, static_cast<int>(c.weights.size()), rng);
        EXPECT_EQ(s.Averager().Averaged(), std::min<size_t>(c.blocks, c.weights.size()));
        ExpectWeighted(s, frames, c.weights, c.type == AveragingType::Vector);
    }
}

TEST(SpectralAverage, PeakHoldKeepsTheLargestPowerAndItsFrame) {
    std::mt19937 rng(6);
    TSpectralData s(Settings(64, 1, AveragingType::Exponential, true), Scaling(), 0);
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
    TSpectralData s(Settings(64, 4, AveragingType::Linear), Scaling(1), 0);
    RunFrames(s, 3, rng);
    EXPECT_FLOAT_EQ(s.AverageDb()[31], -999.9f);  // the last bin is never averaged
    s.ResetAverage();
    EXPECT_EQ(s.Averager().Averaged(), 0u);
    for (uint32_t k = 0; k < 32; ++k) EXPECT_FLOAT_EQ(s.AverageDb()[k], -999.9f);
    ExpectWeighted(s, RunFrames(s, 1, rng), {1.0});  // the history was cleared too
    // zero blocks would divide by zero; they average like one
    ASSERT_TRUE(s.SetAverage(0, AveragingType::Exponential));
    ExpectWeighted(s, RunFrames(s, 2, rng), {0, 1});

    // loud, then 120 dB quieter: running sums never refreshed would carry the loud rounding into the quiet
    TSpectralData l(Settings(32, 7, AveragingType::Linear), Scaling(0), 0);
    RunFrames(l, 2000, rng, 30000.0);
    const auto quiet = RunFrames(l, 1000, rng, 0.03);
    ExpectWeighted(l, std::vector<std::vector<cd>>(quiet.end() - 7, quiet.end()), std::vector<double>(7, 1.0 / 7));
}

// Refuses every allocation above a size, to walk the out-of-memory paths.
size_t gAllocationLimit = 0;
bool RefuseLarge(size_t bytes) { return bytes <= gAllocationLimit; }

TEST(SpectralFailure, ImpossibleSizesAndFailedAllocationsLeaveAnInertObject) {
    for (uint32_t size : {0u, 48u, 1u << 21}) {
        TSpectralData s(Settings(size), Scaling(), 0);
        EXPECT_EQ(s.Status(), SpectralStatus::InvalidSize) << size;
        s.SetInput(0, 1.0f);
        EXPECT_FALSE(s.Transform());
        s.Average();
        s.ResetAverage();
        EXPECT_FALSE(s.SetAverage(10, AveragingType::Linear));
        EXPECT_EQ(s.AveragePower(), nullptr);
        EXPECT_EQ(s.PhaseDegrees(3), 0.0);
    }

    gAllocationLimit = 0;
    SetSpectralAllocationGate(RefuseLarge);
    TSpectralData dead(Settings(1024), Scaling(), 0);
    EXPECT_EQ(dead.Status(), SpectralStatus::OutOfMemory);
    // room for the spectrum but not for 1000 blocks of history
    gAllocationLimit = 64 * 1024;
    TSpectralData s(Settings(1024, 4, AveragingType::Linear), Scaling(), 0);
    EXPECT_FALSE(s.Error());
    EXPECT_FALSE(s.SetAverage(1000, AveragingType::Linear));
    SetSpectralAllocationGate(nullptr);
    EXPECT_EQ(s.Status(), SpectralStatus::LinearHistoryOutOfMemory);
    s.Average();
    EXPECT_FALSE(s.Transform());
}

// g·x delayed by d samples, circularly, so that the delay is an exact phase slope.
std::vector<float> Delayed(const std::vector<float>& x, size_t d, float g = 1.0f) {
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) y[(i + d) % x.size()] = g * x[i];
    return y;
}

double WrapDegrees(double a) { return std::remainder(a, 360.0); }

// Left = right scaled by g, delayed d samples: H = g·e^(-iωd) (L/R) or its inverse, coherence 1, any averaging.
TEST(ChannelProcessing, TransferFunctionsAndCoherenceOfADelayedScaledCopy) {
    const float g = 0.5f;
    const size_t d = 3, n = 128;
    // direction +1: L/R, -1: R/L
    const struct { ChannelProcessingMode mode; int direction; bool complex, coherence; } cases[] = {
        {ChannelProcessingMode::RealTransferLR, 1, false, false},
        {ChannelProcessingMode::RealTransferRL, -1, false, false},
        {ChannelProcessingMode::ComplexTransferLR, 1, true, false},
        {ChannelProcessingMode::ComplexTransferRL, -1, true, false},
        {ChannelProcessingMode::TransferCoherenceLR, 1, true, true},
        {ChannelProcessingMode::TransferCoherenceRL, -1, true, true},
        {ChannelProcessingMode::Coherence, 0, false, true}};
    for (const auto& c : cases)
        for (AveragingType type : {AveragingType::Exponential, AveragingType::Linear, AveragingType::Vector}) {
            SCOPED_TRACE(::testing::Message()
                         << "mode " << ChannelModeCode(c.mode) << ", type " << AveragingCode(type));
            std::mt19937 rng(22);
            Analyser a(c.mode, n, 4, type);
            for (int f = 0; f < 6; ++f) {
                const auto x = Noise(n, rng);
                ASSERT_TRUE(a.Frame(Delayed(x, d, g), x));
            }
            const TSpectralData& coherence = c.mode == ChannelProcessingMode::Coherence ? *a.S1 : *a.S2;
            EXPECT_EQ(coherence.CoherenceDone(), c.coherence);
            if (c.direction) {
                EXPECT_EQ(a.S1->RealTransferDone(), !c.complex);
                EXPECT_EQ(a.S1->ComplexTransferDone(), c.complex);
            }
            const double power = c.direction > 0 ? g * g : 1 / (g * g);
            for (uint32_t k = 1; k < n / 2 - 1; ++k) {
                if (c.coherence) {
                    ASSERT_NEAR(coherence.AveragePower()[k], 1.0, 1e-4) << k;
                }
                if (!c.direction) continue;
                ASSERT_LT(RelDiff(a.S1->AveragePower()[k], power), 1e-4) << k;
                ASSERT_NEAR(a.S1->AverageDb()[k], 10 * std::log10(power), 1e-3) << k;
                if (c.complex) {
                    const double want = -c.direction * 360.0 * k * d / n;
                    ASSERT_NEAR(WrapDegrees(a.S1->PhaseDegrees(k) - want), 0.0, 1e-2) << k;
                }
            }
        }
}

TEST(ChannelProcessing, CrossSpectrumHoldsTheProductOfAmplitudesAndThePhaseDifference) {
    for (ChannelProcessingMode mode : {ChannelProcessingMode::CrossLR, ChannelProcessingMode::CrossRL}) {
        Analyser t(mode, 64, 1, AveragingType::Exponential);
        t.Frame(Tone(64, 7, 3000.0), Tone(64, 7, 12000.0, 1.0));  // right leads by 1 radian
        EXPECT_EQ(t.L->Averager().Averaged(), 0u);                            // the channels themselves are not averaged
        EXPECT_TRUE(t.S1->CrossFlag());
        EXPECT_LT(RelDiff(t.S1->AveragePower()[7], 3000.0 / kFullScale16 * 12000.0 / kFullScale16), 1e-5);
        EXPECT_NEAR(t.S1->PhaseDegrees(7), (mode == ChannelProcessingMode::CrossLR ? -180 : 180) / kPi, 1e-3);
    }
}

TEST(ChannelProcessing, AverageOfChannelsTakesMeanPowerAndMeanPhase) {
    Analyser a(ChannelProcessingMode::Average, 64, 1, AveragingType::Exponential);
    const double A = 6000, B = 8000;  // at phases 0 and -90 degrees
    a.Frame(Tone(64, 9, A), Tone(64, 9, B, -kPi / 2));
    const double m = std::sqrt((A * A + B * B) / 2) / kFullScale16;
    EXPECT_LT(RelDiff(a.S1->AveragePower()[9], m * m), 1e-5);
    EXPECT_NEAR(a.S1->PhaseDegrees(9), -45.0, 1e-3);
    // phases either side of 180 degrees average to 180, not to 0
    a.Frame(Tone(64, 9, A, kPi - 0.1), Tone(64, 9, B, -kPi + 0.1));
    EXPECT_NEAR(std::abs(a.S1->PhaseDegrees(9)), 180.0, 1e-3);
}

TEST(ChannelProcessing, WindowBandsMissingSpectrumsAndMonoInput) {
    std::mt19937 rng(25);
    const auto x = Noise(64, rng), y = Noise(64, rng);
    // the window applies to both channels; a window of the wrong size is refused
    Analyser plain(ChannelProcessingMode::Both, 64, 1, AveragingType::Exponential),
        windowed(ChannelProcessingMode::Both, 64, 1, AveragingType::Exponential);
    const std::vector<float> half(64, 0.5f);
    windowed.setup.window = half.data();
    windowed.setup.windowSize = 64;
    plain.Frame(x, y);
    windowed.Frame(x, y);
    for (uint32_t k = 0; k < 31; ++k) {
        EXPECT_LT(RelDiff(windowed.L->AveragePower()[k], 0.25 * plain.L->AveragePower()[k]), 1e-5);
        EXPECT_LT(RelDiff(windowed.R->AveragePower()[k], 0.25 * plain.R->AveragePower()[k]), 1e-5);
    }
    windowed.setup.windowSize = 32;
    EXPECT_FALSE(windowed.Frame(x, y));
    EXPECT_EQ(windowed.L->Averager().Averaged(), 1u);

    // a band sums its bins (edge bins in part); a coherence band is their mean: 0 dB, a sum would read 6 dB
    Analyser b(ChannelProcessingMode::Coherence, 64, 4, AveragingType::Exponential, Scaling(1, 2));
    ASSERT_TRUE(b.S1->SetBandBins({{3, 0.5f, 7, 0.25f}}));
    ASSERT_TRUE(b.L->SetBandBins({{3, 0.5f, 7, 0.25f}}));
    b.Frame(x, x);
    EXPECT_NEAR(b.S1->BandAxis().Values()[0], 0.0, 1e-3);
    const float* p = b.L->AveragePower();
    EXPECT_NEAR(b.L->BandAxis().Values()[0], 10 * std::log10(0.5 * p[3] + p[4] + p[5] + p[6] + 0.25 * p[7]), 1e-3);

    Analyser a(ChannelProcessingMode::RealTransferLR, 64, 4, AveragingType::Exponential);
    Load(*a.L, x);
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), nullptr, a.S1.get(), nullptr}));  // no right spectrum
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), a.R.get(), nullptr, nullptr}));  // no result
    TSpectralData broken(Settings(0), Scaling(), -1);
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), a.R.get(), &broken, nullptr}));
    EXPECT_EQ(a.L->Averager().Averaged(), 0u);
    a.setup.stereo = false;  // mono: the left channel alone, whatever the mode
    EXPECT_TRUE(ProcessChannels(a.setup, {a.L.get(), nullptr, nullptr, nullptr}));
    EXPECT_EQ(a.L->Averager().Averaged(), 1u);
    EXPECT_EQ(a.S1->Averager().Averaged(), 0u);
    a.setup.stereo = true;
    a.setup.mode = ChannelModeFromCode(kChannelProcessingModeCount);
    EXPECT_FALSE(a.Frame(x, x));
}

}  // namespace
}  // namespace zeltrak
