// The two-channel operations of a spectrum: combining the current frames of two channels, and
// the ratios of averaged spectrums.
#include "dsp/spectral_data.h"

#include <cmath>

namespace zeltrak {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Power(double re, double im) { return re * re + im * im; }

double Phase(double re, double im) { return (re == 0.0 && im == 0.0) ? 0.0 : std::atan2(im, re); }

}  // namespace

bool TSpectralData::AverageChannels(const TSpectralData& a, const TSpectralData& b) {
    if (Error() || !SameSize(a) || !SameSize(b)) return false;
    const float* x = a.Current();
    const float* y = b.Current();
    float* out = current_.get();
    for (uint32_t i = 0; i < bins_; ++i) {
        const double aRe = x[2 * i], aIm = x[2 * i + 1];
        const double bRe = y[2 * i], bIm = y[2 * i + 1];
        const double meanPower = (Power(aRe, aIm) + Power(bRe, bIm)) / 2.0;
        const double m = meanPower > 0.0 ? std::sqrt(meanPower) : 0.0;
        // The mean of the two phases along the shorter arc: halving their plain sum would put
        // the mean of +179 and -179 degrees at 0 instead of 180.
        const double pa = Phase(aRe, aIm);
        const double phi = pa + std::remainder(Phase(bRe, bIm) - pa, 2.0 * kPi) / 2.0;
        out[2 * i] = static_cast<float>(m * std::cos(phi));
        out[2 * i + 1] = static_cast<float>(m * std::sin(phi));
    }
    SetHolds(false, false, false, false);
    return true;
}

bool TSpectralData::CrossSpectrum(const TSpectralData& a, const TSpectralData& b) {
    if (Error() || !SameSize(a) || !SameSize(b)) return false;
    const float* x = a.Current();
    const float* y = b.Current();
    float* out = current_.get();
    for (uint32_t i = 0; i < bins_; ++i) {
        const double aRe = x[2 * i], aIm = x[2 * i + 1];
        const double bRe = y[2 * i], bIm = y[2 * i + 1];
        out[2 * i] = static_cast<float>(aRe * bRe + aIm * bIm);
        out[2 * i + 1] = static_cast<float>(aIm * bRe - aRe * bIm);
    }
    SetHolds(true, false, false, false);
    return true;
}

bool TSpectralData::RealTransfer(const TSpectralData& a, const TSpectralData& b) {
    if (Error() || !SameSize(a) || !SameSize(b)) return false;
    const float* pa = a.AveragePower();
    const float* pb = b.AveragePower();
    float* power = average_.Power();
    for (uint32_t i = 0; i < bins_; ++i) {
        if (!(pb[i] > 0.0f)) continue;
        power[i] = static_cast<float>(static_cast<double>(pa[i]) / pb[i]);
    }
    SetHolds(crossFlag_, true, false, false);
    FinishRatio();
    return true;
}

bool TSpectralData::ComplexTransfer(const TSpectralData& reference) {
    if (Error() || !SameSize(reference)) return false;
    const float* pr = reference.AveragePower();
    const float* cross = average_.Complex();
    float* power = average_.Power();
    for (uint32_t i = 0; i < bins_; ++i) {
        if (!(pr[i] > 0.0f)) continue;
        const double hRe = cross[2 * i] / static_cast<double>(pr[i]);
        const double hIm = cross[2 * i + 1] / static_cast<double>(pr[i]);
        const double v = Power(hRe, hIm);
        if (!peakHold_ || v >= power[i]) power[i] = static_cast<float>(v);
    }
    SetHolds(crossFlag_, false, true, false);
    FinishRatio();
    return true;
}

bool TSpectralData::Coherence(const TSpectralData& a, const TSpectralData& b) {
    if (Error() || !SameSize(a) || !SameSize(b)) return false;
    const float* pa = a.AveragePower();
    const float* pb = b.AveragePower();
    const float* cross = average_.Complex();
    float* power = average_.Power();
    double previous = 0.0;
    for (uint32_t i = 0; i < bins_; ++i) {
        // the product in double: two small powers must not underflow to a false zero
        const double denominator = static_cast<double>(pa[i]) * pb[i];
        const double g = denominator != 0.0
                             ? Power(cross[2 * i], cross[2 * i + 1]) / denominator
                             : previous;
        previous = g;
        if (!peakHold_ || g >= power[i]) power[i] = static_cast<float>(g);
    }
    SetHolds(crossFlag_, false, false, true);
    FinishRatio();
    return true;
}

}  // namespace zeltrak
