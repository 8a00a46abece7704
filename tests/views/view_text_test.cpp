// The plot views' text export and axis helpers, read back and against brute-force computations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "support/tab_table.h"
#include "views/view_text.h"

namespace zeltrak {
namespace {

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

}  // namespace
}  // namespace zeltrak
