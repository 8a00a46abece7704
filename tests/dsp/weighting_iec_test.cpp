// How far the tabulated A and C curves, as the analyser interpolates them, lie from the
// analytic A and C weightings of IEC 61672-1 at the 1/3-octave centres 10 Hz ... 20 kHz.
// The table is printed with the test so that the numbers can be quoted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "dsp/octave_bands.h"
#include "dsp/spline.h"
#include "dsp/weighting.h"

namespace zeltrak {
namespace {

// Pole frequencies of the standard's weightings (Hz).
constexpr double f1 = 20.598997, f2 = 107.65265, f3 = 737.86223, f4 = 12194.217;

double AnalyticA(double f) {
    const double f2s = f * f;
    const double r = (f4 * f4 * f2s * f2s) /
                     ((f2s + f1 * f1) * std::sqrt((f2s + f2 * f2) * (f2s + f3 * f3)) * (f2s + f4 * f4));
    return 20 * std::log10(r) + 2.000;
}

double AnalyticC(double f) {
    const double f2s = f * f;
    const double r = (f4 * f4 * f2s) / ((f2s + f1 * f1) * (f2s + f4 * f4));
    return 20 * std::log10(r) + 0.062;
}

struct Deviation {
    double maxAbs = 0;
    double atFrequency = 0;
};

Deviation Compare(const char* name, uint32_t type, double (*analytic)(double)) {
    const TSpline curve(WeightingCurve(type));
    Deviation worst;
    std::printf("%s weighting: nominal Hz, tabulated dB, IEC 61672-1 dB, deviation dB\n", name);
    for (uint32_t i = 10; i <= 43; ++i) {
        const double f = std::pow(10.0, i / 10.0);
        const double table = curve.Evaluate(static_cast<float>(f));
        const double iec = analytic(f);
        std::printf("  %8g  %7.2f  %7.2f  %+6.2f\n", NominalBandFrequency(i, 3), table, iec, table - iec);
        if (std::abs(table - iec) > worst.maxAbs) worst = {std::abs(table - iec), f};
    }
    std::printf("  largest |deviation| %.2f dB at %.0f Hz\n", worst.maxAbs, worst.atFrequency);
    return worst;
}

TEST(WeightingAgainstIec61672, TabulatedCurvesStayCloseToTheAnalyticOnes) {
    // the analytic curves are normalised at 1 kHz
    EXPECT_NEAR(AnalyticA(1000), 0.0, 0.005);
    EXPECT_NEAR(AnalyticC(1000), 0.0, 0.005);
    // and give the standard's rounded values at two of its table frequencies
    EXPECT_NEAR(AnalyticA(100), -19.1, 0.05);
    EXPECT_NEAR(AnalyticC(31.62), -3.0, 0.05);

    const Deviation a = Compare("A", kWeightingA, AnalyticA);
    const Deviation c = Compare("C", kWeightingC, AnalyticC);
    // The table rounds to 0.1 dB up to 20 kHz, so half a tenth and a little float: anything
    // more means the table or its interpolation went wrong.
    EXPECT_LT(a.maxAbs, 0.08);
    EXPECT_LT(c.maxAbs, 0.08);
}

}  // namespace
}  // namespace zeltrak
