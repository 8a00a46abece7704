#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "views/frequency_axis.h"

namespace zeltrak {

// Texts of the plot views.
inline constexpr const char* kViewSavePngAction = "Save as PNG...";
inline constexpr const char* kViewSaveSvgAction = "Save as SVG...";
inline constexpr const char* kViewCopyTextAction = "Copy as Text";
inline constexpr const char* kViewSaveFailed = "The view could not be saved to \"%s\".";
inline constexpr const char* kViewClipboardFailed = "The view could not be copied to the clipboard.";
inline constexpr const char* kFrequencyColumnName = "Frequency (Hz)";
inline constexpr const char* kTimeColumnName = "Time (s)";

// One plotted series as it goes into a text table: its points' x values (ascending) and
// values. A NaN value is a point without a value and is written as an empty field.
struct TTextSeries {
    std::string name;
    const std::vector<float>* x = nullptr;
    const std::vector<float>* values = nullptr;
};

// The shortest decimal text without exponent that reads back as the same float ("1000", "0.1",
// "-6.0206", "0.000020833334");
// empty for NaN and infinities, which a table reader cannot take as numbers.
std::string FormatViewNumber(float value);

// A tab-separated table: a header line naming the columns, then one line per point. Series on
// the same x values share one x column named xName; a series on other x values gets an x column
// of its own ("xName" again) before its values. Columns of different lengths leave empty fields
// below their end. Empty series are left out; no series at all gives just "xName\n".
std::string BuildColumnText(const std::string& xName, const std::vector<TTextSeries>& series);

// The index of the point whose x is nearest to x in ascending xs (the lower one on a tie), or
// nothing for an empty list or a NaN x.
std::optional<std::size_t> NearestPoint(const std::vector<float>& xs, double x);

// The x value at the centre of a pixel column of the map (in log10 on a logarithmic map).
double ColumnCentre(const TFrequencyPixelMap& map, int32_t column);

// The 1-2-5 step that divides span into at most maxSteps parts (and at least one); 0 for an
// empty or non-finite span or maxSteps below 1.
double NiceStep(double span, int maxSteps);

// Gridlines and labels of a linear time axis over [lo, hi] seconds: marks at whole multiples
// of a 1-2-5 step about every 80 pixels, labelled in milliseconds when the span is below 2 s
// and in seconds otherwise (*inMilliseconds tells which), crowded labels removed from the
// right as on the frequency axis. Empty for an empty or non-finite range or capacity below 2.
std::vector<TAxisMark> BuildTimeAxisMarks(double lo, double hi, int32_t capacity,
                                          const FrequencyPositionFn& positionOf,
                                          bool* inMilliseconds = nullptr);

}  // namespace zeltrak
