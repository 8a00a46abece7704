// The plot views' helpers against independent computations: axis marks against a plain walk from 0
// and closed forms, column reduction against a direct scan, and the text export read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "support/tab_table.h"
#include "views/column_reduction.h"
#include "views/frequency_axis.h"
#include "views/trace_cursor.h"
#include "views/trace_model.h"
#include "views/view_text.h"

namespace zeltrak {
namespace {

struct LinearView {
    double lo, hi;
    int pixels;
    std::optional<int32_t> operator()(double f) const {
        if (f < lo || f > hi) return std::nullopt;
        return std::min(static_cast<int>(std::floor((f - lo) / (hi - lo) * pixels)), pixels - 1);
    }
};

std::vector<std::string> Labels(const std::vector<TAxisMark>& marks) {
    std::vector<std::string> out;
    for (const auto& m : marks) out.push_back(m.label + "@" + std::to_string(m.position));
    return out;
}

// The rule as written: walk integers from 0, then drop crowded labels from the right.
std::vector<TAxisMark> PlainWalk(double lo, double hi, FrequencyScale scale, int capacity, const FrequencyPositionFn& pos) {
    auto pass = [&](bool log) {
        std::vector<TAxisMark> marks;
        const double span = hi - lo;
        long long step = 1;
        for (long long s : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 5000, 10000})
            if (span / s >= 4.0) step = s;  // the largest that gives four steps
        for (long long f = 0;;) {
            if (auto p = pos(static_cast<double>(f)); f >= lo && p && static_cast<int>(marks.size()) < capacity - 1) {
                char text[64];
                const double k = f < 1000 ? f : f * 0.001;
                const char* unit = f < 1000 ? "" : "k";
                if (f == 0) std::snprintf(text, sizeof text, "0.0");
                else if (span < 10) std::snprintf(text, sizeof text, "%.3f%s", k, unit);
                else if (span < 100) std::snprintf(text, sizeof text, "%.2f%s", k, unit);
                else std::snprintf(text, sizeof text, f < 1000 ? "%.0f%s" : "%.1f%s", k, unit);
                marks.push_back({*p, text});
            }
            if (log) step = f < 10 ? 1 : f < 100 ? 10 : f < 1000 ? 100 : f < 10000 ? 1000 : f < 100000 ? 10000
                          : f < 1000000 ? 100000 : 10000;
            if ((f += step) > hi) break;
        }
        return marks;
    };
    const bool log = scale != FrequencyScale::Linear;
    auto marks = pass(log);
    if (log && marks.size() < 4) marks = pass(false);
    int remembered = 1 << 30;
    for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
        if (it->position <= remembered - 30) remembered = it->position;
        else it->label.clear();
    }
    return marks;
}

TEST(FrequencyAxisMarks, AgreeWithAPlainWalkFromZero) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 400; ++trial) {
        const double lo = std::floor(std::pow(10.0, unit(rng) * 5.3)) * (trial % 7 == 0 ? 0 : 1) +
                          (trial % 3 == 0 ? 0.5 : 0.0);
        const double hi = lo + std::pow(10.0, unit(rng) * 5.0);
        const FrequencyScale scale = trial % 2 ? FrequencyScale::Logarithmic : FrequencyScale::Linear;
        const int pixels = 2 + static_cast<int>(unit(rng) * 1600);
        const int capacity = trial % 5 == 0 ? 2 + trial % 9 : pixels;
        std::optional<TFrequencyPixelMap> logMap;
        FrequencyPositionFn pos = LinearView{lo, hi, pixels};
        if (scale != FrequencyScale::Linear && lo > 0) {
            logMap.emplace(lo, hi, pixels, true, 7);
            pos = [&](double f) { return logMap->Position(f); };
        }
        if (trial % 11 == 0) {  // a mapping with a hole in the middle, scrolled left
            const LinearView view{lo, hi, pixels};
            pos = [view](double f) -> std::optional<int32_t> {
                if (f > view.lo + (view.hi - view.lo) / 3 && f < view.hi - (view.hi - view.lo) / 3) return std::nullopt;
                const auto p = view(f);
                return p ? std::optional<int32_t>(*p - 100) : std::nullopt;
            };
        }
        const auto got = BuildFrequencyAxisMarks(lo, hi, scale, capacity, pos);
        const auto want = PlainWalk(lo, hi, scale, capacity, pos);
        ASSERT_EQ(Labels(got), Labels(want)) << lo << " " << hi << " scale " << ScaleCode(scale);
    }
}

TEST(FrequencyAxisMarks, DecadesAndColumnEdgesMatchTheirClosedForms) {
    // Decades 20 … 20000 Hz on a logarithmic map, at floor(log(f / 20) / log(1100) × 1600).
    TFrequencyPixelMap map(20, 22000, 1600, true);
    const auto log = BuildFrequencyAxisMarks(20, 22000, FrequencyScale::Logarithmic, 1600, [&](double f) { return map.Position(f); });
    ASSERT_EQ(log.size(), 28u);
    size_t i = 0;
    for (double d : {10.0, 100.0, 1000.0, 10000.0})
        for (int m = (d == 10.0 ? 2 : 1); m <= (d == 10000.0 ? 2 : 9); ++m, ++i)
            EXPECT_EQ(log[i].position, std::floor(std::log10(m * d / 20.0) / std::log10(1100.0) * 1600)) << m * d;
    EXPECT_EQ(log.back().label, "20.0k");
    EXPECT_EQ(FrequencyAxisLabel(1234567890, 1000).size(), kAxisLabelMaxChars);  // never longer
    // A linear map: each edge belongs to the column on its right, hi to the last column.
    TFrequencyPixelMap lin(0, 1000, 100, false, 10);
    EXPECT_EQ(lin.Position(9.99), 10);
    EXPECT_EQ(lin.Position(10), 11);
    EXPECT_EQ(lin.Position(1000), 109);
    EXPECT_FALSE(lin.Position(1000.01).has_value());
    EXPECT_FALSE(TFrequencyPixelMap(0, 100, 10, true).Valid());  // log of 0
    EXPECT_FALSE(TFrequencyPixelMap(100, 100, 10, false).Valid());
    EXPECT_FALSE(TFrequencyPixelMap(0, 100, 0, false).Position(50).has_value());
}

TEST(FrequencyAxisMarks, BadRangesGiveNoMarksAndHugeRangesStayFast) {
    const LinearView view{0, 100, 500};
    struct Case { double lo, hi; int capacity; FrequencyPositionFn pos; };
    const Case bad[] = {{100, 0, 500, view},   {NAN, 100, 500, view}, {0, INFINITY, 500, view},
                        {0, 1e300, 500, view}, {0, 100, 1, view},     {0, 100, -5, view},
                        {0, 100, 500, FrequencyPositionFn{}}};
    for (const Case& c : bad)
        for (FrequencyScale scale : {FrequencyScale::Linear, FrequencyScale::Logarithmic})
            EXPECT_TRUE(BuildFrequencyAxisMarks(c.lo, c.hi, scale, c.capacity, c.pos).empty()) << c.lo << " " << c.hi;
    // A huge range with no pixels, and a narrow one far from 0, end within the walk limit.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(BuildFrequencyAxisMarks(0, 1e11, FrequencyScale::Logarithmic, 500, [](double) { return std::optional<int32_t>{}; }).empty());
    EXPECT_EQ(BuildFrequencyAxisMarks(9e9, 9e9 + 3, FrequencyScale::Linear, 500, LinearView{9e9, 9e9 + 3, 500}).size(), 4u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(FrequencyAxisRange, DataViewsUseTheirWindowClampedOrTheFullSpan) {
    struct Case { bool full; double start, stop, lo, hi; };
    for (const Case& c : {Case{true, 100, 10000, 0, 24000}, Case{false, 100, 10000, 100, 10000},
                          Case{false, 100, 30000, 100, 24000}, Case{false, 10000, 100, 0, 24000},
                          Case{false, 30000, 40000, 0, 24000}}) {
        const auto r = DataViewFrequencyRange(c.full, c.start, c.stop, 0, 24000);
        EXPECT_TRUE(r.lo == c.lo && r.hi == c.hi) << c.start << "-" << c.stop << ": " << r.lo << "-" << r.hi;
    }
}

TEST(ColumnReduction, EachColumnHoldsTheExtremesOfItsPointsInAnyOrderWithoutGapsOrInfinities) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-150.0f, 10.0f);
    std::vector<float> f, v;
    for (int i = 0; i <= 20000; ++i) {
        f.push_back(static_cast<float>(i) * 1.2f);  // 0 … 24000 Hz
        v.push_back(value(rng));
    }
    v[100] = NAN;  // a gap in the data must not poison its column
    TFrequencyPixelMap map(10, 22000, 333, true, 5);
    const auto columns = ReduceToColumns(f, v, map);
    ASSERT_EQ(columns.size(), 333u);
    float allMax = -INFINITY, colMax = -INFINITY;
    for (int c = 0; c < 333; ++c) {
        // Independent: the points between the edges, less those within rounding of one.
        const double left = 10.0 * std::pow(2200.0, c / 333.0), right = 10.0 * std::pow(2200.0, (c + 1) / 333.0);
        float lo = INFINITY, hi = -INFINITY;
        for (size_t i = 0; i < f.size(); ++i)
            if (f[i] > left * (1 + 1e-6) && f[i] < right * (1 - 1e-6) && !std::isnan(v[i])) {
                lo = std::min(lo, v[i]);
                hi = std::max(hi, v[i]);
            }
        if (columns[c].present) colMax = std::max(colMax, columns[c].max);
        if (lo > hi) continue;
        ASSERT_TRUE(columns[c].present) << c;
        EXPECT_LE(columns[c].min, lo) << c;
        EXPECT_GE(columns[c].max, hi) << c;
    }
    EXPECT_FALSE(columns[0].present);  // bins every 1.2 Hz start above 10 Hz
    // Every finite point inside the range landed somewhere, and nowhere higher than it is.
    for (size_t i = 0; i < f.size(); ++i)
        if (f[i] >= 10 && f[i] <= 22000 && !std::isnan(v[i])) allMax = std::max(allMax, v[i]);
    EXPECT_EQ(colMax, allMax);

    // Points in any order give the same columns as the ascending walk, points on an edge too.
    std::vector<float> fr(f.rbegin(), f.rend()), vr(v.rbegin(), v.rend());
    for (const auto& m : {map, TFrequencyPixelMap(0, 24000, 1600, false), TFrequencyPixelMap(100, 1000, 997, true)}) {
        const auto sorted = ReduceToColumns(f, v, m), unsorted = ReduceToColumns(fr, vr, m);
        ASSERT_EQ(sorted.size(), unsorted.size());
        for (size_t c = 0; c < sorted.size(); ++c)
            EXPECT_TRUE(sorted[c].present == unsorted[c].present && sorted[c].min == unsorted[c].min &&
                        sorted[c].max == unsorted[c].max) << c;
    }
    EXPECT_TRUE(ReduceToColumns(f, v, TFrequencyPixelMap()).empty());

    // Gaps and infinite values by hand, ascending then descending: ten columns of 10 Hz, two points each.
    f = {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 100};
    v = {1, 2, NAN, 4, NAN, NAN, INFINITY, 3, 9, -9, 0, 0, 0, 0, 0, 0, 0, 0, 5, 7};
    for (int pass = 0; pass < 2; ++pass) {
        const auto c = ReduceToColumns(f, v, TFrequencyPixelMap(0, 100, 10, false));
        ASSERT_EQ(c.size(), 10u);
        EXPECT_TRUE(c[0].present && c[0].min == 1 && c[0].max == 2);
        EXPECT_TRUE(c[1].present && c[1].min == 4 && c[1].max == 4);  // NaN left out
        EXPECT_FALSE(c[2].present);                                    // only NaN
        EXPECT_FALSE(c[3].present);                                    // reaches infinity
        EXPECT_TRUE(c[4].present && c[4].min == -9 && c[4].max == 9);
        EXPECT_TRUE(c[9].present && c[9].min == 5 && c[9].max == 7);  // 100 Hz is the last column's
        std::reverse(f.begin(), f.end());
        std::reverse(v.begin(), v.end());
    }
}

TEST(ViewText, NumbersReadBackAsTheSameFloatAndTablesIntoTheirColumns) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (int i = 0; i < 20000; ++i) {
        const float v = std::ldexp(mantissa(rng), exponent(rng));
        ASSERT_EQ(std::strtof(FormatViewNumber(v).c_str(), nullptr), v) << FormatViewNumber(v);
    }
    EXPECT_EQ(FormatViewNumber(0.1f), "0.1");  // no trailing noise digits in a table people read

    const std::vector<float> f = {0.0f, 11.71875f, 23.4375f, 35.15625f}, fCopy = f;
    const std::vector<float> left = {-120.5f, -6.0206f, NAN, -80.25f}, right = {-100.0f, -12.5f, -13.0f, -14.0f};
    const std::vector<float> g = {5.0f, 10.0f}, other = {1.0f, 2.0f}, shortValues = {1.0f}, empty;
    // Equal x values share a column, others get their own; missing values read back empty.
    const auto rows = testing::ParseTabTable(BuildColumnText(
        "Hz", {{"Left", &f, &left}, {"Nothing", &empty, &empty}, {"Right", &fCopy, &right}, {"Other", &g, &other},
               {"Short", &f, &shortValues}}));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Hz", "Left", "Right", "Short", "Hz", "Other"}));
    auto at = [](const std::vector<float>& v, size_t r) { return r < v.size() ? v[r] : NAN; };
    for (size_t r = 0; r < 4; ++r) {
        ASSERT_EQ(rows[r + 1].size(), 6u) << r;
        const float want[] = {f[r], left[r], right[r], at(shortValues, r), at(g, r), at(other, r)};
        for (size_t c = 0; c < 6; ++c) {
            if (std::isnan(want[c])) EXPECT_EQ(rows[r + 1][c], "") << r << "," << c;
            else EXPECT_EQ(std::strtof(rows[r + 1][c].c_str(), nullptr), want[c]) << r << "," << c;
        }
    }
}

TEST(ViewText, TimeMarksSitOnWholeStepsAtTheirPixels) {
    // A 4096-point frame at 48 kHz: 85.3 ms over 1528 columns in at most 19 steps of 5 ms.
    const double hi = 4095.0 / 48000.0;
    const TFrequencyPixelMap map(0.0, hi, 1528, false, 56);
    bool ms = false;
    const auto marks = BuildTimeAxisMarks(0.0, hi, 1528, [&](double t) { return map.Position(t); }, &ms);
    EXPECT_TRUE(ms);
    ASSERT_EQ(marks.size(), 18u);
    for (size_t i = 0; i < marks.size(); ++i) {
        EXPECT_EQ(marks[i].position, *map.Position(i * 0.005)) << i;
        EXPECT_EQ(marks[i].label, std::to_string(5 * i)) << i;
    }
    EXPECT_TRUE(BuildTimeAxisMarks(1.0, 1.0, 500, [&](double t) { return map.Position(t); }).empty());
    EXPECT_TRUE(BuildTimeAxisMarks(0.0, NAN, 500, [&](double t) { return map.Position(t); }).empty());
    EXPECT_TRUE(NiceStep(NAN, 5) == 0.0 && NiceStep(10.0, 0) == 0.0 && NiceStep(0.0, 5) == 0.0);
    EXPECT_FALSE(NearestPoint({}, 1.0) || NearestPoint({1.0f}, NAN));
    EXPECT_TRUE(std::isnan(ColumnCentre(TFrequencyPixelMap(), 0)));
}

TEST(TraceModel, TheCursorReadoutAndTheValueAxisFollowTheKindOfView) {
    // At x: each trace with points at its nearest point (the lower on a tie), "-" without a value.
    struct Readout { TraceAxis axis; TraceValueKind kind; double xHi, x; const char* text; };
    for (const Readout& c : {
             Readout{TraceAxis::Frequency, TraceValueKind::Level, 2e4, 140.0, "140.0 Hz   Left: -20.50   Result 1: 12.00"},
             Readout{TraceAxis::Frequency, TraceValueKind::Level, 2e4, 150.0, "150.0 Hz   Left: -20.50   Result 1: 12.00"},
             Readout{TraceAxis::Frequency, TraceValueKind::Phase, 2e4, 160.0, "160.0 Hz   Left: -   Result 1: 12.0 deg"},
             Readout{TraceAxis::Frequency, TraceValueKind::Phase, 2e4, 9e3, "9000.0 Hz   Left: -3.1 deg   Result 1: 12.0 deg"},
             Readout{TraceAxis::Time, TraceValueKind::Sample, 1.0, 0.0125, "12.500 ms   Left: -20.5   Result 1: 12"},
             Readout{TraceAxis::Time, TraceValueKind::Sample, 3.0, 500.0, "500.0000 s   Left: -3.126   Result 1: 12"}}) {
        TTraceModel model(3, c.axis, c.kind);
        model.SetXRange(0.0, c.xHi);
        model.Trace(0).name = "Left";
        model.Trace(2).name = "Result 1";
        model.SetTracePoints(0, {100.0f, 200.0f, 400.0f}, {-20.5f, NAN, -3.126f});
        model.SetTracePoints(2, {1000.0f}, {12.0f});
        EXPECT_EQ(JoinReadout(CursorReadoutParts(model, c.x)), c.text);
    }
    // Spectrum levels in whole tens (coarser on a short plot), phase fixed, samples symmetric in 1-2-5 steps.
    struct Scale { TraceValueKind kind; float min, max; int height; TValueScale want; };
    for (const Scale& c : {Scale{TraceValueKind::Level, -87.3f, -12.1f, 480, {0.0f, -90.0f, 10.0f}},
                           Scale{TraceValueKind::Level, -87.3f, -12.1f, 100, {0.0f, -90.0f, 40.0f}},
                           Scale{TraceValueKind::Level, NAN, NAN, 480, {10.0f, -100.0f, 10.0f}},
                           Scale{TraceValueKind::Phase, -3.0f, 3.0f, 199, {180.0f, -180.0f, 90.0f}},
                           Scale{TraceValueKind::Phase, NAN, NAN, 200, {180.0f, -180.0f, 45.0f}},
                           Scale{TraceValueKind::Sample, -0.3f, 0.8f, 400, {1.0f, -1.0f, 0.2f}},
                           Scale{TraceValueKind::Sample, NAN, NAN, 400, {1.5f, -1.5f, 0.5f}}}) {
        const TValueScale s = ChooseValueScale(c.kind, c.min, c.max, c.height);
        EXPECT_TRUE(s.top == c.want.top && s.bottom == c.want.bottom && s.step == c.want.step)
            << s.top << " " << s.bottom << " " << s.step;
    }
}

TEST(TraceCursor, SnapsStepsAndFindsPeaksOnBinsInsideTheAxis) {
    // FFT 32768 at 48 kHz: 1.46 Hz bins, far finer than a pixel. A 440 Hz tone peaks on bin 300
    // (439.45 Hz), a weaker one on bin 1000; a peak at bin 5 (7.3 Hz) lies below the axis.
    TTraceModel model(2, TraceAxis::Frequency, TraceValueKind::Level);
    std::vector<float> x(16384), v(16384, -100.0f);
    for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(k * 48000.0 / 32768.0);
    v[5] = 0.0f, v[299] = v[301] = -20.0f, v[300] = -6.0f, v[1000] = -30.0f;
    model.SetTracePoints(1, x, v);  // trace 0 empty: the first trace with points leads
    enum Op { Snap, Step, Highest, Peak };
    struct Case { double lo; Op op; double at; int direction; int want; };  // want −1: nothing
    for (const Case& c : {Case{10, Snap, 440.0, 0, 300}, Case{10, Snap, 0.0, 0, 7}, Case{10, Snap, 3e4, 0, 16383},
                          Case{10, Step, 299, 1, 300}, Case{10, Step, 300, -1, 299}, Case{10, Step, 7, -1, -1},
                          Case{10, Step, 16383, 1, -1}, Case{10, Highest, 0, 0, 300}, Case{500, Highest, 0, 0, 1000},
                          Case{10, Peak, 7, 1, 300}, Case{10, Peak, 300, 1, 1000}, Case{10, Peak, 1000, -1, 300},
                          Case{10, Peak, 1000, 1, -1}, Case{10, Peak, 300, -1, -1}}) {
        model.SetXRange(c.lo, 24000.0);
        std::optional<size_t> got;
        switch (c.op) {
            case Snap: got = SnapToPoint(model, c.at); break;
            case Step: got = StepPoint(model, static_cast<size_t>(c.at), c.direction); break;
            case Highest: got = HighestPeak(model); break;
            case Peak: got = NextPeak(model, static_cast<size_t>(c.at), c.direction); break;
        }
        EXPECT_EQ(got ? static_cast<int>(*got) : -1, c.want) << "op " << c.op << " at " << c.at;
    }
}

TEST(FrequencyAxisMarks, KeptLabelsNeverTouchAndOnlyCrowdedOnesGo) {
    const auto widthOf = [](const std::string& label) { return static_cast<int32_t>(7 * label.size()); };
    struct Case { double lo, hi; FrequencyScale scale; int pixels; bool allFit; };
    for (const Case& c : {Case{20, 22000, FrequencyScale::Logarithmic, 400, false},
                          Case{20, 22000, FrequencyScale::Logarithmic, 900, false},
                          Case{10, 22000, FrequencyScale::Linear, 160, false},
                          Case{10, 22000, FrequencyScale::Linear, 1200, true},
                          Case{1000, 1050, FrequencyScale::Linear, 200, false}}) {
        const TFrequencyPixelMap map(c.lo, c.hi, c.pixels, c.scale != FrequencyScale::Linear);
        std::vector<TAxisMark> marks = BuildFrequencyAxisMarks(c.lo, c.hi, c.scale, c.pixels,
                                                               [&](double f) { return map.Position(f); });
        const std::vector<TAxisMark> before = marks;
        DropOverlappingLabels(marks, 4, widthOf);
        int lastRight = -100000, kept = 0, had = 0;
        for (size_t i = 0; i < marks.size(); ++i) {
            had += !before[i].label.empty();
            if (marks[i].label.empty()) continue;
            EXPECT_EQ(marks[i].label, before[i].label);
            const int left = marks[i].position - widthOf(marks[i].label) / 2;
            EXPECT_GE(left - lastRight, 4) << marks[i].label << " at " << c.pixels << " px";
            lastRight = left + widthOf(marks[i].label);
            ++kept;
        }
        EXPECT_EQ(marks.back().label, before.back().label) << "the rightmost label stays";
        if (c.allFit) EXPECT_EQ(kept, had);
    }
}

}  // namespace
}  // namespace zeltrak
