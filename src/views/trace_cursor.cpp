#include "views/trace_cursor.h"

#include <algorithm>
#include <cmath>

#include "views/view_text.h"

namespace zeltrak {

namespace {

const TTrace* CursorTrace(const TTraceModel& model) {
    for (const TTrace& t : model.Traces()) {
        if (!t.x.empty()) return &t;
    }
    return nullptr;
}

bool InRange(const TTraceModel& model, std::size_t k) {
    const std::vector<float>& x = CursorPoints(model);
    return k < x.size() && x[k] >= model.XLo() && x[k] <= model.XHi();
}

float ValueAt(const TTrace& t, std::size_t k) { return k < t.values.size() ? t.values[k] : NAN; }

// Higher than its left neighbour and not lower than its right one, so that a flat top counts once.
bool IsPeak(const TTrace& t, std::size_t k) {
    const float v = ValueAt(t, k);
    if (!std::isfinite(v)) return false;
    const float left = k > 0 ? ValueAt(t, k - 1) : NAN;
    const float right = ValueAt(t, k + 1);
    return !(left >= v) && !(right > v);
}

}  // namespace

const std::vector<float>& CursorPoints(const TTraceModel& model) {
    static const std::vector<float> none;
    const TTrace* t = CursorTrace(model);
    return t ? t->x : none;
}

std::optional<std::size_t> SnapToPoint(const TTraceModel& model, double x) {
    if (std::isnan(x)) return std::nullopt;
    x = std::clamp(x, model.XLo(), model.XHi());
    const std::optional<std::size_t> k = NearestPoint(CursorPoints(model), x);
    if (!k || InRange(model, *k)) return k;
    // x lies in range, so a nearest point outside it has the in-range one (if any) next to it.
    return StepPoint(model, *k, x < CursorPoints(model)[*k] ? -1 : 1);
}

std::optional<std::size_t> StepPoint(const TTraceModel& model, std::size_t from, int direction) {
    const std::size_t n = CursorPoints(model).size();
    if (direction < 0 ? from == 0 : from + 1 >= n) return std::nullopt;
    const std::size_t k = direction < 0 ? from - 1 : from + 1;
    if (!InRange(model, k)) return std::nullopt;
    return k;
}

std::optional<std::size_t> HighestPeak(const TTraceModel& model) {
    const TTrace* t = CursorTrace(model);
    if (!t) return std::nullopt;
    std::optional<std::size_t> best;
    for (std::size_t k = 0; k < t->x.size(); ++k) {
        const float v = ValueAt(*t, k);
        if (std::isfinite(v) && InRange(model, k) && (!best || v > ValueAt(*t, *best))) best = k;
    }
    return best;
}

std::optional<std::size_t> NextPeak(const TTraceModel& model, std::size_t from, int direction) {
    const TTrace* t = CursorTrace(model);
    if (!t) return std::nullopt;
    for (std::optional<std::size_t> k = StepPoint(model, from, direction); k; k = StepPoint(model, *k, direction)) {
        if (IsPeak(*t, *k)) return k;
    }
    return std::nullopt;
}

}  // namespace zeltrak
