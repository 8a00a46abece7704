// The text export and axis helpers of the plot views, checked by reading the text back and
// against brute-force computations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>

#include "support/tab_table.h"
#include "views/view_text.h"

namespace zeltrak {
namespace {

TEST(ViewText, NumbersReadBackAsTheSameFloat) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (int i = 0; i < 20000; ++i) {
        const float v = std::ldexp(mantissa(rng), exponent(rng));
        const std::string text = FormatViewNumber(v);
        ASSERT_EQ(std::strtof(text.c_str(), nullptr), v) << text;
    }
    // Short where the float allows it: no trailing noise digits in a table people read.
    EXPECT_EQ(FormatViewNumber(1000.0f), "1000");
    EXPECT_EQ(FormatViewNumber(0.1f), "0.1");
    EXPECT_EQ(FormatViewNumber(-6.5f), "-6.5");
    EXPECT_EQ(FormatViewNumber(NAN), "");
    EXPECT_EQ(FormatViewNumber(INFINITY), "");
}

TEST(ViewText, TableReadsBackIntoTheColumnsItWasMadeFrom) {
    const std::vector<float> f = {0.0f, 11.71875f, 23.4375f, 35.15625f};
    const std::vector<float> left = {-120.5f, -6.0206f, NAN, -80.25f};
    const std::vector<float> right = {-100.0f, -12.5f, -13.0f, -14.0f};
    const std::vector<float> fCopy = f;  // equal values in another vector still share a column
    const std::vector<float> g = {5.0f, 10.0f};
    const std::vector<float> other = {1.0f, 2.0f};
    const std::vector<float> empty;

    const std::string text = BuildColumnText(
        "Frequency (Hz)", {{"Left", &f, &left}, {"Nothing", &empty, &empty}, {"Right", &fCopy, &right},
                           {"Other", &g, &other}});
    const auto rows = testing::ParseTabTable(text);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Frequency (Hz)", "Left", "Right", "Frequency (Hz)", "Other"}));
    for (size_t r = 0; r < 4; ++r) {
        ASSERT_EQ(rows[r + 1].size(), 5u) << r;
        EXPECT_EQ(std::strtof(rows[r + 1][0].c_str(), nullptr), f[r]);
        if (std::isnan(left[r])) {
            EXPECT_EQ(rows[r + 1][1], "");
        } else {
            EXPECT_EQ(std::strtof(rows[r + 1][1].c_str(), nullptr), left[r]);
        }
        EXPECT_EQ(std::strtof(rows[r + 1][2].c_str(), nullptr), right[r]);
        if (r < 2) {
            EXPECT_EQ(std::strtof(rows[r + 1][3].c_str(), nullptr), g[r]);
            EXPECT_EQ(std::strtof(rows[r + 1][4].c_str(), nullptr), other[r]);
        } else {
            EXPECT_EQ(rows[r + 1][3], "");
            EXPECT_EQ(rows[r + 1][4], "");
        }
    }
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(BuildColumnText("Time (s)", {}), "Time (s)\n");
    // Values shorter than their x: the missing ones are empty fields, never read past the end.
    const std::vector<float> shortValues = {1.0f};
    const auto partial = testing::ParseTabTable(BuildColumnText("x", {{"v", &f, &shortValues}}));
    ASSERT_EQ(partial.size(), 5u);
    EXPECT_EQ(partial[1][1], "1");
    EXPECT_EQ(partial[4][1], "");
}

TEST(ViewText, NearestPointAgreesWithAScanOfAllPoints) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> step(0.0f, 3.0f);
    std::vector<float> xs;
    float x = -5.0f;
    for (int i = 0; i < 500; ++i) xs.push_back(x += step(rng));
    std::uniform_real_distribution<double> query(-20.0, x + 20.0);
    for (int q = 0; q < 5000; ++q) {
        const double at = query(rng);
        size_t best = 0;
        for (size_t i = 1; i < xs.size(); ++i) {
            if (std::abs(xs[i] - at) < std::abs(xs[best] - at)) best = i;
        }
        const auto found = NearestPoint(xs, at);
        ASSERT_TRUE(found);
        // Equal distances may pick either neighbour; the distance is what must agree.
        ASSERT_EQ(std::abs(xs[*found] - at), std::abs(xs[best] - at)) << at;
    }
    EXPECT_EQ(NearestPoint({1.0f, 3.0f}, 2.0), 0u);  // a tie takes the lower point
    EXPECT_FALSE(NearestPoint({}, 1.0));
    EXPECT_FALSE(NearestPoint(xs, NAN));
}

TEST(ViewText, ColumnCentreIsTheMiddleOfTheColumnOnEitherScale) {
    const TFrequencyPixelMap linear(0.0, 1000.0, 100, false, 40);
    EXPECT_NEAR(ColumnCentre(linear, 0), 5.0, 1e-9);
    EXPECT_NEAR(ColumnCentre(linear, 99), 995.0, 1e-9);
    const TFrequencyPixelMap log(10.0, 100000.0, 400, true, 0);
    // Four decades over 400 columns: column c spans 10^(1 + c/100) … 10^(1 + (c+1)/100).
    EXPECT_NEAR(ColumnCentre(log, 150), std::pow(10.0, 1.0 + 150.5 / 100.0), 1e-6);
    EXPECT_EQ(log.Column(ColumnCentre(log, 237)), 237);
    EXPECT_TRUE(std::isnan(ColumnCentre(TFrequencyPixelMap(), 0)));
}

TEST(ViewText, NiceStepIsTheSmallestOneTwoFiveStepThatFits) {
    for (double span : {0.0853, 1.0, 2.5, 7.0, 99.0, 100.0, 360.0, 20000.0, 3e-5}) {
        for (int maxSteps : {1, 3, 4, 10, 20}) {
            const double step = NiceStep(span, maxSteps);
            // Independent: walk the 1-2-5 ladder upwards from far below.
            double expected = 0.0;
            for (int e = -12; e < 12 && expected == 0.0; ++e) {
                for (double m : {1.0, 2.0, 5.0}) {
                    const double candidate = m * std::pow(10.0, e);
                    if (span / candidate <= maxSteps * (1 + 1e-9)) {
                        expected = candidate;
                        break;
                    }
                }
            }
            EXPECT_NEAR(step, expected, expected * 1e-9) << span << " / " << maxSteps;
        }
    }
    EXPECT_EQ(NiceStep(0.0, 5), 0.0);
    EXPECT_EQ(NiceStep(NAN, 5), 0.0);
    EXPECT_EQ(NiceStep(10.0, 0), 0.0);
}

TEST(ViewText, TimeMarksSitOnWholeStepsAtTheirPixels) {
    // A 4096-point frame at 48 kHz: 85.3 ms over 1528 columns.
    const double hi = 4095.0 / 48000.0;
    const TFrequencyPixelMap map(0.0, hi, 1528, false, 56);
    bool ms = false;
    const auto marks = BuildTimeAxisMarks(0.0, hi, 1528, [&](double t) { return map.Position(t); }, &ms);
    EXPECT_TRUE(ms);
    // 85.3 ms in at most 19 steps: 5 ms each, 0 … 85 ms.
    ASSERT_EQ(marks.size(), 18u);
    for (size_t i = 0; i < marks.size(); ++i) {
        EXPECT_EQ(marks[i].position, *map.Position(i * 0.005)) << i;
        EXPECT_EQ(marks[i].label, std::to_string(5 * i)) << i;
    }
    // Seconds from two seconds on, with the decimals the step needs.
    const TFrequencyPixelMap longMap(0.0, 3.0, 300, false, 0);
    const auto seconds = BuildTimeAxisMarks(0.0, 3.0, 300, [&](double t) { return longMap.Position(t); }, &ms);
    EXPECT_FALSE(ms);
    ASSERT_EQ(seconds.size(), 4u);
    EXPECT_EQ(seconds[1].label, "1");
    EXPECT_EQ(seconds[3].position, 299);  // 3.0 s is the last column
    const TFrequencyPixelMap tenthMap(0.0, 2.5, 1000, false, 0);
    const auto tenths = BuildTimeAxisMarks(0.0, 2.5, 1000, [&](double t) { return tenthMap.Position(t); });
    ASSERT_GE(tenths.size(), 2u);
    EXPECT_EQ(tenths[1].label, "0.5");  // 2.5 s in at most 12 steps: 0.2 would need 13
    // Labels kept are at least the crowding distance apart.
    const TFrequencyPixelMap narrow(0.0, 0.01, 120, false, 0);
    const auto crowded = BuildTimeAxisMarks(0.0, 0.01, 120, [&](double t) { return narrow.Position(t); });
    int last = -1000;
    for (const auto& m : crowded) {
        if (m.label.empty()) continue;
        EXPECT_GE(m.position - last, kAxisLabelSpacing);
        last = m.position;
    }
    EXPECT_TRUE(BuildTimeAxisMarks(1.0, 1.0, 500, [&](double t) { return map.Position(t); }).empty());
    EXPECT_TRUE(BuildTimeAxisMarks(0.0, NAN, 500, [&](double t) { return map.Position(t); }).empty());
}

}  // namespace
}  // namespace zeltrak
