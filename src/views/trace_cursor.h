#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "views/trace_model.h"

namespace zeltrak {

// The cursor rests on points, not on pixels: a column holds many bins at large FFT sizes, and
// a pixel's frequency is none of them. The points are those of the first trace with points
// (the traces of a view share their x values); only points inside the x range count.

// The x values the cursor can rest on; empty when no trace has points.
const std::vector<float>& CursorPoints(const TTraceModel& model);
// The point nearest to x, or nothing without points in range.
std::optional<std::size_t> SnapToPoint(const TTraceModel& model, double x);
// The next point in range to the left (direction < 0) or right of point `from`; nothing at the end.
std::optional<std::size_t> StepPoint(const TTraceModel& model, std::size_t from, int direction);
// The point of the highest value in range, or nothing when no point has a value.
std::optional<std::size_t> HighestPeak(const TTraceModel& model);
// The nearest local maximum left (direction < 0) or right of point `from`, or nothing.
std::optional<std::size_t> NextPeak(const TTraceModel& model, std::size_t from, int direction);

}  // namespace zeltrak
