#pragma once
#include <cstdint>
#include <vector>

#include "views/frequency_axis.h"

namespace zeltrak {

// The extent of the points that fall into one pixel column.
struct TColumnExtent {
    float min = 0.0f;
    float max = 0.0f;
    bool present = false;
};

// Reduces (frequency, value) points to at most one min/max pair per pixel column of `map`, so
// drawing costs the width of the plot rather than the number of bins. Points outside the
// mapped range and NaN values are left out; a column reaching an infinite value is left empty.
std::vector<TColumnExtent> ReduceToColumns(const std::vector<float>& frequencies,
                                           const std::vector<float>& values,
                                           const TFrequencyPixelMap& map);

}  // namespace zeltrak
