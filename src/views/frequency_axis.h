#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dsp/scales.h"

namespace zeltrak {

// One gridline of a frequency axis. An empty label means a gridline without text.
struct TAxisMark {
  int32_t position = 0;
  std::string label;  // at most kAxisLabelMaxChars characters
};

inline constexpr std::size_t kAxisLabelMaxChars = 9;
// Labels closer than this to the next kept label (towards the high end) are dropped.
inline constexpr int32_t kAxisLabelSpacing = 30;
// Upper bound on the frequencies walked in one pass, so that an absurd range with a mapping
// that rejects every frequency cannot stall a redraw.
inline constexpr int64_t kAxisWalkLimit = 4'000'000;

// The view's frequency-to-pixel lookup: the pixel column whose frequency interval holds the
// frequency, or nothing when the frequency lies outside the plotted columns.
using FrequencyPositionFn = std::function<std::optional<int32_t>(double frequency)>;

// Gridlines and labels for the axis [lo, hi] Hz. a linear scale gives linear marks; the others
// use decade marks (1, 2, ... 9 × 10^k) and falls back to the linear rule when fewer than four
// marks result. At most capacity − 1 marks are kept. Crowded labels are already removed.
// An empty list comes back for a non-finite or reversed range or a capacity below 2.
std::vector<TAxisMark> BuildFrequencyAxisMarks(double lo, double hi, FrequencyScale frequencyScale,
                                               int32_t capacity,
                                               const FrequencyPositionFn& positionOf);

// The text of a mark at the integer frequency f on an axis spanning span Hz.
std::string FrequencyAxisLabel(int64_t frequency, double span);

// Clears the labels of marks that crowd a kept label to their right, walking from the last
// mark to the first.
void DropCrowdedLabels(std::vector<TAxisMark>& marks);

// Clears, walking from the last mark to the first as DropCrowdedLabels does, the labels whose
// text (centred on its mark, widthOf(label) pixels wide) would come closer than gap pixels to the
// text of a kept label to their right, so that wide labels ("10.0k") do not run together.
void DropOverlappingLabels(std::vector<TAxisMark>& marks, int32_t gap,
                           const std::function<int32_t(const std::string&)>& widthOf);

// The step of the linear rule for a span: the first of 10000, 5000, 1000, … 1 giving at
// least four steps; 1 when none does.
int64_t LinearAxisStep(double span);
// The step of the decade rule at the frequency f.
int64_t LogarithmicAxisStep(int64_t frequency);

struct TFrequencyRange {
  double lo = 0.0;
  double hi = 0.0;
};

// Axis range of the spectrogram and 3-D surface: the full data range when useFullSpan is set,
// otherwise start and stop clamped into the data range, again the full range when the clamped
// start is not below the clamped stop.
TFrequencyRange DataViewFrequencyRange(bool useFullSpan, double start, double stop,
                                       double dataLo, double dataHi);

// The stop frequency the spectrum and phase views start with unless told otherwise.
inline constexpr double kDefaultSpectrumStop = 22000.0;

// Axis range of the spectrum and phase views: start to stop, except that the default stop
// stands for the top of the data (their highest frequency, NaN without data) once the data
// reach above start; a stop chosen by the user stays.
TFrequencyRange SpectrumViewRange(double start, double stop, double dataTop);

// Places [lo, hi] Hz across `columns` pixel columns starting at pixel `origin`, either evenly
// (linear) or evenly in log10 (logarithmic). Column i covers the half-open interval from its
// left edge to the next; the last column also holds hi itself.
class TFrequencyPixelMap {
 public:
  TFrequencyPixelMap() = default;
  TFrequencyPixelMap(double lo, double hi, int32_t columns, bool logarithmic, int32_t origin = 0);

  bool Valid() const { return valid_; }
  int32_t Columns() const { return columns_; }
  int32_t Origin() const { return origin_; }
  double Lo() const { return lo_; }
  double Hi() const { return hi_; }
  bool Logarithmic() const { return logarithmic_; }

  // Pixel of the column holding f, or nothing outside [lo, hi].
  std::optional<int32_t> Position(double frequency) const;
  // Frequency at the left edge of the column (column may equal Columns() for the right edge).
  double ColumnEdge(int32_t column) const;
  // Column (not pixel) holding f, or nothing outside [lo, hi].
  std::optional<int32_t> Column(double frequency) const;

 private:
  double lo_ = 0.0;
  double hi_ = 0.0;
  int32_t columns_ = 0;
  int32_t origin_ = 0;
  bool logarithmic_ = false;
  bool valid_ = false;
  double a_ = 0.0;  // lo, or log10(lo)
  double width_ = 0.0;  // hi − lo, or log10(hi / lo)
};

}  // namespace zeltrak
