// Zooming about a point, keeping a zoomed span inside the data and holding the automatic value
// range, against hand-worked spans.
#include <gtest/gtest.h>

#include <cmath>

#include "views/view_range.h"

namespace zeltrak {
namespace {

TEST(ViewRange, ZoomKeepsTheAnchorAndClampKeepsTheSpanInsideTheData) {
    struct ZoomCase { TAxisSpan span; double anchor, factor; bool log; TAxisSpan want; };
    for (const ZoomCase& c : std::vector<ZoomCase>{
             {{0, 1000}, 250, 0.5, false, {125, 625}},
             {{100, 200}, 100, 2.0, false, {100, 300}},
             {{10, 10000}, 100, 0.5, true, {100 / std::sqrt(10.0), 1000}},  // half the decades either side
         }) {
        const TAxisSpan got = ZoomAbout(c.span, c.anchor, c.factor, c.log);
        EXPECT_NEAR(got.lo, c.want.lo, 1e-9 * c.want.hi) << c.anchor << " x" << c.factor;
        EXPECT_NEAR(got.hi, c.want.hi, 1e-9 * c.want.hi) << c.anchor << " x" << c.factor;
    }
    struct ClampCase { TAxisSpan span, limits; bool log; double minFraction; TAxisSpan want; };
    for (const ClampCase& c : std::vector<ClampCase>{
             {{-100, 200}, {0, 1000}, false, 0.0, {0, 300}},         // moved up, width kept
             {{900, 1200}, {0, 1000}, false, 0.0, {700, 1000}},      // moved down
             {{-50, 2000}, {0, 1000}, false, 0.0, {0, 1000}},        // wider than the data
             {{500, 500.001}, {0, 1000}, false, 0.01, {495, 505}},   // too narrow: widened
             {{5, 50}, {10, 10000}, true, 0.0, {10, 100}},           // one decade kept
             {{100, 100.0001}, {10, 10000}, true, 0.1, {100 / std::pow(10.0, 0.15), 100 * std::pow(10.0, 0.15)}},
         }) {
        const TAxisSpan got = ClampSpan(c.span, c.limits, c.log, c.minFraction);
        EXPECT_NEAR(got.lo, c.want.lo, 1e-6 * c.want.hi) << c.span.lo << " … " << c.span.hi;
        EXPECT_NEAR(got.hi, c.want.hi, 1e-6 * c.want.hi) << c.span.lo << " … " << c.span.hi;
    }
}

TEST(ViewRange, HeldValueRangeWidensAtOnceAndNeverNarrowsUntilReset) {
    TValueHold hold;
    struct Step { double min, max; bool resetFirst; TAxisSpan want; };
    for (const Step& s : std::vector<Step>{
             {-60, -20, false, {-60, -20}},
             {-50, -30, false, {-60, -20}},  // inside: held
             {-80, -10, false, {-80, -10}},  // outside: widened at once
             {-70, 0, false, {-80, 0}},      // one side only
             {NAN, NAN, false, {-80, 0}},    // no data: held
             {-40, -30, true, {-40, -30}},   // after a reset: afresh
         }) {
        if (s.resetFirst) hold.Reset();
        const TAxisSpan got = hold.Take(s.min, s.max);
        EXPECT_EQ(std::pair(got.lo, got.hi), std::pair(s.want.lo, s.want.hi)) << s.min << " … " << s.max;
    }
}

}  // namespace
}  // namespace zeltrak
