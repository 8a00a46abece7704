// The A, B and C weightings against the nominal values IEC 61672-1 (A, C) and the older
// sound level meter standards (B) tabulate, and as a spectrum applies them on its bins.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/spectral_data.h"
#include "dsp/spectral_test_support.h"
#include "dsp/weighting.h"

namespace zeltrak {
namespace {

using namespace spectral_test;

// The tables give their values at the exact base-ten band centres 1000 * 10^(n/10) Hz, not at
// the rounded names: at "31.5 Hz" or "16 kHz" taken literally A is 0.1 dB off its entry.
double BandCentre(int n) { return 1000.0 * std::pow(10.0, n / 10.0); }

TEST(Weighting, LevelsMatchTheStandardsNominalValues) {
    const struct {
        uint32_t type;
        int band;  // n as above
        double db;
    } rows[] = {
        {kWeightingA, -20, -70.4}, {kWeightingA, -15, -39.4}, {kWeightingA, -10, -19.1}, {kWeightingA, 0, 0.0},
        {kWeightingA, 6, 1.0},     {kWeightingA, 10, -2.5},   {kWeightingA, 12, -6.6},   {kWeightingA, 13, -9.3},
        {kWeightingC, -15, -3.0},  {kWeightingC, -10, -0.3},  {kWeightingC, 10, -4.4},   {kWeightingC, 13, -11.2},
        {kWeightingB, -15, -17.1}, {kWeightingB, -10, -5.6},  {kWeightingB, 10, -4.3},
    };
    for (const auto& r : rows)
        EXPECT_NEAR(WeightingLevelDb(r.type, BandCentre(r.band)), r.db, 0.1) << r.type << " at " << BandCentre(r.band);
    for (uint32_t type : {kWeightingA, kWeightingB, kWeightingC}) {
        EXPECT_NEAR(WeightingLevelDb(type, 1000.0), 0.0, 1e-9) << type;
        // the response vanishes at 0 Hz: held at the floor of the per-bin curves, not -inf or NaN
        EXPECT_EQ(WeightingLevelDb(type, 0.0), -kMaxCurveLevelDb) << type;
    }
    EXPECT_EQ(WeightingLevelDb(kWeightingNone, 100.0), 0.0);
    EXPECT_EQ(WeightingLevelDb(7, 100.0), 0.0);
}

}  // namespace
}  // namespace zeltrak
