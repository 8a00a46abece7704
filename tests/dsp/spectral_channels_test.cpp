#include <gtest/gtest.h>

#include "dsp/channel_processing.h"
#include "dsp/spectral_data.h"
#include "dsp/spectral_test_support.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

// g·x delayed by d samples, circularly, so that the delay is an exact phase slope.
std::vector<float> Delayed(const std::vector<float>& x, size_t d, float g = 1.0f) {
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) y[(i + d) % x.size()] = g * x[i];
    return y;
}

double WrapDegrees(double a) { return std::remainder(a, 360.0); }

constexpr uint32_t kTypes[] = {kAverageExponential, kAverageLinear, kAverageVector};

// Left is the right channel scaled by g and delayed by d samples: H = g·e^(-iωd) for L/R and
// its inverse for R/L, and the coherence is 1, under every averaging type.
TEST(ChannelProcessing, TransferFunctionsAndCoherenceOfADelayedScaledCopy) {
    const float g = 0.5f;
    const size_t d = 3, n = 128;
    const struct {
        uint16_t mode;
        int direction;  // +1: L/R, -1: R/L
        bool complex, coherence;
    } cases[] = {{kProcessRealTransferLR, 1, false, false},     {kProcessRealTransferRL, -1, false, false},
                 {kProcessComplexTransferLR, 1, true, false},   {kProcessComplexTransferRL, -1, true, false},
                 {kProcessTransferCoherenceLR, 1, true, true}, {kProcessTransferCoherenceRL, -1, true, true},
                 {kProcessCoherence, 0, false, true}};
    for (const auto& c : cases)
        for (uint32_t type : kTypes) {
            SCOPED_TRACE(::testing::Message() << "mode " << c.mode << ", type " << type);
            std::mt19937 rng(22);
            Analyser a(c.mode, n, 4, type);
            for (int f = 0; f < 6; ++f) {
                const auto x = Noise(n, rng);
                ASSERT_TRUE(a.Frame(Delayed(x, d, g), x));
            }
            const TSpectralData& coherence = c.mode == kProcessCoherence ? *a.S1 : *a.S2;
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

TEST(ChannelProcessing, CrossSpectrumHoldsTheProductOfAmplitudesAndTheDelaySlope) {
    for (uint16_t mode : {kProcessCrossLR, kProcessCrossRL}) {
        const double sign = mode == kProcessCrossLR ? 1.0 : -1.0;
        std::mt19937 rng(24);
        Analyser a(mode, 256, 4, kAverageVector);
        for (int f = 0; f < 4; ++f) {
            const auto x = Noise(256, rng);
            a.Frame(x, Delayed(x, 3));  // right lags left by 3 samples
        }
        EXPECT_EQ(a.L->Averaged(), 0u);  // the channels themselves are not averaged
        EXPECT_TRUE(a.S1->CrossFlag());
        for (uint32_t k = 1; k < 127; ++k)
            ASSERT_NEAR(WrapDegrees(a.S1->PhaseDegrees(k) - sign * 360.0 * k * 3 / 256), 0.0, 1e-2) << k;

        Analyser t(mode, 64, 1, kAverageExponential);
        t.Frame(Tone(64, 7, 3000.0), Tone(64, 7, 12000.0, 1.0));
        EXPECT_LT(RelDiff(t.S1->AveragePower()[7], 3000.0 / kFullScale16 * 12000.0 / kFullScale16), 1e-5);
        EXPECT_NEAR(t.S1->PhaseDegrees(7), -sign * 180 / kPi, 1e-3);
    }
}

TEST(ChannelProcessing, AverageOfChannelsTakesMeanPowerAndMeanPhase) {
    Analyser a(kProcessAverage, 64, 1, kAverageExponential);
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
    Analyser plain(kProcessBoth, 64, 1, kAverageExponential), windowed(kProcessBoth, 64, 1, kAverageExponential);
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

    // On a band axis a channel's band sums its bins (edge bins in part); a coherence band is
    // their mean: 1 (0 dB), where a sum would read 4 (6 dB).
    Analyser b(kProcessCoherence, 64, 4, kAverageExponential, Scaling(1, 2));
    ASSERT_TRUE(b.S1->SetBandBins({{3, 0.5f, 7, 0.25f}}));
    ASSERT_TRUE(b.L->SetBandBins({{3, 0.5f, 7, 0.25f}}));
    b.Frame(x, x);
    EXPECT_NEAR(b.S1->BandValues()[0], 0.0, 1e-3);
    const float* p = b.L->AveragePower();
    EXPECT_NEAR(b.L->BandValues()[0], 10 * std::log10(0.5 * p[3] + p[4] + p[5] + p[6] + 0.25 * p[7]), 1e-3);

    Analyser a(kProcessRealTransferLR, 64, 4, kAverageExponential);
    Load(*a.L, x);
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), nullptr, a.S1.get(), nullptr}));  // no right spectrum
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), a.R.get(), nullptr, nullptr}));  // no result
    TSpectralData broken(Settings(0), Scaling(), -1);
    EXPECT_FALSE(ProcessChannels(a.setup, {a.L.get(), a.R.get(), &broken, nullptr}));
    EXPECT_EQ(a.L->Averaged(), 0u);
    a.setup.stereo = false;  // mono: the left channel alone, whatever the mode
    EXPECT_TRUE(ProcessChannels(a.setup, {a.L.get(), nullptr, nullptr, nullptr}));
    EXPECT_EQ(a.L->Averaged(), 1u);
    EXPECT_EQ(a.S1->Averaged(), 0u);
    a.setup.stereo = true;
    a.setup.mode = kChannelProcessingModeCount;
    EXPECT_FALSE(a.Frame(x, x));
}

}  // namespace
}  // namespace zeltrak
