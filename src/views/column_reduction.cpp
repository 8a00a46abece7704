#include "views/column_reduction.h"

#include <algorithm>
#include <cmath>

namespace zeltrak {

std::vector<TColumnExtent> ReduceToColumns(const std::vector<float>& frequencies,
                                           const std::vector<float>& values,
                                           const TFrequencyPixelMap& map) {
    std::vector<TColumnExtent> columns(map.Valid() ? static_cast<size_t>(map.Columns()) : 0);
    const size_t n = std::min(frequencies.size(), values.size());
    for (size_t i = 0; i < n && !columns.empty(); ++i) {
        const float v = values[i];
        if (!std::isfinite(v)) continue;
        const std::optional<int32_t> column = map.Column(frequencies[i]);
        if (!column) continue;
        TColumnExtent& c = columns[static_cast<size_t>(*column)];
        if (!c.present) {
            c = TColumnExtent{v, v, true};
        } else {
            c.min = std::min(c.min, v);
            c.max = std::max(c.max, v);
        }
    }
    return columns;
}

}  // namespace zeltrak
