// Zooming about a point, keeping a zoomed span inside the data and holding the automatic value
// range, against hand-worked spans; the range dialog's checks and the range's text form.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <tuple>
#include <string>

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

TEST(ViewRange, ValueAxisTicksAreWholeMultiplesOfTheStepInsideTheSpan) {
    struct Case { TAxisSpan span; double step; std::vector<double> want; };
    for (const Case& c : std::vector<Case>{
             {{-37.48, -12.2}, 5, {-15, -20, -25, -30, -35}},           // a zoomed span: round marks only
             {{-120, 0}, 20, {0, -20, -40, -60, -80, -100, -120}},      // the edges themselves are marks
             {{-0.3, 0.3}, 0.1, {0.3, 0.2, 0.1, 0, -0.1, -0.2, -0.3}},  // in spite of 0.3 / 0.1 rounding
             {{-180, 180}, 45, {180, 135, 90, 45, 0, -45, -90, -135, -180}},
             {{1.01, 1.09}, 0.1, {}},
             {{0, 1}, 0, {}},
         }) {
        const std::vector<double> got = ValueAxisTicks(c.span, c.step);
        ASSERT_EQ(got.size(), c.want.size()) << c.span.lo << " … " << c.span.hi;
        for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], c.want[k], 1e-9) << c.span.lo << " … " << c.span.hi;
    }
}

TEST(ViewRange, RangeEntryIsRefusedWithTheReasonOrAccepted) {
    const TRangeLimits linear{{0, 24000}, false, "Hz"}, log{{10, 24000}, true, "Hz"};
    struct Case { TRangeEntry entry; TRangeLimits limits; std::string wantError; };
    const std::string outside = "The x range must lie within 10 … 24000 Hz.";
    for (const Case& c : std::vector<Case>{
             {{"100", "1e3", "", "", true}, linear, ""},
             {{" 0 ", "+24000", "-120", "0", false}, linear, ""},
             {{"100Hz", "1000", "", "", true}, linear, "Please enter a number in every field."},
             {{"100", "1000", "-1,5", "0", false}, linear, "Please enter a number in every field."},
             {{"100", "inf", "", "", true}, linear, "Please enter a number in every field."},
             {{"1000", "100", "", "", true}, linear, "\"From\" must be below \"To\"."},
             {{"100", "1000", "0", "0", false}, linear, "\"From\" must be below \"To\"."},
             {{"100", "25000", "", "", true}, linear, "The x range must lie within 0 … 24000 Hz."},
             {{"100", "24000.2", "", "", true}, linear, ""},  // the limit as shown, rounded up
             {{"100", "24001", "", "", true}, linear, "The x range must lie within 0 … 24000 Hz."},
             {{"24000.1", "24000.2", "", "", true}, linear, "The x range must lie within 0 … 24000 Hz."},
             {{"100", "1000", "", "", true}, {{10, 22028.466796875}, true, "Hz"}, ""},
             {{"5", "1000", "", "", true}, log, outside},
             {{"0", "1000", "", "", true}, {{0, 24000}, true, "Hz"}, "On a logarithmic axis \"From\" must be above 0."},
         }) {
        const TRangeCheck got = CheckRangeEntry(c.entry, c.limits);
        EXPECT_EQ(got.error, c.wantError) << c.entry.xFrom << " " << c.entry.xTo << " " << c.entry.valueFrom;
        EXPECT_EQ(got.range.has_value(), c.wantError.empty());
    }
    const TRangeCheck ok = CheckRangeEntry({"100", "1e3", "-120", "-20.5", false}, linear);
    ASSERT_TRUE(ok.range && ok.range->values);
    EXPECT_EQ(std::tuple(ok.range->x.lo, ok.range->x.hi, ok.range->values->lo, ok.range->values->hi),
              std::tuple(100.0, 1000.0, -120.0, -20.5));
    const TRangeCheck cut = CheckRangeEntry({"10", "22028.5", "", "", true}, {{10, 22028.466796875}, false, "Hz"});
    ASSERT_TRUE(cut.range);
    EXPECT_EQ(cut.range->x.hi, 22028.466796875);
    EXPECT_EQ(CheckRangeEntry({"1", "2", "", "", true}, {{10, 22028.466796875}, false, "Hz"}).error,
              "The x range must lie within 10 … 22028.5 Hz.");
}

TEST(ViewRange, RangeTextReadsBackAndRefusesMalformedText) {
    for (const TUserRange& r : {TUserRange{{10, 22000}, TAxisSpan{-120, 0}}, TUserRange{{0.001, 0.0423}, std::nullopt},
                                TUserRange{{12.345678901, 19999.5}, TAxisSpan{-1e-5, 3.25e4}}}) {
        const std::optional<TUserRange> back = ParseUserRange(FormatUserRange(r));
        ASSERT_TRUE(back) << FormatUserRange(r);
        EXPECT_EQ(std::pair(back->x.lo, back->x.hi), std::pair(r.x.lo, r.x.hi)) << FormatUserRange(r);
        EXPECT_EQ(back->values.has_value(), r.values.has_value());
        if (r.values) EXPECT_EQ(std::pair(back->values->lo, back->values->hi), std::pair(r.values->lo, r.values->hi));
    }
    EXPECT_EQ(FormatUserRange({{10, 22000}, TAxisSpan{-120, 0}}), "10 22000 -120 0");
    EXPECT_EQ(FormatUserRange({{10, 22000}, std::nullopt}), "10 22000 auto");
    for (const char* bad : {"", "10", "10 22000", "10 22000 -120", "10 22000 auto 0", "10 22000 -120 0 5", "x 22000 auto",
                            "22000 10 auto", "10 22000 0 -120", "10 nan auto", "10 inf auto", "10 22000 -inf 0",
                            "10 1e999 auto", "10 22000 Auto"}) {
        EXPECT_FALSE(ParseUserRange(bad)) << bad;
    }
}

}  // namespace
}  // namespace zeltrak
