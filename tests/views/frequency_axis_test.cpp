// Frequency-axis marks against a plain walk from 0 written out separately here and against
// closed forms, and the ranges that must give nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "views/frequency_axis.h"

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
std::vector<TAxisMark> PlainWalk(double lo, double hi, int scale, int capacity, const FrequencyPositionFn& pos) {
  auto pass = [&](bool log) {
    std::vector<TAxisMark> marks;
    const double span = hi - lo;
    long long step = 1;
    for (long long s : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 5000, 10000})
      if (span / s >= 4.0) step = s;  // the largest that gives four steps
    for (long long f = 0;;) {
      if (f >= lo) {
        if (auto p = pos(static_cast<double>(f)); p && static_cast<int>(marks.size()) < capacity - 1) {
          char text[64];
          const double k = f < 1000 ? f : f * 0.001;
          const char* unit = f < 1000 ? "" : "k";
          if (f == 0) std::snprintf(text, sizeof text, "0.0");
          else if (span < 10) std::snprintf(text, sizeof text, "%.3f%s", k, unit);
          else if (span < 100) std::snprintf(text, sizeof text, "%.2f%s", k, unit);
          else std::snprintf(text, sizeof text, f < 1000 ? "%.0f%s" : "%.1f%s", k, unit);
          marks.push_back({*p, text});
        }
      }
      if (log) step = f < 10 ? 1 : f < 100 ? 10 : f < 1000 ? 100 : f < 10000 ? 1000 : f < 100000 ? 10000
                    : f < 1000000 ? 100000 : 10000;
      if ((f += step) > hi) break;
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

TEST(FrequencyAxisMarks, AgreeWithAPlainWalkFromZero) {
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
    ASSERT_EQ(Labels(got), Labels(want)) << lo << " " << hi << " scale " << scale;
  }
}

TEST(FrequencyAxisMarks, DecadesAndColumnEdgesMatchTheirClosedForms) {
  // Decades 20 … 20000 Hz on a logarithmic map, at floor(log(f / 20) / log(1100) × 1600).
  TFrequencyPixelMap map(20, 22000, 1600, true);
  const auto log = BuildFrequencyAxisMarks(20, 22000, 1, 1600, [&](double f) { return map.Position(f); });
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
  const Case bad[] = {{100, 0, 500, view},      {NAN, 100, 500, view}, {0, INFINITY, 500, view},
                      {0, 1e300, 500, view},    {0, 100, 1, view},     {0, 100, -5, view},
                      {0, 100, 500, FrequencyPositionFn{}}};
  for (const Case& c : bad) {
    EXPECT_TRUE(BuildFrequencyAxisMarks(c.lo, c.hi, 0, c.capacity, c.pos).empty()) << c.lo << " " << c.hi;
    EXPECT_TRUE(BuildFrequencyAxisMarks(c.lo, c.hi, 1, c.capacity, c.pos).empty()) << c.lo << " " << c.hi;
  }
  // A huge range with no pixels, and a narrow one far from 0, end within the walk limit.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(BuildFrequencyAxisMarks(0, 1e11, 1, 500, [](double) { return std::optional<int32_t>{}; }).empty());
  EXPECT_EQ(BuildFrequencyAxisMarks(9e9, 9e9 + 3, 0, 500, LinearView{9e9, 9e9 + 3, 500}).size(), 4u);
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

}  // namespace
}  // namespace zeltrak
