#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

#include "dsp/channel_processing.h"
#include "dsp/spectral_data.h"
#include "dsp/spectral_test_support.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

// The engine's four spectrums for one mode and averaging.
struct Analyser {
    Analyser(uint16_t mode, uint32_t n, uint32_t blocks, uint32_t type, uint32_t freqScale = 0)
        : setup{mode, true, type, blocks, nullptr, 0} {
        const SpectralSettings s = Settings(n, blocks, type);
        for (auto* p : {&L, &R, &S1, &S2}) *p = std::make_unique<TSpectralData>(s, Scaling(1, freqScale), -1);
    }
    bool Frame(const std::vector<float>& left, const std::vector<float>& right) {
        Load(*L, left);
        Load(*R, right);
        return ProcessChannels(setup, {L.get(), R.get(), S1.get(), S2.get()});
    }
    ChannelProcessingSetup setup;
    std::unique_ptr<TSpectralData> L, R, S1, S2;
};

std::vector<float> Scaled(const std::vector<float>& x, float g) {
    std::vector<float> y(x);
    for (float& v : y) v *= g;
    return y;
}

// x delayed by d samples, circularly, so that the delay is an exact phase slope.
std::vector<float> Delayed(const std::vector<float>& x, size_t d) {
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) y[(i + d) % x.size()] = x[i];
    return y;
}

double WrapDegrees(double a) { return std::remainder(a, 360.0); }

TEST(ChannelProcessing, SpectrumsFollowTheMode) {
    const auto set = [](uint16_t mode, bool stereo) {
        const SpectrumSet s = SpectrumsForMode(mode, stereo);
        return std::vector<bool>{s.left, s.right, s.result1, s.result2};
    };
    EXPECT_EQ(set(0, false), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(set(2, true), (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(set(3, true), (std::vector<bool>{true, true, true, false}));
    EXPECT_EQ(set(10, true), (std::vector<bool>{true, true, true, false}));
    EXPECT_EQ(set(11, true), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(set(12, true), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(set(13, true), (std::vector<bool>{false, false, false, false}));
}

TEST(ChannelProcessing, CoherenceOfIdenticalChannelsIsOne) {
    for (uint16_t mode : {kProcessCoherence, kProcessTransferCoherenceLR, kProcessTransferCoherenceRL}) {
        for (uint32_t type : {kAverageExponential, kAverageLinear, kAverageVector}) {
            std::mt19937 rng(20);
            Analyser a(mode, 128, 8, type);
            for (int f = 0; f < 5; ++f) {
                const auto x = Noise(128, rng);
                ASSERT_TRUE(a.Frame(x, x));
            }
            const TSpectralData& coh = mode == kProcessCoherence ? *a.S1 : *a.S2;
            EXPECT_TRUE(coh.CoherenceDone());
            for (uint32_t k = 0; k < 64; ++k) EXPECT_NEAR(coh.AveragePower()[k], 1.0, 1e-4) << mode << " " << type;
        }
    }
}

TEST(ChannelProcessing, CoherenceOfIndependentNoiseFallsWithAveraging) {
    // For independent Gaussian channels the expected coherence after k frames is 1/k.
    std::mt19937 rng(21);
    Analyser a(kProcessCoherence, 512, 1000, kAverageExponential);
    auto meanCoherence = [&] {
        double sum = 0;
        for (uint32_t k = 1; k < 255; ++k) sum += a.S1->AveragePower()[k];
        return sum / 254;
    };
    a.Frame(Noise(512, rng), Noise(512, rng));
    EXPECT_NEAR(meanCoherence(), 1.0, 1e-4);
    for (int f = 1; f < 8; ++f) a.Frame(Noise(512, rng), Noise(512, rng));
    const double after8 = meanCoherence();
    for (int f = 8; f < 64; ++f) a.Frame(Noise(512, rng), Noise(512, rng));
    const double after64 = meanCoherence();
    EXPECT_NEAR(after8, 1.0 / 8, 0.03);
    EXPECT_NEAR(after64, 1.0 / 64, 0.006);
}

TEST(ChannelProcessing, TransferFunctionsOfAScaledCopy) {
    const float g = 0.5f;
    struct Case {
        uint16_t mode;
        double power;  // expected |H|² in S1
        bool complex;
    };
    for (const Case c : {Case{kProcessRealTransferLR, g * g, false}, Case{kProcessRealTransferRL, 1 / (g * g), false},
                         Case{kProcessComplexTransferLR, g * g, true}, Case{kProcessComplexTransferRL, 1 / (g * g), true},
                         Case{kProcessTransferCoherenceLR, g * g, true},
                         Case{kProcessTransferCoherenceRL, 1 / (g * g), true}}) {
        for (uint32_t type : {kAverageExponential, kAverageLinear, kAverageVector}) {
            std::mt19937 rng(22);
            Analyser a(c.mode, 128, 4, type);
            for (int f = 0; f < 6; ++f) {
                const auto x = Noise(128, rng);
                a.Frame(Scaled(x, g), x);  // left = g × right
            }
            EXPECT_EQ(a.S1->RealTransferDone(), !c.complex);
            EXPECT_EQ(a.S1->ComplexTransferDone(), c.complex);
            for (uint32_t k = 1; k < 63; ++k) {
                EXPECT_LT(RelDiff(a.S1->AveragePower()[k], c.power), 1e-4) << c.mode << " " << type << " " << k;
                EXPECT_NEAR(a.S1->AverageDb()[k], 10 * std::log10(c.power), 1e-3);
                EXPECT_NEAR(a.S1->PhaseDegrees(k), 0.0, 1e-3);
            }
        }
    }
}

TEST(ChannelProcessing, VectorAveragingKeepsChannelPowersForTransfers) {
    std::mt19937 rng(23);
    Analyser a(kProcessComplexTransferLR, 64, 4, kAverageVector);
    a.Frame(Noise(64, rng), Noise(64, rng));
    // the reference channel of L/R is the right one
    EXPECT_EQ(a.R->AverageType(), kAverageExponential);
    EXPECT_EQ(a.L->AverageType(), kAverageVector);
    EXPECT_EQ(a.S1->AverageType(), kAverageVector);

    Analyser b(kProcessCoherence, 64, 4, kAverageVector);
    b.Frame(Noise(64, rng), Noise(64, rng));
    EXPECT_EQ(b.L->AverageType(), kAverageExponential);
    EXPECT_EQ(b.R->AverageType(), kAverageExponential);
}

TEST(ChannelProcessing, CrossSpectrumPhaseIsTheDelaySlope) {
    std::mt19937 rng(24);
    const size_t d = 3;
    for (uint16_t mode : {kProcessCrossLR, kProcessCrossRL}) {
        Analyser a(mode, 256, 4, kAverageVector);
        for (int f = 0; f < 4; ++f) {
            const auto x = Noise(256, rng);
            a.Frame(x, Delayed(x, d));  // right lags left by d samples
        }
        // the channels themselves are only transformed in the cross-spectrum modes
        EXPECT_EQ(a.L->Averaged(), 0u);
        EXPECT_EQ(a.R->Averaged(), 0u);
        EXPECT_TRUE(a.S1->CrossFlag());
        const double sign = mode == kProcessCrossLR ? 1.0 : -1.0;
        for (uint32_t k = 1; k < 127; ++k) {
            const double want = WrapDegrees(sign * 360.0 * k * d / 256);
            EXPECT_NEAR(WrapDegrees(a.S1->PhaseDegrees(k) - want), 0.0, 1e-2) << k;
        }
    }
}

TEST(ChannelProcessing, CrossSpectrumAveragesMagnitudes) {
    // With the cross flag the power average holds |L·conj(R)|, the product of the amplitudes.
    Analyser a(kProcessCrossLR, 64, 1, kAverageExponential);
    a.Frame(Tone(64, 7, 3000.0), Tone(64, 7, 12000.0, 1.0));
    const double want = (3000.0 / kFullScale16) * (12000.0 / kFullScale16);
    EXPECT_LT(RelDiff(a.S1->AveragePower()[7], want), 1e-5);
    EXPECT_NEAR(a.S1->PhaseDegrees(7), -1.0 * 57.2957795, 1e-3);
}

TEST(ChannelProcessing, AverageOfChannelsTakesMeanPowerAndMeanPhase) {
    Analyser a(kProcessAverage, 64, 1, kAverageExponential);
    // amplitudes A and B at phases 0 and -90 degrees
    const double A = 6000, B = 8000;
    a.Frame(Tone(64, 9, A), Tone(64, 9, B, -kPi / 2));
    EXPECT_EQ(a.L->Averaged(), 1u);
    EXPECT_EQ(a.R->Averaged(), 1u);
    const double m = std::sqrt((A * A + B * B) / 2) / kFullScale16;
    EXPECT_LT(RelDiff(a.S1->AveragePower()[9], m * m), 1e-5);
    EXPECT_NEAR(a.S1->PhaseDegrees(9), -45.0, 1e-3);
    EXPECT_FALSE(a.S1->CrossFlag());

    // Phases either side of 180 degrees average to 180, not to 0.
    a.Frame(Tone(64, 9, A, kPi - 0.1), Tone(64, 9, B, -kPi + 0.1));
    EXPECT_NEAR(std::abs(a.S1->PhaseDegrees(9)), 180.0, 1e-3);
}

TEST(ChannelProcessing, WindowIsAppliedToEveryChannelFrame) {
    std::mt19937 rng(25);
    const auto x = Noise(64, rng), y = Noise(64, rng);
    Analyser plain(kProcessBoth, 64, 1, kAverageExponential);
    Analyser windowed(kProcessBoth, 64, 1, kAverageExponential);
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
    EXPECT_EQ(windowed.L->Averaged(), 1u);
}

TEST(ChannelProcessing, MissingSpectrumsAndMonoInput) {
    std::mt19937 rng(26);
    const auto x = Noise(64, rng);
    Analyser a(kProcessRealTransferLR, 64, 4, kAverageExponential);
    // stereo without the right spectrum: nothing happens
    Load(*a.L, x);
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), nullptr, a.S1.get(), nullptr}));
    EXPECT_EQ(a.L->Averaged(), 0u);
    // a result spectrum the mode needs is missing, or in error
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), a.R.get(), nullptr, nullptr}));
    TSpectralData broken(Settings(0), Scaling(), -1);
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), a.R.get(), &broken, nullptr}));
    EXPECT_EQ(a.L->Averaged(), 0u);
    // mono: the left channel alone is analysed whatever the mode
    a.setup.stereo = false;
    EXPECT_TRUE(ProcessChannels(a.setup, {a.L.get(), nullptr, nullptr, nullptr}));
    EXPECT_EQ(a.L->Averaged(), 1u);
    EXPECT_EQ(a.S1->Averaged(), 0u);
    a.setup.stereo = true;
    a.setup.mode = 13;
    EXPECT_FALSE(a.Frame(x, x));
}

TEST(ChannelProcessing, CoherenceBandsAreMeansOfTheirBins) {
    std::mt19937 rng(27);
    Analyser a(kProcessCoherence, 64, 4, kAverageExponential, 2);
    ASSERT_TRUE(a.S1->SetBandBins({{3, 0.5f, 7, 0.5f}}));
    ASSERT_TRUE(a.L->SetBandBins({{3, 0.5f, 7, 0.5f}}));
    const auto x = Noise(64, rng);
    a.Frame(x, x);
    // coherence 1 in every bin: the band mean is 1 (0 dB), while a sum would read 4 (6 dB)
    EXPECT_NEAR(a.S1->BandValues()[0], 0.0, 1e-3);
    const float* p = a.L->AveragePower();
    EXPECT_NEAR(a.L->BandValues()[0], 10 * std::log10(0.5 * p[3] + p[4] + p[5] + p[6] + 0.5 * p[7]), 1e-3);
}

}  // namespace
}  // namespace zeltrak
