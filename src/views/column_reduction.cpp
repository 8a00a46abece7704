#include "views/column_reduction.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zeltrak {

std::vector<TColumnExtent> ReduceToColumns(const std::vector<float>& frequencies,
                                           const std::vector<float>& values,
                                           const TFrequencyPixelMap& map) {
    std::vector<TColumnExtent> columns(map.Valid() ? static_cast<size_t>(map.Columns()) : 0);
    const size_t n = std::min(frequencies.size(), values.size());
    if (columns.empty()) return columns;
    // Bins come in ascending frequency: walk the column edges alongside them, which costs a
    // comparison per point instead of a logarithm.
    if (std::is_sorted(frequencies.begin(), frequencies.begin() + static_cast<std::ptrdiff_t>(n))) {
        const float* f = frequencies.data();
        const float* v = values.data();
        size_t i = static_cast<size_t>(std::lower_bound(f, f + n, map.Lo()) - f);
        for (int32_t c = 0; c < map.Columns() && i < n; ++c) {
            const bool last = c + 1 == map.Columns();
            const size_t end =
                last ? static_cast<size_t>(std::upper_bound(f + i, f + n, map.Hi()) - f)
                     : static_cast<size_t>(std::lower_bound(f + i, f + n, map.ColumnEdge(c + 1)) - f);
            // NaN compares false both ways, so gaps drop out without a test per point.
            float lo = std::numeric_limits<float>::infinity();
            float hi = -std::numeric_limits<float>::infinity();
            for (size_t k = i; k < end; ++k) {
                lo = v[k] < lo ? v[k] : lo;
                hi = v[k] > hi ? v[k] : hi;
            }
            if (lo <= hi && std::isfinite(lo) && std::isfinite(hi)) columns[static_cast<size_t>(c)] = TColumnExtent{lo, hi, true};
            i = end;
        }
        return columns;
    }
    std::vector<float> lo(columns.size(), std::numeric_limits<float>::infinity());
    std::vector<float> hi(columns.size(), -std::numeric_limits<float>::infinity());
    for (size_t i = 0; i < n; ++i) {
        const std::optional<int32_t> column = map.Column(frequencies[i]);
        if (!column) continue;
        const size_t c = static_cast<size_t>(*column);
        lo[c] = values[i] < lo[c] ? values[i] : lo[c];
        hi[c] = values[i] > hi[c] ? values[i] : hi[c];
    }
    for (size_t c = 0; c < columns.size(); ++c) {
        if (lo[c] <= hi[c] && std::isfinite(lo[c]) && std::isfinite(hi[c])) columns[c] = TColumnExtent{lo[c], hi[c], true};
    }
    return columns;
}

}  // namespace zeltrak
