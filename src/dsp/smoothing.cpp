#include "dsp/smoothing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <new>

#include "dsp/dsp_strings.h"

namespace zeltrak {

namespace {

// The constants the windows are defined with (deliberately not full-precision π).
constexpr double kPiHamming = 3.1415927;
constexpr double kPiKaiser = 3.1415926535;
constexpr double kTwoPiFlatTop = 6.283185308;
constexpr double kKaiserAlpha = 2.5;

}  // namespace

double BesselI0(double z) {
    const double y = (z / 2) * (z / 2);
    double sum = 1, term = 1;
    for (int k = 1;; ++k) {
        term = term * y / k / k;
        sum += term;
        if (term / sum < 0.0001) break;
    }
    return sum;
}

uint32_t MainLobeHalfWidth(WindowType type) {
    //                               Bart Black Flat Hamm Hann Kais Parz Tri Unif Gauss
    constexpr uint32_t kHalfWidth[10] = {2, 3, 4, 2, 2, 3, 4, 2, 1, 4};
    const uint16_t code = WindowCode(type);
    return code < TSmoothing::GetTypeCount() ? kHalfWidth[code] : 1;
}

double WindowNoiseBandwidth(WindowType type, uint32_t size) {
    if (type == WindowType::Uniform || WindowCode(type) >= TSmoothing::GetTypeCount() || size == 0) return 1.0;
    using Key = std::pair<WindowType, uint32_t>;
    thread_local std::map<Key, double> cache;
    const Key key{type, size};
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    const TSmoothing window(size, type, WindowCorrection::None);
    const double enbw = window.Error() ? 1.0 : window.NoiseBandwidth();
    if (cache.size() > 64) cache.clear();
    cache.emplace(key, enbw);
    return enbw;
}

TSmoothing::TSmoothing(uint32_t size, WindowType type, WindowCorrection correctionMode) {
    Rebuild(size, type, correctionMode, true);
}

bool TSmoothing::SetSize(uint32_t size) { return Rebuild(size, type_, correctionMode_, true); }

bool TSmoothing::SetType(WindowType type) { return Rebuild(size_, type, correctionMode_, false); }

bool TSmoothing::Set(uint32_t size, WindowType type, WindowCorrection correctionMode) {
    return Rebuild(size, type, correctionMode, true);
}

bool TSmoothing::Rebuild(uint32_t size, WindowType type, WindowCorrection correctionMode, bool reallocate) {
    if (WindowCode(type) >= GetTypeCount()) {
        status_ = WindowStatus::InvalidType;
        return false;
    }
    if (reallocate || coefficients_.size() != size) {
        std::vector<float> fresh;
        try {
            fresh.assign(size, 0.0f);
        } catch (const std::bad_alloc&) {
            std::vector<float>().swap(coefficients_);
            size_ = size;
            type_ = type;
            correctionMode_ = correctionMode;
            status_ = WindowStatus::OutOfMemory;
            return false;
        }
        coefficients_.swap(fresh);
    }
    size_ = size;
    type_ = type;
    correctionMode_ = correctionMode;
    Build();
    status_ = WindowStatus::Ok;
    return true;
}

namespace {

// The window formulas, each filling w[0 .. n) for n >= 2 (the buffer starts zeroed).
// x runs from -1 at the first point to +1 at the last.
double XAt(uint32_t i, uint32_t n) { return 2.0 * i / static_cast<double>(n - 1) - 1.0; }

void FillBartlett(float* w, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) w[i] = static_cast<float>(1.0 - std::fabs(XAt(i, n)));
}

void FillBlackman(float* w, uint32_t n) {
    const double theta = 8.0 * std::atan(1.0) / (n - 1);
    for (uint32_t i = 0; i < n; ++i)
        w[i] = static_cast<float>(0.42 - 0.5 * std::cos(i * theta) + 0.08 * std::cos(2.0 * i * theta));
}

void FillFlatTop(float* w, uint32_t n) {
    constexpr double a[4] = {0.9994484, 0.955728, 0.539289, 0.091581};
    for (uint32_t j = 0; j < n / 2; ++j) {
        double v = a[0];
        for (int k = 1; k <= 3; ++k) v += 2.0 * a[k] * std::cos(kTwoPiFlatTop * k * j / n);
        w[n / 2 + j] = static_cast<float>(v);
        w[n / 2 - j] = static_cast<float>(v);
    }
    w[0] = w[1];
}

void FillHamming(float* w, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) w[i] = static_cast<float>(0.54 + 0.46 * std::cos(kPiHamming * XAt(i, n)));
}

void FillHanning(float* w, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) w[i] = static_cast<float>(0.5 + 0.5 * std::cos(kPiHamming * XAt(i, n)));
}

void FillKaiser(float* w, uint32_t n) {
    const uint32_t h = n / 2;
    const double centre = BesselI0(kPiKaiser * kKaiserAlpha);
    for (uint32_t i = 0; i < n; ++i) {
        const double r = (static_cast<double>(i) - h) / h;
        const double arg = 1.0 - r * r;
        w[i] = static_cast<float>(BesselI0(kPiKaiser * kKaiserAlpha * std::sqrt(arg > 0 ? arg : 0.0)) / centre);
    }
}

void FillParzen(float* w, uint32_t n) {
    // The two cubic pieces are taken in |x|, so the window is symmetric and the negative half
    // mirrors the positive one.
    for (uint32_t i = 0; i < n; ++i) {
        const double x = std::fabs(XAt(i, n));
        const double v = x < 0.5 ? 6.0 * x * (x * x - x) + 1.0 : 2.0 * (1.0 - x) * (1.0 - x) * (1.0 - x);
        w[i] = static_cast<float>(v);
    }
}

void FillTriangular(float* w, uint32_t n) {
    const double d = 2.0 / (n - 1);
    const uint32_t m = (n - 1) / 2;
    for (uint32_t i = 0; i < n; ++i) w[i] = static_cast<float>(i < m ? i * d : 2.0 - i * d);
}

void FillUniform(float*, uint32_t) {}

void FillGaussian(float* w, uint32_t n) {
    const uint32_t h = n / 2;
    for (uint32_t i = 0; i < h; ++i) {
        const double t = (static_cast<double>(h) - i) * 5.0 / h;
        w[i] = w[n - 1 - i] = static_cast<float>(std::exp(-0.5 * t * t));
    }
    // An odd length has a centre point the pairs above never reach: t = 0 there.
    if (n % 2 == 1) w[h] = 1.0f;
}

// By window type.
constexpr void (*kFill[10])(float*, uint32_t) = {FillBartlett, FillBlackman, FillFlatTop,    FillHamming, FillHanning,
                                                 FillKaiser,   FillParzen,   FillTriangular, FillUniform, FillGaussian};

}  // namespace

void TSmoothing::Build() {
    float* w = coefficients_.data();
    const uint32_t n = size_;
    if (n == 0) return;
    std::fill(coefficients_.begin(), coefficients_.end(), 0.0f);
    // The formulas divide by n - 1 or by n/2: a one-point window is a single unit weight.
    if (n == 1 && type_ != WindowType::Uniform)
        w[0] = 1.0f;
    else
        kFill[WindowCode(type_)](w, n);
    if (type_ == WindowType::Uniform) {
        // Never applied; unit weights keep sums over the coefficients meaningful.
        std::fill(coefficients_.begin(), coefficients_.end(), 1.0f);
        noiseBandwidth_ = 1.0;
        return;
    }
    Correct();
}

void TSmoothing::Correct() {
    // The corrections come from the coefficients themselves, so that a tone on a bin reads its
    // true level (amplitude) or the power of a broadband signal reads true (energy) for every
    // window and size; rounded tables would leave tenths of a decibel.
    float* w = coefficients_.data();
    const uint32_t n = size_;
    double sum = 0.0, sumSquares = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        sum += w[i];
        sumSquares += static_cast<double>(w[i]) * w[i];
    }
    noiseBandwidth_ = sum != 0.0 ? n * sumSquares / (sum * sum) : 1.0;
    double factor = 1.0;
    if (correctionMode_ == WindowCorrection::Amplitude && sum > 0.0)
        factor = n / sum;
    else if (correctionMode_ == WindowCorrection::Energy && sumSquares > 0.0)
        factor = std::sqrt(n / sumSquares);
    if (factor != 1.0)
        for (uint32_t i = 0; i < n; ++i) w[i] = static_cast<float>(w[i] * factor);
}

void TSmoothing::GetName(int type, char* buffer, size_t bufferSize) {
    if (!buffer || bufferSize == 0) return;
    const size_t limit = bufferSize < 12 ? bufferSize : 12;
    const char* name = (type >= 0 && type < GetTypeCount()) ? kWindowNames[type] : "";
    size_t len = std::strlen(name);
    if (len > limit - 1) len = limit - 1;
    std::memcpy(buffer, name, len);
    buffer[len] = '\0';
}

std::string TSmoothing::GetName(int type) { return (type >= 0 && type < GetTypeCount()) ? kWindowNames[type] : ""; }

void TSmoothing::Apply(const float* in, float* out) const {
    if (!in || !out) return;
    const size_t n = Usable();
    if (type_ == WindowType::Uniform) {
        if (in != out) std::memmove(out, in, n * sizeof(float));
        return;
    }
    const float* w = coefficients_.data();
    for (size_t i = 0; i < n; ++i) out[i] = in[i] * w[i];
}

void TSmoothing::ApplyInPlace(float* x) const {
    if (!x || type_ == WindowType::Uniform) return;
    const size_t n = Usable();
    const float* w = coefficients_.data();
    for (size_t i = 0; i < n; ++i) x[i] *= w[i];
}

void TSmoothing::Remove(const float* in, float* out) const {
    if (!in || !out) return;
    const size_t n = Usable();
    if (type_ == WindowType::Uniform) {
        if (in != out) std::memmove(out, in, n * sizeof(float));
        return;
    }
    const float* w = coefficients_.data();
    for (size_t i = 0; i < n; ++i)
        if (std::fabs(static_cast<double>(w[i])) > 1e-7) out[i] = in[i] / w[i];
}

void TSmoothing::RemoveInPlace(float* x) const {
    if (!x || type_ == WindowType::Uniform) return;
    const size_t n = Usable();
    const float* w = coefficients_.data();
    for (size_t i = 0; i < n; ++i)
        if (std::fabs(static_cast<double>(w[i])) > 1e-11) x[i] /= w[i];
}

}  // namespace zeltrak
