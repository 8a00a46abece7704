#include "dsp/smoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
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

// Each window's shape at 256 points against its closed form (written from the textbook
// definitions, not from the program's), and its equivalent noise bandwidth in bins where the
// textbooks give one.
TEST(TSmoothing, ShapesAndNoiseBandwidthsMatchClosedForms) {
    const uint32_t n = 256;
    const double h = n / 2;
    const auto x = [](double i) { return std::fabs(2 * i / (n - 1) - 1); };  // 0 at the centre, 1 at the ends
    const double beta = 2.5 * kPi;
    const struct {
        uint16_t type;
        double enbw;  // 0: none tabulated
        std::function<double(double)> shape;
        double tolerance;
    } windows[] = {
        {kWindowUniform, 1.0, [](double) { return 1.0; }, 0},
        {kWindowBartlett, 4.0 / 3, [&](double i) { return 1 - x(i); }, 1e-6},
        {kWindowTriangular, 4.0 / 3, nullptr, 0},
        {kWindowHanning, 1.5, [](double i) { return std::pow(std::sin(kPi * i / (n - 1)), 2); }, 1e-6},
        {kWindowHamming, 1.3628, [](double i) { return 0.08 + 0.92 * std::pow(std::sin(kPi * i / (n - 1)), 2); }, 1e-6},
        {kWindowBlackman, 1.7268,
         [](double i) {
             const double c = std::cos(2 * kPi * i / (n - 1));
             return 0.34 - 0.5 * c + 0.16 * c * c;  // cos 2θ = 2cos²θ - 1
         },
         1e-6},
        {kWindowParzen, 0,
         [&](double i) {
             const double a = x(i);
             return a < 0.5 ? 1 - 6 * a * a * (1 - a) : 2 * std::pow(1 - a, 3);
         },
         1e-6},
        {kWindowGaussian, 0,  // exp(-r²/2) over ±5: sampled at distances h - i, and 1 - h + i past the centre
         [&](double i) { return std::exp(-12.5 * std::pow((i < h ? h - i : i + 1 - h) / h, 2)); }, 1e-6},
        {kWindowKaiser, 0,  // the program's Bessel series stops at a 1e-4 term
         [&](double i) {
             const double r = (i - h) / h;
             return std::cyl_bessel_i(0.0, beta * std::sqrt(1 - r * r)) / std::cyl_bessel_i(0.0, beta);
         },
         2e-4},
        {kWindowFlatTop, 0,  // a cosine sum around the centre; the first point repeats the second
         [&](double i) {
             const double j = std::fabs(std::max(i, 1.0) - h);
             const double t = 2 * kPi * j / n;
             return 0.9994484 + 2 * (0.955728 * std::cos(t) + 0.539289 * std::cos(2 * t) + 0.091581 * std::cos(3 * t));
         },
         1e-6},
    };
    for (const auto& w : windows) {
        SCOPED_TRACE(TSmoothing::GetName(w.type));
        const std::vector<double> c = Coefficients(n, w.type, kCorrectionNone);
        for (uint32_t i = 0; w.shape && i < n; ++i) ASSERT_NEAR(c[i], w.shape(i), w.tolerance * (1 + w.shape(i))) << i;
        if (w.enbw > 0) {
            EXPECT_NEAR(TSmoothing(8192, w.type, kCorrectionAmplitude).NoiseBandwidth(), w.enbw, 1e-3);
            EXPECT_NEAR(WindowNoiseBandwidth(w.type, 8192), w.enbw, 1e-3);
        }
    }
}

// The window correction: every corrected window has mean 1 (a tone on a bin reads its level)
// or mean square 1 (broadband power reads true), at any size, odd ones included.
TEST(TSmoothing, CorrectionsGiveUnitMeanOrUnitMeanSquare) {
    for (uint32_t n : {1u, 39u, 64u, 1000u, 8192u})
        for (uint16_t type = 0; type < TSmoothing::GetTypeCount(); ++type) {
            SCOPED_TRACE(::testing::Message() << TSmoothing::GetName(type) << " " << n);
            EXPECT_NEAR(Mean(Coefficients(n, type, kCorrectionAmplitude), 1), 1.0, 1e-6);
            EXPECT_NEAR(Mean(Coefficients(n, type, kCorrectionEnergy), 2), 1.0, 1e-6);
            const std::vector<double> plain = Coefficients(n, type, kCorrectionNone);
            EXPECT_TRUE(std::all_of(plain.begin(), plain.end(), [](double v) { return std::isfinite(v); }));
        }
}

TEST(TSmoothing, ApplyAndRemoveRestoreTheSamplesWhereTheWindowIsNotZero) {
    const uint32_t n = 33;
    std::vector<float> x(n);
    for (uint32_t i = 0; i < n; ++i) x[i] = 1.0f + 0.25f * i;
    for (uint16_t type : {kWindowBartlett, kWindowHanning, kWindowUniform}) {
        SCOPED_TRACE(TSmoothing::GetName(type));
        const TSmoothing w(n, type, kCorrectionAmplitude);
        std::vector<float> windowed(n), restored(n, -7.0f), inPlace = x;
        w.Apply(x.data(), windowed.data());
        w.ApplyInPlace(inPlace.data());
        for (uint32_t i = 0; i < n; ++i) EXPECT_FLOAT_EQ(windowed[i], x[i] * w.Coefficients()[i]);
        EXPECT_EQ(inPlace, windowed);
        w.Remove(windowed.data(), restored.data());
        w.RemoveInPlace(inPlace.data());
        // the zero ends cannot be restored: Remove leaves them unwritten, in place keeps them
        const bool zeroEnds = type != kWindowUniform;
        if (zeroEnds) {
            EXPECT_EQ(restored[0], -7.0f);
            EXPECT_EQ(restored[n - 1], -7.0f);
            EXPECT_EQ(inPlace[0], windowed[0]);
        }
        for (uint32_t i = zeroEnds; i + zeroEnds < n; ++i) {
            EXPECT_NEAR(restored[i], x[i], 1e-5 * x[i]) << i;
            EXPECT_NEAR(inPlace[i], x[i], 1e-5 * x[i]) << i;
        }
        w.Apply(nullptr, windowed.data());  // null arrays are ignored
        w.Remove(x.data(), nullptr);
        w.ApplyInPlace(nullptr);
        w.RemoveInPlace(nullptr);
    }
}

TEST(TSmoothing, InvalidTypesAndNamesAreRefused) {
    ScriptedHost host;
    TSmoothing w(16, kWindowHanning, kCorrectionNone, &host);
    const std::vector<float> before(w.Coefficients(), w.Coefficients() + 16);
    EXPECT_FALSE(w.SetType(10));
    EXPECT_FALSE(w.Set(64, 65535, kCorrectionEnergy));
    EXPECT_EQ(w.error(), 1u);
    EXPECT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(w.GetType(), kWindowHanning);
    EXPECT_EQ(std::vector<float>(w.Coefficients(), w.Coefficients() + 16), before);
    EXPECT_TRUE(w.Set(64, kWindowKaiser, kCorrectionEnergy));  // a good rebuild clears the error
    EXPECT_EQ(w.error(), 0u);
    EXPECT_EQ(w.GetSize(), 64u);
    EXPECT_FALSE(host.busyCursor);
    EXPECT_TRUE(w.SetSize(4096));
    EXPECT_EQ(w.GetType(), kWindowKaiser);

    // constructed with a bad type: in error, no coefficients, harmless to use
    TSmoothing bad(32, 11, kCorrectionNone, &host);
    EXPECT_EQ(bad.error(), 1u);
    EXPECT_EQ(bad.GetSize(), 0u);
    std::vector<float> in(32, 1.0f), out(32, 2.0f);
    bad.Apply(in.data(), out.data());
    bad.RemoveInPlace(in.data());
    EXPECT_EQ(out, std::vector<float>(32, 2.0f));
    TSmoothing empty(0, kWindowHanning, kCorrectionNone);
    EXPECT_EQ(empty.error(), 0u);

    char buffer[12] = "junk";
    for (int type : {10, -1}) {
        TSmoothing::GetName(type, buffer);
        EXPECT_STREQ(buffer, "") << type;
    }
    char small[5];
    TSmoothing::GetName(kWindowTriangular, small, sizeof small);
    EXPECT_STREQ(small, "Tria");
}

}  // namespace
}  // namespace zeltrak
