#include "views/frequency_axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace zeltrak {

namespace {

// Beyond this the integer walk would leave the exactly representable range of a double long
// before it overflowed; no audio axis comes near it.
constexpr double kHighestAxisFrequency = 1e12;

constexpr int64_t kLinearSteps[] = {10000, 5000, 1000, 500, 200, 100, 50, 20, 10, 5, 2, 1};

// A frequency of the walk from 0 that is not above lo, so the walk may begin there: the marks
// below lo are never stored, so skipping them changes nothing and keeps far-off ranges fast.
int64_t WalkStart(double lo, bool logarithmic, int64_t linearStep) {
  if (!(lo > 0.0)) return 0;
  if (!logarithmic) {
    return static_cast<int64_t>(std::floor(lo / static_cast<double>(linearStep))) * linearStep;
  }
  if (lo < 1.0) return 0;
  if (lo >= 1e6) {
    return 1'000'000 + static_cast<int64_t>(std::floor((lo - 1e6) / 1e4)) * 10'000;
  }
  int64_t decade = 1;
  while (static_cast<double>(decade) * 10.0 <= lo) decade *= 10;
  return static_cast<int64_t>(std::floor(lo / static_cast<double>(decade))) * decade;
}

// One walk over the integer frequencies; returns the marks without crowding applied.
std::vector<TAxisMark> WalkMarks(double lo, double hi, bool logarithmic, std::size_t maxMarks,
                                 const FrequencyPositionFn& positionOf) {
  std::vector<TAxisMark> marks;
  const double span = hi - lo;
  const int64_t linearStep = LinearAxisStep(span);
  int64_t f = WalkStart(lo, logarithmic, linearStep);
  for (int64_t walked = 0; walked < kAxisWalkLimit; ++walked) {
    const double fd = static_cast<double>(f);
    if (fd >= lo) {
      if (const std::optional<int32_t> position = positionOf(fd)) {
        marks.push_back(TAxisMark{*position, FrequencyAxisLabel(f, span)});
        // Once full nothing further can change the outcome, including the fallback test.
        if (marks.size() >= maxMarks) break;
      }
    }
    f += logarithmic ? LogarithmicAxisStep(f) : linearStep;
    if (!(static_cast<double>(f) <= hi)) break;
  }
  return marks;
}

}  // namespace

int64_t LinearAxisStep(double span) {
  for (const int64_t step : kLinearSteps) {
    if (span / static_cast<double>(step) >= 4.0) return step;
  }
  return 1;
}

int64_t LogarithmicAxisStep(int64_t frequency) {
  if (frequency < 10) return 1;
  if (frequency < 100) return 10;
  if (frequency < 1000) return 100;
  if (frequency < 10000) return 1000;
  if (frequency < 100000) return 10000;
  if (frequency < 1000000) return 100000;
  return 10000;
}

std::string FrequencyAxisLabel(int64_t frequency, double span) {
  if (frequency == 0) return "0.0";
  const char* format = nullptr;
  const bool kilo = frequency >= 1000;
  if (span < 10.0) {
    format = kilo ? "%1.3fk" : "%1.3f";
  } else if (span < 100.0) {
    format = kilo ? "%1.2fk" : "%1.2f";
  } else {
    format = kilo ? "%1.1fk" : "%1.0f";
  }
  const double value = kilo ? static_cast<double>(frequency) * 0.001 : static_cast<double>(frequency);
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  std::string label(text);
  // The label field holds nine characters; longer texts only occur far above audio range.
  if (label.size() > kAxisLabelMaxChars) label.resize(kAxisLabelMaxChars);
  return label;
}

void DropCrowdedLabels(std::vector<TAxisMark>& marks) {
  // The rightmost mark always keeps its label, however wide the axis.
  std::optional<int32_t> remembered;
  for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
    if (!remembered || static_cast<int64_t>(it->position) <=
                           static_cast<int64_t>(*remembered) - kAxisLabelSpacing) {
      remembered = it->position;
    } else {
      it->label.clear();
    }
  }
}

void DropOverlappingLabels(std::vector<TAxisMark>& marks, int32_t gap,
                           const std::function<int32_t(const std::string&)>& widthOf) {
  std::optional<int64_t> keptLeft;  // left edge of the last kept label's text
  for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
    if (it->label.empty()) continue;
    const int64_t width = widthOf(it->label);
    const int64_t left = static_cast<int64_t>(it->position) - width / 2;
    if (keptLeft && left + width + gap > *keptLeft) {
      it->label.clear();
    } else {
      keptLeft = left;
    }
  }
}

std::vector<TAxisMark> BuildFrequencyAxisMarks(double lo, double hi, FrequencyScale frequencyScale,
                                               int32_t capacity,
                                               const FrequencyPositionFn& positionOf) {
  if (!std::isfinite(lo) || !std::isfinite(hi) || hi < lo || capacity < 2 || !positionOf ||
      hi > kHighestAxisFrequency) {
    return {};
  }
  const std::size_t maxMarks = static_cast<std::size_t>(capacity) - 1;
  const bool logarithmic = frequencyScale != FrequencyScale::Linear;
  std::vector<TAxisMark> marks = WalkMarks(lo, hi, logarithmic, maxMarks, positionOf);
  if (logarithmic && marks.size() < 4) {
    marks = WalkMarks(lo, hi, false, maxMarks, positionOf);
  }
  DropCrowdedLabels(marks);
  marks.shrink_to_fit();
  return marks;
}

TFrequencyRange DataViewFrequencyRange(bool useFullSpan, double start, double stop,
                                       double dataLo, double dataHi) {
  const TFrequencyRange full{dataLo, dataHi};
  if (useFullSpan) return full;
  const double lo = std::clamp(start, std::min(dataLo, dataHi), std::max(dataLo, dataHi));
  const double hi = std::clamp(stop, std::min(dataLo, dataHi), std::max(dataLo, dataHi));
  if (!(lo < hi)) return full;
  return TFrequencyRange{lo, hi};
}

TFrequencyRange SpectrumViewRange(double start, double stop, double dataTop) {
  // The default only ever meant "the whole audio range": 48 kHz data reach 24 kHz.
  if (stop == kDefaultSpectrumStop && dataTop > start) return TFrequencyRange{start, dataTop};
  return TFrequencyRange{start, stop};
}

TFrequencyPixelMap::TFrequencyPixelMap(double lo, double hi, int32_t columns, bool logarithmic,
                                       int32_t origin)
    : lo_(lo), hi_(hi), columns_(columns), origin_(origin), logarithmic_(logarithmic) {
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo) || columns <= 0) return;
  if (logarithmic) {
    if (!(lo > 0.0)) return;
    a_ = std::log10(lo);
    width_ = std::log10(hi) - a_;
  } else {
    a_ = lo;
    width_ = hi - lo;
  }
  valid_ = width_ > 0.0 && std::isfinite(width_);
}

std::optional<int32_t> TFrequencyPixelMap::Column(double frequency) const {
  if (!valid_ || !(frequency >= lo_) || !(frequency <= hi_)) return std::nullopt;
  const double x = logarithmic_ ? std::log10(frequency) : frequency;
  const double t = (x - a_) / width_ * static_cast<double>(columns_);
  int32_t column = static_cast<int32_t>(std::clamp(std::floor(t), 0.0,
                                                   static_cast<double>(columns_ - 1)));
  // The column edges decide, so that a walk along the edges and this lookup always agree.
  if (column > 0 && frequency < ColumnEdge(column)) --column;
  else if (column + 1 < columns_ && frequency >= ColumnEdge(column + 1)) ++column;
  return column;
}

std::optional<int32_t> TFrequencyPixelMap::Position(double frequency) const {
  const std::optional<int32_t> column = Column(frequency);
  if (!column) return std::nullopt;
  return static_cast<int32_t>(static_cast<int64_t>(origin_) + *column);
}

double TFrequencyPixelMap::ColumnEdge(int32_t column) const {
  if (!valid_) return 0.0;
  const double t = static_cast<double>(column) / static_cast<double>(columns_);
  if (logarithmic_) return std::pow(10.0, a_ + t * width_);
  return a_ + t * width_;
}

}  // namespace zeltrak
