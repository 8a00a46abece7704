#pragma once
#include <cmath>
#include <cstdint>

namespace zeltrak {

// The frequency axis of a spectrum: bins of equal width from 0 Hz up to the Nyquist frequency.
struct BinAxis {
    uint32_t bins = 0;
    float binWidth = 0.0f;
    float nyquist = 0.0f;

    float BinFrequency(uint32_t i) const { return i >= bins ? nyquist : static_cast<float>(i) * binWidth; }

    // The bin nearest to f, within 0 ... bins - 1.
    uint32_t FreqToBin(double f) const {
        if (bins == 0) return 0;
        if (!(f >= 0.0)) return 0;  // negative, and NaN
        if (f > nyquist || !(binWidth > 0.0f)) return f > nyquist ? bins - 1 : 0;
        const double k = std::trunc(f / binWidth + 0.5);
        return k >= bins - 1 ? bins - 1 : static_cast<uint32_t>(k);
    }
};

}  // namespace zeltrak
