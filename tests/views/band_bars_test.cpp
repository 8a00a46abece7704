// The band axis: which bands are labelled and with what, and the columns each band's bar covers,
// against hand-worked positions on a linear map.
#include <gtest/gtest.h>

#include <tuple>

#include "views/band_bars.h"

namespace zeltrak {
namespace {

TEST(BandAxis, LabelsTheOctaveCentresWithTheirNominalFrequencies) {
    const std::vector<std::string> octaveCentres = {"31.5", "63", "125", "250", "500", "1k", "2k", "4k", "8k", "16k"};
    const TFrequencyPixelMap map(22.0, 22000.0, 900, true, 40);
    for (uint32_t fraction : {1u, 3u, 6u}) {
        const std::vector<TBandRecord> bands = BuildOctaveBands(fraction, 24000.0);
        const std::vector<TAxisMark> marks = BuildBandAxisMarks(bands, [&](double f) { return map.Position(f); });
        std::vector<std::string> labels;
        int32_t previous = -1;
        for (const TAxisMark& m : marks) {
            labels.push_back(m.label);
            EXPECT_GT(m.position, previous) << fraction;
            previous = m.position;
        }
        EXPECT_EQ(labels, octaveCentres) << "1/" << fraction << " octave";
    }
    EXPECT_EQ(BandAxisLabel(1250.0f), "1.25k");  // a third-octave centre the axis leaves unlabelled
}

TEST(BandAxis, BarsTileTheirEdgesClippedToThePlotAndShareABandSideBySide) {
    // 100 Hz to 1100 Hz over 100 columns from pixel 50: f lies in column 50 + floor((f - 100) / 10).
    const TFrequencyPixelMap map(100.0, 1100.0, 100, false, 50);
    const std::vector<TBandRecord> bands = {
        {0, 0, 20.0f, 50.0f},      // below the plot: no bar
        {0, 0, 50.0f, 155.0f},     // reaches in from below
        {0, 0, 155.0f, 305.0f},    // starts where the one before ends
        {0, 0, 305.0f, 306.0f},    // narrower than a column
        {0, 0, 1000.0f, 1500.0f},  // runs past the top
        {0, 0, 1500.0f, 2000.0f},  // above the plot
    };
    struct Bar { std::size_t band; int32_t left, right; };
    const std::vector<Bar> expected = {{1, 50, 54}, {2, 55, 69}, {3, 70, 70}, {4, 140, 149}};
    const std::vector<TBandBarSpan> spans = BandBarSpans(bands, map);
    ASSERT_EQ(spans.size(), expected.size());
    for (std::size_t i = 0; i < spans.size(); ++i)
        EXPECT_EQ(std::tuple(spans[i].band, spans[i].left, spans[i].right),
                  std::tuple(expected[i].band, expected[i].left, expected[i].right)) << i;
    struct Split { int32_t left, right; int part, parts; int32_t partLeft, partRight; };
    for (const Split& s : {Split{10, 19, 0, 2, 10, 14}, Split{10, 19, 1, 2, 15, 19}, Split{10, 19, 1, 3, 13, 15},
                           Split{10, 19, 2, 3, 16, 19}, Split{10, 10, 1, 2, 10, 10}, Split{10, 19, 0, 1, 10, 19}}) {
        const TBandBarSpan part = SplitBandBar(TBandBarSpan{0, s.left, s.right}, s.part, s.parts);
        EXPECT_EQ(std::pair(part.left, part.right), std::pair(s.partLeft, s.partRight)) << s.part << "/" << s.parts;
    }
}

}  // namespace
}  // namespace zeltrak
