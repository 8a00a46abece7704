#include "dsp/spline.h"

#include <cmath>

namespace zeltrak {

TSpline::TSpline(std::vector<CurvePoint> points) : points_(std::move(points)) {
    const size_t n = points_.size();
    if (n < 3) return;
    y2_.assign(n, 0.0f);
    std::vector<float> u(n, 0.0f);
    const auto x = [&](size_t i) { return static_cast<double>(points_[i].x); };
    const auto y = [&](size_t i) { return static_cast<double>(points_[i].y); };
    // Forward sweep of the tridiagonal system; `last` is the point where it had to stop.
    size_t last = n - 1;
    for (size_t i = 1; i + 1 < n; ++i) {
        const double left = x(i) - x(i - 1);
        const double right = x(i + 1) - x(i);
        const double span = x(i + 1) - x(i - 1);
        if (!(left > 0.0) || !(right > 0.0) || !(span > 0.0)) {
            last = i;
            break;
        }
        const double sig = left / span;
        const double p = sig * y2_[i - 1] + 2.0;
        y2_[i] = static_cast<float>((sig - 1.0) / p);
        u[i] = static_cast<float>((6.0 * ((y(i + 1) - y(i)) / right - (y(i) - y(i - 1)) / left) / span - sig * u[i - 1]) / p);
    }
    // Back substitution over the swept part, with a natural end at `last`; everything from
    // there on keeps second derivative 0.
    y2_[last] = 0.0f;
    for (size_t k = last; k-- > 0;) y2_[k] = static_cast<float>(static_cast<double>(y2_[k]) * y2_[k + 1] + u[k]);
    for (size_t k = last + 1; k < n; ++k) y2_[k] = 0.0f;
    ready_ = true;
}

float TSpline::Evaluate(float xv) const {
    if (!ready_) return 0.0f;
    const size_t n = points_.size();
    size_t lo = 0;
    size_t hi = n - 1;
    while (hi - lo > 1) {
        const size_t k = (hi + lo) / 2;
        if (points_[k].x > xv)
            hi = k;
        else
            lo = k;
    }
    const double xlo = points_[lo].x;
    const double xhi = points_[hi].x;
    const double h = xhi - xlo;
    if (!(h > 0.0)) return xv >= points_[hi].x ? points_[hi].y : points_[lo].y;
    const double a = (xhi - xv) / h;
    const double b = (xv - xlo) / h;
    const double value = a * points_[lo].y + b * points_[hi].y +
                         ((a * a * a - a) * y2_[lo] + (b * b * b - b) * y2_[hi]) * (h * h) / 6.0;
    return static_cast<float>(value);
}

}  // namespace zeltrak
