// The analyser's readings against the truth; bench/accuracy_report prints the same table.
#include <gtest/gtest.h>

#include "accuracy/accuracy_cases.h"

namespace zeltrak::accuracy {
namespace {

void Check(const std::vector<Reading>& readings) {
    ASSERT_FALSE(readings.empty());
    for (const Reading& r : readings) EXPECT_NEAR(r.reading, r.truth, r.tolerance) << r.what << " (" << r.unit << ")";
}

TEST(Accuracy, TonesOnABinReadTheirLevelWithEveryWindowAndSize) { Check(WindowLevels()); }
TEST(Accuracy, NoiseDensityIsTheSameWithEveryWindow) { Check(NoiseDensity()); }
TEST(Accuracy, SnrSinadAndThdnCountAllTheNoiseInTheBand) { Check(NoiseRatios()); }
TEST(Accuracy, HarmonicsIntermodulationAndSpursBetweenBins) { Check(Distortion()); }
TEST(Accuracy, WeightingCurvesFollowTheirFormulas) { Check(Weighting()); }
TEST(Accuracy, EveryFileWidthReadsItsLevel) { Check(Formats()); }
TEST(Accuracy, InterpolatedPeakFrequencyWithinOnePercentOfABin) { Check(PeakFrequency()); }
TEST(Accuracy, CoherenceAsMagnitudeAndSquared) { Check(Coherence()); }

}  // namespace
}  // namespace zeltrak::accuracy
