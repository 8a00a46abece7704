#include "dsp/smoothing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/scripted_host.h"

namespace zeltrak {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<double> Coefficients(uint32_t n, uint16_t type, uint16_t mode) {
    TSmoothing w(n, type, mode);
    EXPECT_EQ(w.error(), 0u);
    return std::vector<double>(w.Coefficients(), w.Coefficients() + n);
}

double Mean(const std::vector<double>& v, int power) {
    double sum = 0;
    for (double x : v) sum += std::pow(x, power);
    return sum / v.size();
}

// Shapes against closed forms written differently from the defining formulas.
TEST(TSmoothing, WindowShapesMatchClosedForms) {
    const uint32_t n = 257;
    const auto hanning = Coefficients(n, kWindowHanning, kCorrectionNone);
    const auto hamming = Coefficients(n, kWindowHamming, kCorrectionNone);
    const auto blackman = Coefficients(n, kWindowBlackman, kCorrectionNone);
    const auto bartlett = Coefficients(n, kWindowBartlett, kCorrectionNone);
    const auto parzen = Coefficients(n, kWindowParzen, kCorrectionNone);
    const auto gaussian = Coefficients(n, kWindowGaussian, kCorrectionNone);
    for (uint32_t i = 0; i < n; ++i) {
        const double s = std::sin(kPi * i / (n - 1));
        EXPECT_NEAR(hanning[i], s * s, 1e-6) << i;
        EXPECT_NEAR(hamming[i], 0.08 + 0.92 * s * s, 1e-6) << i;
        const double c = std::cos(2 * kPi * i / (n - 1));
        EXPECT_NEAR(blackman[i], 0.34 - 0.5 * c + 0.16 * c * c, 1e-6) << i;  // cos 2θ = 2cos²θ - 1
        const double tri = i <= (n - 1) / 2 ? 2.0 * i / (n - 1) : 2.0 * (n - 1 - i) / (n - 1);
        EXPECT_NEAR(bartlett[i], tri, 1e-6) << i;
        EXPECT_NEAR(parzen[i], parzen[n - 1 - i], 1e-6) << i;
        EXPECT_GE(parzen[i], 0.0) << i;
        EXPECT_NEAR(gaussian[i], gaussian[n - 1 - i], 1e-7) << i;
    }
    // Parzen: 1 at the centre, 1/4 at half way, 0 at the ends.
    EXPECT_NEAR(parzen[128], 1.0, 1e-7);
    EXPECT_NEAR(parzen[64], 0.25, 1e-6);
    EXPECT_NEAR(parzen[0], 0.0, 1e-7);
    // Gaussian: exp(-12.5) at the edge; an odd length has its centre at 1.
    EXPECT_NEAR(gaussian[0], std::exp(-12.5), 1e-9);
    EXPECT_NEAR(gaussian[128], 1.0, 1e-7);

    // 39-point Hanning without correction (the decimation taper).
    const auto h39 = Coefficients(39, kWindowHanning, kCorrectionNone);
    EXPECT_EQ(h39[19], 1.0);
    EXPECT_NEAR(h39[0], 0.0, 1e-13);
    EXPECT_NEAR(h39[38], 0.0, 1e-13);
}

TEST(TSmoothing, KaiserAndFlatTop) {
    // Kaiser against the library Bessel function; the series stops at a 1e-4 term.
    const uint32_t n = 1024;
    const auto kaiser = Coefficients(n, kWindowKaiser, kCorrectionNone);
    const double beta = 3.1415926535 * 2.5;
    EXPECT_EQ(kaiser[n / 2], 1.0);
    for (uint32_t i = 0; i < n; i += 7) {
        const double r = (static_cast<double>(i) - n / 2) / (n / 2);
        const double want = std::cyl_bessel_i(0.0, beta * std::sqrt(1 - r * r)) / std::cyl_bessel_i(0.0, beta);
        EXPECT_NEAR(kaiser[i], want, 2e-4 * want + 1e-7) << i;
    }
    EXPECT_NEAR(BesselI0(0.0), 1.0, 0.0);
    EXPECT_NEAR(BesselI0(3.0), std::cyl_bessel_i(0.0, 3.0), 1e-4 * std::cyl_bessel_i(0.0, 3.0));

    const auto flat = Coefficients(n, kWindowFlatTop, kCorrectionNone);
    for (uint32_t j = 1; j < n / 2; ++j) EXPECT_EQ(flat[n / 2 + j], flat[n / 2 - j]) << j;
    EXPECT_EQ(flat[0], flat[1]);
    EXPECT_NEAR(flat[n / 2], 0.9994484 + 2 * (0.955728 + 0.539289 + 0.091581), 1e-6);
    // Its coefficients average to a0: the flat top is amplitude-true as built.
    EXPECT_NEAR(Mean(flat, 1), 0.9994484, 2e-3);
}

// Every corrected window, Gaussian included, has mean 1 (a tone on a bin reads its level) or
// mean square 1 (broadband power reads true), at any size; the noise bandwidths are the
// textbook ones.
TEST(TSmoothing, CorrectionsComeFromTheCoefficients) {
    for (uint32_t n : {64u, 1000u, 8192u}) {
        for (uint16_t type = 0; type < TSmoothing::GetTypeCount(); ++type) {
            EXPECT_NEAR(Mean(Coefficients(n, type, kCorrectionAmplitude), 1), 1.0, 1e-6) << type << " " << n;
            EXPECT_NEAR(Mean(Coefficients(n, type, kCorrectionEnergy), 2), 1.0, 1e-6) << type << " " << n;
        }
    }
    const struct {
        uint16_t type;
        double enbw;
    } known[] = {{kWindowUniform, 1.0},  {kWindowHanning, 1.5},     {kWindowHamming, 1.3628},
                 {kWindowBlackman, 1.7268}, {kWindowBartlett, 4.0 / 3}, {kWindowTriangular, 4.0 / 3}};
    for (const auto& k : known) {
        EXPECT_NEAR(TSmoothing(8192, k.type, kCorrectionAmplitude).NoiseBandwidth(), k.enbw, 1e-3) << k.type;
        EXPECT_NEAR(WindowNoiseBandwidth(k.type, 8192), k.enbw, 1e-3) << k.type;
    }
    EXPECT_EQ(Coefficients(64, kWindowUniform, kCorrectionEnergy), std::vector<double>(64, 1.0));
}

TEST(TSmoothing, ApplyAndRemove) {
    const uint32_t n = 33;
    std::vector<float> x(n);
    for (uint32_t i = 0; i < n; ++i) x[i] = 1.0f + 0.25f * i;

    // Bartlett is 0 at both ends: Remove leaves those outputs unwritten.
    TSmoothing bartlett(n, kWindowBartlett, kCorrectionNone);
    std::vector<float> windowed(n), restored(n, -7.0f);
    bartlett.Apply(x.data(), windowed.data());
    EXPECT_EQ(windowed[0], 0.0f);
    EXPECT_FLOAT_EQ(windowed[16], x[16]);
    bartlett.Remove(windowed.data(), restored.data());
    EXPECT_EQ(restored[0], -7.0f);
    EXPECT_EQ(restored[n - 1], -7.0f);
    for (uint32_t i = 1; i + 1 < n; ++i) EXPECT_NEAR(restored[i], x[i], 1e-5 * x[i]) << i;

    // In place: Hanning's ends (~1e-16) are below 1e-11 and are left alone.
    TSmoothing hanning(n, kWindowHanning, kCorrectionAmplitude);
    std::vector<float> y = x;
    hanning.ApplyInPlace(y.data());
    EXPECT_LT(std::fabs(y[0]), 1e-10f);
    const float end = y[0];
    hanning.RemoveInPlace(y.data());
    EXPECT_EQ(y[0], end);
    for (uint32_t i = 1; i + 1 < n; ++i) EXPECT_NEAR(y[i], x[i], 1e-5 * x[i]) << i;

    // Uniform: Apply and Remove copy, the in-place forms do nothing.
    TSmoothing uniform(n, kWindowUniform, kCorrectionAmplitude);
    std::vector<float> out(n, 0.0f);
    uniform.Apply(x.data(), out.data());
    EXPECT_EQ(out, x);
    std::fill(out.begin(), out.end(), 0.0f);
    uniform.Remove(x.data(), out.data());
    EXPECT_EQ(out, x);
    y = x;
    uniform.ApplyInPlace(y.data());
    uniform.RemoveInPlace(y.data());
    EXPECT_EQ(y, x);

    // Null arrays are ignored.
    hanning.Apply(nullptr, out.data());
    hanning.Remove(x.data(), nullptr);
    hanning.ApplyInPlace(nullptr);
    hanning.RemoveInPlace(nullptr);
}

TEST(TSmoothing, InvalidTypeReportsAndKeepsTheWindow) {
    ScriptedHost host;
    TSmoothing w(16, kWindowHanning, kCorrectionNone, &host);
    const std::vector<float> before(w.Coefficients(), w.Coefficients() + 16);
    EXPECT_FALSE(w.SetType(10));
    EXPECT_EQ(w.error(), 1u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "TSmoothing: Invalid Window Type");
    EXPECT_EQ(host.messages[0].caption, "Error");
    EXPECT_EQ(w.GetType(), kWindowHanning);
    EXPECT_EQ(std::vector<float>(w.Coefficients(), w.Coefficients() + 16), before);
    EXPECT_FALSE(w.Set(64, 65535, kCorrectionEnergy));
    EXPECT_EQ(w.GetSize(), 16u);
    EXPECT_EQ(host.messages.size(), 2u);
    // A good rebuild clears the error and the busy cursor is back to normal.
    EXPECT_TRUE(w.Set(64, kWindowKaiser, kCorrectionEnergy));
    EXPECT_EQ(w.error(), 0u);
    EXPECT_EQ(w.GetSize(), 64u);
    EXPECT_FALSE(host.busyCursor);

    // Constructed with a bad type: in error, no coefficients, and harmless to use.
    TSmoothing bad(32, 11, kCorrectionNone, &host);
    EXPECT_EQ(bad.error(), 1u);
    EXPECT_EQ(bad.GetSize(), 0u);
    std::vector<float> x(32, 1.0f), out(32, 2.0f);
    bad.Apply(x.data(), out.data());
    bad.RemoveInPlace(x.data());
    EXPECT_EQ(out, std::vector<float>(32, 2.0f));
}

TEST(TSmoothing, SizesNamesAndOnePointWindows) {
    TSmoothing w(8, kWindowHamming, kCorrectionAmplitude);
    EXPECT_TRUE(w.SetSize(4096));
    EXPECT_EQ(w.GetSize(), 4096u);
    EXPECT_EQ(w.GetType(), kWindowHamming);
    EXPECT_TRUE(w.SetType(kWindowBlackman));
    EXPECT_NEAR(w.Coefficients()[2048], 1.0 / 0.42, 1e-3);  // the peak over Blackman's mean
    EXPECT_EQ(TSmoothing::GetTypeCount(), 10);

    const char* names[] = {"Bartlett", "Blackman", "Flat top",   "Hamming", "Hanning",
                           "Kaiser",   "Parzen",   "Triangular", "Uniform", "Gaussian"};
    for (int t = 0; t < 10; ++t) {
        char buffer[12];
        std::memset(buffer, 'x', sizeof buffer);
        TSmoothing::GetName(t, buffer);
        EXPECT_STREQ(buffer, names[t]);
    }
    char buffer[12] = "junk";
    TSmoothing::GetName(10, buffer);
    EXPECT_STREQ(buffer, "");
    TSmoothing::GetName(-1, buffer);
    EXPECT_STREQ(buffer, "");
    char small[5];
    TSmoothing::GetName(kWindowTriangular, small, sizeof small);
    EXPECT_STREQ(small, "Tria");

    // A one-point window is a unit weight (times the correction), never NaN or a stray write.
    for (uint16_t type = 0; type < 10; ++type) {
        TSmoothing one(1, type, kCorrectionNone);
        EXPECT_EQ(one.Coefficients()[0], 1.0f) << type;
    }
    TSmoothing empty(0, kWindowHanning, kCorrectionNone);
    EXPECT_EQ(empty.error(), 0u);
    empty.ApplyInPlace(nullptr);
}

}  // namespace
}  // namespace zeltrak
