#include "views/view_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zeltrak {

std::string FormatViewNumber(float value) {
    if (!std::isfinite(value)) return std::string();
    // Room for the smallest float written out in full.
    char buffer[128];
    // Shortest round-trip form: a table read back gives the very floats that were plotted. Fixed
    // notation, since spreadsheets and people read "0.000020833" where "2.0833e-05" puzzles them.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

namespace {

bool SameX(const std::vector<float>& a, const std::vector<float>& b) {
    return &a == &b || a == b;
}

}  // namespace

std::string BuildColumnText(const std::string& xName, const std::vector<TTextSeries>& series) {
    struct Group {
        const std::vector<float>* x;
        std::vector<const TTextSeries*> members;
    };
    std::vector<Group> groups;
    for (const TTextSeries& s : series) {
        if (!s.x || !s.values || s.x->empty()) continue;
        auto it = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return SameX(*g.x, *s.x); });
        if (it == groups.end()) {
            groups.push_back(Group{s.x, {}});
            it = groups.end() - 1;
        }
        it->members.push_back(&s);
    }

    std::string text;
    size_t rows = 0;
    bool first = true;
    auto field = [&](const std::string& f) {
        if (!first) text += '\t';
        text += f;
        first = false;
    };
    if (groups.empty()) field(xName);
    for (const Group& g : groups) {
        field(xName);
        for (const TTextSeries* s : g.members) field(s->name);
        rows = std::max(rows, g.x->size());
    }
    text += '\n';
    text.reserve(text.size() + rows * (groups.size() * 12 + series.size() * 12));
    for (size_t r = 0; r < rows; ++r) {
        first = true;
        for (const Group& g : groups) {
            const bool inside = r < g.x->size();
            field(inside ? FormatViewNumber((*g.x)[r]) : std::string());
            for (const TTextSeries* s : g.members) {
                field(inside && r < s->values->size() ? FormatViewNumber((*s->values)[r]) : std::string());
            }
        }
        text += '\n';
    }
    return text;
}

std::optional<std::size_t> NearestPoint(const std::vector<float>& xs, double x) {
    if (xs.empty() || std::isnan(x)) return std::nullopt;
    const auto it = std::lower_bound(xs.begin(), xs.end(), x,
                                     [](float a, double b) { return static_cast<double>(a) < b; });
    if (it == xs.begin()) return 0;
    if (it == xs.end()) return xs.size() - 1;
    const size_t above = static_cast<size_t>(it - xs.begin());
    const double dAbove = static_cast<double>(xs[above]) - x;
    const double dBelow = x - static_cast<double>(xs[above - 1]);
    return dBelow <= dAbove ? above - 1 : above;
}

double ColumnCentre(const TFrequencyPixelMap& map, int32_t column) {
    if (!map.Valid()) return NAN;
    column = std::clamp(column, 0, map.Columns() - 1);
    const double left = map.ColumnEdge(column);
    const double right = map.ColumnEdge(column + 1);
    return map.Logarithmic() ? std::sqrt(left * right) : 0.5 * (left + right);
}

double NiceStep(double span, int maxSteps) {
    if (!(span > 0.0) || !std::isfinite(span) || maxSteps < 1) return 0.0;
    const double raw = span / maxSteps;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        // A hair of tolerance so that 0.3 / 3 still takes the step 0.1.
        if (m * magnitude >= raw * (1.0 - 1e-9)) return m * magnitude;
    }
    return 10.0 * magnitude;
}

std::vector<TAxisMark> BuildTimeAxisMarks(double lo, double hi, int32_t capacity,
                                          const FrequencyPositionFn& positionOf, bool* inMilliseconds) {
    std::vector<TAxisMark> marks;
    const double span = hi - lo;
    const bool ms = span < 2.0;
    if (inMilliseconds) *inMilliseconds = ms;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(span > 0.0) || capacity < 2) return marks;
    const double unit = ms ? 1000.0 : 1.0;
    const double step = NiceStep(span * unit, std::max(1, capacity / 80));
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    const double first = std::ceil(lo * unit / step - 1e-9);
    const double last = std::floor(hi * unit / step + 1e-9);
    for (double k = first; k <= last && static_cast<int32_t>(marks.size()) < capacity - 1; k += 1.0) {
        const double value = k * step;
        const std::optional<int32_t> position = positionOf(std::clamp(value / unit, lo, hi));
        if (!position) continue;
        char label[48];
        // k * step can land a rounding error below zero; "-0" would read as a sign.
        std::snprintf(label, sizeof label, "%.*f", decimals, std::abs(value) < step * 1e-6 ? 0.0 : value);
        std::string text(label);
        if (text.size() > kAxisLabelMaxChars) text.clear();
        marks.push_back(TAxisMark{*position, std::move(text)});
    }
    DropCrowdedLabels(marks);
    return marks;
}

}  // namespace zeltrak
