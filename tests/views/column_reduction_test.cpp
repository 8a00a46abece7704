// Column reduction against a direct scan of the points per column: no column may lose a peak.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "views/column_reduction.h"

namespace zeltrak {
namespace {

TEST(ColumnReduction, EachColumnHoldsTheExtremesOfItsPointsInEitherOrder) {
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
}

TEST(ColumnReduction, GapsAndInfiniteValuesInBothOrders) {
    // Ten columns of 10 Hz, two points each.
    const std::vector<float> f{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 100};
    const std::vector<float> v{1, 2, NAN, 4, NAN, NAN, INFINITY, 3, 9, -9, 0, 0, 0, 0, 0, 0, 0, 0, 5, 7};
    for (bool reversed : {false, true}) {
        std::vector<float> ff = f, vv = v;
        if (reversed) {
            std::reverse(ff.begin(), ff.end());
            std::reverse(vv.begin(), vv.end());
        }
        const auto c = ReduceToColumns(ff, vv, TFrequencyPixelMap(0, 100, 10, false));
        ASSERT_EQ(c.size(), 10u);
        EXPECT_TRUE(c[0].present && c[0].min == 1 && c[0].max == 2);
        EXPECT_TRUE(c[1].present && c[1].min == 4 && c[1].max == 4);  // NaN left out
        EXPECT_FALSE(c[2].present);                                    // only NaN
        EXPECT_FALSE(c[3].present);                                    // reaches infinity
        EXPECT_TRUE(c[4].present && c[4].min == -9 && c[4].max == 9);
        EXPECT_TRUE(c[9].present && c[9].min == 5 && c[9].max == 7);  // 100 Hz is the last column's
    }
}

}  // namespace
}  // namespace zeltrak
