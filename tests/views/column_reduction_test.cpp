// Column reduction against a direct scan of the points per column.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "views/column_reduction.h"

namespace zeltrak {
namespace {

TEST(ColumnReduction, EachColumnHoldsTheExtremesOfItsPoints) {
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
    for (int c = 0; c < 333; ++c) {
        // Independent: the points whose frequency lies between the column's edges.
        const double left = 10.0 * std::pow(2200.0, c / 333.0);
        const double right = 10.0 * std::pow(2200.0, (c + 1) / 333.0);
        float lo = INFINITY, hi = -INFINITY;
        int count = 0;
        for (size_t i = 0; i < f.size(); ++i) {
            // Points within float rounding of an edge may go either way; leave them out.
            if (f[i] < left * (1 + 1e-6) || f[i] > right * (1 - 1e-6) || std::isnan(v[i])) continue;
            lo = std::min(lo, v[i]);
            hi = std::max(hi, v[i]);
            ++count;
        }
        if (count == 0) continue;
        ASSERT_TRUE(columns[c].present) << c;
        EXPECT_LE(columns[c].min, lo) << c;
        EXPECT_GE(columns[c].max, hi) << c;
    }
    // Below 10 Hz nothing: the lowest columns are empty (bins every 1.2 Hz start at 10.8).
    EXPECT_FALSE(columns[0].present);
    // Every finite point inside the range landed somewhere: the extremes overall agree.
    float allMax = -INFINITY;
    for (size_t i = 0; i < f.size(); ++i)
        if (f[i] >= 10 && f[i] <= 22000 && !std::isnan(v[i])) allMax = std::max(allMax, v[i]);
    float colMax = -INFINITY;
    for (const auto& c : columns)
        if (c.present) colMax = std::max(colMax, c.max);
    EXPECT_EQ(colMax, allMax);

    EXPECT_TRUE(ReduceToColumns(f, v, TFrequencyPixelMap()).empty());
}

}  // namespace
}  // namespace zeltrak
