// Frequency-axis marks: the worked ranges, label formats, the mark limit, crowding, and the
// fast walk compared with a plain walk from 0 written out separately here.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "views/frequency_axis.h"

namespace zeltrak {
namespace {

// A view placing [lo, hi] linearly over `pixels` columns, recording every frequency it was
// asked about that received a position.
struct LinearView {
  double lo, hi;
  int pixels;
  std::optional<int32_t> operator()(double f) const {
    if (f < lo || f > hi) return std::nullopt;
    const int c = static_cast<int>(std::floor((f - lo) / (hi - lo) * pixels));
    return std::min(c, pixels - 1);
  }
};

std::vector<std::string> Labels(const std::vector<TAxisMark>& marks) {
  std::vector<std::string> out;
  for (const auto& m : marks) out.push_back(m.label);
  return out;
}

std::vector<int32_t> Positions(const std::vector<TAxisMark>& marks) {
  std::vector<int32_t> out;
  for (const auto& m : marks) out.push_back(m.position);
  return out;
}

// The rule as written: walk integers from 0, no shortcuts, then drop crowded labels from the
// right with the label spacing.
std::vector<TAxisMark> PlainWalk(double lo, double hi, int scale, int capacity,
                                 const FrequencyPositionFn& pos) {
  auto pass = [&](bool log) {
    std::vector<TAxisMark> marks;
    const double span = hi - lo;
    long long step = 1;
    for (long long s : {10000, 5000, 1000, 500, 200, 100, 50, 20, 10, 5, 2, 1}) {
      if (span / s >= 4.0) {
        step = s;
        break;
      }
    }
    for (long long f = 0;;) {
      if (f >= lo) {
        if (auto p = pos(static_cast<double>(f))) {
          if (static_cast<int>(marks.size()) < capacity - 1) {
            char text[64];
            if (f == 0) std::snprintf(text, sizeof text, "0.0");
            else if (span < 10) std::snprintf(text, sizeof text, f < 1000 ? "%.3f" : "%.3fk", f < 1000 ? f : f * 0.001);
            else if (span < 100) std::snprintf(text, sizeof text, f < 1000 ? "%.2f" : "%.2fk", f < 1000 ? f : f * 0.001);
            else std::snprintf(text, sizeof text, f < 1000 ? "%.0f" : "%.1fk", f < 1000 ? f : f * 0.001);
            marks.push_back({*p, text});
          }
        }
      }
      long long st = step;
      if (log) {
        st = f < 10 ? 1 : f < 100 ? 10 : f < 1000 ? 100 : f < 10000 ? 1000 : f < 100000 ? 10000
           : f < 1000000 ? 100000 : 10000;
      }
      f += st;
      if (f > hi) break;
    }
    return marks;
  };
  auto marks = pass(scale != 0);
  if (scale != 0 && marks.size() < 4) marks = pass(false);
  int remembered = 1 << 30;
  for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
    if (it->position <= remembered - 30) remembered = it->position;
    else it->label.clear();
  }
  return marks;
}

TEST(FrequencyAxisMarks, LinearRangesPickTheStepAndLabelFormatBySpan) {
  // 10 – 22000 Hz: step 5000, 0 lies below lo.
  auto wide = BuildFrequencyAxisMarks(10, 22000, 0, 1000, LinearView{10, 22000, 1000});
  EXPECT_EQ(Labels(wide), (std::vector<std::string>{"5.0k", "10.0k", "15.0k", "20.0k"}));
  EXPECT_EQ(Positions(wide), (std::vector<int32_t>{226, 454, 681, 909}));

  // 0 – 100 Hz: 100/50 = 2 is too few steps, 100/20 = 5 is enough; the top end is marked.
  auto hundred = BuildFrequencyAxisMarks(0, 100, 0, 500, LinearView{0, 100, 500});
  EXPECT_EQ(Labels(hundred), (std::vector<std::string>{"0.0", "20", "40", "60", "80", "100"}));
  EXPECT_EQ(Positions(hundred), (std::vector<int32_t>{0, 100, 200, 300, 400, 499}));

  // A span under 100 Hz gets two decimals, under 10 Hz three.
  auto fifty = BuildFrequencyAxisMarks(1000, 1050, 0, 600, LinearView{1000, 1050, 600});
  EXPECT_EQ(Labels(fifty), (std::vector<std::string>{"1.00k", "1.01k", "1.02k", "1.03k", "1.04k",
                                                      "1.05k"}));
  auto five = BuildFrequencyAxisMarks(1000, 1005, 0, 600, LinearView{1000, 1005, 600});
  EXPECT_EQ(Labels(five), (std::vector<std::string>{"1.000k", "1.001k", "1.002k", "1.003k",
                                                     "1.004k", "1.005k"}));
  auto low = BuildFrequencyAxisMarks(100, 108, 0, 800, LinearView{100, 108, 800});
  EXPECT_EQ(Labels(low), (std::vector<std::string>{"100.000", "102.000", "104.000", "106.000",
                                                    "108.000"}));
  auto lowTwo = BuildFrequencyAxisMarks(0, 40, 0, 800, LinearView{0, 40, 800});
  EXPECT_EQ(Labels(lowTwo),
            (std::vector<std::string>{"0.0", "10.00", "20.00", "30.00", "40.00"}));
}

TEST(FrequencyAxisMarks, LinearStepSequenceHasNo2000) {
  EXPECT_EQ(LinearAxisStep(40000), 10000);
  EXPECT_EQ(LinearAxisStep(39999), 5000);
  EXPECT_EQ(LinearAxisStep(19999), 1000);  // 2000 would fit, but it is not in the sequence
  EXPECT_EQ(LinearAxisStep(800), 200);
  EXPECT_EQ(LinearAxisStep(4), 1);
  EXPECT_EQ(LinearAxisStep(3), 1);  // nothing gives four steps
  EXPECT_EQ(LinearAxisStep(0), 1);
}

TEST(FrequencyAxisMarks, LogarithmicDecadesAndFallbackToLinear) {
  TFrequencyPixelMap map(20, 22000, 1600, true);
  auto marks = BuildFrequencyAxisMarks(20, 22000, 1, 1600,
                                       [&](double f) { return map.Position(f); });
  ASSERT_EQ(marks.size(), 28u);  // 20…90, 100…900, 1000…9000, 10000, 20000
  std::vector<double> expected;
  for (double d : {10.0, 100.0, 1000.0}) {
    for (int m = (d == 10.0 ? 2 : 1); m <= 9; ++m) expected.push_back(m * d);
  }
  expected.push_back(10000);
  expected.push_back(20000);
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const int32_t column = static_cast<int32_t>(
        std::floor(std::log10(expected[i] / 20.0) / std::log10(22000.0 / 20.0) * 1600));
    EXPECT_EQ(marks[i].position, column) << expected[i];
  }
  EXPECT_EQ(marks.back().label, "20.0k");

  // Fractional-octave scales use the decade rule as well.
  EXPECT_EQ(Positions(BuildFrequencyAxisMarks(20, 22000, 2, 1600,
                                              [&](double f) { return map.Position(f); })),
            Positions(marks));

  // 1000 – 1500 Hz holds a single decade mark: the linear rule takes over with step 100.
  TFrequencyPixelMap narrow(1000, 1500, 500, true);
  auto fallback = BuildFrequencyAxisMarks(1000, 1500, 1, 500,
                                          [&](double f) { return narrow.Position(f); });
  EXPECT_EQ(Labels(fallback),
            (std::vector<std::string>{"1.0k", "1.1k", "1.2k", "1.3k", "1.4k", "1.5k"}));

  // Four decade marks are enough; three are not.
  auto four = BuildFrequencyAxisMarks(20, 50, 1, 400, LinearView{20, 50, 400});
  EXPECT_EQ(Labels(four), (std::vector<std::string>{"20.00", "30.00", "40.00", "50.00"}));
  auto three = BuildFrequencyAxisMarks(20, 40, 1, 400, LinearView{20, 40, 400});
  EXPECT_EQ(Labels(three),
            (std::vector<std::string>{"20.00", "25.00", "30.00", "35.00", "40.00"}));

  // From 1 MHz on the decade rule steps by 10 kHz.
  auto mega = BuildFrequencyAxisMarks(500000, 1030000, 1, 2000, LinearView{500000, 1030000, 2000});
  EXPECT_EQ(Labels(mega), (std::vector<std::string>{"500.0k", "600.0k", "700.0k", "800.0k",
                                                     "900.0k", "1000.0k", "1010.0k", "1020.0k",
                                                     "1030.0k"}));
}

TEST(FrequencyAxisMarks, CrowdedLabelsAreDroppedFromTheRight) {
  std::vector<TAxisMark> marks;
  for (int32_t p : {0, 10, 29, 31, 60, 61, 100}) marks.push_back({p, "x" + std::to_string(p)});
  DropCrowdedLabels(marks);
  EXPECT_EQ(Labels(marks), (std::vector<std::string>{"x0", "", "", "x31", "", "x61", "x100"}));
  EXPECT_EQ(Positions(marks), (std::vector<int32_t>{0, 10, 29, 31, 60, 61, 100}));

  // A very wide axis (a large export) keeps its rightmost label too.
  std::vector<TAxisMark> wide{{11000, "a"}, {12000, "b"}};
  DropCrowdedLabels(wide);
  EXPECT_EQ(Labels(wide), (std::vector<std::string>{"a", "b"}));

  // A narrow logarithmic plot: every kept label is at least 30 px from the next kept one, and
  // every dropped label sits within 30 px of the kept label to its right.
  TFrequencyPixelMap map(20, 22000, 300, true);
  auto log = BuildFrequencyAxisMarks(20, 22000, 1, 300, [&](double f) { return map.Position(f); });
  ASSERT_EQ(log.size(), 28u);
  EXPECT_EQ(log.back().label, "20.0k");
  int kept = 0;
  std::optional<int32_t> right;
  for (auto it = log.rbegin(); it != log.rend(); ++it) {
    if (!it->label.empty()) {
      if (right) {
        EXPECT_GE(*right - it->position, 30);
      }
      right = it->position;
      ++kept;
    } else {
      ASSERT_TRUE(right.has_value());
      EXPECT_LT(*right - it->position, 30);
    }
  }
  EXPECT_GE(kept, 5);
  EXPECT_LE(kept, 11);  // 300 px hold at most 300/30 + 1 labels
}

TEST(FrequencyAxisMarks, MarkLimitIsCapacityLessOne) {
  LinearView view{0, 100, 500};
  EXPECT_EQ(BuildFrequencyAxisMarks(0, 100, 0, 7, view).size(), 6u);
  EXPECT_EQ(Labels(BuildFrequencyAxisMarks(0, 100, 0, 4, view)),
            (std::vector<std::string>{"0.0", "20", "40"}));
  EXPECT_TRUE(BuildFrequencyAxisMarks(0, 100, 0, 1, view).empty());
  EXPECT_TRUE(BuildFrequencyAxisMarks(0, 100, 0, 0, view).empty());
  EXPECT_TRUE(BuildFrequencyAxisMarks(0, 100, 0, -5, view).empty());

  // Room for only three decade marks sends the walk to the linear rule.
  LinearView audio{20, 22000, 1000};
  EXPECT_EQ(Labels(BuildFrequencyAxisMarks(20, 22000, 1, 4, audio)),
            (std::vector<std::string>{"5.0k", "10.0k", "15.0k"}));
}

TEST(FrequencyAxisMarks, FrequenciesWithoutAPixelGetNoMark) {
  // The plotted columns reach only 50 Hz of the 0 – 100 Hz axis.
  TFrequencyPixelMap half(0, 50, 250, false, 40);
  auto marks = BuildFrequencyAxisMarks(0, 100, 0, 500, [&](double f) { return half.Position(f); });
  EXPECT_EQ(Labels(marks), (std::vector<std::string>{"0.0", "20", "40"}));
  EXPECT_EQ(Positions(marks), (std::vector<int32_t>{40, 140, 240}));

  // A mapping with a hole skips the frequencies in it without changing the step.
  auto holed = BuildFrequencyAxisMarks(0, 100, 0, 500, [](double f) -> std::optional<int32_t> {
    if (f > 30 && f < 70) return std::nullopt;
    return static_cast<int32_t>(f * 3);
  });
  EXPECT_EQ(Positions(holed), (std::vector<int32_t>{0, 60, 240, 300}));

  // Negative positions (an axis scrolled left) are kept as they are.
  auto shifted = BuildFrequencyAxisMarks(0, 100, 0, 500, [](double f) -> std::optional<int32_t> {
    return static_cast<int32_t>(f * 2) - 100;
  });
  EXPECT_EQ(Positions(shifted), (std::vector<int32_t>{-100, -60, -20, 20, 60, 100}));
}

TEST(FrequencyAxisMarks, BadRangesGiveNoMarksAndFarRangesStayFast) {
  LinearView view{0, 100, 500};
  EXPECT_TRUE(BuildFrequencyAxisMarks(100, 0, 0, 500, view).empty());
  EXPECT_TRUE(BuildFrequencyAxisMarks(NAN, 100, 0, 500, view).empty());
  EXPECT_TRUE(BuildFrequencyAxisMarks(0, INFINITY, 1, 500, view).empty());
  EXPECT_TRUE(BuildFrequencyAxisMarks(0, 100, 0, 500, FrequencyPositionFn{}).empty());
  EXPECT_TRUE(BuildFrequencyAxisMarks(0, 1e300, 0, 500, view).empty());

  // A mapping that refuses everything on a huge range ends within the walk limit.
  const auto start = std::chrono::steady_clock::now();
  auto none = BuildFrequencyAxisMarks(0, 1e11, 1, 500,
                                      [](double) { return std::optional<int32_t>{}; });
  EXPECT_TRUE(none.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // A narrow window far from 0 does not walk from 0 one hertz at a time.
  const auto start2 = std::chrono::steady_clock::now();
  auto far = BuildFrequencyAxisMarks(9e9, 9e9 + 3, 0, 500, LinearView{9e9, 9e9 + 3, 500});
  EXPECT_EQ(far.size(), 4u);
  EXPECT_LT(std::chrono::steady_clock::now() - start2, std::chrono::milliseconds(500));

  // Labels never exceed nine characters.
  EXPECT_EQ(FrequencyAxisLabel(123456789, 1000), "123456.8k");
  EXPECT_EQ(FrequencyAxisLabel(1234567890, 1000).size(), kAxisLabelMaxChars);
  EXPECT_EQ(FrequencyAxisLabel(0, 5), "0.0");
  EXPECT_EQ(FrequencyAxisLabel(999, 500), "999");
  EXPECT_EQ(FrequencyAxisLabel(1000, 500), "1.0k");
}

TEST(FrequencyAxisMarks, MatchesAPlainWalkFromZero) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 400; ++trial) {
    const double lo = std::floor(std::pow(10.0, unit(rng) * 5.3)) * (trial % 7 == 0 ? 0 : 1) +
                      (trial % 3 == 0 ? 0.5 : 0.0);
    const double hi = lo + std::pow(10.0, unit(rng) * 5.0);
    const int scale = trial % 2;
    const int pixels = 2 + static_cast<int>(unit(rng) * 1600);
    const int capacity = trial % 5 == 0 ? 2 + trial % 9 : pixels;
    std::optional<TFrequencyPixelMap> logMap;
    FrequencyPositionFn pos = LinearView{lo, hi, pixels};
    if (scale && lo > 0) {
      logMap.emplace(lo, hi, pixels, true, 7);
      pos = [&](double f) { return logMap->Position(f); };
    }
    auto got = BuildFrequencyAxisMarks(lo, hi, scale, capacity, pos);
    auto want = PlainWalk(lo, hi, scale, capacity, pos);
    ASSERT_EQ(got.size(), want.size()) << lo << " " << hi << " scale " << scale;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].position, want[i].position) << lo << " " << hi << " #" << i;
      EXPECT_EQ(got[i].label, want[i].label) << lo << " " << hi << " #" << i;
    }
  }
}

TEST(FrequencyPixelMap, ColumnsCoverTheRangeEvenlyOrByDecade) {
  TFrequencyPixelMap lin(0, 1000, 100, false, 10);
  EXPECT_EQ(lin.Position(0), 10);
  EXPECT_EQ(lin.Position(9.99), 10);
  EXPECT_EQ(lin.Position(10), 11);
  EXPECT_EQ(lin.Position(1000), 109);  // hi belongs to the last column
  EXPECT_FALSE(lin.Position(-0.01).has_value());
  EXPECT_FALSE(lin.Position(1000.01).has_value());
  EXPECT_DOUBLE_EQ(lin.ColumnEdge(50), 500);

  TFrequencyPixelMap log(10, 100000, 400, true);
  EXPECT_EQ(log.Column(10), 0);
  EXPECT_EQ(log.Column(100.0001), 100);
  EXPECT_EQ(log.Column(99.999), 99);
  EXPECT_EQ(log.Column(10000.01), 300);
  EXPECT_EQ(log.Column(100000), 399);
  EXPECT_NEAR(log.ColumnEdge(200), 1000.0, 1e-9);

  EXPECT_FALSE(TFrequencyPixelMap(0, 100, 10, true).Valid());  // log of 0
  EXPECT_FALSE(TFrequencyPixelMap(100, 100, 10, false).Valid());
  EXPECT_FALSE(TFrequencyPixelMap(0, 100, 0, false).Valid());
  EXPECT_FALSE(TFrequencyPixelMap(0, 100, 0, false).Position(50).has_value());
}

TEST(FrequencyAxisRange, DataViewsUseTheirWindowOrTheFullSpan) {
  auto full = DataViewFrequencyRange(true, 100, 10000, 0, 24000);
  EXPECT_EQ(full.lo, 0);
  EXPECT_EQ(full.hi, 24000);
  auto own = DataViewFrequencyRange(false, 100, 10000, 0, 24000);
  EXPECT_EQ(own.lo, 100);
  EXPECT_EQ(own.hi, 10000);
  auto clamped = DataViewFrequencyRange(false, 100, 30000, 0, 24000);
  EXPECT_EQ(clamped.hi, 24000);
  auto reversed = DataViewFrequencyRange(false, 10000, 100, 0, 24000);
  EXPECT_EQ(reversed.lo, 0);
  EXPECT_EQ(reversed.hi, 24000);
  auto bothAbove = DataViewFrequencyRange(false, 30000, 40000, 0, 24000);  // clamp to one point
  EXPECT_EQ(bothAbove.lo, 0);
  EXPECT_EQ(bothAbove.hi, 24000);
}

}  // namespace
}  // namespace zeltrak
